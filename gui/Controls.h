// Controls of the window layer. Every control is a real child window whose window text is its
// caption. TControl is the base of all of them and of the controls that widgets outside the
// layer build: buttons, check boxes and list boxes are the standard Windows controls subclassed,
// TCustomControl is a window class of the control's own that paints itself (panels, labels, and
// the entry-field widgets).
//
// A form definition names a control's kind (ControlKind<T>) and gives it the properties of its
// kind as a typed record (T::TProps); see Form.h.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "gui/Component.h"
#include "gui/Event.h"
#include "gui/Set.h"
#include "gui/Window.h"

class TForm;
class TControl;

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = IDOK;
inline constexpr int mrCancel = IDCANCEL;

// A colour, or clDefault for the control's usual one.
inline constexpr COLORREF clDefault = 0xFF000000;
// A system colour (COLOR_WINDOW, ...) as a colour value: painted in the user's current scheme.
[[nodiscard]] constexpr COLORREF SysColor(int Index) {
  return 0x80000000u | static_cast<COLORREF>(Index & 0xFF);
}
// The colour to paint with: system colours looked up, clDefault as Default.
[[nodiscard]] COLORREF ColorToRGB(COLORREF Color, COLORREF Default);

enum class TAlignment : uint8_t { Left, Center, Right };
enum class TBevel : uint8_t { None, Lowered, Raised };
enum class TBitBtnKind : uint8_t { Custom, OK, Cancel };
enum class TCursor : uint8_t { Default, Arrow, IBeam, Cross, HandPoint };
enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

// The properties of one kind of control in a form definition: a reference to a record of the
// kind's own type (T::TProps), checked when the control reads it. The record must outlive the
// definition; a temporary is refused.
class TControlProps {
 public:
  constexpr TControlProps() = default;
  template <class P>
  constexpr TControlProps(const P& Props)  // NOLINT(google-explicit-constructor)
      : FProps(&Props), FType(&TypeTag<P>) {}
  template <class P>
  TControlProps(const P&&) = delete;

  [[nodiscard]] constexpr bool Empty() const { return FProps == nullptr; }
  // The record, or the kind's defaults when the definition gives none. A record of another
  // kind is a programming error of the definition.
  template <class P>
  [[nodiscard]] const P& As(std::string_view Control) const {
    static const P Defaults{};
    if (FProps == nullptr) return Defaults;
    if (FType != &TypeTag<P>) {
      throw std::logic_error("control " + std::string(Control) + ": properties of another kind");
    }
    return *static_cast<const P*>(FProps);
  }

 private:
  template <class P>
  static constexpr char TypeTag = 0;

  const void* FProps = nullptr;
  const void* FType = nullptr;
};

struct TFontDef {
  bool Bold = false;
  COLORREF Color = clDefault;
};

// Makes a control of one kind for a form: the kind of a form definition's row.
using TControlKind = std::unique_ptr<TControl> (*)(TForm& Form, std::string_view Name);

template <class T>
std::unique_ptr<TControl> MakeControl(TForm& Form, std::string_view Name) {
  return std::make_unique<T>(Form, Name);
}
template <class T>
inline constexpr TControlKind ControlKind = &MakeControl<T>;

// One control of a form definition.
struct TControlDef {
  TControlKind Kind = nullptr;
  std::string_view Name;
  std::string_view Parent = {};  // the control that holds it; empty for the form
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int TabOrder = -1;  // -1: not reached with Tab
  std::string_view Caption = {};
  bool Visible = true;
  bool Enabled = true;
  TFontDef Font = {};
  TControlProps Props = {};  // the kind's own properties
  std::string_view OnClick = {};
  std::string_view OnChange = {};
};

using TKeyEvent = TEvent<void(void* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = TEvent<void(void* Sender, char& Key)>;
using TMouseEvent =
    TEvent<void(void* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = TEvent<void(void* Sender, TShiftState Shift, int X, int Y)>;

class TControl : public TWindow, public TComponent {
 public:
  TControl(TForm& Form, std::string_view Name) : TComponent(Name), FForm(Form) {}

  [[nodiscard]] TForm& Form() const { return FForm; }
  // The control that holds this one; none when it sits on the form itself.
  [[nodiscard]] TControl* Parent() const { return FParent; }

  [[nodiscard]] std::string Caption() const;
  void SetCaption(std::string_view Value);
  [[nodiscard]] bool Visible() const;
  void SetVisible(bool Value);
  [[nodiscard]] bool Enabled() const;
  void SetEnabled(bool Value);
  // Visible, enabled and on a visible, enabled form.
  [[nodiscard]] bool CanFocus() const;
  [[nodiscard]] bool Focused() const;
  void SetFocus();

  // Position and size in the parent's client area.
  [[nodiscard]] int Left() const { return FLeft; }
  [[nodiscard]] int Top() const { return FTop; }
  [[nodiscard]] int Width() const { return FWidth; }
  [[nodiscard]] int Height() const { return FHeight; }
  [[nodiscard]] RECT BoundsRect() const { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void BringToFront();

  [[nodiscard]] HFONT Font() const;
  [[nodiscard]] bool FontBold() const { return FFont.Bold; }
  [[nodiscard]] COLORREF FontColor() const { return FFont.Color; }
  void SetFontColor(COLORREF Value);
  [[nodiscard]] TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value) { FCursor = Value; }

  // Paints the control at once.
  void Repaint();
  void Invalidate();

  TNotifyEvent OnClick;
  TNotifyEvent OnChange;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  // Notifications the parent passes on: WM_COMMAND codes, WM_HSCROLL / WM_VSCROLL codes and
  // colours.
  virtual void Notify(WORD /*Code*/) {}
  virtual void ScrollNotify(WORD /*Code*/) {}
  virtual HBRUSH CtlColor(HDC Dc);
  // What a click does: the handler, after any modal result.
  virtual void Click();

  // Where the form puts the control, and the properties every control has.
  struct TPlacement {
    TControl* Parent = nullptr;
    HWND ParentHandle = nullptr;
    UINT_PTR Id = 0;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool TabStop = false;
    bool Visible = true;
    bool Enabled = true;
    TFontDef Font = {};
    std::string_view Caption = {};
  };
  // Called by the form: takes the placement and the kind's properties, then makes the window.
  void Create(const TPlacement& Place, const TControlProps& Props);
  // Destroys the window while the object is whole; the form does so before freeing it.
  void DestroyWindowHandle() { DestroyHandle(); }

 protected:
  // Reads the kind's properties (Props.As<TProps>) before the window is made. A kind without
  // properties of its own refuses any.
  virtual void ReadProps(const TControlProps& Props);
  // Fills in how the window is made; a control of a system class names it and sets Subclass.
  virtual void CreateParams(TCreateParams& Params);
  // Makes the window from CreateParams; overrides call it first, then set up the window.
  virtual void CreateWnd();

  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

  // Focus came from Previous (or from nowhere) / goes to Next (or nowhere).
  virtual void DoEnter(HWND Previous);
  virtual void DoExit(HWND Next);
  // Key and mouse events; the defaults fire the On... handlers. Zeroing Key swallows it.
  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyUp(WORD& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  // The control moved or changed size / was shown or hidden / enabled or disabled.
  virtual void BoundsChanged() {}
  virtual void VisibleChanged() {}
  virtual void EnabledChanged() {}
  // The window is being destroyed (WM_DESTROY).
  virtual void WindowDestroying() {}

  [[nodiscard]] const TPlacement& Placement() const { return FPlace; }

 private:
  void UpdateBounds();
  void CheckVisible();
  void MouseMessage(UINT Msg, WPARAM wParam, LPARAM lParam);

  TForm& FForm;
  TControl* FParent = nullptr;
  TPlacement FPlace;
  TFontDef FFont;
  TCursor FCursor = TCursor::Default;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = false;
  bool FMade = false;  // CreateWnd has finished
};

// The modifier keys held now, as a shift state.
[[nodiscard]] TShiftState KeyboardShiftState();

struct TButtonProps {
  bool Default = false;  // Enter presses it
  bool Cancel = false;   // Escape presses it
  int ModalResult = mrNone;
};

class TButton : public TControl {
 public:
  using TProps = TButtonProps;
  using TControl::TControl;
  void Notify(WORD Code) override;
  void Click() override;

  [[nodiscard]] bool IsDefault() const { return FDefault; }
  [[nodiscard]] bool IsCancel() const { return FCancel; }
  int ModalResult = mrNone;

 protected:
  void ReadProps(const TControlProps& Props) override;
  void CreateParams(TCreateParams& Params) override;
  void ApplyButtonProps(const TButtonProps& Props);

  bool FDefault = false;
  bool FCancel = false;
};

// A 16 x 16 picture drawn as text: one character per pixel, looked up in Colors; a character
// that is not there (such as '.') shows the button face.
struct TGlyphColor {
  char Key;
  COLORREF Color;
};
struct TGlyph {
  static constexpr int Size = 16;
  std::array<std::string_view, Size> Rows;
  std::span<const TGlyphColor> Colors;
};

struct TBitBtnProps {
  TBitBtnKind Kind = TBitBtnKind::Custom;
  TButtonProps Button = {};
  const TGlyph* Glyph = nullptr;  // the picture of a Custom button; the kinds have their own
};

// A button with a small picture beside its caption; its kind sets the picture, the modal
// result and whether Enter or Escape presses it. The picture has a second, grayed look that the
// button shows while it is disabled.
class TBitBtn : public TButton {
 public:
  using TProps = TBitBtnProps;
  using TButton::TButton;
  ~TBitBtn() override;

  // The picture the button shows now: the normal or the disabled look.
  [[nodiscard]] HBITMAP ShownGlyph() const;

 protected:
  void ReadProps(const TControlProps& Props) override;
  void CreateWnd() override;
  void EnabledChanged() override;

 private:
  void ShowGlyph();

  TBitBtnKind FKind = TBitBtnKind::Custom;
  const TGlyph* FGlyphDef = nullptr;
  HBITMAP FGlyph = nullptr;
  HBITMAP FDisabledGlyph = nullptr;
};

struct TCheckBoxProps {
  bool Checked = false;
};

class TCheckBox : public TControl {
 public:
  using TProps = TCheckBoxProps;
  using TControl::TControl;
  void Notify(WORD Code) override;
  HBRUSH CtlColor(HDC Dc) override;

  [[nodiscard]] bool Checked() const;
  void SetChecked(bool Value);

 protected:
  void ReadProps(const TControlProps& Props) override;
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

 private:
  bool FInitialChecked = false;
};

struct TListBoxProps {
  bool Sorted = false;
  int ItemHeight = 0;
  // Where a tab in an item's text goes on to, in dialog units from the left edge; none: tabs
  // are shown as they come.
  std::span<const int> TabStops = {};
  // A horizontal scroll bar when an item is wider than the list.
  bool HorizontalScroll = false;
};

class TListBox : public TControl {
 public:
  using TProps = TListBoxProps;
  using TControl::TControl;
  void Notify(WORD Code) override;

  void Clear();
  // Adds an item, in its sorted place when the list is sorted, carrying Data; its index.
  int AddItem(std::string_view Text, uintptr_t Data = 0);
  // The value the item carries.
  [[nodiscard]] uintptr_t ItemData(int Index) const;
  [[nodiscard]] int Count() const;
  [[nodiscard]] std::string Item(int Index) const;
  // The index of the item whose text is exactly Text, or -1.
  [[nodiscard]] int IndexOf(std::string_view Text) const;
  [[nodiscard]] int ItemIndex() const;
  void SetItemIndex(int Index);

 protected:
  void ReadProps(const TControlProps& Props) override;
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

 private:
  void WidenFor(const std::string& Text);

  TListBoxProps FProps;
  int FExtent = 0;  // the widest item's width, with HorizontalScroll
};

struct TEditProps {
  int MaxLength = 0;  // 0: the control's own limit
};

// A one-line edit field: its caption is its text. OnChange runs after every change of the text,
// by the user or by SetCaption.
class TEdit : public TControl {
 public:
  using TProps = TEditProps;
  using TControl::TControl;
  void Notify(WORD Code) override;
  void SelectAll();

 protected:
  void ReadProps(const TControlProps& Props) override;
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

 private:
  TEditProps FProps;
};

// An edit field with a drop-down list of texts to choose from (the text may be any other too):
// its caption is the text. OnChange runs after the user typed or chose a text.
class TComboBox : public TControl {
 public:
  using TControl::TControl;
  void Notify(WORD Code) override;

  void Clear();
  void AddItem(std::string_view Text);
  [[nodiscard]] int Count() const;
  [[nodiscard]] std::string Item(int Index) const;

 protected:
  void CreateParams(TCreateParams& Params) override;
};

struct TTrackBarProps {
  int Min = 0;
  int Max = 10;
  int Position = 0;
  int PageSize = 2;   // the step of Page Up / Page Down and of a click beside the thumb
  int Frequency = 1;  // a tick every Frequency positions
};

// A horizontal track bar. OnChange runs after every change of the position: by the mouse, by
// the keyboard and by SetPosition.
class TTrackBar : public TControl {
 public:
  using TProps = TTrackBarProps;
  using TControl::TControl;

  [[nodiscard]] int Min() const { return FProps.Min; }
  [[nodiscard]] int Max() const { return FProps.Max; }
  [[nodiscard]] int Position() const { return FProps.Position; }
  // Clamps Value into Min .. Max.
  void SetPosition(int Value);

  void ScrollNotify(WORD Code) override;

 protected:
  void ReadProps(const TControlProps& Props) override;
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

 private:
  // A new position, from the user or the program.
  void PositionChanged(int Value);

  TTrackBarProps FProps;
};

// A control of a window class of its own that paints itself: WM_PAINT calls Paint with the
// control's font selected and a transparent text background; the background is not erased
// separately (Paint fills it, with FillBackground or otherwise). A sunken edge
// (WS_EX_CLIENTEDGE) looks as the visual style draws an edit control's border, when one is
// active.
class TCustomControl : public TControl {
 public:
  using TControl::TControl;

  // The background colour to paint with; clDefault is the button face.
  [[nodiscard]] COLORREF Color() const;
  void SetColor(COLORREF Value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Paints the client area R.
  virtual void Paint(HDC Dc, const RECT& R) = 0;
  void FillBackground(HDC Dc, const RECT& R) const;

 private:
  // Draws the sunken edge in the visual style; false when there is none to draw it in.
  bool PaintThemedEdge() const;

  COLORREF FColor = clDefault;
};

// Paints into a bitmap of the given size, then copies it to Target in one block (no flicker).
class TOffscreenDC {
 public:
  TOffscreenDC(HDC Target, int Width, int Height);
  TOffscreenDC(const TOffscreenDC&) = delete;
  TOffscreenDC& operator=(const TOffscreenDC&) = delete;
  ~TOffscreenDC();
  [[nodiscard]] HDC Dc() const { return FDc; }
  // Copies the picture to the target at (X, Y).
  void CopyTo(int X = 0, int Y = 0) const;

 private:
  HDC FTarget;
  HDC FDc;
  HBITMAP FBitmap;
  HGDIOBJ FOld;
  int FWidth, FHeight;
};

struct TPanelProps {
  TBevel BevelOuter = TBevel::Raised;
};

// A panel paints its bevel and its caption centred; it can hold other controls.
class TPanel : public TCustomControl {
 public:
  using TProps = TPanelProps;
  using TCustomControl::TCustomControl;

 protected:
  void ReadProps(const TControlProps& Props) override;
  void CreateParams(TCreateParams& Params) override;
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC Dc, const RECT& R) override;

 private:
  TBevel FBevel = TBevel::Raised;
};

struct TLabelProps {
  TAlignment Alignment = TAlignment::Left;
  std::string_view FocusControl = {};  // the control its mnemonic focuses
  bool AutoSize = false;               // its width (and height unless given) follow the caption
};

// A label paints its caption in its own colour and alignment.
class TLabel : public TCustomControl {
 public:
  using TProps = TLabelProps;
  using TCustomControl::TCustomControl;

  // The control that the label's "&" letter focuses; empty for none.
  [[nodiscard]] const std::string& FocusControl() const { return FFocusControl; }
  void SetFocusControl(std::string_view Name) { FFocusControl.assign(Name); }
  // The letter after "&" in the caption, upper case; 0 for none.
  [[nodiscard]] char Mnemonic() const;
  [[nodiscard]] bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);

 protected:
  void ReadProps(const TControlProps& Props) override;
  void ApplyLabelProps(const TLabelProps& Props);
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC Dc, const RECT& R) override;

 private:
  void AdjustSize();

  TAlignment FAlignment = TAlignment::Left;
  std::string FFocusControl;
  bool FAutoSize = false;
  int FDesignedHeight = 0;
};

// Passes a parent's notification on to the control it concerns; true when it was one.
bool RouteToControl(UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result);
