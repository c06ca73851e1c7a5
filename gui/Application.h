// The application: its hidden top-level window, the message loop, and the calls that other
// threads queue for the main thread.
//
// The layer lives in the module that holds its code: the program itself, or a library that a
// host program loads (KelHID.dll). Its window classes belong to that module. In a library the
// host owns the message loop; the application is set up when the library is put to work and
// taken down again with Finalize, so that it can be set up anew later, also on another thread.
//
// The hidden window is the application's main window in the Windows sense: it is top-level, so
// system broadcasts such as WM_DEVICECHANGE reach it, and components can hook it to see every
// message it gets. Calls that other threads queue for the main thread run between the messages
// of the program's loops and while they wait; a message posted to this window reaches the main
// thread in any other loop.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gui/Event.h"

// The system's slim lock, usable with std::lock_guard and std::unique_lock. Its waits and those
// of TSlimCondition need no kernel object, unlike those of std::mutex and
// std::condition_variable in this runtime, which keeps a hand-over between threads cheap.
class TSlimLock {
 public:
  TSlimLock() = default;
  TSlimLock(const TSlimLock&) = delete;
  TSlimLock& operator=(const TSlimLock&) = delete;
  void lock() { AcquireSRWLockExclusive(&FLock); }
  void unlock() { ReleaseSRWLockExclusive(&FLock); }

 private:
  friend class TSlimCondition;
  SRWLOCK FLock = SRWLOCK_INIT;
};

// A condition variable for TSlimLock.
class TSlimCondition {
 public:
  TSlimCondition() = default;
  TSlimCondition(const TSlimCondition&) = delete;
  TSlimCondition& operator=(const TSlimCondition&) = delete;
  // Lock is held; it is released during the wait and held again when Done() holds.
  template <class Predicate>
  void Wait(TSlimLock& Lock, Predicate Done) {
    while (!Done()) SleepConditionVariableSRW(&FCondition, &Lock.FLock, INFINITE, 0);
  }
  // The same for at most TimeoutMs; returns whether Done() holds.
  template <class Predicate>
  bool WaitFor(TSlimLock& Lock, DWORD TimeoutMs, Predicate Done) {
    const ULONGLONG end = GetTickCount64() + TimeoutMs;
    while (!Done()) {
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return false;
      SleepConditionVariableSRW(&FCondition, &Lock.FLock, static_cast<DWORD>(end - now), 0);
    }
    return true;
  }
  void NotifyAll() { WakeAllConditionVariable(&FCondition); }

 private:
  CONDITION_VARIABLE FCondition = CONDITION_VARIABLE_INIT;
};

// Sees a message of the application window before the window handles it; true marks it handled.
using TWindowHook = TEvent<bool(UINT Msg, WPARAM wParam, LPARAM lParam)>;

class TApplication {
 public:
  TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  ~TApplication();

  // Creates the application window (once) and loads the common controls. The calling thread
  // becomes the main thread.
  void Initialize();
  // Undoes Initialize: destroys the application window (nothing may hook it any more) and
  // forgets the main thread. The window classes stay registered until the application goes.
  void Finalize();
  [[nodiscard]] HWND Handle() const { return FHandle; }
  [[nodiscard]] DWORD MainThreadId() const { return FMainThreadId; }
  std::string Title = "Test HID";
  // The window whose closing ends the program.
  class TWindow* MainForm = nullptr;

  // The message loop: runs until Terminate.
  void Run();
  // Takes one message and handles it; without messages runs the queued calls and waits.
  void HandleMessage();
  // Runs the queued calls, or else sleeps until a message or a call comes or TimeoutMs has
  // passed. What the loop does when it has nothing to do; usable by other loops of the
  // program's own.
  void Idle(DWORD TimeoutMs = INFINITE);
  // Handles every message waiting, then returns.
  void ProcessMessages();
  void Terminate();
  [[nodiscard]] bool Terminated() const { return FTerminated; }
  // For a host's message loop: when a loop of this layer took WM_QUIT, puts it back into the
  // queue with its exit code and clears Terminated; true when it did.
  bool ReturnQuit();
  // Handles a queued message: the keyboard interface of its form first, then the window.
  void DispatchQueued(MSG& Message);

  // The objects of the windows the window layer made or subclassed, by handle; none for any
  // other window. Kept by TWindow; the look-up asks nothing of the system.
  [[nodiscard]] class TWindow* WindowObject(HWND Handle) const;
  void SetWindowObject(HWND Handle, class TWindow* Object);

  void HookMainWindow(const TWindowHook& Hook);
  void UnhookMainWindow(const TWindowHook& Hook);
  [[nodiscard]] size_t MainWindowHookCount() const { return FHooks.size(); }

  // From another thread: queues Call for the main thread and waits until it has run. A main
  // thread asleep in Idle or blocked in WaitFor is woken by an event it waits for as well. One
  // busy in a loop of this layer's (Run, HandleMessage, ProcessMessages) runs the call before it
  // next sleeps, and is posted WM_APP_SYNCHRONIZE when it has not begun the call shortly, since
  // a handler may have entered a message loop of the system's (a message box's, say), which
  // only a message reaches. A main thread outside this layer's loops (in a host program's own
  // message loop, say) is posted WM_APP_SYNCHRONIZE at once. On the main thread Call runs at
  // once. False when Call raised an error.
  bool Synchronize(const std::function<void()>& Call);
  // On the main thread: runs the queued calls without waiting; true when any ran.
  bool CheckSynchronize();
  // Waits until Object is signalled, running queued calls meanwhile, so that a thread blocked
  // in Synchronize can finish.
  void WaitFor(HANDLE Object);

  // An error that reached a window procedure: an error box with one OK button, or, while
  // OnException is set, a call of that instead.
  void ShowException(std::string_view Message) const;
  TEvent<void(std::string_view Message)> OnException;

  // Registers a window class of this module once; the classes go with the application.
  void RegisterWindowClass(const WNDCLASSEXA& Class);

 private:
  static LRESULT CALLBACK WindowProc(HWND Handle, UINT Msg, WPARAM wParam, LPARAM lParam);
  LRESULT MainWindowProc(UINT Msg, WPARAM wParam, LPARAM lParam);
  bool HandleOne();
  // Around a wait of the main thread that FQueueEvent ends: false when calls are queued already.
  bool BeginWait();
  void EndWait();
  // Around the loops and waits of this layer on the main thread, which run queued calls before
  // they sleep. Leaving the outermost runs the calls queued meanwhile: those queued from then on
  // find the main thread outside and post their wake-up at once.
  void EnterOwnLoop();
  void LeaveOwnLoop();
  class TOwnLoop;

  struct TQueuedCall {
    const std::function<void()>* Call = nullptr;
    bool Taken = false;  // the main thread has begun it
    bool Done = false;
    bool Failed = false;
  };

  HWND FHandle = nullptr;
  DWORD FMainThreadId = 0;
  bool FTerminated = false;
  int FExitCode = 0;  // of the WM_QUIT taken
  std::vector<std::string> FClasses;
  std::vector<TWindowHook> FHooks;
  std::unordered_map<HWND, class TWindow*> FWindowObjects;

  TSlimLock FQueueLock;
  TSlimCondition FQueueDone;
  std::deque<TQueuedCall*> FQueue;
  // The main thread sleeps in Idle or WaitFor: a new call sets FQueueEvent (auto-reset).
  bool FMainWaits = false;
  HANDLE FQueueEvent = nullptr;
  // How deep the main thread is in loops and waits of this layer's; 0 in anybody else's.
  int FOwnLoopDepth = 0;
};

// The one application object.
TApplication& Application();

// The directory of the running program, without a trailing separator.
std::string ProgramDirectory();

// The module that holds this code: the program, or the library it is linked into.
HINSTANCE ModuleInstance();
// The full path of that module's file.
std::string ModuleFileName();

// Posted to the application window when calls are queued for the main thread.
inline constexpr UINT WM_APP_SYNCHRONIZE = WM_APP + 0x3F0;
