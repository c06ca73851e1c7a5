// The "HID Configuration" dialog on the real controller, with stand-in receivers on the bus of
// this program, run modally by ShowHIDSetup and driven from inside its loop.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/HIDSetup.h"
#include "engine/DMHID.h"
#include "gui/Application.h"
#include "hidtest/HidTestSupport.h"
#include "sim/StandinDevice.h"
#include "ui/Screenshot.h"
#include "ui/Script.h"
#include "win/TempDir.h"

namespace {

standin::TDeviceKind Kind(uint16_t VendorID, uint16_t ProductID) {
  standin::TDeviceKind kind;
  kind.VendorID = VendorID;
  kind.ProductID = ProductID;
  return kind;
}

std::string Ini(int Vid, int Pid, int Delay, int Held, int Check = 0, int UseCheck = 0) {
  return "[SETUP]\r\nVID=" + std::to_string(Vid) + "\r\nPID=" + std::to_string(Pid) +
         "\r\nDelay=" + std::to_string(Delay) + "\r\nHeldDelay=" + std::to_string(Held) +
         "\r\nCheck=" + std::to_string(Check) + "\r\nUseCheck=" + std::to_string(UseCheck) + "\r\n";
}

class SetupDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearStandinBus();
    Target = CreateWindowExA(0, "STATIC", "engine target", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    Eng = std::make_unique<TDModHID>();
    Eng->FTargetWnd = Target;
  }
  void TearDown() override {
    Eng.reset();
    PumpPending();
    Devices.clear();
    DestroyWindow(Target);
  }

  TStandinDevice& Plug(const standin::TDeviceKind& Kind = {}) {
    Devices.push_back(std::make_unique<TStandinDevice>(Kind));
    return *Devices.back();
  }

  // The dialog while it is shown; each one seen is kept, to check after the call that it is gone.
  static HWND Window() {
    const HWND w = FindWindowA("TFormTHID", nullptr);
    if (w == nullptr || !IsWindowVisible(w)) return nullptr;
    Seen() = w;
    return w;
  }
  static HWND& Seen() {
    static HWND seen = nullptr;
    return seen;
  }
  // A modal form is hidden before its call returns: what counts is that the window is gone.
  static void ExpectGone() {
    EXPECT_EQ(FindWindowA("TFormTHID", nullptr), nullptr) << "the dialog outlived its call";
    if (Seen() != nullptr) {
      EXPECT_FALSE(IsWindow(Seen())) << "the dialog outlived its call";
    }
    Seen() = nullptr;
  }
  static TFormTHID& Form() { return dynamic_cast<TFormTHID&>(*TWindow::FromHandle(Window())); }
  static bool Shown() { return Window() != nullptr; }
  static std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (int i = 0; i < Form().LBHid.Count(); ++i) lines.push_back(Form().LBHid.Item(i));
    return lines;
  }
  // The dialog's buttons by the keyboard, as a user closes it.
  static void PressOk() {
    Form().TBRepeat.SetFocus();
    PressKeys({VK_RETURN});
  }
  static void PressCancel() { PressKeys({VK_ESCAPE}); }

  // Runs the dialog on Dir (the settings folder unless told otherwise) while the script runs.
  uint32_t Run(const char* Dir) {
    Script.Start(15000, [] {
      if (const HWND box = FindMessageBox()) PostMessageA(box, WM_COMMAND, IDOK, 0);
      if (Window() != nullptr) PostMessageA(Window(), WM_CLOSE, 0, 0);
    });
    const uint32_t key = ShowHIDSetup(Eng.get(), Dir);
    Script.Stop();
    EXPECT_FALSE(Script.TimedOut()) << "stuck at step " << Script.StepReached();
    EXPECT_TRUE(Script.Finished());
    ExpectGone();
    return key;
  }
  uint32_t Run() { return Run(Folder.Path().c_str()); }

  HWND Target = nullptr;
  std::unique_ptr<TDModHID> Eng;
  std::vector<std::unique_ptr<TStandinDevice>> Devices;
  TTempDir Folder;
  TScript Script;
};

// --- The window -----------------------------------------------------------------------------

TEST_F(SetupDialog, LayoutTabOrderAndStartingState) {
  Plug();
  Script.Then(Shown, [] {
    TFormTHID& f = Form();
    RECT client{};
    GetClientRect(f.Handle(), &client);
    EXPECT_EQ(client.right, 351);
    EXPECT_EQ(client.bottom, 281);
    EXPECT_EQ(f.Caption(), "HID Configuration");
    struct Place {
      TControl& Control;
      RECT Bounds;
    };
    const Place places[] = {
        {f.Panel1, {11, 5, 338, 49}},
        {f.TBRepeat, {145, 62, 305, 95}},
        {f.TBHeld, {145, 94, 305, 127}},
        {f.LBHid, {11, 140, 338, 205}},
        {f.CBCheck, {12, 216, 240, 233}},
        {f.BitBtnOK, {11, 243, 111, 268}},
        {f.BitBtnTest, {122, 243, 222, 268}},
        {f.BitBtnCancel, {234, 243, 334, 268}},
        {f.NFCheckLabel1, {283, 217, 283 + f.NFCheckLabel1.Width(), 230}},
    };
    for (const Place& p : places) {
      const RECT r = p.Control.BoundsRect();
      EXPECT_TRUE(EqualRect(&r, &p.Bounds)) << p.Control.Name() << " at " << r.left << "," << r.top
                                            << "," << r.right << "," << r.bottom;
    }
    EXPECT_EQ(f.NFCheck.Left(), 248);
    EXPECT_EQ(f.NFCheck.Top(), 214);
    EXPECT_EQ(f.NFCheck.LabelInfo().OffsetX(), 35);
    EXPECT_EQ(f.NFCheck.LabelInfo().OffsetY(), 16);
    // Tab walks the table's order from the focus on the first control.
    EXPECT_EQ(GetFocus(), f.TBRepeat.Handle());
    f.CBCheck.SetChecked(true);
    f.CBCheckClick(&f.CBCheck);
    std::vector<std::string> order;
    for (int i = 0; i < 8; ++i) {
      order.push_back(TWindow::FromHandle(GetFocus()) != nullptr
                          ? dynamic_cast<TControl*>(TWindow::FromHandle(GetFocus()))->Name()
                          : "?");
      PressKeys({VK_TAB});
      Application().ProcessMessages();
    }
    EXPECT_EQ(order, (std::vector<std::string>{"TBRepeat", "TBHeld", "LBHid", "CBCheck", "NFCheck",
                                               "BitBtnOK", "BitBtnTest", "BitBtnCancel"}));
    EXPECT_EQ(f.LabelRepeat.Caption(), "10");
    EXPECT_EQ(f.LabelHeld.Caption(), "10");
    EXPECT_EQ(f.NFCheck.Text(), "00");
    PressCancel();
  });
  EXPECT_EQ(Run(), 0u);
}

TEST_F(SetupDialog, MnemonicsMoveTheFocusAsInAWindowsDialog) {
  Plug();
  Script.Then(Shown, [] {
    TFormTHID& f = Form();
    const auto focusAfter = [](WORD key) {
      PressKeys({VK_MENU, key});
      Application().ProcessMessages();
      return GetFocus();
    };
    EXPECT_EQ(focusAfter('H'), f.TBHeld.Handle());
    EXPECT_EQ(focusAfter('D'), f.LBHid.Handle());
    EXPECT_EQ(focusAfter('R'), f.TBRepeat.Handle());
    EXPECT_NE(focusAfter('X'), f.NFCheck.Handle()) << "a disabled field takes no focus";
    f.CBCheck.SetChecked(true);
    f.CBCheckClick(&f.CBCheck);
    EXPECT_EQ(focusAfter('X'), f.NFCheck.Handle());
    PressCancel();
  });
  Run();
}

TEST_F(SetupDialog, PlainMnemonicLettersFollowTheLabelsFocusControl) {
  Plug();
  Script.Then(Shown, [] {
    TFormTHID& f = Form();
    const auto focusAfter = [](TControl& From, WORD key) {
      From.SetFocus();
      PressKeys({key});
      Application().ProcessMessages();
      return GetFocus();
    };
    // From buttons, the check box and the track bars, as with Alt.
    EXPECT_EQ(focusAfter(f.BitBtnOK, 'H'), f.TBHeld.Handle());
    EXPECT_EQ(focusAfter(f.TBHeld, 'D'), f.LBHid.Handle());
    EXPECT_EQ(focusAfter(f.CBCheck, 'R'), f.TBRepeat.Handle());
    EXPECT_EQ(focusAfter(f.BitBtnCancel, 'X'), f.BitBtnCancel.Handle())
        << "a disabled field takes no focus";
    f.CBCheck.SetChecked(true);
    f.CBCheckClick(&f.CBCheck);
    EXPECT_EQ(focusAfter(f.TBRepeat, 'X'), f.NFCheck.Handle());
    SaveScreenshot(f.Handle(), "HIDSetup-plain-x");
    EXPECT_EQ(focusAfter(f.BitBtnTest, 'D'), f.LBHid.Handle());
    // The list and the field take characters: a letter stays there.
    EXPECT_EQ(focusAfter(f.LBHid, 'R'), f.LBHid.Handle());
    EXPECT_EQ(focusAfter(f.NFCheck, 'D'), f.NFCheck.Handle());
    PressCancel();
  });
  Run();
}

// --- The device list ------------------------------------------------------------------------

TEST_F(SetupDialog, ListsOnlyUsableDevicesEachWithItsKey) {
  standin::TDeviceKind busy = Kind(0x2222, 2);
  busy.Busy = true;
  standin::TDeviceKind nameless = Kind(0x3333, 3);
  nameless.NoStrings = true;
  standin::TDeviceKind remote = Kind(0x8001, 0x0002);
  remote.Remote = true;
  Plug(Kind(0x1234, 1));  // the engine's own receiver
  Plug(busy);
  Plug(nameless);
  Plug(remote);
  Plug(remote);
  TStandinDevice& held = Plug(Kind(0x4444, 4));
  Eng->FVendorID = 0x1234;
  Eng->FProductID = 1;
  ASSERT_TRUE(Eng->OpenDevice());
  // A device another user holds is not offered.
  THidDevice* other = nullptr;
  ASSERT_TRUE(Eng->HIDController->ClaimByIds(other, held.Kind().VendorID, held.Kind().ProductID));

  Script.Then(Shown, [] {
    const std::string stand = "Stand-in Receiver ";
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind(stand, 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(" - Stand-in Vendor 1234 (4660,1)"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "Unknown Device (13107,3)");
    EXPECT_EQ(lines[2], "Virtual IR Receiver - KelHID Simulator (32769,2)");
    EXPECT_EQ(lines[3], lines[2]);
    EXPECT_EQ(Form().LBHid.ItemData(0), 0x12340001u);
    EXPECT_EQ(Form().LBHid.ItemData(2), 0x80010002u);
    EXPECT_EQ(Form().LBHid.ItemData(3), 0x80010002u);
    EXPECT_EQ(Form().LBHid.ItemIndex(), -1);
    PressCancel();
  });
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(Eng->FDevice, nullptr) << "the dialog gives the receiver back";
  EXPECT_EQ(Eng->FState, rsNone);
  Eng->HIDController->ReleaseDevice(other);
}

TEST_F(SetupDialog, WithoutUsableDevicesOnlyTheMessageShows) {
  standin::TDeviceKind busy;
  busy.Busy = true;
  Plug(busy);
  std::string box;
  Script.Then([] { return FindMessageBox() != nullptr; },
              [&] {
                box = MessageBoxText(FindMessageBox());
                EXPECT_EQ(Window(), nullptr);
                PostMessageA(FindMessageBox(), WM_COMMAND, IDOK, 0);
              });
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(box, "No Compatible HID Devices Found");
  EXPECT_TRUE(Folder.Read("KelHID.ini").empty());
}

// --- Filling from the settings and saving ---------------------------------------------------

TEST_F(SetupDialog, SettingsFillTheControlsAndOkWritesTheSevenKeys) {
  Plug(Kind(0x1111, 1));
  Plug(Kind(0x1234, 1));
  Folder.Write("KelHID.ini", Ini(0x1234, 1, 300, 800, 0x2B, 1));
  Script.Then(Shown, [] {
    TFormTHID& f = Form();
    // The held delay may not exceed the repeat delay: loading 300 / 800 drags both to 800.
    EXPECT_EQ(f.TBRepeat.Position(), 800);
    EXPECT_EQ(f.TBHeld.Position(), 800);
    EXPECT_EQ(f.LabelRepeat.Caption(), "800");
    EXPECT_EQ(f.LabelHeld.Caption(), "800");
    EXPECT_TRUE(f.CBCheck.Checked());
    EXPECT_TRUE(f.NFCheck.Enabled());
    EXPECT_EQ(TextOf(f.NFCheck.Handle()), "2B");
    EXPECT_EQ(f.LBHid.ItemIndex(), 1);
    EXPECT_TRUE(f.BitBtnTest.Enabled());
    EXPECT_TRUE(f.BitBtnOK.Enabled());
    SaveScreenshot(f.Handle(), "HIDSetup-filled");
    EXPECT_GT(CountPixels(f.BitBtnTest.Handle(), RGB(220, 0, 0)), 0) << "the Test picture's beam";
    EXPECT_GT(CountPixels(f.BitBtnCancel.Handle(), Reddish), 10) << "Cancel's red cross";
    PressOk();
  });
  EXPECT_EQ(Run(), 0x12340001u);
  // The keys already there are replaced in place; NAME, missing, comes last.
  const std::string file = Folder.Read("KelHID.ini");
  EXPECT_EQ(file.rfind("[SETUP]\r\nVID=4660\r\nPID=1\r\nDelay=800\r\nHeldDelay=800\r\nCheck=43\r\n"
                       "UseCheck=1\r\nNAME=Stand-in Receiver ",
                       0),
            0u)
      << file;
  EXPECT_NE(file.find(" - Stand-in Vendor 1234 (4660,1)\r\n"), std::string::npos) << file;
  EXPECT_EQ(Eng->FRepeatDelay, 800);
  EXPECT_EQ(Eng->FCheckByte, 0x2B);
}

TEST_F(SetupDialog, UnmatchedSettingsSelectNothingUntilALineIsClicked) {
  Plug(Kind(0x1111, 1));
  Folder.Write("KelHID.ini", Ini(0x9999, 9, 20000, 50));
  Script.Then(Shown, [] {
    TFormTHID& f = Form();
    EXPECT_EQ(f.TBRepeat.Position(), 5000);
    EXPECT_EQ(f.TBHeld.Position(), 50);
    EXPECT_EQ(f.LBHid.ItemIndex(), -1);
    EXPECT_FALSE(f.BitBtnTest.Enabled());
    SaveScreenshot(f.Handle(), "HIDSetup-nothing-selected");
    RECT item{};
    SendMessageA(f.LBHid.Handle(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 5, item.top + 3);
    SendMessageA(f.LBHid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(f.LBHid.Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(f.LBHid.ItemIndex(), 0);
    EXPECT_TRUE(f.BitBtnTest.Enabled());
    PressOk();
  });
  EXPECT_EQ(Run(), 0x11110001u);
  // The bar held the delay to its range; that is what is saved.
  EXPECT_NE(Folder.Read("KelHID.ini").find("Delay=5000\r\nHeldDelay=50\r\n"), std::string::npos);
}

TEST_F(SetupDialog, OkWithoutALineOrCancelOrNoFolderSaveNothing) {
  Plug(Kind(0x1111, 1));
  Script.Then(Shown, [] { PressOk(); });
  EXPECT_EQ(Run(), 0u);
  EXPECT_TRUE(Folder.Read("KelHID.ini").empty()) << "OK without a line saves nothing";

  TScript cancel;
  cancel.Then(Shown, [] {
    Form().LBHid.SetItemIndex(0);
    PressCancel();
  });
  cancel.Start(15000);
  EXPECT_EQ(ShowHIDSetup(Eng.get(), Folder.Path().c_str()), 0u);
  EXPECT_TRUE(cancel.Finished());
  ExpectGone();
  EXPECT_TRUE(Folder.Read("KelHID.ini").empty());

  TScript noFolder;
  noFolder.Then(Shown, [] {
    EXPECT_FALSE(Form().BitBtnOK.Enabled()) << "no folder, nothing to save to";
    Form().LBHid.SetItemIndex(0);
    Form().LBHidClick(nullptr);
    EXPECT_TRUE(Form().BitBtnTest.Enabled());
    SaveScreenshot(Window(), "HIDSetup-no-folder");
    PressCancel();
  });
  noFolder.Start(15000);
  EXPECT_EQ(ShowHIDSetup(Eng.get(), (Folder.Path() + "\\missing").c_str()), 0u);
  EXPECT_TRUE(noFolder.Finished());
  ExpectGone();
}

// --- The delay bars ---------------------------------------------------------------------------

TEST_F(SetupDialog, TheBarsDragEachOtherAlong) {
  Plug();
  std::string line;
  Script.Then(Shown, [&] {
    TFormTHID& f = Form();
    f.TBHeld.SetFocus();
    PressKeys({VK_END});  // held to 5000: repeat follows
    Application().ProcessMessages();
    EXPECT_EQ(f.TBHeld.Position(), 5000);
    EXPECT_EQ(f.TBRepeat.Position(), 5000);
    EXPECT_EQ(f.LabelRepeat.Caption(), "5000");
    f.TBRepeat.SetFocus();
    PressKeys({VK_PRIOR});  // repeat a page down: held follows
    Application().ProcessMessages();
    EXPECT_EQ(f.TBRepeat.Position(), 4800);
    EXPECT_EQ(f.TBHeld.Position(), 4800);
    f.TBRepeat.SetPosition(300);  // by the program, the same
    EXPECT_EQ(f.TBHeld.Position(), 300);
    EXPECT_EQ(f.LabelHeld.Caption(), "300");
    f.TBHeld.SetPosition(20);  // below the repeat delay: nothing else moves
    EXPECT_EQ(f.TBRepeat.Position(), 300);
    f.TBRepeat.SetPosition(-7);
    EXPECT_EQ(f.TBRepeat.Position(), 10);
    EXPECT_EQ(f.TBHeld.Position(), 10);
    f.TBRepeat.SetPosition(700);
    f.LBHid.SetItemIndex(0);
    line = f.LBHid.Item(0);
    PressOk();
  });
  EXPECT_EQ(Run(), 0x12340001u);
  // A file written from scratch holds the seven keys in the writer's order.
  EXPECT_EQ(Folder.Read("KelHID.ini"), "[SETUP]\r\nNAME=" + line +
                                           "\r\nVID=4660\r\nPID=1\r\nDelay=700\r\n"
                                           "HeldDelay=10\r\nCheck=0\r\nUseCheck=0\r\n");
}

// --- Test: capturing the scan code ------------------------------------------------------------

TEST_F(SetupDialog, TestCapturesTheScanCodeWithTheCheckOff) {
  TStandinDevice& receiver = Plug();
  // The check is on in the settings, for a scan code the remote does not send.
  Folder.Write("KelHID.ini", Ini(0x1234, 1, 100, 100, 0x11, 1));
  const uint8_t press[] = {0x00, 0x3E, 0x00, 0x0B, 0x05, 0x00, 0x00, 0x00, 0x00};
  const auto capture = [] { return FindWindowA("TFormGetHID", nullptr); };
  const auto waiting = [&] {
    const HWND w = capture();
    return w != nullptr && IsWindowVisible(w) &&
           TextOf(FindWindowExA(w, nullptr, "TPanel", nullptr)) == "Press a Key on your Remote";
  };
  // Clicked as by the user: the capture runs its own loop once this step has returned.
  Script.Then(Shown, [] { PostMessageA(Form().BitBtnTest.Handle(), BM_CLICK, 0, 0); })
      .Then(waiting,
            [&] {
              SaveScreenshot(Window(), "HIDSetup-capture-behind");
              SaveScreenshot(capture(), "HIDSetup-capture");
              EXPECT_FALSE(IsWindowEnabled(Window())) << "the capture is modal";
              receiver.SendToReader(press);
            })
      .Then([&] {
        return waiting() &&
               TextOf(FindWindowExA(capture(), nullptr, "TLabel", nullptr)) == "Confirm Code";
      })
      .Then(waiting, [&] { receiver.SendToReader(press); })
      .Then([] { return Form().NFCheck.Text() == "3E"; },
            [&] {
              EXPECT_TRUE(Eng->FUseCheck) << "the check comes back after the capture";
              EXPECT_EQ(Eng->FCheckByte, 0);
              // Unticked, a capture leaves the field alone.
              Form().CBCheck.SetChecked(false);
              Form().CBCheckClick(nullptr);
              Form().NFCheck.SetIntegerValue(0x11);
              PressOk();
            });
  EXPECT_EQ(Run(), 0x12340001u);
  // OK saves what the field shows, not the 0 the capture put into the engine.
  EXPECT_NE(Folder.Read("KelHID.ini").find("Check=17\r\nUseCheck=0"), std::string::npos)
      << Folder.Read("KelHID.ini");
}

// A device's own strings may hold line breaks and other control characters: the list shows
// them as blanks and the file gets exactly its seven keys, each on its line.
TEST_F(SetupDialog, ControlCharactersInDeviceStringsStayOutOfTheFile) {
  standin::TDeviceKind odd = Kind(0x1234, 1);
  odd.ControlChars = true;
  Plug(odd);
  const std::string line = "IR  [EXTRA]  VID=9  - Maker   X (4660,1)";
  Script.Then(Shown, [&] {
    EXPECT_EQ(Lines(), (std::vector<std::string>{line}));
    Form().LBHid.SetItemIndex(0);
    SaveScreenshot(Window(), "HIDSetup-control-characters");
    PressOk();
  });
  EXPECT_EQ(Run(), 0x12340001u);
  EXPECT_EQ(Folder.Read("KelHID.ini"), "[SETUP]\r\nNAME=" + line +
                                           "\r\nVID=4660\r\nPID=1\r\nDelay=10\r\n"
                                           "HeldDelay=10\r\nCheck=0\r\nUseCheck=0\r\n");
  // Read back as the profile functions see it: one section, the seven keys.
  const std::string file = Folder.File("KelHID.ini");
  const auto names = [](const char* List) {
    std::vector<std::string> out;
    for (const char* p = List; *p != '\0'; p += out.back().size() + 1) out.emplace_back(p);
    return out;
  };
  char sections[512] = {};
  GetPrivateProfileSectionNamesA(sections, sizeof sections, file.c_str());
  EXPECT_EQ(names(sections), (std::vector<std::string>{"SETUP"}));
  char keys[512] = {};
  GetPrivateProfileStringA("SETUP", nullptr, "", keys, sizeof keys, file.c_str());
  EXPECT_EQ(names(keys), (std::vector<std::string>{"NAME", "VID", "PID", "Delay", "HeldDelay",
                                                   "Check", "UseCheck"}));
}

// Test when the receiver cannot be opened: no capture, no message, the dialog as it was; the
// engine's state goes to its own window.
TEST_F(SetupDialog, TestWithAReceiverThatCannotBeOpenedChangesNothing) {
  const std::string ini = Ini(0x1234, 1, 300, 200, 0x2B, 1);
  struct Case {
    const char* Name;
    bool HeldElsewhere;  // a device with the ids is there, but another program holds it
    int32_t State;
  };
  const Case cases[] = {{"unplugged", false, rsNone}, {"held elsewhere", true, rsError}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Devices.clear();
    TStandinDevice& receiver = Plug(Kind(0x1234, 1));
    Folder.Write("KelHID.ini", ini);
    std::vector<int32_t> posted;
    TScript script;
    script.Then(Shown, [&] {
      TFormTHID& f = Form();
      ASSERT_EQ(f.LBHid.ItemIndex(), 0);
      receiver.Unplug();
      if (c.HeldElsewhere) {
        standin::TDeviceKind busy = Kind(0x1234, 1);
        busy.Busy = true;
        Plug(busy);
      }
      MSG msg;
      while (PeekMessageA(&msg, Target, WM_HID_STATUS, WM_HID_STATUS, PM_REMOVE)) {
      }
      f.BitBtnTestClick(&f.BitBtnTest);
      while (PeekMessageA(&msg, Target, WM_HID_STATUS, WM_HID_STATUS, PM_REMOVE)) {
        posted.push_back(static_cast<int32_t>(msg.wParam));
      }
      EXPECT_EQ(FindWindowA("TFormGetHID", nullptr), nullptr);
      EXPECT_EQ(FindMessageBox(), nullptr);
      EXPECT_EQ(TextOf(f.NFCheck.Handle()), "2B");
      EXPECT_TRUE(f.NFCheck.Enabled());
      EXPECT_EQ(f.LBHid.Count(), 1);
      EXPECT_EQ(f.LBHid.ItemIndex(), 0);
      EXPECT_TRUE(f.BitBtnTest.Enabled());
      EXPECT_EQ(f.TBRepeat.Position(), 300);
      EXPECT_EQ(f.TBHeld.Position(), 200);
      EXPECT_EQ(GetActiveWindow(), f.Handle());
      PressCancel();
    });
    script.Start(15000);
    EXPECT_EQ(ShowHIDSetup(Eng.get(), Folder.Path().c_str()), 0u);
    EXPECT_TRUE(script.Finished());
    ExpectGone();
    EXPECT_EQ(posted, (std::vector<int32_t>{c.State}));
    EXPECT_EQ(Eng->FState, c.State);
    EXPECT_EQ(Folder.Read("KelHID.ini"), ini);
  }
}

// The field takes the low byte of the captured Code2: the report's first significant byte.
TEST_F(SetupDialog, TestPutsTheLowByteOfCode2IntoTheField) {
  TStandinDevice& receiver = Plug();
  const auto capture = [] { return FindWindowA("TFormGetHID", nullptr); };
  const auto panel = [&] { return TextOf(FindWindowExA(capture(), nullptr, "TPanel", nullptr)); };
  const auto waiting = [&] {
    return capture() != nullptr && IsWindowVisible(capture()) &&
           panel() == "Press a Key on your Remote";
  };
  struct Case {
    uint8_t First;  // Code2's low byte
    uint8_t Sixth;  // its second byte
    const char* Shown;
  };
  for (const Case& c : {Case{0x2B, 0x1A, "2B"}, Case{0x01, 0xFF, "01"}}) {
    SCOPED_TRACE(c.Shown);
    // Significant bytes: Code2 = sixth << 8 | first.
    const uint8_t press[] = {0x00, c.First, 0x01, 0x02, 0x03, 0x04, c.Sixth, 0x00, 0x00};
    std::string captured;
    TScript script;
    script
        .Then(Shown,
              [] {
                Form().CBCheck.SetChecked(true);
                Form().CBCheckClick(nullptr);
                Form().LBHid.SetItemIndex(0);
                PostMessageA(Form().BitBtnTest.Handle(), BM_CLICK, 0, 0);
              })
        .Then(waiting, [&] { receiver.SendToReader(press); })
        .Then([&] {
          return waiting() &&
                 TextOf(FindWindowExA(capture(), nullptr, "TLabel", nullptr)) == "Confirm Code";
        })
        .Then(waiting, [&] { receiver.SendToReader(press); })
        .Then([&] { return capture() == nullptr; },
              [&] {
                captured = Form().NFCheck.Text();
                PressCancel();
              });
    script.Start(15000);
    ShowHIDSetup(Eng.get(), Folder.Path().c_str());
    EXPECT_TRUE(script.Finished());
    ExpectGone();
    EXPECT_EQ(captured, c.Shown);
    EXPECT_EQ(Eng->FCode2, c.Sixth << 8 | c.First) << "the code the capture took";
  }
}

// --- The scan-code field ------------------------------------------------------------------------

TEST_F(SetupDialog, ACheckByteOutsideTheRangeIsReportedAndTheFocusComesBack) {
  Plug();
  std::string box;
  Script
      .Then(Shown,
            [] {
              TFormTHID& f = Form();
              f.CBCheck.SetChecked(true);
              f.CBCheckClick(&f.CBCheck);
              f.NFCheck.SetRangeHi("7F");  // narrower than the dialog's, to see a refusal
              f.NFCheck.SetFocus();
              PressKeys({'8'});
              PressKeys({'0'});
              PressKeys({VK_TAB});
            })
      .Then([] { return FindMessageBox() != nullptr; },
            [&] {
              box = MessageBoxText(FindMessageBox());
              SaveScreenshot(Window(), "HIDSetup-field-error");
              // The box's error icon: a red cross.
              EXPECT_GT(CountPixels(FindMessageBox(), Reddish), 50);
              SaveScreenshot(FindMessageBox(), "HIDSetup-field-error-box");
              PostMessageA(FindMessageBox(), WM_COMMAND, IDOK, 0);
            })
      .Then([] { return FindMessageBox() == nullptr && GetFocus() == Form().NFCheck.Handle(); },
            [] {
              EXPECT_EQ(Form().NFCheck.Text(), "80");
              PressCancel();
            });
  Run();
  EXPECT_EQ(box, "Value is not within required range");
}

// --- The version label ----------------------------------------------------------------------

TEST_F(SetupDialog, VersionLabelWithAndWithoutTheLibrary) {
  Plug();
  const std::string dll = ProgramDirectory() + "\\KelHID.dll";
  const std::string aside = ProgramDirectory() + "\\KelHID.dll.aside";
  for (const bool present : {true, false}) {
    if (!present) {
      ASSERT_TRUE(MoveFileA(dll.c_str(), aside.c_str()));
    }
    std::string label;
    TScript script;
    script.Then(Shown, [&] {
      label = Form().LabelVer.Caption();
      SaveScreenshot(Window(), present ? "HIDSetup-version" : "HIDSetup-no-library");
      PressCancel();
    });
    script.Start(15000);
    ShowHIDSetup(Eng.get(), Folder.Path().c_str());
    if (!present) MoveFileA(aside.c_str(), dll.c_str());
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(label,
              present ? "KelHID.dll (Version " KELHID_VERSION_TEXT ")" : "KelHID.dll not found");
  }
}

}  // namespace
