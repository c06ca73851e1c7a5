// KelHIDRemote.exe from a folder that holds it with KelHID.dll, the stand-in HID.dll and
// SetupApi.dll, a KelHID.ini naming the virtual remote's receiver and a KelHIDRemote.ini; the
// Virtual Remote runs beside it, and its keys are pressed as the mouse presses them.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gui/Application.h"
#include "remote/RemoteCommands.h"
#include "sim/RemoteKeys.h"
#include "sim/StandinBus.h"
#include "ui/Screenshot.h"
#include "ui/Script.h"
#include "win/TempDir.h"

namespace {

const std::string OverrideKey = "Software\\Wine\\AppDefaults\\KelHIDRemote.exe\\DllOverrides";
const std::string RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

template <class F>
bool WaitUntil(F&& Done, DWORD TimeoutMs = 15000) {
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

// The items of another program's list box, as a screen reader reads them.
std::vector<std::string> ListItems(HWND List) {
  std::vector<std::string> items;
  const auto count = SendMessageW(List, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    if (SendMessageW(List, LB_GETTEXTLEN, i, 0) >= 511) continue;
    SendMessageW(List, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
    items.emplace_back(narrow);
  }
  return items;
}

// The text of another program's edit field, as a screen reader asks for it.
std::string FieldText(HWND Field) {
  char text[512] = {};
  SendMessageA(Field, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

bool AnyItemHas(HWND List, std::string_view Text) {
  for (const std::string& item : ListItems(List)) {
    if (item.find(Text) != std::string::npos) return true;
  }
  return false;
}

struct TFound {
  DWORD Process;
  const char* Class;
  HWND Window;
};

BOOL CALLBACK FindVisible(HWND Window, LPARAM Param) {
  auto& f = *reinterpret_cast<TFound*>(Param);
  DWORD process = 0;
  GetWindowThreadProcessId(Window, &process);
  char cls[64] = {};
  GetClassNameA(Window, cls, sizeof cls);
  if (process == f.Process && std::string(cls) == f.Class && IsWindowVisible(Window)) {
    f.Window = Window;
    return FALSE;
  }
  return TRUE;
}

// A visible top-level window of that class of the process, or none.
HWND VisibleWindowOf(DWORD Process, const char* Class) {
  TFound found{Process, Class, nullptr};
  EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&found));
  return found.Window;
}

BOOL CALLBACK CloseWindowsOf(HWND Window, LPARAM Process) {
  DWORD process = 0;
  GetWindowThreadProcessId(Window, &process);
  if (process == static_cast<DWORD>(Process)) PostMessageA(Window, WM_CLOSE, 0, 0);
  return TRUE;
}

// Closes another program's message box with one of its buttons; its text.
std::string CloseMessageBox(HWND Box, WORD Button = IDOK) {
  std::string text = MessageBoxText(Box);
  PostMessageA(Box, WM_COMMAND, Button, 0);
  WaitUntil([&] { return IsWindow(Box) == FALSE || IsWindowVisible(Box) == FALSE; });
  return text;
}

constexpr const char* RemoteFile =
    "; the virtual remote's buttons\r\n"
    "[Remote]\r\nName=myremote\r\n"
    "[Buttons]\r\nKEY_OK=2940,75\r\nKEY_MUTE=2861,75\r\n"
    "[Actions]\r\n; writes the marker\r\nKEY_OK=run:cmd /c echo pressed>marker.txt\r\n"
    "KEY_MUTE=keys:NoSuchKey\r\n"
    "[Mine]\r\nkept=as it was\r\n";

class RemoteProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA(standin::BusVariable,
                            ("rp" + std::to_string(GetCurrentProcessId())).c_str());
    standin::ClearBus(standin::BusName());
    const std::string here = ProgramDirectory();
    ASSERT_TRUE(Copy(here + "\\..\\app\\KelHIDRemote.exe", "KelHIDRemote.exe"));
    ASSERT_TRUE(Copy(here + "\\..\\app\\KelHID.dll", "KelHID.dll"));
    ASSERT_TRUE(Copy(here + "\\hidtest\\HID.dll", "HID.dll"));
    ASSERT_TRUE(Copy(here + "\\hidtest\\SetupApi.dll", "SetupApi.dll"));
    ASSERT_TRUE(Copy(here + "\\..\\sim\\VirtualRemote.exe", "VirtualRemote.exe"));
    Folder.Write("KelHID.ini",
                 "[SETUP]\r\nNAME=Virtual IR Receiver\r\nVID=4617\r\nPID=1\r\nDelay=300\r\n"
                 "HeldDelay=200\r\nCheck=75\r\nUseCheck=1\r\n");
    Folder.Write("KelHIDRemote.ini", RemoteFile);
    if (UnderWine()) {
      RegSetKeyValueA(HKEY_CURRENT_USER, OverrideKey.c_str(), "setupapi", REG_SZ, "native,builtin",
                      15);
    }
  }
  void TearDown() override {
    for (PROCESS_INFORMATION& p : Processes) {
      if (WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) {
        EnumWindows(&CloseWindowsOf, static_cast<LPARAM>(p.dwProcessId));
        if (WaitForSingleObject(p.hProcess, 5000) == WAIT_TIMEOUT) TerminateProcess(p.hProcess, 99);
      }
      CloseHandle(p.hProcess);
      CloseHandle(p.hThread);
    }
    if (UnderWine()) RegDeleteKeyValueA(HKEY_CURRENT_USER, OverrideKey.c_str(), "setupapi");
    RegDeleteKeyValueA(HKEY_CURRENT_USER, RunKey.c_str(), "KelHID Remote");
    standin::ClearBus(standin::BusName());
  }

  bool Copy(const std::string& From, const char* To) {
    return CopyFileA(From.c_str(), Folder.File(To).c_str(), FALSE) != FALSE;
  }

  // Starts a program of the folder; its process.
  PROCESS_INFORMATION Start(const char* Exe) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = "\"" + Folder.File(Exe) + "\"";
    PROCESS_INFORMATION p{};
    if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       Folder.Path().c_str(), &si, &p)) {
      Processes.push_back(p);
    }
    return p;
  }

  // The Virtual Remote and the program, the program receiving.
  void StartBoth() {
    const PROCESS_INFORMATION remote = Start("VirtualRemote.exe");
    ASSERT_TRUE(WaitUntil([&] {
      return (Remote = VisibleWindowOf(remote.dwProcessId, "TVirtualRemote")) != nullptr;
    }));
    Program = Start("KelHIDRemote.exe");
    ASSERT_TRUE(WaitUntil([&] {
      return (Window = VisibleWindowOf(Program.dwProcessId, RemoteWindowClass)) != nullptr;
    }));
    EXPECT_EQ(TextOf(Window), "KelHID Remote");
    const std::vector<HWND> panels = Children(Window, "TPanel");
    ASSERT_EQ(panels.size(), 2u);
    State = panels[0];
    LastCode = panels[1];
    const std::vector<HWND> lists = Children(Window, "ListBox");
    ASSERT_EQ(lists.size(), 2u);
    Buttons = lists[0];
    Messages = lists[1];
    ASSERT_TRUE(WaitUntil([&] { return TextOf(State) == "Receiving"; })) << TextOf(State);
  }

  // Presses a key of the Virtual Remote as the mouse does, holding it for HoldMs.
  void Press(const char* Key, DWORD HoldMs = 0) const {
    // The keys sit on the remote's body.
    const HWND body = FindWindowExA(Remote, nullptr, "TPanel", nullptr);
    const HWND button = FindWindowExA(body, nullptr, "Button", Key);
    ASSERT_NE(button, nullptr) << Key;
    PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    if (HoldMs > 0) Sleep(HoldMs);
    PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }

  void Click(const char* Caption) const {
    const HWND button = FindWindowExA(Window, nullptr, "Button", Caption);
    ASSERT_NE(button, nullptr) << Caption;
    PostMessageA(button, BM_CLICK, 0, 0);
  }

  // Selects a line of the button list as a click does: the list tells its window.
  void SelectButton(int Index) const {
    SendMessageA(Buttons, LB_SETCURSEL, Index, 0);
    PostMessageA(Window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Buttons), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Buttons));
  }

  HWND WaitForMessageBox() const {
    HWND box = nullptr;
    WaitUntil([&] { return (box = VisibleWindowOf(Program.dwProcessId, "#32770")) != nullptr; });
    return box;
  }

  [[nodiscard]] bool MarkerThere() const {
    return GetFileAttributesA(Folder.File("marker.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  TTempDir Folder;
  std::vector<PROCESS_INFORMATION> Processes;
  PROCESS_INFORMATION Program{};
  HWND Remote = nullptr;
  HWND Window = nullptr;
  HWND State = nullptr;
  HWND LastCode = nullptr;
  HWND Buttons = nullptr;
  HWND Messages = nullptr;
};

TEST_F(RemoteProgram, APressOnTheVirtualRemoteRunsTheButtonsAction) {
  StartBoth();
  EXPECT_EQ(ListItems(Buttons),
            (std::vector<std::string>{"KEY_OK\t2940,75\trun:cmd /c echo pressed>marker.txt",
                                      "KEY_MUTE\t2861,75\tkeys:NoSuchKey"}));
  // The bad action line is reported with its line; the others work.
  EXPECT_TRUE(AnyItemHas(Messages, "KelHIDRemote.ini Line 10: ")) << ListItems(Messages).size();
  EXPECT_FALSE(MarkerThere());
  Press("OK");
  EXPECT_TRUE(WaitUntil([&] { return MarkerThere(); })) << "no marker";
  EXPECT_TRUE(WaitUntil([&] { return TextOf(LastCode) == "2940,75  KEY_OK"; })) << TextOf(LastCode);
  SaveScreenshot(GetDesktopWindow(), "Remote-action-run");
  Sleep(400);  // past the repeat delay
  Press("Vol +");
  EXPECT_TRUE(WaitUntil([&] { return TextOf(LastCode) == "2864,75  (unnamed)"; }))
      << TextOf(LastCode);
  Sleep(400);
  Press("Mute");
  EXPECT_TRUE(WaitUntil([&] { return AnyItemHas(Messages, "KEY_MUTE: the action is not run"); }));
}

TEST_F(RemoteProgram, LearnNamesAButtonRefusingTakenNamesAndPairs) {
  StartBoth();
  const auto learn = [&](const char* Key, const char* Screenshot) {
    Click("&Learn...");
    HWND capture = nullptr;
    const auto waiting = [&] {
      capture = VisibleWindowOf(Program.dwProcessId, "TFormGetHID");
      return capture != nullptr && TextOf(FindWindowExA(capture, nullptr, "TPanel", nullptr)) ==
                                       "Press a Key on your Remote";
    };
    EXPECT_TRUE(WaitUntil(waiting));
    Press(Key);
    // The dialog asks for the same key again once it is ready.
    EXPECT_TRUE(WaitUntil([&] {
      return waiting() &&
             TextOf(FindWindowExA(capture, nullptr, "TLabel", nullptr)) == "Confirm Code";
    }));
    SaveScreenshot(GetDesktopWindow(), Screenshot);
    Press(Key);
  };
  learn("Vol +", "Remote-learn-confirm");
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] { return (dialog = VisibleWindowOf(Program.dwProcessId, "TNameDialog")) != nullptr; }));
  EXPECT_EQ(TextOf(dialog), "Button name");
  const HWND name = FindWindowExA(dialog, nullptr, "ComboBox", nullptr);
  ASSERT_NE(name, nullptr);
  // The usual names are offered.
  EXPECT_GT(SendMessageA(name, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("KEY_VOLUMEUP")),
            -1);
  const auto answer = [&](const char* Text) {
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Text));
    if (std::string_view(Text) == "KEY_VOLUMEUP")
      SaveScreenshot(GetDesktopWindow(), "Remote-learn-name");
    PostMessageA(FindWindowExA(dialog, nullptr, "Button", "OK"), BM_CLICK, 0, 0);
  };
  // A name in use and a name with a blank are refused, and the dialog stays.
  answer("key_ok");
  HWND box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_NE(CloseMessageBox(box).find("is used already"), std::string::npos);
  answer("VOL UP");
  box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_NE(CloseMessageBox(box).find("blank"), std::string::npos);
  EXPECT_TRUE(IsWindowVisible(dialog));
  answer("KEY_VOLUMEUP");
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog) == FALSE; }));
  ASSERT_TRUE(WaitUntil([&] { return ListItems(Buttons).size() == 3; }));
  EXPECT_EQ(ListItems(Buttons)[2], "KEY_VOLUMEUP\t2864,75\t");
  // Saved, with the user's comments and other sections kept.
  const std::string saved = Folder.Read("KelHIDRemote.ini");
  EXPECT_NE(saved.find("KEY_VOLUMEUP=2864,75\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("; the virtual remote's buttons\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("; writes the marker\r\nKEY_OK=run:"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[Mine]\r\nkept=as it was\r\n"), std::string::npos) << saved;
  SaveScreenshot(Window, "Remote-learnt");

  // A pair that has a name already is refused before it is named again.
  Sleep(400);
  learn("OK", "Remote-learn-named-already");
  box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_NE(CloseMessageBox(box).find("named already: KEY_OK"), std::string::npos);
  EXPECT_EQ(VisibleWindowOf(Program.dwProcessId, "TNameDialog"), nullptr);
}

TEST_F(RemoteProgram, ActionsAreCheckedRenameAndDeleteSaved) {
  StartBoth();
  const HWND edit = FindWindowExA(Window, nullptr, "Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  SelectButton(1);  // KEY_MUTE
  ASSERT_TRUE(WaitUntil([&] { return FieldText(edit) == "keys:NoSuchKey"; })) << FieldText(edit);
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("keys:Ctrl+Nope"));
  Click("&Set action");
  HWND box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_NE(CloseMessageBox(box).find("The action is not taken: "), std::string::npos);
  EXPECT_EQ(Folder.Read("KelHIDRemote.ini"), RemoteFile);
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("keys:VolumeMute"));
  Click("&Set action");
  ASSERT_TRUE(WaitUntil([&] {
    return Folder.Read("KelHIDRemote.ini").find("KEY_MUTE=keys:VolumeMute\r\n") !=
           std::string::npos;
  }));
  EXPECT_EQ(ListItems(Buttons)[1], "KEY_MUTE\t2861,75\tkeys:VolumeMute");

  // Rename keeps the action.
  SelectButton(1);
  Click("&Rename...");
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] { return (dialog = VisibleWindowOf(Program.dwProcessId, "TNameDialog")) != nullptr; }));
  const HWND name = FindWindowExA(dialog, nullptr, "ComboBox", nullptr);
  EXPECT_EQ(FieldText(name), "KEY_MUTE");
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("KEY_SILENCE"));
  PostMessageA(FindWindowExA(dialog, nullptr, "Button", "OK"), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] {
    const std::string text = Folder.Read("KelHIDRemote.ini");
    return text.find("KEY_SILENCE=2861,75\r\n") != std::string::npos &&
           text.find("KEY_SILENCE=keys:VolumeMute\r\n") != std::string::npos;
  }));

  // Delete asks first.
  SelectButton(0);
  Click("&Delete");
  box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_NE(CloseMessageBox(box, IDYES).find("Delete the button KEY_OK"), std::string::npos);
  ASSERT_TRUE(WaitUntil([&] { return ListItems(Buttons).size() == 1; }));
  const std::string saved = Folder.Read("KelHIDRemote.ini");
  EXPECT_EQ(saved.find("KEY_OK"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[Mine]\r\nkept=as it was\r\n"), std::string::npos) << saved;
}

TEST_F(RemoteProgram, MinimiseHidesToTheTrayASecondStartShowsItPauseStopsActions) {
  StartBoth();
  // The tray menu, as a right click on the icon opens it.
  PostMessageA(Window, WM_APP + TrayMessageOffset, 0, WM_RBUTTONUP);
  HWND menu = nullptr;
  EXPECT_TRUE(WaitUntil(
      [&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu); }));
  // A menu that has just come up may not have painted its items yet.
  Sleep(300);
  SaveScreenshot(GetDesktopWindow(), "Remote-tray-menu");
  PostMessageA(Window, WM_CANCELMODE, 0, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(menu) == FALSE; }));

  PostMessageA(Window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(Window) == FALSE; }));
  // A second start shows the first one's window and ends.
  const PROCESS_INFORMATION second = Start("KelHIDRemote.exe");
  ASSERT_EQ(WaitForSingleObject(second.hProcess, 15000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(Window) != FALSE; }));

  // Paused, a press runs nothing; resumed, it does.
  PostMessageA(Window, WM_COMMAND, CmPause, 0);
  ASSERT_TRUE(WaitUntil([&] { return TextOf(State) == "Receiving (paused)"; })) << TextOf(State);
  Press("OK");
  ASSERT_TRUE(WaitUntil([&] { return TextOf(LastCode) == "2940,75  KEY_OK"; }));
  Sleep(500);
  EXPECT_FALSE(MarkerThere());
  PostMessageA(Window, WM_COMMAND, CmPause, 0);
  ASSERT_TRUE(WaitUntil([&] { return TextOf(State) == "Receiving"; })) << TextOf(State);
  Press("OK");
  EXPECT_TRUE(WaitUntil([&] { return MarkerThere(); }));

  // Start with Windows: the user's Run key names the program, and no more once unticked.
  const auto runValue = [&] {
    char value[MAX_PATH + 8] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, RunKey.c_str(), "KelHID Remote", RRF_RT_REG_SZ, nullptr,
                     value, &size) != ERROR_SUCCESS) {
      return std::string("(none)");
    }
    return std::string(value);
  };
  PostMessageA(Window, WM_COMMAND, CmStartWithWindows, 0);
  const std::string expected = "\"" + Folder.File("KelHIDRemote.exe") + "\"";
  EXPECT_TRUE(WaitUntil([&] { return _stricmp(runValue().c_str(), expected.c_str()) == 0; }))
      << runValue();
  PostMessageA(Window, WM_COMMAND, CmStartWithWindows, 0);
  EXPECT_TRUE(WaitUntil([&] { return runValue() == "(none)"; })) << runValue();

  // Exit from the menu ends the program.
  PostMessageA(Window, WM_COMMAND, CmExit, 0);
  ASSERT_EQ(WaitForSingleObject(Program.hProcess, 10000), WAIT_OBJECT_0);
  GetExitCodeProcess(Program.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

// A held button repeats its action only where the action line says so; the window shows the
// press's name for the repeats.
TEST_F(RemoteProgram, AHeldButtonRepeatsOnlyAnActionThatRepeats) {
  Folder.Write("KelHIDRemote.ini",
               "[Buttons]\r\nKEY_VOLUMEUP=2864,75\r\nKEY_OK=2940,75\r\n[Actions]\r\n"
               "KEY_VOLUMEUP=run:cmd /c echo up>>up.txt,repeat\r\n"
               "KEY_OK=run:cmd /c echo ok>>ok.txt\r\n");
  StartBoth();
  const auto lines = [&](const char* File) {
    const std::string text = Folder.Read(File);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  };
  Press("Vol +", 1200);
  EXPECT_TRUE(WaitUntil([&] { return TextOf(LastCode) == "2864,75  KEY_VOLUMEUP  (held)"; }))
      << TextOf(LastCode);
  // The press and its repeats every 200 ms (the held-key delay) while held.
  EXPECT_TRUE(WaitUntil([&] { return lines("up.txt") >= 3; })) << lines("up.txt");
  Sleep(600);
  Press("OK", 1200);
  EXPECT_TRUE(WaitUntil([&] { return lines("ok.txt") >= 1; }));
  Sleep(1000);
  EXPECT_EQ(lines("ok.txt"), 1);
}

// A port in use leaves the program working without its server, and says so.
TEST_F(RemoteProgram, APortInUseIsReportedAndTheProgramRunsOn) {
  WSADATA wsa{};
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  const SOCKET taken = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(taken, 1), 0);
  int length = sizeof address;
  getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string port = std::to_string(ntohs(address.sin_port));
  Folder.Write("KelHIDRemote.ini",
               std::string(RemoteFile) + "[Server]\r\nEnabled=1\r\nPort=" + port + "\r\n");
  StartBoth();
  EXPECT_TRUE(WaitUntil([&] {
    return AnyItemHas(Messages, "Server on 127.0.0.1:" + port + " not started: ") &&
           AnyItemHas(Messages, "The program runs on without it.");
  }));
  Press("OK");
  EXPECT_TRUE(WaitUntil([&] { return MarkerThere(); }));
  closesocket(taken);
  WSACleanup();
}

// Unplugged, the window and the tray say so; plugged in again, the library claims the receiver
// by itself and the program receives again.
TEST_F(RemoteProgram, UnplugAndReplugAreShownAndReceivingGoesOn) {
  StartBoth();
  const HWND plugged = FindWindowExA(Remote, nullptr, "Button", "Plugged in");
  ASSERT_NE(plugged, nullptr);
  PostMessageA(plugged, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return TextOf(State).find("Receiver unplugged") == 0; }))
      << TextOf(State);
  EXPECT_TRUE(AnyItemHas(Messages, "Receiver unplugged"));
  SaveScreenshot(GetDesktopWindow(), "Remote-unplugged");
  PostMessageA(plugged, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return TextOf(State) == "Receiving"; })) << TextOf(State);
  EXPECT_TRUE(WaitUntil([&] { return AnyItemHas(Messages, "Receiver back"); }));
  Sleep(400);
  Press("OK");
  EXPECT_TRUE(WaitUntil([&] { return MarkerThere(); }));
}

}  // namespace
