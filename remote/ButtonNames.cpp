#include "remote/ButtonNames.h"

#include <array>
#include <charconv>

namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string_view TrimBlankOrControl(std::string_view Text) {
  while (!Text.empty() && IsBlankOrControl(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlankOrControl(Text.back())) Text.remove_suffix(1);
  return Text;
}

std::optional<uint32_t> ParseDecimal(std::string_view Text) {
  Text = TrimBlankOrControl(Text);
  if (Text.empty()) return std::nullopt;
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (error != std::errc() || end != Text.data() + Text.size()) return std::nullopt;
  return value;
}

constexpr auto Suggested = std::to_array<std::string_view>({
    "KEY_POWER",       "KEY_VOLUMEUP",  "KEY_VOLUMEDOWN", "KEY_MUTE",      "KEY_UP",
    "KEY_DOWN",        "KEY_LEFT",      "KEY_RIGHT",      "KEY_OK",        "KEY_ENTER",
    "KEY_BACK",        "KEY_EXIT",      "KEY_MENU",       "KEY_HOME",      "KEY_PLAY",
    "KEY_PAUSE",       "KEY_PLAYPAUSE", "KEY_STOP",       "KEY_NEXT",      "KEY_PREVIOUS",
    "KEY_FASTFORWARD", "KEY_REWIND",    "KEY_RECORD",     "KEY_CHANNELUP", "KEY_CHANNELDOWN",
    "KEY_0",           "KEY_1",         "KEY_2",          "KEY_3",         "KEY_4",
    "KEY_5",           "KEY_6",         "KEY_7",          "KEY_8",         "KEY_9",
    "KEY_RED",         "KEY_GREEN",     "KEY_YELLOW",     "KEY_BLUE",      "KEY_INFO",
    "KEY_EPG",         "KEY_TV",        "KEY_RADIO",      "KEY_VIDEO",     "KEY_AUDIO",
    "KEY_SUBTITLE",    "KEY_TEXT",      "KEY_LANGUAGE",   "KEY_ZOOM",      "KEY_SCREEN",
    "KEY_SLEEP",       "KEY_EJECTCD",   "KEY_FAVORITES",  "KEY_LAST",      "KEY_SETUP",
    "KEY_PAGEUP",      "KEY_PAGEDOWN",  "KEY_ESC",        "KEY_SELECT",
});

}  // namespace

std::string FormatCodePair(TCodePair Code) {
  return std::to_string(Code.Code1) + ',' + std::to_string(Code.Code2);
}

std::optional<TCodePair> ParseCodePair(std::string_view Text) {
  const size_t comma = Text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const auto code1 = ParseDecimal(Text.substr(0, comma));
  const auto code2 = ParseDecimal(Text.substr(comma + 1));
  if (!code1 || !code2) return std::nullopt;
  return TCodePair{*code1, *code2};
}

std::string ButtonNameProblem(std::string_view Name) {
  if (Name.empty()) return "The name is empty.";
  if (Name.size() > MaxButtonNameLength)
    return "The name is longer than " + std::to_string(MaxButtonNameLength) + " characters.";
  for (const char c : Name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ' ') return "The name holds a blank; LIRC names are one word (use _ instead).";
    if (u < ' ' || u == 0x7F) return "The name holds a control character.";
    if (u > 0x7F) return "The name holds a character outside plain ASCII.";
    if (c == '=') return "The name holds \"=\".";
  }
  if (Name.front() == ';' || Name.front() == '[' || Name.front() == '#')
    return std::string("The name begins with \"") + Name.front() + "\".";
  if (ParseCodePair(Name)) return "The name looks like a code pair.";
  return {};
}

bool SameButtonName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (LowerAscii(A[i]) != LowerAscii(B[i])) return false;
  return true;
}

std::span<const std::string_view> SuggestedButtonNames() {
  return Suggested;
}
