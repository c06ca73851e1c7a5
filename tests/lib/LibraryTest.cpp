// KelHID.dll as another program uses it: loaded by name, called through its exports only,
// with the stand-in HID.dll and SetupApi.dll beside this program and stand-in receivers.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "lib/LibraryHost.h"
#include "library/KelHID.h"
#include "sim/StandinDevice.h"
#include "ui/Screenshot.h"
#include "win/TempDir.h"

namespace {

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
  for (const int result :
       {Lib.SetTargetWindow(nullptr), Lib.LoadHIDSettings(nullptr), Lib.ShowHIDSetup(nullptr, &a),
        Lib.ShowHIDSetup(dir.c_str(), nullptr), Lib.GetIRCode(TRUE, TRUE, TRUE, &a, nullptr),
        Lib.StartReceiving(2), Lib.StartReceiving(-1), Lib.GetState(nullptr),
        Lib.GetCode(nullptr, &a), Lib.GetSetting(0, &v), Lib.GetSetting(KELHID_BEEP, nullptr),
        Lib.SetSetting(99, 1), Lib.GetVersion(&a, &a, nullptr, &a)}) {
    EXPECT_EQ(result, KELHID_E_ARGUMENT);
  }
  // Each field: its bounds taken, one past them refused.
  struct TBounds {
    int Field, Min, Max, Default;
  };
  for (const TBounds& f : {TBounds{KELHID_VENDOR_ID, 0, 65535, 0},
                           {KELHID_PRODUCT_ID, 0, 65535, 0},
                           {KELHID_REPEAT_DELAY, 10, 5000, 500},
                           {KELHID_HELD_DELAY, 10, 5000, 500},
                           {KELHID_CHECK_BYTE, 0, 255, 0},
                           {KELHID_USE_CHECK, 0, 1, 0},
                           {KELHID_BEEP, 0, 1, 0}}) {
    EXPECT_EQ(Lib.SetSetting(f.Field, f.Min - 1), KELHID_E_ARGUMENT) << f.Field;
    EXPECT_EQ(Lib.SetSetting(f.Field, f.Max + 1), KELHID_E_ARGUMENT) << f.Field;
    EXPECT_EQ(Setting(f.Field), f.Default) << f.Field;
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
    HWND dialog = nullptr;
    char text[64] = {};
    for (int i = 0; i < 500 && std::string(text) != "Press a Key on your Remote"; ++i) {
      Sleep(20);
      dialog = FindWindowA(nullptr, "Get IR Code");
      SendMessageA(FindWindowExA(dialog, nullptr, "TPanel", nullptr), WM_GETTEXT, sizeof text,
                   reinterpret_cast<LPARAM>(text));
    }
    SaveScreenshot(dialog, "Library-GetIRCode");
    EXPECT_TRUE(receiver.SendToReader(KeyB));
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

TEST_F(Library, TheSampleHostPrintsTheCodesItReceives) {
  char self[MAX_PATH];
  std::string dir(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  dir.resize(dir.find_last_of('\\') + 1);
  for (const char* file : {"KelHIDHost.exe", "KelHID.dll", "HID.dll", "SetupApi.dll"}) {
    ASSERT_TRUE(CopyFileA((dir + file).c_str(), Folder.File(file).c_str(), FALSE)) << file;
  }
  const std::string overrides = "Software\\Wine\\AppDefaults\\KelHIDHost.exe\\DllOverrides";
  RegSetKeyValueA(HKEY_CURRENT_USER, overrides.c_str(), "setupapi", REG_SZ, "native", 7);
  TStandinDevice receiver;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const std::string file = Folder.File("out.txt");
  const HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = out;
  PROCESS_INFORMATION process{};
  std::string command = "\"" + Folder.File("KelHIDHost.exe") + "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, Folder.Path().c_str(), &si, &process));
  CloseHandle(out);
  std::string text;
  const auto printed = [&](const char* Line) {
    return PumpUntil([&] {
      const HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
      text.assign(4096, '\0');
      DWORD got = 0;
      ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
      CloseHandle(h);
      text.resize(got);
      return text.find(Line) != std::string::npos;
    });
  };
  EXPECT_TRUE(printed("KelHID.dll " KELHID_VERSION));
  EXPECT_TRUE(printed("state GET"));
  EXPECT_TRUE(receiver.SendToReader(KeyA));
  EXPECT_TRUE(printed("code 2977,5"));
  Sleep(20);
  EXPECT_TRUE(receiver.SendToReader(KeyB));
  EXPECT_TRUE(printed("code 2849,11")) << text;
  const HWND window = FindWindowA("KelHIDHost", nullptr);
  SaveScreenshot(window, "Library-SampleHost");
  PostMessageA(window, WM_CLOSE, 0, 0);
  DWORD code = 1;
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  RegDeleteKeyValueA(HKEY_CURRENT_USER, overrides.c_str(), "setupapi");
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
