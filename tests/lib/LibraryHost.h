// A host of KelHID.dll for the tests: the library loaded by name and called through its exports
// only, a target window of the host's own, and a folder with its settings.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "library/KelHID.h"
#include "win/TempDir.h"

// NOLINTBEGIN(misc-definitions-in-headers): one test program, several files.
namespace {

// 9-byte reports of a stand-in receiver, decoded to 2977,5 and 2849,11.
const uint8_t KeyA[] = {0x00, 0x05, 0x00, 0x0B, 0x81, 0x00, 0x00, 0x00, 0x00};
const uint8_t KeyB[] = {0x00, 0x0B, 0x0B, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};

// The library's entries, found by name.
struct TKelHID {
  HMODULE Module = LoadLibraryA("KelHID.dll");
  std::vector<std::string> Missing;
  template <class F>
  F Entry(const char* Name) {
    const FARPROC entry = GetProcAddress(Module, Name);
    if (entry == nullptr) Missing.emplace_back(Name);
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(entry));
  }
#define KELHID_ENTRY(Name) \
  decltype(&KelHID_##Name) Name = Entry<decltype(&KelHID_##Name)>("KelHID_" #Name);
  KELHID_ENTRY(GetVersion)
  KELHID_ENTRY(GetLastErrorText)
  KELHID_ENTRY(Create)
  KELHID_ENTRY(Free)
  KELHID_ENTRY(SetTargetWindow)
  KELHID_ENTRY(LoadHIDSettings)
  KELHID_ENTRY(ShowHIDSetup)
  KELHID_ENTRY(GetIRCode)
  KELHID_ENTRY(OpenDevice)
  KELHID_ENTRY(StartReceiving)
  KELHID_ENTRY(StopReceiving)
  KELHID_ENTRY(Disconnect)
  KELHID_ENTRY(PostCode)
  KELHID_ENTRY(GetState)
  KELHID_ENTRY(GetCode)
  KELHID_ENTRY(GetSetting)
  KELHID_ENTRY(SetSetting)
  KELHID_ENTRY(WaitEvent)
  KELHID_ENTRY(GetApiVersion)
  KELHID_ENTRY(SaveHIDSettings)
  KELHID_ENTRY(LoadHIDSettingsW)
  KELHID_ENTRY(SaveHIDSettingsW)
  KELHID_ENTRY(ShowHIDSetupW)
  KELHID_ENTRY(CopyLastErrorText)
  KELHID_ENTRY(SetOwnerWindow)
#undef KELHID_ENTRY
  ~TKelHID() {
    FreeLibrary(Module);
  }
  [[nodiscard]] std::string Error() const {
    return GetLastErrorText();
  }
};

// Runs this thread's messages until Done holds; false after TimeoutMs.
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 5000) {
  const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (Done()) return true;
    if (GetTickCount64() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

// The library's "Get IR Code" dialog once its capture has begun (a timer tick after it is first
// painted: a report sent before then is not taken), waiting up to 20 s; none otherwise.
HWND WaitForCapture() {
  for (int i = 0; i < 1000; ++i) {
    const HWND dialog = FindWindowA(nullptr, "Get IR Code");
    char text[64] = {};
    SendMessageA(FindWindowExA(dialog, nullptr, "TPanel", nullptr), WM_GETTEXT, sizeof text,
                 reinterpret_cast<LPARAM>(text));
    if (dialog != nullptr && std::string(text) == "Press a Key on your Remote") return dialog;
    Sleep(20);
  }
  return nullptr;
}

// Whether the dialog went within 20 s. One that stays is cancelled, so that a test whose
// capture took no code fails instead of waiting for ever.
bool CaptureEnded(HWND Dialog) {
  for (int i = 0; i < 1000 && IsWindow(Dialog); ++i) Sleep(20);
  if (!IsWindow(Dialog)) return true;
  PostMessageA(Dialog, WM_COMMAND, IDCANCEL, 0);
  return false;
}

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every entry is there by its undecorated name.
    ASSERT_TRUE(Lib.Missing.empty()) << Lib.Missing.front();
    Current = this;
    WNDCLASSA wc{};
    wc.lpfnWndProc = &TargetProc;
    wc.lpszClassName = "LibraryTestTarget";
    RegisterClassA(&wc);
    Target =
        CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    Folder.Write("KelHID.ini", "[SETUP]\r\nVID=4660\r\nPID=1\r\nDelay=10\r\nHeldDelay=10\r\n");
  }
  void TearDown() override {
    Lib.Free();
    DestroyWindow(Target);
  }

  // The target window writes down what it gets: "state 3", "code 2849,11".
  static LRESULT CALLBACK TargetProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const auto low = [](auto v) { return std::to_string(static_cast<uint32_t>(v)); };
    if (Msg == WM_HID_STATUS) Current->Got.push_back("state " + low(wParam) + " " + low(lParam));
    if (Msg == WM_HID_CODE) {
      Current->Got.push_back("code " + low(wParam) + "," + low(lParam));
      if (Current->OnCode) Current->OnCode();
    }
    if (Msg == WM_APP) Current->OnApp();
    if (Msg == WM_HID_EVENT && Current->OnEvent) Current->OnEvent();
    return DefWindowProcA(Window, Msg, wParam, lParam);
  }
  bool Arrived(const std::string& Message) {
    return PumpUntil([&] { return std::find(Got.begin(), Got.end(), Message) != Got.end(); });
  }
  int Setting(int Field) {
    int value = -12345;
    EXPECT_EQ(Lib.GetSetting(Field, &value), KELHID_OK);
    return value;
  }

  static inline Library* Current = nullptr;
  TKelHID Lib;
  HWND Target = nullptr;
  std::vector<std::string> Got;
  std::function<void()> OnApp;
  std::function<void()> OnEvent;
  std::function<void()> OnCode;
  TTempDir Folder;
};

}  // namespace
// NOLINTEND(misc-definitions-in-headers)
