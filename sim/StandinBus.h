// The stand-in device tree shared by the stand-in HID.dll and SetupApi.dll and by the programs
// that serve stand-in devices (the tests, the virtual remote).
//
// A stand-in HID device is a named pipe whose server side a test or the virtual remote owns.
// Its name says what the device is (ids, report length, what it refuses), so the stand-in HID.dll
// can answer for any handle opened on it. Which devices are plugged in is kept under
// HKCU\Software\KelHID\StandinBus\<bus>, one value per device (value name: the device's serial,
// zero-padded; data: the pipe name). The bus is named by the environment variable
// KELHID_STANDIN_BUS, so programs running at the same time see only their own devices.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

inline constexpr char BusVariable[] = "KELHID_STANDIN_BUS";
inline constexpr char BusRoot[] = "Software\\KelHID\\StandinBus";
inline constexpr char PipePrefix[] = "\\\\.\\pipe\\";

// The HID device interface class.
inline constexpr GUID HidClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// What a stand-in device is; all of it is carried in its pipe name.
struct TDeviceKind {
  uint16_t VendorID = 0x1234;
  uint16_t ProductID = 0x0001;
  uint16_t ReportLength = 9;  // InputReportByteLength, report id included
  bool Busy = false;          // held by another program: read-write opening is refused
  bool NoAttributes = false;  // HidD_GetAttributes fails
  bool NoStrings = false;     // the string queries fail
  bool NoCaps = false;        // HidD_GetPreparsedData fails
  bool Remote = false;        // the virtual remote's receiver: product and vendor names of its own
  bool ControlChars = false;  // product and vendor names with line breaks and control characters
};

struct TDeviceName {
  std::string Bus;
  uint32_t Serial = 0;
  TDeviceKind Kind;
};

inline std::string BusName() {
  char value[128];
  const DWORD length = GetEnvironmentVariableA(BusVariable, value, sizeof value);
  if (length == 0 || length >= sizeof value) return "default";
  return std::string(value, length);
}

inline std::string BusKey(std::string_view Bus) {
  return std::string(BusRoot) + "\\" + std::string(Bus);
}

// "KelHID.<bus>.<serial>.<vid>.<pid>.<report length>.<flags>"; flags are letters, or "-".
inline std::string FormatName(const TDeviceName& Device) {
  std::string flags;
  if (Device.Kind.Busy) flags += 'b';
  if (Device.Kind.NoAttributes) flags += 'a';
  if (Device.Kind.NoStrings) flags += 's';
  if (Device.Kind.NoCaps) flags += 'c';
  if (Device.Kind.Remote) flags += 'r';
  if (Device.Kind.ControlChars) flags += 'x';
  if (flags.empty()) flags = "-";
  char text[64];
  std::snprintf(text, sizeof text, ".%u.%04x.%04x.%u.", static_cast<unsigned>(Device.Serial),
                static_cast<unsigned>(Device.Kind.VendorID),
                static_cast<unsigned>(Device.Kind.ProductID),
                static_cast<unsigned>(Device.Kind.ReportLength));
  return "KelHID." + Device.Bus + text + flags;
}

inline std::optional<TDeviceName> ParseName(std::string_view Name) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = Name.find('.', start);
    parts.emplace_back(Name.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() != 7 || parts[0] != "KelHID") return std::nullopt;
  TDeviceName device;
  device.Bus = parts[1];
  device.Serial = static_cast<uint32_t>(std::strtoul(parts[2].c_str(), nullptr, 10));
  device.Kind.VendorID = static_cast<uint16_t>(std::strtoul(parts[3].c_str(), nullptr, 16));
  device.Kind.ProductID = static_cast<uint16_t>(std::strtoul(parts[4].c_str(), nullptr, 16));
  device.Kind.ReportLength = static_cast<uint16_t>(std::strtoul(parts[5].c_str(), nullptr, 10));
  const std::string& flags = parts[6];
  device.Kind.Busy = flags.find('b') != std::string::npos;
  device.Kind.NoAttributes = flags.find('a') != std::string::npos;
  device.Kind.NoStrings = flags.find('s') != std::string::npos;
  device.Kind.NoCaps = flags.find('c') != std::string::npos;
  device.Kind.Remote = flags.find('r') != std::string::npos;
  device.Kind.ControlChars = flags.find('x') != std::string::npos;
  return device;
}

inline std::string SerialValueName(uint32_t Serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%010u", static_cast<unsigned>(Serial));
  return text;
}

// The pipe names of the devices plugged into Bus, in serial order.
inline std::vector<std::string> ListDevices(std::string_view Bus) {
  std::vector<std::pair<std::string, std::string>> found;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, BusKey(Bus).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return {};
  }
  for (DWORD index = 0;; ++index) {
    char name[64];
    DWORD nameLength = sizeof name;
    char data[256];
    DWORD dataLength = sizeof data - 1;
    DWORD type = 0;
    const LONG r = RegEnumValueA(key, index, name, &nameLength, nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &dataLength);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataLength] = '\0';
    found.emplace_back(std::string(name, nameLength), std::string(data));
  }
  RegCloseKey(key);
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  names.reserve(found.size());
  for (auto& entry : found) names.push_back(std::move(entry.second));
  return names;
}

inline void PlugIn(const TDeviceName& Device) {
  const std::string name = FormatName(Device);
  RegSetKeyValueA(HKEY_CURRENT_USER, BusKey(Device.Bus).c_str(),
                  SerialValueName(Device.Serial).c_str(), REG_SZ, name.c_str(),
                  static_cast<DWORD>(name.size()) + 1);
}

inline void Unplug(const TDeviceName& Device) {
  RegDeleteKeyValueA(HKEY_CURRENT_USER, BusKey(Device.Bus).c_str(),
                     SerialValueName(Device.Serial).c_str());
}

inline void ClearBus(std::string_view Bus) {
  RegDeleteTreeA(HKEY_CURRENT_USER, BusKey(Bus).c_str());
}

}  // namespace standin
