// Drives a modal window from inside its own message loop: a thread timer runs the steps in
// turn, each waiting until its condition holds, then acting. Message boxes that come up are
// read and closed by the steps too.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class TScript {
 public:
  using TCondition = std::function<bool()>;
  using TAction = std::function<void()>;

  TScript() = default;
  TScript(const TScript&) = delete;
  TScript& operator=(const TScript&) = delete;
  ~TScript() { Stop(); }

  // Waits until Until holds, then runs Do.
  TScript& Then(TCondition Until, TAction Do = {}) {
    FSteps.push_back({std::move(Until), std::move(Do)});
    return *this;
  }
  // Runs Watch on every tick while the script runs (to see passing states).
  TScript& Watch(TAction Watcher) {
    FWatch = std::move(Watcher);
    return *this;
  }

  // Starts ticking; a step that waits longer than TimeoutMs fails the script and runs OnTimeout.
  void Start(DWORD TimeoutMs = 10000, TAction OnTimeout = {}) {
    Current() = this;
    FTimeoutMs = TimeoutMs;
    FOnTimeout = std::move(OnTimeout);
    FStepStarted = GetTickCount();
    FTimer = SetTimer(nullptr, 0, 10, &Tick);
  }
  void Stop() {
    if (FTimer != 0) KillTimer(nullptr, FTimer);
    FTimer = 0;
    if (Current() == this) Current() = nullptr;
  }

  [[nodiscard]] bool Finished() const { return FNext == FSteps.size(); }
  [[nodiscard]] bool TimedOut() const { return FTimedOut; }
  [[nodiscard]] size_t StepReached() const { return FNext; }

 private:
  struct TStep {
    TCondition Until;
    TAction Do;
  };

  static TScript*& Current() {
    static TScript* current = nullptr;
    return current;
  }

  static VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    TScript* self = Current();
    if (self == nullptr || self->FBusy) return;
    self->FBusy = true;
    self->Step();
    self->FBusy = false;
  }

  // One step a tick at most, so that the window handles what a step caused before the next
  // condition is looked at.
  void Step() {
    if (FWatch) FWatch();
    if (FNext < FSteps.size() && FSteps[FNext].Until()) {
      TStep& step = FSteps[FNext++];
      FStepStarted = GetTickCount();
      if (step.Do) step.Do();
    }
    if (FNext < FSteps.size() && GetTickCount() - FStepStarted > FTimeoutMs) {
      FTimedOut = true;
      Stop();
      if (FOnTimeout) FOnTimeout();
    }
    if (Finished()) Stop();
  }

  std::vector<TStep> FSteps;
  TAction FWatch;
  TAction FOnTimeout;
  size_t FNext = 0;
  UINT_PTR FTimer = 0;
  DWORD FTimeoutMs = 10000;
  DWORD FStepStarted = 0;
  bool FBusy = false;
  bool FTimedOut = false;
};

// The text of a window.
inline std::string TextOf(HWND Window) {
  char text[512] = {};
  if (Window != nullptr) GetWindowTextA(Window, text, sizeof(text));
  return text;
}

inline BOOL CALLBACK FindMessageBoxProc(HWND Window, LPARAM Found) {
  char cls[32] = {};
  GetClassNameA(Window, cls, sizeof(cls));
  if (std::string(cls) == "#32770" && IsWindowVisible(Window)) {
    *reinterpret_cast<HWND*>(Found) = Window;
    return FALSE;
  }
  return TRUE;
}

// A visible message box of this thread, or none.
inline HWND FindMessageBox() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindMessageBoxProc, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The message of a message box: the text of its static control.
inline std::string MessageBoxText(HWND Box) {
  char text[512] = {};
  GetDlgItemTextA(Box, 0xFFFF, text, sizeof(text));
  return text;
}

// Presses and releases keys as the keyboard would: modifiers first, released last.
inline void PressKeys(std::initializer_list<WORD> Keys) {
  std::vector<INPUT> inputs;
  for (const WORD key : Keys) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    inputs.push_back(in);
  }
  for (auto it = std::rbegin(Keys); it != std::rend(Keys); ++it) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = *it;
    in.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(in);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}
