// DemoPilot.exe: the user of the unattended demo. It waits for the "Test HID" window and the
// "Virtual Remote" playing its sequence, has every accepted code listed (unticks "Unique Values
// Only") and presses START. While the remote plays, it meets the unplug as a user would: STOP
// and START show that the receiver is gone, and START after the re-plug claims it again. When
// the sequence is done it reads both windows, as a screen reader would, and prints what it
// found, one "name=value" a line:
//   codes_before_unplug=N  codes Test HID listed before the receiver went
//   unplugged_state=TEXT   Test HID's state after START while the receiver was unplugged
//   replugged_state=TEXT   its state after START once the receiver was back
//   codes=N                codes Test HID lists at the end (START cleared the list)
//   held_reports=N         reports the remote sent for its held key while it was read
//   held_codes=N           codes Test HID listed for that key
// Exit code: 0 when codes arrived, 1 when none did, 2 when a window or a state did not come.
//
// DemoPilot.exe --press KEY [MS] is the user of the remote program instead: it waits until the
// "KelHID Remote" window shows that it receives, then presses the Virtual Remote's KEY ("Vol +")
// with the mouse and holds it down for MS milliseconds (default 0). Exit code 0 when it did, 2
// when a window did not come. DemoPilot.exe --close closes both windows as their close boxes
// do (Wine's taskkill does not see the 64-bit programs).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sim/RemoteKeys.h"

namespace {

constexpr std::string_view HeldKey = "Vol +";

std::string TextOf(HWND Window) {
  char text[256] = {};
  if (Window != nullptr) GetWindowTextA(Window, text, sizeof text);
  return text;
}

// The items of another program's list box (Wine passes list box text between processes as
// UTF-16).
std::vector<std::string> ListItems(HWND List) {
  std::vector<std::string> items;
  const auto count = SendMessageW(List, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const auto length = SendMessageW(List, LB_GETTEXTLEN, i, 0);
    if (length < 0) continue;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(List, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    std::string narrow;
    for (const wchar_t c : text) {
      if (c == L'\0') break;
      narrow += static_cast<char>(c < 0x80 ? c : '?');
    }
    items.push_back(std::move(narrow));
  }
  return items;
}

std::vector<HWND> Children(HWND Parent, const char* Class) {
  std::vector<HWND> found;
  HWND w = nullptr;
  while ((w = FindWindowExA(Parent, w, Class, nullptr)) != nullptr) found.push_back(w);
  return found;
}

template <class F>
bool WaitUntil(F&& Done, DWORD TimeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
  while (!Done()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(20);
  }
  return true;
}

[[noreturn]] void Fail(const char* What) {
  std::printf("error=%s\n", What);
  std::fflush(stdout);
  std::exit(2);
}

HWND VisibleWindow(const char* Class, const char* Caption) {
  const HWND w = FindWindowA(Class, Caption);
  return w != nullptr && IsWindowVisible(w) ? w : nullptr;
}

bool Ticked(HWND CheckBox) {
  return SendMessageA(CheckBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

struct TTestHid {
  HWND Window = nullptr;
  HWND StartStop = nullptr;  // "START" / "STOP"
  HWND Unique = nullptr;
  HWND List = nullptr;
  HWND State = nullptr;

  void Click() const { SendMessageA(StartStop, BM_CLICK, 0, 0); }
  bool WaitForState(std::string_view Text, DWORD TimeoutMs = 10000) const {
    return WaitUntil([&] { return TextOf(State) == Text; }, TimeoutMs);
  }
};

struct TRemote {
  HWND Window = nullptr;
  HWND PluggedIn = nullptr;
  HWND List = nullptr;
  std::vector<HWND> Labels;

  [[nodiscard]] bool Done() const {
    for (const HWND label : Labels) {
      if (TextOf(label) == "Sequence done.") return true;
    }
    return false;
  }
};

// The key code of a line of the remote's list ("00 4B 0B 90 ...  Vol + held") whose report
// was read, with its held flag; -1 for any other line.
int ReadReportKeyCode(const std::string& Line) {
  if (Line.size() < 3 * remote::ReportLength - 1 || Line.find("not read") != std::string::npos ||
      Line.find("unplugged") != std::string::npos) {
    return -1;
  }
  remote::TReport report{};
  for (size_t i = 0; i < report.size(); ++i) {
    report[i] = static_cast<uint8_t>(std::strtoul(Line.substr(3 * i, 2).c_str(), nullptr, 16));
  }
  if (report[1] != remote::ScanCode || report[2] != remote::KeyPage) return -1;
  return report[3];
}

// The remote program's part: a key held on the Virtual Remote once KelHID Remote receives.
int PressKey(const char* Key, DWORD HoldMs) {
  HWND program = nullptr;
  HWND remote = nullptr;
  if (!WaitUntil(
          [&] {
            program = VisibleWindow("TRemoteForm", "KelHID Remote");
            remote = VisibleWindow("TVirtualRemote", "Virtual Remote");
            return program != nullptr && remote != nullptr &&
                   TextOf(FindWindowExA(program, nullptr, "TPanel", nullptr)) == "Receiving";
          },
          60000)) {
    Fail("KelHID Remote (receiving) and the Virtual Remote did not both appear");
  }
  const HWND body = FindWindowExA(remote, nullptr, "TPanel", nullptr);
  const HWND button = FindWindowExA(body, nullptr, "Button", Key);
  if (button == nullptr) Fail("the Virtual Remote has no such key");
  PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  Sleep(HoldMs);
  PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  std::printf("pressed=%s\n", Key);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--close") {
    for (const char* caption : {"KelHID Remote", "Virtual Remote"}) {
      if (const HWND w = FindWindowA(nullptr, caption)) PostMessageA(w, WM_CLOSE, 0, 0);
    }
    return 0;
  }
  if (argc >= 3 && std::string_view(argv[1]) == "--press") {
    return PressKey(argv[2], argc >= 4 ? std::strtoul(argv[3], nullptr, 10) : 0);
  }
  TTestHid testHid;
  TRemote remote;
  if (!WaitUntil(
          [&] {
            testHid.Window = VisibleWindow("TForm1", "Test HID");
            remote.Window = VisibleWindow("TVirtualRemote", "Virtual Remote");
            return testHid.Window != nullptr && remote.Window != nullptr;
          },
          60000)) {
    Fail("the Test HID and Virtual Remote windows did not both appear");
  }
  testHid.StartStop = FindWindowExA(testHid.Window, nullptr, "Button", "START");
  testHid.Unique = FindWindowExA(testHid.Window, nullptr, "Button", "Unique Values Only");
  testHid.List = FindWindowExA(testHid.Window, nullptr, "ListBox", nullptr);
  const std::vector<HWND> panels = Children(testHid.Window, "TPanel");
  if (testHid.StartStop == nullptr || testHid.Unique == nullptr || testHid.List == nullptr ||
      panels.size() != 3) {
    Fail("the Test HID window is not as expected");
  }
  testHid.State = panels[2];
  remote.PluggedIn = FindWindowExA(remote.Window, nullptr, "Button", "Plugged in");
  remote.List = FindWindowExA(remote.Window, nullptr, "ListBox", nullptr);
  remote.Labels = Children(remote.Window, "TLabel");
  if (remote.PluggedIn == nullptr || remote.List == nullptr) {
    Fail("the Virtual Remote window is not as expected");
  }

  // Every accepted code gets a line of its own, so that the repeat gate can be seen.
  if (Ticked(testHid.Unique)) SendMessageA(testHid.Unique, BM_CLICK, 0, 0);
  testHid.Click();
  if (!testHid.WaitForState("GET", 20000)) Fail("START did not reach GET");

  size_t codesBeforeUnplug = 0;
  std::string unpluggedState = "-";
  std::string repluggedState = "-";
  bool unplugSeen = false;
  bool replugSeen = false;
  const bool finished = WaitUntil(
      [&] {
        if (!unplugSeen && !Ticked(remote.PluggedIn)) {
          unplugSeen = true;
          codesBeforeUnplug = ListItems(testHid.List).size();
          testHid.Click();  // STOP
          testHid.WaitForState("off");
          testHid.Click();  // START finds no receiver
          testHid.WaitForState("NONE");
          Sleep(300);  // whatever else START posted has come
          unpluggedState = TextOf(testHid.State);
        }
        if (unplugSeen && !replugSeen && Ticked(remote.PluggedIn)) {
          replugSeen = true;
          testHid.Click();  // START claims it again
          testHid.WaitForState("GET");
          Sleep(300);
          repluggedState = TextOf(testHid.State);
        }
        return remote.Done();
      },
      180000);
  if (!finished) Fail("the remote did not finish its sequence");
  Sleep(500);  // the last codes on their way

  const std::vector<std::string> codes = ListItems(testHid.List);
  const uint8_t heldKey = remote::FindKey(HeldKey)->Code;
  const auto pair = [](uint32_t Code1) {
    return std::to_string(Code1) + "," + std::to_string(remote::KeyCode2);
  };
  size_t heldCodes = 0;
  for (const std::string& code : codes) {
    if (code == pair(remote::KeyCode1(heldKey, false)) ||
        code == pair(remote::KeyCode1(heldKey, true))) {
      ++heldCodes;
    }
  }
  size_t heldReports = 0;
  for (const std::string& line : ListItems(remote.List)) {
    const int code = ReadReportKeyCode(line);
    if (code >= 0 && (code & ~remote::HeldFlag) == heldKey) ++heldReports;
  }

  std::printf("codes_before_unplug=%u\n", static_cast<unsigned>(codesBeforeUnplug));
  std::printf("unplugged_state=%s\n", unpluggedState.c_str());
  std::printf("replugged_state=%s\n", repluggedState.c_str());
  std::printf("codes=%u\n", static_cast<unsigned>(codes.size()));
  std::printf("held_reports=%u\n", static_cast<unsigned>(heldReports));
  std::printf("held_codes=%u\n", static_cast<unsigned>(heldCodes));
  std::fflush(stdout);
  return codesBeforeUnplug + codes.size() > 0 ? 0 : 1;
}
