// THidDeviceController: the list of present HID devices, handing them out and taking them back.
#include "hid/HidControllerClass.h"

#include <dbt.h>

#include <algorithm>
#include <cstring>

#include "gui/Application.h"
#include "hid/SetupApi.h"

namespace {

// The HID device interface class, for when HID.dll can't say.
constexpr GUID HidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

int32_t LiveControllers = 0;

// Posted to the application window when a device waits to be destroyed.
UINT DestroyReleasedMessage() {
  static const UINT message = RegisterWindowMessageA("KelHID.DestroyReleasedDevices");
  return message;
}

// Destroys a device information set when it goes.
class TDeviceInfoSet {
 public:
  explicit TDeviceInfoSet(HDEVINFO Set) : FSet(Set) {}
  TDeviceInfoSet(const TDeviceInfoSet&) = delete;
  TDeviceInfoSet& operator=(const TDeviceInfoSet&) = delete;
  ~TDeviceInfoSet() {
    if (Valid()) SetupApi().SetupDiDestroyDeviceInfoList(FSet);
  }
  [[nodiscard]] bool Valid() const { return FSet != INVALID_HANDLE_VALUE && FSet != nullptr; }
  [[nodiscard]] HDEVINFO Get() const { return FSet; }

 private:
  HDEVINFO FSet;
};

// Clears a device's InHandler after a handler call, unless the handler destroyed the device.
template <class IsListed>
class TShownToHandler {
 public:
  TShownToHandler(THidDevice* Device, IsListed Listed) : FDevice(Device), FListed(Listed) {
    FDevice->InHandler = true;
  }
  TShownToHandler(const TShownToHandler&) = delete;
  TShownToHandler& operator=(const TShownToHandler&) = delete;
  ~TShownToHandler() {
    if (FListed(FDevice)) FDevice->InHandler = false;
  }

 private:
  THidDevice* FDevice;
  IsListed FListed;
};

}  // namespace

// --- Start and end ---------------------------------------------------------------------------

THidDeviceController::TSlot::TSlot() {
  if (++LiveControllers > 1) {
    --LiveControllers;
    throw EControllerError("Only one THidDeviceController allowed per program");
  }
}

THidDeviceController::TSlot::~TSlot() {
  --LiveControllers;
}

int32_t THidDeviceController::ControllerCount() {
  return LiveControllers;
}

THidDeviceController::THidDeviceController() {
  if (FServices.HidBound()) {
    HidApi().HidD_GetHidGuid(&FHidClassGuid);
  } else {
    FHidClassGuid = HidInterfaceClass;
  }
}

THidDeviceController::~THidDeviceController() {
  FOnDeviceChange = {};
  FOnDeviceUnplug = {};
  FOnEnumerate = {};
  if (FHooked) {
    Application().UnhookMainWindow(
        TWindowHook::Bind<&THidDeviceController::DeviceChangeHook>(this));
  }
  // Detached first, so that nothing a handler does below reaches the list.
  TDeviceList devices = std::move(FDevices);
  FDevices.clear();
  for (const auto& device : devices) device->Detach();
  for (const auto& device : devices) {
    if (device->Claimed) device->MarkUnplugged();
  }
  // Each device stops its reader and frees its preparsed data while HID.dll is still bound.
  devices.clear();
  FReleased.clear();
}

void THidDeviceController::AfterLoad() {
  FLoading = false;
  if (!FServices.HidBound() || FHooked) return;
  Application().HookMainWindow(TWindowHook::Bind<&THidDeviceController::DeviceChangeHook>(this));
  FHooked = true;
  PostMessageA(Application().Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

bool THidDeviceController::DeviceChangeHook(UINT Msg, WPARAM wParam, LPARAM /*lParam*/) {
  if (Msg == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED) DeviceChange();
  if (Msg == DestroyReleasedMessage()) DestroyReleased();
  return false;
}

// --- The list ----------------------------------------------------------------------------------

THidDevice* THidDeviceController::Devices(int32_t Idx) const {
  if (Idx < 0 || Idx >= Count()) return nullptr;
  return FDevices[static_cast<size_t>(Idx)].get();
}

bool THidDeviceController::Listed(const THidDevice* Device) const {
  return std::any_of(FDevices.begin(), FDevices.end(),
                     [Device](const auto& listed) { return listed.get() == Device; });
}

void THidDeviceController::Destroy(const THidDevice* Device) {
  const auto it = std::find_if(FDevices.begin(), FDevices.end(),
                               [Device](const auto& listed) { return listed.get() == Device; });
  if (it == FDevices.end()) return;
  // Out of the list before it goes: its destruction may run hand-overs.
  std::unique_ptr<THidDevice> owned = std::move(*it);
  FDevices.erase(it);
  if (owned->InUse()) {
    // Given back from a handler while its reader hands a report over or is being stopped:
    // the device can go only once that has ended.
    owned->Detach();
    FReleased.push_back(std::move(owned));
    if (FHooked) PostMessageA(Application().Handle(), DestroyReleasedMessage(), 0, 0);
    return;
  }
  owned.reset();
}

void THidDeviceController::DestroyReleased() {
  // Taken out first: a destruction runs hand-overs, whose handlers may come back here.
  TDeviceList ready;
  for (auto it = FReleased.begin(); it != FReleased.end();) {
    if ((*it)->InUse()) {
      ++it;
    } else {
      ready.push_back(std::move(*it));
      it = FReleased.erase(it);
    }
  }
}

std::vector<THidDevice*> THidDeviceController::Snapshot() const {
  std::vector<THidDevice*> devices;
  devices.reserve(FDevices.size());
  for (const auto& device : FDevices) devices.push_back(device.get());
  return devices;
}

void THidDeviceController::ShowToHandler(const THidPlugEvent& Handler, THidDevice* Device) {
  if (!Handler) return;
  const TShownToHandler shown(Device, [this](const THidDevice* d) { return Listed(d); });
  Handler(Device);
}

THidDeviceController::TDeviceList THidDeviceController::ListPresentDevices() {
  TDeviceList found;
  if (!FServices.HidBound()) return found;
  const TSetupApiEntries& api = SetupApi();
  const TDeviceInfoSet set(api.SetupDiGetClassDevsA(&FHidClassGuid, nullptr, nullptr,
                                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set.Valid()) return found;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    if (!api.SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &FHidClassGuid, index,
                                         &interfaceData)) {
      break;
    }
    SP_DEVINFO_DATA infoData{};
    infoData.cbSize = sizeof(infoData);
    DWORD needed = 0;
    if (api.SetupDiGetDeviceInterfaceDetailA(set.Get(), &interfaceData, nullptr, 0, &needed,
                                             &infoData) ||
        needed == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      continue;
    }
    // Zero-filled and aligned for the record; its size field counts only the fixed part, whose
    // size differs between 32-bit and 64-bit Windows.
    const size_t words = (needed + sizeof(DWORD) - 1) / sizeof(DWORD);
    const auto block = std::make_unique<DWORD[]>(words);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!api.SetupDiGetDeviceInterfaceDetailA(set.Get(), &interfaceData, detail, needed, &needed,
                                              &infoData)) {
      continue;
    }
    const size_t pathRoom = needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const std::string_view path(detail->DevicePath, strnlen(detail->DevicePath, pathRoom));
    try {
      found.push_back(std::make_unique<THidDevice>(
          std::make_unique<THidPnPInfo>(infoData.DevInst, path), this));
    } catch (const EControllerError&) {
      // A device that can't be opened or identified is left out.
    }
  }
  return found;
}

void THidDeviceController::DeviceChange() {
  DestroyReleased();
  bool changed = false;
  TDeviceList found = ListPresentDevices();
  const auto presentNow = [&found](const THidDevice* device) {
    return std::any_of(found.begin(), found.end(), [device](const auto& fresh) {
      return fresh->PnPRecord()->DevInst == device->PnPRecord()->DevInst;
    });
  };

  // Removals, last to first. A handed-out device stays listed, unplugged, until it is released,
  // and counts as removed again on every later scan. The handlers may give devices back, which
  // shifts the list: the walk goes over the devices listed when it began.
  const std::vector<THidDevice*> listed = Snapshot();
  for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
    THidDevice* device = *it;
    if (!Listed(device)) continue;  // given back meanwhile
    if (device->Plugged && presentNow(device)) continue;
    changed = true;
    device->MarkUnplugged();
    if (!Listed(device)) continue;  // its unplug handler gave it back
    ShowToHandler(FOnRemoval, device);
    if (Listed(device) && !device->Claimed) Destroy(device);
  }

  // Duplicates of devices listed and plugged are dropped.
  for (auto& fresh : found) {
    const DWORD instance = fresh->PnPRecord()->DevInst;
    const bool known = std::any_of(FDevices.begin(), FDevices.end(), [instance](const auto& d) {
      return d->Plugged && d->PnPRecord()->DevInst == instance;
    });
    if (known) {
      fresh->Detach();
      fresh.reset();
    }
  }

  // Arrivals, in the order found.
  for (auto& fresh : found) {
    if (fresh == nullptr) continue;
    THidDevice* device = fresh.get();
    FDevices.push_back(std::move(fresh));
    changed = true;
    ShowToHandler(FOnArrival, device);
  }

  if (changed && FOnDeviceChange) FOnDeviceChange(this);
}

int32_t THidDeviceController::Enumerate() {
  int32_t count = 0;
  for (size_t i = 0; i < FDevices.size(); ++i) {
    THidDevice* device = FDevices[i].get();
    if (!device->Plugged) continue;
    ++count;
    bool goOn = false;
    if (FOnEnumerate) {
      {
        const TShownToHandler shown(device, [this](const THidDevice* d) { return Listed(d); });
        goOn = FOnEnumerate(device, static_cast<int32_t>(i));
      }
      if (Listed(device) && !device->Claimed) {
        device->CloseInfoHandle();
        device->CloseReadHandle();
      }
    }
    if (!goOn) break;
  }
  return count;
}

// --- Handing out and taking back ---------------------------------------------------------------

bool THidDeviceController::TryClaim(THidDevice*& HidDev, int32_t Idx, bool Wanted) {
  THidDevice* device = FDevices[static_cast<size_t>(Idx)].get();
  if (!Wanted || device->Claimed) return false;
  HidDev = device;
  device->Claimed = true;
  device->StartReader();
  return true;
}

bool THidDeviceController::ClaimByIds(THidDevice*& HidDev, int32_t VendorID, int32_t ProductID) {
  HidDev = nullptr;
  for (int32_t i = 0; i < Count(); ++i) {
    const HIDD_ATTRIBUTES& ids = FDevices[static_cast<size_t>(i)]->DeviceAttributes;
    const bool wanted = int32_t{ids.VendorID} == VendorID &&
                        (int32_t{ids.ProductID} == ProductID || ProductID == -1);
    if (TryClaim(HidDev, i, wanted)) return true;
  }
  return false;
}

bool THidDeviceController::ClaimByIndex(THidDevice*& HidDev, int32_t Idx) {
  HidDev = nullptr;
  if (Idx < 0 || Idx >= Count()) return false;
  return TryClaim(HidDev, Idx, true);
}

void THidDeviceController::ReleaseDevice(THidDevice*& HidDev) {
  DestroyReleased();
  if (HidDev == nullptr) return;
  THidDevice* device = HidDev;
  // A report delivered while the reader stops still finds the device held: the holder's
  // reference is cleared last.
  device->StopReader();
  device->CloseInfoHandle();
  device->CloseReadHandle();
  if (device->Plugged || !Listed(device)) {
    device->Claimed = false;
  } else {
    Destroy(device);
  }
  // A handler that ran meanwhile may have given it back itself and claimed another device.
  if (HidDev == device) HidDev = nullptr;
}

// --- Handlers and settings passed on to the devices ---------------------------------------------

void THidDeviceController::SetOnDeviceChange(const TNotifyEvent& Value) {
  if (Value == FOnDeviceChange) return;
  FOnDeviceChange = Value;
  if (!FLoading) DeviceChange();
}

void THidDeviceController::SetOnDeviceData(const THidDataEvent& Value) {
  if (Value == FOnDeviceData) return;
  // Stopping a reader runs hand-overs, whose handlers may give devices back and so shift the
  // list: the walk goes over the devices listed when it began.
  for (THidDevice* device : Snapshot()) {
    if (Listed(device) && device->DataHandler() == FOnDeviceData) device->SetDataHandler(Value);
  }
  FOnDeviceData = Value;
}

void THidDeviceController::SetOnDeviceDataError(const THidDataErrorEvent& Value) {
  if (Value == FOnDeviceDataError) return;
  for (const auto& device : FDevices) {
    if (device->DataErrorHandler == FOnDeviceDataError) device->DataErrorHandler = Value;
  }
  FOnDeviceDataError = Value;
}

void THidDeviceController::SetOnDeviceUnplug(const THidPlugEvent& Value) {
  if (Value == FOnDeviceUnplug) return;
  for (const auto& device : FDevices) {
    if (device->UnplugHandler == FOnDeviceUnplug) device->UnplugHandler = Value;
  }
  FOnDeviceUnplug = Value;
}

void THidDeviceController::SetDevThreadSleepTime(int32_t Value) {
  if (Value == FDevThreadSleepTime) return;
  for (const auto& device : FDevices) {
    if (device->ReadSleepTime() == FDevThreadSleepTime) device->SetReadSleepTime(Value);
  }
  FDevThreadSleepTime = Value;
}
