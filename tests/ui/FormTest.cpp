// The form layer on a small form of its own: creation from the table, the keyboard interface
// and modal runs.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "gui/Application.h"
#include "gui/Form.h"
#include "ui/Script.h"

namespace {

constexpr TPanelProps LoweredPanel{.BevelOuter = TBevel::Lowered};
constexpr TLabelProps ItemsPrompt{.FocusControl = "Items"};
constexpr TBitBtnProps OKKind{.Kind = TBitBtnKind::OK};
constexpr TBitBtnProps CancelKind{.Kind = TBitBtnKind::Cancel};

constexpr TControlDef SampleControls[] = {
    {.Kind = ControlKind<TPanel>,
     .Name = "Box",
     .Left = 8,
     .Top = 8,
     .Width = 200,
     .Height = 60,
     .TabOrder = 0,
     .Caption = "Panel text",
     .Props = LoweredPanel},
    {.Kind = ControlKind<TLabel>,
     .Name = "Prompt",
     .Parent = "Box",
     .Left = 4,
     .Top = 4,
     .Width = 90,
     .Height = 13,
     .Caption = "&Items",
     .Props = ItemsPrompt},
    {.Kind = ControlKind<TListBox>,
     .Name = "Items",
     .Left = 8,
     .Top = 76,
     .Width = 200,
     .Height = 60,
     .TabOrder = 2},
    {.Kind = ControlKind<TCheckBox>,
     .Name = "Option",
     .Left = 8,
     .Top = 140,
     .Width = 120,
     .Height = 17,
     .TabOrder = 1,
     .Caption = "&Option",
     .OnClick = "Clicked"},
    {.Kind = ControlKind<TBitBtn>,
     .Name = "OK",
     .Left = 8,
     .Top = 170,
     .Width = 90,
     .Height = 25,
     .TabOrder = 3,
     .Caption = "&OK",
     .Props = OKKind},
    {.Kind = ControlKind<TBitBtn>,
     .Name = "Cancel",
     .Left = 110,
     .Top = 170,
     .Width = 90,
     .Height = 25,
     .TabOrder = 4,
     .Caption = "&Cancel",
     .Props = CancelKind},
    {.Kind = ControlKind<TButton>,
     .Name = "Apply",
     .Left = 8,
     .Top = 200,
     .Width = 90,
     .Height = 25,
     .TabOrder = 5,
     .Caption = "&Apply",
     .OnClick = "Clicked"},
};

constexpr TFormDef SampleDef{.Name = "TSampleForm",
                             .Caption = "Sample",
                             .BorderStyle = TBorderStyle::Dialog,
                             .Position = TFormPosition::ScreenCenter,
                             .ClientWidth = 220,
                             .ClientHeight = 230,
                             .Controls = SampleControls,
                             .OnCreate = "Created",
                             .OnShortCut = "ShortCut"};

class TSampleForm final : public TForm {
 public:
  TSampleForm() {
    const THandler handlers[] = {
        {"Created", TNotifyEvent::Bind<&TSampleForm::Created>(this)},
        {"Clicked", TNotifyEvent::Bind<&TSampleForm::Clicked>(this)},
        {"ShortCut", TShortCutEvent::Bind<&TSampleForm::ShortCut>(this)},
    };
    CreateForm(SampleDef, handlers);
  }
  void Created(void* /*Sender*/) { ++CreatedCalls; }
  void Clicked(void* Sender) { Clicks.push_back(static_cast<TControl*>(Sender)->Name()); }
  void ShortCut(WORD CharCode, LPARAM /*KeyData*/, bool& Handled) {
    Keys.push_back(CharCode);
    Handled = CharCode == VK_F2;  // F2 never reaches the focused control
  }

  int CreatedCalls = 0;
  std::vector<std::string> Clicks;
  std::vector<WORD> Keys;
};

class FormLayer : public ::testing::Test {
 protected:
  // Runs the form modally while the script drives it; its modal result.
  int RunModal(TScript& Script) {
    Script.Start(10000, [this] { Form.Close(); });
    const int result = Form.ShowModal();
    Script.Stop();
    EXPECT_TRUE(Script.Finished()) << "stuck at step " << Script.StepReached();
    return result;
  }
  HWND Focus() const { return GetFocus(); }
  HWND Of(const char* Name) const { return Form.Control(Name).Handle(); }

  TSampleForm Form;
};

TEST_F(FormLayer, BuildsTheControlsOfTheTable) {
  EXPECT_EQ(Form.CreatedCalls, 1);
  EXPECT_EQ(Form.Caption(), "Sample");
  RECT client;
  GetClientRect(Form.Handle(), &client);
  EXPECT_EQ(client.right, 220);
  EXPECT_EQ(client.bottom, 230);
  // Every caption is the window text, the panel's too.
  EXPECT_EQ(TextOf(Of("Box")), "Panel text");
  EXPECT_EQ(TextOf(Of("Prompt")), "&Items");
  EXPECT_EQ(GetParent(Of("Prompt")), Of("Box"));
  const RECT r = Form.Control("Prompt").BoundsRect();
  EXPECT_EQ(r.left, 4);
  EXPECT_EQ(r.top, 4);
  EXPECT_EQ(SendMessageA(Form.Handle(), DM_GETDEFID, 0, 0),
            MAKELRESULT(GetDlgCtrlID(Of("OK")), DC_HASDEFID));
  EXPECT_THROW((void)Form.Control("Missing"), std::logic_error);
}

TEST_F(FormLayer, EnterPressesTheDefaultButton) {
  TScript s;
  s.Then([] { return true; }, [] { PressKeys({VK_RETURN}); });
  EXPECT_EQ(RunModal(s), mrOk);
  EXPECT_FALSE(IsWindowVisible(Form.Handle()));
}

TEST_F(FormLayer, EscapeAndTheCloseBoxCancel) {
  TScript s;
  s.Then([] { return true; }, [] { PressKeys({VK_ESCAPE}); });
  EXPECT_EQ(RunModal(s), mrCancel);
  TScript close;
  close.Then([] { return true; }, [this] { PostMessageA(Form.Handle(), WM_CLOSE, 0, 0); });
  EXPECT_EQ(RunModal(close), mrCancel);
}

TEST_F(FormLayer, TabFollowsTheTabOrderAndMnemonicsFocusOrPress) {
  TScript s;
  std::vector<HWND> seen;
  s.Then([] { return true; },
         [&] {
           seen.push_back(Focus());
           PressKeys({VK_TAB});
         })
      .Then([] { return true; },
            [&] {
              seen.push_back(Focus());
              PressKeys({VK_TAB});
            })
      .Then([] { return true; },
            [&] {
              seen.push_back(Focus());
              PressKeys({VK_MENU, 'I'});
            })
      .Then([] { return true; },
            [&] {
              seen.push_back(Focus());
              PressKeys({VK_MENU, 'A'});
            })
      .Then([] { return true; },
            [&] {
              seen.push_back(Focus());
              PressKeys({VK_F2});
            })
      .Then([] { return true; },
            [&] {
              PressKeys({VK_MENU, 'C'});
            });
  EXPECT_EQ(RunModal(s), mrCancel);
  // Focus starts on the first control in tab order; the label's "&I" focuses the list.
  EXPECT_EQ(seen,
            (std::vector<HWND>{Of("Option"), Of("Items"), Of("OK"), Of("Items"), Of("Apply")}));
  EXPECT_EQ(Form.Clicks, (std::vector<std::string>{"Apply"}));
  // Every key press was offered to the form first.
  EXPECT_NE(std::find(Form.Keys.begin(), Form.Keys.end(), VK_F2), Form.Keys.end());
}

TEST_F(FormLayer, ALabelsLetterAloneFocusesItsControlFromControlsThatTakeNoCharacters) {
  TScript s;
  std::vector<HWND> seen;
  const auto press = [&](HWND From, WORD Key) {
    return [&seen, From, Key] {
      if (From != nullptr) SetFocus(From);
      PressKeys({Key});
    };
  };
  const auto note = [&] {
    seen.push_back(Focus());
    return true;
  };
  // From a button, a check box and (with Alt, as ever) from the list itself, "I" goes to the
  // label's list, not to the tab stop after the label; in the list a letter stays there, as
  // a list box takes characters.
  s.Then([] { return true; }, press(Of("OK"), 'I'))
      .Then(note, press(Of("Option"), 'I'))
      .Then(note, press(nullptr, 'O'))
      .Then(note,
            [&] {
              Form.Control("Items").SetEnabled(false);
              press(Of("Apply"), 'I')();
            })
      .Then(note, [] { PressKeys({VK_ESCAPE}); });
  EXPECT_EQ(RunModal(s), mrCancel);
  EXPECT_EQ(seen, (std::vector<HWND>{Of("Items"), Of("Items"), Of("Items"), Of("Apply")}));
  EXPECT_TRUE(Form.Clicks.empty());
}

TEST_F(FormLayer, ClicksReachTheirHandlersWithTheSender) {
  SendMessageA(Of("Option"), BM_CLICK, 0, 0);
  SendMessageA(Of("Apply"), BM_CLICK, 0, 0);
  EXPECT_EQ(Form.Clicks, (std::vector<std::string>{"Option", "Apply"}));
  EXPECT_EQ(SendMessageA(Of("Option"), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(Form.ModalResult(), mrNone);
  SendMessageA(Of("OK"), BM_CLICK, 0, 0);
  EXPECT_EQ(Form.ModalResult(), mrOk);
}

TEST_F(FormLayer, ModalFormDisablesTheOtherWindows) {
  const HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                     nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  TScript s;
  bool disabled = false;
  s.Then([] { return true; },
         [&] {
           disabled = !IsWindowEnabled(other);
           Form.SetModalResult(mrOk);
         });
  EXPECT_EQ(RunModal(s), mrOk);
  EXPECT_TRUE(disabled);
  EXPECT_TRUE(IsWindowEnabled(other));
  DestroyWindow(other);
}

TEST_F(FormLayer, ModalFormWithAnOwnerDisablesOnlyTheOwnerAndIsOwnedMeanwhile) {
  const auto popup = [](const char* Caption) {
    return CreateWindowExA(0, "STATIC", Caption, WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
  };
  const HWND owner = popup("owner");
  const HWND other = popup("other");
  struct TSeen {
    bool OwnerEnabled, OtherEnabled;
    HWND FormOwner;
  };
  std::vector<TSeen> seen;
  for (int round = 0; round < 2; ++round) {  // the second run starts as the first
    TScript s;
    s.Then([] { return true; },
           [&] {
             seen.push_back({IsWindowEnabled(owner) != FALSE, IsWindowEnabled(other) != FALSE,
                             GetWindow(Form.Handle(), GW_OWNER)});
             Form.SetModalResult(mrOk);
           });
    s.Start(10000, [this] { Form.Close(); });
    EXPECT_EQ(Form.ShowModal(owner), mrOk);
    s.Stop();
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_TRUE(IsWindowEnabled(other));
    EXPECT_EQ(GetWindow(Form.Handle(), GW_OWNER), nullptr);  // given back afterwards
  }
  ASSERT_EQ(seen.size(), 2u);
  for (const TSeen& s : seen) {
    EXPECT_FALSE(s.OwnerEnabled);
    EXPECT_TRUE(s.OtherEnabled);
    EXPECT_EQ(s.FormOwner, owner);
  }
  // An owner the host disabled itself stays disabled afterwards.
  EnableWindow(owner, FALSE);
  TScript s;
  s.Then([] { return true; }, [&] { Form.SetModalResult(mrOk); });
  s.Start(10000, [this] { Form.Close(); });
  EXPECT_EQ(Form.ShowModal(owner), mrOk);
  s.Stop();
  EXPECT_FALSE(IsWindowEnabled(owner));
  DestroyWindow(owner);
  DestroyWindow(other);
}

// A control of a kind the layer does not know, built on its custom control base: it writes
// down what the layer tells it.
struct TProbeProps {
  const char* Greeting = "";
};

class TProbe final : public TCustomControl {
 public:
  using TProps = TProbeProps;
  using TCustomControl::TCustomControl;
  std::string Greeting;
  std::vector<std::string> Log;

 protected:
  void ReadProps(const TControlProps& Props) override {
    Greeting = Props.As<TProps>(Name()).Greeting;
  }
  void CreateParams(TCreateParams& Params) override {
    TCustomControl::CreateParams(Params);
    Params.ClassName = "TProbe";
  }
  void Paint(HDC Dc, const RECT& R) override { FillBackground(Dc, R); }
  void BoundsChanged() override { Log.push_back("bounds"); }
  void VisibleChanged() override { Log.push_back(Visible() ? "shown" : "hidden"); }
  void EnabledChanged() override { Log.push_back(Enabled() ? "enabled" : "disabled"); }
  void DoEnter(HWND) override { Log.emplace_back("enter"); }
  void DoExit(HWND) override { Log.emplace_back("exit"); }
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TCustomControl::MouseDown(Button, Shift, X, Y);
    Log.push_back("down " + std::to_string(X) + "," + std::to_string(Y));
  }
};

constexpr TProbeProps Hello{.Greeting = "hello"};

TEST_F(FormLayer, ControlsOfKindsItDoesNotKnowComeAndGoAtRunTime) {
  Form.Show();
  auto& probe = Form.CreateControl<TProbe>({.Kind = ControlKind<TProbe>,
                                            .Name = "Probe1",
                                            .Left = 10,
                                            .Top = 10,
                                            .Width = 30,
                                            .Height = 20,
                                            .TabOrder = 9,
                                            .Props = Hello});
  EXPECT_EQ(probe.Greeting, "hello");
  EXPECT_EQ(&Form.Control("probe1"), &probe);  // names compare without case
  probe.SetBounds(20, 10, 30, 20);
  probe.SetBounds(20, 10, 30, 20);  // no change, no notice
  probe.SetVisible(false);
  probe.SetVisible(true);
  probe.SetEnabled(false);
  probe.SetEnabled(true);
  SendMessageA(probe.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  SetFocus(Of("Apply"));
  EXPECT_EQ(probe.Log, (std::vector<std::string>{"bounds", "hidden", "shown", "disabled", "enabled",
                                                 "enter", "down 3,4", "exit"}));
  EXPECT_EQ(Form.UniqueName("Probe"), "Probe2");
  Form.FreeComponent(probe);
  EXPECT_EQ(Form.FindComponent("Probe1"), nullptr);
  EXPECT_EQ(Form.UniqueName("Probe"), "Probe1");
}

TEST_F(FormLayer, NamesAndPropertiesAreChecked) {
  const size_t count = Form.Components().size();
  try {
    Form.CreateControl({.Kind = ControlKind<TProbe>, .Name = "APPLY"});
    ADD_FAILURE();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "A component named APPLY already exists");
  }
  // Properties of another kind: the definition is wrong, nothing is left behind.
  EXPECT_THROW(Form.CreateControl({.Kind = ControlKind<TButton>, .Name = "Wrong", .Props = Hello}),
               std::logic_error);
  EXPECT_EQ(Form.Components().size(), count);
}

TEST_F(FormLayer, AnErrorInAShortCutIsShownAndTheLoopGoesOn) {
  Form.OnShortCut = TShortCutEvent(
      [](void*, WORD CharCode, LPARAM, bool&) {
        if (CharCode == VK_F3) throw std::runtime_error("short cut failed");
      },
      nullptr);
  std::string shown;
  TScript s;
  s.Then([] { return true; }, [] { PressKeys({VK_F3}); })
      .Then([] { return FindMessageBox() != nullptr; },
            [&] {
              shown = MessageBoxText(FindMessageBox());
              PostMessageA(FindMessageBox(), WM_CLOSE, 0, 0);
            })
      .Then([] { return FindMessageBox() == nullptr; }, [] { PressKeys({VK_ESCAPE}); });
  EXPECT_EQ(RunModal(s), mrCancel);
  EXPECT_EQ(shown, "short cut failed");
}

}  // namespace
