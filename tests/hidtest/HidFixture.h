// A test with one controller bound to the stand-in services, and stand-in devices made by the
// test. Every test ends with nothing left: no controller, no device set, no preparsed data.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "hid/HidControllerClass.h"
#include "hidtest/HidTestSupport.h"
#include "sim/StandinDevice.h"

class THidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearStandinBus();
    // Our own references keep the stand-ins loaded after the controller, to read their counters.
    SetupLibrary = LoadLibraryA("SetupApi.dll");
    HidLibrary = LoadLibraryA("HID.dll");
    Hid = std::make_unique<THidDeviceController>();
    ASSERT_TRUE(Hid->ServicesBound());
  }

  void TearDown() override {
    Hid.reset();
    PumpPending();
    Devices.clear();
    EXPECT_EQ(THidDeviceController::ControllerCount(), 0);
    EXPECT_EQ(LiveDeviceSets(), 0) << "device information sets left";
    EXPECT_EQ(LivePreparsedData(), 0) << "preparsed data not freed";
    FreeLibrary(HidLibrary);
    FreeLibrary(SetupLibrary);
    EXPECT_EQ(GetModuleHandleA("SetupApi.dll"), nullptr) << "the setup services stay bound";
    EXPECT_EQ(GetModuleHandleA("HID.dll"), nullptr) << "the HID services stay bound";
  }

  // A stand-in device plugged in (or not) for the rest of the test.
  TStandinDevice& Plug(const standin::TDeviceKind& Kind = {}, bool PluggedIn = true) {
    Devices.push_back(std::make_unique<TStandinDevice>(Kind, PluggedIn));
    return *Devices.back();
  }
  static standin::TDeviceKind Ids(uint16_t VendorID, uint16_t ProductID) {
    standin::TDeviceKind kind;
    kind.VendorID = VendorID;
    kind.ProductID = ProductID;
    return kind;
  }

  // The listed device object standing for Device, or none.
  THidDevice* Listed(const TStandinDevice& Device) const {
    for (int32_t i = 0; i < Hid->Count(); ++i) {
      THidDevice* d = Hid->Devices(i);
      if (d->PnPRecord()->DevInst == Device.DevInst() && d->Plugged) return d;
    }
    return nullptr;
  }

  // Scans, then claims Device by its ids; none when that failed.
  THidDevice* Claim(const TStandinDevice& Device) {
    Hid->DeviceChange();
    THidDevice* claimed = nullptr;
    Hid->ClaimByIds(claimed, Device.Kind().VendorID, Device.Kind().ProductID);
    return claimed;
  }

  // Delivers Report through Device's reader and waits until the handler has it.
  bool Deliver(TStandinDevice& Device, const std::vector<uint8_t>& Report, TRecorder& To) {
    const size_t before = To.Reports.size();
    return Device.SendToReader(Report) && PumpUntil([&] { return To.Reports.size() > before; });
  }

  HMODULE SetupLibrary = nullptr;
  HMODULE HidLibrary = nullptr;
  std::unique_ptr<THidDeviceController> Hid;
  TRecorder Rec;
  std::vector<std::unique_ptr<TStandinDevice>> Devices;
};
