// The run-time bound setup and HID services, against the stand-in libraries beside the program.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hid/Hid.h"
#include "hid/SetupApi.h"
#include "hidtest/HidTestSupport.h"
#include "sim/StandinDevice.h"

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

TEST_F(Services, SetupServicesAreCountedAndTheLastReleaseUnloads) {
  ASSERT_TRUE(BindSetupServices());
  // Only the stand-in exports this; Wine's own SetupApi.dll lists other devices.
  EXPECT_EQ(LiveDeviceSets(), 0);
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

TEST_F(Services, HidServicesBindEveryEntryOfTheStandinAndReleaseUnloads) {
  ASSERT_TRUE(BindHidServices());
  // Only the stand-in exports this; Wine's own HID.dll knows other devices.
  EXPECT_EQ(LivePreparsedData(), 0);
  const THidEntries& api = HidApi();
  for (const bool bound :
       {api.HidD_GetHidGuid != nullptr, api.HidD_GetAttributes != nullptr,
        api.HidD_GetPreparsedData != nullptr, api.HidD_FreePreparsedData != nullptr,
        api.HidP_GetCaps != nullptr, api.HidD_GetManufacturerString != nullptr,
        api.HidD_GetProductString != nullptr}) {
    EXPECT_TRUE(bound);
  }
  // Bound already: nothing is loaded twice, one release unloads.
  EXPECT_TRUE(BindHidServices());
  ReleaseHidServices();
  EXPECT_FALSE(HidServicesBound());
  EXPECT_FALSE(Loaded("HID.dll"));
  EXPECT_EQ(HidApi().HidP_GetCaps, nullptr);
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
