// Program start: the application, the test window, the engine, then the message loop.
#include <windows.h>

#include <memory>

#include "app/TestHIDMain.h"
#include "engine/DMHID.h"
#include "gui/Application.h"

namespace {

// One Test HID per session: two would both claim the receiver and read every report. A second
// start says so and brings the running window to the front instead.
bool AnotherInstanceRuns(HANDLE& Mutex) {
  Mutex = CreateMutexA(nullptr, FALSE, "Local\\KelHID.TestHID");
  if (Mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) return false;
  MessageBoxA(nullptr, "Test HID is already running.", "Test HID", MB_OK | MB_ICONINFORMATION);
  if (const HWND running = FindWindowA("TForm1", "Test HID")) {
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
  }
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*Instance*/, HINSTANCE /*Previous*/, LPSTR /*CmdLine*/,
                   int /*Show*/) {
  HANDLE instance = nullptr;
  if (AnotherInstanceRuns(instance)) {
    CloseHandle(instance);
    return 1;
  }

  Application().Initialize();
  auto form = std::make_unique<TForm1>();
  Form1 = form.get();
  Application().MainForm = Form1;
  auto engine = std::make_unique<TDModHID>();
  DModHID = engine.get();

  form->Show();
  Application().Run();

  // The engine releases its receiver without a message, then the window goes.
  DModHID = nullptr;
  engine.reset();
  Application().MainForm = nullptr;
  Form1 = nullptr;
  form.reset();
  if (instance != nullptr) CloseHandle(instance);
  return 0;
}
