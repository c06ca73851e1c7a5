// The entry-field foundations on the screen: the attached label following its control, the
// controller and its notification window, the system caret of a custom control, and the demo
// form's pictures.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "gui/Application.h"
#include "ui/EfDemo.h"
#include "ui/Screenshot.h"
#include "ui/Script.h"

namespace {

// Handles the messages of the next Ms milliseconds.
void Pump(DWORD Ms = 60) {
  const DWORD start = GetTickCount();
  do {
    Application().ProcessMessages();
    Sleep(5);
  } while (GetTickCount() - start < Ms);
}

// Runs Action while a script answers the message box it brings up; the box's text.
std::string BoxTextDuring(const std::function<void()>& Action) {
  std::string text;
  TScript s;
  s.Then([] { return FindMessageBox() != nullptr; },
         [&] {
           text = MessageBoxText(FindMessageBox());
           PostMessageA(FindMessageBox(), WM_CLOSE, 0, 0);
         });
  s.Start(5000);
  Action();
  Pump(100);
  s.Stop();
  return text;
}

struct TPoint {
  int X, Y;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};
TPoint At(const TControl& C) {
  return {C.Left(), C.Top()};
}
TPoint Offsets(TEfCustomControl& C) {
  return {C.LabelInfo().OffsetX(), C.LabelInfo().OffsetY()};
}
void PrintTo(const TPoint& P, std::ostream* Os) {
  *Os << "(" << P.X << ", " << P.Y << ")";
}

class EfDemo : public ::testing::Test {
 protected:
  void SetUp() override {
    Form.Show();
    Pump();
  }
  TEfAttachedLabel& Label() { return Form.Box().AttachedLabel(); }

  TEfDemoForm Form;
};

TEST_F(EfDemo, LoadingAttachesTheLabelWhereItStands) {
  EXPECT_EQ(At(Label()), (TPoint{283, 217}));
  EXPECT_EQ(Label().Height(), 13);
  EXPECT_EQ(Offsets(Form.Box()), (TPoint{35, 16}));
  EXPECT_EQ(Label().Control(), &Form.Box());
  EXPECT_EQ(&Form.Box().Controller(), &DefaultController());
}

TEST_F(EfDemo, TheLabelFollowsItsControl) {
  Form.Box().SetBounds(100, 50, 29, 21);
  Pump();
  EXPECT_EQ(At(Label()), (TPoint{135, 53}));
  // Moving the label moves the offsets, not the control.
  Label().SetBounds(300, Label().Top(), Label().Width(), Label().Height());
  Pump();
  EXPECT_EQ(Offsets(Form.Box()), (TPoint{200, 16}));
  EXPECT_EQ(At(Form.Box()), (TPoint{100, 50}));
  Form.Box().SetVisible(false);
  EXPECT_FALSE(Label().Visible());
  Form.Box().SetVisible(true);
  EXPECT_TRUE(Label().Visible());
}

TEST_F(EfDemo, LabelsMadeAndFreedWhileTheFormRuns) {
  TEfCustomControl& plain = Form.Plain();
  // A component with the first name a label would take: the label takes the next.
  Form.CreateControl({.Kind = ControlKind<TLabel>, .Name = "PlainLabel1", .Caption = "x"});
  plain.LabelInfo().SetVisible(true);
  Pump();
  TEfAttachedLabel& made = plain.AttachedLabel();
  EXPECT_EQ(made.Name(), "PlainLabel2");
  EXPECT_EQ(made.Caption(), "PlainLabel2");
  EXPECT_EQ(made.Left(), plain.Left());
  EXPECT_EQ(made.Top() + made.Height(), plain.Top());
  EXPECT_EQ(Offsets(plain), (TPoint{0, 0}));

  // Freed by other means: the control has no label any more.
  Form.FreeComponent(made);
  EXPECT_FALSE(plain.LabelInfo().Visible());
  try {
    (void)plain.AttachedLabel();
    FAIL();
  } catch (const ELabelNotAttached& e) {
    EXPECT_STREQ(e.what(), "Label not attached");
  }
  // The control takes its label with it.
  Form.FreeComponent(Form.Box());
  EXPECT_EQ(Form.FindComponent("BoxLabel1"), nullptr);
  // A label name that is no identifier is refused.
  auto& odd = Form.CreateControl<TDemoBox>({.Kind = ControlKind<TDemoBox>, .Name = "Vol +"});
  try {
    odd.LabelInfo().SetVisible(true);
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "''Vol +Label1'' is not a valid component name");
  }
  EXPECT_FALSE(odd.LabelInfo().Visible());
  EXPECT_EQ(Form.FindComponent("Vol +Label1"), nullptr);
}

TEST_F(EfDemo, TheMnemonicFocusesTheControlWhenItCanTakeIt) {
  Form.Control("Other").SetFocus();
  Form.Box().SetEnabled(false);
  PressKeys({VK_MENU, 'X'});
  Pump();
  EXPECT_EQ(GetFocus(), Form.Control("Other").Handle());
  Form.Box().SetEnabled(true);
  PressKeys({VK_MENU, 'X'});
  Pump();
  EXPECT_EQ(GetFocus(), Form.Box().Handle());
}

TEST_F(EfDemo, KeysGoThroughTheCommandTablesAndTheCaretFollowsTheMode) {
  TDemoBox& box = Form.Plain();
  box.OnKeyDown = TKeyEvent(
      [](void*, void*, WORD& Key, TShiftState) {
        if (Key == 'Q') Key = 0;  // a handler swallows Q
      },
      nullptr);
  int entered = 0;
  box.AfterEnter = TNotifyEvent([](void* N, void*) { ++*static_cast<int*>(N); }, &entered);
  const unsigned before = GetCaretBlinkTime();
  box.SetFocus();
  EXPECT_EQ(entered, 0);  // posted: after the focus change
  Pump();
  EXPECT_EQ(entered, 1);
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  const auto caret = [&info] {
    GetGUIThreadInfo(GetCurrentThreadId(), &info);
    return TPoint{info.rcCaret.right - info.rcCaret.left, info.rcCaret.bottom - info.rcCaret.top};
  };
  EXPECT_EQ(caret().X, 2);
  EXPECT_EQ(info.hwndCaret, box.Handle());
  EXPECT_EQ(GetCaretBlinkTime(), 200u);
  PressKeys({VK_HOME});
  PressKeys({VK_INSERT});
  PressKeys({'Q'});
  PressKeys({'K'});
  Pump();
  EXPECT_EQ(box.Text, "klain");
  EXPECT_EQ(box.Commands, (std::vector<TEfCommand>{ccHome, ccIns, ccCharAllowed}));
  EXPECT_FALSE(box.Carets.InsertMode());
  EXPECT_EQ(caret(), (TPoint{box.Carets.CellWidth(), box.Carets.CellHeight()}));
  // Leaving takes the caret away, gives the blink time back and remembers the mode.
  Form.Control("Other").SetFocus();
  Pump();
  EXPECT_EQ(GetCaretBlinkTime(), before);
  EXPECT_FALSE(DefaultController().InsertMode());
  DefaultController().SetInsertMode(true);
}

TEST_F(EfDemo, PicturesOfTheCaretModes) {
  TDemoBox& box = Form.Box();
  box.SetFocus();
  Pump();
  PressKeys({VK_END});
  PressKeys({VK_LEFT});
  Pump();
  SaveScreenshot(Form.Handle(), "EfDemo-insert");
  PressKeys({VK_INSERT});
  Pump();
  // A caret that blinked off is shown again at once by moving it.
  box.Carets.SetPosition(box.Carets.PositionX(), box.Carets.PositionY());
  SaveScreenshot(Form.Handle(), "EfDemo-overwrite");
  EXPECT_FALSE(box.Carets.InsertMode());
  box.Carets.CaretOvr()->SetShape(csHalfBlock);
  box.SetBounds(150, 150, 29, 21);
  Pump();
  box.Carets.SetPosition(box.Carets.PositionX(), box.Carets.PositionY());
  SaveScreenshot(Form.Handle(), "EfDemo-moved-halfblock");
  EXPECT_EQ(At(Label()), (TPoint{185, 153}));
  // A picture caret has the picture's size.
  box.Carets.CaretOvr()->SetBitmap({3, 4, std::vector<uint32_t>(12, 0xFFFFFF)});
  box.Carets.CaretOvr()->SetShape(csBitmap);
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetCurrentThreadId(), &info);
  EXPECT_EQ(info.rcCaret.right - info.rcCaret.left, 3);
  EXPECT_EQ(info.rcCaret.bottom - info.rcCaret.top, 4);
  box.Carets.CaretOvr()->SetShape(csBlock);
  DefaultController().SetInsertMode(true);
}

// --- The controller ------------------------------------------------------------------------

class EfController : public EfDemo {};

std::string NameOf(const void* C) {
  return C != nullptr ? static_cast<const TControl*>(C)->Name() : "-";
}

TEST_F(EfController, NotificationsRunAfterwardsAndSkipFieldsThatWent) {
  TEfController c;
  std::string seen;
  c.OnPreEdit = TPreEditEvent(
      [](void* Seen, void* Sender, TControl* Losing) {
        *static_cast<std::string*>(Seen) += NameOf(Sender) + ":pre " + NameOf(Losing) + ";";
      },
      &seen);
  c.OnPostEdit = TPostEditEvent(
      [](void* Seen, void*, TControl* Gaining) {
        *static_cast<std::string*>(Seen) += "post " + NameOf(Gaining) + ";";
      },
      &seen);
  c.OnDelayNotify = TDelayNotifyEvent(
      [](void* Seen, void*, uint16_t Code) {
        *static_cast<std::string*>(Seen) += "notify " + std::to_string(Code) + ";";
      },
      &seen);
  c.PostPreEdit(Form.Box(), Form.Control("Other").Handle());
  c.PostPostEdit(Form.Box(), nullptr);
  c.PostDelayNotify(Form.Box(), 0x1234);
  EXPECT_EQ(seen, "");  // posted, not sent
  Pump();
  EXPECT_EQ(seen, "Box:pre Other;post -;notify 4660;");
  // Refocus shows the field and gives it the focus; a field freed meanwhile is skipped.
  Form.Box().SetVisible(false);
  c.PostRefocus(Form.Box());
  Pump();
  EXPECT_TRUE(Form.Box().Visible());
  EXPECT_EQ(GetFocus(), Form.Box().Handle());
  c.PostPreEdit(Form.Plain(), nullptr);
  Form.FreeComponent(Form.Plain());
  seen.clear();
  Pump();
  EXPECT_EQ(seen, "");
}

TEST_F(EfController, ErrorsInItsActionsAreShownAndTheLoopGoesOn) {
  TEfController c;
  c.OnPreEdit = TPreEditEvent(
      [](void*, void*, TControl*) { throw std::runtime_error("pre-edit failed"); }, nullptr);
  c.PostPreEdit(Form.Box(), nullptr);
  EXPECT_EQ(BoxTextDuring([] { Pump(); }), "pre-edit failed");
  // The error display: OnError when set, else an error box.
  EXPECT_EQ(
      BoxTextDuring([&] { c.DoError(&Form.Box(), 256, "Value is not within required range"); }),
      "Value is not within required range");
  uint16_t code = 0;
  c.OnError = TDataErrorEvent([](void* Code, void*, uint16_t ErrorCode,
                                 std::string_view) { *static_cast<uint16_t*>(Code) = ErrorCode; },
                              &code);
  c.DoError(&Form.Box(), 257, "x");
  EXPECT_EQ(code, 257);
}

TEST_F(EfController, OptionsEpochAndSpecialControls) {
  TEfController c;
  EXPECT_EQ(c.EntryOptions(), (TEfBaseEFOptions{efoAutoSelect, efoBeepOnError, efoInsertPushes}));
  EXPECT_EQ(c.EntryCommands().Table(0).Title(), "Default");
  EXPECT_FALSE(c.ReportingError());
  EXPECT_TRUE(c.InsertMode());
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(c.Epoch(), now.wYear / 100 * 100);
  for (const int refused : {1500, 1599, 4000}) c.SetEpoch(refused);
  EXPECT_EQ(c.Epoch(), now.wYear / 100 * 100);
  c.SetEpoch(1950);
  EXPECT_EQ(c.Epoch(), 1950);
  c.OnGetEpoch = TGetEpochEvent([](void*, void*, int& Epoch) { Epoch += 1; }, nullptr);
  EXPECT_EQ(c.Epoch(), 1951);

  EXPECT_FALSE(c.IsSpecialControl(Form.Control("Other").Handle()));
  c.OnIsSpecialControl = TIsSpecialControlEvent(
      [](void*, void*, TControl* Control, bool& Special) {
        Special = Control != nullptr && Control->Name() == "Other";
      },
      nullptr);
  EXPECT_TRUE(c.IsSpecialControl(Form.Control("Other").Handle()));
  EXPECT_FALSE(c.IsSpecialControl(Form.Box().Handle()));
}

TEST_F(EfController, FieldsTakeTheFormsControllerAndDropAFreedOne) {
  auto& mine = dynamic_cast<TEfController&>(
      Form.InsertComponent(std::make_unique<TEfController>("Controller1")));
  // Fields that have one keep it; a field made now takes the form's.
  EXPECT_EQ(&Form.Box().Controller(), &DefaultController());
  auto& late = Form.CreateControl<TDemoBox>(
      {.Kind = ControlKind<TDemoBox>, .Name = "Late", .Width = 40, .Height = 21});
  EXPECT_EQ(&late.Controller(), &mine);
  Form.FreeComponent(mine);
  EXPECT_FALSE(late.HasController());
  EXPECT_EQ(&late.Controller(), &DefaultController());
  // A controller freed outside any form lets go of its fields too.
  {
    TEfController own;
    late.SetController(&own);
  }
  EXPECT_FALSE(late.HasController());
}

TEST_F(EfController, TimerPoolForwardsTriggers) {
  TEfController c;
  struct TFired {
    int Handle = 0;
    unsigned Interval = 0;
    int Count = 0;
  } fired;
  c.OnTimerTrigger = TTriggerEvent(
      [](void* F, void*, int Handle, unsigned Interval, unsigned) {
        auto* f = static_cast<TFired*>(F);
        f->Handle = Handle;
        f->Interval = Interval;
        ++f->Count;
      },
      &fired);
  const int handle = c.TimerPool().Add(30);
  Pump(200);
  EXPECT_EQ(fired.Handle, handle);
  EXPECT_EQ(fired.Interval, 30u);
  EXPECT_GT(fired.Count, 0);
  c.TimerPool().Remove(handle);
  const int count = fired.Count;
  Pump(100);
  EXPECT_EQ(fired.Count, count);
}

}  // namespace
