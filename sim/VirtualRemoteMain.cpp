// VirtualRemote.exe: the virtual remote and its receiver on the simulated bus.
//   VirtualRemote.exe           the remote, to be played by hand
//   VirtualRemote.exe --play    the same, playing its sequence once a program reads the receiver
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string_view>

#include "gui/Application.h"
#include "sim/VirtualRemote.h"

namespace {

constexpr char Usage[] =
    "Usage: VirtualRemote.exe [--play]\n\n"
    "--play  plays a short sequence of keys, a held key, an unplug and a re-plug once a "
    "program reads the receiver.";

// One remote per bus: two would serve the same receiver. A second start brings the running
// one to the front instead.
bool AnotherRemoteRuns(HANDLE& Mutex) {
  Mutex = CreateMutexA(nullptr, FALSE, "Local\\KelHID.VirtualRemote");
  if (Mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) return false;
  if (const HWND running = FindWindowA("TVirtualRemote", "Virtual Remote")) {
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
  }
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*Instance*/, HINSTANCE /*Previous*/, LPSTR /*CmdLine*/,
                   int /*Show*/) {
  bool play = false;
  for (int i = 1; i < __argc; ++i) {
    const std::string_view arg = __argv[i];
    if (arg == "--play" || arg == "/play") {
      play = true;
    } else {
      MessageBoxA(nullptr, Usage, "Virtual Remote", MB_OK | MB_ICONERROR);
      return 2;
    }
  }

  HANDLE instance = nullptr;
  if (AnotherRemoteRuns(instance)) {
    CloseHandle(instance);
    return 1;
  }

  Application().Title = "Virtual Remote";
  Application().Initialize();
  auto remote = std::make_unique<TVirtualRemote>(play);
  Application().MainForm = remote.get();
  remote->Show();
  Application().Run();

  Application().MainForm = nullptr;
  remote.reset();
  if (instance != nullptr) CloseHandle(instance);
  return 0;
}
