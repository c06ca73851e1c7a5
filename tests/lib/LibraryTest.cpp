// KelHID.dll as another program uses it: loaded by name, called through its exports only,
// with the stand-in HID.dll and SetupApi.dll beside this program and stand-in receivers.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "lib/LibraryHost.h"
#include "library/KelHID.h"
#include "sim/StandinDevice.h"
#include "ui/Screenshot.h"
#include "win/TempDir.h"

namespace {

// ANSI text as wide text.
std::wstring Wide(const std::string& Text) {
  std::wstring out(Text.size(), L'\0');
  out.resize(
      static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()),
                                              out.data(), static_cast<int>(out.size()))));
  return out;
}

// Every call that needs the engine, with good arguments.
std::vector<std::function<int(TKelHID&)>> EngineCalls(const std::string& Dir) {
  static unsigned a = 0;
  static int v = 0;
  return {
      [](TKelHID& l) { return l.SetTargetWindow(GetDesktopWindow()); },
      [Dir](TKelHID& l) { return l.LoadHIDSettings(Dir.c_str()); },
      [Dir](TKelHID& l) { return l.ShowHIDSetup(Dir.c_str(), &a); },
      [](TKelHID& l) { return l.GetIRCode(FALSE, FALSE, FALSE, &a, &a); },
      [](TKelHID& l) { return l.OpenDevice(); },
      [](TKelHID& l) { return l.StartReceiving(KELHID_CONTINUOUS); },
      [](TKelHID& l) { return l.StopReceiving(); },
      [](TKelHID& l) { return l.Disconnect(); },
      [](TKelHID& l) { return l.PostCode(1, 2); },
      [](TKelHID& l) { return l.GetState(&v); },
      [](TKelHID& l) { return l.GetCode(&a, &a); },
      [](TKelHID& l) { return l.GetSetting(KELHID_VENDOR_ID, &v); },
      [](TKelHID& l) { return l.SetSetting(KELHID_VENDOR_ID, 1); },
      [Dir](TKelHID& l) { return l.SaveHIDSettings(Dir.c_str()); },
      [Dir](TKelHID& l) { return l.LoadHIDSettingsW(Wide(Dir).c_str()); },
      [Dir](TKelHID& l) { return l.SaveHIDSettingsW(Wide(Dir).c_str()); },
      [Dir](TKelHID& l) { return l.ShowHIDSetupW(Wide(Dir).c_str(), &a); },
      [](TKelHID& l) { return l.SetOwnerWindow(nullptr); },
      [](TKelHID& l) { return l.Free(); },
  };
}

TEST_F(Library, CallsBeforeCreationAndFromAnotherThreadFailAndChangeNothing) {
  for (const auto& call : EngineCalls(Folder.Path())) EXPECT_EQ(call(Lib), KELHID_E_NO_ENGINE);
  EXPECT_NE(Lib.Error().find("KelHID_Create"), std::string::npos);
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  std::thread([&] {
    EXPECT_EQ(Lib.Create(Target), KELHID_E_EXISTS);
    for (const auto& call : EngineCalls(Folder.Path())) EXPECT_EQ(call(Lib), KELHID_E_THREAD);
    EXPECT_NE(Lib.Error().find("thread"), std::string::npos);
  }).join();
  EXPECT_EQ(Lib.Error().find("thread"), std::string::npos);  // each thread has its own text
  EXPECT_EQ(Setting(KELHID_VENDOR_ID), 0);
  ASSERT_EQ(Lib.PostCode(7, 8), KELHID_OK);  // still posting to its own target
  EXPECT_TRUE(Arrived("code 7,8"));
}

TEST_F(Library, BadArgumentsAreRefusedAndLeaveTheEngineAsItWas) {
  EXPECT_EQ(Lib.Create(reinterpret_cast<HWND>(0x1234)), KELHID_E_ARGUMENT);
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  EXPECT_EQ(Lib.Create(Target), KELHID_E_EXISTS);
  EXPECT_NE(Lib.Error().find("only one"), std::string::npos);
  unsigned a = 0;
  int v = 0;
  const std::string dir = Folder.Path();
  for (const int result : {Lib.SetTargetWindow(nullptr),
                           Lib.LoadHIDSettings(nullptr),
                           Lib.ShowHIDSetup(nullptr, &a),
                           Lib.ShowHIDSetup(dir.c_str(), nullptr),
                           Lib.GetIRCode(TRUE, TRUE, TRUE, &a, nullptr),
                           Lib.StartReceiving(2),
                           Lib.StartReceiving(-1),
                           Lib.GetState(nullptr),
                           Lib.GetCode(nullptr, &a),
                           Lib.GetSetting(0, &v),
                           Lib.GetSetting(KELHID_BEEP, nullptr),
                           Lib.SetSetting(99, 1),
                           Lib.GetVersion(&a, &a, nullptr, &a),
                           Lib.SaveHIDSettings(nullptr),
                           Lib.LoadHIDSettingsW(nullptr),
                           Lib.SaveHIDSettingsW(nullptr),
                           Lib.ShowHIDSetupW(nullptr, &a),
                           Lib.ShowHIDSetupW(Wide(dir).c_str(), nullptr),
                           Lib.SetOwnerWindow(reinterpret_cast<HWND>(0x1234)),
                           Lib.SetOwnerWindow(GetDesktopWindow())}) {
    EXPECT_EQ(result, KELHID_E_ARGUMENT);
  }
  // Each field: its bounds taken, one past them refused.
  struct TBounds {
    int Field, Min, Max, Default;
  };
  const TBounds fields[] = {{KELHID_VENDOR_ID, 0, 65535, 0},
                            {KELHID_PRODUCT_ID, 0, 65535, 0},
                            {KELHID_REPEAT_DELAY, 10, 5000, 500},
                            {KELHID_HELD_DELAY, 10, 5000, 500},
                            {KELHID_CHECK_BYTE, 0, 255, 0},
                            {KELHID_USE_CHECK, 0, 1, 0},
                            {KELHID_BEEP, 0, 1, 0},
                            {KELHID_AUTO_RESUME, 0, 1, 1}};
  for (const TBounds& f : fields) {
    EXPECT_EQ(Lib.SetSetting(f.Field, f.Min - 1), KELHID_E_ARGUMENT) << f.Field;
    EXPECT_EQ(Lib.SetSetting(f.Field, f.Max + 1), KELHID_E_ARGUMENT) << f.Field;
  }
  for (const TBounds& f : fields) EXPECT_EQ(Setting(f.Field), f.Default) << f.Field;
  for (const TBounds& f : fields) {
    EXPECT_EQ(Lib.SetSetting(f.Field, f.Max), KELHID_OK) << f.Field;
    EXPECT_EQ(Setting(f.Field), f.Max) << f.Field;
    EXPECT_EQ(Lib.SetSetting(f.Field, f.Min), KELHID_OK) << f.Field;
  }
  EXPECT_EQ(Lib.LoadHIDSettings((dir + "\\missing").c_str()), KELHID_E_NO_DIRECTORY);
  EXPECT_EQ(Lib.GetState(&v), KELHID_OK);
  EXPECT_EQ(v, KELHID_STATE_NONE);
  EXPECT_EQ(Lib.OpenDevice(), KELHID_E_NOT_CONFIGURED);
  EXPECT_EQ(Lib.GetIRCode(FALSE, FALSE, FALSE, &a, &a), KELHID_E_NOT_OPEN);
  ASSERT_EQ(Lib.PostCode(0xFFFFFFFF, 9999), KELHID_OK);
  EXPECT_TRUE(Arrived("code 4294967295,9999"));
}

TEST_F(Library, ReceivesCodesFromAReceiverStopsFreesAndCreatesAgain) {
  TStandinDevice receiver;  // 1234:0001
  for (int round = 0; round < 2; ++round) {
    Got.clear();
    ASSERT_EQ(Lib.Create(Target), KELHID_OK);
    EXPECT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_E_NOT_CONFIGURED);
    ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
    EXPECT_EQ(Setting(KELHID_VENDOR_ID), 0x1234);
    ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
    ASSERT_TRUE(Arrived("state 3 15"));
    ASSERT_TRUE(receiver.SendToReader(KeyA));
    EXPECT_TRUE(Arrived("code 2977,5"));
    Sleep(20);  // past the 10 ms repeat delay
    ASSERT_TRUE(receiver.SendToReader(KeyB));
    EXPECT_TRUE(Arrived("code 2849,11"));
    unsigned code[2] = {};
    EXPECT_EQ(Lib.GetCode(&code[0], &code[1]), KELHID_OK);
    EXPECT_EQ(code[0] * 1000 + code[1], 2849011u);
    ASSERT_EQ(Lib.StopReceiving(), KELHID_OK);
    EXPECT_TRUE(Arrived("state 2 15"));
    ASSERT_EQ(Lib.Free(), KELHID_OK);
  }
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  ASSERT_EQ(Lib.SetSetting(KELHID_VENDOR_ID, 0x4321), KELHID_OK);
  EXPECT_EQ(Lib.OpenDevice(), KELHID_E_NOT_FOUND);
  EXPECT_NE(Lib.Error().find("4321:0000"), std::string::npos);
}

TEST_F(Library, GetIRCodeTakesOneCodeAndKeepsTheEngineFromTheHostMeanwhile) {
  TStandinDevice receiver;
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
  ASSERT_EQ(Lib.OpenDevice(), KELHID_OK);
  // The host's own messages run while the dialog is open; the engine is not theirs then.
  int stop = 0, read = 0, state = 0;
  OnApp = [&] {
    stop = Lib.StopReceiving();
    read = Lib.GetState(&state);
  };
  PostMessageA(Target, WM_APP, 0, 0);
  std::thread remote([&] {
    const HWND dialog = WaitForCapture();
    EXPECT_NE(dialog, nullptr);
    SaveScreenshot(dialog, "Library-GetIRCode");
    EXPECT_TRUE(receiver.SendToReader(KeyB));
    EXPECT_TRUE(CaptureEnded(dialog)) << "the capture took no code";
  });
  unsigned code1 = 0, code2 = 0;
  EXPECT_EQ(Lib.GetIRCode(FALSE, FALSE, FALSE, &code1, &code2), KELHID_OK);
  remote.join();
  EXPECT_EQ(code1 * 1000 + code2, 2849011u);
  EXPECT_EQ(stop, KELHID_E_BUSY);
  EXPECT_EQ(read, KELHID_OK);
  EXPECT_EQ(Lib.GetState(&state), KELHID_OK);
  EXPECT_EQ(state, KELHID_STATE_OFF);  // as it was before

  // A WM_QUIT closes the dialog and is handed back to the host's loop.
  PostQuitMessage(7);
  EXPECT_EQ(Lib.GetIRCode(FALSE, FALSE, FALSE, &code1, &code2), KELHID_E_CANCELLED);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

// A host with a plain message loop of its own, as media players have: GetMessage and
// DispatchMessage, nothing of the library's. The receiver's reports come one at a time, the
// next once the last one's code has arrived and the 10 ms repeat delay has passed.
TEST_F(Library, AHostsOwnPlainMessageLoopReceivesEveryCode) {
  TStandinDevice receiver;
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
  ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
  ASSERT_TRUE(Arrived("state 3 15"));
  Got.clear();
  constexpr int Reports = 40;
  const HANDLE arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  OnCode = [&] { SetEvent(arrived); };
  const DWORD host = GetCurrentThreadId();
  std::thread remote([&] {
    for (int i = 0; i < Reports; ++i) {
      if (!receiver.SendToReader(i % 2 == 0 ? KeyA : KeyB)) break;
      const HANDLE waits[2] = {arrived, stop};
      if (WaitForMultipleObjects(2, waits, FALSE, 10000) != WAIT_OBJECT_0) break;
      Sleep(20);
    }
    PostThreadMessageA(host, WM_QUIT, 0, 0);
  });
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  SetEvent(stop);
  remote.join();
  OnCode = nullptr;
  CloseHandle(arrived);
  CloseHandle(stop);
  // Each code, and after each the state GET again.
  ASSERT_EQ(Got.size(), static_cast<size_t>(2 * Reports));
  for (int i = 0; i < Reports; ++i) {
    EXPECT_EQ(Got[2 * i], i % 2 == 0 ? "code 2977,5" : "code 2849,11") << i;
    EXPECT_EQ(Got[2 * i + 1], "state 3 15") << i;
  }
}

TEST_F(Library, ShowHIDSetupSavesTheChosenReceiverOrNothing) {
  TStandinDevice receiver;  // 1234:0001, the line the settings file selects
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  // The user closes the dialog once it is on the screen.
  const auto user = [](WPARAM Command, const char* Shot) {
    return std::thread([=] {
      HWND dialog = nullptr;
      for (int i = 0; i < 500 && (dialog == nullptr || !IsWindowVisible(dialog)); ++i) {
        Sleep(20);
        dialog = FindWindowA(nullptr, "HID Configuration");
      }
      if (Shot != nullptr) SaveScreenshot(dialog, Shot);
      PostMessageA(dialog, WM_COMMAND, Command, 0);
    });
  };
  const std::string dir = Folder.Path();
  unsigned key = 1;
  std::thread cancel = user(IDCANCEL, nullptr);
  EXPECT_EQ(Lib.ShowHIDSetup(dir.c_str(), &key), KELHID_E_CANCELLED);
  cancel.join();
  EXPECT_EQ(key, 0u);
  std::thread ok = user(IDOK, "Library-HIDSetup");
  ASSERT_EQ(Lib.ShowHIDSetup(dir.c_str(), &key), KELHID_OK) << Lib.Error();
  ok.join();
  EXPECT_EQ(key, 0x12340001u);
  EXPECT_EQ(Setting(KELHID_VENDOR_ID), 0x1234);
  char name[128] = {};
  GetPrivateProfileStringA("SETUP", "NAME", "", name, sizeof name,
                           Folder.File("KelHID.ini").c_str());
  EXPECT_NE(std::string(name), "");
  // The dialog gave the receiver back; the host starts it again.
  ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
  ASSERT_TRUE(receiver.SendToReader(KeyB));
  EXPECT_TRUE(Arrived("code 2849,11"));
}

// A sample program of the package, copied into Folder with the library and the stand-in
// services, started there with its output going to a file.
class TSampleProgram {
 public:
  TSampleProgram(const TTempDir& Folder, const std::string& Exe, DWORD Flags)
      : FFile(Folder.File("out.txt")),
        FOverrides("Software\\Wine\\AppDefaults\\" + Exe + "\\DllOverrides") {
    char self[MAX_PATH];
    std::string dir(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    dir.resize(dir.find_last_of('\\') + 1);
    for (const std::string& file :
         {Exe, std::string("KelHID.dll"), std::string("HID.dll"), std::string("SetupApi.dll")}) {
      EXPECT_TRUE(CopyFileA((dir + file).c_str(), Folder.File(file).c_str(), FALSE)) << file;
    }
    RegSetKeyValueA(HKEY_CURRENT_USER, FOverrides.c_str(), "setupapi", REG_SZ, "native", 7);
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const HANDLE out = CreateFileA(FFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    std::string command = "\"" + Folder.File(Exe) + "\"";
    Started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, Flags, nullptr,
                             Folder.Path().c_str(), &si, &Process) != FALSE;
    CloseHandle(out);
  }
  ~TSampleProgram() {
    if (Started) {
      TerminateProcess(Process.hProcess, 1);
      CloseHandle(Process.hProcess);
      CloseHandle(Process.hThread);
    }
    RegDeleteKeyValueA(HKEY_CURRENT_USER, FOverrides.c_str(), "setupapi");
  }
  TSampleProgram(const TSampleProgram&) = delete;
  TSampleProgram& operator=(const TSampleProgram&) = delete;

  // Whether the program printed Line within 20 s: a program that has just started can take
  // seconds to come up on a loaded machine.
  bool Printed(const std::string& Line) {
    return PumpUntil([&] { return ReadOutput().find(Line) != std::string::npos; }, 20000);
  }
  // Its exit code once it ended within 20 s; none otherwise.
  std::optional<DWORD> Ended() const {
    if (WaitForSingleObject(Process.hProcess, 20000) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 1;
    GetExitCodeProcess(Process.hProcess, &code);
    return code;
  }

  bool Started = false;
  PROCESS_INFORMATION Process{};
  std::string Text;  // what it printed, as last read

 private:
  const std::string& ReadOutput() {
    const HANDLE h = CreateFileA(FFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    Text.assign(8192, '\0');
    DWORD got = 0;
    ReadFile(h, Text.data(), static_cast<DWORD>(Text.size()), &got, nullptr);
    CloseHandle(h);
    Text.resize(got);
    return Text;
  }

  std::string FFile;
  std::string FOverrides;
};

TEST_F(Library, TheSampleHostPrintsTheCodesItReceives) {
  TStandinDevice receiver;
  TSampleProgram host(Folder, "KelHIDHost.exe", CREATE_NO_WINDOW);
  ASSERT_TRUE(host.Started);
  EXPECT_TRUE(host.Printed("KelHID.dll " KELHID_VERSION));
  EXPECT_TRUE(host.Printed("state GET"));
  EXPECT_TRUE(receiver.SendToReader(KeyA));
  EXPECT_TRUE(host.Printed("code 2977,5"));
  Sleep(20);
  EXPECT_TRUE(receiver.SendToReader(KeyB));
  EXPECT_TRUE(host.Printed("code 2849,11")) << host.Text;
  const HWND window = FindWindowA("KelHIDHost", nullptr);
  SaveScreenshot(window, "Library-SampleHost");
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(host.Ended(), std::optional<DWORD>(0));
}

// Presses Ctrl+C in the console of the process Id: this program joins that console for it,
// deaf to the key itself meanwhile.
bool PressCtrlC(DWORD Id) {
  FreeConsole();
  if (!AttachConsole(Id)) return false;
  SetConsoleCtrlHandler(nullptr, TRUE);
  const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
  Sleep(100);
  FreeConsole();
  SetConsoleCtrlHandler(nullptr, FALSE);
  return sent;
}

TEST_F(Library, TheConsoleSamplePrintsEachEventAndStopsOnCtrlC) {
  TStandinDevice receiver;
  // A console of its own, so that the Ctrl+C reaches it alone.
  TSampleProgram console(Folder, "KelHIDConsole.exe", CREATE_NEW_CONSOLE);
  ASSERT_TRUE(console.Started);
  EXPECT_TRUE(console.Printed("KelHID.dll " KELHID_VERSION ", interface 2"));
  EXPECT_TRUE(console.Printed("state GET"));
  // A press of KeyB, then its held reports: one code, repeats with the press's pair, and the
  // release once the reports stop.
  uint8_t held[sizeof KeyB];
  std::copy(std::begin(KeyB), std::end(KeyB), held);
  held[4] |= 0x80;
  EXPECT_TRUE(receiver.SendToReader(KeyB));
  EXPECT_TRUE(console.Printed("code 2849,11  ("));
  for (int i = 0; i < 3; ++i) {
    Sleep(30);
    EXPECT_TRUE(receiver.SendToReader(held));
  }
  EXPECT_TRUE(console.Printed("code 2849,11 repeat"));
  EXPECT_TRUE(console.Printed("release 2849,11")) << console.Text;
  EXPECT_EQ(console.Text.find("2977"), std::string::npos) << console.Text;
  ASSERT_TRUE(PressCtrlC(console.Process.dwProcessId));
  EXPECT_EQ(console.Ended(), std::optional<DWORD>(0));
  EXPECT_TRUE(console.Printed("stopped")) << console.Text;
}

TEST_F(Library, TheInterfaceVersionIsTheHeadersOnAnyThreadWithoutAnEngine) {
  EXPECT_EQ(KELHID_API_VERSION, 2);
  EXPECT_EQ(Lib.GetApiVersion(), KELHID_API_VERSION);
  std::thread([&] { EXPECT_EQ(Lib.GetApiVersion(), KELHID_API_VERSION); }).join();
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  EXPECT_EQ(Lib.GetApiVersion(), KELHID_API_VERSION);
}

TEST_F(Library, CopyLastErrorTextCutsToTheBufferAndTellsTheWholeLength) {
  int v = 0;
  ASSERT_EQ(Lib.GetState(&v), KELHID_E_NO_ENGINE);
  const std::string text = Lib.Error();
  ASSERT_GT(text.size(), 10u);
  const int whole = static_cast<int>(text.size());
  struct TCase {
    int Size;
    std::string Want;
  };
  for (const TCase& c : {TCase{1, ""},
                         {2, text.substr(0, 1)},
                         {whole, text.substr(0, text.size() - 1)},
                         {whole + 1, text},
                         {1024, text}}) {
    std::vector<char> buffer(static_cast<size_t>(c.Size) + 8, '#');
    EXPECT_EQ(Lib.CopyLastErrorText(buffer.data(), c.Size), whole) << c.Size;
    EXPECT_EQ(std::string(buffer.data()), c.Want) << c.Size;
    // Nothing written past Size.
    EXPECT_EQ(std::count(buffer.begin() + c.Size, buffer.end(), '#'), 8) << c.Size;
  }
  // A refusal keeps the text to be read.
  char one[4] = "##";
  for (const int size : {0, -1}) EXPECT_EQ(Lib.CopyLastErrorText(one, size), KELHID_E_ARGUMENT);
  EXPECT_EQ(Lib.CopyLastErrorText(nullptr, 64), KELHID_E_ARGUMENT);
  EXPECT_STREQ(one, "##");
  EXPECT_EQ(Lib.Error(), text);
  // Each thread copies its own text: this one failed in no call yet.
  std::thread([&] {
    char buffer[16] = "#";
    EXPECT_EQ(Lib.CopyLastErrorText(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
  }).join();
}

TEST_F(Library, DelaysDragEachOtherAlongAsTheDialogsBarsDo) {
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  struct TCase {
    int Repeat, Held;  // before
    int Field, Value;
    int WantRepeat, WantHeld;
  };
  for (const TCase& c : {
           // The repeat delay below the held delay takes it down along.
           TCase{500, 300, KELHID_REPEAT_DELAY, 200, 200, 200},
           {500, 300, KELHID_REPEAT_DELAY, 10, 10, 10},
           {500, 300, KELHID_REPEAT_DELAY, 300, 300, 300},
           {500, 300, KELHID_REPEAT_DELAY, 400, 400, 300},
           {500, 300, KELHID_REPEAT_DELAY, 5000, 5000, 300},
           // The held delay above the repeat delay takes it up along.
           {500, 300, KELHID_HELD_DELAY, 800, 800, 800},
           {500, 300, KELHID_HELD_DELAY, 5000, 5000, 5000},
           {500, 300, KELHID_HELD_DELAY, 500, 500, 500},
           {500, 300, KELHID_HELD_DELAY, 10, 500, 10},
       }) {
    ASSERT_EQ(Lib.SetSetting(KELHID_REPEAT_DELAY, 5000), KELHID_OK);
    ASSERT_EQ(Lib.SetSetting(KELHID_HELD_DELAY, c.Held), KELHID_OK);
    ASSERT_EQ(Lib.SetSetting(KELHID_REPEAT_DELAY, c.Repeat), KELHID_OK);
    ASSERT_EQ(Setting(KELHID_HELD_DELAY), c.Held);
    EXPECT_EQ(Lib.SetSetting(c.Field, c.Value), KELHID_OK) << c.Field << " " << c.Value;
    EXPECT_EQ(Setting(KELHID_REPEAT_DELAY), c.WantRepeat) << c.Field << " " << c.Value;
    EXPECT_EQ(Setting(KELHID_HELD_DELAY), c.WantHeld) << c.Field << " " << c.Value;
  }
  // A value out of range is refused and drags nothing.
  EXPECT_EQ(Lib.SetSetting(KELHID_HELD_DELAY, 5001), KELHID_E_ARGUMENT);
  EXPECT_EQ(Lib.SetSetting(KELHID_REPEAT_DELAY, 9), KELHID_E_ARGUMENT);
  EXPECT_EQ(Setting(KELHID_REPEAT_DELAY), 500);
  EXPECT_EQ(Setting(KELHID_HELD_DELAY), 10);
}

// The [SETUP] keys of a settings file, "key=value" each, in the file's order.
std::vector<std::string> SetupKeys(const std::string& Text) {
  std::vector<std::string> keys;
  size_t at = Text.find("[SETUP]\r\n");
  if (at == std::string::npos) return keys;
  at += 9;
  while (at < Text.size() && Text[at] != '[') {
    const size_t end = Text.find("\r\n", at);
    const std::string line = Text.substr(at, end - at);
    if (!line.empty()) keys.push_back(line);
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return keys;
}

TEST_F(Library, SaveHIDSettingsWritesTheSevenKeysAsTheDialogDoes) {
  TStandinDevice receiver;  // 1234:0001
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  Folder.Write("KelHID.ini", "[SETUP]\r\nNAME=Old name\r\nVID=1\r\n");
  for (const auto& [field, value] : std::vector<std::pair<int, int>>{{KELHID_VENDOR_ID, 0x1234},
                                                                     {KELHID_PRODUCT_ID, 1},
                                                                     {KELHID_REPEAT_DELAY, 700},
                                                                     {KELHID_HELD_DELAY, 120},
                                                                     {KELHID_CHECK_BYTE, 0xAB},
                                                                     {KELHID_USE_CHECK, 1},
                                                                     {KELHID_BEEP, 1}}) {
    ASSERT_EQ(Lib.SetSetting(field, value), KELHID_OK);
  }
  // No receiver claimed: NAME stays as it was.
  ASSERT_EQ(Lib.SaveHIDSettings(Folder.Path().c_str()), KELHID_OK) << Lib.Error();
  EXPECT_EQ(SetupKeys(Folder.Read("KelHID.ini")),
            (std::vector<std::string>{"NAME=Old name", "VID=4660", "PID=1", "Delay=700",
                                      "HeldDelay=120", "Check=171", "UseCheck=1"}));
  // With the receiver claimed, NAME is its line in the dialog's list.
  ASSERT_EQ(Lib.OpenDevice(), KELHID_OK) << Lib.Error();
  ASSERT_EQ(Lib.SaveHIDSettings((Folder.Path() + "\\").c_str()), KELHID_OK) << Lib.Error();
  const std::vector<std::string> keys = SetupKeys(Folder.Read("KelHID.ini"));
  ASSERT_EQ(keys.size(), 7u);
  EXPECT_EQ(keys[0].rfind("NAME=", 0), 0u);
  EXPECT_NE(keys[0].find(" - Stand-in Vendor 1234 (4660,1)"), std::string::npos) << keys[0];
  EXPECT_EQ(keys[1], "VID=4660");
  // What was saved loads back; the beep is no setting of the file.
  ASSERT_EQ(Lib.SetSetting(KELHID_REPEAT_DELAY, 10), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
  EXPECT_EQ(Setting(KELHID_REPEAT_DELAY), 700);
  EXPECT_EQ(Setting(KELHID_HELD_DELAY), 120);
  EXPECT_EQ(Setting(KELHID_CHECK_BYTE), 0xAB);
  EXPECT_EQ(Setting(KELHID_USE_CHECK), 1);

  // No directory, and a file that cannot be written (a folder of that name): clear results.
  EXPECT_EQ(Lib.SaveHIDSettings((Folder.Path() + "\\missing").c_str()), KELHID_E_NO_DIRECTORY);
  EXPECT_NE(Lib.Error().find("missing"), std::string::npos);
  EXPECT_EQ(Lib.SaveHIDSettings(""), KELHID_E_NO_DIRECTORY);
  ASSERT_TRUE(CreateDirectoryA(Folder.File("locked").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((Folder.File("locked") + "\\KelHID.ini").c_str(), nullptr));
  EXPECT_EQ(Lib.SaveHIDSettings(Folder.File("locked").c_str()), KELHID_E_WRITE);
  EXPECT_NE(Lib.Error().find("Unable to write to"), std::string::npos) << Lib.Error();
  EXPECT_EQ(Setting(KELHID_REPEAT_DELAY), 700);  // the engine keeps its settings
}

// A folder whose name the ANSI code page cannot spell, removed at the end.
class TWideFolder {
 public:
  explicit TWideFolder(const std::string& Parent)
      : FPath(Wide(Parent) + L"\\\u03A1\u03CD\u03B8\u03BC\u03B9\u03C3\u03B7 \u8A2D\u5B9A") {
    CreateDirectoryW(FPath.c_str(), nullptr);
  }
  ~TWideFolder() {
    DeleteFileW(File().c_str());
    RemoveDirectoryW(FPath.c_str());
  }
  TWideFolder(const TWideFolder&) = delete;
  TWideFolder& operator=(const TWideFolder&) = delete;
  [[nodiscard]] const std::wstring& Path() const { return FPath; }
  [[nodiscard]] std::wstring File() const { return FPath + L"\\KelHID.ini"; }
  [[nodiscard]] std::string Read() const {
    const HANDLE h = CreateFileW(File().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    std::string text(4096, '\0');
    DWORD got = 0;
    if (h != INVALID_HANDLE_VALUE) ReadFile(h, text.data(), 4096, &got, nullptr);
    CloseHandle(h);
    text.resize(got);
    return text;
  }

 private:
  std::wstring FPath;
};

TEST_F(Library, WidePathCallsWorkInAFolderOutsideTheAnsiCodePage) {
  TStandinDevice receiver;
  const TWideFolder folder(Folder.Path());
  ASSERT_NE(GetFileAttributesW(folder.Path().c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  EXPECT_EQ(Lib.LoadHIDSettingsW(folder.Path().c_str()), KELHID_E_NO_FILE);
  EXPECT_EQ(Lib.LoadHIDSettingsW((folder.Path() + L"x").c_str()), KELHID_E_NO_DIRECTORY);
  ASSERT_EQ(Lib.SetSetting(KELHID_VENDOR_ID, 0x1234), KELHID_OK);
  ASSERT_EQ(Lib.SetSetting(KELHID_PRODUCT_ID, 1), KELHID_OK);
  ASSERT_EQ(Lib.SetSetting(KELHID_HELD_DELAY, 40), KELHID_OK);
  ASSERT_EQ(Lib.SaveHIDSettingsW((L"  " + folder.Path() + L" ").c_str()), KELHID_OK) << Lib.Error();
  EXPECT_EQ(SetupKeys(folder.Read()),
            (std::vector<std::string>{"VID=4660", "PID=1", "Delay=500", "HeldDelay=40", "Check=0",
                                      "UseCheck=0"}));
  ASSERT_EQ(Lib.SetSetting(KELHID_VENDOR_ID, 7), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettingsW(folder.Path().c_str()), KELHID_OK) << Lib.Error();
  EXPECT_EQ(Setting(KELHID_VENDOR_ID), 0x1234);
  EXPECT_EQ(Setting(KELHID_HELD_DELAY), 40);

  // The configuration dialog saves there too.
  std::thread user([] {
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && (dialog == nullptr || !IsWindowVisible(dialog)); ++i) {
      Sleep(20);
      dialog = FindWindowA(nullptr, "HID Configuration");
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  unsigned key = 0;
  EXPECT_EQ(Lib.ShowHIDSetupW(folder.Path().c_str(), &key), KELHID_OK) << Lib.Error();
  user.join();
  EXPECT_EQ(key, 0x12340001u);
  // The file had the other six keys: NAME comes after them.
  const std::vector<std::string> keys = SetupKeys(folder.Read());
  ASSERT_EQ(keys.size(), 7u);
  EXPECT_EQ(keys[3], "HeldDelay=40");  // as loaded into the dialog's bar
  EXPECT_EQ(keys[6].rfind("NAME=", 0), 0u);
  EXPECT_NE(keys[6].find("(4660,1)"), std::string::npos) << keys[6];
}

// A top-level window of the host, shown.
HWND HostWindow(const char* Caption, int X, int Y, int W, int H) {
  return CreateWindowExA(0, "STATIC", Caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, X, Y, W, H,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A window of that caption once it is on the screen; none after 10 s.
HWND WaitForWindow(const char* Caption) {
  for (int i = 0; i < 500; ++i) {
    const HWND window = FindWindowA(nullptr, Caption);
    if (window != nullptr && IsWindowVisible(window)) return window;
    Sleep(20);
  }
  return nullptr;
}

TEST_F(Library, DialogsOfAnOwnerWindowDisableOnlyIt) {
  TStandinDevice receiver;
  const int sw = GetSystemMetrics(SM_CXSCREEN);
  const int sh = GetSystemMetrics(SM_CYSCREEN);
  const HWND owner = HostWindow("Host window", sw / 2 - 300, sh / 2 - 230, 600, 460);
  const HWND other = HostWindow("Other window", 0, 0, 200, 120);
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
  // A child window stands for its top-level window.
  const HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, owner,
                                     nullptr, nullptr, nullptr);
  ASSERT_EQ(Lib.SetOwnerWindow(child), KELHID_OK);

  struct TSeen {
    bool Found = false, OwnerEnabled = true, OtherEnabled = false;
    HWND DialogOwner = nullptr;
  };
  const auto look = [&](HWND Dialog) {
    return TSeen{Dialog != nullptr, IsWindowEnabled(owner) != FALSE,
                 IsWindowEnabled(other) != FALSE, GetWindow(Dialog, GW_OWNER)};
  };
  // The configuration dialog, and the Get IR Code dialog that its Test button opens over it.
  TSeen setup, capture, captureSetup;
  HWND setupDialog = nullptr;
  std::thread user([&] {
    const HWND dialog = WaitForWindow("HID Configuration");
    setupDialog = dialog;
    setup = look(dialog);
    SaveScreenshot(owner, "Library-OwnedHIDSetup");
    const HWND test = FindWindowExA(dialog, nullptr, nullptr, "&Test");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(test), BN_CLICKED),
                 reinterpret_cast<LPARAM>(test));
    const HWND getIR = WaitForWindow("Get IR Code");
    capture = look(getIR);
    captureSetup.OwnerEnabled = IsWindowEnabled(dialog) != FALSE;
    captureSetup.DialogOwner = getIR != nullptr ? GetWindow(getIR, GW_OWNER) : nullptr;
    PostMessageA(getIR, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 500 && IsWindowVisible(getIR); ++i) Sleep(20);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  unsigned key = 0;
  EXPECT_EQ(Lib.ShowHIDSetup(Folder.Path().c_str(), &key), KELHID_E_CANCELLED);
  user.join();
  ASSERT_TRUE(setup.Found);
  EXPECT_FALSE(setup.OwnerEnabled);
  EXPECT_TRUE(setup.OtherEnabled);
  EXPECT_EQ(setup.DialogOwner, owner);
  ASSERT_TRUE(capture.Found);
  EXPECT_FALSE(capture.OwnerEnabled);
  EXPECT_TRUE(capture.OtherEnabled);
  EXPECT_FALSE(captureSetup.OwnerEnabled);  // the configuration dialog waits meanwhile
  EXPECT_EQ(captureSetup.DialogOwner, setupDialog);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(IsWindowEnabled(other));

  // The Get IR Code dialog of the host.
  ASSERT_EQ(Lib.OpenDevice(), KELHID_OK);
  TSeen alone;
  std::thread cancel([&] {
    const HWND dialog = WaitForWindow("Get IR Code");
    alone = look(dialog);
    SaveScreenshot(owner, "Library-OwnedGetIRCode");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  unsigned code[2] = {};
  EXPECT_EQ(Lib.GetIRCode(FALSE, FALSE, FALSE, &code[0], &code[1]), KELHID_E_CANCELLED);
  cancel.join();
  ASSERT_TRUE(alone.Found);
  EXPECT_FALSE(alone.OwnerEnabled);
  EXPECT_TRUE(alone.OtherEnabled);
  EXPECT_EQ(alone.DialogOwner, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(IsWindowEnabled(other));

  // Without an owner every window of the thread waits, as before.
  ASSERT_EQ(Lib.SetOwnerWindow(nullptr), KELHID_OK);
  TSeen none;
  std::thread close([&] {
    const HWND dialog = WaitForWindow("Get IR Code");
    none = look(dialog);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(Lib.GetIRCode(FALSE, FALSE, FALSE, &code[0], &code[1]), KELHID_E_CANCELLED);
  close.join();
  ASSERT_TRUE(none.Found);
  EXPECT_FALSE(none.OwnerEnabled);
  EXPECT_FALSE(none.OtherEnabled);
  EXPECT_EQ(none.DialogOwner, nullptr);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(IsWindowEnabled(other));
  DestroyWindow(other);
  DestroyWindow(owner);
}

TEST_F(Library, AWindowlessEnginesDialogIsOwnedByTheCallersWindow) {
  TStandinDevice receiver;
  const int sw = GetSystemMetrics(SM_CXSCREEN);
  const int sh = GetSystemMetrics(SM_CYSCREEN);
  const HWND owner = HostWindow("Host window", sw / 2 - 300, sh / 2 - 230, 600, 460);
  const HWND other = HostWindow("Other window", 0, 0, 200, 120);
  ASSERT_EQ(Lib.Create(nullptr), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
  ASSERT_EQ(Lib.OpenDevice(), KELHID_OK);
  ASSERT_EQ(Lib.SetOwnerWindow(owner), KELHID_OK);
  // The dialog runs on the engine's thread; the caller's windows answer while it waits.
  bool ownerEnabled = true, otherEnabled = false;
  HWND dialogOwner = nullptr;
  std::thread user([&] {
    const HWND dialog = WaitForWindow("Get IR Code");
    ownerEnabled = IsWindowEnabled(owner) != FALSE;
    otherEnabled = IsWindowEnabled(other) != FALSE;
    dialogOwner = GetWindow(dialog, GW_OWNER);
    SaveScreenshot(owner, "Library-WindowlessOwnedGetIRCode");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  unsigned code[2] = {};
  EXPECT_EQ(Lib.GetIRCode(FALSE, FALSE, FALSE, &code[0], &code[1]), KELHID_E_CANCELLED);
  user.join();
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(otherEnabled);
  EXPECT_EQ(dialogOwner, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(IsWindowEnabled(other));
  DestroyWindow(other);
  DestroyWindow(owner);
}

// The library as a host that unloads it uses it: the module itself, found by name.
class Unloading : public ::testing::Test {
 protected:
  static bool Loaded() { return GetModuleHandleA("KelHID.dll") != nullptr; }
  // Waits until the library has gone from the process.
  static bool Unloaded() {
    return PumpUntil([] { return !Loaded(); });
  }
  template <class F>
  static F Entry(HMODULE Module, const char* Name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(Module, Name)));
  }
};

TEST_F(Unloading, FreeAfterTheHostsFreeLibraryReturnsToTheHostAndTheLibraryGoes) {
  ASSERT_FALSE(Loaded());
  HWND target = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  for (int round = 0; round < 3; ++round) {
    HMODULE module = LoadLibraryA("KelHID.dll");
    ASSERT_NE(module, nullptr);
    const auto create = Entry<decltype(&KelHID_Create)>(module, "KelHID_Create");
    const auto free = Entry<decltype(&KelHID_Free)>(module, "KelHID_Free");
    ASSERT_EQ(create(target), KELHID_OK);
    // The host lets go of the library first; the engine keeps it loaded until it is freed.
    FreeLibrary(module);
    ASSERT_TRUE(Loaded());
    EXPECT_EQ(free(), KELHID_OK);
    EXPECT_TRUE(Unloaded()) << round;
  }
  DestroyWindow(target);
}

TEST_F(Unloading, ThreadsWithAnErrorTextEndCleanlyBeforeAndAfterTheLibraryWent) {
  ASSERT_FALSE(Loaded());
  HMODULE module = LoadLibraryA("KelHID.dll");
  ASSERT_NE(module, nullptr);
  const auto state = Entry<decltype(&KelHID_GetState)>(module, "KelHID_GetState");
  const auto text = Entry<decltype(&KelHID_GetLastErrorText)>(module, "KelHID_GetLastErrorText");
  // One thread ends while the library is loaded, the others after it went; each had a failure
  // whose text is its own.
  const HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::thread> threads;
  std::vector<std::string> seen(5);
  for (size_t i = 0; i < seen.size(); ++i) {
    const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    threads.emplace_back([&, i, ready] {
      int value = 0;
      EXPECT_EQ(state(i == 0 ? nullptr : &value), KELHID_E_NO_ENGINE);
      seen[i] = text();
      SetEvent(ready);
      if (i != 0) WaitForSingleObject(go, INFINITE);
    });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    if (i == 0) threads.back().join();
  }
  for (const std::string& t : seen) EXPECT_NE(t.find("KelHID_Create"), std::string::npos);
  EXPECT_STREQ(text(), "");  // this thread's own: no call of it failed
  FreeLibrary(module);
  ASSERT_FALSE(Loaded());
  SetEvent(go);
  for (size_t i = 1; i < threads.size(); ++i) threads[i].join();
  CloseHandle(go);
  // The process goes on: a new load works as the first.
  module = LoadLibraryA("KelHID.dll");
  ASSERT_NE(module, nullptr);
  const auto state2 = Entry<decltype(&KelHID_GetState)>(module, "KelHID_GetState");
  int value = 0;
  EXPECT_EQ(state2(&value), KELHID_E_NO_ENGINE);
  FreeLibrary(module);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Stand-in receivers on a bus of this process's own.
  SetEnvironmentVariableA(standin::BusVariable,
                          ("lib" + std::to_string(GetCurrentProcessId())).c_str());
  standin::ClearBus(standin::BusName());
  const int result = RUN_ALL_TESTS();
  standin::ClearBus(standin::BusName());
  return result;
}
