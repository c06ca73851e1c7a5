// Stress: many start/stop cycles while reports flow, and many unplugs while a device is read.
// Nothing may hang or crash, and no report may reach a handler after it was cleared.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <thread>
#include <vector>

#include "hidtest/HidFixture.h"

namespace {

constexpr int StartStopCycles = 2000;
constexpr int Unplugs = 200;
// A run that takes longer than this has hung.
constexpr DWORD WatchdogMs = 240000;

// One handler per cycle: it must hear nothing once it has been cleared.
struct TCycleHandler {
  void Data(THidDevice* /*HidDev*/, uint8_t ReportID, const uint8_t* /*Data*/, uint16_t Size) {
    if (Cleared) ++*Late;
    if (ReportID != 0 || Size != 8) ++*Malformed;
    ++Count;
  }
  void DataError(THidDevice* /*HidDev*/, uint32_t /*Error*/) {
    if (Cleared) ++*Late;
    ++Errors;
  }
  void Unplug(THidDevice* /*HidDev*/) { ++Unplugs; }

  bool Cleared = false;
  int Count = 0;
  int Errors = 0;
  int Unplugs = 0;
  int* Late = nullptr;
  int* Malformed = nullptr;
};

// Writes a report to a device about once a millisecond until stopped.
class TWriter {
 public:
  explicit TWriter(TStandinDevice& Device)
      : FThread([this, &Device] {
          uint32_t sequence = 0;
          while (!FStop) {
            const std::vector<uint8_t> report{0,
                                              uint8_t(sequence),
                                              uint8_t(sequence >> 8),
                                              uint8_t(sequence >> 16),
                                              uint8_t(sequence >> 24),
                                              1,
                                              2,
                                              3,
                                              4};
            Written += Device.Send(report);
            ++sequence;
            Sleep(1);  // paces the device like a USB full-speed one at its limit
          }
        }) {}
  TWriter(const TWriter&) = delete;
  TWriter& operator=(const TWriter&) = delete;
  ~TWriter() {
    FStop = true;
    FThread.join();
  }
  std::atomic<int> Written{0};

 private:
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

class Stress : public THidTest {
 protected:
  void SetUp() override {
    THidTest::SetUp();
    FWatchdogStop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    FWatchdog = std::thread([this] {
      if (WaitForSingleObject(FWatchdogStop.Get(), WatchdogMs) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "stress: no end after %lu ms, the run hangs\n", WatchdogMs);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
      }
    });
    QueryPerformanceCounter(&FStart);
  }
  void TearDown() override {
    SetEvent(FWatchdogStop.Get());
    FWatchdog.join();
    THidTest::TearDown();
  }
  double Seconds() const {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - FStart.QuadPart) /
           static_cast<double>(frequency.QuadPart);
  }

  int Late = 0;
  int Malformed = 0;

 private:
  TUniqueHandle FWatchdogStop;
  std::thread FWatchdog;
  LARGE_INTEGER FStart{};
};

TEST_F(Stress, StartStopCyclesWhileReportsFlow) {
  TStandinDevice& d = Plug();
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  const TWriter writer(d);
  std::deque<TCycleHandler> handlers;
  int reports = 0;
  int quiet = 0;
  for (int cycle = 0; cycle < StartStopCycles; ++cycle) {
    TCycleHandler& h = handlers.emplace_back();
    h.Late = &Late;
    h.Malformed = &Malformed;
    Hid->SetOnDeviceData(THidDataEvent::Bind<&TCycleHandler::Data>(&h));
    ASSERT_NE(dev->Reader(), nullptr);
    // Every cycle lets at least one report through; most stop with more on their way.
    ASSERT_TRUE(PumpUntil([&] { return h.Count > 0; })) << "no report in cycle " << cycle;
    if (cycle % 3 == 0) PumpPending();
    Hid->SetOnDeviceData({});
    h.Cleared = true;
    ASSERT_EQ(dev->Reader(), nullptr);
    reports += h.Count;
    if (h.Count == 0) ++quiet;
    // Now and then the receiver is given back and claimed again, as the engine does.
    if (cycle % 100 == 99) {
      Hid->ReleaseDevice(dev);
      dev = Claim(d);
      ASSERT_NE(dev, nullptr);
    }
  }
  PumpPending();
  EXPECT_EQ(Late, 0) << "reports delivered after their handler was cleared";
  EXPECT_EQ(Malformed, 0);
  Hid->ReleaseDevice(dev);
  std::printf("stress: %d start/stop cycles, %d reports delivered, %d late, %.1f s\n",
              StartStopCycles, reports, Late, Seconds());
}

TEST_F(Stress, UnplugsWhileReading) {
  TStandinDevice& d = Plug({}, false);
  const TWriter writer(d);
  Hid->AfterLoad();
  std::deque<TCycleHandler> handlers;
  int errors = 0;
  for (int round = 0; round < Unplugs; ++round) {
    d.Plug();
    THidDevice* dev = Claim(d);
    ASSERT_NE(dev, nullptr) << "round " << round;
    TCycleHandler& h = handlers.emplace_back();
    h.Late = &Late;
    h.Malformed = &Malformed;
    dev->UnplugHandler = THidPlugEvent::Bind<&TCycleHandler::Unplug>(&h);
    dev->DataErrorHandler = THidDataErrorEvent::Bind<&TCycleHandler::DataError>(&h);
    dev->SetReadSleepTime(10);
    Hid->SetOnDeviceData(THidDataEvent::Bind<&TCycleHandler::Data>(&h));
    ASSERT_TRUE(PumpUntil([&] { return h.Count > 0; })) << "no report in round " << round;

    d.Unplug();
    if (round % 2 == 0) {
      // The scan marks it unplugged while its reader still runs.
      Hid->DeviceChange();
    } else {
      PostDeviceChange();
      ASSERT_TRUE(PumpUntil([&] { return !dev->Plugged; }));
    }
    ASSERT_TRUE(PumpUntil([&] { return h.Errors > 0; })) << "no failure seen in round " << round;
    EXPECT_EQ(h.Unplugs, 1);
    EXPECT_TRUE(dev->Claimed);
    Hid->SetOnDeviceData({});
    h.Cleared = true;
    Hid->ReleaseDevice(dev);
    ASSERT_EQ(Hid->Count(), 0);
    errors += h.Errors;
  }
  PumpPending();
  EXPECT_EQ(Late, 0) << "calls after the handler was cleared";
  EXPECT_EQ(Malformed, 0);
  std::printf("stress: %d unplugs while reading, %d read failures reported, %d late, %.1f s\n",
              Unplugs, errors, Late, Seconds());
}

}  // namespace
