// How one input report of the IR receiver becomes a code pair, and the key-repeat gate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct TReportCode {
  bool Refused = false;  // significant byte 0 was not the check byte
  uint32_t Code1 = 0;
  uint32_t Code2 = 0;
  bool Held = false;  // the held-key flag (bit 7 of the key value)
};

// Decodes the report bytes after the report id. With 7 or more bytes every 0 byte is skipped;
// the first six significant bytes carry the code. When UseCheck is set, a significant byte 0
// other than CheckByte refuses the report.
[[nodiscard]] TReportCode DecodeReport(std::span<const uint8_t> Data, bool UseCheck,
                                       uint8_t CheckByte);

// The first code number of the key's press: Code1 with the held-key flag cleared. A report of
// four or more bytes carries the flag in its first code number; a three-byte one never does.
[[nodiscard]] constexpr uint32_t PressCode1(const TReportCode& Code, size_t ReportSize) {
  return Code.Held && ReportSize != 3 ? Code.Code1 - 0x80u : Code.Code1;
}

// A report may be decoded once CurDelay ms have passed since the last accepted code.
[[nodiscard]] constexpr bool PassesGate(int64_t ElapsedMs, int32_t CurDelay) {
  return ElapsedMs >= CurDelay;
}

// The gate for the report after Code: the held delay when the held-key flag is set and the
// same pair came again, else the repeat delay.
[[nodiscard]] constexpr int32_t NextDelay(const TReportCode& Code, uint32_t LastCode1,
                                          uint32_t LastCode2, int32_t HeldDelay,
                                          int32_t RepeatDelay) {
  return Code.Held && Code.Code1 == LastCode1 && Code.Code2 == LastCode2 ? HeldDelay : RepeatDelay;
}
