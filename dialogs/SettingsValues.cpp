#include "dialogs/SettingsValues.h"

#include <type_traits>

namespace {

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

// Every character up to and including the blank; a byte above 127 is a letter of the code page.
template <class Char>
std::basic_string_view<Char> TrimAny(std::basic_string_view<Char> Text) {
  const auto blank = [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) <= ' '; };
  while (!Text.empty() && blank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && blank(Text.back())) Text.remove_suffix(1);
  return Text;
}

template <class Char>
std::basic_string<Char> FilePathAny(std::basic_string_view<Char> Dir) {
  std::basic_string<Char> path(Dir);
  if (path.empty() || path.back() != Char{'\\'}) path += Char{'\\'};
  path.append(SettingsFileName.begin(), SettingsFileName.end());
  return path;
}

}  // namespace

std::string_view TrimBlanks(std::string_view Text) {
  return TrimAny(Text);
}

std::wstring_view TrimBlanks(std::wstring_view Text) {
  return TrimAny(Text);
}

std::string SettingsFilePath(std::string_view Dir) {
  return FilePathAny(Dir);
}

std::wstring SettingsFilePath(std::wstring_view Dir) {
  return FilePathAny(Dir);
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
