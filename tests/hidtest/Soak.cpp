// Soak run, not a test: the real reading stack (engine, device, reader, hand-over) reads a
// stand-in receiver paced at one report per millisecond for the given minutes. Reception is
// stopped and started again every few seconds, and once a minute the receiver is unplugged
// while it is read and plugged in again. Every report the receiver took while the engine was
// receiving must reach the engine's target window, in order. Each minute it prints the counts
// so far with the process's handle count and private memory (commit charge); at the end the
// reports sent, delivered, lost and reordered, the handle count and private memory once every
// step has run (after the first unplug) and at the end, and the latency from the pipe write to
// the window's handling of WM_HID_CODE. Run by scripts/soak; exits with 1 when a report was
// lost or reordered.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/DMHID.h"
#include "gui/Application.h"
#include "hidtest/HidTestSupport.h"
#include "hidtest/NumberedReports.h"
#include "sim/StandinDevice.h"
#include "win/ProcessSample.h"

namespace {

constexpr double ReceiveSeconds = 5.0;
constexpr double UnplugEverySeconds = 60.0;
constexpr double UnpluggedSeconds = 1.0;
// Waiting for the reports under way ends when none has arrived for this long.
constexpr DWORD DrainQuietMs = 5000;
// Reports under way are few: their write times are kept by sequence number modulo this.
constexpr uint32_t UnderWayRing = 1U << 16;

// Latencies in bins of 10 microseconds up to 2 s; the memory is taken once, at the start.
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

// What the writer and the window counted.
struct TCounts {
  std::vector<std::atomic<double>> Written = std::vector<std::atomic<double>>(UnderWayRing);
  std::atomic<uint64_t> Sent{0};      // taken by the receiver's reader
  std::atomic<uint64_t> NotTaken{0};  // nobody read the receiver for a second
  uint64_t Delivered = 0;
  uint64_t Reordered = 0;
  uint32_t Highest = 0;
  bool Any = false;
  TLatencies Latency;
};

TCounts* Current = nullptr;

LRESULT CALLBACK SoakWindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_HID_CODE && Current != nullptr) {
    const double now = Ticks();
    const uint32_t sequence = static_cast<uint32_t>(wParam) - SequenceBias;
    Current->Latency.Add((now - Current->Written[sequence % UnderWayRing]) * 1000.0);
    if (Current->Any && sequence <= Current->Highest) ++Current->Reordered;
    Current->Highest = std::max(Current->Highest, sequence);
    Current->Any = true;
    ++Current->Delivered;
    return 0;
  }
  return DefWindowProcA(Window, Msg, wParam, lParam);
}

// Writes numbered reports to the receiver, one per millisecond, while it is let run.
class TPacedWriter {
 public:
  TPacedWriter(TStandinDevice& Device, TCounts& Counts)
      : FDevice(Device),
        FCounts(Counts),
        FGo(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        FParked(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        FQuit(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        FThread([this] { Loop(); }) {}
  TPacedWriter(const TPacedWriter&) = delete;
  TPacedWriter& operator=(const TPacedWriter&) = delete;
  ~TPacedWriter() {
    SetEvent(FQuit.Get());
    FThread.join();
  }

  void Resume() {
    ResetEvent(FParked.Get());
    FRunning = true;
    SetEvent(FGo.Get());
  }
  // Returns once no write is under way any more.
  void Pause() {
    FRunning = false;
    ResetEvent(FGo.Get());
    WaitForSingleObject(FParked.Get(), INFINITE);
  }

 private:
  void Loop() {
    uint32_t sequence = 0;
    double start = 0;
    uint64_t written = 0;
    bool running = false;
    for (;;) {
      if (!FRunning) {
        running = false;
        SetEvent(FParked.Get());
        const HANDLE waits[2] = {FGo.Get(), FQuit.Get()};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return;
      }
      if (!running) {
        // Paced from the moment it is let run.
        running = true;
        start = Ticks();
        written = 0;
      }
      // Sleeps rather than spins for an hour: the reports due are written as it wakes.
      const double due = start + static_cast<double>(written++) / 1000.0;
      while (Ticks() < due) Sleep(1);
      FCounts.Written[sequence % UnderWayRing] = Ticks();
      // The reader opens its connection when it starts: the first write may wait for it.
      if (FDevice.SendToReader(NumberedReport(sequence), 1000)) {
        ++FCounts.Sent;
      } else {
        ++FCounts.NotTaken;
      }
      ++sequence;
    }
  }

  TStandinDevice& FDevice;
  TCounts& FCounts;
  std::atomic<bool> FRunning{false};
  TUniqueHandle FGo;
  TUniqueHandle FParked;
  TUniqueHandle FQuit;
  std::thread FThread;
};

// Waits until every report the receiver took has arrived; false when they stopped arriving.
// On a loaded machine the stack may lag behind the writer for a while: that is no loss.
bool Drain(const TCounts& Counts) {
  uint64_t seen = Counts.Delivered;
  for (;;) {
    if (PumpUntil([&] { return Counts.Delivered >= Counts.Sent; }, DrainQuietMs)) return true;
    if (Counts.Delivered == seen) return false;
    seen = Counts.Delivered;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
  if (minutes <= 0) {
    std::fprintf(stderr, "usage: hid_soak [minutes]\n");
    return 2;
  }
  Application().Initialize();
  UseStandinServices();
  const HWND window = CreateTargetWindow(&SoakWindowProc, "KelHIDSoak");

  std::printf(
      "HID soak under Wine, %d-bit: %.1f min at 1 kHz, stopped and started every %.0f s, "
      "unplugged every %.0f s\n",
      static_cast<int>(sizeof(void*) * 8), minutes, ReceiveSeconds, UnplugEverySeconds);
  std::fflush(stdout);

  TCounts counts;
  Current = &counts;
  TStandinDevice device(NumberedReceiver());
  int cycles = 0;
  int unplugs = 0;
  int failedStarts = 0;
  int stalls = 0;
  double longestDrain = 0;
  TProcessSample first;
  TProcessSample last;
  bool sampled = false;
  {
    TDModHID engine;
    engine.FTargetWnd = window;
    engine.FVendorID = 0x1234;
    engine.FProductID = 0x0001;
    engine.FRepeatDelay = 0;
    engine.FHeldDelay = 0;
    TPacedWriter writer(device, counts);
    PumpPending();

    const double begin = Ticks();
    const double end = begin + minutes * 60.0;
    double nextUnplug = begin + UnplugEverySeconds;
    double nextMinute = begin + 60.0;
    while (Ticks() < end) {
      if (!engine.StartReceiving(false)) {
        ++failedStarts;
        RunFor(0.5);
        continue;
      }
      ++cycles;
      writer.Resume();
      RunFor(std::max(0.0, std::min({Ticks() + ReceiveSeconds, nextUnplug, end}) - Ticks()));
      writer.Pause();
      // Every report the receiver took arrives before reception ends.
      const double drainStart = Ticks();
      const bool drained = Drain(counts);
      longestDrain = std::max(longestDrain, Ticks() - drainStart);
      if (!drained) {
        ++stalls;
        std::printf("  at %.1f min: %llu reports stopped arriving\n", (Ticks() - begin) / 60.0,
                    static_cast<unsigned long long>(counts.Sent - counts.Delivered));
      }
      // The same moment of every cycle: receiving, nothing under way. The first sample is
      // taken once every step, the unplug included, has run once.
      last = SampleProcess();
      if (!sampled && unplugs > 0) {
        first = last;
        sampled = true;
      }
      if (Ticks() >= nextMinute) {
        std::printf(
            "  minute %3.0f: sent %llu, delivered %llu, reordered %llu, handles %lu, "
            "private %zu KB\n",
            (Ticks() - begin) / 60.0, static_cast<unsigned long long>(counts.Sent.load()),
            static_cast<unsigned long long>(counts.Delivered),
            static_cast<unsigned long long>(counts.Reordered), last.Handles, last.PrivateKB);
        std::fflush(stdout);
        nextMinute += 60.0;
      }
      if (Ticks() >= nextUnplug && Ticks() < end) {
        // Gone while it is read; back a second later as a new device object.
        device.Unplug();
        PostDeviceChange();
        RunFor(UnpluggedSeconds);
        device.Plug();
        PostDeviceChange();
        RunFor(0.2);
        ++unplugs;
        nextUnplug += UnplugEverySeconds;
      } else {
        engine.StopReceiving();
      }
    }
    engine.StopReceiving();
  }
  Current = nullptr;
  DestroyWindow(window);
  ClearStandinBus();

  const uint64_t sent = counts.Sent;
  const uint64_t lost = sent > counts.Delivered ? sent - counts.Delivered : 0;
  std::printf(
      "\n  cycles %d, unplugs %d, failed starts %d, stalls %d, longest wait for the "
      "reports under way %.2f s\n",
      cycles, unplugs, failedStarts, stalls, longestDrain);
  std::printf(
      "  reports: sent %llu, delivered %llu, lost %llu, reordered %llu, not taken %llu\n",
      static_cast<unsigned long long>(sent), static_cast<unsigned long long>(counts.Delivered),
      static_cast<unsigned long long>(lost), static_cast<unsigned long long>(counts.Reordered),
      static_cast<unsigned long long>(counts.NotTaken.load()));
  if (sampled) {
    std::printf("  handles: %lu at the start (after the first unplug), %lu at the end\n",
                first.Handles, last.Handles);
    std::printf("  private memory: %zu KB at the start, %zu KB at the end\n", first.PrivateKB,
                last.PrivateKB);
  } else {
    std::printf(
        "  handles %lu, private memory %zu KB (a run of under two minutes has no start "
        "sample)\n",
        last.Handles, last.PrivateKB);
  }
  std::printf("  latency ms: p50 %.2f, p99 %.2f, max %.2f\n", counts.Latency.Percentile(0.50),
              counts.Latency.Percentile(0.99), counts.Latency.Max());
  return lost == 0 && counts.Reordered == 0 && counts.Delivered == sent ? 0 : 1;
}
