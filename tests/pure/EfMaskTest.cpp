#include "widgets/efmask.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(EfPictureChars, ThirtySixEditableTwoFloatingRestLiteral) {
  const std::string picture = "!#123456789ABDEHKLMNOSXYabdhilmnstxy";
  for (int c = 1; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const TEfPositionKind want = picture.find(ch) != std::string::npos ? pkEditable
                                 : ch == '$' || ch == ','              ? pkFloating
                                                                       : pkLiteral;
    EXPECT_EQ(PositionKind(ch), want) << c;
  }
  EXPECT_EQ(PositionKind(0), pkLiteral);
}

TEST(EfPictureChars, EachSetWithItsCaseConversion) {
  struct {
    char Mask, C, Prev;
    std::optional<char> Want;
  } const cases[] = {
      {'9', '5', 0, '5'},       {'y', ' ', 0, ' '},       {'9', '-', 0, {}},  {'i', '-', 0, '-'},
      {'i', '.', 0, {}},        {'#', '.', 0, '.'},       {'#', '+', 0, {}},  {'E', 'e', 0, 'E'},
      {'E', '+', 0, '+'},       {'K', 'c', 0, 'C'},       {'K', 'g', 0, {}},  {'K', '-', 0, {}},
      {'O', '7', 0, '7'},       {'O', '8', 0, {}},        {'b', '1', 0, '1'}, {'b', '2', 0, {}},
      {'B', 't', 0, 'T'},       {'B', 'x', 0, {}},        {'Y', 'n', 0, 'N'}, {'A', 'q', 0, 'Q'},
      {'a', 'q', 0, 'q'},       {'n', '1', 0, {}},        {'l', 'Q', 0, 'q'}, {'X', '%', 0, '%'},
      {'!', 'q', 0, 'Q'},       {'L', 'Q', 0, 'q'},       {'x', 'q', 0, 'q'}, {'x', 'q', '-', 'Q'},
      {'1', 'q', 0, 'Q'},       {'1', '%', 0, {}},        {'2', 'Q', 0, 'q'}, {'3', 'q', ' ', 'Q'},
      {'4', 'g', 0, {}},        {'8', '\x01', 0, '\x01'}, {'$', '5', 0, {}},  {'-', '5', 0, {}},
      {'N', '\xE9', 0, '\xC9'},  // letters of the Windows Latin-1 set
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitPictureChar(c.Mask, c.C, c.Prev, {}), c.Want) << c.Mask << " " << c.C;
  }
  TEfUserData user;
  user.Sets[0].Chars.reset();
  user.Sets[0].Chars.set('Z');
  EXPECT_EQ(FitPictureChar('1', 'z', 0, {}, user), 'Z');
  EXPECT_EQ(FitPictureChar('1', 'A', 0, {}, user), std::nullopt);
}

TEST(EfPictureChars, LettersAndCaseOfTheWindowsLatin1Set) {
  // The case pairs of the Windows Latin-1 character set, and its letters without a case
  // (sharp s, the ordinal indicators, micro).
  std::vector<std::pair<int, int>> pairs = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};
  for (int c = 'A'; c <= 'Z'; ++c) pairs.emplace_back(c, c + 0x20);
  for (int c = 0xC0; c <= 0xDE; ++c) {
    if (c != 0xD7) pairs.emplace_back(c, c + 0x20);  // not the multiplication sign
  }
  std::array<int, 256> upper{}, lower{};
  std::array<bool, 256> letter{};
  for (int c = 0; c < 256; ++c) upper[c] = lower[c] = c;
  for (const auto& [u, l] : pairs) {
    upper[l] = u;
    lower[u] = l;
    letter[u] = letter[l] = true;
  }
  for (const int c : {0xAA, 0xB5, 0xBA, 0xDF}) letter[c] = true;
  for (int c = 1; c < 256; ++c) {
    // Whether the system counts the hook f (0x83) and the modifier circumflex (0x88) as letters
    // is its own affair.
    if (c == 0x83 || c == 0x88) continue;
    const char ch = static_cast<char>(c);
    EXPECT_EQ(FitPictureChar('a', ch, 0, {}).has_value(), letter[c]) << "letter " << c;
    EXPECT_EQ(static_cast<uint8_t>(FitPictureChar('!', ch, 0, {}).value_or(0)), upper[c])
        << "upper " << c;
    EXPECT_EQ(static_cast<uint8_t>(FitPictureChar('L', ch, 0, {}).value_or(0)), lower[c])
        << "lower " << c;
  }
}

TEST(EfPictureChars, NumericSetsTakeTheirCharactersAndNoOthers) {
  // Each numeric picture character against every character: what it takes, and as what.
  const std::string digits = "0123456789";
  struct {
    const char* Masks;
    std::string Takes;  // as typed
    std::string Upper;  // taken as their capitals
  } const cases[] = {
      {"9DHMSdhmsy", digits + " ", ""},
      {"i", digits + " -", ""},
      {"#", digits + " -.", ""},
      {"E", digits + " -.+E", "e"},
      {"K", digits + " ABCDEF", "abcdef"},
      {"O", "01234567 ", ""},
      {"b", "01 ", ""},
      {"B", "TF", "tf"},
      {"Y", "YN", "yn"},
  };
  for (const auto& c : cases) {
    for (const char* mask = c.Masks; *mask != 0; ++mask) {
      for (int code = 1; code < 256; ++code) {
        const char ch = static_cast<char>(code);
        std::optional<char> want;
        if (c.Takes.find(ch) != std::string::npos) want = ch;
        if (c.Upper.find(ch) != std::string::npos) want = static_cast<char>(ch - 0x20);
        EXPECT_EQ(FitPictureChar(*mask, ch, 0, {}), want) << *mask << " " << code;
      }
    }
  }
}

TEST(EfIntl, RegionalSeparatorsWithFallback) {
  struct {
    const char *Currency, *Decimal, *Thousands, *Want;  // currency, decimal, thousands
  } const cases[] = {
      {"", "", "", "$.,"},    {"kr", ",", ".", "kr,."}, {"\x80", ",", " ", "\x80, "},
      {"$", ",", ",", "$.,"}, {"$", "5", ",", "$.,"},   {"$", ",", "-", "$.,"},
  };
  for (const auto& c : cases) {
    const auto intl = TEfIntlSup::FromRegional(c.Currency, c.Decimal, c.Thousands);
    EXPECT_EQ(intl.CurrencyText + intl.DecimalChar + intl.ThousandsChar, c.Want);
  }
}

TEST(EfMaskAnalysis, CountsAndModes) {
  struct {
    const char* Mask;
    int Digits, Integers, Decimals;
    const char* Modes;  // K, O, b
    char EntryChar;
  } const cases[] = {
      {"KK", 2, 2, 0, "K", 'K'},       {"iiiiiiiiiii", 11, 11, 0, "", 'i'},
      {"##,###.##", 8, 5, 2, "", '#'}, {"$$$$##,###.##p", 8, 5, 2, "", '#'},
      {"P: iiii", 4, 4, 0, "", 'i'},   {"999-9999", 3, 3, 0, "", '9'},
      {"OOOO", 4, 4, 0, "O", 'O'},     {"bbbbbbbb", 8, 8, 0, "b", 'b'},
      {".##", 3, 0, 2, "", '#'},       {"---", 0, 0, 0, "", 0},
      {"###.#", 5, 3, 1, "", '#'},
  };
  for (const auto& c : cases) {
    const TEfPictureMask m(c.Mask);
    const std::string modes = std::string(m.HexMode() ? "K" : "") + (m.OctalMode() ? "O" : "") +
                              (m.BinaryMode() ? "b" : "");
    EXPECT_EQ(m.DigitPositions(), c.Digits) << c.Mask;
    EXPECT_EQ(m.IntegerPositions(), c.Integers) << c.Mask;
    EXPECT_EQ(m.DecimalPositions(), c.Decimals) << c.Mask;
    EXPECT_EQ(modes, c.Modes) << c.Mask;
    EXPECT_EQ(m.EntryChar(), c.EntryChar) << c.Mask;
  }
  EXPECT_EQ(TEfPictureMask(std::string(300, '9')).Mask().size(), EfMaxText);
  EXPECT_EQ(TEfPictureMask(std::string_view("99\0"
                                            "99",
                                            5))
                .Mask(),
            "99");
}

TEST(EfMaskMerge, ShowsAndReadsBack) {
  struct {
    const char *Mask, *Value, *Shown, *Back;  // Back: the value text read back
  } const cases[] = {
      {"KK", "5", "05", "05"},
      {"KK", "3E", "3E", "3E"},
      {"KKKK", "000000FF", "00FF", "00FF"},  // leading zeros that do not fit are dropped
      {"999", "5", "  5", "5"},
      {"iiii", "-128", "-128", "-128"},
      {"##,###.##", "1234.5", " 1,234.50", "1234.50"},
      {"##,###.##", "0.125", "     0.12", "0.12"},  // the fraction is cut to the mask
      {"$$$$##,###.##", "-1234.5", "   -$1,234.50", "-1234.50"},
      {"$$$$##,###.##p", "-1234.5", "   ($1,234.50)", "-1234.50"},
      {"$$$$##,###.##p", "1234.5", "    $1,234.50", "1234.50"},
      {"###g", "-12", " 12-", "-12"},
      {"cc iii", "42", " $  42", "42"},
      {"iii CCC", "7", "  7 $  ", "7"},
      {"P: iii", "-7", "P:  -7", "-7"},
      {"KKKK", "-5", "-005", "-005"},  // zeros belong to the digits
      {"99", "123", "**", "**"},       // too long: no wrong number is shown
      {"99", "-12", "**", "**"},       // no room for the sign
      {"$99", "-5", "-$5", "-5"},
      {"$99", "-12", "-12", "-12"},  // the sign before the currency
      {"##.##", ".5", " 0.50", "0.50"},
      {"$99", "12", "$12", "12"},  // the currency needs no room for a sign
      {".##", "0.5", ".50", ".50"},
  };
  for (const auto& c : cases) {
    const TEfPictureMask m(c.Mask);
    const std::string shown = m.Merge(c.Value, {});
    EXPECT_EQ(shown, c.Shown) << c.Mask << " " << c.Value;
    EXPECT_EQ(m.Extract(shown, {}), c.Back) << c.Mask << " " << c.Value;
  }
}

TEST(EfMaskMerge, RegionalSeparators) {
  const TEfIntlSup german = TEfIntlSup::FromRegional("EUR", ",", ".");
  const TEfPictureMask m("$$$$##,###.##");
  EXPECT_EQ(m.Merge("-1234.5", german), " -EUR1.234,50");
  EXPECT_EQ(m.Extract(" -EUR1.234,50", german), "-1234.50");
  TEfIntlSup none;
  none.ThousandsChar = 0;  // no separator: the "," positions close up
  EXPECT_EQ(TEfPictureMask("#,###").Merge("1234", none), " 1234");
  EXPECT_EQ(TEfPictureMask("#,###").Extract(" 1234", none), "1234");
}

}  // namespace
