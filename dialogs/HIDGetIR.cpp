#include "dialogs/HIDGetIR.h"

#include <string>

#include "dialogs/KeyCodes.h"
#include "engine/DMHID.h"

namespace {

constexpr TPanelProps LoweredPanel{.BevelOuter = TBevel::Lowered};
constexpr TLabelProps CentredLabel{.Alignment = TAlignment::Center};
constexpr TBitBtnProps CancelKind{.Kind = TBitBtnKind::Cancel};

constexpr TControlDef GetHIDControls[] = {
    {.Kind = ControlKind<TPanel>,
     .Name = "Panel1",
     .Left = 29,
     .Top = 16,
     .Width = 203,
     .Height = 41,
     .TabOrder = 0,
     .Caption = "Please Wait....",
     .Font = {.Bold = true},
     .Props = LoweredPanel},
    {.Kind = ControlKind<TLabel>,
     .Name = "LabelNoMatch",
     .Left = 29,
     .Top = 64,
     .Width = 203,
     .Height = 13,
     .Caption = "***Values do not Match***",
     .Visible = false,
     .Font = {.Bold = true, .Color = RGB(255, 0, 0)},
     .Props = CentredLabel},
    {.Kind = ControlKind<TBitBtn>,
     .Name = "BitBtnCancel",
     .Left = 29,
     .Top = 88,
     .Width = 203,
     .Height = 25,
     .TabOrder = 1,
     .Caption = "&Cancel",
     .Props = CancelKind},
};

constexpr TTimerDef GetHIDTimers[] = {
    {.Name = "Timer1", .Enabled = false, .Interval = 200, .OnTimer = "Timer1Timer"},
};

constexpr TFormDef GetHIDDef{
    .Name = "TFormGetHID",
    .Caption = "Get IR Code",
    .BorderStyle = TBorderStyle::Dialog,
    .Position = TFormPosition::ScreenCenter,
    .ClientWidth = 261,
    .ClientHeight = 135,
    .Controls = GetHIDControls,
    .Timers = GetHIDTimers,
    .OnCreate = "FormCreate",
    .OnPaint = "FormPaint",
    .OnShortCut = "FormShortCut",
};

constexpr COLORREF Blue = RGB(0, 0, 255);
constexpr COLORREF Red = RGB(255, 0, 0);

}  // namespace

TFormGetHID::TCreated::TCreated(TFormGetHID& Form) {
  const THandler handlers[] = {
      {"FormCreate", TNotifyEvent::Bind<&TFormGetHID::FormCreate>(&Form)},
      {"FormPaint", TNotifyEvent::Bind<&TFormGetHID::FormPaint>(&Form)},
      {"FormShortCut", TShortCutEvent::Bind<&TFormGetHID::FormShortCut>(&Form)},
      {"Timer1Timer", TNotifyEvent::Bind<&TFormGetHID::Timer1Timer>(&Form)},
  };
  Form.CreateForm(GetHIDDef, handlers);
}

TFormGetHID::TFormGetHID()
    : FCreated(*this),
      Panel1(Control<TPanel>("Panel1")),
      BitBtnCancel(Control<TBitBtn>("BitBtnCancel")),
      LabelNoMatch(Control<TLabel>("LabelNoMatch")),
      Timer1(Timer("Timer1")) {}

void TFormGetHID::FormCreate(void* /*Sender*/) {
  FPainted = false;
}

void TFormGetHID::FormPaint(void* /*Sender*/) {
  // The capture begins one timer tick after the dialog is first seen.
  if (FPainted) return;
  FPainted = true;
  FStep = 0;
  Timer1.SetEnabled(true);
}

void TFormGetHID::Timer1Timer(void* /*Sender*/) {
  Timer1.SetEnabled(false);
  switch (FStep) {
    case 0:
      StartCapture();
      break;
    case 1:
    case 2:
      Sleep(500);
      StartCapture();
      break;
    case 99:
      SetModalResult(mrOk);
      break;
    default:
      break;
  }
}

void TFormGetHID::StartCapture() {
  if (!FEngine->StartReceiving(true)) SetStatus("Error Starting IR Mode");
}

void TFormGetHID::SetStatus(const char* Text) {
  Panel1.SetCaption(Text);
  Panel1.Repaint();
}

void TFormGetHID::PlaySound() const {
  if (FPlaySound) MessageBeep(0);
}

void TFormGetHID::WMHidStatus(WPARAM wParam) {
  switch (static_cast<int32_t>(static_cast<uint32_t>(wParam))) {
    case rsError:
    case rsNone:
      Panel1.SetCaption("Error Starting IR Mode");
      break;
    case rsInit:
    case rsOff:
      Panel1.SetCaption("Initialising...Please Wait");
      break;
    case rsGet:
      Panel1.SetCaption("Press a Key on your Remote");
      break;
    default:
      break;
  }
  Panel1.Repaint();
}

void TFormGetHID::WMHidCode(WPARAM wParam, LPARAM lParam) {
  const auto code1 = static_cast<int32_t>(static_cast<uint32_t>(wParam));
  const auto code2 = static_cast<int32_t>(static_cast<uint32_t>(lParam));
  if (FWaitFirst) {
    PlaySound();
    FFirstCode1 = code1;
    FFirstCode2 = code2;
    LabelNoMatch.SetFontColor(Blue);
    Panel1.SetCaption("Please Wait...");
    LabelNoMatch.SetCaption("Confirm Code");
    LabelNoMatch.SetVisible(true);
    FWaitFirst = false;
    FStep = 2;
    Timer1.SetEnabled(true);
    return;
  }
  if ((code1 == 0 && code2 == 0) || !FConfirm || (code1 == FFirstCode1 && code2 == FFirstCode2)) {
    PlaySound();
    LabelNoMatch.SetVisible(false);
    Panel1.SetCaption(std::to_string(static_cast<uint32_t>(code1)) + "," +
                      std::to_string(static_cast<uint32_t>(code2)));
    FStep = 99;
    Timer1.SetEnabled(true);
    return;
  }
  LabelNoMatch.SetFontColor(Red);
  LabelNoMatch.SetCaption("***Values do not Match***");
  LabelNoMatch.SetVisible(true);
  FFirstCode1 = 0;
  FFirstCode2 = 0;
  FWaitFirst = true;
  Panel1.SetCaption("");
  FStep = 1;
  Timer1.SetEnabled(true);
}

void TFormGetHID::FormShortCut(WORD CharCode, LPARAM KeyData, bool& Handled) {
  Handled = FAllowKeys;
  if (!FAllowKeys || IsModifierKey(CharCode)) return;
  const int32_t code = ComposeKeyCode(CharCode, KeyData);
  if (IsReservedKeyCode(code)) {
    MessageBoxA(Handle(), "This Command is a Reserved Control key", "Error", MB_OK | MB_ICONERROR);
    return;
  }
  FEngine->PostCode(code, KeyboardCode2);
}

LRESULT TFormGetHID::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_HID_CODE:
      WMHidCode(wParam, lParam);
      return 0;
    case WM_HID_STATUS:
      WMHidStatus(wParam);
      return 0;
    default:
      return TForm::WndProc(Msg, wParam, lParam);
  }
}

int32_t ComposeKeyCode(WORD CharCode, LPARAM KeyData) {
  const bool alt = (static_cast<uint32_t>(KeyData) & (1u << 29)) != 0;
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  return KeyCode(CharCode, alt, shift, ctrl);
}

int32_t GetIRCode(TDModHID* Engine, bool PlaySound, bool Confirm, bool AllowKeys, int32_t& Code2,
                  bool* Accepted, HWND Owner) {
  Code2 = 0;
  if (Accepted != nullptr) *Accepted = false;
  if (Engine == nullptr || Engine->FState == rsNone) return 0;

  // The engine is put back as it was found, also when an error passes through: first its
  // state, while the dialog is still its target, then, with the dialog gone, its target.
  struct TRestoreTarget {
    TDModHID& Engine;
    HWND Target;
    ~TRestoreTarget() { Engine.FTargetWnd = Target; }
  } const restoreTarget{*Engine, Engine->FTargetWnd};

  TFormGetHID dialog;
  dialog.FEngine = Engine;
  dialog.FWaitFirst = Confirm;
  dialog.FConfirm = Confirm;
  dialog.FStep = -1;
  dialog.FFirstCode1 = 0;
  dialog.FFirstCode2 = 0;
  dialog.FAllowKeys = AllowKeys;
  dialog.FPlaySound = PlaySound;
  Engine->FTargetWnd = dialog.Handle();

  struct TRestoreState {
    TDModHID& Engine;
    int32_t State;
    ~TRestoreState() {
      if (State == rsGet) {
        Engine.StartReceiving(false);
      } else {
        Engine.FState = State;
      }
    }
  } const restoreState{*Engine, Engine->FState};

  Engine->StopReceiving();
  int32_t result = 0;
  if (dialog.ShowModal(Owner) == mrOk) {
    result = Engine->FCode1;
    Code2 = Engine->FCode2;
    if (Accepted != nullptr) *Accepted = true;
  }
  return result;
}
