// The numeric entry of a picture-mask field without its window: data types and their value
// records, the calculator-style entry buffer, the shown text, the conversions between text and
// value, range checks and stepping. The numeric field's window delegates all of this here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "widgets/efentry.h"
#include "widgets/efmask.h"

enum TNumericDataType : uint8_t {
  nftLongInt,
  nftWord,
  nftInteger,
  nftByte,
  nftShortInt,
  nftReal,
  nftExtended,
  nftDouble,
  nftSingle,
  nftComp,
};
inline constexpr int NumericDataTypeCount = 10;

// The value kind code of a numeric field is this plus the data type's ordinal; its low six bits
// (4 to 13) select the conversion and the storage size.
inline constexpr int NumericKindBase = 132;

[[nodiscard]] constexpr int NumericKindCode(TNumericDataType Type) {
  return NumericKindBase + Type;
}

// Storage size in bytes of a value kind; EWidgetError for a kind outside the table.
[[nodiscard]] size_t DataSizeOfKind(int KindCode);

// The five types read and written as 32-bit integers.
[[nodiscard]] constexpr bool IsIntegerType(TNumericDataType Type) {
  return Type <= nftShortInt;
}

struct TNumericTypeInfo {
  size_t Size;  // bytes of the stored value
  std::string_view DefaultMask;
  int32_t Min, Max;             // the default range of the integer types
  std::string_view RangeError;  // message for a range text that does not parse
};

// EWidgetError for a value outside the enumeration.
[[nodiscard]] const TNumericTypeInfo& NumericTypeInfo(TNumericDataType Type);

// The 10-byte value record of a range end: the value in the type's binary form at its start
// (a 32-bit integer for the integer types, a double for nftReal, a 10-byte extended for the
// others), zeros after it.
using TEfRangeRecord = std::array<uint8_t, 10>;

// The 80-bit extended format (64-bit mantissa with explicit integer bit, 15-bit exponent, sign),
// little-endian, to and from this compiler's long double. Where long double is narrower the
// value is rounded, and beyond its range becomes an infinity.
[[nodiscard]] TEfRangeRecord EncodeExtended(long double Value);
[[nodiscard]] long double DecodeExtended(std::span<const uint8_t, 10> Bytes);

// What a typed character did.
enum TEfCharOutcome : uint8_t {
  coAccepted,  // taken (or, a leading zero, accepted without being stored)
  coFilled,    // taken, and the entry is now full: the field may move to the next control
  coRefused,   // not taken: the field beeps
  coOverflow,  // the entry was already over-full: the field moves on or beeps
};

struct TEfCharResult {
  TEfCharOutcome Outcome = coRefused;
  bool Changed = false;           // the text changed
  bool SelectionCleared = false;  // the selected text was replaced
};

// The state of the field that the shown string depends on.
struct TEfDisplayState {
  bool Editing = false;
  bool Uninitialized = false;
  TZeroDisplay ZeroDisplay = zdShow;
  double ZeroDisplayValue = 0;
  bool ModifiedOnce = false;
  char PadChar = ' ';
  bool PasswordMode = false;
};

struct TEfIntegerRead {
  int32_t Value = 0;       // 0 when the text is not valid
  int ValidationCode = 0;  // 0, ecOutOfRange, ecInvalidValue or a user code
};

class TEfNumericEntry {
 public:
  // A nftLongInt entry with its default mask and range, showing 0.
  explicit TEfNumericEntry(TEfIntlSup Intl = {});

  // Type and mask.
  [[nodiscard]] TNumericDataType DataType() const { return FDataType; }
  [[nodiscard]] int KindCode() const { return NumericKindCode(FDataType); }
  [[nodiscard]] size_t DataSize() const { return NumericTypeInfo(FDataType).Size; }
  // Sets the type's default range and mask; the entry is emptied and the text shows the initial
  // value. EWidgetError for a value outside the enumeration.
  void SetDataType(TNumericDataType Type);
  [[nodiscard]] const std::string& PictureMask() const { return FMask.Mask(); }
  [[nodiscard]] const TEfPictureMask& Mask() const { return FMask; }
  // An empty or unchanged mask is ignored (false). The value is kept across the change.
  // EInvalidPictureMask for a mask longer than EfMaxText characters, and, when DesignChecks is
  // set, for a floating type's mask holding "." together with "9" or "i".
  bool SetPictureMask(std::string_view Mask, bool DesignChecks = false);
  [[nodiscard]] const TEfIntlSup& Intl() const { return FIntl; }
  // The value is kept across the change.
  void SetIntl(TEfIntlSup Intl);
  // The sets of the picture characters "1" to "8"; the caller keeps them alive.
  void SetUserData(const TEfUserData& User) { FUser = &User; }

  // Range ends as records. A record shorter than the type's value or longer than 10 bytes is
  // refused with EInvalidRangeValue; missing bytes after the value are taken as its extension.
  [[nodiscard]] const TEfRangeRecord& RangeHigh() const { return FRangeHigh; }
  [[nodiscard]] const TEfRangeRecord& RangeLow() const { return FRangeLow; }
  void SetRangeHigh(std::span<const uint8_t> Record);
  void SetRangeLow(std::span<const uint8_t> Record);
  // Range ends as text in the field's notation; EInvalidRangeValue for a text that does not
  // parse or lies outside the type.
  [[nodiscard]] std::string RangeHi() const;
  [[nodiscard]] std::string RangeLo() const;
  void SetRangeHi(std::string_view Text);
  void SetRangeLo(std::string_view Text);
  void ResetRange();

  // Window creation: equal range ends give the type's range, the entry is emptied, and the text
  // shows 0 when the range holds it, else the low end.
  void Initialize();

  // The text as shown, at most EfMaxText characters.
  [[nodiscard]] const std::string& Text() const { return FText; }
  // Puts back a text this entry showed before (the saved text of a restore).
  void SetText(std::string_view Text);
  // The value text of the shown text.
  [[nodiscard]] std::string ValueText() const { return FMask.Extract(FText, FIntl); }
  // The string to draw: the text with the zero, uninitialized, pad and password rules.
  [[nodiscard]] std::string DisplayString(const TEfDisplayState& State) const;

  // Values. Reading fills the caller's buffer of the type's size from the text and tells whether
  // the text held a value (zeros when not); writing shows the buffer's value. EWidgetError for a
  // buffer smaller than the data size.
  bool ReadValue(std::span<uint8_t> Data) const;
  void WriteValue(std::span<const uint8_t> Data);
  // The value of the text in the type's own precision (integer types: as a 32-bit integer
  // before any cut to the type's width), or none when the text does not convert.
  [[nodiscard]] std::optional<int32_t> ReadInteger() const;
  [[nodiscard]] std::optional<long double> ReadFloat() const;
  // Shows a value (integer types: cut to the type's width first).
  void WriteInteger(int32_t Value);
  void WriteFloat(long double Value);
  // Parses a text in the field's notation and shows its value; EEntryFieldError when the text
  // does not convert or lies outside the type.
  void SetValueFromText(std::string_view Text);

  // Type and range check: 0, ecInvalidValue or ecOutOfRange, then passed through
  // OnUserValidation unless that is running already. WriteBack shows a valid value again in
  // its normal form.
  int CheckValue(bool WriteBack);
  // Adds Delta (rounded for integer types) within the range: at a range end the value wraps to
  // the other end when Wrap is set, else nothing happens. The entry is reloaded from the new
  // text. False when nothing changed or the text does not convert.
  bool StepValue(long double Delta, bool Wrap);
  // The value of an integer type (EInvalidDataType otherwise), checked first without write-back:
  // 0 when invalid. Narrow types are zero- or sign-extended.
  [[nodiscard]] TEfIntegerRead IntegerValue();
  // Shows Value cut to the integer type's width (EInvalidDataType otherwise), without range
  // check; ignored (false) while OnUserValidation runs. The entry is not touched.
  bool SetIntegerValue(int32_t Value);

  // The entry buffer: the typed characters and the sign.
  [[nodiscard]] const std::string& EntryText() const { return FEntryText; }
  [[nodiscard]] bool EntryMinus() const { return FEntryMinus; }
  // A typed character. With Selected (the whole text selected), a character the empty entry
  // takes replaces the entry; one it refuses changes nothing.
  TEfCharResult TypeChar(char C, bool Selected);
  // Backspace and Delete: the entry goes with Selected, else its last character.
  bool DeleteChar(bool Selected);
  // Delete line: the entry goes, and the text shows 0.
  bool ClearEntry();
  // Focus exit: the entry goes, the text stays.
  void DropEntry();
  // Each character as if typed, refused ones skipped; the entry goes first with Selected.
  bool Paste(std::string_view Text, bool Selected);
  // The entry from the shown text (focus entry, restore).
  void LoadEntry();

  // Extra validation after the type and range check; it may change the code.
  std::function<void(int& Code)> OnUserValidation;
  [[nodiscard]] bool UserValidationRunning() const { return FValidating; }

 private:
  TEfCharOutcome Offer(char C);
  void Rebuild();
  // Rebuilds the text when the entry changed (or always, with Force); tells whether it changed.
  bool Commit(const std::string& EntryBefore, bool MinusBefore, bool Force);
  void RequireIntegerType() const;
  [[nodiscard]] std::optional<int32_t> TextToInteger(std::string_view Text) const;
  [[nodiscard]] std::string IntegerToText(int32_t Value) const;
  [[nodiscard]] std::optional<long double> TextToFloat(std::string_view Text) const;
  [[nodiscard]] std::optional<long double> NarrowFloat(long double Value) const;
  [[nodiscard]] long double RangeFloat(const TEfRangeRecord& Record) const;
  [[nodiscard]] TEfRangeRecord TextToRecord(std::string_view Text) const;
  [[nodiscard]] std::string RecordToText(const TEfRangeRecord& Record) const;
  [[nodiscard]] TEfRangeRecord CheckedRecord(std::span<const uint8_t> Record) const;
  [[nodiscard]] bool IsZero(double ZeroValue) const;
  int CheckTypeAndRange(bool WriteBack);

  TEfIntlSup FIntl;
  const TEfUserData* FUser;
  TNumericDataType FDataType = nftLongInt;
  TEfPictureMask FMask;
  TEfRangeRecord FRangeHigh{};
  TEfRangeRecord FRangeLow{};
  std::string FText;
  std::string FEntryText;
  bool FEntryMinus = false;
  bool FValidating = false;
};
