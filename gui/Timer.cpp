#include "gui/Timer.h"

namespace {
constexpr UINT_PTR TimerId = 1;
}

TTimer::~TTimer() {
  if (HandleAllocated()) KillTimer(Handle(), TimerId);
}

void TTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Update();
}

void TTimer::SetInterval(unsigned Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  Update();
}

void TTimer::Update() {
  if (HandleAllocated()) KillTimer(Handle(), TimerId);
  if (!FEnabled || FInterval == 0) return;
  if (!HandleAllocated()) {
    TCreateParams params;
    params.ClassName = "TTimerWindow";
    params.Parent = HWND_MESSAGE;
    params.Left = params.Top = params.Width = params.Height = 0;
    CreateHandle(params);
  }
  SetTimer(Handle(), TimerId, FInterval, nullptr);
}

LRESULT TTimer::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_TIMER && wParam == TimerId) {
    if (OnTimer) OnTimer(this);
    return 0;
  }
  return TWindow::WndProc(Msg, wParam, lParam);
}
