// What every entry field shares and needs no window for: the error classes of the widget set,
// the validation codes and their messages, the option bits and the zero-display rule.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "gui/Set.h"

// Every error the entry-field widgets raise.
class EEfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A parameter outside what the widget knows, such as a corrupted value kind.
class EWidgetError : public EEfError {
 public:
  EWidgetError() : EEfError("Parameter value is invalid") {}
};

// An operation the field's data type does not support.
class EInvalidDataType : public EEfError {
 public:
  EInvalidDataType() : EEfError("Invalid data type for this field") {}
};

class EInvalidPictureMask : public EEfError {
 public:
  explicit EInvalidPictureMask(std::string_view Mask)
      : EEfError("Invalid picture mask: " + std::string(Mask)) {}
};

// A text given to the field that its data type cannot hold.
class EEntryFieldError : public EEfError {
 public:
  EEntryFieldError() : EEfError("Value is not valid for this field type") {}
};

// A range end that does not parse; the message names the type's own range.
class EInvalidRangeValue : public EEfError {
 public:
  using EEfError::EEfError;
};

// Validation codes: 0 is valid.
inline constexpr int ecOutOfRange = 256;
inline constexpr int ecInvalidValue = 257;
inline constexpr int ecRequired = 258;
inline constexpr int ecInvalidDate = 259;
inline constexpr int ecInvalidTime = 260;
inline constexpr int ecBlanks = 261;
inline constexpr int ecPartial = 262;
inline constexpr int ecUserBase = 0x8000;

// The message for a validation code; user codes show the controller's current error text.
[[nodiscard]] inline std::string_view ErrorCodeText(int Code, std::string_view UserText) {
  if (Code >= ecUserBase) return UserText;
  switch (Code) {
    case ecOutOfRange:
      return "Value is not within required range";
    case ecInvalidValue:
      return "Value is not valid for this field type";
    case ecRequired:
      return "A value is required in this field";
    case ecInvalidDate:
      return "Value is not a valid date";
    case ecInvalidTime:
      return "Value is not a valid time";
    case ecBlanks:
      return "This field should contain no blanks";
    case ecPartial:
      return "This field should be either empty or completely full";
    default:
      return "Entry Error";
  }
}

// Option bits of an entry field (bit = ordinal).
enum TEfEntryFieldOption : uint8_t {
  efoArrowIncDec,
  efoCaretToEnd,
  efoForceInsert,
  efoForceOvertype,
  efoInputRequired,
  efoPasswordMode,
  efoReadOnly,
  efoRightAlign,
  efoRightJustify,
  efoSoftValidation,
  efoStripLiterals,
  efoTrimBlanks,
};

class TEfEntryFieldOptions {
 public:
  constexpr TEfEntryFieldOptions() = default;
  constexpr TEfEntryFieldOptions(std::initializer_list<TEfEntryFieldOption> Options)
      : FSet(Options) {}
  [[nodiscard]] static constexpr TEfEntryFieldOptions FromBits(uint16_t Bits) {
    TEfEntryFieldOptions s;
    s.FSet = TOptionSet::FromBits(Bits & AllBits);
    return s;
  }
  [[nodiscard]] static constexpr TEfEntryFieldOptions Defaults() {
    return {efoCaretToEnd, efoTrimBlanks};
  }

  [[nodiscard]] constexpr uint16_t Bits() const { return FSet.ToBits(); }
  [[nodiscard]] constexpr bool Contains(TEfEntryFieldOption o) const { return FSet.Contains(o); }
  // Forcing insert mode and forcing overwrite mode exclude each other.
  constexpr void Include(TEfEntryFieldOption o) {
    FSet.Include(o);
    if (o == efoForceInsert) FSet.Exclude(efoForceOvertype);
    if (o == efoForceOvertype) FSet.Exclude(efoForceInsert);
  }
  constexpr void Exclude(TEfEntryFieldOption o) { FSet.Exclude(o); }
  // The options a numeric field does not use are cleared.
  [[nodiscard]] constexpr TEfEntryFieldOptions ForNumericField() const {
    TEfEntryFieldOptions s;
    s.FSet = FSet - TOptionSet{efoCaretToEnd,   efoForceInsert,   efoRightAlign,
                               efoRightJustify, efoStripLiterals, efoTrimBlanks};
    return s;
  }
  friend constexpr bool operator==(TEfEntryFieldOptions A, TEfEntryFieldOptions B) {
    return A.FSet == B.FSet;
  }

 private:
  using TOptionSet = TSet<TEfEntryFieldOption, uint16_t>;
  static constexpr uint16_t AllBits = 0x0FFF;
  TOptionSet FSet;
};

// When a zero value is shown blank while the field is not being edited.
enum TZeroDisplay : uint8_t { zdShow, zdHide, zdHideUntilModified };
