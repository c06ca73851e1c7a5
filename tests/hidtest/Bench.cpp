// Benchmark, not a test: the real reading stack (device, reader, hand-over, engine posting to a
// window) against a bare loop (one overlapped read at a time, PostMessageA to the same window),
// each reading its own stand-in receiver. For both it measures
//   1. flat out for 10 s: reports per second and latency from pipe write to the window's
//      handling of WM_HID_CODE, with at most 32 reports under way (a HID driver's input ring);
//   2. paced at one report per millisecond for 10 s: lost and reordered reports, latency;
//      both in five rounds of 2 s that alternate between the paths, so that a machine shared
//      with other work weighs on both alike;
//   3. idle for 10 s with the receiver claimed: CPU milliseconds per second of the process,
//      from GetProcessTimes (10 ms ticks under Wine) and from Linux's per-thread counters;
//   4. the same once the receiver is unplugged while claimed, from one read slice (100 ms)
//      after the unplug on.
// The last line gives the ratios of the real stack to the bare loop. Run by scripts/bench.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/DMHID.h"
#include "gui/Application.h"
#include "hidtest/HidTestSupport.h"
#include "hidtest/NumberedReports.h"
#include "sim/StandinDevice.h"

namespace {

// KELHID_BENCH_SECONDS shortens the phases for a quick look.
const double PhaseSeconds = [] {
  char value[16];
  const DWORD length = GetEnvironmentVariableA("KELHID_BENCH_SECONDS", value, sizeof value);
  const double seconds = length > 0 && length < sizeof value ? std::atof(value) : 0.0;
  return seconds > 0 ? seconds : 10.0;
}();
constexpr int Rounds = 5;
constexpr int MostUnderWay = 32;
constexpr uint16_t ReportLength = NumberedReportLength;
constexpr uint32_t MaxReports = 200000;

// What the window saw: per sequence number, when it was written and when it was handled.
struct TRun {
  // Written by the writing thread, read by the window.
  std::vector<std::atomic<double>> Written = std::vector<std::atomic<double>>(MaxReports);
  std::vector<double> Latencies;
  std::atomic<uint32_t> Received{0};
  uint32_t Highest = 0;
  bool Any = false;
  uint32_t Reordered = 0;
  // The writer waits for reports to arrive on these, which need no request to Wine's server:
  // the window's handling costs the main thread no more than the stack's own.
  TSlimLock ProgressLock;
  TSlimCondition Progress;

  void Reset() {
    for (auto& time : Written) time = 0.0;
    Latencies.clear();
    Received = 0;
    Highest = 0;
    Any = false;
    Reordered = 0;
  }
};

TRun* Current = nullptr;

LRESULT CALLBACK BenchWindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_HID_CODE && Current != nullptr) {
    const double now = Ticks();
    const uint32_t sequence = static_cast<uint32_t>(wParam) - SequenceBias;
    if (sequence < MaxReports && Current->Written[sequence] > 0) {
      Current->Latencies.push_back((now - Current->Written[sequence]) * 1000.0);
    }
    if (Current->Any && sequence < Current->Highest) ++Current->Reordered;
    Current->Highest = std::max(Current->Highest, sequence);
    Current->Any = true;
    {
      const std::lock_guard lock(Current->ProgressLock);
      ++Current->Received;
    }
    Current->Progress.NotifyAll();
    return 0;
  }
  return DefWindowProcA(Window, Msg, wParam, lParam);
}

// CPU time of the whole process in ms: GetProcessTimes, and the sum of the Linux threads' run
// times (nanoseconds in /proc/<pid>/task/*/schedstat). Wine opens files in its server, so
// /proc/self is not this process: the process is found by its name in /proc/*/comm.
struct TCpu {
  double ProcessTimes = 0;
  std::optional<double> Linux;
};

std::string ReadLine(const std::string& Path) {
  std::ifstream file(Path);
  std::string line;
  std::getline(file, line);
  return line;
}

std::string LinuxProcessFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length);
  name = name.substr(name.find_last_of("\\/") + 1);
  name = name.substr(0, 15);  // the kernel keeps 15 characters of a name
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::string folder;
  int matches = 0;
  do {
    if (found.cFileName[0] < '0' || found.cFileName[0] > '9') continue;
    const std::string candidate = std::string("Z:\\proc\\") + found.cFileName;
    if (ReadLine(candidate + "\\comm") == name) {
      folder = candidate;
      ++matches;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return matches == 1 ? folder : std::string();
}

TCpu CpuNow() {
  static const std::string process = LinuxProcessFolder();
  TCpu cpu;
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto ms = [](const FILETIME& t) {
    return static_cast<double>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 10000.0;
  };
  cpu.ProcessTimes = ms(kernel) + ms(user);
  if (process.empty()) return cpu;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((process + "\\task\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return cpu;
  double total = 0;
  bool any = false;
  do {
    if (found.cFileName[0] == '.') continue;
    std::ifstream stat(process + "\\task\\" + found.cFileName + "\\schedstat");
    uint64_t runNs = 0;
    if (stat >> runNs) {
      total += static_cast<double>(runNs) / 1e6;
      any = true;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  if (any) cpu.Linux = total;
  return cpu;
}

double Percentile(std::vector<double> Values, double P) {
  if (Values.empty()) return 0;
  std::sort(Values.begin(), Values.end());
  const auto nearest = static_cast<size_t>(std::lround(P * static_cast<double>(Values.size() - 1)));
  const size_t index = std::min(Values.size() - 1, nearest);
  return Values[index];
}

// CPU milliseconds per second over a phase.
struct TCpuRate {
  double ProcessTimes = 0;
  std::optional<double> Linux;
};

// What one path did over all its rounds.
struct TResults {
  uint64_t FlatReports = 0;
  double FlatSeconds = 0;
  std::vector<double> FlatLatencies;
  uint32_t PacedSent = 0, PacedReceived = 0, PacedReordered = 0;
  std::vector<double> PacedLatencies;
  TCpuRate Idle;
  TCpuRate Unplugged;

  [[nodiscard]] double FlatRate() const {
    return FlatSeconds > 0 ? static_cast<double>(FlatReports) / FlatSeconds : 0;
  }
};

void Append(std::vector<double>& To, const std::vector<double>& From) {
  To.insert(To.end(), From.begin(), From.end());
}

void FlatOut(TStandinDevice& Device, TRun& Run, TResults& Results, double Seconds) {
  Run.Reset();
  Current = &Run;
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> sent{0};
  std::thread writer([&] {
    for (uint32_t n = 0; n < MaxReports && !stop; ++n) {
      {
        const std::lock_guard lock(Run.ProgressLock);
        while (!Run.Progress.WaitFor(Run.ProgressLock, 50,
                                     [&] { return stop || n - Run.Received < MostUnderWay; })) {
        }
      }
      if (stop) break;
      Run.Written[n] = Ticks();
      if (!Device.SendToReader(NumberedReport(n), 2000)) break;
      sent = n + 1;
    }
  });
  const double start = Ticks();
  RunFor(Seconds);
  Results.FlatSeconds += Ticks() - start;
  Results.FlatReports += Run.Received;
  stop = true;
  writer.join();
  // Let what is under way arrive before the next round.
  PumpUntil([&] { return Run.Received >= sent; }, 2000);
  Append(Results.FlatLatencies, Run.Latencies);
}

void Paced(TStandinDevice& Device, TRun& Run, TResults& Results, double Seconds) {
  Run.Reset();
  Current = &Run;
  const auto count = static_cast<uint32_t>(Seconds * 1000);
  std::thread writer([&] {
    const double start = Ticks();
    for (uint32_t n = 0; n < count; ++n) {
      WaitUntil(start + n / 1000.0);
      Run.Written[n] = Ticks();
      Device.SendToReader(NumberedReport(n), 0);
    }
  });
  RunFor(Seconds);
  writer.join();
  PumpUntil([&] { return Run.Received >= count; }, 2000);
  Results.PacedSent += count;
  Results.PacedReceived += Run.Received;
  Results.PacedReordered += Run.Reordered;
  Append(Results.PacedLatencies, Run.Latencies);
}

TCpuRate Idle() {
  Current = nullptr;
  const TCpu before = CpuNow();
  const double start = Ticks();
  RunFor(PhaseSeconds);
  const double seconds = Ticks() - start;
  const TCpu after = CpuNow();
  TCpuRate rate;
  rate.ProcessTimes = (after.ProcessTimes - before.ProcessTimes) / seconds;
  if (before.Linux && after.Linux) rate.Linux = (*after.Linux - *before.Linux) / seconds;
  return rate;
}

// The receiver goes while it is read; Windows broadcasts the change of the device tree.
TCpuRate IdleAfterUnplug(TStandinDevice& Device) {
  Device.Unplug();
  PostDeviceChange();
  RunFor(0.1);
  return Idle();
}

// A path is reading once a first report came through it.
bool FirstReport(TStandinDevice& Device, TRun& Run) {
  Run.Reset();
  Current = &Run;
  return Device.SendToReader(NumberedReport(0)) && PumpUntil([&] { return Run.Received > 0; });
}

// One overlapped read at a time; every report posted to the window, nothing handed over.
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
    uint8_t buffer[ReportLength];
    for (;;) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = done.Get();
      ResetEvent(done.Get());
      if (!ReadFile(device.Get(), buffer, sizeof buffer, nullptr, &overlapped) &&
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
      if (GetOverlappedResult(device.Get(), &overlapped, &bytes, FALSE) && bytes == sizeof buffer) {
        const uint32_t code2 = uint32_t{buffer[1]} | uint32_t{buffer[6]} << 8;
        PostMessageA(Window, WM_HID_CODE, SequenceOf(buffer) + SequenceBias, code2);
      }
    }
  }

  TUniqueHandle FStop;
  std::thread FThread;
};

void Row(const char* Phase, const char* What, double Real, double Bare, const char* Format) {
  char real[32];
  char bare[32];
  std::snprintf(real, sizeof real, Format, Real);
  std::snprintf(bare, sizeof bare, Format, Bare);
  std::printf("  %-9s %-24s %12s %12s", Phase, What, real, bare);
  if (Bare > 0) {
    std::printf(" %10.2f\n", Real / Bare);
  } else {
    std::printf(" %10s\n", "-");
  }
}

void CpuRows(const char* Phase, const TCpuRate& Real, const TCpuRate& Bare) {
  Row(Phase, "CPU ms/s (GetProcessTimes)", Real.ProcessTimes, Bare.ProcessTimes, "%.2f");
  if (Real.Linux && Bare.Linux) {
    Row("", "CPU ms/s (Linux threads)", *Real.Linux, *Bare.Linux, "%.3f");
  } else {
    std::printf("  %-9s %-24s %12s\n", "", "CPU ms/s (Linux threads)", "unavailable");
  }
}

}  // namespace

int main() {
  Application().Initialize();
  UseStandinServices();
  const HWND window = CreateTargetWindow(&BenchWindowProc, "KelHIDBench");

  std::printf(
      "HID reading benchmark under Wine, %d-bit, %u-byte reports, %.0f s per phase and path, "
      "in %d alternating rounds\n",
      static_cast<int>(sizeof(void*) * 8), static_cast<unsigned>(ReportLength), PhaseSeconds,
      Rounds);
  std::fflush(stdout);
  TResults real;
  TResults bare;
  {
    TStandinDevice realDevice(NumberedReceiver());
    standin::TDeviceKind other = NumberedReceiver();
    other.ProductID = 0x0002;  // not the engine's receiver
    TStandinDevice bareDevice(other);
    TRun realRun;
    TRun bareRun;
    auto engine = std::make_unique<TDModHID>();
    engine->FTargetWnd = window;
    engine->FVendorID = 0x1234;
    engine->FProductID = 0x0001;
    engine->FRepeatDelay = 0;
    engine->FHeldDelay = 0;
    PumpPending();
    const TBareLoop loop(bareDevice.Path(), window);
    if (!engine->StartReceiving(false) || !FirstReport(realDevice, realRun) ||
        !FirstReport(bareDevice, bareRun)) {
      std::fprintf(stderr, "a reading path did not start\n");
      return 1;
    }
    // The machine may be shared: both paths take turns, so that both see the same conditions.
    const double round = PhaseSeconds / Rounds;
    for (int i = 0; i < Rounds; ++i) {
      FlatOut(realDevice, realRun, real, round);
      FlatOut(bareDevice, bareRun, bare, round);
    }
    for (int i = 0; i < Rounds; ++i) {
      Paced(realDevice, realRun, real, round);
      Paced(bareDevice, bareRun, bare, round);
    }
    // Idle alone: the bare loop's thread waits and costs nothing meanwhile.
    real.Idle = Idle();
    real.Unplugged = IdleAfterUnplug(realDevice);
    engine->StopReceiving();
    engine.reset();
    bare.Idle = Idle();
    bare.Unplugged = IdleAfterUnplug(bareDevice);
  }

  std::printf("\n  %-9s %-24s %12s %12s %10s\n", "phase", "measure", "real stack", "bare loop",
              "real/bare");
  const auto latencies = [](const char* Phase, const std::vector<double>& Real,
                            const std::vector<double>& Bare) {
    Row(Phase, "latency p50 ms", Percentile(Real, 0.50), Percentile(Bare, 0.50), "%.3f");
    Row("", "latency p99 ms", Percentile(Real, 0.99), Percentile(Bare, 0.99), "%.3f");
    Row("", "latency max ms", Percentile(Real, 1.0), Percentile(Bare, 1.0), "%.3f");
  };
  Row("flat out", "reports/s", real.FlatRate(), bare.FlatRate(), "%.0f");
  latencies("", real.FlatLatencies, bare.FlatLatencies);
  Row("1 kHz", "sent", real.PacedSent, bare.PacedSent, "%.0f");
  Row("", "lost", real.PacedSent - real.PacedReceived, bare.PacedSent - bare.PacedReceived, "%.0f");
  Row("", "reordered", real.PacedReordered, bare.PacedReordered, "%.0f");
  latencies("", real.PacedLatencies, bare.PacedLatencies);
  CpuRows("idle", real.Idle, bare.Idle);
  CpuRows("unplugged", real.Unplugged, bare.Unplugged);
  std::printf("\n  Wine's own server process is not counted in the CPU figures.\n");
  const auto ratio = [](double Real, double Bare) { return Bare > 0 ? Real / Bare : 0.0; };
  std::printf(
      "real/bare: flat out %.2f reports/s, %.2f latency p50; 1 kHz latency p50 %.2f, p99 %.2f\n",
      ratio(real.FlatRate(), bare.FlatRate()),
      ratio(Percentile(real.FlatLatencies, 0.5), Percentile(bare.FlatLatencies, 0.5)),
      ratio(Percentile(real.PacedLatencies, 0.5), Percentile(bare.PacedLatencies, 0.5)),
      ratio(Percentile(real.PacedLatencies, 0.99), Percentile(bare.PacedLatencies, 0.99)));
  DestroyWindow(window);
  ClearStandinBus();
  return 0;
}
