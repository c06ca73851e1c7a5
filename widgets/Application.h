// The application: its hidden top-level window, the message loop, and the calls that other
// threads queue for the main thread.
//
// The hidden window is the application's main window in the Windows sense: it is top-level, so
// system broadcasts such as WM_DEVICECHANGE reach it, and components can hook it to see every
// message it gets. Other threads wake the main thread by posting to it.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/Event.h"

// Sees a message of the application window before the window handles it; true marks it handled.
using TWindowHook = TEvent<bool(UINT Msg, WPARAM wParam, LPARAM lParam)>;

class TApplication {
 public:
  TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  ~TApplication();

  // Creates the application window (once) and loads the common controls.
  void Initialize();
  [[nodiscard]] HWND Handle() const { return FHandle; }
  [[nodiscard]] DWORD MainThreadId() const { return FMainThreadId; }
  std::string Title = "Test HID";
  // The window whose closing ends the program.
  class TWindow* MainForm = nullptr;

  // The message loop: runs until Terminate.
  void Run();
  // Takes one message and handles it; without messages runs the queued calls and waits.
  void HandleMessage();
  // Handles every message waiting, then returns.
  void ProcessMessages();
  void Terminate();
  [[nodiscard]] bool Terminated() const { return FTerminated; }
  // Handles a queued message: the keyboard interface of its form first, then the window.
  void DispatchQueued(MSG& Message);

  void HookMainWindow(const TWindowHook& Hook);
  void UnhookMainWindow(const TWindowHook& Hook);

  // From another thread: queues Call for the main thread, wakes it and waits until it has run.
  // On the main thread Call runs at once. False when Call raised an error.
  bool Synchronize(const std::function<void()>& Call);
  // On the main thread: runs the queued calls without waiting; true when any ran.
  bool CheckSynchronize();
  // Waits until Object is signalled, running queued calls meanwhile, so that a thread blocked
  // in Synchronize can finish.
  void WaitFor(HANDLE Object);

  // An error that reached a window procedure: an error box with one OK button.
  void ShowException(std::string_view Message) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND Handle, UINT Msg, WPARAM wParam, LPARAM lParam);
  LRESULT MainWindowProc(UINT Msg, WPARAM wParam, LPARAM lParam);
  bool HandleOne();

  struct TQueuedCall {
    const std::function<void()>* Call = nullptr;
    bool Done = false;
    bool Failed = false;
  };

  HWND FHandle = nullptr;
  DWORD FMainThreadId = 0;
  bool FTerminated = false;
  std::vector<TWindowHook> FHooks;

  std::mutex FQueueLock;
  std::condition_variable FQueueDone;
  std::deque<TQueuedCall*> FQueue;
  HANDLE FQueueEvent = nullptr;  // set while calls are queued
};

// The one application object.
TApplication& Application();

// The directory of the running program, without a trailing separator.
std::string ProgramDirectory();

// Posted to the application window when calls are queued for the main thread.
inline constexpr UINT WM_APP_SYNCHRONIZE = WM_APP + 0x3F0;
