#include "remote/Actions.h"

#include <array>
#include <charconv>
#include <limits>
#include <optional>

#include "remote/ButtonNames.h"

namespace {

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ') Text.remove_prefix(1);
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.remove_suffix(1);
  return Text;
}

struct TKeyName {
  std::string_view Name;
  uint16_t Key;
  bool Extended;
};

// Every named key but the letters, the digits and F1..F24.
constexpr auto KeyNames = std::to_array<TKeyName>({
    {"Ctrl", vk::Ctrl, false},
    {"Control", vk::Ctrl, false},
    {"Shift", vk::Shift, false},
    {"Alt", vk::Alt, false},
    {"Win", vk::Win, true},
    {"Backspace", vk::Backspace, false},
    {"Tab", vk::Tab, false},
    {"Enter", vk::Enter, false},
    {"Return", vk::Enter, false},
    {"Pause", vk::Pause, false},
    {"CapsLock", vk::CapsLock, false},
    {"Escape", vk::Escape, false},
    {"Esc", vk::Escape, false},
    {"Space", vk::Space, false},
    {"PageUp", vk::PageUp, true},
    {"PgUp", vk::PageUp, true},
    {"PageDown", vk::PageDown, true},
    {"PgDn", vk::PageDown, true},
    {"End", vk::End, true},
    {"Home", vk::Home, true},
    {"Left", vk::Left, true},
    {"Up", vk::Up, true},
    {"Right", vk::Right, true},
    {"Down", vk::Down, true},
    {"PrintScreen", vk::PrintScreen, true},
    {"Insert", vk::Insert, true},
    {"Ins", vk::Insert, true},
    {"Delete", vk::Delete, true},
    {"Del", vk::Delete, true},
    {"Apps", vk::Apps, true},
    {"ContextMenu", vk::Apps, true},
    {"Sleep", vk::Sleep, false},
    {"Multiply", vk::Multiply, false},
    {"Add", vk::Add, false},
    {"Subtract", vk::Subtract, false},
    {"Decimal", vk::Decimal, false},
    {"Divide", vk::Divide, true},
    {"NumLock", vk::NumLock, true},
    {"ScrollLock", vk::ScrollLock, false},
    {"BrowserBack", vk::BrowserBack, true},
    {"BrowserForward", vk::BrowserForward, true},
    {"BrowserRefresh", vk::BrowserRefresh, true},
    {"BrowserStop", vk::BrowserStop, true},
    {"BrowserSearch", vk::BrowserSearch, true},
    {"BrowserFavorites", vk::BrowserFavorites, true},
    {"BrowserHome", vk::BrowserHome, true},
    {"VolumeMute", vk::VolumeMute, true},
    {"VolumeDown", vk::VolumeDown, true},
    {"VolumeUp", vk::VolumeUp, true},
    {"MediaNextTrack", vk::MediaNextTrack, true},
    {"MediaPrevTrack", vk::MediaPrevTrack, true},
    {"MediaStop", vk::MediaStop, true},
    {"MediaPlayPause", vk::MediaPlayPause, true},
    {"LaunchMail", vk::LaunchMail, true},
    {"LaunchMediaSelect", vk::LaunchMediaSelect, true},
    {"LaunchApp1", vk::LaunchApp1, true},
    {"LaunchApp2", vk::LaunchApp2, true},
    {"Semicolon", vk::Semicolon, false},
    {"Plus", vk::Plus, false},
    {"Comma", vk::Comma, false},
    {"Minus", vk::Minus, false},
    {"Period", vk::Period, false},
    {"Slash", vk::Slash, false},
    {"Backquote", vk::Backquote, false},
    {"LeftBracket", vk::LeftBracket, false},
    {"Backslash", vk::Backslash, false},
    {"RightBracket", vk::RightBracket, false},
    {"Quote", vk::Quote, false},
    {"Numpad0", vk::Numpad0, false},
    {"Numpad1", vk::Numpad0 + 1, false},
    {"Numpad2", vk::Numpad0 + 2, false},
    {"Numpad3", vk::Numpad0 + 3, false},
    {"Numpad4", vk::Numpad0 + 4, false},
    {"Numpad5", vk::Numpad0 + 5, false},
    {"Numpad6", vk::Numpad0 + 6, false},
    {"Numpad7", vk::Numpad0 + 7, false},
    {"Numpad8", vk::Numpad0 + 8, false},
    {"Numpad9", vk::Numpad0 + 9, false},
});

bool IsModifier(uint16_t Key) {
  return Key == vk::Ctrl || Key == vk::Shift || Key == vk::Alt || Key == vk::Win;
}

// A decimal or 0x hexadecimal number no larger than Limit.
std::optional<uint64_t> ParseNumber(std::string_view Text, uint64_t Limit) {
  Text = Trim(Text);
  int base = 10;
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    base = 16;
    Text.remove_prefix(2);
  }
  if (Text.empty()) return std::nullopt;
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value, base);
  if (error != std::errc() || end != Text.data() + Text.size() || value > Limit)
    return std::nullopt;
  return value;
}

struct TMessageName {
  std::string_view Name;
  uint32_t Message;
};

constexpr auto MessageNames = std::to_array<TMessageName>({
    {"WM_NULL", 0x0000},
    {"WM_CLOSE", 0x0010},
    {"WM_KEYDOWN", 0x0100},
    {"WM_KEYUP", 0x0101},
    {"WM_CHAR", 0x0102},
    {"WM_COMMAND", 0x0111},
    {"WM_SYSCOMMAND", 0x0112},
    {"WM_HSCROLL", 0x0114},
    {"WM_VSCROLL", 0x0115},
    {"WM_APPCOMMAND", 0x0319},
    {"WM_USER", 0x0400},
});

std::string ParseKeys(std::string_view Text, TAction& Action) {
  if (Trim(Text).empty()) return "keys: names no key.";
  for (;;) {
    const size_t plus = Text.find('+');
    const std::string_view name = Trim(Text.substr(0, plus));
    const bool last = plus == std::string_view::npos;
    if (name.empty()) return "keys: has an empty key name (next to \"+\"; the key is Plus).";
    const TKeyStroke key = FindKeyName(name);
    if (key.Key == 0) return "keys: knows no key \"" + std::string(name) + "\".";
    if (!last && !IsModifier(key.Key))
      return "keys: \"" + std::string(name) +
             "\" is no modifier; only Ctrl, Shift, Alt and Win come before \"+\".";
    for (const TKeyStroke& earlier : Action.Keys)
      if (earlier.Key == key.Key) return "keys: names \"" + std::string(name) + "\" twice.";
    Action.Keys.push_back(key);
    if (last) return {};
    Text.remove_prefix(plus + 1);
  }
}

std::string ParseMessage(std::string_view Text, TAction& Action) {
  constexpr std::string_view Usage = " (message:CLASS,MSG,WPARAM,LPARAM).";
  std::array<std::string_view, 4> parts;
  for (size_t i = 0; i < parts.size(); ++i) {
    const size_t comma = Text.find(',');
    if ((comma == std::string_view::npos) != (i == parts.size() - 1))
      return "message: needs four parts separated by commas" + std::string(Usage);
    parts[i] = Trim(Text.substr(0, comma));
    if (comma != std::string_view::npos) Text.remove_prefix(comma + 1);
  }
  if (parts[0].empty()) return "message: names no window class" + std::string(Usage);
  Action.WindowClass = parts[0];
  const auto message = ParseNumber(parts[1], std::numeric_limits<uint32_t>::max());
  if (message) {
    Action.Message = static_cast<uint32_t>(*message);
  } else {
    const TMessageName* found = nullptr;
    for (const TMessageName& m : MessageNames)
      if (SameButtonName(m.Name, parts[1])) found = &m;
    if (found == nullptr)
      return "message: \"" + std::string(parts[1]) +
             "\" is no message number (decimal, 0x hexadecimal or a WM_ name).";
    Action.Message = found->Message;
  }
  const auto wparam = ParseNumber(parts[2], std::numeric_limits<uintptr_t>::max());
  const auto lparam = ParseNumber(parts[3], std::numeric_limits<uintptr_t>::max());
  if (!wparam) return "message: \"" + std::string(parts[2]) + "\" is no WPARAM number.";
  if (!lparam) return "message: \"" + std::string(parts[3]) + "\" is no LPARAM number.";
  Action.WParam = static_cast<uintptr_t>(*wparam);
  Action.LParam = static_cast<uintptr_t>(*lparam);
  return {};
}

}  // namespace

TKeyStroke FindKeyName(std::string_view Name) {
  if (Name.size() == 1) {
    const auto c = static_cast<unsigned char>(Name[0]);
    if (c >= '0' && c <= '9') return {static_cast<uint16_t>(vk::Digit0 + (c - '0')), false};
    if (c >= 'a' && c <= 'z') return {static_cast<uint16_t>(vk::LetterA + (c - 'a')), false};
    if (c >= 'A' && c <= 'Z') return {static_cast<uint16_t>(vk::LetterA + (c - 'A')), false};
  }
  if (Name.size() >= 2 && Name.size() <= 3 && (Name[0] == 'F' || Name[0] == 'f')) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(Name.data() + 1, Name.data() + Name.size(), number);
    if (error == std::errc() && end == Name.data() + Name.size() && Name[1] != '0' && number >= 1 &&
        number <= 24)
      return {static_cast<uint16_t>(vk::F1 + number - 1), false};
  }
  for (const TKeyName& k : KeyNames)
    if (SameButtonName(k.Name, Name)) return {k.Key, k.Extended};
  return {};
}

std::string ParseAction(std::string_view Line, TAction& Action) {
  Action = TAction{};
  Line = Trim(Line);
  constexpr std::string_view RepeatSuffix = ",repeat";
  if (Line.size() >= RepeatSuffix.size() &&
      SameButtonName(Line.substr(Line.size() - RepeatSuffix.size()), RepeatSuffix)) {
    Action.Repeat = true;
    Line = Trim(Line.substr(0, Line.size() - RepeatSuffix.size()));
  }
  const size_t colon = Line.find(':');
  if (Line.empty() || colon == std::string_view::npos)
    return "An action begins with keys:, text:, run: or message:.";
  const std::string_view kind = Trim(Line.substr(0, colon));
  const std::string_view rest = Line.substr(colon + 1);
  if (SameButtonName(kind, "keys")) {
    Action.Kind = akKeys;
    return ParseKeys(rest, Action);
  }
  if (SameButtonName(kind, "text")) {
    Action.Kind = akText;
    Action.Text = rest;
    if (Action.Text.empty()) return "text: has no text to type.";
    return {};
  }
  if (SameButtonName(kind, "run")) {
    Action.Kind = akRun;
    Action.Text = Trim(rest);
    if (Action.Text.empty()) return "run: has no command line.";
    return {};
  }
  if (SameButtonName(kind, "message")) {
    Action.Kind = akMessage;
    return ParseMessage(rest, Action);
  }
  return "\"" + std::string(kind) + ":\" is no action; use keys:, text:, run: or message:.";
}

bool RepeatsWhileHeld(const TAction& Action) {
  if (Action.Repeat) return true;
  if (Action.Kind != akKeys || Action.Keys.empty()) return false;
  switch (Action.Keys.back().Key) {
    case vk::VolumeUp:
    case vk::VolumeDown:
    case vk::Left:
    case vk::Up:
    case vk::Right:
    case vk::Down:
      return true;
    default:
      return false;
  }
}
