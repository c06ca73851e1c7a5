// Fuzzes the numeric entry over (data type, mask, operations): no crash or undefined behaviour,
// the shown text never exceeds 255 characters, and editing never takes the entry buffer beyond
// the mask's digit positions (only a reload from a text whose number fills positions outside
// the digit run may hold more, and editing then never makes it longer).
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
          (void)e.StepValue(static_cast<int8_t>(c), selected);
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
        break;
      }
      case 10: {
        (void)e.CheckValue(selected);
        try {
          (void)e.IntegerValue();
        } catch (const EInvalidDataType&) {
          Require(!IsIntegerType(type));
        }
        const std::string hi = e.RangeHi();
        Require(hi.size() <= 64);
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
        Require(e.DisplayString(state).size() == e.Text().size());
        e.DropEntry();
        break;
      }
    }
    check();
  }
  return 0;
}
