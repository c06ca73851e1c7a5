// Picture masks of the entry fields: the picture characters with their character sets and case
// conversions, the international characters, and the analysis of a numeric mask with the
// merging of a value text into it and the extraction of the value text from what it shows.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Longest mask and longest text of an entry field.
inline constexpr size_t EfMaxText = 255;

// The characters that depend on the user's regional settings.
struct TEfIntlSup {
  std::string CurrencyText = "$";
  char DecimalChar = '.';
  char ThousandsChar = ',';  // 0: numbers are shown without separators
  char TrueChar = 'T';
  char FalseChar = 'F';
  char YesChar = 'Y';
  char NoChar = 'N';

  // The characters from the regional settings' texts. A missing text keeps its default; a
  // separator that is a digit, a sign or a control character, or a thousands separator equal
  // to the decimal separator, makes both separators fall back to "." and ",".
  [[nodiscard]] static TEfIntlSup FromRegional(std::string_view Currency, std::string_view Decimal,
                                               std::string_view Thousands);
};

// Case conversion of a user character set.
enum TEfCaseMode : uint8_t {
  cmNone,   // as typed
  cmUpper,  // upper case
  cmLower,  // lower case
  cmMixed,  // upper case after a space or "-", else as typed
};

struct TEfUserSet {
  std::bitset<256> Chars;
  TEfCaseMode Mode = cmNone;
};

// The sets of the picture characters "1" to "8" (index 0 is "1").
struct TEfUserData {
  // 1: letters and digits, upper case; 2: letters and digits, lower case; 3: letters, space, "-"
  // and "'", upper case after a space or "-" (names); 4: hexadecimal digits, upper case;
  // 5: digits, space, "+" and "-"; 6: "0" and "1"; 7: printable ASCII; 8: any character.
  TEfUserData();
  std::array<TEfUserSet, 8> Sets;
};

// The shared default sets.
[[nodiscard]] const TEfUserData& DefaultUserData();

// The 36 picture characters mark editable mask positions.
[[nodiscard]] bool IsPictureChar(char MaskChar);

// Kind of a mask position.
enum TEfPositionKind : uint8_t {
  pkLiteral = 0,
  pkEditable = 1,
  pkFloating = 2,  // "$" (floating currency) and "," (thousands separator)
};

[[nodiscard]] TEfPositionKind PositionKind(char MaskChar);

// The character C typed at a position with the picture character MaskChar, case-converted for
// that position, or none when the position does not take it. Prev is the character before the
// position (0 for none) for the conversions that depend on it.
[[nodiscard]] std::optional<char> FitPictureChar(char MaskChar, char C, char Prev,
                                                 const TEfIntlSup& Intl,
                                                 const TEfUserData& User = DefaultUserData());

// A numeric picture mask, analysed. The field shows one character per mask position, except
// that "p" and "g" take no place: a negative number shows its closing ")" or trailing "-" at
// their point, one character more than the positive one.
class TEfPictureMask {
 public:
  TEfPictureMask() : TEfPictureMask(std::string_view()) {}
  // Takes the mask up to a zero character and at most EfMaxText characters of it.
  explicit TEfPictureMask(std::string_view Mask);

  [[nodiscard]] const std::string& Mask() const { return FMask; }
  // The mask without "p" and "g": one character per shown position.
  [[nodiscard]] const std::string& Layout() const { return FLayout; }
  // Kind of each layout position.
  [[nodiscard]] const std::vector<TEfPositionKind>& Kinds() const { return FKinds; }

  [[nodiscard]] bool HexMode() const { return FHexMode; }
  [[nodiscard]] bool OctalMode() const { return FOctalMode; }
  [[nodiscard]] bool BinaryMode() const { return FBinaryMode; }
  [[nodiscard]] int DigitPositions() const { return FDigitPositions; }
  [[nodiscard]] int IntegerPositions() const { return FIntegerPositions; }
  [[nodiscard]] int DecimalPositions() const { return FDecimalPositions; }
  [[nodiscard]] bool HasDecimalPoint() const { return FPointPos >= 0; }
  // The picture character that typed characters are tested against (the one at the last
  // editable or floating position), or 0 when the mask has none.
  [[nodiscard]] char EntryChar() const { return FEntryChar; }
  [[nodiscard]] bool HasParens() const { return FParenPos >= 0; }

  // The shown text for a value text: digits (or hexadecimal letters), at most one ".", and a
  // leading "-" for a negative number. A number that does not fit shows "*" in every editable
  // and floating position, and then reads back as no number.
  [[nodiscard]] std::string Merge(std::string_view ValueText, const TEfIntlSup& Intl) const;
  // The shown text of a value that does not fit: "*" in every editable and floating position.
  [[nodiscard]] std::string OverflowText(const TEfIntlSup& Intl) const;
  // The value text in a shown text: what stands at editable and floating positions and at the
  // decimal point, without currency text and thousands separators, "." as the decimal point,
  // "-" for a negative number in any notation, trimmed.
  [[nodiscard]] std::string Extract(std::string_view Text, const TEfIntlSup& Intl) const;
  // The kind of each position of a shown text (an inserted ")" or "-" counts as literal).
  [[nodiscard]] std::vector<TEfPositionKind> KindsOf(std::string_view Text) const;

 private:
  // The layout position where a negative number's closing mark goes, or -1.
  [[nodiscard]] int MarkPos() const { return FParenPos >= 0 ? FParenPos : FMinusPos; }
  [[nodiscard]] char Mark() const { return FParenPos >= 0 ? ')' : '-'; }
  [[nodiscard]] bool HasMark(std::string_view Text) const;
  // The literals, currency runs and decimal point of the shown text; blanks elsewhere.
  [[nodiscard]] std::string Frame(const TEfIntlSup& Intl) const;

  std::string FMask;
  std::string FLayout;
  std::vector<TEfPositionKind> FKinds;
  bool FHexMode = false;
  bool FOctalMode = false;
  bool FBinaryMode = false;
  int FDigitPositions = 0;
  int FIntegerPositions = 0;
  int FDecimalPositions = 0;
  int FPointPos = -1;  // layout position of the decimal point
  int FParenPos = -1;  // layout position where "p" stood
  int FMinusPos = -1;  // layout position where "g" stood
  bool FHasDollar = false;
  bool FHasComma = false;
  char FEntryChar = 0;
};
