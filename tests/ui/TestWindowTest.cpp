// The "Test HID" window, driven through its window messages as a user or a screen reader
// would see it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/TestHIDMain.h"
#include "dialogs/HIDSetup.h"
#include "engine/DMHID.h"
#include "engine/DateTime.h"
#include "gui/Application.h"
#include "ui/Script.h"
#include "win/FakeHid.h"

namespace {

std::string Text(HWND Window) {
  char text[512] = {};
  SendMessageA(Window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

std::vector<std::string> Items(HWND List) {
  std::vector<std::string> items;
  const auto count = SendMessageA(List, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[256] = {};
    SendMessageA(List, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    items.emplace_back(text);
  }
  return items;
}

class TestWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    IniFile = ProgramDirectory() + "\\KelHID.ini";
    DeleteFileA(IniFile.c_str());
    auto controller = std::make_unique<TFakeController>();
    Hid = controller.get();
    Engine = std::make_unique<TDModHID>(std::move(controller));
    Engine->Clock = [this] { return Now; };
    DModHID = Engine.get();
    Form = std::make_unique<TForm1>();
    Form1 = Form.get();
    Form->Show();
    TestStep = 0;
    Pump();
  }
  void TearDown() override {
    Form.reset();
    Form1 = nullptr;
    Engine.reset();
    DModHID = nullptr;
    DeleteFileA(IniFile.c_str());
  }

  static void Pump() { Application().ProcessMessages(); }
  static void Click(const TControl& Button) { SendMessageA(Button.Handle(), BM_CLICK, 0, 0); }
  void Post(UINT Msg, uint32_t W, uint32_t L) {
    PostMessageA(Form->Handle(), Msg, W, L);
    Pump();
  }
  void Code(uint32_t C1, uint32_t C2) { Post(WM_HID_CODE, C1, C2); }
  // States posted to the window so far, taken from its queue and handled in order.
  std::vector<int32_t> States() {
    std::vector<int32_t> states;
    MSG msg;
    while (PeekMessageA(&msg, Form->Handle(), WM_HID_STATUS, WM_HID_STATUS, PM_REMOVE)) {
      states.push_back(static_cast<int32_t>(static_cast<uint32_t>(msg.wParam)));
      DispatchMessageA(&msg);
    }
    return states;
  }
  void ConfigureReceiver() {
    Hid->Add(0x1234, 0x0001);
    const HANDLE h =
        CreateFileA(IniFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const char text[] = "[SETUP]\r\nVID=4660\r\nPID=1\r\nDelay=500\r\nHeldDelay=500\r\n";
    DWORD written = 0;
    WriteFile(h, text, sizeof(text) - 1, &written, nullptr);
    CloseHandle(h);
  }
  std::string List() const {
    std::string all;
    for (const auto& item : Items(Form->ListBox1.Handle())) all += item + ";";
    return all;
  }

  std::string IniFile;
  TFakeController* Hid = nullptr;
  std::unique_ptr<TDModHID> Engine;
  std::unique_ptr<TForm1> Form;
  double Now = EncodeDateTime({2026, 12, 8, 12, 0, 0, 0});
};

// --- Layout -------------------------------------------------------------------------------

TEST_F(TestWindow, WindowAndControlsStandWhereTheTableSays) {
  RECT w;
  GetWindowRect(Form->Handle(), &w);
  EXPECT_EQ(w.left, 506);
  EXPECT_EQ(w.top, 245);
  EXPECT_EQ(w.right - w.left, 332);
  EXPECT_EQ(w.bottom - w.top, 507);
  EXPECT_EQ(Text(Form->Handle()), "Test HID");
  EXPECT_NE(GetWindowLongA(Form->Handle(), GWL_STYLE) & WS_THICKFRAME, 0);

  struct Expected {
    const char* Name;
    RECT Bounds;
    const char* Caption;
    bool Visible;
  };
  // In tab order, which is also the order of the child windows.
  const Expected table[] = {
      {"Button1", {40, 41, 265, 66}, "Get HID Config", true},
      {"Button2", {40, 73, 265, 98}, "START", true},
      {"Panel1", {40, 145, 110, 170}, "", true},
      {"Panel2", {116, 145, 186, 170}, "", true},
      {"ListBox1", {40, 185, 265, 426}, "", true},
      {"Panel3", {192, 145, 262, 170}, "", true},
      {"Button4", {128, 441, 203, 466}, "Clear", true},
      {"CBUnique", {40, 112, 249, 129}, "Unique Values Only", true},
      {"Button3", {32, 440, 107, 465}, "Test", false},
  };
  HWND child = GetWindow(Form->Handle(), GW_CHILD);
  for (const Expected& e : table) {
    SCOPED_TRACE(e.Name);
    const TControl& c = Form->Control(e.Name);
    ASSERT_EQ(child, c.Handle());
    const RECT r = c.BoundsRect();
    EXPECT_EQ(r.left, e.Bounds.left);
    EXPECT_EQ(r.top, e.Bounds.top);
    EXPECT_EQ(r.right, e.Bounds.right);
    EXPECT_EQ(r.bottom, e.Bounds.bottom);
    EXPECT_EQ(Text(c.Handle()), e.Caption);
    EXPECT_EQ(IsWindowVisible(c.Handle()) != FALSE, e.Visible);
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(SendMessageA(Form->CBUnique.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_NE(GetWindowLongA(Form->ListBox1.Handle(), GWL_STYLE) & LBS_SORT, 0);
  EXPECT_EQ(SendMessageA(Form->ListBox1.Handle(), LB_GETITEMHEIGHT, 0, 0), 13);
}

TEST_F(TestWindow, TabWalksTheControlsInTabOrder) {
  SetFocus(Form->Button1.Handle());
  std::vector<HWND> seen;
  HWND at = Form->Button1.Handle();
  for (int i = 0; i < 4; ++i) {
    at = GetNextDlgTabItem(Form->Handle(), at, FALSE);
    seen.push_back(at);
  }
  // Panels take no focus: after START comes the list, then Clear, then the check box.
  EXPECT_EQ(seen, (std::vector<HWND>{Form->Button2.Handle(), Form->ListBox1.Handle(),
                                     Form->Button4.Handle(), Form->CBUnique.Handle()}));
}

// --- Codes and states ---------------------------------------------------------------------

TEST_F(TestWindow, CodesShowInThePanelsAndSortAsText) {
  Code(33, 11);
  Code(288, 7);
  EXPECT_EQ(Text(Form->Panel1.Handle()), "288");
  EXPECT_EQ(Text(Form->Panel2.Handle()), "7");
  EXPECT_EQ(List(), "288,7;33,11;");
  EXPECT_EQ(SendMessageA(Form->ListBox1.Handle(), LB_GETCURSEL, 0, 0), 0);  // the added item
  Code(4, 1);
  EXPECT_EQ(List(), "288,7;33,11;4,1;");
  EXPECT_EQ(SendMessageA(Form->ListBox1.Handle(), LB_GETCURSEL, 0, 0), 2);
}

TEST_F(TestWindow, UniqueValuesOnlyKeepsOneItemAndTheSelection) {
  Code(33, 11);
  Code(34, 11);
  Code(33, 11);
  EXPECT_EQ(List(), "33,11;34,11;");
  EXPECT_EQ(SendMessageA(Form->ListBox1.Handle(), LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(Form->Panel1.Handle()), "33");  // the panels still show it

  Click(Form->CBUnique);
  ASSERT_EQ(SendMessageA(Form->CBUnique.Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  Code(33, 11);
  Code(33, 11);
  EXPECT_EQ(List(), "33,11;33,11;33,11;34,11;");
}

TEST_F(TestWindow, LargeFirstNumbersAreNegativeInThePanelOnly) {
  Code(0x80000000u, 5);
  Code(0xFFFFFFFFu, 0xFFFFFFFFu);
  EXPECT_EQ(Text(Form->Panel1.Handle()), "-1");
  EXPECT_EQ(Text(Form->Panel2.Handle()), "-1");
  EXPECT_EQ(List(), "2147483648,5;4294967295,4294967295;");
}

TEST_F(TestWindow, StatesShowTheirTexts) {
  const std::pair<int32_t, const char*> states[] = {{rsError, "ERROR"}, {rsNone, "NONE"},
                                                    {rsInit, "INIT"},   {rsOff, "off"},
                                                    {rsGet, "GET"},     {rsOk, "OK"}};
  for (const auto& [state, text] : states) {
    Post(WM_HID_STATUS, static_cast<uint32_t>(state), 15);
    EXPECT_EQ(Text(Form->Panel3.Handle()), text);
  }
  Post(WM_HID_STATUS, rsBusy, 15);
  Post(WM_HID_STATUS, 99, 15);
  EXPECT_EQ(Text(Form->Panel3.Handle()), "OK");
}

TEST_F(TestWindow, ClearEmptiesTheListButNotThePanels) {
  Code(33, 11);
  Click(Form->Button4);
  EXPECT_EQ(List(), "");
  EXPECT_EQ(Text(Form->Panel1.Handle()), "33");
}

// --- START and STOP -----------------------------------------------------------------------

TEST_F(TestWindow, StartWithoutReceiverStaysStart) {
  Code(33, 11);
  Click(Form->Button2);
  EXPECT_EQ(States(), (std::vector<int32_t>{rsNone}));
  EXPECT_EQ(Text(Form->Button2.Handle()), "START");
  EXPECT_EQ(Text(Form->Panel3.Handle()), "NONE");
  EXPECT_EQ(List(), "33,11;");  // not cleared
  EXPECT_EQ(Engine->FTargetWnd, Form->Handle());
  EXPECT_TRUE(Engine->FBeep);
}

TEST_F(TestWindow, StartOpensTwiceAndEndsReceiving) {
  ConfigureReceiver();
  Code(1, 1);
  Click(Form->Button2);
  EXPECT_EQ(States(), (std::vector<int32_t>{rsNone, rsOff, rsNone, rsOff, rsGet}));
  EXPECT_EQ(Text(Form->Panel3.Handle()), "GET");
  EXPECT_EQ(Text(Form->Button2.Handle()), "STOP");
  EXPECT_EQ(List(), "");
  EXPECT_EQ(Engine->FVendorID, 0x1234);

  Click(Form->Button2);
  EXPECT_EQ(States(), (std::vector<int32_t>{rsOff}));
  EXPECT_EQ(Text(Form->Panel3.Handle()), "off");
  EXPECT_EQ(Text(Form->Button2.Handle()), "START");
  EXPECT_TRUE(Hid->Devices[0]->Claimed);  // stays claimed

  // Loading the settings stops reception, which posts nothing while already off.
  Click(Form->Button2);
  EXPECT_EQ(States(), (std::vector<int32_t>{rsNone, rsOff, rsNone, rsOff, rsGet}));
  EXPECT_EQ(Text(Form->Button2.Handle()), "STOP");
}

TEST_F(TestWindow, ReceiverThatCannotBeReadShowsError) {
  ConfigureReceiver();
  Hid->Devices[0]->ReadWriteOpen = false;
  Click(Form->Button2);
  States();
  EXPECT_EQ(Text(Form->Panel3.Handle()), "ERROR");
  EXPECT_EQ(Text(Form->Button2.Handle()), "START");
}

TEST_F(TestWindow, ReportsFromTheReceiverAppearAsCodes) {
  ConfigureReceiver();
  Click(Form->Button2);
  const std::vector<uint8_t> report = {0x00, 0x07, 0x01};
  Hid->Deliver(report);
  Pump();
  EXPECT_EQ(List(), "288,7;");
  EXPECT_EQ(Text(Form->Panel3.Handle()), "GET");
}

// --- The hidden Test button ---------------------------------------------------------------

TEST_F(TestWindow, TestButtonFeedsElevenReportsInACycle) {
  ConfigureReceiver();
  Click(Form->Button2);
  Click(Form->CBUnique);  // keep every item
  for (int i = 0; i < 11; ++i) {
    Now += 600.0 / MSecsPerDay;
    Click(Form->Button3);
  }
  Pump();
  EXPECT_EQ(TestStep, 0);
  EXPECT_EQ(List(), "33,11;33,5;34,11;34,5;35,11;35,5;36,11;36,5;37,11;38,11;38,5;");
}

TEST_F(TestWindow, QuickSecondTestClickIsRefusedButTheStepAdvances) {
  ConfigureReceiver();
  Click(Form->Button2);
  Click(Form->Button3);
  Now += 499.0 / MSecsPerDay;
  Click(Form->Button3);
  Pump();
  EXPECT_EQ(TestStep, 2);
  EXPECT_EQ(List(), "33,11;");
  Now += 1.0 / MSecsPerDay;
  Click(Form->Button3);
  Pump();
  EXPECT_EQ(List(), "33,11;34,11;");
}

TEST_F(TestWindow, TestButtonBeforeStartDecodesNothing) {
  Click(Form->Button3);
  Pump();
  EXPECT_EQ(TestStep, 1);
  EXPECT_EQ(List(), "");
  TestStep = 57;  // any other value: the last report, then back to the first
  Click(Form->Button3);
  EXPECT_EQ(TestStep, 0);
}

// --- Get HID Config ---------------------------------------------------------------------------

TEST_F(TestWindow, GetHidConfigOpensTheDialogAndAFailedSaveIsShown) {
  Hid->Add(0x1234, 0x0001);
  // Another program holds the settings file: the dialog's save cannot write it.
  const HANDLE held = CreateFileA(IniFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
  const auto dialog = [] {
    const HWND w = FindWindowA("TFormTHID", nullptr);
    return w != nullptr && IsWindowVisible(w) ? w : nullptr;
  };
  std::string box;
  HWND shown = nullptr;
  TScript script;
  script
      .Then([&] { return dialog() != nullptr; },
            [&] {
              shown = dialog();
              EXPECT_EQ(Engine->FTargetWnd, Form->Handle());
              EXPECT_TRUE(Engine->FBeep);
              auto& setup = dynamic_cast<TFormTHID&>(*TWindow::FromHandle(dialog()));
              EXPECT_EQ(setup.LBHid.Item(0), "Unknown Device (4660,1)");
              setup.LBHid.SetItemIndex(0);
              setup.TBRepeat.SetFocus();
              PressKeys({VK_RETURN});
            })
      .Then([] { return FindMessageBox() != nullptr; },
            [&] {
              box = MessageBoxText(FindMessageBox());
              PostMessageA(FindMessageBox(), WM_COMMAND, IDOK, 0);
            });
  script.Start(15000);
  Click(Form->Button1);
  CloseHandle(held);
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(box, "Unable to write to " + IniFile);
  // A modal form is hidden before its call returns: what counts is that the window is gone.
  ASSERT_NE(shown, nullptr);
  EXPECT_FALSE(IsWindow(shown)) << "the dialog outlived its call";
  // The program goes on: the window still answers.
  Click(Form->Button4);
  EXPECT_TRUE(IsWindowEnabled(Form->Handle()));
}

}  // namespace
