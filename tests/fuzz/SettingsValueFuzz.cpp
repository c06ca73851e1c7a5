// Fuzzes the settings value parser: no crash or undefined behaviour on any text, and every
// value it accepts agrees with a plain reading of the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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
  return 0;
}
