// The Windows HID class services (HID.dll), bound by name at run time, and the records they
// pass.
//
// Only the entries this program calls are bound; a library that lacks one of them does not
// bind. The HID services are bound after the device-setup services (hid/SetupApi.h) and only
// when those bound; THidServiceBinding does both for the life of its owner. Binding and release
// run on the main thread.
#pragma once

#include <windows.h>

#include <cstdint>

// HidD_GetAttributes fills this; Size is set to 12 before the call.
struct HIDD_ATTRIBUTES {
  uint32_t Size;
  uint16_t VendorID;
  uint16_t ProductID;
  uint16_t VersionNumber;
};
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);

// The capabilities HidP_GetCaps reads from a device's preparsed data.
struct HIDP_CAPS {
  uint16_t Usage;
  uint16_t UsagePage;
  uint16_t InputReportByteLength;
  uint16_t OutputReportByteLength;
  uint16_t FeatureReportByteLength;
  uint16_t Reserved[17];
  uint16_t NumberLinkCollectionNodes;
  uint16_t NumberInputButtonCaps;
  uint16_t NumberInputValueCaps;
  uint16_t NumberInputDataIndices;
  uint16_t NumberOutputButtonCaps;
  uint16_t NumberOutputValueCaps;
  uint16_t NumberOutputDataIndices;
  uint16_t NumberFeatureButtonCaps;
  uint16_t NumberFeatureValueCaps;
  uint16_t NumberFeatureDataIndices;
};
static_assert(sizeof(HIDP_CAPS) == 64);

// A device's preparsed report descriptor data; opaque.
using PHIDP_PREPARSED_DATA = struct THidPreparsedData*;

// What HidP_GetCaps returns when it worked.
inline constexpr LONG HIDP_STATUS_SUCCESS = 0x00110000;

// The longest product or manufacturer string in bytes, terminating zero included.
inline constexpr ULONG HidStringBufferBytes = 508;

struct THidEntries {
  using TGetHidGuid = void(WINAPI*)(GUID* HidGuid);
  using TGetAttributes = BOOLEAN(WINAPI*)(HANDLE HidDeviceObject, HIDD_ATTRIBUTES* Attributes);
  using TGetPreparsedData = BOOLEAN(WINAPI*)(HANDLE HidDeviceObject,
                                             PHIDP_PREPARSED_DATA* PreparsedData);
  using TFreePreparsedData = BOOLEAN(WINAPI*)(PHIDP_PREPARSED_DATA PreparsedData);
  using TGetCaps = LONG(WINAPI*)(PHIDP_PREPARSED_DATA PreparsedData, HIDP_CAPS* Capabilities);
  using TGetString = BOOLEAN(WINAPI*)(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength);

  TGetHidGuid HidD_GetHidGuid = nullptr;
  TGetAttributes HidD_GetAttributes = nullptr;
  TGetPreparsedData HidD_GetPreparsedData = nullptr;
  TFreePreparsedData HidD_FreePreparsedData = nullptr;
  TGetCaps HidP_GetCaps = nullptr;
  TGetString HidD_GetManufacturerString = nullptr;
  TGetString HidD_GetProductString = nullptr;
};

// Loads "HID.dll" unless it is loaded and looks up every entry. False, with the library
// released again, when it does not load or an entry is missing.
[[nodiscard]] bool BindHidServices();
// Unloads the library and clears the entries.
void ReleaseHidServices();
[[nodiscard]] bool HidServicesBound();
// The bound entries; all empty while the services are not bound.
[[nodiscard]] const THidEntries& HidApi();

// Binds the device-setup services and, when they bound, the HID services; releases what it
// bound when it goes.
class THidServiceBinding {
 public:
  THidServiceBinding();
  THidServiceBinding(const THidServiceBinding&) = delete;
  THidServiceBinding& operator=(const THidServiceBinding&) = delete;
  ~THidServiceBinding();

  [[nodiscard]] bool SetupBound() const { return FSetupBound; }
  [[nodiscard]] bool HidBound() const { return FHidBound; }

 private:
  bool FSetupBound = false;
  bool FHidBound = false;
};
