// Fuzzes the numeric entry over (data type, mask, operations): no crash or undefined behaviour,
// the shown text never exceeds 255 characters, and editing never takes the entry buffer beyond
// the mask's digit positions (only a reload from a text whose number fills positions outside
// the digit run may hold more, and editing then never makes it longer). For the integer types
// besides: a range end's text reads back to the same end, a value the check passes lies within
// the range, a stepped value too, a value written into the type's default mask reads back as
// written, and a text made from a value makes the same text again (text, value, text).
//
// Input: byte 0 the data type, byte 1 flags (regional characters, mask doubling, design
// checks), byte 2 the mask length, then the mask, then operations of two bytes each.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "widgets/efnumentry.h"

namespace {

void Check(bool Condition, int Line) {
  if (Condition) return;
  std::fprintf(stderr, "check failed at line %d\n", Line);
  std::abort();
}
#define Require(Condition) Check(Condition, __LINE__)

// Default characters, or regional ones: decimal comma, a long currency text, no separator.
TEfIntlSup Regional(uint8_t Flags) {
  TEfIntlSup s = TEfIntlSup::FromRegional((Flags & 1) != 0 ? "\x80\x80\x80\x80" : "", ",", ".");
  if ((Flags & 3) == 0) s = {};
  if ((Flags & 2) != 0) s.ThousandsChar = 0;
  return s;
}

// The first 32 bits of a range record, as the integer types compare with them.
int32_t RecordInteger(const TEfRangeRecord& Record) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(Record[0]) | static_cast<uint32_t>(Record[1]) << 8 |
      static_cast<uint32_t>(Record[2]) << 16 | static_cast<uint32_t>(Record[3]) << 24);
}

// The value of the text shown again makes a text that gives that text once more.
void CheckTextValueText(const TEfNumericEntry& Entry) {
  const auto value = Entry.ReadInteger();
  if (!value) return;
  TEfNumericEntry copy = Entry;
  copy.WriteInteger(*value);
  const std::string once = copy.Text();
  const auto again = copy.ReadInteger();
  if (!again) return;  // a mask too short for the value's digits shows no readable number
  copy.WriteInteger(*again);
  Require(copy.Text() == once);
  Require(copy.ReadInteger() == again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const auto type = static_cast<TNumericDataType>(Data[0] % NumericDataTypeCount);
  const uint8_t flags = Data[1];
  const size_t maskLength = std::min<size_t>(Data[2], Size - 3);
  std::string mask(reinterpret_cast<const char*>(Data + 3), maskLength);
  if ((flags & 4) != 0) mask += mask;  // up to 510 characters: longer ones are refused
  std::string_view ops(reinterpret_cast<const char*>(Data + 3 + maskLength), Size - 3 - maskLength);

  TEfNumericEntry e(Regional(flags));
  e.SetDataType(type);
  try {
    e.SetPictureMask(mask, (flags & 8) != 0);
  } catch (const EInvalidPictureMask&) {
    Require(mask.substr(0, mask.find('\0')).size() > EfMaxText || (flags & 8) != 0);
  }
  e.Initialize();

  const auto digits = static_cast<size_t>(e.Mask().DigitPositions());
  size_t bound = digits;  // the longest entry editing may leave
  const auto check = [&] {
    Require(e.Text().size() <= EfMaxText);
    Require(e.EntryText().size() <= bound);
    bound = std::max(digits, e.EntryText().size());
    Require(e.ValueText().size() <= EfMaxText);
  };
  check();

  while (ops.size() >= 2) {
    const auto op = static_cast<uint8_t>(ops[0]);
    const char c = ops[1];
    ops.remove_prefix(2);
    const bool selected = (op & 0x80) != 0;
    switch (op % 12) {
      case 0:
      case 1:
      case 2:
      case 3:
        (void)e.TypeChar(c, selected);
        break;
      case 4:
        (void)e.DeleteChar(selected);
        break;
      case 5:
        (void)e.ClearEntry();
        break;
      case 6: {
        const size_t n = std::min<size_t>(static_cast<uint8_t>(c) % 16, ops.size());
        (void)e.Paste(ops.substr(0, n), selected);
        ops.remove_prefix(n);
        break;
      }
      case 7:
      case 8:
        if (op % 12 == 7) {
          e.LoadEntry();
        } else {
          const int32_t lo = RecordInteger(e.RangeLow());
          const int32_t hi = RecordInteger(e.RangeHigh());
          // A step that the mask can show ends within the range.
          if (e.StepValue(static_cast<int8_t>(c), selected) && IsIntegerType(type) && lo <= hi &&
              e.PictureMask() == NumericTypeInfo(type).DefaultMask) {
            const auto now = e.ReadInteger();
            Require(now.has_value() && *now >= lo && *now <= hi);
          }
        }
        // A reload holds the value text: never more than the text's positions.
        Require(e.EntryText().size() + (e.EntryMinus() ? 1 : 0) <= e.Text().size());
        bound = std::max(digits, e.EntryText().size());
        break;
      case 9: {
        std::array<uint8_t, 10> value{};
        for (size_t i = 0; i < value.size() && i < ops.size(); ++i) {
          value[i] = static_cast<uint8_t>(ops[i]);
        }
        e.WriteValue(value);
        // The default mask of an integer type shows every value of the type: it reads back.
        if (IsIntegerType(type) && e.PictureMask() == NumericTypeInfo(type).DefaultMask) {
          std::array<uint8_t, 10> back{};
          Require(e.ReadValue(back));
          Require(std::equal(back.begin(), back.begin() + static_cast<long>(e.DataSize()),
                             value.begin()));
        }
        break;
      }
      case 10: {
        (void)e.CheckValue(selected);
        try {
          const TEfIntegerRead read = e.IntegerValue();
          // What the check passes lies within the range.
          if (read.ValidationCode == 0) {
            const auto raw = e.ReadInteger();
            Require(raw.has_value());
            Require(*raw >= RecordInteger(e.RangeLow()) && *raw <= RecordInteger(e.RangeHigh()));
          }
        } catch (const EInvalidDataType&) {
          Require(!IsIntegerType(type));
        }
        if (IsIntegerType(type)) {
          // A range end as text reads back to the same end, and to the same text.
          for (const bool high : {true, false}) {
            const int32_t end = RecordInteger(high ? e.RangeHigh() : e.RangeLow());
            const std::string text = high ? e.RangeHi() : e.RangeLo();
            try {
              high ? e.SetRangeHi(text) : e.SetRangeLo(text);
            } catch (const EInvalidRangeValue&) {
              Require(false);
            }
            Require(RecordInteger(high ? e.RangeHigh() : e.RangeLow()) == end);
            Require((high ? e.RangeHi() : e.RangeLo()) == text);
          }
        }
        try {
          e.SetRangeLo(ops.substr(0, static_cast<uint8_t>(c) % 24));
        } catch (const EInvalidRangeValue&) {
        }
        break;
      }
      default: {
        std::array<uint8_t, 10> value{};
        (void)e.ReadValue(value);
        TEfDisplayState state;
        state.Editing = selected;
        state.ZeroDisplay = static_cast<TZeroDisplay>(static_cast<uint8_t>(c) % 3);
        state.PadChar = c;
        state.PasswordMode = (op & 0x40) != 0;
        // While editing, with blank padding and no password, the field draws its text.
        if (state.Editing && state.PadChar == ' ' && !state.PasswordMode) {
          Require(e.DisplayString(state) == e.Text());
        }
        // A zero hidden while not editing leaves only blanks.
        if (!state.Editing && state.ZeroDisplay == zdHide && IsIntegerType(type) &&
            e.ReadInteger() == 0) {
          Require(e.DisplayString(state) == std::string(e.Text().size(), ' '));
        }
        if (IsIntegerType(type)) CheckTextValueText(e);
        e.DropEntry();
        break;
      }
    }
    check();
  }
  return 0;
}
