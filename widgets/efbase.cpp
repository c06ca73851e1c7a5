#include "widgets/efbase.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "gui/Form.h"

namespace {

// Longest clipboard text a field looks at: far more than any field can take.
constexpr size_t MaxClipboardText = 65536;

TEXTMETRICA FontMetrics(HFONT Font) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, Font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return tm;
}

int TextWidth(HDC Dc, std::string_view Text) {
  SIZE size{};
  if (!Text.empty()) GetTextExtentPoint32A(Dc, Text.data(), static_cast<int>(Text.size()), &size);
  return size.cx;
}

std::string_view TrimBlanks(std::string_view Text) {
  while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
  while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
  return Text;
}

// The clipboard, open while the object lives.
class TClipboard {
 public:
  explicit TClipboard(HWND Owner) : FOpen(OpenClipboard(Owner) != FALSE) {}
  TClipboard(const TClipboard&) = delete;
  TClipboard& operator=(const TClipboard&) = delete;
  ~TClipboard() {
    if (FOpen) CloseClipboard();
  }
  [[nodiscard]] bool Open() const { return FOpen; }

 private:
  bool FOpen;
};

std::string ClipboardText(HWND Owner) {
  if (!IsClipboardFormatAvailable(CF_TEXT)) return {};
  const TClipboard clipboard(Owner);
  if (!clipboard.Open()) return {};
  const HANDLE data = GetClipboardData(CF_TEXT);
  if (data == nullptr) return {};
  const auto* text = static_cast<const char*>(GlobalLock(data));
  if (text == nullptr) return {};
  // The text ends at its zero, or at the end of its memory when another program left none.
  const size_t length = strnlen(text, std::min<size_t>(GlobalSize(data), MaxClipboardText));
  std::string result(text, length);
  GlobalUnlock(data);
  return result;
}

void SetClipboardText(HWND Owner, std::string_view Text) {
  const TClipboard clipboard(Owner);
  if (!clipboard.Open()) return;
  EmptyClipboard();
  const HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, Text.size() + 1);
  if (data == nullptr) return;
  auto* target = static_cast<char*>(GlobalLock(data));
  if (target == nullptr) {
    GlobalFree(data);
    return;
  }
  std::memcpy(target, Text.data(), Text.size());
  target[Text.size()] = '\0';
  GlobalUnlock(data);
  if (SetClipboardData(CF_TEXT, data) == nullptr) GlobalFree(data);
}

int PenStyle(TEfPenStyle Style) {
  switch (Style) {
    case TEfPenStyle::Dash:
      return PS_DASH;
    case TEfPenStyle::Dot:
      return PS_DOT;
    case TEfPenStyle::DashDot:
      return PS_DASHDOT;
    case TEfPenStyle::DashDotDot:
      return PS_DASHDOTDOT;
    default:
      return PS_SOLID;
  }
}

// The commands that change the text: a read-only field refuses them.
bool IsEditingCommand(TEfCommand Command) {
  switch (Command) {
    case ccBack:
    case ccCtrlChar:
    case ccCut:
    case ccDec:
    case ccDel:
    case ccDelBol:
    case ccDelEol:
    case ccDelLine:
    case ccDelWord:
    case ccInc:
    case ccPaste:
    case ccRestore:
    case ccTypedChar:
      return true;
    default:
      return false;
  }
}

void ApplyColors(TEfColors& Colors, const TEfColorsDef& Def) {
  Colors.SetBackColor(Def.BackColor);
  Colors.SetTextColor(Def.TextColor);
}

}  // namespace

// --- Colours ------------------------------------------------------------------------------

void TEfColors::Set(COLORREF Back, COLORREF Text) {
  if (Back == FBack && Text == FText) return;
  FBack = Back;
  FText = Text;
  if (OnChange) OnChange(this);
}

TEfColorSet::TEfColorSet() {
  const TNotifyEvent changed = TNotifyEvent::Bind<&TEfColorSet::Changed>(this);
  Disabled.OnChange = changed;
  Error.OnChange = changed;
  Highlight.OnChange = changed;
}

void TEfColorSet::Changed(void* /*Sender*/) {
  if (OnChange) OnChange(this);
}

void ApplyCaretDef(TEfCaret& Caret, const TEfCaretDef& Def) {
  if (Def.Shape) Caret.SetShape(*Def.Shape);
  if (Def.Align) Caret.SetAlign(*Def.Align);
  if (Def.BlinkTime) Caret.SetBlinkTime(*Def.BlinkTime);
  if (Def.CaretHeight) Caret.SetCaretHeight(*Def.CaretHeight);
  if (Def.CaretWidth) Caret.SetCaretWidth(*Def.CaretWidth);
  if (Def.IsGray) Caret.SetIsGray(*Def.IsGray);
}

// --- TEfBaseEntryField: properties ---------------------------------------------------------

TEfBaseEntryField::TEfBaseEntryField(TForm& Form, std::string_view Name)
    : TEfCustomControlEx(Form, Name), FCarets(std::make_unique<TEfWindowCaret>(*this)) {
  FEFColors.OnChange = TNotifyEvent::Bind<&TEfBaseEntryField::ColorsChanged>(this);
  SetCursor(TCursor::IBeam);
  SetColor(clWindow);
}

TEfBaseEntryField::~TEfBaseEntryField() {
  FGoing = true;
  FEFColors.OnChange = {};
}

void TEfBaseEntryField::DestroyField() {
  FGoing = true;
  DestroyHandle();
}

void TEfBaseEntryField::ApplyEntryFieldDefs(TEfEntryFieldOptions Options, char PadChar,
                                            int TextMargin, bool Uninitialized,
                                            TZeroDisplay ZeroDisplay, double ZeroDisplayValue,
                                            bool AutoSize, TEfBorderStyle BorderStyle, bool Ctl3D,
                                            const TEfBorders& Borders, const TEfCaretDef& CaretIns,
                                            const TEfCaretDef& CaretOvr,
                                            const TEfColorSetDef& Colors) {
  ApplyCaretDef(*FCarets.CaretIns(), CaretIns);
  ApplyCaretDef(*FCarets.CaretOvr(), CaretOvr);
  ApplyColors(FEFColors.Disabled, Colors.Disabled);
  ApplyColors(FEFColors.Error, Colors.Error);
  ApplyColors(FEFColors.Highlight, Colors.Highlight);
  FOptions = AdjustOptions(Options);
  FPadChar = PadChar;
  if (TextMargin >= 2) FTextMargin = TextMargin;
  FUninitialized = Uninitialized;
  FZeroDisplay = ZeroDisplay;
  FZeroDisplayValue = ZeroDisplayValue;
  FAutoSize = AutoSize;
  FBorderStyle = BorderStyle;
  FCtl3D = Ctl3D;
  FBorders = Borders;
}

void TEfBaseEntryField::SetOptions(TEfEntryFieldOptions Value) {
  FOptions = AdjustOptions(Value);
  UpdateCaret();
  Invalidate();
}

void TEfBaseEntryField::SetPadChar(char Value) {
  if (Value == FPadChar) return;
  FPadChar = Value;
  Invalidate();
}

void TEfBaseEntryField::SetTextMargin(int Value) {
  if (Value < 2 || Value == FTextMargin) return;
  FTextMargin = Value;
  UpdateCaret();
  Invalidate();
}

void TEfBaseEntryField::SetUninitialized(bool Value) {
  if (Value == FUninitialized) return;
  FUninitialized = Value;
  Invalidate();
}

void TEfBaseEntryField::SetZeroDisplay(TZeroDisplay Value) {
  if (Value == FZeroDisplay) return;
  FZeroDisplay = Value;
  Invalidate();
}

void TEfBaseEntryField::SetZeroDisplayValue(double Value) {
  FZeroDisplayValue = Value;
  Invalidate();
}

void TEfBaseEntryField::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  AdjustHeight();
}

void TEfBaseEntryField::SetBorderStyle(TEfBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  ApplyFrameStyle();
}

void TEfBaseEntryField::SetCtl3D(bool Value) {
  if (Value == FCtl3D) return;
  FCtl3D = Value;
  ApplyFrameStyle();
}

void TEfBaseEntryField::ApplyFrameStyle() {
  if (!HandleAllocated()) return;
  auto style = static_cast<DWORD>(GetWindowLongPtrA(Handle(), GWL_STYLE));
  auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(Handle(), GWL_EXSTYLE));
  style &= ~static_cast<DWORD>(WS_BORDER);
  exStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
  if (FBorderStyle == TEfBorderStyle::Single) {
    if (FCtl3D) {
      exStyle |= WS_EX_CLIENTEDGE;
    } else {
      style |= WS_BORDER;
    }
  }
  SetWindowLongPtrA(Handle(), GWL_STYLE, static_cast<LONG_PTR>(style));
  SetWindowLongPtrA(Handle(), GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  AdjustHeight();
  UpdateCaret();
  Invalidate();
}

void TEfBaseEntryField::SetBorders(const TEfBorders& Value) {
  if (Value == FBorders) return;
  FBorders = Value;
  UpdateCaret();
  Invalidate();
}

void TEfBaseEntryField::ColorsChanged(void* /*Sender*/) {
  if (HandleAllocated()) Invalidate();
}

// --- The window ---------------------------------------------------------------------------

void TEfBaseEntryField::CreateParams(TCreateParams& Params) {
  TEfCustomControlEx::CreateParams(Params);
  Params.ClassName = "TEfBaseEntryField";
  if (Params.Width <= 0) Params.Width = 130;
  if (Params.Height <= 0) Params.Height = 25;
  if (FBorderStyle == TEfBorderStyle::Single) {
    if (FCtl3D) {
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    } else {
      Params.Style |= WS_BORDER;
    }
  }
}

void TEfBaseEntryField::CreateWnd() {
  TEfCustomControlEx::CreateWnd();
  AdjustHeight();
}

int TEfBaseEntryField::AutoHeight() const {
  // The text and the border lines of a control with a sunken edge, or with a one-pixel frame.
  return FontMetrics(Font()).tmHeight + (FCtl3D ? 8 : 6) * GetSystemMetrics(SM_CYBORDER);
}

void TEfBaseEntryField::AdjustHeight() {
  if (!FAutoSize || !HandleAllocated()) return;
  const int height = AutoHeight();
  if (height == Height()) return;
  FAdjustingHeight = true;
  SetBounds(Left(), Top(), Width(), height);
  FAdjustingHeight = false;
}

void TEfBaseEntryField::BoundsChanged() {
  TEfCustomControlEx::BoundsChanged();
  // A height set by hand wins over the font's.
  if (!FAdjustingHeight && FAutoSize && !Loading() && Height() != AutoHeight()) {
    FAutoSize = false;
  }
  UpdateCaret();
}

void TEfBaseEntryField::Destroying() {
  FGoing = true;
  // A report posted to this window would never come: let the next field report.
  if (FReportQueued) Controller().SetReportingError(false);
  FReportQueued = false;
  if (Focused()) ::SetFocus(GetParent(Handle()));
  TEfCustomControlEx::Destroying();
}

LRESULT TEfBaseEntryField::GetDlgCode(const MSG* Message) const {
  LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
  // Alt+Backspace restores: the form's keyboard interface leaves it to the field.
  if (Message != nullptr && (Message->message == WM_SYSKEYDOWN || Message->message == WM_SYSCHAR) &&
      Message->wParam == VK_BACK) {
    code |= DLGC_WANTMESSAGE;
  }
  return code;
}

LRESULT TEfBaseEntryField::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_GETDLGCODE:
      return GetDlgCode(reinterpret_cast<const MSG*>(lParam));
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      FSysKeyDown = Msg == WM_SYSKEYDOWN;
      const LRESULT r = TEfCustomControlEx::WndProc(Msg, wParam, lParam);
      FSysKeyDown = false;
      return r;
    }
    case WM_SYSCHAR:
      // The character of a key that ran a command (Alt+Backspace) goes no further.
      if (!FCharAllowed) return 0;
      break;
    case WM_GETTEXT: {
      if (wParam == 0 || lParam == 0) return 0;
      const std::string& text = EditText();
      const size_t count = std::min(text.size(), static_cast<size_t>(wParam) - 1);
      auto* target = reinterpret_cast<char*>(lParam);
      std::memcpy(target, text.data(), count);
      target[count] = '\0';
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(EditText().size());
    case WM_SETTEXT: {
      // The program's text goes in as pasted over the whole text.
      const char* text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      SelectAll();
      EditCommand(ccPaste, 0, std::string_view(text, strnlen(text, MaxClipboardText)));
      if (!FEditing) ClearSelection();
      UpdateCaret();
      Invalidate();
      return TRUE;
    }
    case WM_COPY:
      CopySelection();
      return 0;
    case WM_CUT:
      CopySelection();
      DispatchCommand(ccCut);
      return 0;
    case WM_PASTE:
      DispatchCommand(ccPaste, 0, ClipboardText(Handle()));
      return 0;
    case WM_CLEAR:
      DispatchCommand(ccCut);
      return 0;
    case EM_GETSEL:
      if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(FSelStart);
      if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(FSelEnd);
      return MAKELRESULT(std::min(FSelStart, 0xFFFF), std::min(FSelEnd, 0xFFFF));
    case EM_SETSEL: {
      // Start -1 deselects, start 0 with end -1 selects all (0xFFFF counts as -1 too).
      const auto start = static_cast<int>(static_cast<INT_PTR>(wParam));
      const auto end = static_cast<int>(static_cast<INT_PTR>(lParam));
      if (start == -1 || start == 0xFFFF) {
        ClearSelection();
      } else if (start == 0 && (end == -1 || end == 0xFFFF)) {
        SelectAll();
      } else {
        SetSelection(start, end);
      }
      UpdateCaret();
      Invalidate();
      return 0;
    }
    case EM_GETMODIFY:
      return FModified ? TRUE : FALSE;
    case EM_SETMODIFY:
      FModified = wParam != 0;
      return 0;
    case WM_EF_GET_DATA_SIZE:
      return static_cast<LRESULT>(DataSize());
    case WM_EF_REPORT_ERROR:
      ReportError(static_cast<int>(wParam));
      return 0;
    case WM_RBUTTONUP:
      // The menu's items apply to this field: it takes the focus first.
      if (!Focused() && CanFocus()) {
        FMouseEntry = true;
        SetFocus();
        FMouseEntry = false;
      }
      break;
    case WM_CONTEXTMENU: {
      int x = GET_X_LPARAM(lParam);
      int y = GET_Y_LPARAM(lParam);
      if (lParam == -1) {  // from the keyboard: at the caret
        POINT p{FCarets.PositionX(), FCarets.PositionY()};
        if (p.x == TEfSingleCaret::NoPosition || p.y == TEfSingleCaret::NoPosition) p = {0, 0};
        ClientToScreen(Handle(), &p);
        x = p.x;
        y = p.y;
      }
      ShowContextMenu(x, y);
      return 0;
    }
    default:
      break;
  }
  return TEfCustomControlEx::WndProc(Msg, wParam, lParam);
}

// --- Keys, commands and the mouse ---------------------------------------------------------

void TEfBaseEntryField::KeyDown(WORD& Key, TShiftState Shift) {
  // Each key stroke decides afresh whether its character may be typed: a key a handler
  // swallows types nothing, whatever the key before it allowed.
  FCharAllowed = false;
  TEfCustomControlEx::KeyDown(Key, Shift);
  if (Key == 0 || Loading()) return;
  TEfCommandProcessor& commands = Controller().EntryCommands();
  TEfCommand command = ccNone;
  if (FSysKeyDown) {
    if (Key == VK_TAB || Key == VK_MENU) return;
    command = commands.KeyToCommandShift(Key, TShiftState{ssAlt});
    // Alt with the keypad digits types a character by its code.
    FCharAllowed = command == ccCharAllowed || (Key >= VK_NUMPAD0 && Key <= VK_NUMPAD9);
  } else {
    if (Key == VK_SHIFT) return;
    command = commands.KeyToCommand(Key, [](uint8_t Vk) { return GetKeyState(Vk) < 0; });
    FCharAllowed = command == ccCharAllowed;
  }
  if (command == ccUndo) command = ccRestore;
  if (command == ccNone || command == ccCharAllowed) return;
  Key = 0;  // the field has it
  if (command == ccIns &&
      (FOptions.Contains(efoForceInsert) || FOptions.Contains(efoForceOvertype))) {
    return;
  }
  switch (command) {
    case ccCopy:
      SendMessageA(Handle(), WM_COPY, 0, 0);
      break;
    case ccCut:
      SendMessageA(Handle(), WM_CUT, 0, 0);
      break;
    case ccPaste:
      SendMessageA(Handle(), WM_PASTE, 0, 0);
      break;
    default:
      DispatchCommand(command);
      break;
  }
}

void TEfBaseEntryField::KeyPress(char& Key) {
  TEfCustomControlEx::KeyPress(Key);
  if (Key == 0) return;
  // Only the character of a key that has no command is typed.
  const bool allowed = FCharAllowed;
  FCharAllowed = false;
  if (allowed) DispatchCommand(ccTypedChar, Key);
  Key = 0;
}

void TEfBaseEntryField::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && !Focused() && CanFocus()) {
    FMouseEntry = true;
    SetFocus();
    FMouseEntry = false;
  }
  TEfCustomControlEx::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && Focused()) {
    DispatchCommand(Shift.Contains(ssDouble) ? ccDoubleClick : ccMouseDown);
  }
}

void TEfBaseEntryField::DispatchCommand(TEfCommand Command, char Ch, std::string_view Text) {
  if (!HandleAllocated()) return;
  if (IsReadOnly() && IsEditingCommand(Command)) {
    ErrorBeep();
    return;
  }
  if (Command > ccSequencePending) {
    if (OnUserCommand) OnUserCommand(this, Command);
    Command = ccSequenceFailed;
  }
  if (Command == ccTypedChar && Ch == 0) return;
  EditCommand(Command, Ch, Text);
}

void TEfBaseEntryField::ErrorBeep() {
  if (Controller().EntryOptions().Contains(efoBeepOnError)) MessageBeep(0);
}

void TEfBaseEntryField::MoveFocus(bool Previous) {
  PostMessageA(Form().Handle(), WM_NEXTDLGCTL, Previous ? 1 : 0, 0);
}

void TEfBaseEntryField::ToggleInsertMode() {
  FInsertMode = !FInsertMode;
  FCarets.SetInsertMode(FInsertMode);
  UpdateCaret();
}

// --- Text, selection, caret ---------------------------------------------------------------

void TEfBaseEntryField::SelectAll() {
  FSelStart = 0;
  FSelEnd = static_cast<int>(EditText().size());
}

void TEfBaseEntryField::ClearSelection() {
  FSelStart = FSelEnd = FCaretPos;
}

void TEfBaseEntryField::SetSelection(int Start, int End) {
  // The fields select all of their text or nothing.
  if (End < Start) return;
  if (End > Start) {
    SelectAll();
  } else {
    ClearSelection();
  }
}

void TEfBaseEntryField::PutCaret(int Position) {
  FCaretPos = std::clamp(Position, 0, static_cast<int>(EditText().size()));
}

void TEfBaseEntryField::CaretToEnd() {
  PutCaret(static_cast<int>(EditText().size()));
}

void TEfBaseEntryField::CaretToStart() {
  PutCaret(0);
}

void TEfBaseEntryField::SetCaretPosition(int Position) {
  PutCaret(Position);
}

std::string TEfBaseEntryField::SelectedText() const {
  const std::string& text = EditText();
  const auto start = static_cast<size_t>(std::clamp(FSelStart, 0, static_cast<int>(text.size())));
  const auto end = static_cast<size_t>(std::clamp(FSelEnd, 0, static_cast<int>(text.size())));
  return end > start ? text.substr(start, end - start) : std::string();
}

void TEfBaseEntryField::CopySelection() const {
  if (HasSelection()) SetClipboardText(Handle(), SelectedText());
}

void TEfBaseEntryField::TextChanged() {
  FModified = true;
  FModifiedOnce = true;
  if (OnChange) OnChange(this);
}

void TEfBaseEntryField::Restore() {
  if (!FSavedText) return;
  RestoreText(*FSavedText);
  CaretToEnd();
  SelectAll();
  FModified = false;
  UpdateCaret();
  Invalidate();
  if (OnChange) OnChange(this);
}

void TEfBaseEntryField::ValueWritten() {
  FFocusLeftForm = false;
  if (FEditing) {
    CaretToEnd();
    SelectAll();
  } else {
    FErrorState = false;
  }
  FModified = false;
  FModifiedOnce = false;
  UpdateCaret();
  Invalidate();
}

TEfBaseEntryField::TTextLayout TEfBaseEntryField::Layout() const {
  const TEXTMETRICA tm = FontMetrics(Font());
  RECT client{};
  GetClientRect(Handle(), &client);
  TTextLayout l{};
  l.Height = tm.tmHeight;
  l.AveCharWidth = tm.tmAveCharWidth;
  l.ClientRight = client.right;
  l.Right = client.right - FTextMargin - 1;
  if (FBorders.Right.Enabled) l.Right -= FBorders.Right.PenWidth;
  const bool border = FBorderStyle == TEfBorderStyle::Single;
  if (tm.tmHeight <= Height() - (border ? 4 : 2)) {
    l.Top = border ? 1 : 0;
  } else {
    l.Top = (client.bottom - tm.tmHeight) / 2;
  }
  if (FBorders.Top.Enabled) l.Top += FBorders.Top.PenWidth;
  return l;
}

void TEfBaseEntryField::UpdateCaret() {
  if (!HandleAllocated()) return;
  const TTextLayout l = Layout();
  const std::string shown = DisplayString();
  const std::string_view text = TrimBlanks(shown);
  const auto lead = static_cast<size_t>(text.empty() ? shown.size() : text.data() - shown.data());
  const size_t pos = std::min(static_cast<size_t>(std::max(FCaretPos, 0)), shown.size());
  const size_t after = std::min(pos > lead ? pos - lead : 0, text.size());

  const HDC dc = GetDC(Handle());
  const HGDIOBJ old = SelectObject(dc, Font());
  // The cell of the character at the caret; past the text an average character's.
  const int cell = pos < shown.size() ? TextWidth(dc, shown.substr(pos, 1)) : l.AveCharWidth;
  int x = l.Right - TextWidth(dc, text.substr(after));
  FCarets.SetCellHeight(l.Height);
  FCarets.SetCellWidth(cell);
  // A caret too wide for the room after the text (a block) covers its last character instead
  // of being cut off by the field's edge.
  const int caretRight = x + FCarets.Offset().X + FCarets.Current()->CaretWidth();
  if (after == text.size() && !text.empty() && caretRight > l.ClientRight) {
    const int last = TextWidth(dc, text.substr(text.size() - 1));
    FCarets.SetCellWidth(last);
    x = l.Right - last;
  }
  SelectObject(dc, old);
  ReleaseDC(Handle(), dc);
  FCarets.SetPosition(x, l.Top);
}

// --- Focus --------------------------------------------------------------------------------

bool TEfBaseEntryField::WindowOfForm(HWND Window) const {
  return Window != nullptr && GetAncestor(Window, GA_ROOT) == GetAncestor(Handle(), GA_ROOT);
}

void TEfBaseEntryField::DoEnter(HWND Previous) {
  if (Loading() || FGoing) {
    TEfCustomControlEx::DoEnter(Previous);
    return;
  }
  TEfController& controller = Controller();
  FEditing = true;
  controller.EntryCommands().ResetSequence();

  // Back after a check that failed: the control that had the focus meanwhile (a button being
  // pressed, say) lets go of the mouse without firing. Only a window of this program is told.
  if (FExitUnvalidated && Previous != nullptr && Previous != Handle() && IsWindow(Previous) &&
      GetWindowThreadProcessId(Previous, nullptr) == GetCurrentThreadId()) {
    SendMessageA(Previous, WM_CANCELMODE, 0, 0);
    POINT p{};
    GetCursorPos(&p);
    SendMessageA(Previous, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  }

  if (FOptions.Contains(efoForceInsert)) {
    FInsertMode = true;
  } else if (!FOptions.Contains(efoForceOvertype)) {
    FInsertMode = controller.InsertMode();
  }

  const bool resumed = FFocusLeftForm;
  bool select = false;
  FTransient = false;
  if (!resumed) {
    if (controller.ReportingError() && FValidationCode == 0) {
      // Passing through while another field's error is about to be reported.
      FTransient = true;
    } else {
      if (!FExitUnvalidated) FModified = false;
      controller.PostPreEdit(*this, Previous);
      FSavedText = EditText();
      if (!FMouseEntry) {
        CaretToEnd();
        select = controller.EntryOptions().Contains(efoAutoSelect);
      }
    }
  }

  FExitUnvalidated = false;
  FNeedsRefocus = false;
  FFocusLeftForm = false;
  FMouseEntry = false;
  if (!FTransient) controller.SetReportingError(false);

  TEfCustomControlEx::DoEnter(Previous);  // OnEnter; AfterEnter is posted

  if (FOptions.Contains(efoForceOvertype)) FInsertMode = false;
  FCarets.SetInsertMode(FInsertMode);
  FCarets.Link(true);
  FCarets.Show(true);

  if (select) SelectAll();
  FieldEntered(resumed);
  UpdateCaret();
  Invalidate();
}

void TEfBaseEntryField::DoExit(HWND Next) {
  if (Loading() || FGoing) {
    FCarets.Link(false);
    FEditing = false;
    TEfCustomControlEx::DoExit(Next);
    return;
  }
  TEfController& controller = Controller();
  // Only a window of this form counts; leaving for another program checks nothing.
  const bool counts = Next != nullptr && Next != Handle() && WindowOfForm(Next);
  FFocusLeftForm = !counts;

  FCarets.Link(false);
  if (GetCapture() == Handle()) ReleaseCapture();
  TEfCustomControlEx::DoExit(Next);  // OnExit; AfterExit is posted

  if (!FOptions.Contains(efoForceInsert) && !FOptions.Contains(efoForceOvertype)) {
    controller.SetInsertMode(FInsertMode);
  }

  if (FNeedsRefocus || FTransient) {
    FExitUnvalidated = FNeedsRefocus;
  } else {
    FExitUnvalidated = true;
    if (counts) {
      if (FModified) FUninitialized = false;
      if (controller.IsSpecialControl(Next)) {
        (void)CheckValue(FEditing);
      } else {
        ValidateAndReport(true);
        FExitUnvalidated = FNeedsRefocus;
      }
    }
  }

  FEditing = false;
  if (counts && !FFocusLeftForm && !FTransient) controller.PostPostEdit(*this, Next);
  if (!FFocusLeftForm) {
    CaretToEnd();
    ClearSelection();
  }
  FieldExited();
  Invalidate();
}

// --- Validation ---------------------------------------------------------------------------

int TEfBaseEntryField::CheckAll() {
  if (FOptions.Contains(efoInputRequired) && !IsReadOnly() &&
      (FieldIsBlank() || (FUninitialized && !FModified))) {
    return ecRequired;
  }
  return CheckValue(FEditing);
}

bool TEfBaseEntryField::ValidateAndReport(bool AllowSoft) {
  if (!HandleAllocated() || !Visible() || !Enabled()) return true;
  FValidationCode = CheckAll();
  if (FValidationCode == 0) {
    FErrorState = false;
    Invalidate();
    return true;
  }
  const bool soft = FOptions.Contains(efoSoftValidation);
  if (soft) FErrorState = true;
  Invalidate();
  if (AllowSoft && soft) return true;

  TEfController& controller = Controller();
  FNeedsRefocus = true;
  if (FEditing) FFocusLeftForm = true;
  // The focus comes back first, then the report: its box finds the field focused.
  controller.PostRefocus(*this);
  if (!controller.ReportingError()) PostReport(FValidationCode);
  controller.SetReportingError(true);
  return false;
}

void TEfBaseEntryField::PostReport(int Code) {
  FReportQueued = true;
  PostMessageA(Handle(), WM_EF_REPORT_ERROR, static_cast<WPARAM>(Code), 0);
}

void TEfBaseEntryField::ReportError(int Code) {
  FReportQueued = false;
  TEfController& controller = Controller();
  // The report is no longer queued, also when the field could not take the focus back.
  controller.SetReportingError(false);
  const std::string text(ErrorCodeText(Code, controller.ErrorText()));
  controller.SetErrorText(text);
  const auto code = static_cast<uint16_t>(Code);
  if (OnError) {
    OnError(this, code, text);
  } else {
    controller.DoError(this, code, text);
  }
}

void TEfBaseEntryField::SetErrorState(bool Value) {
  if (Value == FErrorState) return;
  FErrorState = Value;
  Invalidate();
}

// --- Drawing ------------------------------------------------------------------------------

void TEfBaseEntryField::Paint(HDC Dc, const RECT& R) {
  TOffscreenDC off(Dc, R.right, R.bottom);
  const HDC dc = off.Dc();
  const bool enabled = IsWindowEnabled(Handle()) != FALSE;
  COLORREF back = Color();
  COLORREF text = ColorToRGB(FontColor(), GetSysColor(COLOR_WINDOWTEXT));
  if (!enabled) {
    back = ColorToRGB(FEFColors.Disabled.BackColor(), back);
    text = ColorToRGB(FEFColors.Disabled.TextColor(), text);
  } else if (FErrorState) {
    back = ColorToRGB(FEFColors.Error.BackColor(), back);
    text = ColorToRGB(FEFColors.Error.TextColor(), text);
  }
  const HBRUSH brush = CreateSolidBrush(back);
  FillRect(dc, &R, brush);
  DeleteObject(brush);

  const TTextLayout l = Layout();
  const std::string shown = DisplayString();
  const std::string_view s = TrimBlanks(shown);
  const HGDIOBJ oldFont = SelectObject(dc, Font());
  const int width = TextWidth(dc, s);
  RECT box{l.Right - width, l.Top, l.Right, l.Top + l.Height};
  // The selection shows while the field has the focus, never in a disabled field.
  if (enabled && HasSelection() && Focused() && !s.empty()) {
    SetBkColor(dc, ColorToRGB(FEFColors.Highlight.BackColor(), GetSysColor(COLOR_HIGHLIGHT)));
    SetTextColor(dc, ColorToRGB(FEFColors.Highlight.TextColor(), GetSysColor(COLOR_HIGHLIGHTTEXT)));
    SetBkMode(dc, OPAQUE);
    IntersectRect(&box, &box, &R);
    ExtTextOutA(dc, l.Right - width, l.Top, ETO_OPAQUE | ETO_CLIPPED, &box, s.data(),
                static_cast<UINT>(s.size()), nullptr);
  } else {
    SetTextColor(dc, text);
    SetBkMode(dc, TRANSPARENT);
    ExtTextOutA(dc, l.Right - width, l.Top, ETO_CLIPPED, &R, s.data(), static_cast<UINT>(s.size()),
                nullptr);
  }
  SelectObject(dc, oldFont);
  DrawBorders(dc, R);
  off.CopyTo();
}

void TEfBaseEntryField::DrawBorders(HDC Dc, const RECT& R) const {
  const auto line = [Dc](const TEfBorder& b, int X1, int Y1, int X2, int Y2) {
    if (!b.Enabled || b.PenWidth <= 0) return;
    const HPEN pen = CreatePen(PenStyle(b.PenStyle), b.PenWidth, ColorToRGB(b.PenColor, 0));
    const HGDIOBJ old = SelectObject(Dc, pen);
    MoveToEx(Dc, X1, Y1, nullptr);
    LineTo(Dc, X2, Y2);
    SelectObject(Dc, old);
    DeleteObject(pen);
  };
  // Each line lies inside the client area, its pen centred on its own width.
  const auto inner = [](const TEfBorder& b) { return b.PenWidth / 2; };
  const auto outer = [](const TEfBorder& b, LONG Edge) { return Edge - 1 - (b.PenWidth - 1) / 2; };
  line(FBorders.Left, inner(FBorders.Left), 0, inner(FBorders.Left), R.bottom);
  line(FBorders.Top, 0, inner(FBorders.Top), R.right, inner(FBorders.Top));
  line(FBorders.Right, outer(FBorders.Right, R.right), 0, outer(FBorders.Right, R.right), R.bottom);
  line(FBorders.Bottom, 0, outer(FBorders.Bottom, R.bottom), R.right,
       outer(FBorders.Bottom, R.bottom));
}

// --- The context menu ---------------------------------------------------------------------

TEfMenu TEfBaseEntryField::MakeContextMenu() const {
  TEfMenu menu(CreatePopupMenu());
  const bool selected = HasSelection();
  const bool readOnly = IsReadOnly();
  const auto item = [&menu](UINT Id, const char* Text, bool Enabled) {
    AppendMenuA(menu.get(), MF_STRING | (Enabled ? MF_ENABLED : MF_GRAYED), Id, Text);
  };
  item(emiRestore, "&Restore", FModified);
  AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
  item(emiCut, "Cu&t", selected && !readOnly);
  item(emiCopy, "&Copy", selected);
  item(emiPaste, "&Paste", !readOnly && IsClipboardFormatAvailable(CF_TEXT));
  item(emiDelete, "&Delete", selected && !readOnly);
  AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
  item(emiSelectAll, "Select &All", FSelEnd - FSelStart < static_cast<int>(EditText().size()));
  return menu;
}

void TEfBaseEntryField::ShowContextMenu(int X, int Y) {
  const TEfMenu menu = MakeContextMenu();
  const auto chosen = static_cast<UINT>(TrackPopupMenu(
      menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, X, Y, 0, Handle(), nullptr));
  switch (chosen) {
    case emiRestore:
      DispatchCommand(ccRestore);
      break;
    case emiCut:
      SendMessageA(Handle(), WM_CUT, 0, 0);
      break;
    case emiCopy:
      SendMessageA(Handle(), WM_COPY, 0, 0);
      break;
    case emiPaste:
      SendMessageA(Handle(), WM_PASTE, 0, 0);
      break;
    case emiDelete:
      SendMessageA(Handle(), WM_CLEAR, 0, 0);
      break;
    case emiSelectAll:
      SelectAll();
      UpdateCaret();
      Invalidate();
      break;
    default:
      break;
  }
}
