#include "widgets/efcontrol.h"

#include <algorithm>

#include "gui/Application.h"
#include "gui/Form.h"

namespace {

TControl* ControlOf(HWND Window) {
  return dynamic_cast<TControl*>(TWindow::FromHandle(Window));
}

}  // namespace

// --- TEfTimerPool -------------------------------------------------------------------------

TEfTimerPool::TEfTimerPool() {
  FTimer.SetEnabled(false);
  FTimer.OnTimer = TNotifyEvent::Bind<&TEfTimerPool::Tick>(this);
}

int TEfTimerPool::Add(unsigned Interval) {
  const DWORD now = GetTickCount();
  FTimers.push_back({FNextHandle, std::max(Interval, 1u), now, now});
  Update();
  return FNextHandle++;
}

void TEfTimerPool::Remove(int Handle) {
  std::erase_if(FTimers, [Handle](const TLogical& t) { return t.Handle == Handle; });
  Update();
}

void TEfTimerPool::Update() {
  // The window timer ticks at the shortest interval.
  unsigned shortest = 0;
  for (const TLogical& t : FTimers) {
    if (shortest == 0 || t.Interval < shortest) shortest = t.Interval;
  }
  FTimer.SetEnabled(false);
  if (shortest == 0) return;
  FTimer.SetInterval(shortest);
  FTimer.SetEnabled(true);
}

void TEfTimerPool::Tick(void* /*Sender*/) {
  const DWORD now = GetTickCount();
  // A handler may add or remove timers: fire from a copy, and only those still there.
  const std::vector<TLogical> due = FTimers;
  for (const TLogical& t : due) {
    auto it = std::find_if(FTimers.begin(), FTimers.end(),
                           [&t](const TLogical& l) { return l.Handle == t.Handle; });
    if (it == FTimers.end() || now - it->LastFired < it->Interval) continue;
    it->LastFired = now;
    if (OnTrigger) OnTrigger(this, t.Handle, t.Interval, now - t.Added);
  }
}

// --- TEfController ------------------------------------------------------------------------

// The hidden window through which fields ask for what must wait until a focus change is over.
// Fields are named by their window handles, so that one freed meanwhile is simply not found.
class TEfController::TNotifyWindow final : public TWindow {
 public:
  explicit TNotifyWindow(TEfController& Owner) : FOwner(Owner) {
    TCreateParams p;
    p.ClassName = "TEfNotifyWindow";
    p.Parent = HWND_MESSAGE;
    p.Left = p.Top = p.Width = p.Height = 0;
    CreateHandle(p);
    if (!HandleAllocated()) throw std::runtime_error("Cannot create the notification window");
  }

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override {
    const auto other = reinterpret_cast<HWND>(wParam);
    TControl* field = ControlOf(reinterpret_cast<HWND>(lParam));
    switch (Msg) {
      case WM_EF_REFOCUS:
        if (field != nullptr) {
          if (!field->Visible()) field->SetVisible(true);
          if (field->CanFocus()) field->SetFocus();
        }
        return 0;
      case WM_EF_PRE_EDIT:
        if (field != nullptr && FOwner.OnPreEdit) FOwner.OnPreEdit(field, ControlOf(other));
        return 0;
      case WM_EF_POST_EDIT:
        if (field != nullptr && FOwner.OnPostEdit) FOwner.OnPostEdit(field, ControlOf(other));
        return 0;
      case WM_EF_DELAY_NOTIFY:
        if (field != nullptr && FOwner.OnDelayNotify) {
          FOwner.OnDelayNotify(field, LOWORD(wParam));
        }
        return 0;
      default:
        return TWindow::WndProc(Msg, wParam, lParam);
    }
  }

 private:
  TEfController& FOwner;
};

TEfController::TEfController(std::string_view Name)
    : TEfComponent(Name), FEntryCommands(std::make_unique<TEfCommandProcessor>()) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FEpoch = now.wYear / 100 * 100;
  FTimerPool.OnTrigger = TTriggerEvent::Bind<&TEfController::TimerTriggered>(this);
}

TEfController::~TEfController() = default;

int TEfController::Epoch() {
  int epoch = FEpoch;
  if (OnGetEpoch) OnGetEpoch(this, epoch);
  return epoch;
}

void TEfController::SetEpoch(int Value) {
  if (Value >= 1600 && Value <= 3999) FEpoch = Value;
}

void TEfController::DoError(void* Sender, uint16_t ErrorCode, std::string_view ErrorMsg) {
  if (OnError) {
    OnError(Sender, ErrorCode, ErrorMsg);
    return;
  }
  const std::string text(ErrorMsg);
  MessageBoxA(GetActiveWindow(), text.c_str(), "Error", MB_OK | MB_ICONERROR);
}

bool TEfController::IsSpecialControl(HWND Window) {
  bool special = false;
  if (OnIsSpecialControl) OnIsSpecialControl(this, ControlOf(Window), special);
  return special;
}

HWND TEfController::NotifyHandle() {
  if (!FNotifyWindow) FNotifyWindow = std::make_unique<TNotifyWindow>(*this);
  return FNotifyWindow->Handle();
}

void TEfController::Post(UINT Msg, HWND Other, const TControl& Field) {
  PostMessageA(NotifyHandle(), Msg, reinterpret_cast<WPARAM>(Other),
               reinterpret_cast<LPARAM>(Field.Handle()));
}

void TEfController::PostRefocus(const TControl& Field) {
  Post(WM_EF_REFOCUS, nullptr, Field);
}

void TEfController::PostPreEdit(const TControl& Field, HWND LosingWindow) {
  Post(WM_EF_PRE_EDIT, LosingWindow, Field);
}

void TEfController::PostPostEdit(const TControl& Field, HWND GainingWindow) {
  Post(WM_EF_POST_EDIT, GainingWindow, Field);
}

void TEfController::PostDelayNotify(const TControl& Sender, uint16_t NotifyCode) {
  PostMessageA(NotifyHandle(), WM_EF_DELAY_NOTIFY, NotifyCode,
               reinterpret_cast<LPARAM>(Sender.Handle()));
}

void TEfController::TimerTriggered(void* /*Sender*/, int Handle, unsigned Interval,
                                   unsigned ElapsedTime) {
  if (OnTimerTrigger) OnTimerTrigger(this, Handle, Interval, ElapsedTime);
}

TEfController& DefaultController() {
  static const std::unique_ptr<TEfController> instance = std::make_unique<TEfController>();
  return *instance;
}

// --- TEfWindowCaret -----------------------------------------------------------------------

TEfWindowCaret::~TEfWindowCaret() {
  if (FBitmap != nullptr) DeleteObject(FBitmap);
}

void TEfWindowCaret::Create(const TEfCaret& Caret) {
  if (FBitmap != nullptr) DeleteObject(FBitmap);
  FBitmap = nullptr;
  HBITMAP shape = nullptr;
  const TEfCaretBitmap& picture = Caret.Bitmap();
  // A picture whose pixels do not fill it never gets here (TEfCaret refuses it).
  if (Caret.Shape() == csBitmap && !picture.Empty() && picture.PixelsFit()) {
    FBitmap = CreateBitmap(picture.Width, picture.Height, 1, 32, picture.Pixels.data());
    shape = FBitmap;
  } else if (Caret.IsGray()) {
    shape = reinterpret_cast<HBITMAP>(1);
  }
  CreateCaret(FWindow.Handle(), shape, Caret.CaretWidth(), Caret.CaretHeight());
}

void TEfWindowCaret::Destroy() {
  // The thread's caret may belong to another window by now.
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (GetGUIThreadInfo(GetCurrentThreadId(), &info) && info.hwndCaret == FWindow.Handle()) {
    DestroyCaret();
  }
  if (FBitmap != nullptr) DeleteObject(FBitmap);
  FBitmap = nullptr;
}

void TEfWindowCaret::SetPos(int X, int Y) {
  SetCaretPos(X, Y);
}

void TEfWindowCaret::Show(bool Visible) {
  if (Visible) {
    ShowCaret(FWindow.Handle());
  } else {
    HideCaret(FWindow.Handle());
  }
}

unsigned TEfWindowCaret::BlinkTime() const {
  return GetCaretBlinkTime();
}

void TEfWindowCaret::SetBlinkTime(unsigned Ms) {
  SetCaretBlinkTime(Ms);
}

// --- TEfLabelInfo -------------------------------------------------------------------------

void TEfLabelInfo::SetOffsets(int X, int Y) {
  if (X == FOffsetX && Y == FOffsetY) return;
  FOffsetX = X;
  FOffsetY = Y;
  if (OnOffsetsChanged) OnOffsetsChanged(this);
}

void TEfLabelInfo::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  if (OnVisibleChanged) OnVisibleChanged(this);
}

// --- TEfAttachedLabel ---------------------------------------------------------------------

TEfAttachedLabel::TEfAttachedLabel(TForm& Form, std::string_view Name) : TLabel(Form, Name) {}

TEfAttachedLabel::~TEfAttachedLabel() {
  SetControl(nullptr);
}

void TEfAttachedLabel::ReadProps(const TControlProps& Props) {
  const TProps& props = Props.As<TProps>(Name());
  ApplyLabelProps(props.Label);
  FControlName.assign(props.Control);
}

void TEfAttachedLabel::SetControl(TControl* Value) {
  if (Value == FControl) return;
  if (FControl != nullptr) RemoveFreeNotification(*FControl);
  FControl = Value;
  if (FControl != nullptr) FreeNotification(*FControl);
}

void TEfAttachedLabel::Loaded() {
  TLabel::Loaded();
  if (!FControlName.empty()) {
    SetControl(dynamic_cast<TControl*>(Form().FindComponent(FControlName)));
    FControlName.clear();
  }
  AttachToControl();
}

void TEfAttachedLabel::Notification(TComponent& Component, TOperation Operation) {
  TLabel::Notification(Component, Operation);
  if (Operation == TOperation::Remove && &Component == FControl) {
    RemoveFreeNotification(Component);
    FControl = nullptr;
  }
}

void TEfAttachedLabel::BoundsChanged() {
  TLabel::BoundsChanged();
  AttachToControl();
}

void TEfAttachedLabel::AttachToControl() {
  if (Loading() || Form().Destroying() || FControl == nullptr || !HandleAllocated()) return;
  // Only a control of the label's own form takes it.
  const auto& components = Form().Components();
  const bool onForm = std::any_of(components.begin(), components.end(),
                                  [this](const auto& c) { return c.get() == FControl; });
  if (!onForm || !FControl->HandleAllocated()) return;
  SendMessageA(FControl->Handle(), WM_EF_LABEL_ATTACH, 0, reinterpret_cast<LPARAM>(this));
  PostMessageA(FControl->Handle(), WM_EF_LABEL_MOVED, 0, 0);
}

// --- TEfCustomControl ---------------------------------------------------------------------

TEfCustomControl::TEfCustomControl(TForm& Form, std::string_view Name)
    : TCustomControl(Form, Name) {
  FLabelInfo.OnOffsetsChanged = TNotifyEvent::Bind<&TEfCustomControl::OffsetsChanged>(this);
  FLabelInfo.OnVisibleChanged = TNotifyEvent::Bind<&TEfCustomControl::LabelVisibleChanged>(this);
}

TEfCustomControl::~TEfCustomControl() {
  ForgetLabel();
}

void TEfCustomControl::LoadLabelInfo(const TEfLabelInfoDef& Def) {
  FLabelInfo.FOffsetX = Def.OffsetX;
  FLabelInfo.FOffsetY = Def.OffsetY;
  FLabelInfo.FVisible = Def.Visible;
}

TEfAttachedLabel& TEfCustomControl::AttachedLabel() const {
  if (!FLabelInfo.FVisible || FLabelInfo.FLabel == nullptr) {
    throw ELabelNotAttached();
  }
  return *FLabelInfo.FLabel;
}

bool TEfCustomControl::LabelPlaced() const {
  return FLabelInfo.FVisible && FLabelInfo.FLabel != nullptr &&
         FLabelInfo.FLabel->HandleAllocated() && !Loading();
}

void TEfCustomControl::PlaceLabel() {
  if (!LabelPlaced()) return;
  TEfAttachedLabel& label = *FLabelInfo.FLabel;
  label.SetBounds(Left() + FLabelInfo.FOffsetX, Top() + FLabelInfo.FOffsetY - label.Height(),
                  label.Width(), label.Height());
}

void TEfCustomControl::OffsetsChanged(void* /*Sender*/) {
  if (!Loading()) PlaceLabel();
}

void TEfCustomControl::LabelVisibleChanged(void* /*Sender*/) {
  if (Loading()) return;
  if (FLabelInfo.FVisible) {
    try {
      CreateLabel();
    } catch (...) {
      FLabelInfo.FVisible = false;  // no label came of it
      throw;
    }
  } else {
    FreeLabel();
  }
}

void TEfCustomControl::CreateLabel() {
  FreeLabel();
  // ControlNameLabel1, ...: the first free name; also the caption.
  const std::string name = Form().UniqueName(Name() + "Label");
  if (!IsValidComponentName(name)) {
    throw EComponentError("''" + name + "'' is not a valid component name");
  }
  const TEfAttachedLabelProps props{.Label = {.FocusControl = Name(), .AutoSize = true},
                                    .Control = Name()};
  const TControlDef def{
      .Kind = ControlKind<TEfAttachedLabel>,
      .Name = name,
      .Parent = Parent() != nullptr ? std::string_view(Parent()->Name()) : std::string_view(),
      .Left = Left(),
      .Top = Top(),
      .Caption = name,
      .Visible = Visible(),
      .Props = props};
  auto& label = Form().CreateControl<TEfAttachedLabel>(def);
  FLabelInfo.FLabel = &label;
  FreeNotification(label);
  label.BringToFront();
  // Directly above the control, left edges aligned (placed also when the offsets were 0).
  FLabelInfo.SetOffsets(0, 0);
  PlaceLabel();
}

void TEfCustomControl::FreeLabel() {
  TEfAttachedLabel* label = FLabelInfo.FLabel;
  ForgetLabel();
  if (label != nullptr && !Form().Destroying()) Form().FreeComponent(*label);
}

void TEfCustomControl::ForgetLabel() {
  if (FLabelInfo.FLabel != nullptr) RemoveFreeNotification(*FLabelInfo.FLabel);
  FLabelInfo.FLabel = nullptr;
}

void TEfCustomControl::Notification(TComponent& Component, TOperation Operation) {
  TCustomControl::Notification(Component, Operation);
  if (Operation != TOperation::Remove || &Component != FLabelInfo.FLabel) return;
  ForgetLabel();
  // Freed by other means than the control: no label is attached any more.
  if (!Form().Destroying()) FLabelInfo.FVisible = false;
}

void TEfCustomControl::Destroying() {
  TCustomControl::Destroying();
  // The label goes with the control (the form frees it itself when it goes as a whole).
  if (Form().Destroying()) {
    ForgetLabel();
  } else {
    FLabelInfo.SetVisible(false);
  }
}

void TEfCustomControl::LabelMoved() {
  // The label was moved: its position gives the offsets.
  if (FLabelInfo.FLabel == nullptr || !FLabelInfo.FLabel->HandleAllocated()) return;
  const TEfAttachedLabel& label = *FLabelInfo.FLabel;
  FLabelInfo.FVisible = true;
  FLabelInfo.SetOffsets(label.Left() - Left(), label.Top() + label.Height() - Top());
}

void TEfCustomControl::BoundsChanged() {
  TCustomControl::BoundsChanged();
  if (HandleAllocated()) PostMessageA(Handle(), WM_EF_PLACE_LABEL, 0, 0);
}

void TEfCustomControl::VisibleChanged() {
  TCustomControl::VisibleChanged();
  if (Loading() || Form().Destroying() || !FLabelInfo.FVisible || FLabelInfo.FLabel == nullptr) {
    return;
  }
  FLabelInfo.FLabel->SetVisible(Visible());
}

void TEfCustomControl::DoEnter(HWND Previous) {
  TCustomControl::DoEnter(Previous);
  PostMessageA(Handle(), WM_EF_AFTER_ENTER, 0, 0);
}

void TEfCustomControl::DoExit(HWND Next) {
  TCustomControl::DoExit(Next);
  PostMessageA(Handle(), WM_EF_AFTER_EXIT, 0, 0);
}

LRESULT TEfCustomControl::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_EF_LABEL_ATTACH: {
      auto* label = reinterpret_cast<TEfAttachedLabel*>(lParam);
      if (label != FLabelInfo.FLabel) {
        ForgetLabel();
        FLabelInfo.FLabel = label;
        if (label != nullptr) FreeNotification(*label);
      }
      return 0;
    }
    case WM_EF_LABEL_MOVED:
      LabelMoved();
      return 0;
    case WM_EF_PLACE_LABEL:
      if (LabelPlaced()) {
        const TEfAttachedLabel& label = *FLabelInfo.FLabel;
        if (label.Left() - Left() != FLabelInfo.FOffsetX ||
            label.Top() + label.Height() - Top() != FLabelInfo.FOffsetY) {
          PlaceLabel();
        }
      }
      return 0;
    case WM_EF_AFTER_ENTER:
      if (AfterEnter) AfterEnter(this);
      return 0;
    case WM_EF_AFTER_EXIT:
      if (AfterExit) AfterExit(this);
      return 0;
    default:
      return TCustomControl::WndProc(Msg, wParam, lParam);
  }
}

// --- TEfCustomControlEx -------------------------------------------------------------------

TEfCustomControlEx::~TEfCustomControlEx() {
  SetController(nullptr);
}

TEfController& TEfCustomControlEx::Controller() const {
  return FController != nullptr ? *FController : DefaultController();
}

void TEfCustomControlEx::SetController(TEfController* Value) {
  if (Value == FController) return;
  if (FController != nullptr) RemoveFreeNotification(*FController);
  FController = Value;
  if (FController != nullptr) FreeNotification(*FController);
}

void TEfCustomControlEx::CreateWnd() {
  TEfCustomControl::CreateWnd();
  // While the form loads, its controller may come after the control: see Loaded.
  if (!Loading()) FindController();
}

void TEfCustomControlEx::Loaded() {
  TEfCustomControl::Loaded();
  FindController();
}

void TEfCustomControlEx::FindController() {
  if (FController != nullptr) return;
  for (const auto& c : Form().Components()) {
    if (auto* controller = dynamic_cast<TEfController*>(c.get())) {
      SetController(controller);
      return;
    }
  }
  SetController(&DefaultController());
}

void TEfCustomControlEx::Notification(TComponent& Component, TOperation Operation) {
  TEfCustomControl::Notification(Component, Operation);
  if (Operation == TOperation::Insert && FController == nullptr) {
    if (auto* controller = dynamic_cast<TEfController*>(&Component)) SetController(controller);
  } else if (Operation == TOperation::Remove && &Component == FController) {
    RemoveFreeNotification(Component);
    FController = nullptr;
  }
}
