#include "remote/Actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TAction Parsed(const std::string& Line) {
  TAction action;
  EXPECT_EQ(ParseAction(Line, action), "") << Line;
  return action;
}

TEST(RemoteKeyNames, GiveTheirVirtualKeyAndWhetherItIsExtended) {
  struct TCase {
    std::string Name;
    uint16_t Key;
    bool Extended;
  };
  const TCase cases[] = {
      {"VolumeUp", 0xAF, true},
      {"volumedown", 0xAE, true},
      {"VOLUMEMUTE", 0xAD, true},
      {"MediaPlayPause", 0xB3, true},
      {"MediaNextTrack", 0xB0, true},
      {"MediaPrevTrack", 0xB1, true},
      {"MediaStop", 0xB2, true},
      {"BrowserBack", 0xA6, true},
      {"Left", 0x25, true},
      {"Up", 0x26, true},
      {"Right", 0x27, true},
      {"Down", 0x28, true},
      {"Home", 0x24, true},
      {"End", 0x23, true},
      {"PageUp", 0x21, true},
      {"PageDown", 0x22, true},
      {"Insert", 0x2D, true},
      {"Delete", 0x2E, true},
      {"Enter", 0x0D, false},
      {"Escape", 0x1B, false},
      {"Esc", 0x1B, false},
      {"Tab", 0x09, false},
      {"Space", 0x20, false},
      {"Backspace", 0x08, false},
      {"Ctrl", 0x11, false},
      {"Shift", 0x10, false},
      {"Alt", 0x12, false},
      {"Win", 0x5B, true},
      {"a", 0x41, false},
      {"S", 0x53, false},
      {"z", 0x5A, false},
      {"0", 0x30, false},
      {"9", 0x39, false},
      {"F1", 0x70, false},
      {"f4", 0x73, false},
      {"F12", 0x7B, false},
      {"F24", 0x87, false},
      {"Numpad9", 0x69, false},
      {"Plus", 0xBB, false},
      {"Apps", 0x5D, true},
  };
  for (const TCase& c : cases) {
    const TKeyStroke key = FindKeyName(c.Name);
    EXPECT_EQ(key.Key, c.Key) << c.Name;
    EXPECT_EQ(key.Extended, c.Extended) << c.Name;
  }
  for (const char* name : {"", "F0", "F25", "F01", "F1x", "Volume", "aa", "+", "é", "Menu"})
    EXPECT_EQ(FindKeyName(name).Key, 0) << name;
}

TEST(RemoteActions, KeysAreModifiersInTheirOrderThenTheKey) {
  struct TCase {
    std::string Line;
    std::vector<TKeyStroke> Keys;
  };
  const TCase cases[] = {
      {"keys:VolumeUp", {{0xAF, true}}},
      {"keys:Ctrl+Shift+S", {{0x11, false}, {0x10, false}, {0x53, false}}},
      {"keys:Alt+F4", {{0x12, false}, {0x73, false}}},
      {"KEYS: shift + ctrl + left ", {{0x10, false}, {0x11, false}, {0x25, true}}},
      {"keys:Win+D", {{0x5B, true}, {0x44, false}}},
      {"keys:Ctrl+Plus", {{0x11, false}, {0xBB, false}}},
      {"keys:Win", {{0x5B, true}}},
      {"keys:Ctrl+Alt", {{0x11, false}, {0x12, false}}},
  };
  for (const TCase& c : cases) {
    const TAction action = Parsed(c.Line);
    EXPECT_EQ(action.Kind, akKeys) << c.Line;
    EXPECT_EQ(action.Keys, c.Keys) << c.Line;
    EXPECT_FALSE(action.Repeat) << c.Line;
  }
}

TEST(RemoteActions, TextRunAndMessageTakeTheirParts) {
  TAction a = Parsed("text:Hello, world");
  EXPECT_EQ(a.Kind, akText);
  EXPECT_EQ(a.Text, "Hello, world");
  a = Parsed("Text: two  blanks ");  // the line's own blanks at its end do not count
  EXPECT_EQ(a.Text, " two  blanks");
  a = Parsed("run:notepad.exe \"C:\\My Files\\a.txt\"");
  EXPECT_EQ(a.Kind, akRun);
  EXPECT_EQ(a.Text, "notepad.exe \"C:\\My Files\\a.txt\"");
  a = Parsed("message:Notepad,WM_CLOSE,0,0");
  EXPECT_EQ(a.Kind, akMessage);
  EXPECT_EQ(a.WindowClass, "Notepad");
  EXPECT_EQ(a.Message, 0x10U);
  a = Parsed("message: My Class , 0x8001 , 12 , 0xFFFF");
  EXPECT_EQ(a.WindowClass, "My Class");
  EXPECT_EQ(a.Message, 0x8001U);
  EXPECT_EQ(a.WParam, 12U);
  EXPECT_EQ(a.LParam, 0xFFFFU);
  a = Parsed("message:Winamp v1.x,wm_command,40045,0");
  EXPECT_EQ(a.Message, 0x111U);
  EXPECT_EQ(a.WParam, 40045U);
  a = Parsed("message:C,273,0xffffffff,4294967295");
  EXPECT_EQ(a.Message, 273U);
  EXPECT_EQ(a.WParam, 0xFFFFFFFFU);
  EXPECT_EQ(a.LParam, 0xFFFFFFFFU);
}

TEST(RemoteActions, ATrailingRepeatIsTakenOff) {
  struct TCase {
    std::string Line;
    TActionKind Kind;
    std::string Text;
  };
  const TCase cases[] = {
      {"keys:Enter,repeat", akKeys, ""},
      {"text:abc,REPEAT", akText, "abc"},
      {"run:tool.exe --next ,repeat ", akRun, "tool.exe --next"},
      {"message:C,1,2,3,repeat", akMessage, ""},
  };
  for (const TCase& c : cases) {
    const TAction a = Parsed(c.Line);
    EXPECT_TRUE(a.Repeat) << c.Line;
    EXPECT_EQ(a.Kind, c.Kind) << c.Line;
    EXPECT_EQ(a.Text, c.Text) << c.Line;
  }
  EXPECT_EQ(Parsed("message:C,1,2,3,repeat").LParam, 3U);
  EXPECT_EQ(Parsed("keys:Enter,repeat").Keys, (std::vector<TKeyStroke>{{0x0D, false}}));
}

TEST(RemoteActions, ABadLineSaysWhy) {
  struct TCase {
    std::string Line;
    std::string Why;
  };
  const TCase cases[] = {
      {"", "begins with keys:"},
      {"VolumeUp", "begins with keys:"},
      {",repeat", "begins with keys:"},
      {"key:VolumeUp", "\"key:\" is no action"},
      {"keys:", "names no key"},
      {"keys:  ,repeat", "names no key"},
      {"keys:Ctrl+", "empty key name"},
      {"keys:Ctrl++", "empty key name"},
      {"keys:+S", "empty key name"},
      {"keys:VolumeUpp", "no key \"VolumeUpp\""},
      {"keys:A+B", "\"A\" is no modifier"},
      {"keys:Ctrl+Ctrl+S", "\"Ctrl\" twice"},
      {"keys:Ctrl+Control+S", "\"Control\" twice"},
      {"text:", "no text"},
      {"run: ", "no command line"},
      {"run:,repeat", "no command line"},
      {"message:Notepad,16,0", "four parts"},
      {"message:Notepad,16,0,0,0", "four parts"},
      {"message:,16,0,0", "no window class"},
      {"message:Notepad,WM_NOSUCH,0,0", "\"WM_NOSUCH\" is no message number"},
      {"message:Notepad,0x100000000,0,0", "\"0x100000000\" is no message number"},
      {"message:Notepad,-1,0,0", "\"-1\" is no message number"},
      {"message:Notepad,16,x,0", "\"x\" is no WPARAM"},
      {"message:Notepad,16,0,0x", "\"0x\" is no LPARAM"},
      {"message:Notepad,16,0,0x1ffffffffffffffff", "no LPARAM"},
  };
  for (const TCase& c : cases) {
    TAction action;
    const std::string why = ParseAction(c.Line, action);
    EXPECT_NE(why.find(c.Why), std::string::npos) << "line \"" << c.Line << "\": " << why;
  }
}

TEST(RemoteActions, OnlyVolumeAndArrowKeysOrARepeatLineRepeatWhileHeld) {
  struct TCase {
    std::string Line;
    bool Repeats;
  };
  const TCase cases[] = {
      {"keys:VolumeUp", true},      {"keys:VolumeDown", true},   {"keys:Left", true},
      {"keys:Right", true},         {"keys:Up", true},           {"keys:Down", true},
      {"keys:Shift+Right", true},   {"keys:VolumeMute", false},  {"keys:Enter", false},
      {"keys:Ctrl+Shift+S", false}, {"keys:Enter,repeat", true}, {"keys:PageDown", false},
      {"text:abc", false},          {"text:abc,repeat", true},   {"run:x.exe", false},
      {"run:x.exe,repeat", true},   {"message:C,1,2,3", false},  {"message:C,1,2,3,repeat", true},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(RepeatsWhileHeld(Parsed(c.Line)), c.Repeats) << c.Line;
  }
}

}  // namespace
