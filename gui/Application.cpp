#include "gui/Application.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <utility>

#include "gui/Window.h"

namespace {
// How long a call waits for a main thread busy in a loop of this layer's to begin it before it
// posts the wake-up message.
constexpr DWORD BusyGraceMs = 10;

// The full path of a module's file, however long.
std::string FileNameOf(HMODULE Module) {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD got = GetModuleFileNameA(Module, path.data(), static_cast<DWORD>(path.size()));
    if (got < path.size()) return std::string(path.data(), got);
    path.resize(path.size() * 2);
  }
}
}  // namespace

TApplication& Application() {
  static TApplication instance;
  return instance;
}

std::string ProgramDirectory() {
  const std::string file = FileNameOf(nullptr);
  const auto slash = file.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

HINSTANCE ModuleInstance() {
  static const HINSTANCE instance = [] {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ModuleInstance), &module);
    return module;
  }();
  return instance;
}

std::string ModuleFileName() {
  return FileNameOf(ModuleInstance());
}

TApplication::~TApplication() {
  if (FHandle != nullptr) DestroyWindow(FHandle);
  if (FQueueEvent != nullptr) CloseHandle(FQueueEvent);
  // A library's classes would outlive its code otherwise.
  for (const std::string& name : FClasses) UnregisterClassA(name.c_str(), ModuleInstance());
}

void TApplication::Initialize() {
  if (FHandle != nullptr) return;
  FMainThreadId = GetCurrentThreadId();
  FTerminated = false;
  if (FQueueEvent == nullptr) FQueueEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);

  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = "TApplication";
  RegisterWindowClass(wc);
  // Top-level, never shown: it gets the broadcasts but has no place on the screen.
  FHandle = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, Title.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU, 0, 0, 0, 0,
                            nullptr, nullptr, wc.hInstance, nullptr);
  SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TApplication::Finalize() {
  if (FHandle != nullptr) DestroyWindow(FHandle);
  FHandle = nullptr;
  FMainThreadId = 0;
  FTerminated = false;
  FHooks.clear();
  const std::lock_guard lock(FQueueLock);
  FMainWaits = false;
}

void TApplication::RegisterWindowClass(const WNDCLASSEXA& Class) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExA(Class.hInstance, Class.lpszClassName, &existing)) return;
  if (RegisterClassExA(&Class)) FClasses.emplace_back(Class.lpszClassName);
}

// Counts on the main thread only: the others' waits wake nothing that calls wait for.
class TApplication::TOwnLoop {
 public:
  explicit TOwnLoop(TApplication& Owner)
      : FOwner(GetCurrentThreadId() == Owner.FMainThreadId ? &Owner : nullptr) {
    if (FOwner != nullptr) FOwner->EnterOwnLoop();
  }
  TOwnLoop(const TOwnLoop&) = delete;
  TOwnLoop& operator=(const TOwnLoop&) = delete;
  ~TOwnLoop() {
    if (FOwner != nullptr) FOwner->LeaveOwnLoop();
  }

 private:
  TApplication* FOwner;
};

void TApplication::EnterOwnLoop() {
  const std::lock_guard lock(FQueueLock);
  ++FOwnLoopDepth;
}

void TApplication::LeaveOwnLoop() {
  bool queued = false;
  {
    const std::lock_guard lock(FQueueLock);
    queued = --FOwnLoopDepth == 0 && !FQueue.empty();
  }
  // Queued while the loop was on its way out: the caller waits out its grace otherwise.
  if (queued) CheckSynchronize();
}

void TApplication::Run() {
  const TOwnLoop own(*this);
  while (!FTerminated) HandleMessage();
}

bool TApplication::HandleOne() {
  const TOwnLoop own(*this);
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    FTerminated = true;
    FExitCode = static_cast<int>(msg.wParam);
  } else {
    DispatchQueued(msg);
    // Calls queued while the loop was busy need no wake-up: they run between messages.
    CheckSynchronize();
  }
  return true;
}

void TApplication::DispatchQueued(MSG& Message) {
  // The application window is no form: it needs no keyboard interface, nor the look-up.
  if (Message.hwnd == FHandle) {
    DispatchMessageA(&Message);
    return;
  }
  // The keyboard interface runs handlers (short cuts, key preview): an error in one is shown
  // like any handler's, and the key goes no further.
  try {
    if (TWindow* root = TWindow::FromHandle(GetAncestor(Message.hwnd, GA_ROOT));
        root != nullptr && root->PreTranslateMessage(Message)) {
      return;
    }
  } catch (const std::exception& e) {
    ShowException(e.what());
    return;
  } catch (...) {
    ShowException("Unexpected error");
    return;
  }
  TranslateMessage(&Message);
  DispatchMessageA(&Message);
}

void TApplication::HandleMessage() {
  const TOwnLoop own(*this);
  if (HandleOne() || FTerminated) return;
  Idle();
}

void TApplication::Idle(DWORD TimeoutMs) {
  const TOwnLoop own(*this);
  if (!BeginWait()) {
    CheckSynchronize();
    return;
  }
  const DWORD r =
      MsgWaitForMultipleObjectsEx(1, &FQueueEvent, TimeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  EndWait();
  if (r == WAIT_OBJECT_0) CheckSynchronize();
}

bool TApplication::BeginWait() {
  // Calls queued from here on set the event; those queued before are to be run first.
  const std::lock_guard lock(FQueueLock);
  FMainWaits = FQueue.empty();
  return FMainWaits;
}

void TApplication::EndWait() {
  const std::lock_guard lock(FQueueLock);
  FMainWaits = false;
}

void TApplication::ProcessMessages() {
  const TOwnLoop own(*this);
  while (HandleOne()) {
  }
}

void TApplication::Terminate() {
  if (!FTerminated) PostQuitMessage(0);
}

bool TApplication::ReturnQuit() {
  if (!FTerminated) return false;
  FTerminated = false;
  PostQuitMessage(FExitCode);
  return true;
}

TWindow* TApplication::WindowObject(HWND Handle) const {
  const auto it = FWindowObjects.find(Handle);
  return it != FWindowObjects.end() ? it->second : nullptr;
}

void TApplication::SetWindowObject(HWND Handle, TWindow* Object) {
  if (Object != nullptr) {
    FWindowObjects[Handle] = Object;
  } else {
    FWindowObjects.erase(Handle);
  }
}

void TApplication::HookMainWindow(const TWindowHook& Hook) {
  FHooks.push_back(Hook);
}

void TApplication::UnhookMainWindow(const TWindowHook& Hook) {
  const auto it = std::find(FHooks.begin(), FHooks.end(), Hook);
  if (it != FHooks.end()) FHooks.erase(it);
}

bool TApplication::Synchronize(const std::function<void()>& Call) {
  if (GetCurrentThreadId() == FMainThreadId) {
    try {
      Call();
      return true;
    } catch (...) {
      return false;
    }
  }
  TQueuedCall item{&Call};
  bool waits = false;
  bool own = false;
  {
    const std::lock_guard lock(FQueueLock);
    FQueue.push_back(&item);
    waits = std::exchange(FMainWaits, false);  // one wake-up is enough
    own = FOwnLoopDepth > 0;
  }
  if (waits) {
    SetEvent(FQueueEvent);
  } else if (!own) {
    // In a loop that is not this layer's: only a message reaches it.
    PostMessageA(FHandle, WM_APP_SYNCHRONIZE, 0, 0);
  }
  std::unique_lock lock(FQueueLock);
  if (!waits && own &&
      !FQueueDone.WaitFor(FQueueLock, BusyGraceMs, [&item] { return item.Taken; })) {
    // Busy for longer: perhaps a handler is in a loop of the system's, which only a message
    // reaches.
    lock.unlock();
    PostMessageA(FHandle, WM_APP_SYNCHRONIZE, 0, 0);
    lock.lock();
  }
  FQueueDone.Wait(FQueueLock, [&item] { return item.Done; });
  return !item.Failed;
}

bool TApplication::CheckSynchronize() {
  bool ran = false;
  for (;;) {
    TQueuedCall* item = nullptr;
    {
      const std::lock_guard lock(FQueueLock);
      if (FQueue.empty()) return ran;
      item = FQueue.front();
      FQueue.pop_front();
      item->Taken = true;
    }
    bool failed = false;
    try {
      (*item->Call)();
    } catch (...) {
      failed = true;
    }
    {
      const std::lock_guard lock(FQueueLock);
      item->Failed = failed;
      item->Done = true;
    }
    FQueueDone.NotifyAll();
    ran = true;
  }
}

void TApplication::WaitFor(HANDLE Object) {
  const TOwnLoop own(*this);
  const HANDLE handles[2] = {Object, FQueueEvent};
  for (;;) {
    if (!BeginWait()) {
      CheckSynchronize();
      continue;
    }
    const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    EndWait();
    if (r != WAIT_OBJECT_0 + 1) return;
    CheckSynchronize();
  }
}

void TApplication::ShowException(std::string_view Message) const {
  if (OnException) {
    OnException(Message);
    return;
  }
  const std::string text(Message);
  MessageBoxA(GetActiveWindow(), text.c_str(), Title.c_str(), MB_OK | MB_ICONERROR);
}

LRESULT CALLBACK TApplication::WindowProc(HWND Handle, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TApplication*>(GetWindowLongPtrA(Handle, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(Handle, Msg, wParam, lParam);
  try {
    return self->MainWindowProc(Msg, wParam, lParam);
  } catch (const std::exception& e) {
    self->ShowException(e.what());
  } catch (...) {
    self->ShowException("Unexpected error");
  }
  return 0;
}

LRESULT TApplication::MainWindowProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  // A hook may unhook itself while it runs: walk a copy.
  const std::vector<TWindowHook> hooks = FHooks;
  for (const TWindowHook& hook : hooks) {
    if (hook(Msg, wParam, lParam)) return 0;
  }
  if (Msg == WM_APP_SYNCHRONIZE) {
    CheckSynchronize();
    return 0;
  }
  return DefWindowProcA(FHandle, Msg, wParam, lParam);
}
