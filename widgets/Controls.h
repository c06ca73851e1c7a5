// Controls of the window layer. Every control is a real child window whose window text is its
// caption: buttons, check boxes and list boxes are the standard Windows controls, panels and
// labels are small window classes of our own that paint themselves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "widgets/Event.h"
#include "widgets/Window.h"

class TForm;

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = IDOK;
inline constexpr int mrCancel = IDCANCEL;

// A colour, or clDefault for the control's usual one.
inline constexpr COLORREF clDefault = 0xFF000000;

enum class TAlignment : uint8_t { Left, Center, Right };
enum class TBevel : uint8_t { None, Lowered, Raised };
enum class TBitBtnKind : uint8_t { Custom, OK, Cancel };

// The properties a form definition can give a control; each kind reads those it knows.
struct TControlProps {
  bool Visible = true;
  bool Enabled = true;
  bool Bold = false;
  COLORREF FontColor = clDefault;
  TAlignment Alignment = TAlignment::Left;
  TBevel BevelOuter = TBevel::Raised;  // panels
  bool Default = false;                // buttons: Enter presses it
  bool Cancel = false;                 // buttons: Escape presses it
  int ModalResult = mrNone;            // buttons: closes a modal form with this result
  TBitBtnKind Kind = TBitBtnKind::Custom;
  bool Checked = false;                // check boxes
  bool Sorted = false;                 // list boxes
  int ItemHeight = 0;                  // list boxes
  std::string_view FocusControl = {};  // labels: the control their mnemonic focuses
};

class TControl : public TWindow {
 public:
  TControl(TForm& Form, std::string_view Name) : FForm(Form), FName(Name) {}

  [[nodiscard]] const std::string& Name() const { return FName; }
  [[nodiscard]] TForm& Form() const { return FForm; }

  [[nodiscard]] std::string Caption() const;
  void SetCaption(std::string_view Value);
  [[nodiscard]] bool Visible() const;
  void SetVisible(bool Value);
  [[nodiscard]] bool Enabled() const;
  void SetEnabled(bool Value);
  // Position and size in the parent's client area.
  [[nodiscard]] RECT BoundsRect() const;
  void SetFocus();
  // Paints the control at once.
  void Repaint();

  TNotifyEvent OnClick;
  TNotifyEvent OnChange;

  // Notifications the parent passes on: WM_COMMAND codes and colours.
  virtual void Notify(WORD /*Code*/) {}
  virtual HBRUSH CtlColor(HDC Dc);

  // What a click does: the handler, after any modal result.
  virtual void Click();

  struct TPlacement {
    HWND Parent;
    UINT_PTR Id;
    int Left, Top, Width, Height;
    bool TabStop;
  };
  // Creates the window; called by the form.
  virtual void Create(const TPlacement& Place, std::string_view Caption,
                      const TControlProps& Props) = 0;

 protected:
  void ApplyCommon(const TControlProps& Props);
  static DWORD ChildStyle(const TPlacement& Place, const TControlProps& Props);
  static TCreateParams Params(const char* ClassName, const TPlacement& Place,
                              std::string_view Caption, DWORD Style, DWORD ExStyle);

 private:
  TForm& FForm;
  std::string FName;
};

class TButton : public TControl {
 public:
  using TControl::TControl;
  void Create(const TPlacement& Place, std::string_view Caption,
              const TControlProps& Props) override;
  void Notify(WORD Code) override;
  void Click() override;

  [[nodiscard]] bool IsDefault() const { return FDefault; }
  [[nodiscard]] bool IsCancel() const { return FCancel; }
  int ModalResult = mrNone;

 protected:
  bool FDefault = false;
  bool FCancel = false;
};

// A button with a small picture beside its caption; its kind sets the picture, the modal
// result and whether Enter or Escape presses it.
class TBitBtn final : public TButton {
 public:
  using TButton::TButton;
  ~TBitBtn() override;
  void Create(const TPlacement& Place, std::string_view Caption,
              const TControlProps& Props) override;

 private:
  HBITMAP FGlyph = nullptr;
};

class TCheckBox final : public TControl {
 public:
  using TControl::TControl;
  void Create(const TPlacement& Place, std::string_view Caption,
              const TControlProps& Props) override;
  void Notify(WORD Code) override;
  HBRUSH CtlColor(HDC Dc) override;

  [[nodiscard]] bool Checked() const;
  void SetChecked(bool Value);
};

class TListBox final : public TControl {
 public:
  using TControl::TControl;
  void Create(const TPlacement& Place, std::string_view Caption,
              const TControlProps& Props) override;
  void Notify(WORD Code) override;

  void Clear();
  // Adds an item, in its sorted place when the list is sorted; its index.
  int AddItem(std::string_view Text);
  [[nodiscard]] int Count() const;
  [[nodiscard]] std::string Item(int Index) const;
  // The index of the item whose text is exactly Text, or -1.
  [[nodiscard]] int IndexOf(std::string_view Text) const;
  [[nodiscard]] int ItemIndex() const;
  void SetItemIndex(int Index);
};

// A control of the program's own class that paints itself with its font and caption.
class TPaintedControl : public TControl {
 public:
  using TControl::TControl;

 protected:
  void CreatePainted(const char* ClassName, const TPlacement& Place, std::string_view Caption,
                     const TControlProps& Props, DWORD Style, DWORD ExStyle);
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  // Paints the client area R; the control's font is selected and the background is filled.
  virtual void Paint(HDC Dc, RECT R) = 0;

 private:
  HFONT FFont = nullptr;
};

// A panel paints its bevel and its caption centred; it can hold other controls.
class TPanel final : public TPaintedControl {
 public:
  using TPaintedControl::TPaintedControl;
  void Create(const TPlacement& Place, std::string_view Caption,
              const TControlProps& Props) override;

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC Dc, RECT R) override;

 private:
  TBevel FBevel = TBevel::Raised;
  COLORREF FFontColor = clDefault;
};

// A label paints its caption in its own colour and alignment.
class TLabel final : public TPaintedControl {
 public:
  using TPaintedControl::TPaintedControl;
  void Create(const TPlacement& Place, std::string_view Caption,
              const TControlProps& Props) override;

  [[nodiscard]] COLORREF FontColor() const { return FFontColor; }
  void SetFontColor(COLORREF Value);
  // The control that the label's "&" letter focuses; empty for none.
  [[nodiscard]] const std::string& FocusControl() const { return FFocusControl; }
  // The letter after "&" in the caption, upper case; 0 for none.
  [[nodiscard]] char Mnemonic() const;

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC Dc, RECT R) override;

 private:
  TAlignment FAlignment = TAlignment::Left;
  COLORREF FFontColor = clDefault;
  std::string FFocusControl;
};

// Passes a parent's notification on to the control it concerns; true when it was one.
bool RouteToControl(UINT Msg, WPARAM wParam, LPARAM lParam, LRESULT& Result);
