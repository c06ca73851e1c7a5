// The run-time bound setup and HID services, against the stand-in libraries beside the program.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hid/Hid.h"
#include "hid/SetupApi.h"
#include "hidtest/HidTestSupport.h"
#include "hidtest/StandinDevice.h"

namespace {

constexpr bool Win64 = sizeof(void*) == 8;

// The record sizes the platform's services check; they differ between 32-bit and 64-bit.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (Win64 ? 32 : 28));
static_assert(sizeof(SP_DEVINFO_DATA) == (Win64 ? 32 : 28));
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (Win64 ? 8 : 5));
static_assert(sizeof(OVERLAPPED) == (Win64 ? 32 : 20));

bool Loaded(const char* Module) {
  return GetModuleHandleA(Module) != nullptr;
}

class Services : public ::testing::Test {
 protected:
  void TearDown() override {
    while (SetupServicesBound()) ReleaseSetupServices();
    ReleaseHidServices();
  }
};

TEST_F(Services, TheStandinLibrariesAreTheOnesBound) {
  ASSERT_TRUE(BindSetupServices());
  ASSERT_TRUE(BindHidServices());
  // Only the stand-ins export these; Wine's own libraries would list other devices.
  EXPECT_EQ(LiveDeviceSets(), 0);
  EXPECT_EQ(LivePreparsedData(), 0);
}

TEST_F(Services, SetupServicesAreCountedAndTheLastReleaseUnloads) {
  ASSERT_TRUE(BindSetupServices());
  ASSERT_TRUE(BindSetupServices());
  EXPECT_NE(SetupApi().SetupDiGetClassDevsA, nullptr);
  ReleaseSetupServices();
  EXPECT_TRUE(SetupServicesBound());
  EXPECT_TRUE(Loaded("SetupApi.dll"));
  EXPECT_NE(SetupApi().SetupDiDestroyDeviceInfoList, nullptr);
  ReleaseSetupServices();
  EXPECT_FALSE(SetupServicesBound());
  EXPECT_FALSE(Loaded("SetupApi.dll"));
  EXPECT_EQ(SetupApi().SetupDiGetClassDevsA, nullptr);
  EXPECT_EQ(SetupApi().SetupDiDestroyDeviceInfoList, nullptr);
  // A release too many changes nothing.
  ReleaseSetupServices();
  EXPECT_FALSE(SetupServicesBound());
}

TEST_F(Services, HidServicesBindEveryEntryAndReleaseUnloads) {
  ASSERT_TRUE(BindHidServices());
  EXPECT_TRUE(HidServicesBound());
  const THidEntries& api = HidApi();
  EXPECT_NE(api.HidD_GetHidGuid, nullptr);
  EXPECT_NE(api.HidD_GetAttributes, nullptr);
  EXPECT_NE(api.HidD_GetPreparsedData, nullptr);
  EXPECT_NE(api.HidD_FreePreparsedData, nullptr);
  EXPECT_NE(api.HidP_GetCaps, nullptr);
  EXPECT_NE(api.HidD_GetManufacturerString, nullptr);
  EXPECT_NE(api.HidD_GetProductString, nullptr);
  // Bound already: nothing is loaded twice, one release unloads.
  EXPECT_TRUE(BindHidServices());
  ReleaseHidServices();
  EXPECT_FALSE(HidServicesBound());
  EXPECT_FALSE(Loaded("HID.dll"));
  EXPECT_EQ(HidApi().HidP_GetCaps, nullptr);
}

TEST_F(Services, TheBindingHoldsBothServicesForItsLife) {
  {
    const THidServiceBinding binding;
    EXPECT_TRUE(binding.SetupBound());
    EXPECT_TRUE(binding.HidBound());
    EXPECT_TRUE(SetupServicesBound());
    EXPECT_TRUE(HidServicesBound());
  }
  EXPECT_FALSE(SetupServicesBound());
  EXPECT_FALSE(HidServicesBound());
  EXPECT_FALSE(Loaded("SetupApi.dll"));
  EXPECT_FALSE(Loaded("HID.dll"));
}

// The detail record's size field must be the platform's: 5 is the 32-bit value, and 64-bit
// Windows refuses it.
TEST_F(Services, TheInterfaceDetailTakesThePlatformsRecordSize) {
  const TStandinDevice device;
  ASSERT_TRUE(BindSetupServices());
  const TSetupApiEntries& api = SetupApi();
  GUID hid = standin::HidClass;
  const HDEVINFO set = api.SetupDiGetClassDevsA(&hid, nullptr, nullptr, 0x12);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof(interfaceData);
  ASSERT_TRUE(api.SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 0, &interfaceData));
  SP_DEVINFO_DATA infoData{};
  infoData.cbSize = sizeof(infoData);
  DWORD needed = 0;
  EXPECT_FALSE(
      api.SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &needed, &infoData));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, 0u);

  auto block = std::make_unique<DWORD[]>(needed);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.get());
  detail->cbSize = 5;
  const bool takesFive =
      api.SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, needed, nullptr, &infoData);
  EXPECT_EQ(takesFive, !Win64);
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  ASSERT_TRUE(api.SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, needed, nullptr,
                                                   &infoData));
  EXPECT_EQ(std::string(detail->DevicePath), device.Path());
  EXPECT_EQ(infoData.DevInst, device.DevInst());
  EXPECT_FALSE(api.SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 1, &interfaceData));
  EXPECT_TRUE(api.SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(LiveDeviceSets(), 0);
}

}  // namespace
