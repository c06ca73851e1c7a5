// Forms: windows made from a form definition, a table of their controls with the names of the
// handlers bound to their events.
//
// A form class declares its definition as data, gives the table of its handlers by name, and
// calls CreateForm; the controls come into being in tab order with their handlers bound. A row
// names the control's kind (ControlKind<T>, any class derived from TControl, also one built
// outside this layer) and the properties of that kind. The form owns its components (controls,
// timers, other helpers) in one list with unique names; controls can also be created and freed
// while the form runs. The form runs the keyboard interface (Tab, Enter for the default button,
// Escape for the cancel button, "&" mnemonics: a label's letter, with Alt or alone from a
// control that takes no characters, focuses the label's focus control), shows itself modally
// with ModalResult-style closing, and passes its key presses to OnShortCut before the focused
// control sees them.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "gui/Component.h"
#include "gui/Controls.h"
#include "gui/Event.h"
#include "gui/Timer.h"
#include "gui/Window.h"

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
  // Shows the form until ModalResult is set; returns it. Without an owner every other window of
  // the thread is disabled meanwhile. With one (a top-level window, also of another thread) the
  // form is owned by it for the run, staying above it, and only the owner is disabled.
  int ShowModal(HWND Owner = nullptr);
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
  [[nodiscard]] TTimer& Timer(std::string_view Name) const;

  // The components in the order they were inserted (controls in tab order, then timers).
  [[nodiscard]] const std::vector<std::unique_ptr<TComponent>>& Components() const {
    return FComponents;
  }
  // The component of that name (names compare without regard to case), or none.
  [[nodiscard]] TComponent* FindComponent(std::string_view Name) const;
  // Prefix followed by the first number from 1 up that no component's name has.
  [[nodiscard]] std::string UniqueName(std::string_view Prefix) const;
  // Takes the component into the list and tells the others. Its name, unless empty, must be one
  // no other component has.
  TComponent& InsertComponent(std::unique_ptr<TComponent> Component);
  // Tells the others, destroys the component's window and frees it.
  void FreeComponent(TComponent& Component);
  // Creates a control as a row of the form definition does, also while the form runs.
  TControl& CreateControl(const TControlDef& Def, std::span<const THandler> Handlers = {});
  template <class T>
  T& CreateControl(const TControlDef& Def, std::span<const THandler> Handlers = {}) {
    return dynamic_cast<T&>(CreateControl(Def, Handlers));
  }
  // True while the form builds itself from its definition / while it is being destroyed.
  [[nodiscard]] bool Loading() const { return FLoading; }
  [[nodiscard]] bool Destroying() const { return FDestroying; }

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
  TControl& MakeControl(const TControlDef& Def);
  // The window of a key's character takes characters (an edit field, a list box), so that
  // letters typed there are no mnemonics.
  [[nodiscard]] bool WantsCharacters(MSG& Message) const;
  bool LabelMnemonic(char Key);
  void FocusFirst();

  std::vector<std::unique_ptr<TComponent>> FComponents;
  UINT_PTR FNextId = 100;
  bool FLoading = false;
  bool FDestroying = false;
  HFONT FFont = nullptr;
  HFONT FBoldFont = nullptr;
  HWND FLastFocus = nullptr;
  int FModalResult = mrNone;
  bool FModal = false;
};
