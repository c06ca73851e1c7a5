// Forms: windows made from a form definition, a table of their controls with the names of the
// handlers bound to their events.
//
// A form class declares its definition as data, gives the table of its handlers by name, and
// calls CreateForm; the controls come into being in tab order with their handlers bound. The
// form runs the keyboard interface (Tab, Enter for the default button, Escape for the cancel
// button, "&" mnemonics), shows itself modally with ModalResult-style closing, and passes its
// key presses to OnShortCut before the focused control sees them.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "widgets/Controls.h"
#include "widgets/Event.h"
#include "widgets/Timer.h"
#include "widgets/Window.h"

enum class TControlKind : uint8_t { Button, BitBtn, CheckBox, ListBox, Panel, Label };

struct TControlDef {
  TControlKind Kind = TControlKind::Label;
  std::string_view Name;
  std::string_view Parent = {};  // a panel that holds it; empty for the form
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int TabOrder = -1;  // -1: not reached with Tab
  std::string_view Caption = {};
  TControlProps Props = {};
  std::string_view OnClick = {};
  std::string_view OnChange = {};
};

// A window timer of the form.
struct TTimerDef {
  std::string_view Name;
  bool Enabled = true;
  unsigned Interval = 1000;
  std::string_view OnTimer = {};
};

enum class TBorderStyle : uint8_t { Sizeable, Dialog };
enum class TFormPosition : uint8_t { Designed, ScreenCenter };

struct TFormDef {
  std::string_view Name;  // also the window class
  std::string_view Caption = {};
  TBorderStyle BorderStyle = TBorderStyle::Sizeable;
  TFormPosition Position = TFormPosition::Designed;
  int Left = 0, Top = 0;
  int Width = 0, Height = 0;              // outer size, used when no client size is given
  int ClientWidth = 0, ClientHeight = 0;  // client size; 0 when the outer size is given
  std::span<const TControlDef> Controls = {};
  std::span<const TTimerDef> Timers = {};
  std::string_view OnCreate = {};
  std::string_view OnPaint = {};
  std::string_view OnShortCut = {};
};

// A key press offered to the form before its control: CharCode is the virtual-key code, KeyData
// the key message's lParam. Setting Handled swallows the key.
using TShortCutEvent = TEvent<void(WORD CharCode, LPARAM KeyData, bool& Handled)>;

struct THandler {
  std::string_view Name;
  std::variant<TNotifyEvent, TShortCutEvent> Event;
};

class TForm : public TWindow {
 public:
  ~TForm() override;

  void Show();
  void Hide();
  // Shows the form, with every other window of the program disabled, until ModalResult is set;
  // returns it.
  int ShowModal();
  [[nodiscard]] int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value) { FModalResult = Value; }
  // As the user's close button.
  void Close();

  [[nodiscard]] std::string Caption() const;

  // The control of that name; a form definition without it is a programming error.
  [[nodiscard]] TControl& Control(std::string_view Name) const;
  template <class T>
  [[nodiscard]] T& Control(std::string_view Name) const {
    return dynamic_cast<T&>(Control(Name));
  }
  [[nodiscard]] const std::vector<std::unique_ptr<TControl>>& Controls() const { return FControls; }
  [[nodiscard]] TTimer& Timer(std::string_view Name) const;

  [[nodiscard]] HFONT Font(bool Bold) const { return Bold ? FBoldFont : FFont; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnPaint;
  TShortCutEvent OnShortCut;

  bool PreTranslateMessage(MSG& Message) override;

 protected:
  TForm() = default;
  // Creates the window and its controls from Def, binding the handlers named there.
  void CreateForm(const TFormDef& Def, std::span<const THandler> Handlers);
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

 private:
  [[nodiscard]] TButton* FindButton(bool Default) const;
  bool LabelMnemonic(char Key);
  void FocusFirst();

  std::vector<std::unique_ptr<TControl>> FControls;
  std::vector<std::pair<std::string, std::unique_ptr<TTimer>>> FTimers;
  HFONT FFont = nullptr;
  HFONT FBoldFont = nullptr;
  HWND FLastFocus = nullptr;
  int FModalResult = mrNone;
  bool FModal = false;
};
