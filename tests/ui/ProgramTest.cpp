// TestHID.exe itself, started as a user starts it and read from outside as a screen reader
// would.
#include <gtest/gtest.h>

#include <string>

#include "app/TestHIDMain.h"
#include "gui/Application.h"
#include "ui/Script.h"

namespace {

class Program : public ::testing::Test {
 protected:
  struct TProcess {
    PROCESS_INFORMATION Info{};
    ~TProcess() {
      if (Info.hProcess != nullptr) {
        if (WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT) {
          TerminateProcess(Info.hProcess, 99);
        }
        CloseHandle(Info.hProcess);
        CloseHandle(Info.hThread);
      }
    }
    [[nodiscard]] DWORD Wait(DWORD Ms) const {
      if (WaitForSingleObject(Info.hProcess, Ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
      DWORD code = 0;
      GetExitCodeProcess(Info.hProcess, &code);
      return code;
    }
  };

  static std::string Exe() { return ProgramDirectory() + "\\..\\app\\TestHID.exe"; }

  static bool Start(TProcess& P) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = "\"" + Exe() + "\"";
    return CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &P.Info) != FALSE;
  }

  // Waits until a visible top-level window of that class and process shows.
  static HWND WaitForWindow(const char* Class, DWORD ProcessId) {
    for (int i = 0; i < 1000; ++i) {
      HWND w = nullptr;
      while ((w = FindWindowExA(nullptr, w, Class, nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == ProcessId && IsWindowVisible(w)) return w;
      }
      Sleep(20);
    }
    return nullptr;
  }
};

TEST_F(Program, StartsWithTheTestWindowAndEndsWhenItCloses) {
  TProcess p;
  ASSERT_TRUE(Start(p)) << Exe();
  const HWND window = WaitForWindow("TForm1", p.Info.dwProcessId);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), "Test HID");
  // The controls can be read from outside the program.
  const HWND start = FindWindowExA(window, nullptr, "Button", "START");
  ASSERT_NE(start, nullptr);
  SendMessageA(start, BM_CLICK, 0, 0);
  EXPECT_EQ(TextOf(start), "START");  // no receiver configured beside the program
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.Wait(10000), 0u);
}

TEST_F(Program, SecondStartSaysSoAndLeavesTheFirstRunning) {
  TProcess first;
  ASSERT_TRUE(Start(first));
  const HWND window = WaitForWindow("TForm1", first.Info.dwProcessId);
  ASSERT_NE(window, nullptr);

  TProcess second;
  ASSERT_TRUE(Start(second));
  const HWND box = WaitForWindow("#32770", second.Info.dwProcessId);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box), "Test HID is already running.");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(second.Wait(10000), 1u);

  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(first.Wait(0), static_cast<DWORD>(STILL_ACTIVE));
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.Wait(10000), 0u);
}

}  // namespace
