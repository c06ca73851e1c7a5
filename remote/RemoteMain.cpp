// KelHIDRemote.exe: one instance per session; a second start shows the first one's window.
#include <windows.h>

#include <memory>

#include "gui/Application.h"
#include "remote/RemoteCommands.h"
#include "remote/RemoteForm.h"

namespace {

// Two would both claim the receiver and run every action twice.
bool AnotherInstanceRuns(HANDLE& Mutex) {
  Mutex = CreateMutexA(nullptr, FALSE, "Local\\KelHID.Remote");
  if (Mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) return false;
  // The first one may still be making its window.
  for (int i = 0; i < 50; ++i) {
    if (const HWND running = FindWindowA(RemoteWindowClass, RemoteWindowCaption)) {
      PostMessageA(running, RegisterWindowMessageA(ShowWindowMessageName), 0, 0);
      AllowSetForegroundWindow(ASFW_ANY);
      break;
    }
    Sleep(100);
  }
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*Instance*/, HINSTANCE /*Previous*/, LPSTR /*CmdLine*/,
                   int /*Show*/) {
  HANDLE instance = nullptr;
  if (AnotherInstanceRuns(instance)) {
    CloseHandle(instance);
    return 0;
  }

  Application().Title = RemoteWindowCaption;
  Application().Initialize();
  auto form = std::make_unique<TRemoteForm>();
  Application().MainForm = form.get();
  form->Show();
  form->Startup();
  Application().Run();

  form->Shutdown();
  Application().MainForm = nullptr;
  form.reset();
  if (instance != nullptr) CloseHandle(instance);
  return 0;
}
