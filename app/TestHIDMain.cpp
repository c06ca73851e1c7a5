#include "app/TestHIDMain.h"

#include <array>
#include <cstdint>
#include <vector>

#include "dialogs/HIDSetup.h"
#include "engine/DMHID.h"
#include "gui/Application.h"

TForm1* Form1 = nullptr;
int TestStep = 0;

namespace {

constexpr TPanelProps Lowered{.BevelOuter = TBevel::Lowered};
constexpr TListBoxProps CodeList{.Sorted = true, .ItemHeight = 13};
constexpr TCheckBoxProps Ticked{.Checked = true};

constexpr TControlDef Form1Controls[] = {
    {.Kind = ControlKind<TButton>,
     .Name = "Button1",
     .Left = 40,
     .Top = 41,
     .Width = 225,
     .Height = 25,
     .TabOrder = 0,
     .Caption = "Get HID Config",
     .OnClick = "Button1Click"},
    {.Kind = ControlKind<TButton>,
     .Name = "Button2",
     .Left = 40,
     .Top = 73,
     .Width = 225,
     .Height = 25,
     .TabOrder = 1,
     .Caption = "START",
     .OnClick = "Button2Click"},
    {.Kind = ControlKind<TPanel>,
     .Name = "Panel1",
     .Left = 40,
     .Top = 145,
     .Width = 70,
     .Height = 25,
     .TabOrder = 2,
     .Props = Lowered},
    {.Kind = ControlKind<TPanel>,
     .Name = "Panel2",
     .Left = 116,
     .Top = 145,
     .Width = 70,
     .Height = 25,
     .TabOrder = 3,
     .Props = Lowered},
    {.Kind = ControlKind<TListBox>,
     .Name = "ListBox1",
     .Left = 40,
     .Top = 185,
     .Width = 225,
     .Height = 241,
     .TabOrder = 4,
     .Props = CodeList},
    {.Kind = ControlKind<TPanel>,
     .Name = "Panel3",
     .Left = 192,
     .Top = 145,
     .Width = 70,
     .Height = 25,
     .TabOrder = 5,
     .Props = Lowered},
    {.Kind = ControlKind<TButton>,
     .Name = "Button4",
     .Left = 128,
     .Top = 441,
     .Width = 75,
     .Height = 25,
     .TabOrder = 6,
     .Caption = "Clear",
     .OnClick = "Button4Click"},
    {.Kind = ControlKind<TCheckBox>,
     .Name = "CBUnique",
     .Left = 40,
     .Top = 112,
     .Width = 209,
     .Height = 17,
     .TabOrder = 7,
     .Caption = "Unique Values Only",
     .Props = Ticked},
    {.Kind = ControlKind<TButton>,
     .Name = "Button3",
     .Left = 32,
     .Top = 440,
     .Width = 75,
     .Height = 25,
     .TabOrder = 8,
     .Caption = "Test",
     .Visible = false,
     .OnClick = "Button3Click"},
};

constexpr TFormDef Form1Def{
    .Name = "TForm1",
    .Caption = "Test HID",
    .BorderStyle = TBorderStyle::Sizeable,
    .Position = TFormPosition::Designed,
    .Left = 506,
    .Top = 245,
    .Width = 332,
    .Height = 507,
    .Controls = Form1Controls,
};

// The synthetic reports of the hidden Test button, by TestStep; the last one for any other.
constexpr std::array<std::array<uint8_t, 3>, 11> TestReports = {{{0x0B, 0x0B, 0x01},
                                                                 {0x05, 0x0B, 0x81},
                                                                 {0x0B, 0x0B, 0x02},
                                                                 {0x05, 0x0B, 0x82},
                                                                 {0x0B, 0x0B, 0x03},
                                                                 {0x05, 0x0B, 0x83},
                                                                 {0x0B, 0x0B, 0x04},
                                                                 {0x05, 0x0B, 0x84},
                                                                 {0x0B, 0x0B, 0x05},
                                                                 {0x0B, 0x0B, 0x06},
                                                                 {0x05, 0x0B, 0x86}}};

const char* StateText(int32_t State) {
  switch (State) {
    case rsError:
      return "ERROR";
    case rsNone:
      return "NONE";
    case rsInit:
      return "INIT";
    case rsOff:
      return "off";
    case rsGet:
      return "GET";
    case rsOk:
      return "OK";
    default:
      return nullptr;
  }
}

}  // namespace

TForm1::TCreated::TCreated(TForm1& Form) {
  const THandler handlers[] = {
      {"Button1Click", TNotifyEvent::Bind<&TForm1::Button1Click>(&Form)},
      {"Button2Click", TNotifyEvent::Bind<&TForm1::Button2Click>(&Form)},
      {"Button3Click", TNotifyEvent::Bind<&TForm1::Button3Click>(&Form)},
      {"Button4Click", TNotifyEvent::Bind<&TForm1::Button4Click>(&Form)},
  };
  Form.CreateForm(Form1Def, handlers);
}

TForm1::TForm1()
    : FCreated(*this),
      Button1(Control<TButton>("Button1")),
      Button2(Control<TButton>("Button2")),
      Panel1(Control<TPanel>("Panel1")),
      Panel2(Control<TPanel>("Panel2")),
      ListBox1(Control<TListBox>("ListBox1")),
      Panel3(Control<TPanel>("Panel3")),
      Button4(Control<TButton>("Button4")),
      CBUnique(Control<TCheckBox>("CBUnique")),
      Button3(Control<TButton>("Button3")) {}

void TForm1::Button1Click(void* /*Sender*/) {
  DModHID->FTargetWnd = Handle();
  DModHID->FBeep = true;
  const std::string dir = ProgramDirectory();
  // A settings file that cannot be written raises its error here; it is shown, and the program
  // goes on.
  ShowHIDSetup(DModHID, dir.c_str());
}

void TForm1::Button2Click(void* /*Sender*/) {
  if (Button2.Caption() == "START") {
    DModHID->FTargetWnd = Handle();
    DModHID->FBeep = true;
    const std::string dir = ProgramDirectory();
    LoadHIDSettings(DModHID, dir.c_str());
    DModHID->OpenDevice();
    if (DModHID->StartReceiving(false)) {
      ListBox1.Clear();
      Button2.SetCaption("STOP");
    }
  } else {
    DModHID->StopReceiving();
    Button2.SetCaption("START");
  }
}

void TForm1::Button3Click(void* /*Sender*/) {
  const auto& report =
      TestReports[TestStep >= 0 && TestStep < 10 ? static_cast<size_t>(TestStep) : 10];
  TestStep = TestStep >= 0 && TestStep < 10 ? TestStep + 1 : 0;
  DModHID->HIDControllerDeviceData(nullptr, 0, report.data(), 3);
}

void TForm1::Button4Click(void* /*Sender*/) {
  ListBox1.Clear();
}

void TForm1::WMHidCode(WPARAM wParam, LPARAM lParam) {
  const auto code1 = static_cast<uint32_t>(wParam);
  const auto code2 = static_cast<uint32_t>(lParam);
  Panel1.SetCaption(std::to_string(static_cast<int32_t>(code1)));
  Panel2.SetCaption(std::to_string(static_cast<int32_t>(code2)));
  const std::string item = std::to_string(code1) + "," + std::to_string(code2);
  if (CBUnique.Checked() && ListBox1.IndexOf(item) >= 0) return;
  ListBox1.SetItemIndex(ListBox1.AddItem(item));
}

void TForm1::WMHidStatus(WPARAM wParam) {
  if (const char* text = StateText(static_cast<int32_t>(static_cast<uint32_t>(wParam)))) {
    Panel3.SetCaption(text);
  }
}

LRESULT TForm1::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_HID_CODE:
      WMHidCode(wParam, lParam);
      return 0;
    case WM_HID_STATUS:
      WMHidStatus(wParam);
      return 0;
    default:
      return TForm::WndProc(Msg, wParam, lParam);
  }
}
