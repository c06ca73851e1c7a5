// A window timer component: calls OnTimer every Interval ms while Enabled, on the thread that
// made it.
#pragma once

#include <string_view>

#include "gui/Component.h"
#include "gui/Event.h"
#include "gui/Window.h"

class TTimer final : public TWindow, public TComponent {
 public:
  explicit TTimer(std::string_view Name = {}) : TComponent(Name) {}
  ~TTimer() override;

  [[nodiscard]] bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  [[nodiscard]] unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned Value);

  TNotifyEvent OnTimer;

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Update();

  bool FEnabled = true;
  unsigned FInterval = 1000;
};
