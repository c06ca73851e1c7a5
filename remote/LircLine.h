// What the remote's server sends to LIRC clients: one line per accepted code,
//   "%016llx %02x %s %s\n": the 64-bit code, the repeat count, the button's name, the remote's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "remote/ButtonNames.h"

// The 64-bit code of a pair: Code2 in the upper half, Code1 in the lower.
[[nodiscard]] constexpr uint64_t LircCode(TCodePair Code) {
  return (uint64_t{Code.Code2} << 32) | Code.Code1;
}

// The line for a code: ButtonName empty gives the pair ("%u,%u") as the name. Blanks and
// control characters in the names would break the line into other words or lines; each one
// goes out as "_", and an empty remote name as "remote".
[[nodiscard]] std::string LircLine(TCodePair Code, uint32_t RepeatCount,
                                   std::string_view ButtonName, std::string_view RemoteName);

// Counts the repeats of a held button for the server's lines: 0 for a press, then 1, 2, ...
// for each repeat of the same pair. A release, or a repeat of another pair, starts again.
class TRepeatCounter {
 public:
  // The count for a code event; Repeat: the event is a repeat of a held key.
  uint32_t Code(TCodePair Code, bool Repeat);
  // The held key was let go.
  void Release() { FHeld = false; }

 private:
  bool FHeld = false;
  TCodePair FCode;
  uint32_t FCount = 0;
};
