// Benchmark, not a test: how fast a code reaches a host of KelHID.dll, against a bare loop, each
// reading a stand-in receiver of its own under Wine, in this one process:
//   bare        one overlapped read at a time, PostMessageA to the host's window;
//   host loop   the library's windowed engine, its WM_HID_CODE to the same window;
//   windowless  the library's windowless engine, its CODE event to a thread blocked in
//               KelHID_WaitEvent.
// The host's main thread sits in a plain GetMessage loop of its own throughout, as a media
// player's would. Reports go one at a time: each is written once the last one has arrived and
// the engine's repeat delay (its least, 10 ms) has passed, so that the engine takes every one;
// the latency runs from the write to the arrival. The three take turns in rounds, so that a
// machine shared with other work weighs on all alike. The last line gives the ratios of the
// medians to the bare loop's. Run by scripts/bench-library.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "hid/UniqueHandle.h"
#include "library/KelHID.h"
#include "sim/StandinDevice.h"

namespace {

// KELHID_BENCH_REPORTS sets the reports per mode and round, for a quick look.
const int ReportsPerRound = [] {
  char value[16];
  const DWORD length = GetEnvironmentVariableA("KELHID_BENCH_REPORTS", value, sizeof value);
  const int reports = length > 0 && length < sizeof value ? std::atoi(value) : 0;
  return reports > 0 ? reports : 200;
}();
constexpr int Rounds = 5;
// Past the engine's repeat delay of 10 ms, measured from the arrival of the last code.
constexpr DWORD PauseMs = 12;

// Two keys of a stand-in receiver, taking turns.
constexpr std::array<uint8_t, 9> KeyA = {0x00, 0x05, 0x00, 0x0B, 0x81, 0x00, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 9> KeyB = {0x00, 0x0B, 0x0B, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};

constexpr UINT WM_BARE_REPORT = WM_APP + 1;
constexpr UINT WM_ROUND_DONE = WM_APP + 2;

double Seconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

// The report under way: when it was written, and the event its arrival sets.
struct TPending {
  std::atomic<double> Written{0};
  std::vector<double>* Latencies = nullptr;
  HANDLE Arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);

  void Arrive() {
    const double now = Seconds();
    const double written = Written.exchange(0);
    if (written <= 0) return;  // none under way: a state's code, say
    Latencies->push_back((now - written) * 1000.0);
    SetEvent(Arrived);
  }
};

TPending Pending;

LRESULT CALLBACK HostWindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_BARE_REPORT || Msg == WM_HID_CODE) {
    Pending.Arrive();
    return 0;
  }
  return DefWindowProcA(Window, Msg, wParam, lParam);
}

// The library's entries, found by name.
struct TKelHID {
  HMODULE Module = LoadLibraryA("KelHID.dll");
  template <class F>
  F Entry(const char* Name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(Module, Name)));
  }
#define KELHID_ENTRY(Name) \
  decltype(&KelHID_##Name) Name = Entry<decltype(&KelHID_##Name)>("KelHID_" #Name);
  KELHID_ENTRY(GetLastErrorText)
  KELHID_ENTRY(Create)
  KELHID_ENTRY(Free)
  KELHID_ENTRY(StartReceiving)
  KELHID_ENTRY(SetSetting)
  KELHID_ENTRY(WaitEvent)
#undef KELHID_ENTRY
  [[nodiscard]] bool Complete() const {
    return Module != nullptr && Create != nullptr && Free != nullptr && StartReceiving != nullptr &&
           SetSetting != nullptr && WaitEvent != nullptr;
  }
};

// One overlapped read at a time; every report posted to the window.
class TBareLoop {
 public:
  TBareLoop(const std::string& Path, HWND Window)
      : FStop(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        FThread([this, Path, Window] { Loop(Path, Window); }) {}
  TBareLoop(const TBareLoop&) = delete;
  TBareLoop& operator=(const TBareLoop&) = delete;
  ~TBareLoop() {
    SetEvent(FStop.Get());
    FThread.join();
  }

 private:
  void Loop(const std::string& Path, HWND Window) {
    const TUniqueHandle device(CreateFileA(Path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    const TUniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!device) return;
    std::array<uint8_t, KeyA.size()> buffer{};
    for (;;) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = done.Get();
      ResetEvent(done.Get());
      if (!ReadFile(device.Get(), buffer.data(), buffer.size(), nullptr, &overlapped) &&
          GetLastError() != ERROR_IO_PENDING) {
        return;
      }
      const HANDLE waits[2] = {done.Get(), FStop.Get()};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(device.Get());
        DWORD ignored = 0;
        GetOverlappedResult(device.Get(), &overlapped, &ignored, TRUE);
        return;
      }
      DWORD bytes = 0;
      if (GetOverlappedResult(device.Get(), &overlapped, &bytes, FALSE) && bytes > 0) {
        PostMessageA(Window, WM_BARE_REPORT, buffer[1], buffer[4]);
      }
    }
  }

  TUniqueHandle FStop;
  std::thread FThread;
};

// A thread blocked in KelHID_WaitEvent, as a windowless host's; it ends when the engine goes.
class TEventWaiter {
 public:
  explicit TEventWaiter(TKelHID& Lib)
      : FThread([&Lib] {
          for (;;) {
            int kind = 0;
            unsigned code1 = 0, code2 = 0, flags = 0, time = 0;
            if (Lib.WaitEvent(INFINITE, &kind, &code1, &code2, &flags, &time) != KELHID_OK) return;
            if (kind == KELHID_EVENT_CODE) Pending.Arrive();
          }
        }) {}
  TEventWaiter(const TEventWaiter&) = delete;
  TEventWaiter& operator=(const TEventWaiter&) = delete;
  ~TEventWaiter() { FThread.join(); }

 private:
  std::thread FThread;
};

enum TMode { mBare, mHost, mWindowless, ModeCount };
constexpr const char* ModeNames[ModeCount] = {"bare loop", "host loop", "windowless"};

// Writes the round's reports one at a time from a thread of its own while this thread runs a
// plain message loop; false when a report did not arrive.
bool Round(TStandinDevice& Device, std::vector<double>& Latencies) {
  Pending.Latencies = &Latencies;
  std::atomic<bool> ok{true};
  const DWORD host = GetCurrentThreadId();
  std::thread writer([&] {
    for (int i = 0; i < ReportsPerRound && ok; ++i) {
      Sleep(PauseMs);
      Pending.Written = Seconds();
      if (!Device.SendToReader(i % 2 == 0 ? KeyA : KeyB) ||
          WaitForSingleObject(Pending.Arrived, 5000) != WAIT_OBJECT_0) {
        ok = false;
      }
    }
    PostThreadMessageA(host, WM_ROUND_DONE, 0, 0);
  });
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_ROUND_DONE) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  writer.join();
  Pending.Written = 0;
  return ok;
}

// The library's engine for the receiver 1234:0001, taking every report.
bool StartEngine(TKelHID& Lib, HWND Target) {
  if (Lib.Create(Target) != KELHID_OK) return false;
  return Lib.SetSetting(KELHID_VENDOR_ID, 0x1234) == KELHID_OK &&
         Lib.SetSetting(KELHID_PRODUCT_ID, 0x0001) == KELHID_OK &&
         Lib.SetSetting(KELHID_REPEAT_DELAY, 10) == KELHID_OK &&
         Lib.SetSetting(KELHID_HELD_DELAY, 10) == KELHID_OK &&
         Lib.StartReceiving(KELHID_CONTINUOUS) == KELHID_OK;
}

bool RunMode(TMode Mode, TKelHID& Lib, HWND Window, TStandinDevice& Engines, TStandinDevice& Bare,
             std::vector<double>& Latencies) {
  switch (Mode) {
    case mBare: {
      const TBareLoop loop(Bare.Path(), Window);
      return Round(Bare, Latencies);
    }
    case mHost: {
      const bool ok = StartEngine(Lib, Window) && Round(Engines, Latencies);
      Lib.Free();
      return ok;
    }
    case mWindowless: {
      if (!StartEngine(Lib, nullptr)) {
        Lib.Free();
        return false;
      }
      bool ok = false;
      {
        const TEventWaiter waiter(Lib);
        ok = Round(Engines, Latencies);
        Lib.Free();  // wakes the waiter
      }
      return ok;
    }
    case ModeCount:
      break;
  }
  return false;
}

double Percentile(std::vector<double> Values, double P) {
  if (Values.empty()) return 0;
  std::sort(Values.begin(), Values.end());
  const auto nearest = static_cast<size_t>(std::lround(P * static_cast<double>(Values.size() - 1)));
  return Values[std::min(Values.size() - 1, nearest)];
}

}  // namespace

int main() {
  SetEnvironmentVariableA(standin::BusVariable,
                          ("libbench" + std::to_string(GetCurrentProcessId())).c_str());
  standin::ClearBus(standin::BusName());
  TKelHID lib;
  if (!lib.Complete()) {
    std::fprintf(stderr, "KelHID.dll or one of its entries is missing\n");
    return 1;
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = &HostWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "KelHIDLibraryBench";
  RegisterClassA(&wc);
  // A top-level window, never shown, as a host's main window.
  const HWND window = CreateWindowA(wc.lpszClassName, "Library bench", WS_OVERLAPPEDWINDOW, 0, 0,
                                    100, 100, nullptr, nullptr, wc.hInstance, nullptr);

  std::printf(
      "KelHID.dll latency benchmark under Wine, %d-bit: %d reports per mode in %d alternating "
      "rounds, one at a time, %lu ms apart\n",
      static_cast<int>(sizeof(void*) * 8), ReportsPerRound * Rounds, Rounds,
      static_cast<unsigned long>(PauseMs));
  std::fflush(stdout);
  std::vector<double> latencies[ModeCount];
  int result = 0;
  {
    TStandinDevice engines;  // 1234:0001, the engine's
    standin::TDeviceKind other;
    other.ProductID = 0x0002;
    TStandinDevice bare(other);
    for (int round = 0; round < Rounds && result == 0; ++round) {
      for (int mode = 0; mode < ModeCount; ++mode) {
        if (!RunMode(static_cast<TMode>(mode), lib, window, engines, bare, latencies[mode])) {
          std::fprintf(stderr, "%s: a report did not arrive (%s)\n", ModeNames[mode],
                       lib.GetLastErrorText());
          result = 1;
          break;
        }
      }
    }
  }
  DestroyWindow(window);
  standin::ClearBus(standin::BusName());
  if (result != 0) return result;

  std::printf("\n  %-12s %8s %10s %10s %10s\n", "mode", "reports", "p50 ms", "p99 ms", "max ms");
  for (int mode = 0; mode < ModeCount; ++mode) {
    std::printf("  %-12s %8zu %10.3f %10.3f %10.3f\n", ModeNames[mode], latencies[mode].size(),
                Percentile(latencies[mode], 0.5), Percentile(latencies[mode], 0.99),
                Percentile(latencies[mode], 1.0));
  }
  const double bare = Percentile(latencies[mBare], 0.5);
  const auto ratio = [bare](const std::vector<double>& Values) {
    return bare > 0 ? Percentile(Values, 0.5) / bare : 0.0;
  };
  std::printf("latency p50 against the bare loop: host loop %.2f, windowless %.2f\n",
              ratio(latencies[mHost]), ratio(latencies[mWindowless]));
  return 0;
}
