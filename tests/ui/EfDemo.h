// A demo form for the entry-field foundations: a small custom control built outside the window
// layer on the entry-field control base, with an attached label, the caret pair and keys
// translated by its controller's command tables.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "gui/Form.h"
#include "widgets/efcontrol.h"

struct TDemoBoxProps {
  std::string_view Text = {};
  TEfLabelInfoDef LabelInfo = {};
  uint16_t InsertBlinkTime = 0;
};

// Shows a line of text with the caret between characters; Left, Right, Home, End move it,
// Insert switches insert and overwrite mode, other keys type their characters.
class TDemoBox final : public TEfCustomControlEx {
 public:
  using TProps = TDemoBoxProps;
  TDemoBox(TForm& Form, std::string_view Name)
      : TEfCustomControlEx(Form, Name), Carets(std::make_unique<TEfWindowCaret>(*this)) {}

  TEfCaretPair Carets;
  std::string Text;
  size_t Pos = 0;
  std::vector<TEfCommand> Commands;  // what each key stroke gave

 protected:
  void ReadProps(const TControlProps& Props) override {
    const TProps& p = Props.As<TProps>(Name());
    Text.assign(p.Text);
    LoadLabelInfo(p.LabelInfo);
    Carets.CaretIns()->SetBlinkTime(p.InsertBlinkTime);
    SetCursor(TCursor::IBeam);
  }
  void CreateParams(TCreateParams& Params) override {
    TEfCustomControlEx::CreateParams(Params);
    Params.ClassName = "TDemoBox";
    Params.ExStyle |= WS_EX_CLIENTEDGE;
  }
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override {
    if (Msg == WM_GETDLGCODE) return DLGC_WANTARROWS | DLGC_WANTCHARS;
    return TEfCustomControlEx::WndProc(Msg, wParam, lParam);
  }
  void DoEnter(HWND Previous) override {
    TEfCustomControlEx::DoEnter(Previous);
    Controller().EntryCommands().ResetSequence();
    Carets.SetInsertMode(Controller().InsertMode());
    Carets.Link(true);
    Carets.Show(true);
    PlaceCaret();
  }
  void DoExit(HWND Next) override {
    Controller().SetInsertMode(Carets.InsertMode());
    Carets.Link(false);
    TEfCustomControlEx::DoExit(Next);
  }
  void KeyDown(WORD& Key, TShiftState Shift) override {
    TEfCustomControlEx::KeyDown(Key, Shift);
    if (Key == 0 || Key == VK_SHIFT) return;
    const TEfCommand c = Controller().EntryCommands().KeyToCommand(
        Key, [](uint8_t Vk) { return GetKeyState(Vk) < 0; });
    Commands.push_back(c);
    FCharAllowed = c == ccCharAllowed;
    if (c == ccLeft && Pos > 0) --Pos;
    if (c == ccRight && Pos < Text.size()) ++Pos;
    if (c == ccHome) Pos = 0;
    if (c == ccEnd) Pos = Text.size();
    if (c == ccIns) Carets.SetInsertMode(!Carets.InsertMode());
    PlaceCaret();
  }
  void KeyPress(char& Key) override {
    TEfCustomControlEx::KeyPress(Key);
    if (!FCharAllowed || static_cast<unsigned char>(Key) < ' ') return;
    if (Carets.InsertMode() || Pos == Text.size()) {
      Text.insert(Pos, 1, Key);
    } else {
      Text[Pos] = Key;
    }
    ++Pos;
    Invalidate();
    PlaceCaret();
  }
  void Paint(HDC Dc, const RECT& R) override {
    TOffscreenDC off(Dc, R.right, R.bottom);
    FillRect(off.Dc(), &R, GetSysColorBrush(COLOR_WINDOW));
    SelectObject(off.Dc(), Font());
    SetBkMode(off.Dc(), TRANSPARENT);
    TextOutA(off.Dc(), Margin, 1, Text.c_str(), static_cast<int>(Text.size()));
    off.CopyTo();
  }

 private:
  static constexpr int Margin = 2;

  // The caret cell: the character at the caret, or an "M" wide cell at the end.
  void PlaceCaret() {
    if (!HandleAllocated()) return;
    const HDC dc = GetDC(Handle());
    const HGDIOBJ old = SelectObject(dc, Font());
    SIZE before{}, cell{};
    GetTextExtentPoint32A(dc, Text.c_str(), static_cast<int>(Pos), &before);
    GetTextExtentPoint32A(dc, Pos < Text.size() ? &Text[Pos] : "M", 1, &cell);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    Carets.SetCellWidth(cell.cx);
    Carets.SetCellHeight(cell.cy);
    Carets.SetPosition(Margin + before.cx, 1);
  }

  bool FCharAllowed = false;
};

inline constexpr TDemoBoxProps DemoBoxProps{
    .Text = "7C", .LabelInfo = {.OffsetX = 35, .OffsetY = 16, .Visible = true}};
inline constexpr TDemoBoxProps PlainBoxProps{.Text = "plain", .InsertBlinkTime = 200};
inline constexpr TEfAttachedLabelProps DemoLabelProps{
    .Label = {.FocusControl = "Box", .AutoSize = true}, .Control = "Box"};

// The box and its label at the places of a hex field in a dialog.
inline constexpr TControlDef DemoControls[] = {
    {.Kind = ControlKind<TDemoBox>,
     .Name = "Box",
     .Left = 248,
     .Top = 214,
     .Width = 29,
     .Height = 21,
     .TabOrder = 0,
     .Props = DemoBoxProps},
    {.Kind = ControlKind<TButton>,
     .Name = "Other",
     .Left = 16,
     .Top = 16,
     .Width = 75,
     .Height = 25,
     .TabOrder = 1,
     .Caption = "&Other"},
    {.Kind = ControlKind<TDemoBox>,
     .Name = "Plain",
     .Left = 16,
     .Top = 100,
     .Width = 120,
     .Height = 21,
     .TabOrder = 2,
     .Props = PlainBoxProps},
    {.Kind = ControlKind<TEfAttachedLabel>,
     .Name = "BoxLabel1",
     .Left = 283,
     .Top = 217,
     .Width = 55,
     .Height = 13,
     .Caption = "He&x (00-FF)",
     .Props = DemoLabelProps},
};

inline constexpr TFormDef DemoDef{.Name = "TEfDemoForm",
                                  .Caption = "Entry-field foundations",
                                  .BorderStyle = TBorderStyle::Dialog,
                                  .Position = TFormPosition::ScreenCenter,
                                  .ClientWidth = 351,
                                  .ClientHeight = 281,
                                  .Controls = DemoControls};

class TEfDemoForm final : public TForm {
 public:
  TEfDemoForm() { CreateForm(DemoDef, {}); }
  TDemoBox& Box() const { return Control<TDemoBox>("Box"); }
  TDemoBox& Plain() const { return Control<TDemoBox>("Plain"); }
};
