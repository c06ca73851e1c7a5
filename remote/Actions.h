// Action lines of the remote's buttons ("[Actions]" of KelHIDRemote.ini):
//   keys:Ctrl+Shift+S      a key or a combination, sent as keyboard input
//   text:Hello             the text, typed
//   run:notepad.exe x.txt  a command line, started in the program's folder
//   message:CLASS,MSG,WPARAM,LPARAM   a window message posted to the first window of CLASS
// Any of them may end in ",repeat": a held button's repeats then repeat the action. The kind
// and the key names are matched without regard to case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Windows virtual-key numbers of the keys an action may name.
namespace vk {
inline constexpr uint16_t Backspace = 0x08, Tab = 0x09, Enter = 0x0D, Shift = 0x10, Ctrl = 0x11,
                          Alt = 0x12, Pause = 0x13, CapsLock = 0x14, Escape = 0x1B, Space = 0x20,
                          PageUp = 0x21, PageDown = 0x22, End = 0x23, Home = 0x24, Left = 0x25,
                          Up = 0x26, Right = 0x27, Down = 0x28, PrintScreen = 0x2C, Insert = 0x2D,
                          Delete = 0x2E, Digit0 = 0x30, LetterA = 0x41, Win = 0x5B, Apps = 0x5D,
                          Sleep = 0x5F, Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B,
                          Subtract = 0x6D, Decimal = 0x6E, Divide = 0x6F, F1 = 0x70, NumLock = 0x90,
                          ScrollLock = 0x91, BrowserBack = 0xA6, BrowserForward = 0xA7,
                          BrowserRefresh = 0xA8, BrowserStop = 0xA9, BrowserSearch = 0xAA,
                          BrowserFavorites = 0xAB, BrowserHome = 0xAC, VolumeMute = 0xAD,
                          VolumeDown = 0xAE, VolumeUp = 0xAF, MediaNextTrack = 0xB0,
                          MediaPrevTrack = 0xB1, MediaStop = 0xB2, MediaPlayPause = 0xB3,
                          LaunchMail = 0xB4, LaunchMediaSelect = 0xB5, LaunchApp1 = 0xB6,
                          LaunchApp2 = 0xB7, Semicolon = 0xBA, Plus = 0xBB, Comma = 0xBC,
                          Minus = 0xBD, Period = 0xBE, Slash = 0xBF, Backquote = 0xC0,
                          LeftBracket = 0xDB, Backslash = 0xDC, RightBracket = 0xDD, Quote = 0xDE;
}  // namespace vk

enum TActionKind { akKeys, akText, akRun, akMessage };

// One key of a combination: its virtual-key number, and whether it is sent as an extended key
// (the keys of the navigation block, the arrows, Win, Apps, and the media and browser keys).
struct TKeyStroke {
  uint16_t Key = 0;
  bool Extended = false;
  friend bool operator==(const TKeyStroke&, const TKeyStroke&) = default;
};

struct TAction {
  TActionKind Kind = akKeys;
  // keys: the modifiers in the order given, then the key; pressed in this order, let go in
  // the reverse order.
  std::vector<TKeyStroke> Keys;
  std::string Text;  // text: the text to type; run: the command line
  // message: the window class, the message and its two parameters.
  std::string WindowClass;
  uint32_t Message = 0;
  uintptr_t WParam = 0;
  uintptr_t LParam = 0;
  bool Repeat = false;  // the line ends in ",repeat"
};

// Empty when Line is an action line, which then is in Action; else why not (Action is then
// unspecified). Blanks around the line, the kind, the key names and the message's parts do not
// count; text: types everything after its colon, blanks too. A line that ends in ",repeat"
// always means the flag, also after text: or run:.
[[nodiscard]] std::string ParseAction(std::string_view Line, TAction& Action);

// The key of that name ("VolumeUp", "a", "F12", "PageDown", ...; modifiers too), without
// regard to case; Key 0 when there is none.
[[nodiscard]] TKeyStroke FindKeyName(std::string_view Name);

// Whether the repeats of a held button repeat its action: for a line ending in ",repeat", and
// for keys: whose key is a volume key (up or down) or an arrow key.
[[nodiscard]] bool RepeatsWhileHeld(const TAction& Action);
