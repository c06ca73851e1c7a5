// Stand-in for the server and the action runner until they land: run: only, no server.
#include <windows.h>

#include "remote/ActionRunner.h"
#include "remote/LircServer.h"

TLircServer::TLircServer() = default;
TLircServer::~TLircServer() = default;
bool TLircServer::Start(const std::string& /*Address*/, uint16_t /*Port*/, std::string& Error) {
  Error = "The server is not built yet.";
  return false;
}
void TLircServer::Stop() {}
bool TLircServer::Running() const {
  return FRunning;
}
void TLircServer::Send(std::string_view /*Line*/) {}
size_t TLircServer::ClientCount() const {
  return 0;
}

bool RunAction(const TAction& Action, const std::string& ProgramDir, std::string& Error) {
  if (Action.Kind != akRun) {
    Error = "Only run: actions run yet.";
    return false;
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string command = Action.Text;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      ProgramDir.c_str(), &si, &pi)) {
    Error = "Cannot start " + Action.Text;
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}
