#include "dialogs/SettingsValues.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(SettingsInteger, ReadsDecimalWithBlanksAndSign) {
  EXPECT_EQ(ParseSettingsInteger("0"), 0);
  EXPECT_EQ(ParseSettingsInteger("1240"), 1240);
  EXPECT_EQ(ParseSettingsInteger("  1240"), 1240);
  EXPECT_EQ(ParseSettingsInteger("+7"), 7);
  EXPECT_EQ(ParseSettingsInteger("-300"), -300);
  EXPECT_EQ(ParseSettingsInteger("007"), 7);
  EXPECT_EQ(ParseSettingsInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseSettingsInteger("-2147483648"), INT32_MIN);
}

TEST(SettingsInteger, ReadsHexadecimalInBothNotations) {
  EXPECT_EQ(ParseSettingsInteger("0x04D8"), 1240);
  EXPECT_EQ(ParseSettingsInteger("0X4d8"), 1240);
  EXPECT_EQ(ParseSettingsInteger("$4D8"), 1240);
  EXPECT_EQ(ParseSettingsInteger(" -$10"), -16);
  EXPECT_EQ(ParseSettingsInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseSettingsInteger("0xFFFFFFFF"), -1);
  EXPECT_EQ(ParseSettingsInteger("0x0000000000001"), 1);
}

TEST(SettingsInteger, RefusesAnythingThatDoesNotParseWhole) {
  for (const char* text : {"",           " ",           "yes",
                           "12 ",        "1 2",         "0x",
                           "0x ",        "0xG",         "x10",
                           "$",          "-",           "+",
                           "--1",        "+-1",         "1e3",
                           "1.0",        "0x-1",        " 0x10",
                           "-0x10",      "2147483648",  "-2147483649",
                           "$100000000", "0x100000000", "99999999999999999999999",
                           "\x01\x02"}) {
    EXPECT_FALSE(ParseSettingsInteger(text).has_value()) << '"' << text << '"';
  }
  const std::string embeddedNul(
      "12\0"
      "3",
      4);
  EXPECT_FALSE(ParseSettingsInteger(embeddedNul).has_value());
  EXPECT_FALSE(ParseSettingsInteger(std::string(2000, '1')).has_value());
  EXPECT_EQ(ParseSettingsInteger(std::string(2000, '0') + "5"), 5);
}

TEST(SettingsInteger, EveryDigitAndTheCharactersAroundThem) {
  // The ends of each digit range, in each notation, and the characters just outside them.
  struct {
    const char* Text;
    std::optional<int32_t> Want;
  } const cases[] = {
      {"9", 9},
      {"90", 90},
      {"-9", -9},
      {"$9", 9},
      {"0x9", 9},
      {"0xa", 10},
      {"0xf", 15},
      {"0xA", 10},
      {"0xF", 15},
      {"$aF", 175},
      {"$Fa", 250},
      {"0x09afAF", 0x09AFAF},
      {"$90", 0x90},
      {"0123456789", 123456789},
      {"/", {}},
      {":", {}},
      {"1:", {}},
      {"$/", {}},
      {"$:", {}},
      {"0x@", {}},
      {"0xG", {}},
      {"$`", {}},
      {"$g", {}},
      {"0xa/", {}},
      // Only "0x" or "0X" before the digits makes a text hexadecimal.
      {"010", 10},
      {"0019", 19},
      {"1x5", {}},
      {"00x5", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSettingsInteger(c.Text), c.Want) << c.Text;
}

TEST(SettingsFile, TrimsBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(TrimBlanks("  C:\\Dir \t\r\n"), "C:\\Dir");
  EXPECT_EQ(TrimBlanks("\x01\x1F C:\\My Dir\x7F"), "C:\\My Dir\x7F");
  EXPECT_EQ(TrimBlanks(" \t "), "");
  EXPECT_EQ(TrimBlanks(""), "");
  // Bytes above 127 are letters of the code page.
  EXPECT_EQ(TrimBlanks("\xA0\xE9 "), "\xA0\xE9");
}

TEST(SettingsFile, WideFolderNamesTrimAndJoinAsNarrowOnes) {
  EXPECT_EQ(TrimBlanks(std::wstring_view(L"  C:\\\u03A6\u6587 \t\r\n")), L"C:\\\u03A6\u6587");
  EXPECT_EQ(TrimBlanks(std::wstring_view(L"\x01 \u00A0x\u3000")), L"\u00A0x\u3000");
  EXPECT_EQ(TrimBlanks(std::wstring_view(L" \t ")), L"");
  EXPECT_EQ(SettingsFilePath(std::wstring_view(L"C:\\\u03A6")), L"C:\\\u03A6\\KelHID.ini");
  EXPECT_EQ(SettingsFilePath(std::wstring_view(L"C:\\")), L"C:\\KelHID.ini");
  EXPECT_EQ(SettingsFilePath(std::wstring_view()), L"\\KelHID.ini");
}

TEST(SettingsFile, PathHasOneBackslash) {
  EXPECT_EQ(SettingsFilePath("C:\\Dir"), "C:\\Dir\\KelHID.ini");
  EXPECT_EQ(SettingsFilePath("C:\\"), "C:\\KelHID.ini");
}

std::map<std::string, std::string> Values(
    std::initializer_list<std::pair<const std::string, std::string>> list) {
  return list;
}

THIDSettings Read(const std::map<std::string, std::string>& file) {
  return ReadSettings([&](std::string_view key) -> std::optional<std::string> {
    const auto it = file.find(std::string(key));
    if (it == file.end()) return std::nullopt;
    return it->second;
  });
}

TEST(SettingsFile, ReadsEveryKeyWithItsConversion) {
  const THIDSettings s = Read(Values({{"VID", "70000"},
                                      {"PID", "-1"},
                                      {"Delay", "20000"},
                                      {"HeldDelay", "-5"},
                                      {"Check", "300"},
                                      {"UseCheck", "2"}}));
  EXPECT_EQ(s.VendorID, 4464);  // low 16 bits
  EXPECT_EQ(s.ProductID, 0xFFFF);
  EXPECT_EQ(s.RepeatDelay, 20000);  // no bounds
  EXPECT_EQ(s.HeldDelay, -5);
  EXPECT_EQ(s.CheckByte, 44);  // low 8 bits
  EXPECT_TRUE(s.UseCheck);
}

TEST(SettingsFile, MissingOrBadValuesTakeTheDefaults) {
  const THIDSettings s = Read(Values({{"VID", "0x"},
                                      {"Delay", "fast"},
                                      {"HeldDelay", ""},
                                      {"Check", "$GG"},
                                      {"UseCheck", "yes"}}));
  EXPECT_EQ(s.VendorID, 0);
  EXPECT_EQ(s.ProductID, 0);
  EXPECT_EQ(s.RepeatDelay, 500);
  EXPECT_EQ(s.HeldDelay, 500);
  EXPECT_EQ(s.CheckByte, 0);
  EXPECT_FALSE(s.UseCheck);
}

TEST(SettingsFile, WithoutAFileTheSettingsAreTheDefaults) {
  // What the loader puts into the engine when the directory has no settings file.
  const THIDSettings s{};
  EXPECT_EQ(s.VendorID, 0);
  EXPECT_EQ(s.ProductID, 0);
  EXPECT_EQ(s.RepeatDelay, 500);
  EXPECT_EQ(s.HeldDelay, 500);
  EXPECT_EQ(s.CheckByte, 0);
  EXPECT_FALSE(s.UseCheck);
}

TEST(SettingsFile, WritesSevenKeysInOrderAsPlainNumbers) {
  const THIDSettings s{.VendorID = 0x8000,
                       .ProductID = 65535,
                       .RepeatDelay = 800,
                       .HeldDelay = 300,
                       .CheckByte = 0x2B,
                       .UseCheck = true};
  const auto lines = SettingsLines("IR Receiver - Maker (32768,65535)", s);
  const std::pair<std::string_view, std::string> expected[] = {
      {"NAME", "IR Receiver - Maker (32768,65535)"},
      {"VID", "32768"},
      {"PID", "65535"},
      {"Delay", "800"},
      {"HeldDelay", "300"},
      {"Check", "43"},
      {"UseCheck", "1"}};
  ASSERT_EQ(lines.size(), std::size(expected));
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << i;
  EXPECT_EQ(SettingsLines("", THIDSettings{})[6].second, "0");
  // What is written reads back the same.
  std::map<std::string, std::string> file;
  for (const auto& [key, value] : lines) file[std::string(key)] = value;
  const THIDSettings back = Read(file);
  EXPECT_EQ(back.VendorID, s.VendorID);
  EXPECT_EQ(back.ProductID, s.ProductID);
  EXPECT_EQ(back.RepeatDelay, s.RepeatDelay);
  EXPECT_EQ(back.HeldDelay, s.HeldDelay);
  EXPECT_EQ(back.CheckByte, s.CheckByte);
  EXPECT_EQ(back.UseCheck, s.UseCheck);
}

// A device string may hold line breaks and other control characters; written as they are they
// would start new keys or sections in the file.
TEST(SettingsValues, ControlCharactersInTheNameBecomeBlanks) {
  const struct {
    std::string_view Name;
    std::string_view Written;
  } cases[] = {
      {"Receiver\r\n[EVIL]\r\nVID=9", "Receiver  [EVIL]  VID=9"},
      {std::string_view("a\0b\x01\x1F\x7F\tc", 8), "a b    c"},
      {"\x80\xFF plain \xE9", "\x80\xFF plain \xE9"},  // beyond ASCII: kept
      {" ~ ", " ~ "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BlankControls(c.Name), c.Written);
    EXPECT_EQ(SettingsLines(c.Name, THIDSettings{})[0].second, c.Written);
  }
}

}  // namespace
