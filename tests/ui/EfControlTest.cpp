// The entry-field foundations on the screen: the attached label following its control, the
// controller and its notification window, the system caret of a custom control, and the demo
// form's pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <span>
#include <string>
#include <vector>

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

// --- The pair ends in either order --------------------------------------------------------

// What went, in the order it went: a control writes down its address as it is freed, a label
// whether it still held a control then, and whether that control was one already freed.
std::vector<const void*>& FreedControls() {
  static std::vector<const void*> freed;
  return freed;
}
std::vector<std::string>& LabelEnds() {
  static std::vector<std::string> ends;
  return ends;
}

class TLinkedBox final : public TEfCustomControl {
 public:
  using TProps = TEfLabelInfoDef;
  TLinkedBox(TForm& Form, std::string_view Name) : TEfCustomControl(Form, Name) {
    std::erase(FreedControls(), this);  // a new control at the place of a freed one
  }
  ~TLinkedBox() override { FreedControls().push_back(this); }

 protected:
  void ReadProps(const TControlProps& Props) override { LoadLabelInfo(Props.As<TProps>(Name())); }
  void CreateParams(TCreateParams& Params) override {
    TEfCustomControl::CreateParams(Params);
    Params.ClassName = "TLinkedBox";
  }
  void Paint(HDC Dc, const RECT& R) override { FillBackground(Dc, R); }
};

class TLinkedLabel final : public TEfAttachedLabel {
 public:
  using TEfAttachedLabel::TEfAttachedLabel;
  ~TLinkedLabel() override {
    const auto& freed = FreedControls();
    if (Control() == nullptr) {
      LabelEnds().push_back(Name() + " alone");
    } else if (std::find(freed.begin(), freed.end(), Control()) != freed.end()) {
      LabelEnds().push_back(Name() + " still holds its freed control");
    } else {
      LabelEnds().push_back(Name() + " with its control");
    }
  }
};

constexpr TEfLabelInfoDef LinkedInfo{.OffsetX = 0, .OffsetY = 0, .Visible = true};
constexpr TEfAttachedLabelProps FieldCaption{.Label = {.FocusControl = "Field"},
                                             .Control = "Field"};

// Controls on the form come before those in a panel in the component list, which the form
// frees from the end: the control in the panel goes before the label on the form, the label in
// the panel before the control on the form.
constexpr TControlDef LabelFirstControls[] = {
    {.Kind = ControlKind<TPanel>, .Name = "Pane", .Left = 8, .Top = 8, .Width = 150, .Height = 60},
    {.Kind = ControlKind<TLinkedLabel>,
     .Name = "FieldLabel1",
     .Left = 8,
     .Top = 80,
     .Width = 60,
     .Height = 13,
     .Caption = "&Field",
     .Props = FieldCaption},
    {.Kind = ControlKind<TLinkedBox>,
     .Name = "Field",
     .Parent = "Pane",
     .Left = 8,
     .Top = 8,
     .Width = 60,
     .Height = 21,
     .TabOrder = 0,
     .Props = LinkedInfo},
};
constexpr TControlDef ControlFirstControls[] = {
    {.Kind = ControlKind<TPanel>, .Name = "Pane", .Left = 8, .Top = 8, .Width = 150, .Height = 60},
    {.Kind = ControlKind<TLinkedLabel>,
     .Name = "FieldLabel1",
     .Parent = "Pane",
     .Left = 8,
     .Top = 8,
     .Width = 60,
     .Height = 13,
     .Caption = "&Field",
     .Props = FieldCaption},
    {.Kind = ControlKind<TLinkedBox>,
     .Name = "Field",
     .Left = 8,
     .Top = 80,
     .Width = 60,
     .Height = 21,
     .TabOrder = 0,
     .Props = LinkedInfo},
};

class TPairForm final : public TForm {
 public:
  explicit TPairForm(std::span<const TControlDef> Controls) {
    const TFormDef def{.Name = "TPairForm",
                       .Caption = "Pairs",
                       .BorderStyle = TBorderStyle::Dialog,
                       .ClientWidth = 200,
                       .ClientHeight = 120,
                       .Controls = Controls};
    CreateForm(def, {});
  }
};

class EfLabelPair : public ::testing::Test {
 protected:
  void SetUp() override {
    FreedControls().clear();
    LabelEnds().clear();
  }
};

TEST_F(EfLabelPair, EndsCleanlyWhenTheFormFreesTheControlFirstOrTheLabelFirst) {
  struct {
    std::span<const TControlDef> Controls;
    const char* End;
  } const cases[] = {
      {LabelFirstControls, "FieldLabel1 alone"},
      {ControlFirstControls, "FieldLabel1 with its control"},
  };
  for (const auto& c : cases) {
    LabelEnds().clear();
    {
      TPairForm form(c.Controls);
      form.Show();
      Pump();
      auto& field = form.Control<TLinkedBox>("Field");
      ASSERT_EQ(&field.AttachedLabel(), &form.Control("FieldLabel1"));
      ASSERT_EQ(form.Control<TLinkedLabel>("FieldLabel1").Control(), &field);
    }
    EXPECT_EQ(LabelEnds(), std::vector<std::string>{c.End});
  }
}

TEST_F(EfLabelPair, EndsCleanlyForALabelAttachedToAControlMadeAfterIt) {
  // The label comes first in the list and attaches itself to a control made later: the control
  // is freed first.
  {
    TPairForm form(ControlFirstControls);
    form.Show();
    Pump();
    auto& label = form.Control<TLinkedLabel>("FieldLabel1");
    auto& late = form.CreateControl<TLinkedBox>({.Kind = ControlKind<TLinkedBox>,
                                                 .Name = "Late",
                                                 .Left = 100,
                                                 .Top = 80,
                                                 .Width = 60,
                                                 .Height = 21,
                                                 .TabOrder = 1});
    label.SetControl(&late);
    label.SetBounds(label.Left() + 1, label.Top(), label.Width(), label.Height());  // attaches
    Pump();
    ASSERT_EQ(&late.AttachedLabel(), &label);
  }
  EXPECT_EQ(LabelEnds(), std::vector<std::string>{"FieldLabel1 alone"});
  // Freeing the control while the form runs takes its label with it, while it is still whole.
  {
    TPairForm form(ControlFirstControls);
    form.Show();
    Pump();
    LabelEnds().clear();
    form.FreeComponent(form.Control("Field"));
    EXPECT_EQ(form.FindComponent("FieldLabel1"), nullptr);
    EXPECT_EQ(LabelEnds(), std::vector<std::string>{"FieldLabel1 with its control"});
  }
  EXPECT_EQ(LabelEnds().size(), 1u);
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
  // The letter alone does the same from a button; a control that takes characters types it.
  Form.Control("Other").SetFocus();
  PressKeys({'X'});
  Pump();
  EXPECT_EQ(GetFocus(), Form.Box().Handle());
  Form.Plain().SetFocus();
  PressKeys({VK_END});
  PressKeys({'X'});
  Pump();
  EXPECT_EQ(GetFocus(), Form.Plain().Handle());
  EXPECT_EQ(Form.Plain().Text, "plainx");
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
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  // The caret's size and its top left in the box.
  const auto caret = [&info] {
    GetGUIThreadInfo(GetCurrentThreadId(), &info);
    return std::vector<int>{info.rcCaret.right - info.rcCaret.left,
                            info.rcCaret.bottom - info.rcCaret.top, info.rcCaret.left,
                            info.rcCaret.top};
  };
  const int cellW = box.Carets.CellWidth();
  const int cellH = box.Carets.CellHeight();
  const int x = box.Carets.PositionX();
  const int y = box.Carets.PositionY();
  // Insert: a 2-pixel line as high as the cell, before the last character.
  EXPECT_EQ(caret(), (std::vector<int>{2, cellH, x, y}));
  PressKeys({VK_INSERT});
  Pump();
  // A caret that blinked off is shown again at once by moving it.
  box.Carets.SetPosition(box.Carets.PositionX(), box.Carets.PositionY());
  SaveScreenshot(Form.Handle(), "EfDemo-overwrite");
  EXPECT_FALSE(box.Carets.InsertMode());
  EXPECT_EQ(caret(), (std::vector<int>{cellW, cellH, x, y}));  // a block over the character
  box.Carets.CaretOvr()->SetShape(csHalfBlock);
  box.SetBounds(150, 150, 29, 21);
  Pump();
  box.Carets.SetPosition(box.Carets.PositionX(), box.Carets.PositionY());
  SaveScreenshot(Form.Handle(), "EfDemo-moved-halfblock");
  EXPECT_EQ(At(Label()), (TPoint{185, 153}));
  // The lower half of the cell.
  EXPECT_EQ(caret(), (std::vector<int>{cellW, cellH / 2, x, y + cellH - cellH / 2}));
  // A picture caret has the picture's size.
  box.Carets.CaretOvr()->SetBitmap({3, 4, std::vector<uint32_t>(12, 0xFFFFFF)});
  box.Carets.CaretOvr()->SetShape(csBitmap);
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
  // Both ends of 1600 .. 3999 are taken; one past either end leaves the epoch as it was.
  const std::pair<int, int> epochs[] = {{1600, 1600}, {1599, 1600},  {3999, 3999},
                                        {4000, 3999}, {-1600, 3999}, {1950, 1950}};
  for (const auto& [set, expected] : epochs) {
    c.SetEpoch(set);
    EXPECT_EQ(c.Epoch(), expected) << "after " << set;
  }
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
