// Stand-in HID.dll of the simulated receiver: answers for handles opened on stand-in devices
// (named pipes, see StandinBus.h) from what the pipe's name says about the device.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid/Hid.h"
#include "sim/StandinBus.h"

namespace {

constexpr LONG HIDP_STATUS_INVALID_PREPARSED_DATA = static_cast<LONG>(0xC0110001);

struct TPreparsed {
  uint16_t ReportLength = 0;
};

std::mutex Lock;
std::vector<std::unique_ptr<TPreparsed>> LivePreparsed;

// The stand-in device a handle was opened on.
std::optional<standin::TDeviceName> DeviceOf(HANDLE Handle) {
  alignas(FILE_NAME_INFO) char buffer[sizeof(FILE_NAME_INFO) + 512 * sizeof(WCHAR)];
  if (!GetFileInformationByHandleEx(Handle, FileNameInfo, buffer, sizeof buffer)) {
    return std::nullopt;
  }
  const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer);
  std::string name;
  for (DWORD i = 0; i < info->FileNameLength / sizeof(WCHAR); ++i) {
    const WCHAR c = info->FileName[i];
    if (i == 0 && c == L'\\') continue;
    name += static_cast<char>(c < 0x80 ? c : '?');
  }
  auto device = standin::ParseName(name);
  // The device's server learns that this handle queries it and reads no reports, so that a
  // report a test sends reaches the reader and not a query that happened to be open. A handle
  // opened without access rights cannot tell.
  if (device) {
    const char query = 'q';
    DWORD written = 0;
    WriteFile(Handle, &query, 1, &written, nullptr);
  }
  return device;
}

BOOLEAN Fail(DWORD Error) {
  SetLastError(Error);
  return FALSE;
}

BOOLEAN FillString(HANDLE Handle, PVOID Buffer, ULONG BufferLength, bool Product) {
  const auto device = DeviceOf(Handle);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  if (device->Kind.NoStrings) return Fail(ERROR_INVALID_PARAMETER);
  wchar_t text[64];
  if (device->Kind.ControlChars) {
    std::swprintf(text, 64, L"%ls", Product ? L"IR\r\n[EXTRA]\r\nVID=9\x01" : L"Maker\n\x7F\tX");
  } else if (device->Kind.Remote) {
    std::swprintf(text, 64, L"%ls", Product ? L"Virtual IR Receiver" : L"KelHID Simulator");
  } else if (Product) {
    std::swprintf(text, 64, L"Stand-in Receiver %u", static_cast<unsigned>(device->Serial));
  } else {
    std::swprintf(text, 64, L"Stand-in Vendor %04X", static_cast<unsigned>(device->Kind.VendorID));
  }
  const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
  if (Buffer == nullptr || BufferLength < bytes) return Fail(ERROR_INVALID_USER_BUFFER);
  std::memcpy(Buffer, text, bytes);
  return TRUE;
}

}  // namespace

// Nothing raised inside may leave an entry: each one answers with a failure instead.
extern "C" {

void WINAPI HidD_GetHidGuid(GUID* HidGuid) {
  *HidGuid = standin::HidClass;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES* Attributes) try {
  const auto device = DeviceOf(HidDeviceObject);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  if (device->Kind.NoAttributes) return Fail(ERROR_NOT_SUPPORTED);
  Attributes->Size = sizeof(HIDD_ATTRIBUTES);
  Attributes->VendorID = device->Kind.VendorID;
  Attributes->ProductID = device->Kind.ProductID;
  Attributes->VersionNumber = 0x0100;
  return TRUE;
} catch (...) {
  return Fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE HidDeviceObject,
                                     PHIDP_PREPARSED_DATA* PreparsedData) try {
  const auto device = DeviceOf(HidDeviceObject);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  if (device->Kind.NoCaps) return Fail(ERROR_NOT_SUPPORTED);
  auto data = std::make_unique<TPreparsed>();
  data->ReportLength = device->Kind.ReportLength;
  const auto handle = reinterpret_cast<PHIDP_PREPARSED_DATA>(data.get());
  const std::lock_guard lock(Lock);
  LivePreparsed.push_back(std::move(data));
  *PreparsedData = handle;
  return TRUE;
} catch (...) {
  return Fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
  const std::lock_guard lock(Lock);
  const auto it = std::find_if(LivePreparsed.begin(), LivePreparsed.end(), [&](const auto& live) {
    return reinterpret_cast<PHIDP_PREPARSED_DATA>(live.get()) == PreparsedData;
  });
  if (it == LivePreparsed.end()) return Fail(ERROR_INVALID_PARAMETER);
  LivePreparsed.erase(it);
  return TRUE;
}

LONG WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, HIDP_CAPS* Capabilities) {
  const std::lock_guard lock(Lock);
  const auto it = std::find_if(LivePreparsed.begin(), LivePreparsed.end(), [&](const auto& live) {
    return reinterpret_cast<PHIDP_PREPARSED_DATA>(live.get()) == PreparsedData;
  });
  if (it == LivePreparsed.end()) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  *Capabilities = {};
  Capabilities->UsagePage = 0xFFA0;
  Capabilities->Usage = 0x0001;
  Capabilities->InputReportByteLength = (*it)->ReportLength;
  return HIDP_STATUS_SUCCESS;
}

BOOLEAN WINAPI HidD_GetManufacturerString(HANDLE HidDeviceObject, PVOID Buffer,
                                          ULONG BufferLength) try {
  return FillString(HidDeviceObject, Buffer, BufferLength, false);
} catch (...) {
  return Fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOLEAN WINAPI HidD_GetProductString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength) try {
  return FillString(HidDeviceObject, Buffer, BufferLength, true);
} catch (...) {
  return Fail(ERROR_NOT_ENOUGH_MEMORY);
}

// For the tests: preparsed data handed out and not yet freed.
int WINAPI StandinLivePreparsedData() {
  const std::lock_guard lock(Lock);
  return static_cast<int>(LivePreparsed.size());
}

}  // extern "C"
