// Stand-in SetupApi.dll of the simulated receiver: lists the stand-in HID devices plugged into this
// program's bus (see StandinBus.h) as HID device interfaces. Record sizes are checked as
// Windows checks them, so a caller that passes the wrong size field fails here too.
#define _SETUPAPI_  // NOLINT(bugprone-reserved-identifier): the SDK's switch to define, not import
#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/StandinBus.h"

namespace {

struct TDeviceSet {
  std::vector<standin::TDeviceName> Devices;
};

std::mutex Lock;
std::vector<std::unique_ptr<TDeviceSet>> LiveSets;

TDeviceSet* Find(HDEVINFO Set) {
  const auto it = std::find_if(LiveSets.begin(), LiveSets.end(),
                               [Set](const auto& live) { return live.get() == Set; });
  return it == LiveSets.end() ? nullptr : it->get();
}

BOOL Fail(DWORD Error) {
  SetLastError(Error);
  return FALSE;
}

}  // namespace

// Nothing raised inside may leave an entry: each one answers with a failure instead.
extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND /*Parent*/,
                                     DWORD Flags) try {
  auto set = std::make_unique<TDeviceSet>();
  const bool hidInterfaces = ClassGuid != nullptr && IsEqualGUID(*ClassGuid, standin::HidClass) &&
                             Enumerator == nullptr &&
                             Flags == (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (hidInterfaces) {
    for (const std::string& name : standin::ListDevices(standin::BusName())) {
      if (auto device = standin::ParseName(name)) set->Devices.push_back(*device);
    }
  }
  const std::lock_guard lock(Lock);
  LiveSets.push_back(std::move(set));
  return LiveSets.back().get();
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return INVALID_HANDLE_VALUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  const std::lock_guard lock(Lock);
  const TDeviceSet* set = Find(DeviceInfoSet);
  if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (DeviceInfoData != nullptr || InterfaceClassGuid == nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (DeviceInterfaceData == nullptr ||
      DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (MemberIndex >= set->Devices.size()) return Fail(ERROR_NO_MORE_ITEMS);
  DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
  DeviceInterfaceData->Flags = SPINT_ACTIVE;
  DeviceInterfaceData->Reserved = MemberIndex + 1;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) try {
  const std::lock_guard lock(Lock);
  const TDeviceSet* set = Find(DeviceInfoSet);
  if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (DeviceInterfaceData == nullptr ||
      DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
      DeviceInterfaceData->Reserved == 0 || DeviceInterfaceData->Reserved > set->Devices.size()) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const standin::TDeviceName& device = set->Devices[DeviceInterfaceData->Reserved - 1];
  const std::string path = standin::PipePrefix + standin::FormatName(device);
  const DWORD needed =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
  if (RequiredSize != nullptr) *RequiredSize = needed;
  if (DeviceInterfaceDetailData == nullptr) {
    if (DeviceInterfaceDetailDataSize != 0) return Fail(ERROR_INVALID_USER_BUFFER);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (DeviceInterfaceDetailDataSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
  if (DeviceInfoData != nullptr) {
    DeviceInfoData->ClassGuid = standin::HidClass;
    DeviceInfoData->DevInst = device.Serial;
    DeviceInfoData->Reserved = 0;
  }
  return TRUE;
} catch (...) {
  return Fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  const std::lock_guard lock(Lock);
  const auto it = std::find_if(LiveSets.begin(), LiveSets.end(), [DeviceInfoSet](const auto& live) {
    return live.get() == DeviceInfoSet;
  });
  if (it == LiveSets.end()) return Fail(ERROR_INVALID_HANDLE);
  LiveSets.erase(it);
  return TRUE;
}

// For the tests: device information sets made and not yet destroyed.
int WINAPI StandinLiveDeviceSets() {
  const std::lock_guard lock(Lock);
  return static_cast<int>(LiveSets.size());
}

}  // extern "C"
