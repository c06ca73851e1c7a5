#include "dialogs/SettingsValues.h"

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits in the given base, all of them, at least one, with Limit as the largest value.
std::optional<uint64_t> ParseDigits(std::string_view Digits, int Base, uint64_t Limit) {
  if (Digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : Digits) {
    const int d = Base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return std::nullopt;
    value = value * static_cast<uint64_t>(Base) + static_cast<uint64_t>(d);
    if (value > Limit) return std::nullopt;
  }
  return value;
}

}  // namespace

std::string_view TrimBlanks(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  return Text;
}

std::string SettingsFilePath(std::string_view Dir) {
  std::string path(Dir);
  if (path.empty() || path.back() != '\\') path += '\\';
  path += SettingsFileName;
  return path;
}

std::optional<int32_t> ParseSettingsInteger(std::string_view Text) {
  constexpr uint64_t AnyPattern = 0xFFFFFFFFu;
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    const auto value = ParseDigits(Text.substr(2), 16, AnyPattern);
    if (!value) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(*value));
  }
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t')) Text.remove_prefix(1);
  bool negative = false;
  if (!Text.empty() && (Text.front() == '+' || Text.front() == '-')) {
    negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  if (!Text.empty() && Text.front() == '$') {
    const auto value = ParseDigits(Text.substr(1), 16, AnyPattern);
    if (!value) return std::nullopt;
    const auto bits = static_cast<uint32_t>(*value);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  const auto value = ParseDigits(Text, 10, negative ? 0x80000000u : 0x7FFFFFFFu);
  if (!value) return std::nullopt;
  return negative ? static_cast<int32_t>(0 - static_cast<int64_t>(*value))
                  : static_cast<int32_t>(*value);
}

std::string BlankControls(std::string_view Text) {
  std::string out(Text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

std::array<std::pair<std::string_view, std::string>, 7> SettingsLines(
    std::string_view Name, const THIDSettings& Settings) {
  return {{{"NAME", BlankControls(Name)},
           {"VID", std::to_string(Settings.VendorID)},
           {"PID", std::to_string(Settings.ProductID)},
           {"Delay", std::to_string(Settings.RepeatDelay)},
           {"HeldDelay", std::to_string(Settings.HeldDelay)},
           {"Check", std::to_string(Settings.CheckByte)},
           {"UseCheck", Settings.UseCheck ? "1" : "0"}}};
}
