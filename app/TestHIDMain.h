// The "Test HID" window: starts and stops reception and shows what the engine posts.
#pragma once

#include "widgets/Window.h"

class TForm1 final : public TWindow {
 public:
  TForm1();
  void Show();

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
};

// The program's main window.
extern TForm1* Form1;
