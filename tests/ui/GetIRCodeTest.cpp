// The "Get IR Code" dialog, run modally by GetIRCode and driven from inside its loop: reports
// through the engine's controller, keys through the keyboard input of the system.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/HIDGetIR.h"
#include "dialogs/KeyCodes.h"
#include "engine/DMHID.h"
#include "gui/Application.h"
#include "ui/Screenshot.h"
#include "ui/Script.h"
#include "win/FakeHid.h"

namespace {

// The engine's own window: records the messages it is sent.
std::vector<UINT> Received;

LRESULT CALLBACK RecordingProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_HID_STATUS || Msg == WM_HID_CODE) Received.push_back(Msg);
  return DefWindowProcA(Window, Msg, wParam, lParam);
}

HWND MakeRecordingWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &RecordingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "RecordingTarget";
  RegisterClassA(&wc);
  Received.clear();
  return CreateWindowExA(0, wc.lpszClassName, "target", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

class GetIRCodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Target = MakeRecordingWindow();
    auto controller = std::make_unique<TFakeController>();
    Hid = controller.get();
    Hid->Add(0x1234, 0x0001);
    Eng = std::make_unique<TDModHID>(std::move(controller));
    Eng->FTargetWnd = Target;
    Eng->FVendorID = 0x1234;
    Eng->FProductID = 0x0001;
    ASSERT_TRUE(Eng->OpenDevice());
  }
  void TearDown() override {
    Eng.reset();
    DestroyWindow(Target);
  }

  // The dialog while it is shown; each one seen is kept, to check after the call that it is gone.
  static HWND Dialog() {
    const HWND w = FindWindowA("TFormGetHID", nullptr);
    if (w == nullptr || !IsWindowVisible(w)) return nullptr;
    Seen() = w;
    return w;
  }
  static HWND& Seen() {
    static HWND seen = nullptr;
    return seen;
  }
  static TFormGetHID* Form() { return dynamic_cast<TFormGetHID*>(TWindow::FromHandle(Dialog())); }
  static std::string Panel() { return Form() ? TextOf(Form()->Panel1.Handle()) : ""; }
  static std::string Note() {
    TFormGetHID* f = Form();
    if (f == nullptr || !IsWindowVisible(f->LabelNoMatch.Handle())) return "";
    return TextOf(f->LabelNoMatch.Handle());
  }
  static bool Waiting() { return Panel() == "Press a Key on your Remote"; }
  static bool Confirming() { return Note() == "Confirm Code"; }

  // A report as the receiver sends it, report id first.
  void Report(std::vector<uint8_t> Data) {
    Data.insert(Data.begin(), 0);
    Hid->Deliver(Data);
  }

  int32_t Run(bool PlaySound, bool Confirm, bool AllowKeys) {
    Script.Start(15000, [] {
      if (Dialog() != nullptr) PostMessageA(Dialog(), WM_CLOSE, 0, 0);
    });
    const int32_t code1 = GetIRCode(Eng.get(), PlaySound, Confirm, AllowKeys, Code2);
    Script.Stop();
    EXPECT_FALSE(Script.TimedOut()) << "stuck at step " << Script.StepReached();
    EXPECT_TRUE(Script.Finished());
    // A modal form is hidden before its call returns: what counts is that the window is gone.
    EXPECT_EQ(FindWindowA("TFormGetHID", nullptr), nullptr) << "the dialog outlived its call";
    if (Seen() != nullptr) {
      EXPECT_FALSE(IsWindow(Seen())) << "the dialog outlived its call";
    }
    Seen() = nullptr;
    return code1;
  }

  HWND Target = nullptr;
  TFakeController* Hid = nullptr;
  std::unique_ptr<TDModHID> Eng;
  TScript Script;
  int32_t Code2 = -1;
  std::vector<std::string> Boxes;  // message boxes seen
};

// Reports of the pairs 1234,5 and 1234,6 (four bytes: key value 0x04B2).
const std::vector<uint8_t> Pair1234_5 = {0x05, 0x04, 0xB2, 0x00};
const std::vector<uint8_t> Pair1234_6 = {0x06, 0x04, 0xB2, 0x00};

// --- Remote codes -------------------------------------------------------------------------

TEST_F(GetIRCodeTest, WithoutConfirmTheFirstCodeIsAccepted) {
  bool confirmShown = false;
  Script.Watch([&] { confirmShown = confirmShown || Confirming(); })
      .Then(Waiting,
            [&] {
              Report({0x0B, 0x0B, 0x01});
            })
      .Then([] { return Panel() == "33,11"; });
  EXPECT_EQ(Run(true, false, false), 33);
  EXPECT_EQ(Code2, 11);
  EXPECT_FALSE(confirmShown);
  EXPECT_EQ(Dialog(), nullptr);
}

TEST_F(GetIRCodeTest, ConfirmWithTheSamePairIsAccepted) {
  Script
      .Then(Waiting,
            [&] {
              SaveScreenshot(Dialog(), "GetIRCode-waiting");
              Report(Pair1234_5);
            })
      .Then(Confirming,
            [] {
              EXPECT_EQ(Panel(), "Please Wait...");
              EXPECT_EQ(Form()->LabelNoMatch.FontColor(), RGB(0, 0, 255));
              SaveScreenshot(Dialog(), "GetIRCode-confirm");
              EXPECT_GT(CountPixels(Form()->LabelNoMatch.Handle(), Bluish), 10);
            })
      .Then(Waiting, [&] { Report(Pair1234_5); })
      .Then([] { return Panel() == "1234,5"; }, [] { EXPECT_EQ(Note(), ""); });
  EXPECT_EQ(Run(true, true, false), 1234);
  EXPECT_EQ(Code2, 5);
}

TEST_F(GetIRCodeTest, MismatchStartsOver) {
  Script.Then(Waiting, [&] { Report(Pair1234_5); })
      .Then(Confirming)
      .Then(Waiting, [&] { Report(Pair1234_6); })
      .Then([] { return Note() == "***Values do not Match***"; },
            [] {
              EXPECT_EQ(Panel(), "");
              EXPECT_EQ(Form()->LabelNoMatch.FontColor(), RGB(255, 0, 0));
              EXPECT_EQ(Form()->FFirstCode1, 0);
              SaveScreenshot(Dialog(), "GetIRCode-mismatch");
              EXPECT_GT(CountPixels(Form()->LabelNoMatch.Handle(), Reddish), 10);
            })
      // The next press is a new first press.
      .Then(Waiting, [&] { Report(Pair1234_6); })
      .Then(Confirming)
      .Then(Waiting, [&] { Report(Pair1234_6); });
  EXPECT_EQ(Run(false, true, false), 1234);
  EXPECT_EQ(Code2, 6);
}

TEST_F(GetIRCodeTest, SecondPairOfZerosIsAcceptedWithoutComparison) {
  Script.Then(Waiting, [&] { Report(Pair1234_5); })
      .Then(Confirming)
      .Then(Waiting, [&] { Eng->PostCode(0, 0); })
      .Then([] { return Panel() == "0,0"; });
  EXPECT_EQ(Run(false, true, false), 0);
  EXPECT_EQ(Code2, 0);
  EXPECT_EQ(Eng->FCode1, 0);
}

// --- Keyboard codes -----------------------------------------------------------------------

TEST_F(GetIRCodeTest, CtrlShiftAPressedTwiceIsAKeyboardCode) {
  Script.Then(Waiting,
              [] {
                PressKeys({VK_CONTROL, VK_SHIFT, 'A'});
              })
      .Then(Confirming)
      .Then(Waiting, [] {
        PressKeys({VK_CONTROL, VK_SHIFT, 'A'});
      });
  EXPECT_EQ(Run(false, true, true), 786497);
  EXPECT_EQ(Code2, KeyboardCode2);
}

TEST_F(GetIRCodeTest, ShiftEnterAndKeypadDigitsAreCodes) {
  Script.Then(Waiting, [] { PressKeys({VK_SHIFT, VK_RETURN}); });
  EXPECT_EQ(Run(false, false, true), 262157);
  EXPECT_EQ(Code2, 9999);

  TScript keypad;
  keypad.Then(Waiting, [] { PressKeys({VK_NUMPAD7}); });
  keypad.Start(15000);
  EXPECT_EQ(GetIRCode(Eng.get(), false, false, true, Code2), VK_NUMPAD7);
  EXPECT_TRUE(keypad.Finished());
}

TEST_F(GetIRCodeTest, ReservedKeysShowTheMessageAndTheCaptureGoesOn) {
  Script.Then(Waiting, [] { PressKeys({VK_ESCAPE}); })
      .Then([] { return FindMessageBox() != nullptr; },
            [&] {
              const HWND box = FindMessageBox();
              Boxes.push_back(MessageBoxText(box));
              PostMessageA(box, WM_COMMAND, IDOK, 0);
            })
      .Then([] { return FindMessageBox() == nullptr && Dialog() != nullptr; },
            [] { PressKeys({'5'}); })
      .Then([] { return FindMessageBox() != nullptr; },
            [&] {
              const HWND box = FindMessageBox();
              Boxes.push_back(MessageBoxText(box));
              PostMessageA(box, WM_COMMAND, IDOK, 0);
            })
      .Then([] { return FindMessageBox() == nullptr; },
            [] { PressKeys({VK_SHIFT}); })  // a bare modifier gives nothing
      .Then(Waiting, [] {
        EXPECT_EQ(Note(), "");
        // Alt+C would be a code now: Cancel is reached with the mouse.
        SendMessageA(Form()->BitBtnCancel.Handle(), BM_CLICK, 0, 0);
      });
  EXPECT_EQ(Run(false, true, true), 0);
  EXPECT_EQ(Code2, 0);
  EXPECT_EQ(Boxes, (std::vector<std::string>{"This Command is a Reserved Control key",
                                             "This Command is a Reserved Control key"}));
}

TEST_F(GetIRCodeTest, EscapeWithoutKeysCancels) {
  Script.Then(Waiting, [] { PressKeys({VK_ESCAPE}); });
  EXPECT_EQ(Run(false, true, false), 0);
  EXPECT_EQ(Code2, 0);
  EXPECT_EQ(FindMessageBox(), nullptr);
}

TEST_F(GetIRCodeTest, KeysAreOrdinaryWithoutAllowKeys) {
  // Alt+C is the Cancel button's mnemonic.
  Script.Then(Waiting, [] { PressKeys({VK_MENU, 'C'}); });
  EXPECT_EQ(Run(false, false, false), 0);
}

// --- The engine lent and given back -------------------------------------------------------

TEST_F(GetIRCodeTest, EngineWithoutReceiverGivesZeroAndNoDialog) {
  Eng->Disconnect();
  MSG msg;
  while (PeekMessageA(&msg, Target, 0, 0, PM_REMOVE)) {
  }
  Code2 = 5;
  EXPECT_EQ(GetIRCode(Eng.get(), true, true, true, Code2), 0);
  EXPECT_EQ(Code2, 0);
  EXPECT_EQ(FindWindowA("TFormGetHID", nullptr), nullptr);
  EXPECT_EQ(Eng->FTargetWnd, Target);
  EXPECT_FALSE(PeekMessageA(&msg, Target, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(GetIRCode(nullptr, true, true, true, Code2), 0);
}

TEST_F(GetIRCodeTest, ReceivingEngineIsReceivingAgainAfterwards) {
  ASSERT_TRUE(Eng->StartReceiving(false));
  Application().ProcessMessages();
  Received.clear();
  Script.Then(Waiting, [&] { Report({0x0B, 0x0B, 0x01}); });
  EXPECT_EQ(Run(false, false, false), 33);
  EXPECT_EQ(Eng->FState, rsGet);
  EXPECT_FALSE(Eng->FOneShot);
  EXPECT_TRUE(Hid->OnDeviceData());
  EXPECT_EQ(Eng->FTargetWnd, Target);
  // Nothing of the capture, nor of the restart, reached the engine's own window.
  Application().ProcessMessages();
  EXPECT_TRUE(Received.empty());
}

TEST_F(GetIRCodeTest, OtherStatesComeBackAsTheirNumber) {
  Script.Then(Waiting, [] { SendMessageA(Form()->BitBtnCancel.Handle(), BM_CLICK, 0, 0); });
  EXPECT_EQ(Run(false, true, false), 0);
  // The capture left the engine receiving one-shot; the number rsOff is written back.
  EXPECT_EQ(Eng->FState, rsOff);
  EXPECT_EQ(Eng->FTargetWnd, Target);
  EXPECT_NE(Eng->FDevice, nullptr);
}

// However the capture is cancelled, the engine is as it was: its settings, its target window
// and its state (the number, written back; rsGet by starting again).
TEST_F(GetIRCodeTest, ACancelledCaptureChangesNothing) {
  enum class TBefore { Open, Receiving, Error };
  const auto cancelButton = [] { SendMessageA(Form()->BitBtnCancel.Handle(), BM_CLICK, 0, 0); };
  const auto escape = [] { PressKeys({VK_ESCAPE}); };
  const auto close = [] { PostMessageA(Dialog(), WM_CLOSE, 0, 0); };
  struct Case {
    const char* Name;
    TBefore Before;
    std::function<void()> Cancel;
    int32_t State;
  };
  const Case cases[] = {
      {"open, Cancel", TBefore::Open, cancelButton, rsOff},
      {"open, Escape", TBefore::Open, escape, rsOff},
      {"receiving, Cancel", TBefore::Receiving, cancelButton, rsGet},
      {"receiving, closed", TBefore::Receiving, close, rsGet},
      {"error, Cancel", TBefore::Error, cancelButton, rsError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Hid->Devices[0]->ReadWriteOpen = c.Before != TBefore::Error;
    Eng->OpenDevice();
    if (c.Before == TBefore::Receiving) {
      ASSERT_TRUE(Eng->StartReceiving(false));
    }
    Eng->FRepeatDelay = 321;
    Eng->FHeldDelay = 123;
    Eng->FCheckByte = 0x5A;
    Eng->FUseCheck = true;
    Eng->FBeep = true;
    Application().ProcessMessages();
    Received.clear();
    ASSERT_EQ(Eng->FState, c.State);
    TScript script;
    script.Then(
        [] { return Dialog() != nullptr && (Waiting() || Panel() == "Error Starting IR Mode"); },
        c.Cancel);
    script.Start(15000);
    Code2 = 7;
    EXPECT_EQ(GetIRCode(Eng.get(), false, true, false, Code2), 0);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(Code2, 0);
    EXPECT_EQ(FindWindowA("TFormGetHID", nullptr), nullptr);
    EXPECT_EQ(Eng->FState, c.State);
    EXPECT_EQ(Eng->FTargetWnd, Target);
    EXPECT_EQ(Eng->FVendorID, 0x1234);
    EXPECT_EQ(Eng->FProductID, 0x0001);
    EXPECT_EQ(Eng->FRepeatDelay, 321);
    EXPECT_EQ(Eng->FHeldDelay, 123);
    EXPECT_EQ(Eng->FCheckByte, 0x5A);
    EXPECT_TRUE(Eng->FUseCheck);
    EXPECT_TRUE(Eng->FBeep);
    if (c.State == rsGet) {
      EXPECT_TRUE(Hid->OnDeviceData());
      EXPECT_FALSE(Eng->FOneShot);
    }
    EXPECT_NE(Eng->FDevice, nullptr);
    Application().ProcessMessages();
    EXPECT_TRUE(Received.empty()) << "the engine's window heard of the capture";
  }
}

TEST_F(GetIRCodeTest, FailedStartShowsTheError) {
  Hid->Devices[0]->ReadWriteOpen = false;  // claimed again at the start, but unusable
  Script.Then([] { return Panel() == "Error Starting IR Mode"; },
              [] { SendMessageA(Form()->BitBtnCancel.Handle(), BM_CLICK, 0, 0); });
  EXPECT_EQ(Run(false, true, false), 0);
  EXPECT_EQ(Eng->FState, rsOff);  // the number from before the call
}

TEST_F(GetIRCodeTest, DialogLooksAsDesigned) {
  Script.Then(Waiting, [] {
    TFormGetHID* f = Form();
    RECT client;
    GetClientRect(f->Handle(), &client);
    EXPECT_EQ(client.right, 261);
    EXPECT_EQ(client.bottom, 135);
    EXPECT_EQ(f->Caption(), "Get IR Code");
    const RECT p = f->Panel1.BoundsRect();
    EXPECT_EQ(p.left, 29);
    EXPECT_EQ(p.top, 16);
    EXPECT_EQ(p.right - p.left, 203);
    EXPECT_EQ(p.bottom - p.top, 41);
    const RECT b = f->BitBtnCancel.BoundsRect();
    EXPECT_EQ(b.left, 29);
    EXPECT_EQ(b.top, 88);
    EXPECT_EQ(TextOf(f->BitBtnCancel.Handle()), "&Cancel");
    EXPECT_EQ(GetFocus(), f->BitBtnCancel.Handle());
    RECT w;
    GetWindowRect(f->Handle(), &w);
    EXPECT_NEAR((w.left + w.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_EQ(GetWindowLongA(f->Handle(), GWL_STYLE) & WS_THICKFRAME, 0);
    SendMessageA(f->BitBtnCancel.Handle(), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(Run(false, true, false), 0);
}

}  // namespace
