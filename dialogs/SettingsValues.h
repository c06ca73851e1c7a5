// The settings file "KelHID.ini": its name, its keys, and how its values are read and written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

inline constexpr std::string_view SettingsFileName = "KelHID.ini";
inline constexpr std::string_view SettingsSection = "SETUP";

// The receiver settings the file holds.
struct THIDSettings {
  uint16_t VendorID = 0;
  uint16_t ProductID = 0;
  int32_t RepeatDelay = 500;  // "Delay"
  int32_t HeldDelay = 500;
  uint8_t CheckByte = 0;
  bool UseCheck = false;
};

// Text without the blanks and control characters (every character up to and including the
// blank) at both ends.
[[nodiscard]] std::string_view TrimBlanks(std::string_view Text);
[[nodiscard]] std::wstring_view TrimBlanks(std::wstring_view Text);

// The settings file in Dir: one backslash between them, none added when Dir ends with one.
[[nodiscard]] std::string SettingsFilePath(std::string_view Dir);
[[nodiscard]] std::wstring SettingsFilePath(std::wstring_view Dir);

// A signed 32-bit integer as the file holds it: a text longer than two characters starting
// with "0x" or "0X" is hexadecimal; otherwise leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$". The whole text must parse; otherwise none.
// Hexadecimal texts may give any 32-bit pattern ($FFFFFFFF is -1).
[[nodiscard]] std::optional<int32_t> ParseSettingsInteger(std::string_view Text);

// The settings read from the file's values; Value(key) gives a key's text, or none when the
// key is missing. Anything that does not parse takes the key's default.
template <class ValueOf>
[[nodiscard]] THIDSettings ReadSettings(ValueOf&& Value) {
  const auto integer = [&](std::string_view key, int32_t fallback) {
    const std::optional<std::string> text = Value(key);
    if (!text) return fallback;
    return ParseSettingsInteger(*text).value_or(fallback);
  };
  THIDSettings s;
  s.VendorID = static_cast<uint16_t>(integer("VID", 0));
  s.ProductID = static_cast<uint16_t>(integer("PID", 0));
  s.RepeatDelay = integer("Delay", 500);
  s.HeldDelay = integer("HeldDelay", 500);
  s.CheckByte = static_cast<uint8_t>(integer("Check", 0));
  s.UseCheck = integer("UseCheck", 0) != 0;
  return s;
}

// Text with every control character (below the blank, and DEL) replaced by a blank: a value
// written to the file stays on its line.
[[nodiscard]] std::string BlankControls(std::string_view Text);

// The keys and values the writer puts into the file, in the order it writes them; the name
// with its control characters blanked.
[[nodiscard]] std::array<std::pair<std::string_view, std::string>, 7> SettingsLines(
    std::string_view Name, const THIDSettings& Settings);
