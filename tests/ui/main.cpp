// Window tests: the application object exists as in the program.
#include <gtest/gtest.h>

#include "gui/Application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  Application().Initialize();
  return RUN_ALL_TESTS();
}
