// HID device controller, the devices it lists, and the report event.
//
// THidAccess is what a user of the controller calls: the receiver engine claims its receiver
// by vendor and product id, sets the report handler, and gives the device back. Every call and
// every handler call runs on the main thread; a device that reads hands each report to the main
// thread and waits until the handler has returned.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hid/Hid.h"
#include "widgets/Event.h"

class THidDevice;

// Report event: HidDev read the report; ReportID is its first byte; Data points at the Size
// bytes after it.
using THidDataEvent =
    TEvent<void(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size)>;

// One HID device interface as a user sees it.
class THidDevice {
 public:
  THidDevice(const THidDevice&) = delete;
  THidDevice& operator=(const THidDevice&) = delete;
  virtual ~THidDevice() = default;

  bool Plugged = false;  // the device is attached
  bool Claimed = false;  // handed out to a user
  HIDD_ATTRIBUTES DeviceAttributes{};
  bool ReadWriteOpen = false;  // the last open got read and write access

 protected:
  // Devices are made by a controller.
  THidDevice() = default;
};

// What users of the controller rely on.
class THidAccess {
 public:
  THidAccess() = default;
  THidAccess(const THidAccess&) = delete;
  THidAccess& operator=(const THidAccess&) = delete;
  virtual ~THidAccess() = default;

  // Re-scans the attached devices: new ones are listed, free ones that are gone are not.
  virtual void DeviceChange() = 0;
  // Hands out the first listed free device with these ids (ProductID -1: any product). HidDev
  // is that device, now Claimed, or none when the result is false.
  virtual bool ClaimByIds(THidDevice*& HidDev, int32_t VendorID, int32_t ProductID) = 0;
  // Ends the device's reading, closes it, makes it free again (or destroys it when it is gone)
  // and sets HidDev to none. Nothing for none.
  virtual void ReleaseDevice(THidDevice*& HidDev) = 0;

  [[nodiscard]] virtual THidDataEvent OnDeviceData() const = 0;
  // Passes the handler to every device carrying the previous one; an equal handler changes
  // nothing. Clearing it ends reading before it returns, delivering a report already read.
  virtual void SetOnDeviceData(const THidDataEvent& Value) = 0;
};

// The program's controller. It lists no devices yet: every scan finds none.
class THidDeviceController final : public THidAccess {
 public:
  THidDeviceController() = default;

  void DeviceChange() override {}
  bool ClaimByIds(THidDevice*& HidDev, int32_t /*VendorID*/, int32_t /*ProductID*/) override {
    HidDev = nullptr;
    return false;
  }
  void ReleaseDevice(THidDevice*& HidDev) override { HidDev = nullptr; }
  [[nodiscard]] THidDataEvent OnDeviceData() const override { return FOnDeviceData; }
  void SetOnDeviceData(const THidDataEvent& Value) override { FOnDeviceData = Value; }

 private:
  THidDataEvent FOnDeviceData;
};
