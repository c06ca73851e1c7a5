// TestHID.exe from a folder that holds the stand-in HID.dll and SetupApi.dll and a KelHID.ini
// naming a stand-in receiver: START claims it through the real controller, reports written to
// its pipe show up as code pairs, STOP ends reception.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "app/TestHIDMain.h"
#include "gui/Application.h"
#include "sim/StandinBus.h"
#include "sim/StandinDevice.h"
#include "ui/Screenshot.h"
#include "ui/Script.h"
#include "win/TempDir.h"

namespace {

const std::string OverrideKey = "Software\\Wine\\AppDefaults\\TestHID.exe\\DllOverrides";

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Polls until Done holds; false after TimeoutMs.
template <class F>
bool WaitUntil(F&& Done, DWORD TimeoutMs = 10000) {
  const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
  while (!Done()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(20);
  }
  return true;
}

std::vector<HWND> Children(HWND Parent, const char* Class) {
  std::vector<HWND> found;
  HWND w = nullptr;
  while ((w = FindWindowExA(Parent, w, Class, nullptr)) != nullptr) found.push_back(w);
  return found;
}

// The items of another program's list box, read as a screen reader reads them (Wine passes
// list box text between processes as UTF-16).
std::vector<std::string> ListItems(HWND List) {
  std::vector<std::string> items;
  const auto count = SendMessageW(List, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    SendMessageW(List, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    char narrow[64] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
    items.emplace_back(narrow);
  }
  return items;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA(standin::BusVariable,
                            ("e2e" + std::to_string(GetCurrentProcessId())).c_str());
    standin::ClearBus(standin::BusName());
    const std::string here = ProgramDirectory();
    ASSERT_TRUE(Copy(here + "\\..\\app\\TestHID.exe", "TestHID.exe"));
    ASSERT_TRUE(Copy(here + "\\hidtest\\HID.dll", "HID.dll"));
    ASSERT_TRUE(Copy(here + "\\hidtest\\SetupApi.dll", "SetupApi.dll"));
    Folder.Write("KelHID.ini",
                 "[SETUP]\r\nNAME=Stand-in receiver\r\nVID=4660\r\nPID=1\r\n"
                 "Delay=10\r\nHeldDelay=10\r\nCheck=0\r\nUseCheck=0\r\n");
    // Wine takes its own setupapi unless told to prefer the one beside the program.
    if (UnderWine()) {
      RegSetKeyValueA(HKEY_CURRENT_USER, OverrideKey.c_str(), "setupapi", REG_SZ, "native,builtin",
                      15);
    }
  }
  void TearDown() override {
    if (Process.hProcess != nullptr) {
      if (WaitForSingleObject(Process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(Process.hProcess, 99);
      }
      CloseHandle(Process.hProcess);
      CloseHandle(Process.hThread);
    }
    if (UnderWine()) RegDeleteKeyValueA(HKEY_CURRENT_USER, OverrideKey.c_str(), "setupapi");
    standin::ClearBus(standin::BusName());
  }

  bool Copy(const std::string& From, const char* To) {
    return CopyFileA(From.c_str(), Folder.File(To).c_str(), FALSE) != FALSE;
  }

  // Starts TestHID.exe in the folder and waits for its window.
  HWND Start() {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = "\"" + Folder.File("TestHID.exe") + "\"";
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Folder.Path().c_str(), &si, &Process)) {
      return nullptr;
    }
    HWND window = nullptr;
    WaitUntil([&] {
      window = FindWindowA("TForm1", "Test HID");
      return window != nullptr && IsWindowVisible(window);
    });
    return window;
  }
  void Close(HWND Window) {
    PostMessageA(Window, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(Process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(Process.hProcess, &code);
    EXPECT_EQ(code, 0u);
  }

  TTempDir Folder;
  PROCESS_INFORMATION Process{};
};

TEST_F(EndToEnd, StartShowsGetReportsBecomeCodesStopShowsOff) {
  TStandinDevice receiver;  // vendor 0x1234, product 1, 9-byte reports
  const HWND window = Start();
  ASSERT_NE(window, nullptr);
  const std::vector<HWND> panels = Children(window, "TPanel");
  ASSERT_EQ(panels.size(), 3u);
  const HWND state = panels[2];
  const HWND list = FindWindowExA(window, nullptr, "ListBox", nullptr);
  const HWND start = FindWindowExA(window, nullptr, "Button", "START");
  ASSERT_NE(start, nullptr);

  SendMessageA(start, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return TextOf(state) == "GET"; })) << TextOf(state);
  EXPECT_EQ(TextOf(start), "STOP");

  // 9-byte reports: the report id, then 8 bytes in which the zeros are skipped.
  const uint8_t held[] = {0x00, 0x05, 0x00, 0x0B, 0x81, 0x00, 0x00, 0x00, 0x00};
  const uint8_t other[] = {0x00, 0x0B, 0x0B, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
  ASSERT_TRUE(receiver.SendToReader(held));
  EXPECT_TRUE(WaitUntil([&] { return ListItems(list).size() == 1; }));
  Sleep(20);  // past the 10 ms repeat delay of the settings
  ASSERT_TRUE(receiver.SendToReader(other));
  EXPECT_TRUE(WaitUntil([&] { return ListItems(list).size() == 2; }));
  EXPECT_EQ(ListItems(list), (std::vector<std::string>{"2849,11", "2977,5"}));
  EXPECT_EQ(TextOf(panels[0]), "2849");
  EXPECT_EQ(TextOf(panels[1]), "11");
  SaveScreenshot(window, "TestHID-receiving");

  SendMessageA(start, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return TextOf(state) == "off"; })) << TextOf(state);
  EXPECT_EQ(TextOf(start), "START");

  Close(window);
}

// The user's way through the configuration: open it, pick the receiver, tick the scan-code
// check, let Test capture the scan code, save; then START lists only that scan code's codes.
TEST_F(EndToEnd, ConfigureTheScanCodeCheckThenReceiveOnlyItsCodes) {
  TStandinDevice receiver;
  DeleteFileA(Folder.File("KelHID.ini").c_str());
  ASSERT_TRUE(Copy(ProgramDirectory() + "\\..\\app\\KelHID.dll", "KelHID.dll"));
  const HWND window = Start();
  ASSERT_NE(window, nullptr);
  // Modal dialogs run inside the click's handler: clicks are posted, as the mouse does.
  const auto click = [](HWND Button) { PostMessageA(Button, BM_CLICK, 0, 0); };
  const auto visible = [](const char* Class) {
    const HWND w = FindWindowA(Class, nullptr);
    return w != nullptr && IsWindowVisible(w) ? w : nullptr;
  };
  click(FindWindowExA(window, nullptr, "Button", "Get HID Config"));
  HWND setup = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (setup = visible("TFormTHID")) != nullptr; }));
  const HWND devices = FindWindowExA(setup, nullptr, "ListBox", nullptr);
  ASSERT_EQ(ListItems(devices).size(), 1u);
  RECT line{};
  SendMessageA(devices, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&line));
  PostMessageA(devices, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(line.left + 4, line.top + 3));
  PostMessageA(devices, WM_LBUTTONUP, 0, MAKELPARAM(line.left + 4, line.top + 3));
  click(FindWindowExA(setup, nullptr, "Button", "Check &Scan Code (Use Test to Discover)"));
  const HWND field = FindWindowExA(setup, nullptr, "TEfNumericField", nullptr);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(field) != FALSE; }));

  click(FindWindowExA(setup, nullptr, "Button", "&Test"));
  HWND capture = nullptr;
  const auto waiting = [&] {
    capture = visible("TFormGetHID");
    return capture != nullptr && TextOf(FindWindowExA(capture, nullptr, "TPanel", nullptr)) ==
                                     "Press a Key on your Remote";
  };
  const uint8_t press[] = {0x00, 0x3E, 0x00, 0x0B, 0x05, 0x00, 0x00, 0x00, 0x00};
  ASSERT_TRUE(WaitUntil(waiting));
  SaveScreenshot(setup, "EndToEnd-capture-behind");
  ASSERT_TRUE(receiver.SendToReader(press));
  ASSERT_TRUE(WaitUntil([&] {
    return waiting() &&
           TextOf(FindWindowExA(capture, nullptr, "TLabel", nullptr)) == "Confirm Code";
  }));
  ASSERT_TRUE(receiver.SendToReader(press));
  // The capture is over when its window is gone, not merely hidden.
  const HWND captureShown = capture;
  ASSERT_TRUE(WaitUntil([&] { return IsWindow(captureShown) == FALSE; }));
  // The field's text as a screen reader asks for it.
  const auto fieldText = [&] {
    char text[16] = {};
    SendMessageA(field, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return std::string(text);
  };
  EXPECT_TRUE(WaitUntil([&] { return fieldText() == "3E"; })) << fieldText();
  SaveScreenshot(setup, "EndToEnd-configured");
  click(FindWindowExA(setup, nullptr, "Button", "&OK"));
  // The dialog closes, then the settings are written.
  ASSERT_TRUE(
      WaitUntil([&] { return Folder.Read("KelHID.ini").find("UseCheck") != std::string::npos; }));
  EXPECT_TRUE(WaitUntil([&] { return IsWindow(setup) == FALSE; })) << "the dialog outlived OK";
  const std::string settings = Folder.Read("KelHID.ini");
  EXPECT_NE(settings.find("VID=4660\r\nPID=1\r\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Check=62\r\nUseCheck=1\r\n"), std::string::npos) << settings;

  const HWND start = FindWindowExA(window, nullptr, "Button", "START");
  const HWND state = Children(window, "TPanel")[2];
  const HWND list = FindWindowExA(window, nullptr, "ListBox", nullptr);
  SendMessageA(start, BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return TextOf(state) == "GET"; })) << TextOf(state);
  // Another remote's scan code (05) is refused; only scan code 3E gets through the check.
  const uint8_t other[] = {0x00, 0x05, 0x00, 0x0B, 0x06, 0x00, 0x00, 0x00, 0x00};
  const uint8_t next[] = {0x00, 0x3E, 0x00, 0x0B, 0x07, 0x00, 0x00, 0x00, 0x00};
  for (const auto* report : {press, other, next}) {
    ASSERT_TRUE(receiver.SendToReader(std::span<const uint8_t>(report, 9)));
    Sleep(600);  // past the repeat delay of 500 ms
  }
  EXPECT_TRUE(WaitUntil([&] { return ListItems(list).size() == 2; }));
  Sleep(200);
  EXPECT_EQ(ListItems(list), (std::vector<std::string>{"2853,62", "2855,62"}));
  SaveScreenshot(window, "EndToEnd-checked-codes");
  Close(window);
}

}  // namespace
