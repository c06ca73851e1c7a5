// The version of a file as the configuration dialog shows it.
#pragma once

#include <cstdint>
#include <string>

// The file flags of a version resource that are reported, as a 4-bit set: 1 debug, 2 pre-release,
// 4 private build, 8 special build. "Patched" and "information inferred" are not reported.
[[nodiscard]] constexpr uint16_t VersionFlags(uint32_t FileFlags) {
  uint16_t flags = 0;
  if ((FileFlags & 0x01u) != 0) flags |= 1u;  // debug
  if ((FileFlags & 0x02u) != 0) flags |= 2u;  // pre-release
  if ((FileFlags & 0x08u) != 0) flags |= 4u;  // private build
  if ((FileFlags & 0x20u) != 0) flags |= 8u;  // special build
  return flags;
}

// The four numbers of a file version.
struct TFileVersion {
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Release = 0;
  uint16_t Build = 0;
};

enum class TVersionSource : uint8_t { Read, FileMissing, NoVersion };

// The version label's text for the library "KelHID.dll": its version when it was read, else
// what kept it from being read.
[[nodiscard]] std::string LibraryVersionText(TVersionSource Source, const TFileVersion& Version);
