// The engine on the real controller with a receiver that shows two interfaces with the same
// ids: one held by the system (a keyboard collection, refusing read-write opens), one that
// delivers the remote's reports.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/DMHID.h"
#include "hidtest/HidTestSupport.h"
#include "sim/StandinDevice.h"

namespace {

// The engine's window: the states posted to it ("state n") and the code pairs ("c1,c2"), in
// posting order.
std::vector<std::string> Posted;

LRESULT CALLBACK RecordingProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  const auto low = [](auto v) { return std::to_string(static_cast<int32_t>(v)); };
  if (Msg == WM_HID_STATUS) Posted.push_back("state " + low(wParam));
  if (Msg == WM_HID_CODE) Posted.push_back(low(wParam) + "," + low(lParam));
  return DefWindowProcA(Window, Msg, wParam, lParam);
}

class CompositeReceiver : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearStandinBus();
    WNDCLASSA wc{};
    wc.lpfnWndProc = &RecordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CompositeReceiverTarget";
    RegisterClassA(&wc);
    Posted.clear();
    Target = CreateWindowExA(0, wc.lpszClassName, "engine target", WS_POPUP, 0, 0, 10, 10, nullptr,
                             nullptr, wc.hInstance, nullptr);
    ASSERT_NE(Target, nullptr);
    Eng = std::make_unique<TDModHID>();
    Eng->FTargetWnd = Target;
    Eng->FVendorID = 0x1234;
    Eng->FProductID = 0x0001;
  }
  void TearDown() override {
    Eng.reset();
    PumpPending();
    Devices.clear();
    DestroyWindow(Target);
  }

  TStandinDevice& Plug(bool Busy) {
    standin::TDeviceKind kind;
    kind.Busy = Busy;
    Devices.push_back(std::make_unique<TStandinDevice>(kind));
    return *Devices.back();
  }

  // What the engine's window has been told so far.
  static std::vector<std::string> Take() {
    PumpPending();
    return std::exchange(Posted, {});
  }

  HWND Target = nullptr;
  std::unique_ptr<TDModHID> Eng;
  std::vector<std::unique_ptr<TStandinDevice>> Devices;
};

using Lines = std::vector<std::string>;

TEST_F(CompositeReceiver, StartReachesGetThroughTheInterfaceThatReads) {
  Plug(true);  // listed first
  TStandinDevice& vendor = Plug(false);
  ASSERT_TRUE(Eng->StartReceiving(false));
  EXPECT_EQ(Eng->FState, rsGet);
  ASSERT_NE(Eng->FDevice, nullptr);
  EXPECT_EQ(Eng->FDevice->PnPRecord()->DevInst, vendor.DevInst());
  EXPECT_TRUE(Eng->FDevice->ReadWriteOpen);
  const uint8_t press[] = {0x00, 0x0B, 0x00, 0x0B, 0x01, 0x00, 0x00, 0x00, 0x00};
  ASSERT_TRUE(vendor.SendToReader(press));
  ASSERT_TRUE(PumpUntil([] { return Posted.size() >= 4; }));
  EXPECT_EQ(Take(), (Lines{"state 2", "state 3", "2849,11", "state 3"}));
  // The keyboard interface was given back: it is free for others.
  THidDevice* other = nullptr;
  ASSERT_TRUE(Eng->HIDController->ClaimByIds(other, 0x1234, 0x0001));
  EXPECT_EQ(other->PnPRecord()->DevInst, Devices[0]->DevInst());
  Eng->HIDController->ReleaseDevice(other);
}

TEST_F(CompositeReceiver, WithNoInterfaceThatReadsTheStateIsError) {
  TStandinDevice& first = Plug(true);
  Plug(true);
  EXPECT_FALSE(Eng->StartReceiving(false));
  EXPECT_EQ(Eng->FState, rsError);
  EXPECT_EQ(Take(), (Lines{"state -1"}));
  // The first interface stays claimed, the second is free again.
  ASSERT_NE(Eng->FDevice, nullptr);
  EXPECT_EQ(Eng->FDevice->PnPRecord()->DevInst, first.DevInst());
  EXPECT_TRUE(Eng->FDevice->Claimed);
  THidDevice* other = nullptr;
  ASSERT_TRUE(Eng->HIDController->ClaimByIds(other, 0x1234, 0x0001));
  EXPECT_EQ(other->PnPRecord()->DevInst, Devices[1]->DevInst());
  Eng->HIDController->ReleaseDevice(other);
}

}  // namespace
