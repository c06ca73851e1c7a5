#include "dialogs/VersionInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionInfo, FlagsKeepDebugPreReleasePrivateAndSpecialOnly) {
  struct Case {
    uint32_t FileFlags;
    uint16_t Flags;
  };
  for (const Case c : {Case{0x00, 0}, Case{0x01, 1}, Case{0x02, 2}, Case{0x04, 0}, Case{0x08, 4},
                       Case{0x10, 0}, Case{0x20, 8}, Case{0x3F, 15}, Case{0xFFFFFFC0, 0}}) {
    EXPECT_EQ(VersionFlags(c.FileFlags), c.Flags) << c.FileFlags;
  }
}

TEST(VersionInfo, LabelShowsTheNumbersOrWhyThereAreNone) {
  EXPECT_EQ(LibraryVersionText(TVersionSource::Read, {1, 2, 3, 65535}),
            "KelHID.dll (Version 1.2.3 Build 65535)");
  EXPECT_EQ(LibraryVersionText(TVersionSource::FileMissing, {}), "KelHID.dll not found");
  EXPECT_EQ(LibraryVersionText(TVersionSource::NoVersion, {}),
            "KelHID.dll (no version information)");
}

}  // namespace
