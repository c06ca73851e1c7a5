#include "widgets/efnumentry.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A field as a form loads it: type, then mask; range texts when given.
TEfNumericEntry Field(TNumericDataType Type, std::string_view Mask = {}, const char* Lo = "",
                      const char* Hi = "") {
  TEfNumericEntry e;
  e.SetDataType(Type);
  e.SetPictureMask(Mask);
  if (*Lo) e.SetRangeLo(Lo);
  if (*Hi) e.SetRangeHi(Hi);
  e.Initialize();
  return e;
}

// NFCheck of the configuration dialog: "KK", nftByte, range 0..255 from its stored records.
TEfNumericEntry HexByte() {
  TEfNumericEntry e = Field(nftByte, "KK");
  const uint8_t high[10] = {0xFF};
  const uint8_t low[10] = {};
  e.SetRangeHigh(high);
  e.SetRangeLow(low);
  e.Initialize();
  return e;
}

TEST(EfNumericTypes, SizesMasksRangesAndKinds) {
  struct {
    TNumericDataType Type;
    size_t Size;
    const char *Mask, *Lo, *Hi;
  } const cases[] = {
      {nftLongInt, 4, "iiiiiiiiiii", "-2147483648", "2147483647"},
      {nftWord, 2, "99999", "0", "65535"},
      {nftInteger, 2, "iiiiii", "-32768", "32767"},
      {nftByte, 1, "999", "0", "255"},
      {nftShortInt, 1, "iiii", "-128", "127"},
      {nftReal, 8, "##########", "-1.7e+38", "1.7e+38"},
      {nftExtended, 10, "##########", "-1.1e+4932", "1.1e+4932"},
      {nftDouble, 8, "##########", "-1.7e+308", "1.7e+308"},
      {nftSingle, 4, "##########", "-3.4e+38", "3.4e+38"},
      {nftComp, 8, "iiiiiiiiii", "-9.2e+18", "9.2e+18"},
  };
  for (const auto& c : cases) {
    TEfNumericEntry e;
    e.SetDataType(c.Type);
    EXPECT_EQ(DataSizeOfKind(e.KindCode()), c.Size);
    EXPECT_EQ(e.KindCode(), 132 + c.Type);
    EXPECT_EQ(e.PictureMask(), c.Mask);
    if (c.Type != nftExtended || LDBL_MAX_EXP > 16000) {
      EXPECT_EQ(e.RangeLo() + ".." + e.RangeHi(), std::string(c.Lo) + ".." + c.Hi);
    }
    EXPECT_EQ(e.Text(), std::string(e.PictureMask().size() - 1, ' ') + "0");
  }
  EXPECT_THROW((void)DataSizeOfKind(132 + 10), EWidgetError);
  TEfNumericEntry e;
  EXPECT_THROW(e.SetDataType(static_cast<TNumericDataType>(10)), EWidgetError);
  EXPECT_EQ(e.DataType(), nftLongInt);
}

TEST(EfExtended, TenByteFormatBothWays) {
  const TEfRangeRecord one = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(EncodeExtended(1.0L), one);
  std::vector<long double> values = {0.0L,    -0.0L,    -2.5L,    0.1L,      1e300L,
                                     DBL_MIN, LDBL_MAX, LDBL_MIN, HUGE_VALL, -HUGE_VALL};
  if (LDBL_MAX_EXP > 16000) values.insert(values.end(), {1e4000L, LDBL_MIN / 1024, -1.1e4932L});
  for (const long double v : values) {
    const TEfRangeRecord r = EncodeExtended(v);
    EXPECT_EQ(DecodeExtended(r), v);
    EXPECT_EQ(std::signbit(DecodeExtended(r)), std::signbit(v));
    if (LDBL_MANT_DIG == 64) {  // this platform's long double is the same format
      EXPECT_EQ(std::memcmp(&v, r.data(), 10), 0) << static_cast<double>(v);
    }
  }
  EXPECT_TRUE(std::isnan(DecodeExtended(EncodeExtended(NAN))));
}

TEST(EfNumericConversions, IntegerTypesInEveryMode) {
  struct {
    TNumericDataType Type;
    const char* Mask;
    int32_t Write;
    const char* Shown;
    int32_t Read;
  } const cases[] = {
      {nftByte, "KK", 62, "3E", 62},
      {nftByte, "KK", 0x1A3, "A3", 163},  // cut to the type's width
      {nftByte, "KK", -1, "FF", 255},
      {nftShortInt, "KK", -128, "80", -128},  // two's complement of the type
      {nftWord, "KKKK", 0x1A3, "01A3", 0x1A3},
      {nftInteger, "KKKK", -2, "FFFE", -2},
      {nftLongInt, "KKKKKKKK", -1, "FFFFFFFF", -1},
      {nftLongInt, "KK", 255, "FF", 255},
      {nftByte, "OOOO", 255, "0377", 255},
      {nftShortInt, "OOOO", -1, "0377", -1},
      {nftLongInt, "OOOOOOOOOOOO", -1, "037777777777", -1},
      {nftInteger, "bbbbbbbbbbbbbbbb", -2, "1111111111111110", -2},
      {nftLongInt, "iiiiiiiiiii", INT32_MIN, "-2147483648", INT32_MIN},
      {nftWord, "99,999", 65535, "65,535", 65535},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Mask) + " " + std::to_string(c.Write));
    TEfNumericEntry e = Field(c.Type, c.Mask);
    ASSERT_TRUE(e.SetIntegerValue(c.Write));
    EXPECT_EQ(e.Text(), c.Shown);
    EXPECT_EQ(e.IntegerValue().Value, c.Read);
    // The range ends as text in the same notation read back to the same values.
    e.SetRangeHi(e.RangeHi());
    e.SetRangeLo(e.RangeLo());
    EXPECT_EQ(e.CheckValue(false), 0);
  }
}

TEST(EfNumericConversions, FloatingTypesRoundTrip) {
  struct {
    TNumericDataType Type;
    const char *Mask, *Input, *Shown;
  } const cases[] = {
      {nftReal, "######.##", "3.14159", "     3.14"},
      {nftDouble, "######.##", "-.5", "    -0.50"},
      {nftDouble, "######.##", "7.", "     7.00"},
      {nftDouble, "######.##", "-0.001", "     0.00"},  // no "-0.00"
      {nftSingle, "###.###", "0.1", "  0.100"},
      {nftSingle, "########.##", "16777217", "16777216.00"},  // the single's own precision
      {nftExtended, "####.##########", "2.7182818284", "   2.7182818284"},
      {nftComp, "iiiiiiiiiiiiiiiiiiii", "9000000000000000001", " 9000000000000000001"},
      {nftComp, "iiii.99", "2.5", "   2.00"},  // whole numbers, rounded to even
      {nftDouble, "EEEE", "1E3", "1000"},
      {nftDouble, "#####", "1e20", "*****"},  // too wide for the mask
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    TEfNumericEntry e = Field(c.Type, c.Mask);
    e.SetValueFromText(c.Input);
    EXPECT_EQ(e.Text(), c.Shown);
    std::array<uint8_t, 10> value{}, again{};
    ASSERT_EQ(e.ReadValue(value), c.Shown[0] != '*');
    if (c.Shown[0] == '*') continue;
    const std::string shown = e.Text();
    e.SetValueFromText("0");
    e.WriteValue(value);
    EXPECT_EQ(e.Text(), shown);
    (void)e.ReadValue(again);
    EXPECT_EQ(again, value);
  }
}

TEST(EfNumericConversions, RefusedTexts) {
  struct {
    TNumericDataType Type;
    const char *Mask, *Text;
  } const cases[] = {
      {nftByte, "999", "256"},
      {nftByte, "999", "-1"},
      {nftLongInt, "iiii", "1 2"},
      {nftByte, "KK", "G"},
      {nftByte, "OOOO", "8"},
      {nftByte, "bbbb", "2"},
      {nftSingle, "####", "1e39"},
      {nftDouble, "####", "inf"},
      {nftDouble, "####", "1.2.3"},
      {nftComp, "####", "1e19"},
      {nftDouble, "####", "0x10"},
      {nftLongInt, "iiii", "2147483648"},
      {nftLongInt, "OOOOOOOOOOOO", "40000000000"},
  };
  for (const auto& c : cases) {
    TEfNumericEntry e = Field(c.Type, c.Mask);
    EXPECT_THROW(e.SetValueFromText(c.Text), EEntryFieldError) << c.Text;
    EXPECT_EQ(e.Text(), Field(c.Type, c.Mask).Text());
  }
  std::array<uint8_t, 4> small{};
  TEfNumericEntry e = Field(nftDouble);
  EXPECT_THROW((void)e.ReadValue(small), EWidgetError);
}

TEST(EfNumericConversions, IntegerNotationsOfTheText) {
  // Hexadecimal digits in either case; "0x" or "$" before hexadecimal digits in a decimal
  // field; the ends of the signed 32-bit range.
  struct {
    TNumericDataType Type;
    const char *Mask, *Text;
    int32_t Read;
  } const cases[] = {
      {nftByte, "KK", "ff", 255},
      {nftByte, "KK", "a", 10},
      {nftByte, "KK", "$1f", 31},
      {nftWord, "KKKK", "FaCe", 0xFACE},
      {nftLongInt, "iiiiiiiiiii", "0x10", 16},
      {nftLongInt, "iiiiiiiiiii", "0X1f", 31},
      {nftLongInt, "iiiiiiiiiii", "$10", 16},
      {nftLongInt, "iiiiiiiiiii", "-0x10", -16},
      {nftLongInt, "iiiiiiiiiii", "010", 10},
      {nftLongInt, "iiiiiiiiiii", "+2147483647", INT32_MAX},
      {nftLongInt, "iiiiiiiiiii", "-2147483648", INT32_MIN},
  };
  for (const auto& c : cases) {
    TEfNumericEntry e = Field(c.Type, c.Mask);
    e.SetValueFromText(c.Text);
    EXPECT_EQ(e.IntegerValue().Value, c.Read) << c.Text;
  }
  for (const char* text : {"-2147483649", "2147483648", "1x10", "0x", "$", "x10"}) {
    TEfNumericEntry e = Field(nftLongInt, "iiiiiiiiiii");
    EXPECT_THROW(e.SetValueFromText(text), EEntryFieldError) << text;
  }
}

TEST(EfNumericConversions, FloatingNotationsOfTheText) {
  struct {
    const char *Text, *Shown;
  } const taken[] = {
      {"1e+2", "   100.00"},
      {"1E-2", "     0.01"},
      {"+5", "     5.00"},
      {"2.5e1", "    25.00"},
      // A missing integer digit is 0, and a trailing point goes.
      {"-.25", "    -0.25"},
      {".", "     0.00"},
  };
  for (const auto& c : taken) {
    for (const TNumericDataType type : {nftDouble, nftExtended}) {
      TEfNumericEntry e = Field(type, "######.##");
      e.SetValueFromText(c.Text);
      EXPECT_EQ(e.Text(), c.Shown) << c.Text << " " << int{type};
    }
  }
  TEfNumericEntry extended = Field(nftExtended, "######.##");
  extended.SetValueFromText("25000000000e-10");
  EXPECT_EQ(extended.Text(), "     2.50");
  for (const char* text : {"1e", "1e+", "1.5e", "e5", "1x", "+-1", "1-", "--1", "1e5x"}) {
    for (const TNumericDataType type : {nftDouble, nftSingle, nftExtended}) {
      TEfNumericEntry e = Field(type, "######.##");
      EXPECT_THROW(e.SetValueFromText(text), EEntryFieldError) << text << " " << int{type};
    }
  }
}

// Keys: "^" selects the whole text for the next key, "<" is Backspace, "!" reloads the entry
// (focus entry). Each typed character's outcome: a accepted, f filled, r refused.
TEST(EfNumericEntryRules, TypingBackspaceAndRefusals) {
  struct {
    const char* Name;
    TNumericDataType Type;
    const char *Mask, *Start, *Keys, *Outcomes;
    std::vector<const char*> Shown;  // after each key
  } const cases[] = {
      {"KK: 7 replaces the selection, then c",
       nftByte,
       "KK",
       "3E",
       "!^7c1<<",
       "afr",
       {"07", "7C", "7C", "07", "00"}},
      {"KK refuses g - . space", nftByte, "KK", "", "!g-. ", "rrrr", {"00", "00", "00", "00"}},
      {"KK clicked with 05 is full", nftByte, "KK", "5", "!1<1", "ra", {"05", "00", "01"}},
      {"KK takes lower case", nftByte, "KK", "", "af", "af", {"0A", "AF"}},
      {"refused key keeps the selection", nftByte, "KK", "3E", "!^g^7", "ra", {"3E", "07"}},
      {"no leading zero", nftByte, "999", "", "005", "aaa", {"  0", "  0", "  5"}},
      {"minus toggles",
       nftShortInt,
       "iiii",
       "",
       "-123-",
       "aaafa",
       {"  -0", "  -1", " -12", "-123", " 123"}},
      {"no room for minus",
       nftLongInt,
       "iiii",
       "",
       "1234-",
       "aaafr",
       {"   1", "  12", " 123", "1234", "1234"}},
      {"sign goes with the last digit",
       nftShortInt,
       "iiii",
       "",
       "-5<",
       "aa",
       {"  -0", "  -5", "   0"}},
      {"integer part, point, decimals",
       nftDouble,
       "##.##",
       "",
       "123.456",
       "aaraafr",
       {" 1.00", "12.00", "12.00", "12.00", "12.40", "12.45", "12.45"}},
      {"no point without one in the mask", nftLongInt, "####", "", "1.", "ar", {"   1", "   1"}},
      {"one position replaces", nftByte, "9", "", "57", "ff", {"5", "7"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TEfNumericEntry e = Field(c.Type, c.Mask);
    if (*c.Start) e.SetValueFromText(c.Start);
    std::string outcomes;
    size_t step = 0;
    bool selected = false;
    for (const char* k = c.Keys; *k; ++k) {
      if (*k == '^' || *k == '!') {
        if (*k == '!') e.LoadEntry();
        selected = *k == '^';
        continue;
      }
      if (*k == '<') {
        (void)e.DeleteChar(selected);
      } else {
        outcomes += "afro"[e.TypeChar(*k, selected).Outcome];
      }
      selected = false;
      ASSERT_LT(step, c.Shown.size());
      EXPECT_EQ(e.Text(), c.Shown[step++]) << "key " << (k - c.Keys);
      EXPECT_LE(static_cast<int>(e.EntryText().size()), e.Mask().DigitPositions());
    }
    EXPECT_EQ(outcomes, c.Outcomes);
  }
  // A value filling positions beyond the digit run loads an over-full entry.
  TEfNumericEntry e = Field(nftLongInt, "99-99");
  e.SetValueFromText("1234");
  e.LoadEntry();
  EXPECT_EQ(e.TypeChar('5', false).Outcome, coOverflow);
  EXPECT_TRUE(e.DeleteChar(false));
  EXPECT_EQ(e.Text(), " 1-23");
}

// The lone "0": not stored when typed into an empty entry, dropped when Backspace leaves it
// alone of a two-character entry, and a loaded text of value 0 gives an empty entry. A field
// entered by the mouse loads its text unselected ("!" below), so a full "05" takes nothing
// until a character goes.
TEST(EfNumericEntryRules, TheLoneZeroAndTheMouseEntry) {
  struct {
    const char *Mask, *Start;
    TNumericDataType Type;
    const char* Keys;  // "!" loads the entry from the text unselected, "<" is Backspace
    const char* Entry;
    const char* Shown;
  } const cases[] = {
      {"KK", "", nftByte, "0", "", "00"},
      {"KK", "", nftByte, "00", "", "00"},
      {"KK", "", nftByte, "05", "5", "05"},
      {"KK", "", nftByte, "50<", "5", "05"},
      {"KK", "05", nftByte, "!", "05", "05"},
      {"KK", "05", nftByte, "!<", "", "00"},    // "0" of "05" left alone: it goes too
      {"KK", "05", nftByte, "!7", "05", "05"},  // full: refused
      {"KK", "05", nftByte, "!<7", "7", "07"},
      {"KK", "00", nftByte, "!", "00", "00"},
      {"KK", "00", nftByte, "!<", "", "00"},
      {"KK", "30", nftByte, "!<", "3", "03"},
      {"999", "0", nftByte, "!", "", "  0"},  // a lone "0" loads as an empty entry
      {"999", "0", nftByte, "!7", "7", "  7"},
      {"999", "100", nftByte, "!<", "10", " 10"},
      {"999", "100", nftByte, "!<<", "1", "  1"},
      {"999", "100", nftByte, "!<<<", "", "  0"},
      {"iiii", "-5", nftShortInt, "!<", "", "   0"},  // an empty entry loses its sign
      {"iiii", "-50", nftShortInt, "!<", "5", "  -5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Mask) + " from \"" + c.Start + "\" keys " + c.Keys);
    TEfNumericEntry e = Field(c.Type, c.Mask);
    if (*c.Start) e.SetValueFromText(c.Start);
    for (const char* k = c.Keys; *k; ++k) {
      if (*k == '!') {
        e.LoadEntry();
      } else if (*k == '<') {
        (void)e.DeleteChar(false);
      } else {
        (void)e.TypeChar(*k, false);
      }
    }
    EXPECT_EQ(e.EntryText(), c.Entry);
    EXPECT_EQ(e.Text(), c.Shown);
  }
}

TEST(EfNumericEntryRules, SignAgainstTheRoomAndTheLoadedEntry) {
  // The sign counts against the integer positions and against a full entry.
  struct {
    TNumericDataType Type;
    const char *Mask, *Keys, *Outcomes, *Shown;
  } const cases[] = {
      {nftDouble, "###.#", "-123.5", "aaaraf", "-12.5"},
      {nftShortInt, "ii", "-57", "afr", "-5"},  // full: only a one-position field replaces
  };
  for (const auto& c : cases) {
    TEfNumericEntry e = Field(c.Type, c.Mask);
    std::string outcomes;
    for (const char* k = c.Keys; *k; ++k) outcomes += "afro"[e.TypeChar(*k, false).Outcome];
    EXPECT_EQ(outcomes, c.Outcomes) << c.Mask;
    EXPECT_EQ(e.Text(), c.Shown) << c.Mask;
  }
  // Focus entry takes a shown minus into the sign.
  TEfNumericEntry e = Field(nftShortInt, "iiii");
  e.SetValueFromText("-12");
  e.LoadEntry();
  EXPECT_EQ(e.EntryText(), "12");
  EXPECT_TRUE(e.EntryMinus());
  // Twelve octal digits of which a word keeps eight.
  TEfNumericEntry word = Field(nftWord, "OOOOOOOO");
  ASSERT_TRUE(word.SetIntegerValue(65535));
  EXPECT_EQ(word.Text(), "00177777");
}

TEST(EfNumericEntryRules, RegionalDecimalSeparator) {
  TEfNumericEntry e(TEfIntlSup::FromRegional("", ",", "."));
  e.SetDataType(nftDouble);
  e.SetPictureMask("###.##");
  for (const char c : {'1', '.', ',', '5'}) (void)e.TypeChar(c, false);
  EXPECT_EQ(e.Text(), "  1,50");
  EXPECT_EQ(e.ReadFloat(), 1.5L);
}

TEST(EfNumericEntryRules, PasteClearAndFocusExit) {
  struct {
    const char* Mask;
    TNumericDataType Type;
    bool Selected;
    const char *Text, *Shown;
  } const cases[] = {
      {"KK", nftByte, true, "3e", "3E"},
      {"KK", nftByte, true, "1234", "12"},
      {"KK", nftByte, false, "9", "09"},
      {"KK", nftByte, true, "", "00"},
      {"iiiip", nftShortInt, true, "(12)", " (12)"},
      {"iiii", nftShortInt, true, "(12)", "  12"},  // "(" is a sign only with "p"
      {"##,###.##", nftDouble, true, "1,234.5", " 1,234.50"},
      {"999", nftByte, true, "12\r\n", " 12"},
  };
  for (const auto& c : cases) {
    TEfNumericEntry e = Field(c.Type, c.Mask);
    const std::string before = e.Text();
    EXPECT_EQ(e.Paste(c.Text, c.Selected), before != c.Shown);
    EXPECT_EQ(e.Text(), c.Shown) << c.Mask << " " << c.Text;
  }
  TEfNumericEntry e = HexByte();
  e.Paste("7C", true);
  e.DropEntry();  // focus exit: the text stays
  EXPECT_EQ(e.Text(), "7C");
  EXPECT_TRUE(e.EntryText().empty());
  e.LoadEntry();
  EXPECT_TRUE(e.ClearEntry());
  EXPECT_EQ(e.Text(), "00");
}

TEST(EfNumericStep, WrapsAtTheRangeEnds) {
  struct {
    TNumericDataType Type;
    const char *Mask, *Lo, *Hi, *Start;
    int Delta;
    bool Wrap, Done;
    const char* Shown;
  } const cases[] = {
      {nftByte, "KK", "", "", "FF", 1, true, true, "00"},
      {nftByte, "KK", "", "", "00", -1, true, true, "FF"},
      {nftByte, "KK", "", "", "FF", 1, false, false, "FF"},
      {nftByte, "KK", "", "", "0A", 1, true, true, "0B"},
      {nftShortInt, "iiii", "", "", "-128", -1, true, true, " 127"},
      {nftLongInt, "iiiiiiiiiii", "", "", "2147483647", 1, true, true, "-2147483648"},
      {nftByte, "999", "10", "20", "25", 1, true, true, " 10"},  // outside: to the other end
      {nftByte, "999", "10", "20", "19", 5, true, true, " 20"},  // clamped
      {nftDouble, "##.##", "-1", "1", "0.5", 1, true, true, " 1.00"},
      {nftDouble, "##.##", "-1", "1", "1", 1, true, true, "-1.00"},
      {nftReal, "##.##", "0", "10", "2.5", -1, false, true, " 1.50"},
  };
  for (const auto& c : cases) {
    TEfNumericEntry e = Field(c.Type, c.Mask, c.Lo, c.Hi);
    e.SetValueFromText(c.Start);
    EXPECT_EQ(e.StepValue(c.Delta, c.Wrap), c.Done) << c.Mask << " " << c.Start;
    EXPECT_EQ(e.Text(), c.Shown) << c.Mask << " " << c.Start;
  }
  TEfNumericEntry e = HexByte();
  e.SetText("G1");
  EXPECT_FALSE(e.StepValue(1, true));
  EXPECT_EQ(e.Text(), "G1");
}

TEST(EfNumericRange, ChecksAgainstTheRecords) {
  struct {
    TNumericDataType Type;
    const char *Mask, *Lo, *Hi, *Value;
    int Code;
  } const cases[] = {
      {nftByte, "KK", "00", "7F", "80", ecOutOfRange},
      {nftByte, "KK", "00", "7F", "7F", 0},
      {nftShortInt, "KK", "80", "7F", "FF", 0},  // -1 in -128..127
      {nftShortInt, "iiii", "-5", "5", "-6", ecOutOfRange},
      {nftDouble, "##.##", "0", "1", "1.01", ecOutOfRange},
      {nftSingle, "##.##", "0", "0.1", "0.10", 0},  // compared in the single's precision
      {nftComp, "iiii", "-10", "10", "-11", ecOutOfRange},
  };
  for (const auto& c : cases) {
    TEfNumericEntry e = Field(c.Type, c.Mask, c.Lo, c.Hi);
    e.SetValueFromText(c.Value);
    EXPECT_EQ(e.CheckValue(true), c.Code) << c.Mask << " " << c.Value;
  }
  TEfNumericEntry e = HexByte();
  EXPECT_EQ(e.RangeHi() + e.RangeLo() + e.Text(), "FF0000");
  e.SetText("G1");
  EXPECT_EQ(e.IntegerValue().ValidationCode, ecInvalidValue);
  const uint8_t high[10] = {0x7F};
  e.SetRangeHigh(high);
  e.Paste("80", true);
  const TEfIntegerRead r = e.IntegerValue();
  EXPECT_EQ(r.Value, 0);
  EXPECT_EQ(r.ValidationCode, ecOutOfRange);
  EXPECT_EQ(e.Text(), "80");  // a read changes nothing

  // Equal ends give the type's range at creation; the initial value is 0 or the low end.
  e.SetRangeLo("10");
  e.SetRangeHi("10");
  e.Initialize();
  EXPECT_EQ(e.RangeHi(), "FF");
  e.SetRangeLo("10");
  e.SetRangeHi("20");
  e.Initialize();
  EXPECT_EQ(e.Text(), "10");
}

// The ends of a byte's range and of octal texts, each side of the edge.
TEST(EfNumericRange, ByteAndOctalEdges) {
  struct {
    TNumericDataType Type;
    const char *Mask, *Lo, *Hi;
    const char* Typed;  // pasted over the selected text
    const char* Shown;
    int Code;
    int32_t Read;  // IntegerValue: 0 when invalid
  } const cases[] = {
      {nftByte, "999", "", "", "255", "255", 0, 255},
      {nftByte, "999", "", "", "256", "256", ecOutOfRange, 0},
      {nftByte, "999", "", "", "0", "  0", 0, 0},
      {nftByte, "KKK", "", "", "0FF", "0FF", 0, 255},
      {nftByte, "KKK", "", "", "100", "100", ecOutOfRange, 0},
      {nftByte, "KK", "10", "20", "0F", "0F", ecOutOfRange, 0},
      {nftByte, "KK", "10", "20", "10", "10", 0, 16},
      {nftByte, "KK", "10", "20", "20", "20", 0, 32},
      {nftByte, "KK", "10", "20", "21", "21", ecOutOfRange, 0},
      {nftByte, "OOOO", "", "", "377", "0377", 0, 255},
      {nftByte, "OOOO", "", "", "400", "0400", ecOutOfRange, 0},
      {nftByte, "OOOO", "", "", "1000", "1000", ecOutOfRange, 0},
      {nftByte, "OOOO", "", "", "8", "0000", 0, 0},  // 8 is no octal digit
      {nftByte, "bbbbbbbbb", "", "", "11111111", "011111111", 0, 255},
      {nftByte, "bbbbbbbbb", "", "", "100000000", "100000000", ecOutOfRange, 0},
      // Twelve octal digits: 32 bits fit, one more bit overflows.
      {nftLongInt, "OOOOOOOOOOOO", "", "", "37777777777", "037777777777", 0, -1},
      {nftLongInt, "OOOOOOOOOOOO", "", "", "40000000000", "040000000000", ecInvalidValue, 0},
      {nftLongInt, "OOOOOOOOOOOO", "", "", "17777777777", "017777777777", 0, INT32_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Mask) + " " + c.Typed);
    TEfNumericEntry e = Field(c.Type, c.Mask, c.Lo, c.Hi);
    (void)e.Paste(c.Typed, true);
    EXPECT_EQ(e.Text(), c.Shown);
    const TEfIntegerRead r = e.IntegerValue();
    EXPECT_EQ(r.ValidationCode, c.Code);
    EXPECT_EQ(r.Value, c.Read);
  }
}

TEST(EfNumericRange, InitialValueAndTheEndsThemselves) {
  // The initial value is 0 when the range holds it, else the low end.
  struct {
    TNumericDataType Type;
    const char *Mask, *Lo, *Hi;
    int32_t Initial;
  } const initial[] = {
      {nftByte, "999", "1", "10", 1},
      {nftShortInt, "iiii", "-5", "0", 0},
      {nftShortInt, "iiii", "0", "5", 0},
      {nftShortInt, "iiii", "-9", "-2", -9},
  };
  for (const auto& c : initial) {
    EXPECT_EQ(Field(c.Type, c.Mask, c.Lo, c.Hi).IntegerValue().Value, c.Initial)
        << c.Lo << ".." << c.Hi;
  }
  // Both ends are inside the range, for the floating types too.
  for (const TNumericDataType type : {nftReal, nftDouble, nftExtended, nftSingle}) {
    for (const auto& [text, code] : std::initializer_list<std::pair<const char*, int>>{
             {"-1.5", 0}, {"2.5", 0}, {"-1.75", ecOutOfRange}, {"2.75", ecOutOfRange}}) {
      TEfNumericEntry e = Field(type, "####.##", "-1.5", "2.5");
      e.SetValueFromText(text);
      EXPECT_EQ(e.CheckValue(false), code) << text << " " << int{type};
    }
  }
}

TEST(EfNumericRange, RecordsAndTextsRefused) {
  const char* const messages[] = {
      "Invalid range. Enter a value between (-2147483648) and (2147483647)",
      "Invalid range. Enter a value between (0) and (65535)",
      "Invalid range. Enter a value between (-32768) and (32767)",
      "Invalid range. Enter a value between (0) and (255)",
      "Invalid range. Enter a value between (-128) and (127)",
      "Invalid range. Enter a value between (-1.7e+38) and (+1.7e+38)",
      "Invalid range. Enter a value between (-1.1e+4932) and (+1.1e+4932)",
      "Invalid range. Enter a value between (-1.7e+308) and (+1.7e+308)",
      "Invalid range. Enter a value between (-3.4e+38) and (+3.4e+38)",
      "Invalid range. Enter a value between (-9.2e+18) and (+9.2e+18)",
  };
  const uint8_t three[3] = {}, eleven[11] = {};
  for (int t = 0; t < NumericDataTypeCount; ++t) {
    TEfNumericEntry e = Field(static_cast<TNumericDataType>(t));
    const std::string hi = e.RangeHi();
    for (const char* text : {"x", "1e999999", "--1"}) {
      try {
        e.SetRangeHi(text);
        ADD_FAILURE() << t << " took " << text;
      } catch (const EInvalidRangeValue& error) {
        EXPECT_STREQ(error.what(), messages[t]);
      }
    }
    if (t > nftShortInt) {
      EXPECT_THROW(e.SetRangeHigh(three), EInvalidRangeValue);
    }
    EXPECT_THROW(e.SetRangeHigh(eleven), EInvalidRangeValue);
    EXPECT_EQ(e.RangeHi(), hi);
  }
  EXPECT_THROW(Field(nftByte).SetRangeHi("256"), EInvalidRangeValue);  // beyond the type
  EXPECT_THROW(Field(nftReal).SetRangeHi("1e39"), EInvalidRangeValue);
  TEfNumericEntry s = Field(nftShortInt);
  const uint8_t minus128[1] = {0x80};  // a short record holds the type's own value
  s.SetRangeLow(minus128);
  EXPECT_EQ(s.RangeLo(), "-128");
}

TEST(EfNumericValue, IntegerAccessorsAndTheValidationSeam) {
  TEfNumericEntry real = Field(nftReal);
  EXPECT_THROW((void)real.IntegerValue(), EInvalidDataType);
  EXPECT_THROW(real.SetIntegerValue(1), EInvalidDataType);

  TEfNumericEntry e = HexByte();
  int calls = 0;
  e.OnUserValidation = [&](int& code) {
    ++calls;
    EXPECT_FALSE(e.SetIntegerValue(1));  // ignored while validating
    (void)e.CheckValue(false);           // no second round
    if (code == 0 && e.ValueText() == "0D") code = ecUserBase + 1;
  };
  e.SetIntegerValue(13);
  const TEfIntegerRead r = e.IntegerValue();
  EXPECT_EQ(r.ValidationCode, ecUserBase + 1);
  EXPECT_EQ(r.Value, 0);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(e.UserValidationRunning());
}

TEST(EfNumericValue, MaskAndTypeChanges) {
  TEfNumericEntry e = HexByte();
  e.SetIntegerValue(62);
  EXPECT_FALSE(e.SetPictureMask(""));
  EXPECT_FALSE(e.SetPictureMask("KK"));
  EXPECT_TRUE(e.SetPictureMask("999"));  // the value stays
  EXPECT_EQ(e.Text(), " 62");
  EXPECT_THROW(e.SetPictureMask(std::string(256, '9')), EInvalidPictureMask);
  try {
    Field(nftDouble).SetPictureMask("999.99", true);
    ADD_FAILURE();
  } catch (const EInvalidPictureMask& error) {
    EXPECT_STREQ(error.what(), "Invalid picture mask: 999.99");
  }
  EXPECT_TRUE(Field(nftDouble).SetPictureMask("###.##", true));
  EXPECT_TRUE(Field(nftComp).SetPictureMask("999.99", true));
  e.SetDataType(nftWord);
  EXPECT_EQ(e.PictureMask() + " " + e.RangeHi() + " " + e.Text(), "99999 65535     0");
}

TEST(EfNumericDisplay, ZeroPadPasswordAndUninitialized) {
  struct {
    const char *Mask, *Value;
    TEfDisplayState State;
    const char* Shown;
  } const cases[] = {
      {"999", "5", {.PadChar = '*'}, "**5"},
      {"KK", "5", {.PadChar = '*'}, "05"},
      {"999", "0", {.ZeroDisplay = zdHide}, "   "},
      {"999", "0", {.Editing = true, .ZeroDisplay = zdHide}, "  0"},
      {"999", "0", {.ZeroDisplay = zdHideUntilModified}, "   "},
      {"999", "0", {.ZeroDisplay = zdHideUntilModified, .ModifiedOnce = true}, "  0"},
      {"999", "7", {.ZeroDisplay = zdHide, .ZeroDisplayValue = 7}, "   "},
      {"999", "42", {.Uninitialized = true}, "   "},
      {"999", "42", {.PadChar = '_', .PasswordMode = true}, "_**"},
      {"P: 99", "4", {.PadChar = '_'}, "P: _4"},
  };
  for (const auto& c : cases) {
    TEfNumericEntry e = Field(nftByte, c.Mask);
    e.SetValueFromText(c.Value);
    EXPECT_EQ(e.DisplayString(c.State), c.Shown) << c.Mask << " " << c.Value;
  }
}

TEST(EfEntryBase, NumericOptionsAndErrorTexts) {
  EXPECT_EQ(TEfEntryFieldOptions::FromBits(0xFFFF).ForNumericField(),
            (TEfEntryFieldOptions{efoArrowIncDec, efoForceOvertype, efoInputRequired,
                                  efoPasswordMode, efoReadOnly, efoSoftValidation}));
  EXPECT_EQ(TEfEntryFieldOptions::Defaults().ForNumericField(), TEfEntryFieldOptions{});
  TEfEntryFieldOptions o{efoForceOvertype};
  o.Include(efoForceInsert);
  EXPECT_EQ(o, TEfEntryFieldOptions{efoForceInsert});
  EXPECT_EQ(ErrorCodeText(ecOutOfRange, ""), "Value is not within required range");
  EXPECT_EQ(ErrorCodeText(ecUserBase + 3, "Mine"), "Mine");
  EXPECT_EQ(ErrorCodeText(255, "Mine"), "Entry Error");
}

}  // namespace
