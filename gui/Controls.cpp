#include "gui/Controls.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>
#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "gui/Form.h"

namespace {

HBRUSH ButtonFaceBrush() {
  return GetSysColorBrush(COLOR_BTNFACE);
}

COLORREF TextColor(COLORREF Color) {
  return Color == clDefault ? GetSysColor(COLOR_WINDOWTEXT) : Color;
}

UINT DrawAlignment(TAlignment Alignment) {
  switch (Alignment) {
    case TAlignment::Center:
      return DT_CENTER;
    case TAlignment::Right:
      return DT_RIGHT;
    default:
      return DT_LEFT;
  }
}

LPCSTR CursorResource(TCursor Cursor) {
  switch (Cursor) {
    case TCursor::Arrow:
      return IDC_ARROW;
    case TCursor::IBeam:
      return IDC_IBEAM;
    case TCursor::Cross:
      return IDC_CROSS;
    case TCursor::HandPoint:
      return IDC_HAND;
    default:
      return nullptr;
  }
}

// The pictures of the button kinds.
constexpr TGlyphColor GreenInk[] = {{'g', RGB(0, 128, 0)}};
// clang-format off
constexpr TGlyph OkGlyph{
    .Rows = {"................",
             "................",
             "..............g.",
             ".............gg.",
             "............ggg.",
             "...........ggg..",
             "..g.......ggg...",
             "..gg.....ggg....",
             "..ggg...ggg.....",
             "...ggg.ggg......",
             "....ggggg.......",
             ".....ggg........",
             "......g.........",
             "................",
             "................",
             "................"},
    .Colors = GreenInk};
// clang-format on
constexpr TGlyphColor RedInk[] = {{'r', RGB(192, 0, 0)}};
// clang-format off
constexpr TGlyph CancelGlyph{
    .Rows = {"................",
             "................",
             "...rr......rr...",
             "...rrr....rrr...",
             "....rrr..rrr....",
             ".....rrrrrr.....",
             "......rrrr......",
             "......rrrr......",
             ".....rrrrrr.....",
             "....rrr..rrr....",
             "...rrr....rrr...",
             "...rr......rr...",
             "................",
             "................",
             "................",
             "................"},
    .Colors = RedInk};
// clang-format on

const TGlyph* KindGlyph(TBitBtnKind Kind) {
  switch (Kind) {
    case TBitBtnKind::OK:
      return &OkGlyph;
    case TBitBtnKind::Cancel:
      return &CancelGlyph;
    default:
      return nullptr;
  }
}

// The colour of a picture's pixel; none for the button face.
std::optional<COLORREF> GlyphInk(const TGlyph& Glyph, int X, int Y) {
  const std::string_view row = Glyph.Rows[static_cast<size_t>(Y)];
  if (static_cast<size_t>(X) >= row.size()) return std::nullopt;
  for (const TGlyphColor& c : Glyph.Colors) {
    if (c.Key == row[static_cast<size_t>(X)]) return c.Color;
  }
  return std::nullopt;
}

// The picture on the button face. Disabled, it is etched: its ink in the shadow colour over a
// highlight offset by one pixel, as Windows draws disabled pictures.
HBITMAP MakeGlyph(const TGlyph& Glyph, bool Disabled) {
  constexpr int N = TGlyph::Size;
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, N, N);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  const RECT all{0, 0, N, N};
  FillRect(dc, &all, ButtonFaceBrush());
  if (Disabled) {
    for (int y = 0; y + 1 < N; ++y) {
      for (int x = 0; x + 1 < N; ++x) {
        if (GlyphInk(Glyph, x, y)) SetPixelV(dc, x + 1, y + 1, GetSysColor(COLOR_BTNHIGHLIGHT));
      }
    }
  }
  for (int y = 0; y < N; ++y) {
    for (int x = 0; x < N; ++x) {
      if (const auto ink = GlyphInk(Glyph, x, y)) {
        SetPixelV(dc, x, y, Disabled ? GetSysColor(COLOR_BTNSHADOW) : *ink);
      }
    }
  }
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  return bitmap;
}

TShiftState MouseShiftState(WPARAM Keys) {
  TShiftState s = KeyboardShiftState();
  if ((Keys & MK_LBUTTON) != 0) s.Include(ssLeft);
  if ((Keys & MK_RBUTTON) != 0) s.Include(ssRight);
  if ((Keys & MK_MBUTTON) != 0) s.Include(ssMiddle);
  return s;
}

}  // namespace

COLORREF ColorToRGB(COLORREF Color, COLORREF Default) {
  if (Color == clDefault) return Default;
  if ((Color & 0xFF000000u) == 0x80000000u) return GetSysColor(static_cast<int>(Color & 0xFFu));
  return Color & 0x00FFFFFFu;
}

TShiftState KeyboardShiftState() {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

// --- TControl -----------------------------------------------------------------------------

void TControl::Create(const TPlacement& Place, const TControlProps& Props) {
  FPlace = Place;
  FParent = Place.Parent;
  FFont = Place.Font;
  ReadProps(Props);
  CreateWnd();
  FPlace.Caption = {};  // from now on the window text
}

void TControl::ReadProps(const TControlProps& Props) {
  if (!Props.Empty()) throw std::logic_error("control " + Name() + ": takes no properties");
}

void TControl::CreateParams(TCreateParams& Params) {
  Params.Caption.assign(FPlace.Caption);
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (FPlace.Visible) Params.Style |= WS_VISIBLE;
  if (!FPlace.Enabled) Params.Style |= WS_DISABLED;
  if (FPlace.TabStop) Params.Style |= WS_TABSTOP;
  Params.Left = FPlace.Left;
  Params.Top = FPlace.Top;
  Params.Width = FPlace.Width;
  Params.Height = FPlace.Height;
  Params.Parent = FPlace.ParentHandle;
  Params.Id = FPlace.Id;
  Params.Background = ButtonFaceBrush();
}

void TControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  CreateHandle(params);
  if (!HandleAllocated()) throw std::runtime_error("Cannot create the control " + Name());
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  FVisible = (GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
  UpdateBounds();
  FMade = true;
}

void TControl::UpdateBounds() {
  RECT r{};
  GetWindowRect(Handle(), &r);
  MapWindowPoints(nullptr, GetParent(Handle()), reinterpret_cast<POINT*>(&r), 2);
  FLeft = r.left;
  FTop = r.top;
  FWidth = r.right - r.left;
  FHeight = r.bottom - r.top;
}

std::string TControl::Caption() const {
  const int length = GetWindowTextLengthA(Handle());
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(Handle(), text.data(), length + 1);
  text.resize(static_cast<size_t>(got < 0 ? 0 : got));
  return text;
}

void TControl::SetCaption(std::string_view Value) {
  const std::string text(Value);
  SetWindowTextA(Handle(), text.c_str());
}

bool TControl::Visible() const {
  return (GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
}

void TControl::SetVisible(bool Value) {
  ShowWindow(Handle(), Value ? SW_SHOW : SW_HIDE);
  // On a hidden parent no position change may be reported: look for ourselves.
  CheckVisible();
}

void TControl::CheckVisible() {
  if (!FMade) return;
  const bool visible = (GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
  if (visible == FVisible) return;
  FVisible = visible;
  VisibleChanged();
}

bool TControl::Enabled() const {
  return IsWindowEnabled(Handle()) != FALSE;
}

void TControl::SetEnabled(bool Value) {
  EnableWindow(Handle(), Value ? TRUE : FALSE);
}

bool TControl::CanFocus() const {
  for (HWND w = Handle(); w != nullptr; w = GetParent(w)) {
    if (!IsWindowVisible(w) || !IsWindowEnabled(w)) return false;
    if ((GetWindowLongA(w, GWL_STYLE) & WS_CHILD) == 0) break;
  }
  return HandleAllocated();
}

bool TControl::Focused() const {
  return HandleAllocated() && GetFocus() == Handle();
}

void TControl::SetFocus() {
  ::SetFocus(Handle());
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  SetWindowPos(Handle(), nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::BringToFront() {
  SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HFONT TControl::Font() const {
  return FForm.Font(FFont.Bold);
}

void TControl::SetFontColor(COLORREF Value) {
  FFont.Color = Value;
  Invalidate();
}

void TControl::Repaint() {
  RedrawWindow(Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TControl::Invalidate() {
  InvalidateRect(Handle(), nullptr, TRUE);
}

HBRUSH TControl::CtlColor(HDC /*Dc*/) {
  return nullptr;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DoEnter(HWND /*Previous*/) {
  if (OnEnter) OnEnter(this);
}

void TControl::DoExit(HWND /*Next*/) {
  if (OnExit) OnExit(this);
}

void TControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseMessage(UINT Msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  TShiftState shift = MouseShiftState(wParam);
  switch (Msg) {
    case WM_MOUSEMOVE:
      MouseMove(shift, x, y);
      break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      shift.Include(ssDouble);
      [[fallthrough]];
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      const TMouseButton button = Msg == WM_LBUTTONDOWN || Msg == WM_LBUTTONDBLCLK   ? mbLeft
                                  : Msg == WM_RBUTTONDOWN || Msg == WM_RBUTTONDBLCLK ? mbRight
                                                                                     : mbMiddle;
      MouseDown(button, shift, x, y);
      break;
    }
    case WM_LBUTTONUP:
      MouseUp(mbLeft, shift, x, y);
      break;
    case WM_RBUTTONUP:
      MouseUp(mbRight, shift, x, y);
      break;
    case WM_MBUTTONUP:
      MouseUp(mbMiddle, shift, x, y);
      break;
    default:
      break;
  }
}

LRESULT TControl::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_SETFOCUS: {
      const LRESULT r = TWindow::WndProc(Msg, wParam, lParam);
      DoEnter(reinterpret_cast<HWND>(wParam));
      return r;
    }
    case WM_KILLFOCUS: {
      const LRESULT r = TWindow::WndProc(Msg, wParam, lParam);
      DoExit(reinterpret_cast<HWND>(wParam));
      return r;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      auto key = static_cast<WORD>(wParam);
      TShiftState shift = KeyboardShiftState();
      if ((lParam & (1 << 29)) != 0) shift.Include(ssAlt);
      if (Msg == WM_KEYDOWN || Msg == WM_SYSKEYDOWN) {
        KeyDown(key, shift);
      } else {
        KeyUp(key, shift);
      }
      if (key == 0) return 0;
      return TWindow::WndProc(Msg, key, lParam);
    }
    case WM_CHAR: {
      auto key = static_cast<char>(wParam);
      KeyPress(key);
      if (key == 0) return 0;
      return TWindow::WndProc(Msg, static_cast<unsigned char>(key), lParam);
    }
    case WM_SETCURSOR:
      if (FCursor != TCursor::Default && reinterpret_cast<HWND>(wParam) == Handle() &&
          LOWORD(lParam) == HTCLIENT) {
        ::SetCursor(LoadCursorA(nullptr, CursorResource(FCursor)));
        return TRUE;
      }
      break;
    case WM_WINDOWPOSCHANGED: {
      const LRESULT r = TWindow::WndProc(Msg, wParam, lParam);
      if (!FMade) return r;  // the window being made is no change
      const RECT old = BoundsRect();
      UpdateBounds();
      const RECT now = BoundsRect();
      if (old.left != now.left || old.top != now.top || old.right != now.right ||
          old.bottom != now.bottom) {
        BoundsChanged();
      }
      CheckVisible();
      return r;
    }
    case WM_ENABLE: {
      const LRESULT r = TWindow::WndProc(Msg, wParam, lParam);
      EnabledChanged();
      return r;
    }
    case WM_DESTROY:
      WindowDestroying();
      break;
    default:
      if (Msg >= WM_MOUSEFIRST && Msg <= WM_MBUTTONDBLCLK) MouseMessage(Msg, wParam, lParam);
      break;
  }
  return TWindow::WndProc(Msg, wParam, lParam);
}

// --- TButton ------------------------------------------------------------------------------

void TButton::ReadProps(const TControlProps& Props) {
  ApplyButtonProps(Props.As<TProps>(Name()));
}

void TButton::ApplyButtonProps(const TButtonProps& Props) {
  FDefault = Props.Default;
  FCancel = Props.Cancel;
  ModalResult = Props.ModalResult;
}

void TButton::CreateParams(TCreateParams& Params) {
  TControl::CreateParams(Params);
  Params.ClassName = "BUTTON";
  Params.Subclass = true;
  Params.Style |= FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::Notify(WORD Code) {
  if (Code == BN_CLICKED) Click();
}

void TButton::Click() {
  if (ModalResult != mrNone) Form().SetModalResult(ModalResult);
  TControl::Click();
}

// --- TBitBtn ------------------------------------------------------------------------------

TBitBtn::~TBitBtn() {
  DestroyHandle();
  if (FGlyph != nullptr) DeleteObject(FGlyph);
  if (FDisabledGlyph != nullptr) DeleteObject(FDisabledGlyph);
}

HBITMAP TBitBtn::ShownGlyph() const {
  return reinterpret_cast<HBITMAP>(SendMessageA(Handle(), BM_GETIMAGE, IMAGE_BITMAP, 0));
}

void TBitBtn::ReadProps(const TControlProps& Props) {
  const TProps& props = Props.As<TProps>(Name());
  FKind = props.Kind;
  FGlyphDef = props.Glyph != nullptr ? props.Glyph : KindGlyph(FKind);
  TButtonProps button = props.Button;
  if (FKind == TBitBtnKind::OK) {
    button.Default = true;
    if (button.ModalResult == mrNone) button.ModalResult = mrOk;
  } else if (FKind == TBitBtnKind::Cancel) {
    button.Cancel = true;
    if (button.ModalResult == mrNone) button.ModalResult = mrCancel;
  }
  ApplyButtonProps(button);
}

void TBitBtn::CreateWnd() {
  TButton::CreateWnd();
  if (FGlyphDef == nullptr) return;
  FGlyph = MakeGlyph(*FGlyphDef, false);
  FDisabledGlyph = MakeGlyph(*FGlyphDef, true);
  ShowGlyph();
}

void TBitBtn::EnabledChanged() {
  TButton::EnabledChanged();
  ShowGlyph();
}

void TBitBtn::ShowGlyph() {
  const HBITMAP glyph = Enabled() ? FGlyph : FDisabledGlyph;
  if (glyph == nullptr || glyph == ShownGlyph()) return;
  SendMessageA(Handle(), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(glyph));
}

// --- TTrackBar ----------------------------------------------------------------------------

void TTrackBar::ReadProps(const TControlProps& Props) {
  FProps = Props.As<TProps>(Name());
  if (FProps.Max < FProps.Min) FProps.Max = FProps.Min;
  FProps.Position = std::clamp(FProps.Position, FProps.Min, FProps.Max);
}

void TTrackBar::CreateParams(TCreateParams& Params) {
  TControl::CreateParams(Params);
  Params.ClassName = TRACKBAR_CLASSA;
  Params.Subclass = true;
  Params.Style |= TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS;
}

void TTrackBar::CreateWnd() {
  TControl::CreateWnd();
  SendMessageA(Handle(), TBM_SETRANGEMIN, FALSE, FProps.Min);
  SendMessageA(Handle(), TBM_SETRANGEMAX, FALSE, FProps.Max);
  SendMessageA(Handle(), TBM_SETPAGESIZE, 0, FProps.PageSize);
  SendMessageA(Handle(), TBM_SETLINESIZE, 0, 1);
  SendMessageA(Handle(), TBM_SETTICFREQ, FProps.Frequency, 0);
  SendMessageA(Handle(), TBM_SETPOS, TRUE, FProps.Position);
}

void TTrackBar::SetPosition(int Value) {
  Value = std::clamp(Value, FProps.Min, FProps.Max);
  if (Value == FProps.Position) return;
  SendMessageA(Handle(), TBM_SETPOS, TRUE, Value);
  PositionChanged(Value);
}

void TTrackBar::ScrollNotify(WORD /*Code*/) {
  const auto value = static_cast<int>(SendMessageA(Handle(), TBM_GETPOS, 0, 0));
  if (value != FProps.Position) PositionChanged(value);
}

void TTrackBar::PositionChanged(int Value) {
  FProps.Position = Value;
  if (OnChange) OnChange(this);
}

// --- TCheckBox ----------------------------------------------------------------------------

void TCheckBox::ReadProps(const TControlProps& Props) {
  FInitialChecked = Props.As<TProps>(Name()).Checked;
}

void TCheckBox::CreateParams(TCreateParams& Params) {
  TControl::CreateParams(Params);
  Params.ClassName = "BUTTON";
  Params.Subclass = true;
  Params.Style |= BS_AUTOCHECKBOX;
}

void TCheckBox::CreateWnd() {
  TControl::CreateWnd();
  SetChecked(FInitialChecked);
}

void TCheckBox::Notify(WORD Code) {
  if (Code == BN_CLICKED) Click();
}

HBRUSH TCheckBox::CtlColor(HDC Dc) {
  SetBkColor(Dc, GetSysColor(COLOR_BTNFACE));
  SetTextColor(Dc, GetSysColor(COLOR_WINDOWTEXT));
  return ButtonFaceBrush();
}

bool TCheckBox::Checked() const {
  return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool Value) {
  SendMessageA(Handle(), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
}

// --- TListBox -----------------------------------------------------------------------------

void TListBox::ReadProps(const TControlProps& Props) {
  FProps = Props.As<TProps>(Name());
}

void TListBox::CreateParams(TCreateParams& Params) {
  TControl::CreateParams(Params);
  Params.ClassName = "LISTBOX";
  Params.Subclass = true;
  Params.Style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
  if (FProps.Sorted) Params.Style |= LBS_SORT;
  if (!FProps.TabStops.empty()) Params.Style |= LBS_USETABSTOPS;
  if (FProps.HorizontalScroll) Params.Style |= WS_HSCROLL;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListBox::CreateWnd() {
  TControl::CreateWnd();
  if (FProps.ItemHeight > 0) SendMessageA(Handle(), LB_SETITEMHEIGHT, 0, FProps.ItemHeight);
  if (!FProps.TabStops.empty()) {
    std::vector<INT> stops(FProps.TabStops.begin(), FProps.TabStops.end());
    SendMessageA(Handle(), LB_SETTABSTOPS, stops.size(), reinterpret_cast<LPARAM>(stops.data()));
  }
}

void TListBox::Notify(WORD Code) {
  if (Code == LBN_SELCHANGE) Click();
}

void TListBox::Clear() {
  SendMessageA(Handle(), LB_RESETCONTENT, 0, 0);
  if (FProps.HorizontalScroll) {
    FExtent = 0;
    SendMessageA(Handle(), LB_SETHORIZONTALEXTENT, 0, 0);
  }
}

void TListBox::WidenFor(const std::string& Text) {
  const HDC dc = GetDC(Handle());
  const HGDIOBJ old = SelectObject(dc, Font());
  SIZE size{};
  GetTextExtentPoint32A(dc, Text.c_str(), static_cast<int>(Text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(Handle(), dc);
  if (size.cx + 8 <= FExtent) return;
  FExtent = size.cx + 8;
  SendMessageA(Handle(), LB_SETHORIZONTALEXTENT, FExtent, 0);
}

int TListBox::AddItem(std::string_view Text, uintptr_t Data) {
  const std::string text(Text);
  const auto index = static_cast<int>(
      SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
  if (index >= 0) SendMessageA(Handle(), LB_SETITEMDATA, index, static_cast<LPARAM>(Data));
  if (FProps.HorizontalScroll) WidenFor(text);
  return index;
}

uintptr_t TListBox::ItemData(int Index) const {
  return static_cast<uintptr_t>(SendMessageA(Handle(), LB_GETITEMDATA, Index, 0));
}

int TListBox::Count() const {
  return static_cast<int>(SendMessageA(Handle(), LB_GETCOUNT, 0, 0));
}

std::string TListBox::Item(int Index) const {
  const auto length = SendMessageA(Handle(), LB_GETTEXTLEN, Index, 0);
  if (length < 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const auto got = SendMessageA(Handle(), LB_GETTEXT, Index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got < 0 ? 0 : got));
  return text;
}

int TListBox::IndexOf(std::string_view Text) const {
  // LB_FINDSTRINGEXACT ignores case; the texts are compared exactly here.
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    if (Item(i) == Text) return i;
  }
  return -1;
}

int TListBox::ItemIndex() const {
  return static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int Index) {
  SendMessageA(Handle(), LB_SETCURSEL, Index, 0);
}

// --- TEdit ---------------------------------------------------------------------------------

void TEdit::ReadProps(const TControlProps& Props) {
  FProps = Props.As<TProps>(Name());
}

void TEdit::CreateParams(TCreateParams& Params) {
  TControl::CreateParams(Params);
  Params.ClassName = "EDIT";
  Params.Subclass = true;
  Params.Style |= ES_AUTOHSCROLL;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::CreateWnd() {
  TControl::CreateWnd();
  if (FProps.MaxLength > 0) SendMessageA(Handle(), EM_LIMITTEXT, FProps.MaxLength, 0);
}

void TEdit::Notify(WORD Code) {
  if (Code == EN_CHANGE && OnChange) OnChange(this);
}

void TEdit::SelectAll() {
  SendMessageA(Handle(), EM_SETSEL, 0, -1);
}

// --- TComboBox -----------------------------------------------------------------------------

void TComboBox::CreateParams(TCreateParams& Params) {
  TControl::CreateParams(Params);
  Params.ClassName = "COMBOBOX";
  Params.Subclass = true;
  // The height given is that of the field with its list dropped down.
  Params.Style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
}

void TComboBox::Notify(WORD Code) {
  if ((Code == CBN_EDITCHANGE || Code == CBN_SELCHANGE) && OnChange) OnChange(this);
}

void TComboBox::Clear() {
  SendMessageA(Handle(), CB_RESETCONTENT, 0, 0);
}

void TComboBox::AddItem(std::string_view Text) {
  const std::string text(Text);
  SendMessageA(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int TComboBox::Count() const {
  return static_cast<int>(SendMessageA(Handle(), CB_GETCOUNT, 0, 0));
}

std::string TComboBox::Item(int Index) const {
  const auto length = SendMessageA(Handle(), CB_GETLBTEXTLEN, Index, 0);
  if (length < 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const auto got =
      SendMessageA(Handle(), CB_GETLBTEXT, Index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got < 0 ? 0 : got));
  return text;
}

// --- TCustomControl -----------------------------------------------------------------------

COLORREF TCustomControl::Color() const {
  return ColorToRGB(FColor, GetSysColor(COLOR_BTNFACE));
}

void TCustomControl::SetColor(COLORREF Value) {
  if (Value == FColor) return;
  FColor = Value;
  Invalidate();
}

void TCustomControl::CreateParams(TCreateParams& Params) {
  TControl::CreateParams(Params);
  Params.ClassStyle = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
}

void TCustomControl::FillBackground(HDC Dc, const RECT& R) const {
  const HBRUSH brush = CreateSolidBrush(Color());
  FillRect(Dc, &R, brush);
  DeleteObject(brush);
}

void TCustomControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  // A control reached with Tab takes the focus when clicked, as the standard controls do.
  if (Button == mbLeft && (GetWindowLongA(Handle(), GWL_STYLE) & WS_TABSTOP) != 0 && !Focused() &&
      CanFocus()) {
    SetFocus();
  }
  TControl::MouseDown(Button, Shift, X, Y);
}

bool TCustomControl::PaintThemedEdge() const {
  if ((GetWindowLongA(Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE) == 0) return false;
  const HTHEME theme = OpenThemeData(Handle(), L"Edit");
  if (theme == nullptr) return false;
  RECT r{};
  GetWindowRect(Handle(), &r);
  OffsetRect(&r, -r.left, -r.top);
  const HDC dc = GetWindowDC(Handle());
  const int cx = GetSystemMetrics(SM_CXEDGE);
  const int cy = GetSystemMetrics(SM_CYEDGE);
  ExcludeClipRect(dc, r.left + cx, r.top + cy, r.right - cx, r.bottom - cy);
  const int state = !IsWindowEnabled(Handle()) ? ETS_DISABLED
                    : Focused()                ? ETS_FOCUSED
                                               : ETS_NORMAL;
  if (IsThemeBackgroundPartiallyTransparent(theme, EP_EDITTEXT, state)) {
    DrawThemeParentBackground(Handle(), dc, &r);
  }
  DrawThemeBackground(theme, dc, EP_EDITTEXT, state, &r, nullptr);
  ReleaseDC(Handle(), dc);
  CloseThemeData(theme);
  return true;
}

LRESULT TCustomControl::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_NCPAINT:
      if (PaintThemedEdge()) return 0;
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      // The edge may show the focus.
      const LRESULT r = TControl::WndProc(Msg, wParam, lParam);
      if ((GetWindowLongA(Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0) {
        RedrawWindow(Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
      }
      return r;
    }
    case WM_SETFONT:
      return 0;  // painted with Font()
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(Font());
    case WM_SETTEXT: {
      const LRESULT r = TControl::WndProc(Msg, wParam, lParam);
      Invalidate();
      return r;
    }
    case WM_ENABLE:
      RedrawWindow(Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
      break;
    case WM_ERASEBKGND:
      return 1;  // painted with the rest, without flicker
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      PAINTSTRUCT ps{};
      const HDC dc = Msg == WM_PAINT ? BeginPaint(Handle(), &ps) : reinterpret_cast<HDC>(wParam);
      RECT r;
      GetClientRect(Handle(), &r);
      const HGDIOBJ oldFont = SelectObject(dc, Font());
      const int oldMode = SetBkMode(dc, TRANSPARENT);
      Paint(dc, r);
      SetBkMode(dc, oldMode);
      SelectObject(dc, oldFont);
      if (Msg == WM_PAINT) EndPaint(Handle(), &ps);
      return 0;
    }
    default:
      break;
  }
  return TControl::WndProc(Msg, wParam, lParam);
}

// --- TOffscreenDC -------------------------------------------------------------------------

TOffscreenDC::TOffscreenDC(HDC Target, int Width, int Height)
    : FTarget(Target),
      FDc(CreateCompatibleDC(Target)),
      FBitmap(CreateCompatibleBitmap(Target, Width > 0 ? Width : 1, Height > 0 ? Height : 1)),
      FOld(SelectObject(FDc, FBitmap)),
      FWidth(Width),
      FHeight(Height) {}

TOffscreenDC::~TOffscreenDC() {
  SelectObject(FDc, FOld);
  DeleteObject(FBitmap);
  DeleteDC(FDc);
}

void TOffscreenDC::CopyTo(int X, int Y) const {
  BitBlt(FTarget, X, Y, FWidth, FHeight, FDc, 0, 0, SRCCOPY);
}

// --- TPanel -------------------------------------------------------------------------------

void TPanel::ReadProps(const TControlProps& Props) {
  FBevel = Props.As<TProps>(Name()).BevelOuter;
}

void TPanel::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.ClassName = "TPanel";
  // A panel passes the focus on to the controls it holds; it takes none itself.
  Params.Style = (Params.Style & ~static_cast<DWORD>(WS_TABSTOP)) | WS_CLIPCHILDREN;
  Params.ExStyle |= WS_EX_CONTROLPARENT;
}

LRESULT TPanel::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  // Notifications of the controls it holds go to those controls.
  LRESULT routed = 0;
  if (RouteToControl(Msg, wParam, lParam, routed)) return routed;
  return TCustomControl::WndProc(Msg, wParam, lParam);
}

void TPanel::Paint(HDC Dc, const RECT& R) {
  FillBackground(Dc, R);
  RECT r = R;
  if (FBevel == TBevel::Lowered) DrawEdge(Dc, &r, BDR_SUNKENOUTER, BF_RECT);
  if (FBevel == TBevel::Raised) DrawEdge(Dc, &r, BDR_RAISEDINNER, BF_RECT);
  const std::string text = Caption();
  SetTextColor(Dc, TextColor(FontColor()));
  InflateRect(&r, -2, -2);
  DrawTextA(Dc, text.c_str(), static_cast<int>(text.size()), &r,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// --- TLabel -------------------------------------------------------------------------------

void TLabel::ReadProps(const TControlProps& Props) {
  ApplyLabelProps(Props.As<TProps>(Name()));
}

void TLabel::ApplyLabelProps(const TLabelProps& Props) {
  FAlignment = Props.Alignment;
  FFocusControl.assign(Props.FocusControl);
  FAutoSize = Props.AutoSize;
}

void TLabel::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.ClassName = "TLabel";
  Params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
}

void TLabel::CreateWnd() {
  TCustomControl::CreateWnd();
  // A height the definition gives is kept: the form's vertical layout (and an attached label's
  // offsets) were designed with it, also where the font measures a pixel differently.
  FDesignedHeight = Height();
  AdjustSize();
}

char TLabel::Mnemonic() const {
  const std::string text = Caption();
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&')
      return static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
    ++i;  // "&&" is a plain "&"
  }
  return 0;
}

void TLabel::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!FAutoSize || !HandleAllocated()) return;
  const std::string text = Caption();
  const HDC dc = GetDC(Handle());
  const HGDIOBJ old = SelectObject(dc, Font());
  RECT r{0, 0, 0, 0};
  DrawTextA(dc, text.empty() ? " " : text.c_str(), text.empty() ? 1 : static_cast<int>(text.size()),
            &r, DT_CALCRECT | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(Handle(), dc);
  const int height = FDesignedHeight > 0 ? FDesignedHeight : r.bottom;
  if (r.right != Width() || height != Height()) SetBounds(Left(), Top(), r.right, height);
}

LRESULT TLabel::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_SETTEXT: {
      const LRESULT r = TCustomControl::WndProc(Msg, wParam, lParam);
      AdjustSize();
      return r;
    }
    default:
      return TCustomControl::WndProc(Msg, wParam, lParam);
  }
}

void TLabel::Paint(HDC Dc, const RECT& R) {
  FillBackground(Dc, R);
  const std::string text = Caption();
  SetTextColor(Dc,
               IsWindowEnabled(Handle()) ? TextColor(FontColor()) : GetSysColor(COLOR_GRAYTEXT));
  RECT r = R;
  DrawTextA(Dc, text.c_str(), static_cast<int>(text.size()), &r,
            DrawAlignment(FAlignment) | DT_TOP | DT_EXPANDTABS);
}

// --- Routing ------------------------------------------------------------------------------

bool RouteToControl(UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  switch (Msg) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      break;
    default:
      return false;
  }
  auto* control = dynamic_cast<TControl*>(TWindow::FromHandle(reinterpret_cast<HWND>(lParam)));
  if (control == nullptr) return false;
  Result = 0;
  switch (Msg) {
    case WM_COMMAND:
      control->Notify(HIWORD(wParam));
      return true;
    case WM_HSCROLL:
    case WM_VSCROLL:
      control->ScrollNotify(LOWORD(wParam));
      return true;
    default: {
      const HBRUSH brush = control->CtlColor(reinterpret_cast<HDC>(wParam));
      if (brush == nullptr) return false;
      Result = reinterpret_cast<LRESULT>(brush);
      return true;
    }
  }
}
