#include "sim/VirtualRemote.h"

#include <dbt.h>

#include <array>
#include <cstdio>
#include <span>
#include <string_view>

namespace {

// A key of the remote's body: a button named and captioned as the key, in one of three columns.
constexpr TControlDef KeyButton(std::string_view Key, int Column, int Top) {
  return {.Kind = ControlKind<TButton>,
          .Name = Key,
          .Parent = "Body",
          .Left = 12 + Column * 90,
          .Top = Top,
          .Width = 72,
          .Height = 24,
          .Caption = Key};
}

constexpr TCheckBoxProps Ticked{.Checked = true};
constexpr TLabelProps RightAligned{.Alignment = TAlignment::Right};
constexpr TListBoxProps ReportLines{.ItemHeight = 13};

constexpr TControlDef RemoteControls[] = {
    {.Kind = ControlKind<TCheckBox>,
     .Name = "PluggedIn",
     .Left = 12,
     .Top = 10,
     .Width = 100,
     .Height = 17,
     .TabOrder = 0,
     .Caption = "Plugged in",
     .Props = Ticked,
     .OnClick = "PluggedInClick"},
    {.Kind = ControlKind<TLabel>,
     .Name = "Receiver",
     .Left = 120,
     .Top = 12,
     .Width = 168,
     .Height = 14,
     .Props = RightAligned},
    {.Kind = ControlKind<TPanel>,
     .Name = "Body",
     .Left = 12,
     .Top = 34,
     .Width = 276,
     .Height = 342},
    KeyButton("Power", 0, 12),
    KeyButton("Mute", 2, 12),
    KeyButton("1", 0, 46),
    KeyButton("2", 1, 46),
    KeyButton("3", 2, 46),
    KeyButton("4", 0, 76),
    KeyButton("5", 1, 76),
    KeyButton("6", 2, 76),
    KeyButton("7", 0, 106),
    KeyButton("8", 1, 106),
    KeyButton("9", 2, 106),
    KeyButton("Back", 0, 136),
    KeyButton("0", 1, 136),
    KeyButton("Menu", 2, 136),
    KeyButton("Up", 1, 176),
    KeyButton("Left", 0, 206),
    KeyButton("OK", 1, 206),
    KeyButton("Right", 2, 206),
    KeyButton("Down", 1, 236),
    KeyButton("Vol +", 0, 276),
    KeyButton("Play/Pause", 1, 276),
    KeyButton("Ch +", 2, 276),
    KeyButton("Vol -", 0, 306),
    KeyButton("Ch -", 2, 306),
    {.Kind = ControlKind<TLabel>,
     .Name = "ReportsLabel",
     .Left = 12,
     .Top = 386,
     .Width = 276,
     .Height = 14,
     .Caption = "Last reports sent:"},
    {.Kind = ControlKind<TListBox>,
     .Name = "Reports",
     .Left = 12,
     .Top = 402,
     .Width = 276,
     .Height = 134,
     .TabOrder = 1,
     .Props = ReportLines},
    {.Kind = ControlKind<TLabel>,
     .Name = "Status",
     .Left = 12,
     .Top = 544,
     .Width = 276,
     .Height = 14,
     .Caption = "Click a key, or hold it down."},
    {.Kind = ControlKind<TLabel>,
     .Name = "Shortcuts",
     .Left = 12,
     .Top = 562,
     .Width = 276,
     .Height = 56,
     .Caption = "Keyboard: digits, arrows, Enter (OK),\nBackspace (Back), + and - (volume),\n"
                "PgUp and PgDn (channel), Space (Play/Pause),\nP (Power), M (Mute), Home (Menu)"},
};

constexpr TTimerDef RemoteTimers[] = {
    {.Name = "Ticker", .Enabled = false, .Interval = 10, .OnTimer = "TickerTimer"},
};

constexpr TFormDef RemoteDef{
    .Name = "TVirtualRemote",
    .Caption = "Virtual Remote",
    .BorderStyle = TBorderStyle::Dialog,
    .Position = TFormPosition::Designed,
    .Left = 150,
    .Top = 60,
    .ClientWidth = 300,
    .ClientHeight = 624,
    .Controls = RemoteControls,
    .Timers = RemoteTimers,
};

// The keyboard shortcuts of the keys besides the digits.
struct TShortcut {
  WPARAM VirtualKey;
  std::string_view Key;
};

constexpr std::array<TShortcut, 16> Shortcuts = {{
    {VK_UP, "Up"},
    {VK_DOWN, "Down"},
    {VK_LEFT, "Left"},
    {VK_RIGHT, "Right"},
    {VK_RETURN, "OK"},
    {VK_BACK, "Back"},
    {VK_ADD, "Vol +"},
    {VK_OEM_PLUS, "Vol +"},
    {VK_SUBTRACT, "Vol -"},
    {VK_OEM_MINUS, "Vol -"},
    {VK_PRIOR, "Ch +"},
    {VK_NEXT, "Ch -"},
    {VK_SPACE, "Play/Pause"},
    {'P', "Power"},
    {'M', "Mute"},
    {VK_HOME, "Menu"},
}};

// The sequence played for unattended runs.
enum class TStepKind : uint8_t { AwaitReader, Press, Pause, Unplug, Plug };

struct TStep {
  TStepKind Kind;
  std::string_view Key = {};
  uint64_t Ms = 0;  // how long the key is held, the pause lasts or the reader is awaited
};

constexpr uint64_t ClickMs = 60;
constexpr uint64_t GapMs = 700;

constexpr TStep Sequence[] = {
    {TStepKind::AwaitReader, {}, 60000}, {TStepKind::Press, "1", ClickMs},
    {TStepKind::Pause, {}, GapMs},       {TStepKind::Press, "2", ClickMs},
    {TStepKind::Pause, {}, GapMs},       {TStepKind::Unplug},
    {TStepKind::Pause, {}, 3000},        {TStepKind::Plug},
    {TStepKind::AwaitReader, {}, 30000}, {TStepKind::Press, "3", ClickMs},
    {TStepKind::Pause, {}, GapMs},       {TStepKind::Press, "OK", ClickMs},
    {TStepKind::Pause, {}, GapMs},       {TStepKind::Press, "Vol +", 2000},
    {TStepKind::Pause, {}, 1000},        {TStepKind::Press, "Ch +", ClickMs},
    {TStepKind::Pause, {}, GapMs},       {TStepKind::Press, "Play/Pause", ClickMs},
    {TStepKind::Pause, {}, GapMs},
};

// A reader holds the receiver open for longer than a query does: this many probes in a row,
// ProbeEveryMs apart, must find one.
constexpr int ProbesForReader = 3;
constexpr uint64_t ProbeEveryMs = 100;

// The most lines the report list keeps.
constexpr int MostLines = 200;

standin::TDeviceKind ReceiverKind() {
  standin::TDeviceKind kind;
  kind.VendorID = remote::VendorID;
  kind.ProductID = remote::ProductID;
  kind.ReportLength = remote::ReportLength;
  kind.Remote = true;
  return kind;
}

// Tells the programs that watch the device tree that it changed, as Windows does when a USB
// device comes or goes.
void BroadcastDeviceChange() {
  PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

std::string HexBytes(std::span<const uint8_t> Bytes) {
  std::string text;
  for (const uint8_t b : Bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X ", static_cast<unsigned>(b));
    text += hex;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace

TVirtualRemote::TCreated::TCreated(TVirtualRemote& Form) {
  const THandler handlers[] = {
      {"PluggedInClick", TNotifyEvent::Bind<&TVirtualRemote::PluggedInClick>(&Form)},
      {"TickerTimer", TNotifyEvent::Bind<&TVirtualRemote::TickerTimer>(&Form)},
  };
  Form.CreateForm(RemoteDef, handlers);
}

TVirtualRemote::TVirtualRemote(bool PlaySequence)
    : FCreated(*this),
      PluggedIn(Control<TCheckBox>("PluggedIn")),
      Reports(Control<TListBox>("Reports")),
      Status(Control<TLabel>("Status")),
      Ticker(Timer("Ticker")),
      FDevice(ReceiverKind()) {
  for (const remote::TKey& key : remote::Keys()) {
    FButtons.emplace_back(Control(key.Name).Handle(), &key);
  }
  char receiver[32];
  std::snprintf(receiver, sizeof receiver, "Receiver %04X:%04X",
                static_cast<unsigned>(remote::VendorID), static_cast<unsigned>(remote::ProductID));
  Control("Receiver").SetCaption(receiver);
  BroadcastDeviceChange();
  if (PlaySequence) {
    FPlaying = true;
    UpdateTicker();
  }
}

TVirtualRemote::~TVirtualRemote() {
  // Closing the remote takes its receiver away.
  if (FDevice.IsPlugged()) {
    FDevice.Unplug();
    BroadcastDeviceChange();
  }
}

const remote::TKey* TVirtualRemote::KeyOfButton(HWND Window) const {
  for (const auto& [button, key] : FButtons) {
    if (button == Window) return key;
  }
  return nullptr;
}

const remote::TKey* TVirtualRemote::KeyOfShortcut(WPARAM VirtualKey) const {
  // Space ticks and unticks the check box that has the focus.
  if (VirtualKey == VK_SPACE && GetFocus() == PluggedIn.Handle()) return nullptr;
  // The digits of the main keyboard and of the keypad.
  if (VirtualKey >= '0' && VirtualKey <= '9') {
    const char digit = static_cast<char>(VirtualKey);
    return remote::FindKey(std::string_view(&digit, 1));
  }
  if (VirtualKey >= VK_NUMPAD0 && VirtualKey <= VK_NUMPAD9) {
    const char digit = static_cast<char>('0' + (VirtualKey - VK_NUMPAD0));
    return remote::FindKey(std::string_view(&digit, 1));
  }
  for (const TShortcut& shortcut : Shortcuts) {
    if (shortcut.VirtualKey == VirtualKey) return remote::FindKey(shortcut.Key);
  }
  return nullptr;
}

HWND TVirtualRemote::ButtonOf(const remote::TKey& Key) const {
  for (const auto& [button, key] : FButtons) {
    if (key == &Key) return button;
  }
  return nullptr;
}

bool TVirtualRemote::PreTranslateMessage(MSG& Message) {
  switch (Message.message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // The button itself shows the press; the key goes down with it.
      if (const remote::TKey* key = KeyOfButton(Message.hwnd)) PressKey(*key, TSource::Mouse);
      break;
    case WM_LBUTTONUP:
      if (FSource == TSource::Mouse) ReleaseKey();
      break;
    case WM_KEYDOWN:
      if (const remote::TKey* key = KeyOfShortcut(Message.wParam)) {
        // The keyboard's own repeats are dropped: the remote repeats a held key by itself.
        const bool repeat = (Message.lParam & (1L << 30)) != 0;
        if (!repeat || FHeldKey != key) PressKey(*key, TSource::Keyboard, Message.wParam);
        return true;
      }
      break;
    case WM_KEYUP:
      if (FSource == TSource::Keyboard && Message.wParam == FHeldVirtualKey) {
        ReleaseKey();
        return true;
      }
      if (KeyOfShortcut(Message.wParam) != nullptr) return true;
      break;
    default:
      break;
  }
  return TForm::PreTranslateMessage(Message);
}

LRESULT TVirtualRemote::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  // A key held by hand is let go when the window loses the keyboard or the mouse.
  if (Msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE && FSource != TSource::Sequence) {
    ReleaseKey();
  }
  return TForm::WndProc(Msg, wParam, lParam);
}

void TVirtualRemote::PressKey(const remote::TKey& Key, TSource Source, WPARAM VirtualKey) {
  ReleaseKey();
  FHeldKey = &Key;
  FSource = Source;
  FHeldVirtualKey = VirtualKey;
  if (Source != TSource::Mouse) SendMessageA(ButtonOf(Key), BM_SETSTATE, TRUE, 0);
  FRepeat.Press(GetTickCount64());
  Send(Key, false);
  UpdateTicker();
}

void TVirtualRemote::ReleaseKey() {
  if (FHeldKey == nullptr) return;
  if (FSource != TSource::Mouse) SendMessageA(ButtonOf(*FHeldKey), BM_SETSTATE, FALSE, 0);
  FRepeat.Release();
  FHeldKey = nullptr;
  FSource = TSource::None;
  FHeldVirtualKey = 0;
  UpdateTicker();
}

void TVirtualRemote::Send(const remote::TKey& Key, bool Held) {
  const remote::TReport report = remote::MakeReport(Key.Code, Held);
  std::string line = HexBytes(report) + "  " + std::string(Key.Name) + (Held ? " held" : "");
  const char* status = "Click a key, or hold it down.";
  if (!FDevice.IsPlugged()) {
    line += ", unplugged";
    status = "The receiver is unplugged.";
  } else if (FDevice.Send(report) == 0) {
    line += ", not read";
    status = "No program reads the receiver now.";
  }
  AddLine(line);
  if (!FPlaying) Status.SetCaption(status);
}

void TVirtualRemote::AddLine(const std::string& Line) {
  if (Reports.Count() >= MostLines) SendMessageA(Reports.Handle(), LB_DELETESTRING, 0, 0);
  Reports.SetItemIndex(Reports.AddItem(Line));
}

void TVirtualRemote::SetPlugged(bool Value) {
  if (Value == FDevice.IsPlugged()) return;
  if (Value) {
    FDevice.Plug();
  } else {
    FDevice.Unplug();
  }
  PluggedIn.SetChecked(Value);
  AddLine(Value ? "(plugged in)" : "(unplugged)");
  BroadcastDeviceChange();
}

void TVirtualRemote::PluggedInClick(void* /*Sender*/) {
  SetPlugged(PluggedIn.Checked());
}

bool TVirtualRemote::Probe() {
  // An empty message reaches every user that has the receiver open; a reader drops it.
  static constexpr uint8_t Nothing[1] = {};
  return FDevice.IsPlugged() && FDevice.Send(std::span(Nothing, 0)) > 0;
}

void TVirtualRemote::TickerTimer(void* /*Sender*/) {
  const uint64_t now = GetTickCount64();
  if (FHeldKey != nullptr) {
    const bool buttonDown =
        (SendMessageA(ButtonOf(*FHeldKey), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    if (FSource == TSource::Mouse && !buttonDown) {
      ReleaseKey();  // the mouse left the button, or the button lost the mouse
    } else if (FRepeat.RepeatDue(now)) {
      Send(*FHeldKey, true);
    }
  }
  if (FPlaying) StepSequence(now);
  UpdateTicker();
}

void TVirtualRemote::StepSequence(uint64_t NowMs) {
  if (FStep >= std::size(Sequence)) {
    FPlaying = false;
    Status.SetCaption("Sequence done.");
    return;
  }
  const TStep& step = Sequence[FStep];
  if (!FStepBegun) {
    FStepBegun = true;
    FStepStartMs = NowMs;
    FReadersSeen = 0;
    FLastProbeMs = 0;
    char text[64];
    std::snprintf(text, sizeof text, "Playing the sequence: step %u of %u",
                  static_cast<unsigned>(FStep + 1), static_cast<unsigned>(std::size(Sequence)));
    Status.SetCaption(text);
    switch (step.Kind) {
      case TStepKind::Press:
        if (const remote::TKey* key = remote::FindKey(step.Key)) PressKey(*key, TSource::Sequence);
        break;
      case TStepKind::Unplug:
        SetPlugged(false);
        break;
      case TStepKind::Plug:
        SetPlugged(true);
        break;
      case TStepKind::AwaitReader:
        Status.SetCaption("Waiting for a program to read the receiver");
        break;
      case TStepKind::Pause:
        break;
    }
  }
  const uint64_t elapsed = NowMs - FStepStartMs;
  bool done = elapsed >= step.Ms;
  if (step.Kind == TStepKind::AwaitReader && !done) {
    if (NowMs - FLastProbeMs >= ProbeEveryMs) {
      FLastProbeMs = NowMs;
      FReadersSeen = Probe() ? FReadersSeen + 1 : 0;
    }
    done = FReadersSeen >= ProbesForReader;
  }
  if (!done) return;
  if (step.Kind == TStepKind::Press && FSource == TSource::Sequence) ReleaseKey();
  if (step.Kind == TStepKind::AwaitReader && FReadersSeen < ProbesForReader) {
    AddLine("(no program read the receiver)");
  }
  ++FStep;
  FStepBegun = false;
}

void TVirtualRemote::UpdateTicker() {
  Ticker.SetEnabled(FHeldKey != nullptr || FPlaying);
}
