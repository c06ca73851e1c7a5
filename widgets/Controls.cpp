#include "widgets/Controls.h"

#include <cctype>

#include "widgets/Form.h"

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

// The 16 x 16 pictures of the button kinds, drawn on the button face.
HBITMAP MakeGlyph(TBitBtnKind Kind) {
  if (Kind == TBitBtnKind::Custom) return nullptr;
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  const RECT all{0, 0, 16, 16};
  FillRect(dc, &all, ButtonFaceBrush());
  const bool ok = Kind == TBitBtnKind::OK;
  const HPEN pen = CreatePen(PS_SOLID, 2, ok ? RGB(0, 128, 0) : RGB(192, 0, 0));
  const HGDIOBJ oldPen = SelectObject(dc, pen);
  if (ok) {
    MoveToEx(dc, 2, 8, nullptr);
    LineTo(dc, 6, 12);
    LineTo(dc, 14, 3);
  } else {
    MoveToEx(dc, 3, 3, nullptr);
    LineTo(dc, 13, 13);
    MoveToEx(dc, 12, 3, nullptr);
    LineTo(dc, 2, 13);
  }
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  return bitmap;
}

}  // namespace

// --- TControl -----------------------------------------------------------------------------

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
}

bool TControl::Enabled() const {
  return IsWindowEnabled(Handle()) != FALSE;
}

void TControl::SetEnabled(bool Value) {
  EnableWindow(Handle(), Value ? TRUE : FALSE);
}

RECT TControl::BoundsRect() const {
  RECT r{};
  GetWindowRect(Handle(), &r);
  MapWindowPoints(nullptr, GetParent(Handle()), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void TControl::SetFocus() {
  ::SetFocus(Handle());
}

void TControl::Repaint() {
  RedrawWindow(Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HBRUSH TControl::CtlColor(HDC /*Dc*/) {
  return nullptr;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

DWORD TControl::ChildStyle(const TPlacement& Place, const TControlProps& Props) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (Props.Visible) style |= WS_VISIBLE;
  if (!Props.Enabled) style |= WS_DISABLED;
  if (Place.TabStop) style |= WS_TABSTOP;
  return style;
}

TWindow::TCreateParams TControl::Params(const char* ClassName, const TPlacement& Place,
                                        std::string_view Caption, DWORD Style, DWORD ExStyle) {
  TCreateParams p;
  p.ClassName = ClassName;
  p.Caption.assign(Caption);
  p.Style = Style;
  p.ExStyle = ExStyle;
  p.Left = Place.Left;
  p.Top = Place.Top;
  p.Width = Place.Width;
  p.Height = Place.Height;
  p.Parent = Place.Parent;
  p.Id = Place.Id;
  p.Background = ButtonFaceBrush();
  return p;
}

void TControl::ApplyCommon(const TControlProps& Props) {
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FForm.Font(Props.Bold)), FALSE);
}

// --- TButton ------------------------------------------------------------------------------

void TButton::Create(const TPlacement& Place, std::string_view Caption,
                     const TControlProps& Props) {
  FDefault = Props.Default;
  FCancel = Props.Cancel;
  ModalResult = Props.ModalResult;
  const DWORD style = ChildStyle(Place, Props) | (FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  CreateSystemHandle(Params("BUTTON", Place, Caption, style, 0));
  ApplyCommon(Props);
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
}

void TBitBtn::Create(const TPlacement& Place, std::string_view Caption,
                     const TControlProps& Props) {
  TControlProps props = Props;
  if (Props.Kind == TBitBtnKind::OK) {
    props.Default = true;
    if (props.ModalResult == mrNone) props.ModalResult = mrOk;
  } else if (Props.Kind == TBitBtnKind::Cancel) {
    props.Cancel = true;
    if (props.ModalResult == mrNone) props.ModalResult = mrCancel;
  }
  TButton::Create(Place, Caption, props);
  FGlyph = MakeGlyph(Props.Kind);
  if (FGlyph != nullptr) {
    SendMessageA(Handle(), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(FGlyph));
  }
}

// --- TCheckBox ----------------------------------------------------------------------------

void TCheckBox::Create(const TPlacement& Place, std::string_view Caption,
                       const TControlProps& Props) {
  CreateSystemHandle(
      Params("BUTTON", Place, Caption, ChildStyle(Place, Props) | BS_AUTOCHECKBOX, 0));
  ApplyCommon(Props);
  SetChecked(Props.Checked);
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

void TListBox::Create(const TPlacement& Place, std::string_view Caption,
                      const TControlProps& Props) {
  DWORD style = ChildStyle(Place, Props) | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
  if (Props.Sorted) style |= LBS_SORT;
  CreateSystemHandle(Params("LISTBOX", Place, Caption, style, WS_EX_CLIENTEDGE));
  ApplyCommon(Props);
  if (Props.ItemHeight > 0) SendMessageA(Handle(), LB_SETITEMHEIGHT, 0, Props.ItemHeight);
}

void TListBox::Notify(WORD Code) {
  if (Code == LBN_SELCHANGE) Click();
}

void TListBox::Clear() {
  SendMessageA(Handle(), LB_RESETCONTENT, 0, 0);
}

int TListBox::AddItem(std::string_view Text) {
  const std::string text(Text);
  return static_cast<int>(
      SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
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

// --- TPaintedControl ----------------------------------------------------------------------

void TPaintedControl::CreatePainted(const char* ClassName, const TPlacement& Place,
                                    std::string_view Caption, const TControlProps& Props,
                                    DWORD Style, DWORD ExStyle) {
  TCreateParams p = Params(ClassName, Place, Caption, ChildStyle(Place, Props) | Style, ExStyle);
  p.ClassStyle = CS_HREDRAW | CS_VREDRAW;
  CreateHandle(p);
  ApplyCommon(Props);
}

LRESULT TPaintedControl::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_SETFONT:
      FFont = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam) != 0) InvalidateRect(Handle(), nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(FFont);
    case WM_SETTEXT: {
      const LRESULT r = TControl::WndProc(Msg, wParam, lParam);
      InvalidateRect(Handle(), nullptr, TRUE);
      return r;
    }
    case WM_ENABLE:
      InvalidateRect(Handle(), nullptr, TRUE);
      break;
    case WM_ERASEBKGND:
      return 1;  // painted with the rest, without flicker
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = BeginPaint(Handle(), &ps);
      RECT r;
      GetClientRect(Handle(), &r);
      FillRect(dc, &r, ButtonFaceBrush());
      const HGDIOBJ oldFont = SelectObject(dc, FFont);
      SetBkMode(dc, TRANSPARENT);
      Paint(dc, r);
      SelectObject(dc, oldFont);
      EndPaint(Handle(), &ps);
      return 0;
    }
    default:
      break;
  }
  return TControl::WndProc(Msg, wParam, lParam);
}

// --- TPanel -------------------------------------------------------------------------------

void TPanel::Create(const TPlacement& Place, std::string_view Caption, const TControlProps& Props) {
  FBevel = Props.BevelOuter;
  FFontColor = Props.FontColor;
  // A panel passes the focus on to the controls it holds; it takes none itself.
  TPlacement place = Place;
  place.TabStop = false;
  CreatePainted("TPanel", place, Caption, Props, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
}

LRESULT TPanel::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  // Notifications of the controls it holds go to those controls.
  LRESULT routed = 0;
  if (RouteToControl(Msg, wParam, lParam, routed)) return routed;
  return TPaintedControl::WndProc(Msg, wParam, lParam);
}

void TPanel::Paint(HDC Dc, RECT R) {
  if (FBevel == TBevel::Lowered) DrawEdge(Dc, &R, BDR_SUNKENOUTER, BF_RECT);
  if (FBevel == TBevel::Raised) DrawEdge(Dc, &R, BDR_RAISEDINNER, BF_RECT);
  const std::string text = Caption();
  SetTextColor(Dc, TextColor(FFontColor));
  InflateRect(&R, -2, -2);
  DrawTextA(Dc, text.c_str(), static_cast<int>(text.size()), &R,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// --- TLabel -------------------------------------------------------------------------------

void TLabel::Create(const TPlacement& Place, std::string_view Caption, const TControlProps& Props) {
  FAlignment = Props.Alignment;
  FFontColor = Props.FontColor;
  FFocusControl.assign(Props.FocusControl);
  TPlacement place = Place;
  place.TabStop = false;
  CreatePainted("TLabel", place, Caption, Props, 0, 0);
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

void TLabel::SetFontColor(COLORREF Value) {
  FFontColor = Value;
  InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TLabel::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    default:
      return TPaintedControl::WndProc(Msg, wParam, lParam);
  }
}

void TLabel::Paint(HDC Dc, RECT R) {
  const std::string text = Caption();
  SetTextColor(Dc, IsWindowEnabled(Handle()) ? TextColor(FFontColor) : GetSysColor(COLOR_GRAYTEXT));
  DrawTextA(Dc, text.c_str(), static_cast<int>(text.size()), &R,
            DrawAlignment(FAlignment) | DT_TOP | DT_EXPANDTABS);
}

// --- Routing ------------------------------------------------------------------------------

bool RouteToControl(UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  switch (Msg) {
    case WM_COMMAND:
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
    default: {
      const HBRUSH brush = control->CtlColor(reinterpret_cast<HDC>(wParam));
      if (brush == nullptr) return false;
      Result = reinterpret_cast<LRESULT>(brush);
      return true;
    }
  }
}
