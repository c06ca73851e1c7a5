#include "gui/Form.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "gui/Application.h"

namespace {

HFONT MakeFont(bool Bold) {
  return CreateFontA(-11, 0, 0, 0, Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

template <class Event>
Event FindHandler(std::span<const THandler> Handlers, std::string_view Name) {
  for (const THandler& h : Handlers) {
    if (h.Name == Name) {
      if (const Event* e = std::get_if<Event>(&h.Event)) return *e;
    }
  }
  throw std::logic_error("no handler " + std::string(Name));
}

template <class Event>
void Bind(Event& Target, std::span<const THandler> Handlers, std::string_view Name) {
  if (!Name.empty()) Target = FindHandler<Event>(Handlers, Name);
}

}  // namespace

TForm::~TForm() {
  FDestroying = true;
  for (size_t i = 0; i < FComponents.size(); ++i) FComponents[i]->Destroying();
  DestroyHandle();
  // The last made first; a component may still free another while it goes.
  while (!FComponents.empty()) {
    std::unique_ptr<TComponent> last = std::move(FComponents.back());
    FComponents.pop_back();
    last.reset();
  }
  if (FFont != nullptr) DeleteObject(FFont);
  if (FBoldFont != nullptr) DeleteObject(FBoldFont);
}

void TForm::CreateForm(const TFormDef& Def, std::span<const THandler> Handlers) {
  FFont = MakeFont(false);
  FBoldFont = MakeFont(true);

  DWORD style = WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (Def.BorderStyle == TBorderStyle::Sizeable) {
    style |= WS_OVERLAPPEDWINDOW;
  } else {
    style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
    exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
  }
  int width = Def.Width;
  int height = Def.Height;
  if (Def.ClientWidth > 0) {
    RECT r{0, 0, Def.ClientWidth, Def.ClientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
  int left = Def.Left;
  int top = Def.Top;
  if (Def.Position == TFormPosition::ScreenCenter) {
    left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }

  TCreateParams p;
  const std::string className(Def.Name);
  p.ClassName = className.c_str();
  p.Caption.assign(Def.Caption);
  p.Style = style;
  p.ExStyle = exStyle;
  p.Left = left;
  p.Top = top;
  p.Width = width;
  p.Height = height;
  p.Background = GetSysColorBrush(COLOR_BTNFACE);
  CreateHandle(p);
  if (!HandleAllocated()) throw std::runtime_error("Cannot create the window " + className);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);

  Bind(OnCreate, Handlers, Def.OnCreate);
  Bind(OnPaint, Handlers, Def.OnPaint);
  Bind(OnShortCut, Handlers, Def.OnShortCut);

  // Controls on the form first, then those inside panels; each group in tab order, which is
  // also the order Tab walks through them.
  std::vector<const TControlDef*> order;
  for (const TControlDef& c : Def.Controls) order.push_back(&c);
  std::stable_sort(order.begin(), order.end(), [](const TControlDef* a, const TControlDef* b) {
    const auto key = [](const TControlDef* c) {
      return std::pair(!c->Parent.empty(), c->TabOrder < 0 ? INT32_MAX : c->TabOrder);
    };
    return key(a) < key(b);
  });
  FLoading = true;
  for (const TControlDef* def : order) CreateControl(*def, Handlers);

  for (const TTimerDef& def : Def.Timers) {
    auto made = std::make_unique<TTimer>(def.Name);
    TTimer& timer = *made;
    timer.SetEnabled(false);
    timer.SetInterval(def.Interval);
    Bind(timer.OnTimer, Handlers, def.OnTimer);
    InsertComponent(std::move(made));
    timer.SetEnabled(def.Enabled);
  }
  FLoading = false;
  // Every component is there: now they may look for each other.
  const size_t loaded = FComponents.size();
  for (size_t i = 0; i < loaded && i < FComponents.size(); ++i) {
    TComponent& c = *FComponents[i];
    c.FLoading = false;
    c.Loaded();
  }

  if (OnCreate) OnCreate(this);
}

TControl& TForm::CreateControl(const TControlDef& Def, std::span<const THandler> Handlers) {
  if (Def.Kind == nullptr) throw std::logic_error("control " + std::string(Def.Name) + ": no kind");
  TControl* parent = nullptr;
  if (!Def.Parent.empty()) parent = &Control(Def.Parent);
  std::unique_ptr<TControl> made = Def.Kind(*this, Def.Name);
  TControl& control = *made;
  // The name is checked before anything is made.
  InsertComponent(std::move(made));
  control.FLoading = FLoading;
  try {
    TControl::TPlacement place;
    place.Parent = parent;
    place.ParentHandle = parent != nullptr ? parent->Handle() : Handle();
    place.Id = FNextId++;
    place.Left = Def.Left;
    place.Top = Def.Top;
    place.Width = Def.Width;
    place.Height = Def.Height;
    place.TabStop = Def.TabOrder >= 0;
    place.Visible = Def.Visible;
    place.Enabled = Def.Enabled;
    place.Font = Def.Font;
    place.Caption = Def.Caption;
    control.Create(place, Def.Props);
    Bind(control.OnClick, Handlers, Def.OnClick);
    Bind(control.OnChange, Handlers, Def.OnChange);
  } catch (...) {
    FreeComponent(control);
    throw;
  }
  if (!FLoading) control.Loaded();
  return control;
}

TComponent& TForm::InsertComponent(std::unique_ptr<TComponent> Component) {
  const std::string& name = Component->Name();
  if (FindComponent(name) != nullptr) {
    throw EComponentError("A component named " + name + " already exists");
  }
  Component->FOwner = this;
  FComponents.push_back(std::move(Component));
  TComponent& inserted = *FComponents.back();
  // Told in turn; a component may insert or free others meanwhile, hence the index.
  for (size_t i = 0; i < FComponents.size(); ++i) {
    if (FComponents[i].get() != &inserted)
      FComponents[i]->Notification(inserted, TOperation::Insert);
  }
  return inserted;
}

void TForm::FreeComponent(TComponent& Component) {
  const auto it = std::find_if(FComponents.begin(), FComponents.end(),
                               [&](const auto& c) { return c.get() == &Component; });
  if (it == FComponents.end()) return;
  std::unique_ptr<TComponent> going = std::move(*it);
  FComponents.erase(it);
  going->Destroying();
  if (!FDestroying) {
    for (size_t i = 0; i < FComponents.size(); ++i) {
      FComponents[i]->Notification(*going, TOperation::Remove);
    }
  }
  if (auto* control = dynamic_cast<TControl*>(going.get())) control->DestroyWindowHandle();
  going.reset();
}

TComponent* TForm::FindComponent(std::string_view Name) const {
  if (Name.empty()) return nullptr;
  for (const auto& c : FComponents) {
    if (SameName(c->Name(), Name)) return c.get();
  }
  return nullptr;
}

std::string TForm::UniqueName(std::string_view Prefix) const {
  for (int i = 1;; ++i) {
    std::string name = std::string(Prefix) + std::to_string(i);
    if (FindComponent(name) == nullptr) return name;
  }
}

TTimer& TForm::Timer(std::string_view Name) const {
  if (auto* timer = dynamic_cast<TTimer*>(FindComponent(Name))) return *timer;
  throw std::logic_error("no timer " + std::string(Name));
}

TControl& TForm::Control(std::string_view Name) const {
  if (auto* control = dynamic_cast<TControl*>(FindComponent(Name))) return *control;
  throw std::logic_error("no control " + std::string(Name));
}

std::string TForm::Caption() const {
  char text[256] = {};
  GetWindowTextA(Handle(), text, sizeof(text));
  return text;
}

void TForm::Show() {
  const bool wasVisible = IsWindowVisible(Handle()) != FALSE;
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  UpdateWindow(Handle());
  if (!wasVisible) FocusFirst();
}

void TForm::Hide() {
  ShowWindow(Handle(), SW_HIDE);
}

void TForm::Close() {
  SendMessageA(Handle(), WM_CLOSE, 0, 0);
}

void TForm::FocusFirst() {
  for (const auto& c : FComponents) {
    const auto* control = dynamic_cast<const TControl*>(c.get());
    if (control == nullptr) continue;
    const HWND h = control->Handle();
    if ((GetWindowLongA(h, GWL_STYLE) & WS_TABSTOP) != 0 && IsWindowVisible(h) &&
        IsWindowEnabled(h)) {
      ::SetFocus(h);
      return;
    }
  }
  ::SetFocus(Handle());
}

TButton* TForm::FindButton(bool Default) const {
  for (const auto& c : FComponents) {
    auto* button = dynamic_cast<TButton*>(c.get());
    if (button != nullptr && (Default ? button->IsDefault() : button->IsCancel())) return button;
  }
  return nullptr;
}

namespace {
BOOL CALLBACK CollectEnabled(HWND Window, LPARAM Param) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(Param);
  if (Window != list->front() && IsWindowVisible(Window) && IsWindowEnabled(Window)) {
    list->push_back(Window);
  }
  return TRUE;
}
}  // namespace

int TForm::ShowModal(HWND Owner) {
  std::vector<HWND> disabled{Handle()};
  const auto previousOwner = GetWindowLongPtrA(Handle(), GWLP_HWNDPARENT);
  if (Owner != nullptr) {
    // Only the owner waits while this one runs.
    SetWindowLongPtrA(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(Owner));
    if (IsWindowEnabled(Owner)) disabled.push_back(Owner);
  } else {
    // Every other window of the program waits while this one runs.
    EnumThreadWindows(GetCurrentThreadId(), &CollectEnabled, reinterpret_cast<LPARAM>(&disabled));
  }
  disabled.erase(disabled.begin());
  for (const HWND w : disabled) EnableWindow(w, FALSE);

  FModal = true;
  FModalResult = mrNone;
  Show();
  while (FModalResult == mrNone) {
    if (Application().Terminated()) {
      FModalResult = mrCancel;
      break;
    }
    Application().HandleMessage();
  }
  // Enable the others before hiding, so that the activation returns to them.
  for (const HWND w : disabled) EnableWindow(w, TRUE);
  Hide();
  if (Owner != nullptr) SetWindowLongPtrA(Handle(), GWLP_HWNDPARENT, previousOwner);
  FModal = false;
  return FModalResult;
}

bool TForm::PreTranslateMessage(MSG& Message) {
  if ((Message.message == WM_KEYDOWN || Message.message == WM_SYSKEYDOWN) && OnShortCut &&
      IsWindowEnabled(Handle())) {
    bool handled = false;
    OnShortCut(static_cast<WORD>(Message.wParam), Message.lParam, handled);
    if (handled) return true;
  }
  // A label's letter, with Alt or (as in a dialog) alone while the focused control takes no
  // characters, focuses the label's focus control; the keyboard interface would move to the
  // tab stop after the label instead.
  if ((Message.message == WM_SYSCHAR ||
       (Message.message == WM_CHAR && !WantsCharacters(Message))) &&
      LabelMnemonic(static_cast<char>(Message.wParam))) {
    return true;
  }
  // Tab, Enter, Escape and the mnemonics of buttons.
  return IsDialogMessageA(Handle(), &Message) != FALSE;
}

bool TForm::WantsCharacters(MSG& Message) const {
  if (Message.hwnd != Handle() && !IsChild(Handle(), Message.hwnd)) return true;
  const LRESULT code =
      SendMessageA(Message.hwnd, WM_GETDLGCODE, Message.wParam, reinterpret_cast<LPARAM>(&Message));
  return (code & (DLGC_WANTCHARS | DLGC_WANTMESSAGE)) != 0;
}

bool TForm::LabelMnemonic(char Key) {
  const auto key = static_cast<char>(std::toupper(static_cast<unsigned char>(Key)));
  for (const auto& c : FComponents) {
    const auto* label = dynamic_cast<const TLabel*>(c.get());
    if (label == nullptr || label->FocusControl().empty() || label->Mnemonic() != key ||
        !label->Visible()) {
      continue;
    }
    // A control that cannot take the focus (disabled, hidden) leaves it where it is.
    auto* target = dynamic_cast<TControl*>(FindComponent(label->FocusControl()));
    if (target != nullptr && target->CanFocus()) target->SetFocus();
    return true;
  }
  return false;
}

LRESULT TForm::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  LRESULT routed = 0;
  if (RouteToControl(Msg, wParam, lParam, routed)) return routed;
  switch (Msg) {
    case WM_COMMAND: {
      // Enter and Escape arrive as IDOK and IDCANCEL from the keyboard interface.
      const WORD id = LOWORD(wParam);
      TButton* button = nullptr;
      if (id == IDOK) button = FindButton(true);
      if (id == IDCANCEL) button = FindButton(false);
      for (const auto& c : FComponents) {
        auto* b = dynamic_cast<TButton*>(c.get());
        if (button == nullptr && b != nullptr && GetDlgCtrlID(b->Handle()) == id) button = b;
      }
      if (button != nullptr && button->Visible() && button->Enabled()) button->Click();
      return 0;
    }
    case WM_NEXTDLGCTL: {
      // As in a dialog: lParam set, wParam is the control; else the next (wParam 0) or the
      // previous tab stop.
      const HWND target = lParam != 0 ? reinterpret_cast<HWND>(wParam)
                                      : GetNextDlgTabItem(Handle(), GetFocus(), wParam != 0);
      if (target != nullptr && IsChild(Handle(), target)) ::SetFocus(target);
      return 0;
    }
    case DM_GETDEFID: {
      const TButton* button = FindButton(true);
      if (button == nullptr) return 0;
      return MAKELRESULT(GetDlgCtrlID(button->Handle()), DC_HASDEFID);
    }
    case WM_CLOSE:
      if (FModal) {
        SetModalResult(mrCancel);
      } else if (Application().MainForm == this) {
        Application().Terminate();
      } else {
        Hide();
      }
      return 0;
    case WM_PAINT:
      if (OnPaint) {
        PAINTSTRUCT ps;
        BeginPaint(Handle(), &ps);
        OnPaint(this);
        EndPaint(Handle(), &ps);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(Handle(), focus)) FLastFocus = focus;
      } else if (FLastFocus != nullptr && IsWindow(FLastFocus)) {
        ::SetFocus(FLastFocus);
        return 0;
      }
      break;
    default:
      break;
  }
  return TWindow::WndProc(Msg, wParam, lParam);
}
