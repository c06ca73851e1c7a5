#include "engine/ReportDecoding.h"

TReportCode DecodeReport(std::span<const uint8_t> Data, bool UseCheck, uint8_t CheckByte) {
  TReportCode result;
  const bool skipZeros = Data.size() >= 7;
  uint32_t key = 0;
  uint32_t second = 0;
  int count = 0;
  for (const uint8_t byte : Data) {
    if (skipZeros && byte == 0) continue;
    if (count == 6) break;
    switch (count) {
      case 0:
        if (UseCheck && byte != CheckByte) {
          result.Refused = true;
          return result;
        }
        second |= byte;
        break;
      case 1:
        key |= uint32_t{byte} << 8;
        break;
      case 2:
        key |= byte;
        break;
      case 3:
        key |= uint32_t{byte} << 16;
        break;
      case 4:
        key |= uint32_t{byte} << 24;
        break;
      default:
        second |= uint32_t{byte} << 8;
        break;
    }
    ++count;
  }
  // A three-byte report carries its key in the low seven bits of significant byte 2 only.
  result.Code1 = Data.size() == 3 ? (key & 0x7Fu) + 32u : key + 32u;
  result.Code2 = second;
  result.Held = (key & 0x80u) != 0;
  return result;
}
