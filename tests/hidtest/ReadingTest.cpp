// Reading reports: what reaches the handler, the hand-over to the main thread, stopping, and
// reading a device that goes away.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/DMHID.h"
#include "gui/Application.h"
#include "hidtest/HidFixture.h"

namespace {

using Reading = THidTest;
using Bytes = std::vector<uint8_t>;

double MillisecondsSince(LARGE_INTEGER Start) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - Start.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

standin::TDeviceKind ReportLength(uint16_t Length) {
  standin::TDeviceKind kind;
  kind.ReportLength = Length;
  return kind;
}

// --- What the handler gets -------------------------------------------------------------------

TEST_F(Reading, TheReportIdIsPassedApartFromTheBytesAfterIt) {
  TStandinDevice& nine = Plug(ReportLength(9));
  TStandinDevice& four = Plug(ReportLength(4));
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* first = Claim(nine);
  THidDevice* second = Claim(four);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(Deliver(nine, {0, 1, 2, 3, 4, 5, 6, 7, 8}, Rec));
  ASSERT_TRUE(Deliver(four, {0x00, 0x0B, 0x0B, 0x01}, Rec));
  ASSERT_TRUE(Deliver(four, {0x05, 0xFF, 0x00, 0x7F}, Rec));
  ASSERT_EQ(Rec.Reports.size(), 3u);
  EXPECT_EQ(Rec.Reports[0].Device, first);
  EXPECT_EQ(Rec.Reports[0].ReportID, 0);
  EXPECT_EQ(Rec.Reports[0].Data, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(Rec.Reports[1].Device, second);
  EXPECT_EQ(Rec.Reports[1].Data, (Bytes{0x0B, 0x0B, 0x01}));
  EXPECT_EQ(Rec.Reports[2].ReportID, 0x05);
  EXPECT_EQ(Rec.Reports[2].Data, (Bytes{0xFF, 0x00, 0x7F}));
  Hid->ReleaseDevice(first);
  Hid->ReleaseDevice(second);
}

TEST_F(Reading, ReportsArriveInOrderOnTheMainThread) {
  TStandinDevice& d = Plug(ReportLength(3));
  std::vector<DWORD> threads;
  Rec.OnData = [&](THidDevice*) { threads.push_back(GetCurrentThreadId()); };
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  ASSERT_TRUE(d.SendToReader(Bytes{0, 0, 0}));
  // The rest are written at once: the pipe keeps them until the reader comes back for more.
  for (uint8_t i = 1; i < 20; ++i) ASSERT_EQ(d.Send(Bytes{0, i, uint8_t(i * 3)}), 1);
  ASSERT_TRUE(PumpUntil([&] { return Rec.Reports.size() >= 20; }));
  for (uint8_t i = 0; i < 20; ++i) {
    EXPECT_EQ(Rec.Reports[i].Data, (Bytes{i, uint8_t(i * 3)})) << "report " << int{i};
    EXPECT_EQ(threads[i], Application().MainThreadId());
  }
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, AReportReachesAMainThreadBusyInAMessageLoopNotOfTheProgram) {
  TStandinDevice& d = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  PumpPending();
  ASSERT_TRUE(d.SendToReader(Bytes(9, 6)));
  // As a message box's loop does: it knows nothing of the queued hand-overs.
  const ULONGLONG deadline = GetTickCount64() + 5000;
  while (Rec.Reports.empty() && GetTickCount64() < deadline) {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
  }
  EXPECT_EQ(Rec.Reports.size(), 1u);
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, AReadThatEndsWithoutDataIsNotDelivered) {
  TStandinDevice& d = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  dev->DataErrorHandler = Rec.ErrorEvent();
  ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec));
  // The pending read ends with nothing; the next ones cannot start on the dropped connection.
  d.DropClients();
  ASSERT_TRUE(PumpUntil([&] { return !Rec.Errors.empty(); }));
  Hid->ReleaseDevice(dev);
  PumpPending();
  EXPECT_EQ(Rec.Reports.size(), 1u);
}

// --- Stopping --------------------------------------------------------------------------------

TEST_F(Reading, ClearingTheHandlerWhileAReportWaitsDeliversItBeforeTheSetterReturns) {
  TStandinDevice& d = Plug();
  bool inSetter = false;
  std::vector<bool> deliveredInSetter;
  Rec.OnData = [&](THidDevice*) { deliveredInSetter.push_back(inSetter); };
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  PumpPending();
  ASSERT_TRUE(d.SendToReader(Bytes{0, 9, 8, 7, 6, 5, 4, 3, 2}));
  // The reader has read it and now waits for the main thread, which does not look yet.
  ASSERT_TRUE(WaitForQueuedHandOver());
  EXPECT_TRUE(Rec.Reports.empty());
  inSetter = true;
  Hid->SetOnDeviceData({});
  inSetter = false;
  ASSERT_EQ(Rec.Reports.size(), 1u);
  EXPECT_EQ(Rec.Reports[0].Data, (Bytes{9, 8, 7, 6, 5, 4, 3, 2}));
  EXPECT_EQ(deliveredInSetter, (std::vector<bool>{true}));
  EXPECT_EQ(dev->Reader(), nullptr);
  EXPECT_FALSE(dev->DataHandler());
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, StoppingWhileNoReportComesTakesAtMostOneSlice) {
  TStandinDevice& d = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  // With the default slice, and with the longest: a stop request ends the wait at once.
  for (const int32_t slice : {100, 10000}) {
    dev->SetReadSleepTime(slice);
    Hid->SetOnDeviceData(Rec.DataEvent());
    // The reader is in its wait: a report went through it and nothing else is coming.
    ASSERT_TRUE(Deliver(d, Bytes(9, 0), Rec));
    const LARGE_INTEGER start = Now();
    Hid->SetOnDeviceData({});
    EXPECT_LT(MillisecondsSince(start), 1000.0) << "slice " << slice;
    EXPECT_EQ(dev->Reader(), nullptr);
  }
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, SettingTheSameHandlerTwiceKeepsOneReader) {
  TStandinDevice& d = Plug();
  TRecorder other;
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  const THidDeviceReadThread* reader = dev->Reader();
  ASSERT_NE(reader, nullptr);
  Hid->SetOnDeviceData(Rec.DataEvent());
  // Equal by function: another object changes nothing either.
  Hid->SetOnDeviceData(other.DataEvent());
  EXPECT_EQ(dev->Reader(), reader);
  EXPECT_EQ(Hid->OnDeviceData().Object(), &Rec);
  ASSERT_TRUE(Deliver(d, Bytes(9, 4), Rec));
  EXPECT_EQ(Rec.Reports.size(), 1u);
  EXPECT_TRUE(other.Reports.empty());
  // One reader, one connection reading: a report reaches one user.
  EXPECT_EQ(d.Send(Bytes(9, 5)), 1);
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, AHandlerThatRaisesEndsItsReaderQuietly) {
  TStandinDevice& d = Plug();
  Rec.OnData = [](THidDevice*) { throw std::runtime_error("handler failed"); };
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec));
  // The device keeps the ended thread until the handler is cleared.
  const THidDeviceReadThread* reader = dev->Reader();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(WaitForSingleObject(reader->Handle(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(d.Send(Bytes(9, 2)), 1);  // the connection stays, nobody reads it
  PumpPending();
  EXPECT_EQ(Rec.Reports.size(), 1u);

  Rec.OnData = nullptr;
  Hid->SetOnDeviceData({});
  EXPECT_EQ(dev->Reader(), nullptr);
  Hid->SetOnDeviceData(Rec.DataEvent());
  EXPECT_NE(dev->Reader(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Rec.Reports.size() == 2; }));
  EXPECT_EQ(Rec.Reports[1].Data, Bytes(8, 2));
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, AHandlerThatClearsItselfDoesNotWaitForItsOwnReader) {
  TStandinDevice& d = Plug();
  Rec.OnData = [this](THidDevice*) { Hid->SetOnDeviceData({}); };
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec));
  EXPECT_FALSE(Hid->OnDeviceData());
  EXPECT_FALSE(dev->DataHandler());
  // Its reader ends on its own; the next handler gets a new one.
  Rec.OnData = nullptr;
  Hid->SetOnDeviceData(Rec.DataEvent());
  ASSERT_TRUE(Deliver(d, Bytes(9, 2), Rec));
  EXPECT_EQ(Rec.Reports.size(), 2u);
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, AHandlerThatStopsAndRestartsItsOwnReadingKeepsItGoing) {
  TStandinDevice& d = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  const struct {
    const char* What;
    std::function<void()> Restart;
  } cases[] = {
      {"clears and sets the handler",
       [&] {
         Hid->SetOnDeviceData({});
         Hid->SetOnDeviceData(Rec.DataEvent());
       }},
      {"gives the device back and claims it",
       [&] {
         Hid->ReleaseDevice(dev);
         Hid->ClaimByIds(dev, 0x1234, 1);
       }},
  };
  for (const auto& c : cases) {
    bool restart = true;
    Rec.OnData = [&](THidDevice*) {
      if (std::exchange(restart, false)) c.Restart();
    };
    ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec)) << c.What;
    ASSERT_NE(dev, nullptr) << c.What;
    EXPECT_TRUE(dev->Claimed && dev->DataHandler()) << c.What;
    EXPECT_TRUE(Deliver(d, Bytes(9, 2), Rec)) << "no more reports after the handler " << c.What;
  }
  Hid->ReleaseDevice(dev);
}

TEST_F(Reading, AReportDeliveredWhileTheDeviceIsGivenBackFindsItStillHeld) {
  TStandinDevice& d = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* held = Claim(d);
  ASSERT_NE(held, nullptr);
  std::vector<bool> stillHeld;
  Rec.OnData = [&](THidDevice* HidDev) {
    stillHeld.push_back(HidDev == held);
    // Giving it back once more from here changes nothing.
    Hid->ReleaseDevice(held);
  };
  PumpPending();
  ASSERT_TRUE(d.SendToReader(Bytes(9, 3)));
  ASSERT_TRUE(WaitForQueuedHandOver());
  THidDevice* const object = held;
  Hid->ReleaseDevice(held);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(stillHeld, (std::vector<bool>{true}));
  EXPECT_FALSE(object->Claimed);
  EXPECT_EQ(object->Reader(), nullptr);
}

TEST_F(Reading, AReleasedDeviceKeepsItsHandlerAndReadsAgainWhenHandedOut) {
  TStandinDevice& d = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec));
  Hid->ReleaseDevice(dev);
  EXPECT_EQ(dev, nullptr);
  THidDevice* again = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(again, 0));
  EXPECT_NE(again->Reader(), nullptr);
  ASSERT_TRUE(Deliver(d, Bytes(9, 2), Rec));
  EXPECT_EQ(Rec.Reports.size(), 2u);
  Hid->ReleaseDevice(again);
}

// --- A device that goes away -----------------------------------------------------------------

TEST_F(Reading, UnplugWhileReadingCallsTheUnplugHandlerOnceAndTheErrorHandlerUntilReleased) {
  TStandinDevice& d = Plug();
  Hid->AfterLoad();
  Hid->SetOnDeviceUnplug(Rec.UnplugEvent());
  Hid->SetOnRemoval(Rec.RemovalEvent());
  Hid->SetOnDeviceData(Rec.DataEvent());
  ASSERT_TRUE(PumpUntil([&] { return Hid->Count() == 1; }));
  Hid->SetOnDeviceDataError(Rec.ErrorEvent());
  THidDevice* dev = nullptr;
  ASSERT_TRUE(Hid->ClaimByIds(dev, 0x1234, 1));
  ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec));

  d.Unplug();
  PostDeviceChange();
  ASSERT_TRUE(PumpUntil([&] { return Rec.Errors.size() >= 3 && Rec.Unplugs > 0; }));
  EXPECT_EQ(Rec.Unplugs, 1);
  EXPECT_FALSE(dev->Plugged);
  EXPECT_TRUE(dev->Claimed);
  EXPECT_EQ(Hid->Count(), 1);
  for (const uint32_t error : Rec.Errors) EXPECT_NE(error, 0u);

  // Every later scan reports the removal again; the unplug handler was called once only.
  Hid->DeviceChange();
  EXPECT_EQ(Rec.Unplugs, 1);
  EXPECT_EQ(std::count(Rec.Log.begin(), Rec.Log.end(), "removal " + Name(dev)), 2);

  Hid->ReleaseDevice(dev);
  EXPECT_EQ(Hid->Count(), 0);
  const size_t errors = Rec.Errors.size();
  PumpPending();
  EXPECT_EQ(Rec.Errors.size(), errors) << "errors after the device was given back";
  EXPECT_EQ(Rec.Reports.size(), 1u);
}

TEST_F(Reading, AnErrorHandlerMayGiveItsUnpluggedDeviceBack) {
  TStandinDevice& d = Plug();
  Hid->AfterLoad();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  struct TGiveBack {
    THidDeviceController* Hid;
    THidDevice** Held;
    int Calls = 0;
    void Error(THidDevice* HidDev, uint32_t /*Error*/) {
      ++Calls;
      if (HidDev == *Held) Hid->ReleaseDevice(*Held);
    }
  } giveBack{Hid.get(), &dev};
  dev->DataErrorHandler = THidDataErrorEvent::Bind<&TGiveBack::Error>(&giveBack);
  ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec));
  d.Unplug();
  Hid->DeviceChange();
  ASSERT_TRUE(PumpUntil([&] { return dev == nullptr; }));
  EXPECT_EQ(Hid->Count(), 0);
  EXPECT_EQ(giveBack.Calls, 1);
  // The device goes once its hand-over has returned.
  ASSERT_TRUE(PumpUntil([&] { return LivePreparsedData() == 0; }));
}

TEST_F(Reading, AfterAReadThatCannotStartTheReaderRestsOneSlice) {
  TStandinDevice& d = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  dev->DataErrorHandler = Rec.ErrorEvent();
  dev->SetReadSleepTime(50);
  ASSERT_TRUE(Deliver(d, Bytes(9, 1), Rec));
  d.Unplug();
  Hid->DeviceChange();
  ASSERT_TRUE(PumpUntil([&] { return Rec.ErrorTimes.size() >= 4; }));
  for (size_t i = 1; i < Rec.ErrorTimes.size(); ++i) {
    EXPECT_GE(Rec.ErrorTimes[i] - Rec.ErrorTimes[i - 1], 25u) << "no rest after failure " << i;
  }
  Hid->ReleaseDevice(dev);
}

// --- Through the engine ----------------------------------------------------------------------

// Records what the engine posts to it.
class TTargetWindow {
 public:
  TTargetWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KelHIDTestTarget";
    RegisterClassA(&wc);
    Handle = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             wc.hInstance, nullptr);
    Posted().clear();
  }
  TTargetWindow(const TTargetWindow&) = delete;
  TTargetWindow& operator=(const TTargetWindow&) = delete;
  ~TTargetWindow() { DestroyWindow(Handle); }

  static std::vector<std::string>& Posted() {
    static std::vector<std::string> posted;
    return posted;
  }
  HWND Handle = nullptr;

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Msg == WM_HID_STATUS) Posted().push_back("state " + std::to_string(wParam));
    if (Msg == WM_HID_CODE) {
      Posted().push_back("code " + std::to_string(wParam) + "," + std::to_string(lParam));
    }
    return DefWindowProcA(Window, Msg, wParam, lParam);
  }
};

TEST(EngineReading, TheEngineReceivesCodesFromAStandinReceiver) {
  ClearStandinBus();
  TStandinDevice d(ReportLength(4));
  const TTargetWindow target;
  {
    TDModHID engine;
    engine.FTargetWnd = target.Handle;
    engine.FVendorID = 0x1234;
    engine.FProductID = 0x0001;
    engine.FRepeatDelay = 0;
    engine.FHeldDelay = 0;
    ASSERT_TRUE(engine.StartReceiving(false));
    ASSERT_TRUE(d.SendToReader(Bytes{0x00, 0x0B, 0x0B, 0x01}));
    ASSERT_TRUE(PumpUntil([] { return TTargetWindow::Posted().size() >= 4; }));
    engine.StopReceiving();
    PumpPending();
    EXPECT_EQ(TTargetWindow::Posted(),
              (std::vector<std::string>{"state 2", "state 3", "code 33,11", "state 3", "state 2"}));
    EXPECT_TRUE(engine.FDevice->Claimed);
  }
  EXPECT_EQ(THidDeviceController::ControllerCount(), 0);
}

}  // namespace
