// The remote's LIRC server on its own, for the check with a real LIRC client (scripts/lib.sh,
// check_lirc_relay): listens on 127.0.0.1 at a free port and writes "port=N" to its output;
// when the file "go" appears in its current folder it sends the lines of a held Vol+ (a press
// and two repeats), as the program does, and writes "sent=3"; it ends when the file "stop"
// appears (or after two minutes).
#include <windows.h>

#include <cstdio>
#include <string>

#include "remote/LircLine.h"
#include "remote/LircServer.h"

namespace {

bool Exists(const char* File) {
  return GetFileAttributesA(File) != INVALID_FILE_ATTRIBUTES;
}

// Whether File appears within two minutes.
bool WaitFor(const char* File) {
  for (int i = 0; i < 2400; ++i) {
    if (Exists(File)) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace

int main() {
  TLircServer server;
  std::string error;
  if (!server.Start("127.0.0.1", 0, error)) {
    std::printf("error=%s\n", error.c_str());
    return 1;
  }
  std::printf("port=%u\n", server.Port());
  std::fflush(stdout);
  if (!WaitFor("go")) return 1;

  constexpr TCodePair VolumeUp{2864, 75};
  TRepeatCounter counter;
  const bool repeats[] = {false, true, true};
  for (const bool repeat : repeats)
    server.Send(LircLine(VolumeUp, counter.Code(VolumeUp, repeat), "KEY_VOLUMEUP", "myremote"));
  std::printf("sent=3 clients=%zu\n", server.ClientCount());
  std::fflush(stdout);
  WaitFor("stop");
  return 0;
}
