// The version query of the configuration dialog on real files.
#include <gtest/gtest.h>

#include <string>

#include "dialogs/HIDSetup.h"
#include "win/TempDir.h"

namespace {

std::string ProgramDir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

TEST(FileVersion, ReadsTheLibrarysVersionResource) {
  uint16_t v[5] = {9, 9, 9, 9, 9};
  ASSERT_TRUE(GetFileVersion(ProgramDir() + "KelHID.dll", v[0], v[1], v[2], v[3], v[4]));
  EXPECT_EQ(v[0], KELHID_VERSION_MAJOR);
  EXPECT_EQ(v[1], KELHID_VERSION_MINOR);
  EXPECT_EQ(v[2], KELHID_VERSION_PATCH);
  EXPECT_EQ(v[3], KELHID_VERSION_TWEAK);
  EXPECT_EQ(v[4], 0);
}

TEST(FileVersion, MissingFileOrNoResourceLeavesTheNumbersAlone) {
  TTempDir dir;
  dir.Write("plain.dll", "no version resource here");
  for (const std::string& file : {dir.File("missing.dll"), dir.File("plain.dll"), dir.Path()}) {
    uint16_t v[5] = {9, 9, 9, 9, 9};
    EXPECT_FALSE(GetFileVersion(file, v[0], v[1], v[2], v[3], v[4])) << file;
    for (const uint16_t n : v) EXPECT_EQ(n, 9);
  }
}

}  // namespace
