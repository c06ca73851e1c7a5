// The Windows device-setup services (SetupApi.dll), bound by name at run time.
//
// Only the entries this program calls are bound; a library that lacks one of them does not
// bind. The binding is reference counted: the first BindSetupServices loads the library, the
// last ReleaseSetupServices unloads it. Everything here runs on the main thread.
#pragma once

#include <windows.h>

#include <setupapi.h>

struct TSetupApiEntries {
  using TGetClassDevsA = HDEVINFO(WINAPI*)(const GUID* ClassGuid, PCSTR Enumerator, HWND Parent,
                                           DWORD Flags);
  using TEnumDeviceInterfaces = BOOL(WINAPI*)(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData,
                                              const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                              PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);
  using TGetDeviceInterfaceDetailA = BOOL(WINAPI*)(
      HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);
  using TDestroyDeviceInfoList = BOOL(WINAPI*)(HDEVINFO DeviceInfoSet);

  TGetClassDevsA SetupDiGetClassDevsA = nullptr;
  TEnumDeviceInterfaces SetupDiEnumDeviceInterfaces = nullptr;
  TGetDeviceInterfaceDetailA SetupDiGetDeviceInterfaceDetailA = nullptr;
  TDestroyDeviceInfoList SetupDiDestroyDeviceInfoList = nullptr;
};

// Adds a reference; the first loads "SetupApi.dll" and looks up every entry. False (and no
// reference held) when the library does not load or an entry is missing.
[[nodiscard]] bool BindSetupServices();
// Drops a reference taken by a successful BindSetupServices; the last unloads the library.
void ReleaseSetupServices();
[[nodiscard]] bool SetupServicesBound();
// The bound entries; all empty while the services are not bound.
[[nodiscard]] const TSetupApiEntries& SetupApi();
