#include "remote/ButtonNames.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>
#include <string>

namespace {

TEST(RemoteNames, TakesOneWordOfPlainAscii) {
  for (const std::string& name : std::vector<std::string>{"KEY_VOLUMEUP", "key_up", "A", "BTN-1",
                                                          "vol+", "2864", std::string(64, 'x')}) {
    EXPECT_EQ(ButtonNameProblem(name), "") << name;
  }
}

TEST(RemoteNames, RefusesWhatWouldBreakALircLineOrTheFile) {
  struct TCase {
    std::string Name;
    std::string Why;
  };
  const TCase cases[] = {
      {"", "empty"},
      {std::string(65, 'x'), "longer than 64"},
      {"KEY VOLUMEUP", "blank"},
      {"KEY\tUP", "control character"},
      {"KEY\nUP", "control character"},
      {std::string("KEY\0UP", 6), "control character"},
      {"KEY\x7F", "control character"},
      {"K\xC3\xA9Y", "plain ASCII"},
      {"KEY=UP", "\"=\""},
      {";KEY", "begins with \";\""},
      {"[KEY]", "begins with \"[\""},
      {"#KEY", "begins with \"#\""},
      {"2864,75", "code pair"},
  };
  for (const TCase& c : cases) {
    const std::string why = ButtonNameProblem(c.Name);
    EXPECT_NE(why.find(c.Why), std::string::npos) << "name \"" << c.Name << "\": " << why;
  }
}

TEST(RemoteNames, SuggestsValidDistinctLinuxInputNames) {
  std::set<std::string> seen;
  for (const std::string_view name : SuggestedButtonNames()) {
    EXPECT_TRUE(name.starts_with("KEY_")) << name;
    EXPECT_EQ(ButtonNameProblem(name), "") << name;
    EXPECT_TRUE(seen.emplace(name).second) << name << " twice";
  }
  for (const char* name : {"KEY_POWER", "KEY_VOLUMEUP", "KEY_VOLUMEDOWN", "KEY_MUTE", "KEY_OK",
                           "KEY_PLAYPAUSE", "KEY_CHANNELUP", "KEY_0", "KEY_9", "KEY_BLUE",
                           "KEY_EPG", "KEY_INFO", "KEY_REWIND", "KEY_FASTFORWARD"}) {
    EXPECT_TRUE(seen.contains(name)) << name;
  }
}

TEST(RemoteNames, MatchesWithoutRegardToCase) {
  EXPECT_TRUE(SameButtonName("KEY_Up", "key_UP"));
  EXPECT_TRUE(SameButtonName("", ""));
  EXPECT_FALSE(SameButtonName("KEY_UP", "KEY_UP2"));
  EXPECT_FALSE(SameButtonName("KEY_UP", "KEY_DN"));
  EXPECT_FALSE(SameButtonName("[", "{"));  // 0x5B and 0x7B differ by the case bit only
}

TEST(RemoteCodePairs, ParseAsTheFileWritesThem) {
  struct TCase {
    std::string Text;
    std::optional<TCodePair> Code;
  };
  const TCase cases[] = {
      {"2864,75", TCodePair{2864, 75}},
      {" 2864 , 75 ", TCodePair{2864, 75}},
      {"0,0", TCodePair{0, 0}},
      {"4294967295,4294967295", TCodePair{4294967295U, 4294967295U}},
      {"4294967296,1", std::nullopt},
      {"-1,5", std::nullopt},
      {"+1,5", std::nullopt},
      {"2864", std::nullopt},
      {"2864,", std::nullopt},
      {",75", std::nullopt},
      {"2864,75,1", std::nullopt},
      {"0x10,75", std::nullopt},
      {"28 64,75", std::nullopt},
      {"", std::nullopt},
  };
  for (const TCase& c : cases) EXPECT_EQ(ParseCodePair(c.Text), c.Code) << c.Text;
  EXPECT_EQ(FormatCodePair({2864, 75}), "2864,75");
  EXPECT_EQ(FormatCodePair({4294967295U, 0}), "4294967295,0");
}

}  // namespace
