// The keys of the virtual remote, the input reports its receiver sends for them, and the
// timing of a held key. No Windows here: the layout and the timing are tested natively.
//
// A report is 9 bytes: report id 0, then the remote's scan code, the key page and the key code
// (bit 7 set while the key is held), then zeros. A receiver's decoder skips the zeros of such a
// report and reads the scan code as the check byte and the page and the key code as the key
// value, so each key gives a code pair of its own and a held key another one.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace remote {

// The USB ids and names of the virtual remote's receiver.
inline constexpr uint16_t VendorID = 0x1209;
inline constexpr uint16_t ProductID = 0x0001;

inline constexpr uint8_t ScanCode = 0x4B;  // the byte a scan-code check compares
inline constexpr uint8_t KeyPage = 0x0B;   // bits 8 to 15 of every key value
inline constexpr uint8_t HeldFlag = 0x80;  // set in the key code while the key is held
inline constexpr size_t ReportLength = 9;  // report id included

// A held key sends its report again this often, as an IR remote repeats a held key.
inline constexpr uint64_t RepeatIntervalMs = 108;

struct TKey {
  std::string_view Name;  // as the remote's button shows it
  uint8_t Code;           // 1 to 0x7F: never 0 (a receiver skips zeros) and clear of HeldFlag
};

// Every key of the remote.
[[nodiscard]] std::span<const TKey> Keys();
// The key of that name, or none.
[[nodiscard]] const TKey* FindKey(std::string_view Name);

using TReport = std::array<uint8_t, ReportLength>;
[[nodiscard]] TReport MakeReport(uint8_t Code, bool Held);

// The code pair a receiver decodes from a key's report: the key value plus 32, and the scan
// code.
[[nodiscard]] constexpr uint32_t KeyCode1(uint8_t Code, bool Held) {
  return ((uint32_t{KeyPage} << 8) | Code | (Held ? HeldFlag : 0U)) + 32;
}
inline constexpr uint32_t KeyCode2 = ScanCode;

// When a held key repeats. The first report goes when the key goes down; while it stays down a
// repeat is due every RepeatIntervalMs after that. A poll that comes late gives one repeat and
// the next stays on the same grid, so repeats never bunch.
class TKeyRepeat {
 public:
  void Press(uint64_t NowMs) {
    FDown = true;
    FNextMs = NowMs + RepeatIntervalMs;
  }
  void Release() { FDown = false; }
  [[nodiscard]] bool Down() const { return FDown; }
  // True when a repeat is due at NowMs; it then counts as sent.
  bool RepeatDue(uint64_t NowMs);

 private:
  bool FDown = false;
  uint64_t FNextMs = 0;
};

}  // namespace remote
