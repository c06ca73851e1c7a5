// Beside this program lie a SetupApi.dll and a HID.dll that each lack one entry the controller
// binds: neither binds, and the controller works as an empty one.
#include <gtest/gtest.h>

#include <cstring>

#include "hid/Hid.h"
#include "hid/HidControllerClass.h"
#include "hid/SetupApi.h"
#include "hidtest/HidTestSupport.h"
#include "sim/StandinDevice.h"

namespace {

bool Loaded(const char* Module) {
  return GetModuleHandleA(Module) != nullptr;
}

TEST(BindingFailure, SetupServicesLackingAnEntryDoNotBindAndAreReleased) {
  EXPECT_FALSE(BindSetupServices());
  EXPECT_FALSE(SetupServicesBound());
  EXPECT_FALSE(Loaded("SetupApi.dll"));
  EXPECT_EQ(SetupApi().SetupDiGetClassDevsA, nullptr);
  // The library itself is there: it is the missing entry that fails the bind.
  const HMODULE library = LoadLibraryA("SetupApi.dll");
  ASSERT_NE(library, nullptr);
  EXPECT_NE(GetProcAddress(library, "SetupDiGetClassDevsA"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "SetupDiDestroyDeviceInfoList"), nullptr);
  FreeLibrary(library);
}

TEST(BindingFailure, HidServicesLackingAnEntryDoNotBindAndAreReleased) {
  EXPECT_FALSE(BindHidServices());
  EXPECT_FALSE(HidServicesBound());
  EXPECT_FALSE(Loaded("HID.dll"));
  EXPECT_EQ(HidApi().HidD_GetAttributes, nullptr);
}

TEST(BindingFailure, TheControllerStaysEmpty) {
  ClearStandinBus();
  const TStandinDevice device;
  THidDeviceController controller;
  EXPECT_FALSE(controller.ServicesBound());
  EXPECT_FALSE(SetupServicesBound());
  EXPECT_FALSE(HidServicesBound());
  const GUID hid = standin::HidClass;
  EXPECT_EQ(std::memcmp(&controller.HidClassGuid(), &hid, sizeof(GUID)), 0);
  controller.AfterLoad();
  PumpPending();
  controller.DeviceChange();
  EXPECT_EQ(controller.Count(), 0);
  EXPECT_EQ(controller.Enumerate(), 0);
  struct TStub : THidDevice {
  } stub;
  THidDevice* dev = &stub;  // anything but none
  EXPECT_FALSE(controller.ClaimByIds(dev, 0x1234, 1));
  EXPECT_EQ(dev, nullptr);
  EXPECT_FALSE(controller.ClaimByIndex(dev, 0));
  EXPECT_EQ(dev, nullptr);
}

}  // namespace
