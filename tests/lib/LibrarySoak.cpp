// Soak run, not a test: KelHID.dll's windowless engine, as a host without a window uses it
// (KelHID_Create(NULL), a thread blocked in KelHID_WaitEvent), reads a stand-in receiver for the
// given minutes. Reception is stopped and started again every few seconds, and once a minute
// the receiver is unplugged while it is read (the engine tells UNPLUGGED) and plugged in again
// (the engine claims it and tells GET of its own accord).
//
// The engine takes a report only when its repeat delay (10 ms at the least) has passed since
// the last one it took: reports closer together are dropped by design. So that every report
// counts, they go one at a time, each 20 ms after the last one's code arrived (some 50 a
// second): the delay runs from the engine's taking of a report, not from its writing. A report
// whose code has not come within 2 s is lost; a code of the other key than the one written is out
// of order.
//
// Each minute it prints the counts so far with the process's handle count and private memory;
// at the end the reports sent, delivered and lost, the states seen, the handle count and
// private memory once every step has run (after the first unplug) and at the end, and the
// latency from the pipe write to the CODE event. Run by scripts/soak --library; exits with 1
// when a report was lost or out of order, a state did not come, or handles or memory grew.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "library/KelHID.h"
#include "sim/StandinDevice.h"
#include "win/ProcessSample.h"

namespace {

constexpr double ReceiveSeconds = 5.0;
constexpr double UnplugEverySeconds = 60.0;
constexpr DWORD GapMs = 20;
constexpr DWORD LostAfterMs = 2000;
// A state the engine tells of its own accord comes within this.
constexpr DWORD StateWithinMs = 3000;
// Growth that is no leak: the allocator's and Wine's own slack.
constexpr DWORD HandleSlack = 8;
constexpr size_t MemorySlackKB = 1024;

// Two keys of a stand-in receiver, taking turns; the CODE event tells which by Code2.
constexpr std::array<uint8_t, 9> KeyA = {0x00, 0x05, 0x00, 0x0B, 0x81, 0x00, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 9> KeyB = {0x00, 0x0B, 0x0B, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};

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
  KELHID_ENTRY(StopReceiving)
  KELHID_ENTRY(SetSetting)
  KELHID_ENTRY(WaitEvent)
#undef KELHID_ENTRY
  [[nodiscard]] bool Complete() const {
    return Module != nullptr && Create != nullptr && Free != nullptr && StartReceiving != nullptr &&
           StopReceiving != nullptr && SetSetting != nullptr && WaitEvent != nullptr;
  }
};

// Latencies in bins of 10 microseconds up to 2 s.
class TLatencies {
 public:
  void Add(double Ms) {
    const auto bin = static_cast<size_t>(std::max(0.0, Ms) * 100.0);
    ++FBins[std::min(bin, FBins.size() - 1)];
    ++FCount;
    FMax = std::max(FMax, Ms);
  }
  [[nodiscard]] double Percentile(double P) const {
    const auto wanted = static_cast<uint64_t>(P * static_cast<double>(FCount));
    uint64_t seen = 0;
    for (size_t bin = 0; bin < FBins.size(); ++bin) {
      seen += FBins[bin];
      if (seen > wanted) return static_cast<double>(bin + 1) / 100.0;
    }
    return FMax;
  }
  [[nodiscard]] double Max() const { return FMax; }

 private:
  std::vector<uint32_t> FBins = std::vector<uint32_t>(200001);
  uint64_t FCount = 0;
  double FMax = 0;
};

// What the waiting thread saw: the codes and states, each counted, with an event per kind.
struct TSeen {
  std::atomic<uint64_t> Codes{0};
  std::atomic<unsigned> LastCode2{0};
  std::atomic<double> CodeAt{0};
  std::atomic<int> State{-1};
  std::atomic<uint64_t> Overflows{0};
  HANDLE CodeCame = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE StateCame = CreateEventA(nullptr, FALSE, FALSE, nullptr);
};

// A thread blocked in KelHID_WaitEvent; it ends when the engine goes.
void WaitEvents(TKelHID& Lib, TSeen& Seen) {
  for (;;) {
    int kind = 0;
    unsigned code1 = 0, code2 = 0, flags = 0, time = 0;
    if (Lib.WaitEvent(INFINITE, &kind, &code1, &code2, &flags, &time) != KELHID_OK) return;
    if ((flags & KELHID_FLAG_OVERFLOW) != 0) ++Seen.Overflows;
    if (kind == KELHID_EVENT_CODE) {
      Seen.CodeAt = Seconds();
      Seen.LastCode2 = code2;
      ++Seen.Codes;
      SetEvent(Seen.CodeCame);
    } else if (kind == KELHID_EVENT_STATE) {
      Seen.State = static_cast<int>(code1);
      SetEvent(Seen.StateCame);
    }
  }
}

// Waits until the engine tells State; false when it did not within StateWithinMs.
bool AwaitState(TSeen& Seen, int State) {
  const double end = Seconds() + StateWithinMs / 1000.0;
  while (Seen.State != State) {
    const double left = end - Seconds();
    if (left <= 0) return false;
    WaitForSingleObject(Seen.StateCame, static_cast<DWORD>(std::ceil(left * 1000.0)));
  }
  return true;
}

// The receiver's device list changed; Wine does not always say so itself.
void BroadcastDeviceChange() {
  PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
  if (minutes <= 0) {
    std::fprintf(stderr, "usage: lib_soak [minutes]\n");
    return 2;
  }
  SetEnvironmentVariableA(standin::BusVariable,
                          ("libsoak" + std::to_string(GetCurrentProcessId())).c_str());
  standin::ClearBus(standin::BusName());
  TKelHID lib;
  if (!lib.Complete()) {
    std::fprintf(stderr, "KelHID.dll or one of its entries is missing\n");
    return 1;
  }
  std::printf(
      "KelHID.dll windowless soak under Wine, %d-bit: %.1f min, one report at a time %lu ms "
      "after the last code, stopped and started every %.0f s, unplugged every %.0f s\n",
      static_cast<int>(sizeof(void*) * 8), minutes, static_cast<unsigned long>(GapMs),
      ReceiveSeconds, UnplugEverySeconds);
  std::fflush(stdout);

  TStandinDevice device;  // 1234:0001
  TSeen seen;
  TLatencies latency;
  uint64_t sent = 0, delivered = 0, lost = 0, disordered = 0;
  int cycles = 0, unplugs = 0, failedStarts = 0, missedStates = 0;
  TProcessSample first;
  TProcessSample last;
  bool sampled = false;
  if (lib.Create(nullptr) != KELHID_OK || lib.SetSetting(KELHID_VENDOR_ID, 0x1234) != KELHID_OK ||
      lib.SetSetting(KELHID_PRODUCT_ID, 0x0001) != KELHID_OK ||
      lib.SetSetting(KELHID_REPEAT_DELAY, 10) != KELHID_OK ||
      lib.SetSetting(KELHID_HELD_DELAY, 10) != KELHID_OK) {
    std::fprintf(stderr, "the engine did not start: %s\n", lib.GetLastErrorText());
    return 1;
  }
  std::thread waiter([&] { WaitEvents(lib, seen); });
  const double begin = Seconds();
  const double end = begin + minutes * 60.0;
  double nextUnplug = begin + UnplugEverySeconds;
  double nextMinute = begin + 60.0;
  double lastWrite = 0;
  double lastCode = 0;
  while (Seconds() < end) {
    if (lib.StartReceiving(KELHID_CONTINUOUS) != KELHID_OK) {
      ++failedStarts;
      Sleep(500);
      continue;
    }
    if (!AwaitState(seen, KELHID_STATE_GET)) ++missedStates;
    ++cycles;
    const double stopAt = std::min({Seconds() + ReceiveSeconds, nextUnplug, end});
    while (Seconds() < stopAt) {
      const double wait = lastCode + GapMs / 1000.0 - Seconds();
      if (wait > 0) Sleep(static_cast<DWORD>(std::ceil(wait * 1000.0)));
      const bool keyA = sent % 2 == 0;
      const uint64_t before = seen.Codes;
      lastWrite = Seconds();
      if (!device.SendToReader(keyA ? KeyA : KeyB, LostAfterMs)) {
        std::printf("  at %.1f min: the receiver's reader did not take a report\n",
                    (Seconds() - begin) / 60.0);
        ++lost;
        ++sent;
        continue;
      }
      ++sent;
      if (WaitForSingleObject(seen.CodeCame, LostAfterMs) != WAIT_OBJECT_0 ||
          seen.Codes == before) {
        std::printf("  at %.2f min: report %llu lost\n", (Seconds() - begin) / 60.0,
                    static_cast<unsigned long long>(sent));
        ++lost;
        continue;
      }
      delivered += seen.Codes - before;
      lastCode = seen.CodeAt;
      latency.Add((lastCode - lastWrite) * 1000.0);
      if (seen.Codes != before + 1 || seen.LastCode2 != (keyA ? 5U : 11U)) ++disordered;
    }
    // The same moment of every cycle: receiving, nothing under way. The first sample is taken
    // once every step, the unplug included, has run once.
    last = SampleProcess();
    if (!sampled && unplugs > 0) {
      first = last;
      sampled = true;
    }
    if (Seconds() >= nextMinute) {
      std::printf(
          "  minute %3.0f: sent %llu, delivered %llu, lost %llu, handles %lu, private %zu KB\n",
          (Seconds() - begin) / 60.0, static_cast<unsigned long long>(sent),
          static_cast<unsigned long long>(delivered), static_cast<unsigned long long>(lost),
          last.Handles, last.PrivateKB);
      std::fflush(stdout);
      nextMinute += 60.0;
    }
    if (Seconds() >= nextUnplug && Seconds() < end) {
      // Gone while it is read; back a second later as a new device, taken again unasked.
      device.Unplug();
      BroadcastDeviceChange();
      if (!AwaitState(seen, KELHID_STATE_UNPLUGGED)) ++missedStates;
      Sleep(1000);
      device.Plug();
      BroadcastDeviceChange();
      if (!AwaitState(seen, KELHID_STATE_GET)) ++missedStates;
      ++unplugs;
      nextUnplug += UnplugEverySeconds;
    }
    lib.StopReceiving();
    if (!AwaitState(seen, KELHID_STATE_OFF)) ++missedStates;
  }
  lib.Free();  // wakes the waiter
  waiter.join();
  standin::ClearBus(standin::BusName());

  std::printf(
      "\n  cycles %d, unplugs %d, failed starts %d, states that did not come %d, overflows "
      "%llu\n",
      cycles, unplugs, failedStarts, missedStates,
      static_cast<unsigned long long>(seen.Overflows.load()));
  std::printf("  reports: sent %llu, delivered %llu, lost %llu, out of order %llu\n",
              static_cast<unsigned long long>(sent), static_cast<unsigned long long>(delivered),
              static_cast<unsigned long long>(lost), static_cast<unsigned long long>(disordered));
  bool grew = false;
  if (sampled) {
    std::printf("  handles: %lu at the start (after the first unplug), %lu at the end\n",
                first.Handles, last.Handles);
    std::printf("  private memory: %zu KB at the start, %zu KB at the end\n", first.PrivateKB,
                last.PrivateKB);
    grew = last.Handles > first.Handles + HandleSlack ||
           last.PrivateKB > first.PrivateKB + MemorySlackKB;
    if (grew) std::printf("  handles or private memory grew\n");
  } else {
    std::printf(
        "  handles %lu, private memory %zu KB (a run of under two minutes has no start "
        "sample)\n",
        last.Handles, last.PrivateKB);
  }
  std::printf("  latency ms: p50 %.2f, p99 %.2f, max %.2f\n", latency.Percentile(0.50),
              latency.Percentile(0.99), latency.Max());
  const bool failed = lost > 0 || disordered > 0 || delivered != sent || missedStates > 0 ||
                      failedStarts > 0 || grew;
  return failed ? 1 : 0;
}
