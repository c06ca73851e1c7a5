#include "app/TestHIDMain.h"

#include "widgets/Application.h"

TForm1* Form1 = nullptr;

TForm1::TForm1() {
  TCreateParams params;
  params.ClassName = "TForm1";
  params.Caption = "Test HID";
  params.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  params.Left = 506;
  params.Top = 245;
  params.Width = 332;
  params.Height = 507;
  params.Background = GetSysColorBrush(COLOR_BTNFACE);
  CreateHandle(params);
}

void TForm1::Show() {
  ShowWindow(Handle(), SW_SHOWNORMAL);
  UpdateWindow(Handle());
}

LRESULT TForm1::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_CLOSE) {
    // Closing the main window ends the program; the windows go after the engine.
    Application().Terminate();
    return 0;
  }
  return TWindow::WndProc(Msg, wParam, lParam);
}
