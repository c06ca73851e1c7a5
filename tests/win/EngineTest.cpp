// The receiver engine against a scripted controller, posting to a real window whose queue the
// tests read back in posting order.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/DMHID.h"
#include "engine/DateTime.h"
#include "win/FakeHid.h"

namespace {

struct Posted {
  UINT Msg;
  int32_t W;
  int32_t L;
  bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Posted& p) {
  return os << (p.Msg == WM_HID_CODE     ? "code "
                : p.Msg == WM_HID_STATUS ? "state "
                                         : "msg ")
            << p.W << "," << p.L;
}

Posted State(int32_t s) {
  return {WM_HID_STATUS, s, 15};
}
Posted Code(int32_t c1, int32_t c2) {
  return {WM_HID_CODE, c1, c2};
}

constexpr double Ms = 1.0 / MSecsPerDay;

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    Window = CreateWindowExA(0, "STATIC", "engine target", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(Window, nullptr);
    auto controller = std::make_unique<TFakeController>();
    Hid = controller.get();
    Eng = std::make_unique<TDModHID>(std::move(controller));
    Eng->Clock = [this] { return Now; };
    Eng->FTargetWnd = Window;
  }
  void TearDown() override {
    Eng.reset();  // may already be gone
    DestroyWindow(Window);
  }

  // Everything posted to the window so far, in order.
  std::vector<Posted> Take() {
    std::vector<Posted> out;
    MSG msg;
    while (PeekMessageA(&msg, Window, WM_HID_STATUS, WM_HID_CODE, PM_REMOVE)) {
      out.push_back({msg.message, static_cast<int32_t>(static_cast<uint32_t>(msg.wParam)),
                     static_cast<int32_t>(static_cast<uint32_t>(msg.lParam))});
    }
    return out;
  }

  void Configure(uint16_t vid = 0x1234, uint16_t pid = 0x0001) {
    Eng->FVendorID = vid;
    Eng->FProductID = pid;
  }
  // A receiver attached and usable, reception started, the queue emptied.
  void Receive(bool oneShot = false) {
    Hid->Add(0x1234, 0x0001);
    Configure();
    ASSERT_TRUE(Eng->StartReceiving(oneShot));
    Take();
  }
  void Report(std::vector<uint8_t> data) {
    data.insert(data.begin(), 0);  // report id
    Hid->Deliver(data);
  }

  HWND Window = nullptr;
  TFakeController* Hid = nullptr;
  std::unique_ptr<TDModHID> Eng;
  double Now = EncodeDateTime({2026, 12, 8, 10, 0, 0, 0});
};

using Seq = std::vector<Posted>;

// --- Creation -----------------------------------------------------------------------------

TEST_F(Engine, StartsWithTheCreationValuesAndPostsNothing) {
  EXPECT_EQ(Eng->FState, rsNone);
  EXPECT_EQ(Eng->FCurDelay, 500);
  EXPECT_EQ(Eng->FHeldDelay, 500);
  EXPECT_EQ(Eng->FRepeatDelay, 500);
  EXPECT_EQ(Eng->FVendorID, 0);
  EXPECT_EQ(Eng->FProductID, 0);
  EXPECT_EQ(Eng->FCheckByte, 0);
  EXPECT_FALSE(Eng->FUseCheck);
  EXPECT_FALSE(Eng->FOneShot);
  EXPECT_FALSE(Eng->FBeep);
  EXPECT_EQ(Eng->FDevice, nullptr);
  EXPECT_EQ(Eng->FLastTime, 0);
  EXPECT_TRUE(Eng->FIniDir.empty());
  EXPECT_FALSE(Eng->Timer1.Enabled());
  EXPECT_EQ(Eng->Timer1.Interval(), 100u);
  EXPECT_TRUE(Take().empty());
}

// --- Message sequences --------------------------------------------------------------------

TEST_F(Engine, StartWithReceiverAttachedPostsOffThenGet) {
  Hid->Add(0x1234, 0x0001);
  Configure();
  EXPECT_TRUE(Eng->StartReceiving(false));
  EXPECT_EQ(Take(), (Seq{State(rsOff), State(rsGet)}));
  EXPECT_EQ(Eng->FState, rsGet);
  EXPECT_TRUE(Hid->OnDeviceData());
  EXPECT_EQ(Hid->Log, (std::vector<std::string>{"scan", "claim", "handler"}));
}

TEST_F(Engine, StartWhileConnectedReopensTheReceiver) {
  Receive();
  EXPECT_TRUE(Eng->StartReceiving(false));
  EXPECT_EQ(Take(), (Seq{State(rsNone), State(rsOff), State(rsGet)}));
  EXPECT_EQ(Hid->Devices[0]->Claimed, true);
}

TEST_F(Engine, StartWithoutReceiverPostsNone) {
  Configure();
  EXPECT_FALSE(Eng->StartReceiving(false));
  EXPECT_EQ(Take(), (Seq{State(rsNone)}));
  EXPECT_EQ(Eng->FState, rsNone);
}

TEST_F(Engine, StartWithBothIdsZeroDoesNothing) {
  Hid->Add(0, 0);
  EXPECT_FALSE(Eng->StartReceiving(false));
  EXPECT_FALSE(Eng->OpenDevice());
  EXPECT_TRUE(Take().empty());
  EXPECT_TRUE(Hid->Log.empty());
}

TEST_F(Engine, StopWhileReceivingPostsOffAndKeepsTheReceiver) {
  Receive();
  Eng->StopReceiving();
  EXPECT_EQ(Take(), (Seq{State(rsOff)}));
  EXPECT_NE(Eng->FDevice, nullptr);
  EXPECT_TRUE(Hid->Devices[0]->Claimed);
  EXPECT_FALSE(Hid->OnDeviceData());
}

TEST_F(Engine, StopWithoutConnectionPostsNone) {
  Eng->StopReceiving();
  Eng->StopReceiving();
  EXPECT_EQ(Take(), (Seq{State(rsNone), State(rsNone)}));
}

TEST_F(Engine, StopThenStartReleasesAndClaimsAgain) {
  Receive();
  Eng->StopReceiving();
  EXPECT_TRUE(Eng->StartReceiving(false));
  EXPECT_EQ(Take(), (Seq{State(rsOff), State(rsNone), State(rsOff), State(rsGet)}));
}

TEST_F(Engine, AcceptedReportPostsCodeBeforeState) {
  Receive();
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsGet)}));
  EXPECT_EQ(Eng->FCode1, 33);
  EXPECT_EQ(Eng->FCode2, 11);
  EXPECT_EQ(Eng->FLastTime, Now);
}

TEST_F(Engine, OneShotDeliversOneCodeThenIgnoresReports) {
  Receive(true);
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsOk)}));
  EXPECT_FALSE(Eng->FOneShot);
  Now += 10000 * Ms;
  Report({0x0B, 0x0B, 0x02});
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Eng->FCode1, 33);
}

TEST_F(Engine, DisconnectPostsNoneAndReleases) {
  Receive();
  Eng->Disconnect();
  EXPECT_EQ(Take(), (Seq{State(rsNone)}));
  EXPECT_EQ(Eng->FDevice, nullptr);
  EXPECT_FALSE(Hid->Devices[0]->Claimed);
}

// --- State rules --------------------------------------------------------------------------

TEST_F(Engine, SetStateWithoutDevicePostsNoneEveryTime) {
  Eng->SetState(rsGet);
  Eng->SetState(rsNone);
  Eng->SetState(rsOk);
  EXPECT_EQ(Take(), (Seq{State(rsNone), State(rsNone), State(rsNone)}));
  EXPECT_EQ(Eng->FState, rsNone);
}

TEST_F(Engine, SetStateToTheCurrentStatePostsNothing) {
  Receive();
  Eng->SetState(rsGet);
  EXPECT_TRUE(Take().empty());
}

TEST_F(Engine, OkKeepsTheCodeAndOffClearsIt) {
  Receive();
  Report({0x0B, 0x0B, 0x01});
  Eng->SetState(rsOk);
  EXPECT_EQ(Eng->FCode1, 33);
  EXPECT_NE(Eng->FLastTime, 0);
  Eng->SetState(rsOff);
  EXPECT_EQ(Eng->FCode1, 0);
  EXPECT_EQ(Eng->FCode2, 0);
  EXPECT_EQ(Eng->FLastTime, 0);
}

TEST_F(Engine, StopWhileOffClearsTheCodeSilently) {
  Receive();
  Eng->StopReceiving();
  Take();
  Eng->PostCode(5, 6);
  Take();
  Eng->StopReceiving();
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Eng->FCode1, 0);
}

TEST_F(Engine, StopFromErrorOrOkPostsOff) {
  Hid->Add(0x1234, 0x0001, true, false);
  Configure();
  EXPECT_FALSE(Eng->OpenDevice());
  Eng->StopReceiving();
  EXPECT_EQ(Take(), (Seq{State(rsError), State(rsOff)}));

  Eng->StartReceiving(true);
  Take();
  Hid->Devices[0]->ReadWriteOpen = true;
  EXPECT_TRUE(Eng->StartReceiving(true));
  Report({0x07});
  Eng->StopReceiving();
  EXPECT_EQ(Take(), (Seq{State(rsNone), State(rsOff), State(rsGet), Code(32, 7), State(rsOk),
                         State(rsOff)}));
}

// --- Failure handling ---------------------------------------------------------------------

TEST_F(Engine, ClaimedButNotOpenForReadingAndWritingIsAnError) {
  Hid->Add(0x1234, 0x0001, true, false);
  Configure();
  EXPECT_FALSE(Eng->StartReceiving(false));
  EXPECT_EQ(Take(), (Seq{State(rsError)}));
  EXPECT_EQ(Eng->FState, rsError);
  EXPECT_TRUE(Hid->Devices[0]->Claimed);  // stays claimed
  EXPECT_FALSE(Hid->OnDeviceData());
}

TEST_F(Engine, ClaimedButNotAttachedIsAnError) {
  Hid->Add(0x1234, 0x0001, false, true);
  Configure();
  EXPECT_FALSE(Eng->OpenDevice());
  EXPECT_FALSE(Eng->OpenDevice());  // the open connection is closed first
  EXPECT_EQ(Take(), (Seq{State(rsError), State(rsNone), State(rsError)}));
}

TEST_F(Engine, ReceiverGoneWhileConnectedPostsNoneTwice) {
  Receive();
  Hid->Devices.front()->DeviceAttributes.ProductID = 2;  // no longer matches
  EXPECT_FALSE(Eng->OpenDevice());
  EXPECT_EQ(Take(), (Seq{State(rsNone), State(rsNone)}));
}

TEST_F(Engine, OneIdZeroStillSearchesForThePair) {
  Hid->Add(0x1234, 0x0001);
  Hid->Add(0x1234, 0x0000);
  Configure(0x1234, 0);
  EXPECT_TRUE(Eng->OpenDevice());
  EXPECT_EQ(Eng->FDevice, Hid->Devices[1].get());
}

TEST_F(Engine, IdsAreZeroExtendedSoNoIdActsAsAWildcard) {
  Hid->Add(0xFFFF, 0x0001);
  Hid->Add(0xFFFF, 0xFFFF);
  Configure(0xFFFF, 0xFFFF);
  ASSERT_TRUE(Eng->OpenDevice());
  EXPECT_EQ(Eng->FDevice, Hid->Devices[1].get());
}

TEST_F(Engine, FailedOneShotStartStillSetsOneShot) {
  Configure();
  EXPECT_FALSE(Eng->StartReceiving(true));
  EXPECT_TRUE(Eng->FOneShot);
  Hid->Add(0x1234, 0x0001);
  EXPECT_TRUE(Eng->StartReceiving(false));
  EXPECT_FALSE(Eng->FOneShot);
}

TEST_F(Engine, WithoutTargetWindowEverythingWorksSilently) {
  Eng->FTargetWnd = nullptr;
  Eng->FBeep = true;
  Hid->Add(0x1234, 0x0001);
  Configure();
  EXPECT_TRUE(Eng->StartReceiving(false));
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Eng->FCode1, 33);
  EXPECT_EQ(Eng->FState, rsGet);
  Eng->PostCode(7, 8);
  EXPECT_EQ(Eng->FCode1, 7);
  EXPECT_EQ(Eng->FCode2, 8);
  EXPECT_EQ(Eng->FLastTime, Now);
  EXPECT_TRUE(Take().empty());
}

TEST_F(Engine, DestructionReleasesTheReceiverWithoutAMessage) {
  Receive();
  const auto log = Hid->SharedLog;
  log->clear();
  Eng.reset();
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(*log, (std::vector<std::string>{"no handler", "release"}));
}

// --- Receivers with several interfaces ------------------------------------------------------

// A receiver shows several HID interfaces with the same ids; some (a keyboard collection) refuse
// read-write opens. The engine takes the first usable one and gives the others back; with none
// usable it keeps the first one claimed and reports rsError.
TEST_F(Engine, CompositeReceiverTakesTheFirstUsableInterface) {
  struct Interface {
    uint16_t ProductID;
    bool Attached;
    bool ReadWrite;
  };
  struct Case {
    const char* Name;
    std::vector<Interface> Interfaces;
    bool Opened;
    int Held;  // the interface the engine holds afterwards, -1 none
    Seq Posted;
  };
  const Case cases[] = {
      {"keyboard first", {{1, true, false}, {1, true, true}}, true, 1, {State(rsOff)}},
      {"unplugged, keyboard, vendor",
       {{1, false, true}, {1, true, false}, {1, true, true}},
       true,
       2,
       {State(rsOff)}},
      {"other ids between",
       {{1, true, false}, {2, true, true}, {1, true, true}},
       true,
       2,
       {State(rsOff)}},
      {"first usable", {{1, true, true}, {1, true, true}}, true, 0, {State(rsOff)}},
      {"none usable",
       {{1, true, false}, {1, false, true}, {2, true, true}},
       false,
       0,
       {State(rsError)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Eng.reset();
    auto controller = std::make_unique<TFakeController>();
    Hid = controller.get();
    Eng = std::make_unique<TDModHID>(std::move(controller));
    Eng->FTargetWnd = Window;
    for (const Interface& i : c.Interfaces) Hid->Add(0x1234, i.ProductID, i.Attached, i.ReadWrite);
    Configure();
    EXPECT_EQ(Eng->OpenDevice(), c.Opened);
    EXPECT_EQ(Take(), c.Posted);
    ASSERT_EQ(Eng->FDevice, Hid->Devices[static_cast<size_t>(c.Held)].get());
    for (size_t i = 0; i < Hid->Devices.size(); ++i) {
      EXPECT_EQ(Hid->Devices[i]->Claimed, static_cast<int>(i) == c.Held) << "interface " << i;
    }
    EXPECT_EQ(Eng->FState, c.Opened ? rsOff : rsError);
  }
}

TEST_F(Engine, CompositeReceiverReceivesThroughItsUsableInterface) {
  Hid->Add(0x1234, 0x0001, true, false);  // keyboard collection
  Hid->Add(0x1234, 0x0001);
  Configure();
  EXPECT_TRUE(Eng->StartReceiving(false));
  EXPECT_EQ(Hid->Log, (std::vector<std::string>{"scan", "claim", "claim", "release", "handler"}));
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Take(), (Seq{State(rsOff), State(rsGet), Code(33, 11), State(rsGet)}));
  // Opened again: the same interface, the keyboard given back again.
  EXPECT_TRUE(Eng->StartReceiving(false));
  EXPECT_EQ(Eng->FDevice, Hid->Devices[1].get());
  EXPECT_FALSE(Hid->Devices[0]->Claimed);
  Eng->Disconnect();
  EXPECT_FALSE(Hid->Devices[1]->Claimed);
}

// --- The message words ----------------------------------------------------------------------

// The state is a signed number: on 64-bit it reaches the window sign-extended, so rsError reads
// as -1 in the whole wParam. The code numbers are unsigned 32-bit values and stay zero-extended.
TEST_F(Engine, StateTravelsSignExtendedAndCodesZeroExtended) {
  Hid->Add(0x1234, 0x0001, true, false);
  Configure();
  EXPECT_FALSE(Eng->OpenDevice());
  Eng->PostCode(-1, INT32_MIN);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, Window, WM_HID_STATUS, WM_HID_STATUS, PM_REMOVE));
  EXPECT_EQ(static_cast<INT_PTR>(msg.wParam), INT_PTR{-1});
  EXPECT_EQ(msg.lParam, 15);
  ASSERT_TRUE(PeekMessageA(&msg, Window, WM_HID_CODE, WM_HID_CODE, PM_REMOVE));
  EXPECT_EQ(static_cast<uint64_t>(msg.wParam), 0xFFFFFFFFull);
  EXPECT_EQ(static_cast<uint64_t>(static_cast<ULONG_PTR>(msg.lParam)), 0x80000000ull);
  Hid->Devices[0]->ReadWriteOpen = true;
  EXPECT_TRUE(Eng->StartReceiving(false));
  std::vector<INT_PTR> states;
  while (PeekMessageA(&msg, Window, WM_HID_STATUS, WM_HID_STATUS, PM_REMOVE)) {
    states.push_back(static_cast<INT_PTR>(msg.wParam));
  }
  EXPECT_EQ(states, (std::vector<INT_PTR>{rsNone, rsOff, rsGet}));
}

// --- Reports, the gate and the check byte -------------------------------------------------

TEST_F(Engine, ReportsOutsideGetAreIgnored) {
  Hid->Add(0x1234, 0x0001);
  Configure();
  EXPECT_TRUE(Eng->OpenDevice());
  Take();
  const uint8_t bytes[] = {0x0B, 0x0B, 0x01};
  Eng->HIDControllerDeviceData(nullptr, 0, bytes, 3);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Eng->FCode1, 0);
  Eng->FState = rsBusy;
  Eng->HIDControllerDeviceData(nullptr, 0, nullptr, 0);
  EXPECT_TRUE(Take().empty());
}

TEST_F(Engine, GateRefusesReportsInsideTheDelay) {
  Receive();
  Report({0x0B, 0x0B, 0x01});
  Take();
  Now += 100 * Ms;
  Report({0x0B, 0x0B, 0x02});
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(Eng->FState, rsGet);
  // Measured from the last accepted code, not from the refused report.
  Now += 400 * Ms;
  Report({0x0B, 0x0B, 0x02});
  EXPECT_EQ(Take(), (Seq{Code(34, 11), State(rsGet)}));
}

TEST_F(Engine, GateAppliesToEveryKeyAndLetsExactlyTheDelayPass) {
  Receive();
  for (int i = 0; i < 50; ++i) {
    Report({0x0B, 0x0B, 0x01});
    ASSERT_EQ(Take().size(), 2u) << "report " << i;
    Now += 499 * Ms;
    Report({0x05, 0x0B, 0x83});  // another key
    ASSERT_TRUE(Take().empty()) << "report " << i;
    Now += 1 * Ms;
  }
}

TEST_F(Engine, HeldKeyRepeatsUseTheHeldDelay) {
  Eng->FHeldDelay = 100;
  Eng->FRepeatDelay = 400;
  Receive();
  EXPECT_EQ(Eng->FCurDelay, 400);
  Report({0x05, 0x0B, 0x81});
  EXPECT_EQ(Eng->FCurDelay, 400);  // first press after a start
  Now += 400 * Ms;
  Report({0x05, 0x0B, 0x81});
  EXPECT_EQ(Eng->FCurDelay, 100);
  Now += 100 * Ms;
  Report({0x05, 0x0B, 0x81});
  EXPECT_EQ(Take(),
            (Seq{Code(33, 5), State(rsGet), Code(33, 5), State(rsGet), Code(33, 5), State(rsGet)}));
  // A key without the flag keeps the repeat delay.
  Now += 100 * Ms;
  Report({0x0B, 0x0B, 0x01});
  Now += 100 * Ms;
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsGet)}));
  EXPECT_EQ(Eng->FCurDelay, 400);
}

TEST_F(Engine, HeldKeyWithAnotherSecondNumberKeepsTheRepeatDelay) {
  Eng->FHeldDelay = 100;
  Eng->FRepeatDelay = 400;
  Receive();
  Report({0x05, 0x0B, 0x81});
  Now += 400 * Ms;
  Report({0x06, 0x0B, 0x81});  // same first number, held flag, another scan code
  EXPECT_EQ(Take(), (Seq{Code(33, 5), State(rsGet), Code(33, 6), State(rsGet)}));
  EXPECT_EQ(Eng->FCurDelay, 400);
}

TEST_F(Engine, DelayOfZeroOrBelowLetsEveryReportThrough) {
  Eng->FRepeatDelay = -1;
  Receive();
  Report({0x0B, 0x0B, 0x01});
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Take().size(), 4u);
}

TEST_F(Engine, ClockSetBackCountsAsElapsed) {
  Receive();
  Report({0x0B, 0x0B, 0x01});
  Now -= 1.0 / 24;  // an hour back
  Report({0x0B, 0x0B, 0x02});
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsGet), Code(34, 11), State(rsGet)}));
}

TEST_F(Engine, GateStillPassesAfterMonthsWithoutACode) {
  Eng->FRepeatDelay = INT32_MAX;
  Receive();
  Report({0x0B, 0x0B, 0x01});
  Now += 25.0;  // 25 days: more than 2^31 ms
  Report({0x0B, 0x0B, 0x02});
  Now += 25.0;
  Report({0x0B, 0x0B, 0x03});
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsGet), Code(34, 11), State(rsGet), Code(35, 11),
                         State(rsGet)}));
}

TEST_F(Engine, CheckByteRefusesOtherScanCodesAndKeepsTheLastCode) {
  Eng->FUseCheck = true;
  Eng->FCheckByte = 0x0B;
  Receive();
  Report({0x0B, 0x0B, 0x01});
  Now += 1000 * Ms;
  const int32_t delay = Eng->FCurDelay;
  const double last = Eng->FLastTime;
  Report({0x05, 0x0B, 0x81});
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsGet), State(rsGet)}));
  EXPECT_EQ(Eng->FCode1, 33);
  EXPECT_EQ(Eng->FCode2, 11);
  EXPECT_EQ(Eng->FLastTime, last);
  EXPECT_EQ(Eng->FCurDelay, delay);
}

TEST_F(Engine, CheckByteRefusalInOneShotKeepsWaitingForTheCode) {
  Eng->FUseCheck = true;
  Eng->FCheckByte = 0x0B;
  Receive(true);
  Report({0x05, 0x0B, 0x81});
  EXPECT_EQ(Take(), (Seq{State(rsGet)}));
  EXPECT_TRUE(Eng->FOneShot);
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsOk)}));
  EXPECT_FALSE(Eng->FOneShot);
}

TEST_F(Engine, PostCodeDeliversAndGatesTheNextReport) {
  Receive();
  Eng->PostCode(786497, 9999);
  Now += 10 * Ms;
  Report({0x0B, 0x0B, 0x01});
  EXPECT_EQ(Take(), (Seq{Code(786497, 9999)}));
  EXPECT_EQ(Eng->FState, rsGet);
}

TEST_F(Engine, LargeNumbersTravelAsTheir32Bits) {
  Receive();
  Report({0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x02});  // key 0x80FFFF..: first number above 2^31
  const auto posted = Take();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(static_cast<uint32_t>(posted[0].W), 0x80FFFFFFu + 32u);
  EXPECT_EQ(posted[0].L, 0x0201);
  Eng->StopReceiving();
  Hid->Devices[0]->ReadWriteOpen = false;
  Eng->OpenDevice();
  EXPECT_EQ(Take().back(), State(rsError));  // -1 arrives as -1
}

// --- Reports handed over while reception stops --------------------------------------------

TEST_F(Engine, ReportWaitingWhenStoppingIsDeliveredBeforeOff) {
  Receive(true);
  Hid->Waiting = {0, 0x0B, 0x0B, 0x01};
  Eng->StopReceiving();
  // FOneShot is already cleared, so the report counts as continuous reception.
  EXPECT_EQ(Take(), (Seq{Code(33, 11), State(rsGet), State(rsOff)}));
}

TEST_F(Engine, ReportWaitingWhenClosingIsIgnored) {
  Receive();
  Hid->Waiting = {0, 0x0B, 0x0B, 0x01};
  Eng->Disconnect();
  EXPECT_EQ(Take(), (Seq{State(rsNone)}));
  EXPECT_EQ(Eng->FCode1, 0);
}

}  // namespace
