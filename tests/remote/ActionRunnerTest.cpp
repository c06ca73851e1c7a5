#include "remote/ActionRunner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/Screenshot.h"
#include "win/TempDir.h"

namespace {

// Waits for what another program or the input queue brings about; false when it does not
// come within a generous bound. No test asserts how long anything takes.
bool Eventually(const std::function<bool()>& Condition) {
  for (int i = 0; i < 500; ++i) {
    if (Condition()) return true;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(20);
  }
  return Condition();
}

TAction Parse(const std::string& Line) {
  TAction action;
  const std::string problem = ParseAction(Line, action);
  EXPECT_EQ(problem, "") << Line;
  return action;
}

TEST(RunAction, RunStartsTheCommandLineInTheProgramsFolder) {
  const TTempDir dir;
  std::string error = "left over";
  ASSERT_TRUE(RunAction(Parse("run:cmd /c echo ran>marker.txt"), dir.Path(), error)) << error;
  EXPECT_EQ(error, "");
  ASSERT_TRUE(Eventually([&] { return dir.Read("marker.txt").find('\n') != std::string::npos; }))
      << "no marker file in " << dir.Path();
  EXPECT_EQ(dir.Read("marker.txt").substr(0, 3), "ran");
}

TEST(RunAction, SaysWhatWentWrong) {
  const TTempDir dir;
  TAction notUtf8;
  notUtf8.Kind = akText;
  notUtf8.Text = "caf\xE9";
  TAction noKeys;
  noKeys.Kind = akKeys;
  TAction noCommand;
  noCommand.Kind = akRun;
  noCommand.Text = "  ";
  struct TCase {
    TAction Action;
    std::vector<std::string> Says;
  };
  const TCase cases[] = {
      {Parse("run:kelhid-no-such-program.exe now"),
       {"\"kelhid-no-such-program.exe now\"", "could not be started"}},
      {Parse("message:KelHIDNoSuchWindowClass,WM_USER,1,2"),
       {"No window of class \"KelHIDNoSuchWindowClass\""}},
      {notUtf8, {"not valid UTF-8"}},
      {noKeys, {"no key"}},
      {noCommand, {"no command line"}},
  };
  for (const TCase& c : cases) {
    std::string error;
    EXPECT_FALSE(RunAction(c.Action, dir.Path(), error));
    for (const std::string& text : c.Says)
      EXPECT_NE(error.find(text), std::string::npos) << error << " lacks " << text;
  }
}

// A window of a class of its own that notes the messages it gets.
struct TMessageTarget {
  static constexpr const wchar_t* Class = L"KelHIDActionTarget";
  static inline std::vector<MSG> Got;

  TMessageTarget() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = Class;
    RegisterClassW(&wc);
    Window = CreateWindowW(Class, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                           nullptr);
    Got.clear();
  }
  ~TMessageTarget() { DestroyWindow(Window); }
  static LRESULT CALLBACK Procedure(HWND To, UINT Message, WPARAM W, LPARAM L) {
    if (Message >= WM_USER) Got.push_back(MSG{To, Message, W, L, 0, {}});
    return DefWindowProcW(To, Message, W, L);
  }
  TMessageTarget(const TMessageTarget&) = delete;
  TMessageTarget& operator=(const TMessageTarget&) = delete;

  HWND Window = nullptr;
};

TEST(RunAction, MessageIsPostedToTheWindowOfTheClass) {
  const TMessageTarget target;
  ASSERT_NE(target.Window, nullptr);
  std::string error;
  ASSERT_TRUE(RunAction(Parse("message:KelHIDActionTarget,0x8123,7,0xFFFF0001"), "", error))
      << error;
  ASSERT_TRUE(RunAction(Parse("message:kelhidactiontarget,WM_USER,0,42"), "", error)) << error;
  ASSERT_TRUE(Eventually([] { return TMessageTarget::Got.size() == 2; }));
  const auto& got = TMessageTarget::Got;
  EXPECT_EQ(got[0].hwnd, target.Window);
  EXPECT_EQ(got[0].message, 0x8123u);
  EXPECT_EQ(got[0].wParam, 7u);
  EXPECT_EQ(static_cast<uintptr_t>(got[0].lParam), 0xFFFF0001u);
  EXPECT_EQ(got[1].message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(got[1].lParam, 42);
}

// Wine's own Notepad, started for a test and ended with it.
class TNotepad {
 public:
  TNotepad() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    wchar_t command[] = L"notepad.exe";
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &FProcess))
      return;
    WaitForInputIdle(FProcess.hProcess, 10000);
    Eventually([this] {
      EnumWindows(Found, reinterpret_cast<LPARAM>(this));
      return FWindow != nullptr;
    });
    if (FWindow != nullptr) FEdit = FindWindowExW(FWindow, nullptr, L"Edit", nullptr);
  }
  ~TNotepad() {
    if (FProcess.hProcess == nullptr) return;
    // Not closed as a user would: Notepad would ask whether to save the text.
    TerminateProcess(FProcess.hProcess, 0);
    WaitForSingleObject(FProcess.hProcess, 10000);
    CloseHandle(FProcess.hThread);
    CloseHandle(FProcess.hProcess);
  }
  TNotepad(const TNotepad&) = delete;
  TNotepad& operator=(const TNotepad&) = delete;

  [[nodiscard]] HWND Window() const { return FWindow; }
  [[nodiscard]] HWND Edit() const { return FEdit; }

  // Keyboard input goes to the foreground window's focus. With no window manager to make
  // Notepad the foreground window, this program asks for it with its input joined to
  // Notepad's, which lets it give the focus away.
  bool BringToFront() const {
    const DWORD own = GetCurrentThreadId();
    const DWORD notepad = GetWindowThreadProcessId(FWindow, nullptr);
    AttachThreadInput(own, notepad, TRUE);
    ShowWindow(FWindow, SW_SHOWNORMAL);
    SetForegroundWindow(FWindow);
    SetActiveWindow(FWindow);
    SetFocus(FEdit);
    AttachThreadInput(own, notepad, FALSE);
    return Eventually([this] {
      GUITHREADINFO info{};
      info.cbSize = sizeof(info);
      GetGUIThreadInfo(GetWindowThreadProcessId(FWindow, nullptr), &info);
      return GetForegroundWindow() == FWindow && info.hwndFocus == FEdit;
    });
  }

  // The text of Notepad's edit control, read from this process.
  [[nodiscard]] std::wstring Text() const {
    wchar_t text[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(FEdit, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                        &length);
    return text;
  }

 private:
  static BOOL CALLBACK Found(HWND Window, LPARAM Self) {
    auto* self = reinterpret_cast<TNotepad*>(Self);
    DWORD process = 0;
    GetWindowThreadProcessId(Window, &process);
    wchar_t name[32] = {};
    GetClassNameW(Window, name, 32);
    if (process != self->FProcess.dwProcessId || lstrcmpiW(name, L"Notepad") != 0) return TRUE;
    self->FWindow = Window;
    return FALSE;
  }

  PROCESS_INFORMATION FProcess{};
  HWND FWindow = nullptr;
  HWND FEdit = nullptr;
};

std::string Narrow(const std::wstring& Text) {
  std::string out;
  for (const wchar_t c : Text)
    out += c < 0x80 ? std::string(1, static_cast<char>(c)) : "\\u" + std::to_string(c);
  return out;
}

// Actions typed into Notepad, each followed by the text its edit control then holds.
TEST(RunAction, KeysAndTextTypeIntoNotepad) {
  const TNotepad notepad;
  ASSERT_NE(notepad.Window(), nullptr) << "Notepad did not start";
  ASSERT_NE(notepad.Edit(), nullptr);
  ASSERT_TRUE(notepad.BringToFront());
  struct TStep {
    std::string Action;
    std::wstring Text;
    const char* Screenshot = nullptr;  // the picture of Notepad then
  };
  const TStep steps[] = {
      {"text:Hello", L"Hello"},
      // Shift held over an extended key: the last two letters are selected, then replaced.
      {"keys:Shift+Left", L"Hello"},
      {"keys:shift+left", L"Hello"},
      {"text:p!", L"Help!"},
      {"keys:Home", L"Help!"},
      {"text:(", L"(Help!"},
      {"keys:End", L"(Help!"},
      {"text:)", L"(Help!)"},
      {"keys:Backspace", L"(Help!"},
      // Ctrl held: everything is selected, and the text typed next replaces it. Letters
      // beyond ASCII go as they are.
      {"keys:Ctrl+A", L"(Help!"},
      {"text:Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC 5",
       L"Gr\u00FC\u00DFe \u20AC 5", "Actions-Notepad-Text"},
      // Two modifiers: the last word is selected.
      {"keys:Ctrl+Shift+Left", L"Gr\u00FC\u00DFe \u20AC 5"},
      {"text:6", L"Gr\u00FC\u00DFe \u20AC 6"},
      // Everything back to the start of the line.
      {"keys:Shift+Home", L"Gr\u00FC\u00DFe \u20AC 6"},
      {"text:A b", L"A b"},
      // A key the edit control ignores leaves the text.
      {"keys:VolumeUp", L"A b"},
      {"text:c", L"A bc"},
  };
  std::string error;
  for (const TStep& step : steps) {
    ASSERT_TRUE(RunAction(Parse(step.Action), "", error)) << step.Action << ": " << error;
    EXPECT_TRUE(Eventually([&] { return notepad.Text() == step.Text; }))
        << step.Action << " left " << Narrow(notepad.Text()) << ", not " << Narrow(step.Text);
    if (step.Screenshot != nullptr) SaveScreenshot(notepad.Window(), step.Screenshot);
  }
  SaveScreenshot(notepad.Window(), "Actions-Notepad");
}

}  // namespace
