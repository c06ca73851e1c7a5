// HID tests: the application object exists as in the program, and the stand-in HID.dll and
// SetupApi.dll beside this program stand for Windows' own.
#include <gtest/gtest.h>

#include "gui/Application.h"
#include "hidtest/HidTestSupport.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  Application().Initialize();
  UseStandinServices();
  const int result = RUN_ALL_TESTS();
  ClearStandinBus();
  return result;
}
