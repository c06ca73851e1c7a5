// Fuzzes the settings value parser: no crash or undefined behaviour on any text, every value it
// accepts agrees with a plain reading of the same text, a value read back from its decimal and
// hexadecimal texts is the same value (value, text, value), and settings made from the input,
// written as the file's lines and read again, are the same settings.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "dialogs/SettingsValues.h"

namespace {

// An independent reading: the same grammar written the long way.
bool Reference(std::string_view t, int64_t& out) {
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    const std::string digits(t.substr(2));
    if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    const std::string trimmed =
        digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
    if (trimmed.size() > 8) return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(std::strtoull(digits.c_str(), nullptr, 16)));
    return true;
  }
  size_t i = t.find_first_not_of(" \t");
  if (i == std::string_view::npos) return false;
  bool negative = false;
  if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
  const bool hex = i < t.size() && t[i] == '$';
  if (hex) ++i;
  const std::string digits(t.substr(i));
  if (digits.empty()) return false;
  if (digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
      std::string::npos) {
    return false;
  }
  const std::string trimmed = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
  if (trimmed.size() > (hex ? 8u : 10u)) return false;
  const uint64_t v = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (hex) {
    const auto bits = static_cast<uint32_t>(v);
    out = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  const int64_t s = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  if (s < INT32_MIN || s > INT32_MAX) return false;
  out = s;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view text(reinterpret_cast<const char*>(Data), Size);
  const auto parsed = ParseSettingsInteger(text);
  int64_t expected = 0;
  const bool ok = text.find('\0') == std::string_view::npos && Reference(text, expected);
  if (parsed.has_value() != ok || (ok && *parsed != expected)) std::abort();
  (void)TrimBlanks(text);
  if (parsed) {
    // The value's own texts read back to it: decimal, "$" and "0x" hexadecimal.
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%X", static_cast<unsigned>(*parsed));
    for (const std::string& form :
         {std::to_string(*parsed), "$" + std::string(hex), "0x" + std::string(hex)}) {
      if (ParseSettingsInteger(form) != parsed) std::abort();
    }
  }
  // Settings from the input's bytes, through the lines the writer makes and back.
  if (Size >= 14) {
    const auto word = [Data](size_t At) {
      return static_cast<uint16_t>(Data[At] | Data[At + 1] << 8);
    };
    const auto integer = [Data](size_t At) {
      return static_cast<int32_t>(
          static_cast<uint32_t>(Data[At]) | static_cast<uint32_t>(Data[At + 1]) << 8 |
          static_cast<uint32_t>(Data[At + 2]) << 16 | static_cast<uint32_t>(Data[At + 3]) << 24);
    };
    THIDSettings written;
    written.VendorID = word(0);
    written.ProductID = word(2);
    written.RepeatDelay = integer(4);
    written.HeldDelay = integer(8);
    written.CheckByte = Data[12];
    written.UseCheck = (Data[13] & 1) != 0;
    const auto lines = SettingsLines("Receiver", written);
    const THIDSettings read =
        ReadSettings([&lines](std::string_view Key) -> std::optional<std::string> {
          for (const auto& [key, value] : lines) {
            if (key == Key) return value;
          }
          return std::nullopt;
        });
    if (read.VendorID != written.VendorID || read.ProductID != written.ProductID ||
        read.RepeatDelay != written.RepeatDelay || read.HeldDelay != written.HeldDelay ||
        read.CheckByte != written.CheckByte || read.UseCheck != written.UseCheck) {
      std::abort();
    }
  }
  return 0;
}
