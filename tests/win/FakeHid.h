// A scripted HID controller: devices are plain objects whose flags the test sets, and reports
// are delivered by the test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hid/HidControllerClass.h"

class TFakeDevice final : public THidDevice {
 public:
  TFakeDevice(uint16_t VendorID, uint16_t ProductID, bool Attached, bool ReadWrite) {
    DeviceAttributes = {12, VendorID, ProductID, 1};
    Plugged = Attached;
    ReadWriteOpen = ReadWrite;
  }
};

class TFakeController final : public THidAccess {
 public:
  TFakeDevice& Add(uint16_t VendorID, uint16_t ProductID, bool Attached = true,
                   bool ReadWrite = true) {
    Devices.push_back(std::make_unique<TFakeDevice>(VendorID, ProductID, Attached, ReadWrite));
    return *Devices.back();
  }

  void DeviceChange() override { Log.push_back("scan"); }

  bool ClaimByIds(THidDevice*& HidDev, int32_t VendorID, int32_t ProductID) override {
    HidDev = nullptr;
    for (const auto& d : Devices) {
      if (!d->Claimed && d->DeviceAttributes.VendorID == VendorID &&
          (ProductID == -1 || d->DeviceAttributes.ProductID == ProductID)) {
        d->Claimed = true;
        HidDev = d.get();
        Log.push_back("claim");
        return true;
      }
    }
    return false;
  }

  bool ClaimByIndex(THidDevice*& HidDev, int32_t Idx) override {
    HidDev = nullptr;
    if (Idx < 0 || Idx >= static_cast<int32_t>(Devices.size())) return false;
    TFakeDevice* device = Devices[static_cast<size_t>(Idx)].get();
    if (device->Claimed) return false;
    device->Claimed = true;
    HidDev = device;
    Log.push_back("claim");
    return true;
  }

  int32_t Enumerate() override {
    int32_t offered = 0;
    for (size_t i = 0; i < Devices.size(); ++i) {
      if (!Devices[i]->Plugged) continue;
      ++offered;
      if (!FEnumerate || !FEnumerate(Devices[i].get(), static_cast<int32_t>(i))) break;
    }
    return offered;
  }
  [[nodiscard]] THidEnumerateEvent OnEnumerate() const override { return FEnumerate; }
  void SetOnEnumerate(const THidEnumerateEvent& Value) override { FEnumerate = Value; }

  void ReleaseDevice(THidDevice*& HidDev) override {
    if (HidDev == nullptr) return;
    HidDev->Claimed = false;
    HidDev = nullptr;
    Log.push_back("release");
  }

  [[nodiscard]] THidDataEvent OnDeviceData() const override { return FHandler; }

  void SetOnDeviceData(const THidDataEvent& Value) override {
    if (Value == FHandler) return;
    // A report that was read before the handler is cleared still reaches the old handler.
    if (!Value && !Waiting.empty()) {
      const std::vector<uint8_t> report = std::move(Waiting);
      Waiting.clear();
      Deliver(report);
    }
    FHandler = Value;
    Log.push_back(Value ? "handler" : "no handler");
  }

  // A report as the device reads it: report id first.
  void Deliver(const std::vector<uint8_t>& Report) {
    if (!FHandler || Report.empty()) return;
    THidDevice* device = Devices.empty() ? nullptr : Devices.front().get();
    FHandler(device, Report[0], Report.data() + 1, static_cast<uint16_t>(Report.size() - 1));
  }

  std::vector<std::unique_ptr<TFakeDevice>> Devices;
  // What the controller was asked to do; shared so that a test can read it after the
  // controller is gone.
  std::shared_ptr<std::vector<std::string>> SharedLog =
      std::make_shared<std::vector<std::string>>();
  std::vector<std::string>& Log = *SharedLog;
  std::vector<uint8_t> Waiting;  // read, waiting to be handed over

 private:
  THidDataEvent FHandler;
  THidEnumerateEvent FEnumerate;
};
