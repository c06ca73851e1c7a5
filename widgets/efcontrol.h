// What the entry fields share: the controller (key tables, common options, error display and a
// hidden window for notifications that must wait until a focus change is over), the label that
// can be attached to a control and follows it, the system caret of a control's window, and the
// control base of the entry-field widgets.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "gui/Component.h"
#include "gui/Controls.h"
#include "gui/Event.h"
#include "gui/Set.h"
#include "gui/Timer.h"
#include "widgets/efcaret.h"
#include "widgets/efcommands.h"

// Messages of the entry-field widgets.
inline constexpr UINT WM_EF_REFOCUS = 0x7F01;       // to the controller: give the field the focus
inline constexpr UINT WM_EF_PRE_EDIT = 0x7F06;      // to the controller: a field was entered
inline constexpr UINT WM_EF_POST_EDIT = 0x7F07;     // to the controller: a field was left
inline constexpr UINT WM_EF_AFTER_ENTER = 0x7F08;   // to a control itself, after it got the focus
inline constexpr UINT WM_EF_AFTER_EXIT = 0x7F09;    // to a control itself, after it lost the focus
inline constexpr UINT WM_EF_DELAY_NOTIFY = 0x7F0A;  // to the controller: a delayed notification
inline constexpr UINT WM_EF_PLACE_LABEL = 0x7F0B;   // to a control itself: move its label along
inline constexpr UINT WM_EF_LABEL_MOVED = 0x7F0C;   // label to its control: take the offsets
inline constexpr UINT WM_EF_LABEL_ATTACH = 0x7F0D;  // label to its control (sent): remember me

// The attached label of a control asked for while none is attached.
class ELabelNotAttached : public std::runtime_error {
 public:
  ELabelNotAttached() : std::runtime_error("Label not attached") {}
};

// Options common to all fields of a controller.
enum TEfBaseEFOption : uint8_t {
  efoAutoAdvanceChar,       // a typed character that fills the field moves to the next control
  efoAutoAdvanceLeftRight,  // left and right keys move to the previous and next control
  efoAutoAdvanceUpDown,     // up and down keys move to the previous and next control
  efoAutoSelect,            // select all at keyboard focus entry
  efoBeepOnError,           // beep at a refused character or command
  efoInsertPushes,
};
using TEfBaseEFOptions = TSet<TEfBaseEFOption, uint8_t>;

using TDataErrorEvent = TEvent<void(void* Sender, uint16_t ErrorCode, std::string_view ErrorMsg)>;
using TGetEpochEvent = TEvent<void(void* Sender, int& Epoch)>;
using TDelayNotifyEvent = TEvent<void(void* Sender, uint16_t NotifyCode)>;
using TIsSpecialControlEvent = TEvent<void(void* Sender, TControl* Control, bool& Special)>;
using TPostEditEvent = TEvent<void(void* Sender, TControl* GainingControl)>;
using TPreEditEvent = TEvent<void(void* Sender, TControl* LosingControl)>;
using TTriggerEvent =
    TEvent<void(void* Sender, int Handle, unsigned Interval, unsigned ElapsedTime)>;

// The components of the entry-field widgets.
class TEfComponent : public TComponent {
 protected:
  using TComponent::TComponent;
};

// Logical timers on one window timer; each firing is passed to OnTrigger with the timer's
// handle, interval and the time since it was added.
class TEfTimerPool : public TEfComponent {
 public:
  TEfTimerPool();
  // A timer firing every Interval ms (at least 1); its handle.
  int Add(unsigned Interval);
  void Remove(int Handle);
  [[nodiscard]] int Count() const { return static_cast<int>(FTimers.size()); }

  TTriggerEvent OnTrigger;

 private:
  struct TLogical {
    int Handle;
    unsigned Interval;
    DWORD Added;
    DWORD LastFired;
  };
  void Tick(void* Sender);
  void Update();

  std::vector<TLogical> FTimers;
  TTimer FTimer;
  int FNextHandle = 1;
};

class TEfController : public TEfComponent {
 public:
  explicit TEfController(std::string_view Name = {});
  ~TEfController() override;

  [[nodiscard]] TEfCommandProcessor& EntryCommands() const { return *FEntryCommands; }
  [[nodiscard]] TEfBaseEFOptions EntryOptions() const { return FEntryOptions; }
  void SetEntryOptions(TEfBaseEFOptions Value) { FEntryOptions = Value; }
  // The first year of the 100-year window of two-digit years, through OnGetEpoch.
  [[nodiscard]] int Epoch();
  // Values outside 1600 .. 3999 are ignored.
  void SetEpoch(int Value);

  TDataErrorEvent OnError;
  TGetEpochEvent OnGetEpoch;
  TDelayNotifyEvent OnDelayNotify;
  TIsSpecialControlEvent OnIsSpecialControl;
  TPostEditEvent OnPostEdit;
  TPreEditEvent OnPreEdit;
  TTriggerEvent OnTimerTrigger;

  // Set while a field has queued an error report: at most one is queued at a time.
  [[nodiscard]] bool ReportingError() const { return FReportingError; }
  void SetReportingError(bool Value) { FReportingError = Value; }
  // The insert mode fields take at focus entry and leave at focus exit.
  [[nodiscard]] bool InsertMode() const { return FInsertMode; }
  void SetInsertMode(bool Value) { FInsertMode = Value; }
  // The text of the last error reported.
  [[nodiscard]] const std::string& ErrorText() const { return FErrorText; }
  void SetErrorText(std::string_view Value) { FErrorText.assign(Value); }

  // OnError, else a message box of type error with one OK button showing ErrorMsg.
  void DoError(void* Sender, uint16_t ErrorCode, std::string_view ErrorMsg);
  // True when OnIsSpecialControl marks the control of Window: it may take the focus without
  // the field being left having to be valid.
  [[nodiscard]] bool IsSpecialControl(HWND Window);

  // The hidden notification window, made on first use.
  [[nodiscard]] HWND NotifyHandle();
  // Posted to the notification window, so that they run after the current focus change. A
  // field that is gone by then is skipped.
  void PostRefocus(const TControl& Field);
  void PostPreEdit(const TControl& Field, HWND LosingWindow);
  void PostPostEdit(const TControl& Field, HWND GainingWindow);
  void PostDelayNotify(const TControl& Sender, uint16_t NotifyCode);

  [[nodiscard]] TEfTimerPool& TimerPool() { return FTimerPool; }

 private:
  class TNotifyWindow;
  void Post(UINT Msg, HWND Other, const TControl& Field);
  void TimerTriggered(void* Sender, int Handle, unsigned Interval, unsigned ElapsedTime);

  std::unique_ptr<TEfCommandProcessor> FEntryCommands;
  TEfBaseEFOptions FEntryOptions{efoAutoSelect, efoBeepOnError, efoInsertPushes};
  int FEpoch = 0;
  bool FReportingError = false;
  bool FInsertMode = true;
  std::string FErrorText;
  std::unique_ptr<TNotifyWindow> FNotifyWindow;
  TEfTimerPool FTimerPool;
};

// The controller of the fields that have none of their own: made on first use, freed when the
// program ends.
TEfController& DefaultController();

// The system caret of a window: what the caret objects of efcaret.h drive.
class TEfWindowCaret final : public TEfSystemCaret {
 public:
  explicit TEfWindowCaret(const TWindow& Window) : FWindow(Window) {}
  ~TEfWindowCaret() override;
  [[nodiscard]] bool WindowExists() const override { return FWindow.HandleAllocated(); }
  void Create(const TEfCaret& Caret) override;
  void Destroy() override;
  void SetPos(int X, int Y) override;
  void Show(bool Visible) override;
  [[nodiscard]] unsigned BlinkTime() const override;
  void SetBlinkTime(unsigned Ms) override;

 private:
  const TWindow& FWindow;
  HBITMAP FBitmap = nullptr;
};

class TEfAttachedLabel;

// Where the attached label of a control sits: its left edge OffsetX right of the control's
// left, its bottom edge OffsetY below the control's top. Owned by its control, which hooks the
// two callbacks.
class TEfLabelInfo {
 public:
  [[nodiscard]] int OffsetX() const { return FOffsetX; }
  [[nodiscard]] int OffsetY() const { return FOffsetY; }
  void SetOffsetX(int Value) { SetOffsets(Value, FOffsetY); }
  void SetOffsetY(int Value) { SetOffsets(FOffsetX, Value); }
  // One call of the callback when either differs.
  void SetOffsets(int X, int Y);
  // A label is attached.
  [[nodiscard]] bool Visible() const { return FVisible; }
  void SetVisible(bool Value);

  TNotifyEvent OnOffsetsChanged;
  TNotifyEvent OnVisibleChanged;

 private:
  friend class TEfCustomControl;
  int FOffsetX = 0;
  int FOffsetY = 0;
  bool FVisible = false;
  TEfAttachedLabel* FLabel = nullptr;
};

struct TEfAttachedLabelProps {
  TLabelProps Label = {.AutoSize = true};
  std::string_view Control = {};  // the control it belongs to
};

// A label that belongs to a control: it tells the control when it moves, and the control keeps
// it at its offsets, shows and hides it along and frees it with itself.
class TEfAttachedLabel : public TLabel {
 public:
  using TProps = TEfAttachedLabelProps;
  TEfAttachedLabel(TForm& Form, std::string_view Name);
  ~TEfAttachedLabel() override;

  [[nodiscard]] TControl* Control() const { return FControl; }
  void SetControl(TControl* Value);

  void Loaded() override;
  void Notification(TComponent& Component, TOperation Operation) override;

 protected:
  void ReadProps(const TControlProps& Props) override;
  void BoundsChanged() override;

 private:
  // Tells the control where the label is now.
  void AttachToControl();

  TControl* FControl = nullptr;
  std::string FControlName;
};

struct TEfLabelInfoDef {
  int OffsetX = 0;
  int OffsetY = 0;
  bool Visible = false;
};

// The control base of the entry-field widgets: the attached label and AfterEnter/AfterExit.
class TEfCustomControl : public TCustomControl {
 public:
  TEfCustomControl(TForm& Form, std::string_view Name);
  ~TEfCustomControl() override;

  [[nodiscard]] TEfLabelInfo& LabelInfo() { return FLabelInfo; }
  // ELabelNotAttached while LabelInfo().Visible() is false.
  [[nodiscard]] TEfAttachedLabel& AttachedLabel() const;
  // Moves the label to the offsets.
  void PlaceLabel();

  // Fired by messages the control posts to itself after it got or lost the focus.
  TNotifyEvent AfterEnter;
  TNotifyEvent AfterExit;

  void Notification(TComponent& Component, TOperation Operation) override;
  void Destroying() override;

 protected:
  // The label information from a form definition, stored as it is while the form loads.
  void LoadLabelInfo(const TEfLabelInfoDef& Def);
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  void DoEnter(HWND Previous) override;
  void DoExit(HWND Next) override;
  void BoundsChanged() override;
  void VisibleChanged() override;

 private:
  void OffsetsChanged(void* Sender);
  void LabelVisibleChanged(void* Sender);
  [[nodiscard]] bool LabelPlaced() const;
  void LabelMoved();
  void CreateLabel();
  void FreeLabel();
  void ForgetLabel();

  TEfLabelInfo FLabelInfo;
};

// The control base with a controller.
class TEfCustomControlEx : public TEfCustomControl {
 public:
  using TEfCustomControl::TEfCustomControl;
  ~TEfCustomControlEx() override;

  // The controller set, or DefaultController when none is.
  [[nodiscard]] TEfController& Controller() const;
  [[nodiscard]] bool HasController() const { return FController != nullptr; }
  void SetController(TEfController* Value);

  void Notification(TComponent& Component, TOperation Operation) override;
  void Loaded() override;

 protected:
  // Without a controller, takes the first one of the form, else DefaultController.
  void CreateWnd() override;

 private:
  void FindController();

  TEfController* FController = nullptr;
};
