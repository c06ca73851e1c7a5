#include "dialogs/HIDSetup.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "engine/DMHID.h"

namespace {

bool DirectoryExists(const std::string& Path) {
  const DWORD attributes = GetFileAttributesA(Path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& Path) {
  const DWORD attributes = GetFileAttributesA(Path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A key's value in section SETUP; none when the key is missing or its value is too long to be
// read whole (a value cut off could parse as another number).
std::optional<std::string> ReadValue(const std::string& File, std::string_view Key) {
  const std::string section(SettingsSection);
  const std::string key(Key);
  // A default no value can equal tells a missing key from an empty one.
  constexpr const char* Missing = "\x01";
  constexpr size_t Limit = size_t{1} << 20;
  std::vector<char> buffer(256);
  for (;;) {
    const DWORD got = GetPrivateProfileStringA(section.c_str(), key.c_str(), Missing, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), File.c_str());
    if (got + 1 < buffer.size()) {
      std::string value(buffer.data(), got);
      if (value == Missing) return std::nullopt;
      return value;
    }
    if (buffer.size() >= Limit) return std::nullopt;
    buffer.resize(buffer.size() * 4);
  }
}

void PutIntoEngine(TDModHID& Engine, const THIDSettings& Settings) {
  Engine.FVendorID = Settings.VendorID;
  Engine.FProductID = Settings.ProductID;
  Engine.FRepeatDelay = Settings.RepeatDelay;
  Engine.FHeldDelay = Settings.HeldDelay;
  Engine.FCheckByte = Settings.CheckByte;
  Engine.FUseCheck = Settings.UseCheck;
}

}  // namespace

bool LoadHIDSettings(TDModHID* Engine, const char* Dir) {
  if (Engine != nullptr) Engine->StopReceiving();
  const std::string dir(TrimBlanks(Dir != nullptr ? std::string_view(Dir) : std::string_view()));
  if (dir.empty() || !DirectoryExists(dir)) return false;
  if (Engine != nullptr) Engine->FIniDir = dir;

  const std::string file = SettingsFilePath(dir);
  const bool found = FileExists(file);
  const THIDSettings settings =
      found ? ReadSettings([&file](std::string_view key) { return ReadValue(file, key); })
            : THIDSettings{};
  if (Engine != nullptr) PutIntoEngine(*Engine, settings);
  return found;
}

void WriteHIDSettings(TDModHID& Engine, const std::string& FileName, std::string_view Name,
                      const THIDSettings& Settings) {
  PutIntoEngine(Engine, Settings);

  const std::string section(SettingsSection);
  for (const auto& [key, value] : SettingsLines(Name, Settings)) {
    const std::string k(key);
    if (!WritePrivateProfileStringA(section.c_str(), k.c_str(), value.c_str(), FileName.c_str())) {
      throw ESettingsWriteError("Unable to write to " + FileName);
    }
  }
}

bool GetFileVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor,
                    uint16_t& Release, uint16_t& Build, uint16_t& Flags) {
  if (!FileExists(FileName)) return false;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(FileName.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(FileName.c_str(), 0, size, info.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  char root[] = "\\";
  if (!VerQueryValueA(info.data(), root, reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  Major = HIWORD(fixed->dwFileVersionMS);
  Minor = LOWORD(fixed->dwFileVersionMS);
  Release = HIWORD(fixed->dwFileVersionLS);
  Build = LOWORD(fixed->dwFileVersionLS);
  Flags = VersionFlags(fixed->dwFileFlags & fixed->dwFileFlagsMask);
  return true;
}
