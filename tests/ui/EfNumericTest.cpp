// The numeric entry field on a small form of its own: keyboard entry through the default
// controller, the check at focus exit with its report and refocus, colours, the context menu,
// the standard edit messages, and pictures beside a standard edit control.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "gui/Application.h"
#include "gui/Form.h"
#include "ui/Screenshot.h"
#include "ui/Script.h"
#include "widgets/efnumeric.h"

namespace {

// The real field, counting its beeps.
class TCountingField final : public TEfNumericField {
 public:
  using TEfNumericField::TEfNumericField;
  int Beeps = 0;

 protected:
  void ErrorBeep() override {
    ++Beeps;
    TEfNumericField::ErrorBeep();
  }
};

constexpr TEfColorSetDef DialogColors{.Disabled = {clBtnFace, clWindowText},
                                      .Error = {clRed, clBlack},
                                      .Highlight = {clHighlight, clHighlightText}};
// A hexadecimal byte as the configuration dialog has one.
constexpr TEfNumericFieldProps HexProps{
    .DataType = nftByte,
    .PictureMask = "KK",
    .RangeHigh = TEfRangeRecord{0xFF},
    .RangeLow = TEfRangeRecord{},
    .Options = {},
    .CaretOvr = {.Shape = csBlock},
    .EFColors = DialogColors,
    .LabelInfo = {.OffsetX = 35, .OffsetY = 16, .Visible = true}};
constexpr TEfNumericFieldProps SoftProps{
    .RangeHi = "100", .RangeLo = "0", .Options = {efoSoftValidation}};
constexpr TEfAttachedLabelProps HexLabelProps{.Label = {.FocusControl = "Hex", .AutoSize = true},
                                              .Control = "Hex"};

constexpr TControlDef Controls[] = {
    {.Kind = ControlKind<TCountingField>,
     .Name = "Hex",
     .Left = 100,
     .Top = 20,
     .Width = 29,
     .Height = 21,
     .TabOrder = 0,
     .Props = HexProps},
    {.Kind = ControlKind<TEfNumericField>,
     .Name = "Soft",
     .Left = 100,
     .Top = 80,
     .Width = 60,
     .Height = 21,
     .TabOrder = 1,
     .Props = SoftProps},
    {.Kind = ControlKind<TButton>,
     .Name = "Other",
     .Left = 16,
     .Top = 110,
     .Width = 75,
     .Height = 25,
     .TabOrder = 2,
     .Caption = "&Other"},
    {.Kind = ControlKind<TEfNumericField>,
     .Name = "Off",
     .Left = 220,
     .Top = 20,
     .Width = 29,
     .Height = 21,
     .TabOrder = 3,
     .Enabled = false,
     .Props = HexProps},
    {.Kind = ControlKind<TEfAttachedLabel>,
     .Name = "HexLabel1",
     .Left = 135,
     .Top = 23,
     .Width = 55,
     .Height = 13,
     .Caption = "He&x (00-FF)",
     .Props = HexLabelProps},
};

constexpr TFormDef Def{.Name = "TEfNumericForm",
                       .Caption = "Numeric entry field",
                       .BorderStyle = TBorderStyle::Dialog,
                       .Position = TFormPosition::ScreenCenter,
                       .ClientWidth = 300,
                       .ClientHeight = 150,
                       .Controls = Controls};

class TNumericForm final : public TForm {
 public:
  TNumericForm() { CreateForm(Def, {}); }
};

void Pump(DWORD Ms = 60) {
  const DWORD start = GetTickCount();
  do {
    Application().ProcessMessages();
    Sleep(5);
  } while (GetTickCount() - start < Ms);
}

// Types the characters of Text with the keyboard.
void Type(std::string_view Text) {
  for (const char c : Text) {
    const SHORT scan = VkKeyScanA(c);
    if ((scan & 0x100) != 0) {
      PressKeys({VK_SHIFT, static_cast<WORD>(scan & 0xFF)});
    } else {
      PressKeys({static_cast<WORD>(scan & 0xFF)});
    }
    Pump(30);
  }
}

std::string WindowText(HWND Window) {
  char text[64] = {};
  SendMessageA(Window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

std::pair<DWORD, DWORD> Selection(HWND Window) {
  DWORD start = 0, end = 0;
  SendMessageA(Window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

void SetClipboard(const char* Text) {
  OpenClipboard(nullptr);
  EmptyClipboard();
  const size_t n = strlen(Text) + 1;
  const HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, n);
  memcpy(GlobalLock(data), Text, n);
  GlobalUnlock(data);
  SetClipboardData(CF_TEXT, data);
  CloseClipboard();
}

std::string Clipboard() {
  std::string text;
  if (OpenClipboard(nullptr)) {
    if (const HANDLE data = GetClipboardData(CF_TEXT)) {
      text = static_cast<const char*>(GlobalLock(data));
      GlobalUnlock(data);
    }
    CloseClipboard();
  }
  return text;
}

// What the field draws, through WM_PRINTCLIENT: the colours of its client area.
struct TPicture {
  std::vector<COLORREF> Pixels;
  int Width = 0;
  [[nodiscard]] COLORREF At(int X, int Y) const {
    return Pixels[static_cast<size_t>(Y * Width + X)];
  }
  [[nodiscard]] bool Holds(COLORREF C) const {
    return std::find(Pixels.begin(), Pixels.end(), C) != Pixels.end();
  }
};
TPicture Draw(HWND Window) {
  RECT r;
  GetClientRect(Window, &r);
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageA(Window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  TPicture p{{}, r.right};
  for (int y = 0; y < r.bottom; ++y) {
    for (int x = 0; x < r.right; ++x) p.Pixels.push_back(GetPixel(dc, x, y));
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return p;
}

class EfNumeric : public ::testing::Test {
 protected:
  void SetUp() override {
    Form.Show();
    Other.SetFocus();
    Pump();
    Hex.SetIntegerValue(0x3E);
  }
  void TearDown() override { DefaultController().SetInsertMode(true); }

  // Into the field with Tab, from the control before it in tab order.
  void TabInto(TEfCustomNumericField& Field) {
    Other.SetFocus();
    Pump();
    if (&Field == &Soft) {
      PressKeys({VK_SHIFT, VK_TAB});
    } else {
      PressKeys({VK_TAB});
    }
    Pump();
    ASSERT_EQ(GetFocus(), Field.Handle());
  }

  TNumericForm Form;
  TCountingField& Hex = Form.Control<TCountingField>("Hex");
  TEfNumericField& Soft = Form.Control<TEfNumericField>("Soft");
  TEfNumericField& Off = Form.Control<TEfNumericField>("Off");
  TControl& Other = Form.Control("Other");
};

TEST_F(EfNumeric, TabSelectsAllAndTypingFollowsTheCalculatorRules) {
  TabInto(Hex);
  EXPECT_EQ(Selection(Hex.Handle()), std::make_pair(DWORD{0}, DWORD{2}));
  EXPECT_EQ(Hex.EntryText(), "3E");
  struct {
    const char* Keys;
    const char* Text;
    int Beeps;  // in all so far
  } const steps[] = {
      {"7", "07", 0},   // replaces the selected text
      {"c", "7C", 0},   // lower case taken as upper
      {"1", "7C", 1},   // full: beeps, nothing changes
      {"\b", "07", 1},  // Backspace
      {"g-. ", "07", 5}, {"\b", "00", 5}, {"a", "0A", 5},
  };
  for (const auto& s : steps) {
    Type(s.Keys);
    EXPECT_EQ(WindowText(Hex.Handle()), s.Text) << "after " << s.Keys;
    EXPECT_EQ(Hex.Beeps, s.Beeps) << "after " << s.Keys;
  }
  EXPECT_TRUE(Hex.Modified());
  EXPECT_EQ(Hex.IntegerValue(), 10);
}

TEST_F(EfNumeric, AKeyAHandlerSwallowsTypesNothingWhateverKeyCameBefore) {
  Hex.OnKeyDown = TKeyEvent(
      [](void*, void*, WORD& Key, TShiftState) {
        if (Key == 'A') Key = 0;  // a handler swallows A
      },
      nullptr);
  TabInto(Hex);
  // F3 has no command, so its key-down lets a character through, yet it brings none; the
  // swallowed A after it must not type its own.
  struct {
    WORD Key;
    const char* Text;
  } const steps[] = {
      {VK_F3, "3E"}, {'A', "3E"}, {'B', "0B"}, {VK_F3, "0B"}, {'A', "0B"}, {'C', "BC"},
  };
  for (const auto& step : steps) {
    PressKeys({step.Key});
    Pump(30);
    EXPECT_EQ(WindowText(Hex.Handle()), step.Text) << "after key " << step.Key;
  }
  Hex.OnKeyDown = {};
}

TEST_F(EfNumeric, LeavingWithAValueOutOfRangeReportsItAndTakesTheFocusBack) {
  Hex.SetRangeHigh(TEfRangeRecord{0x7F});
  EXPECT_EQ(Hex.RangeHi(), "7F");
  TabInto(Hex);
  Type("80");
  struct {
    std::string Text, Caption;
    int32_t Value = -1;
    int Code = 0;
    bool Focused = false;
  } seen;
  TScript s;
  s.Then([] { return FindMessageBox() != nullptr; },
         [&] {
           const HWND box = FindMessageBox();
           seen = {MessageBoxText(box), TextOf(box), Hex.IntegerValue(), Hex.ValidationCode(),
                   Hex.Focused()};
           PostMessageA(box, WM_CLOSE, 0, 0);
         });
  s.Start(5000);
  PressKeys({VK_TAB});
  Pump(300);
  s.Stop();
  EXPECT_EQ(seen.Text, "Value is not within required range");
  EXPECT_EQ(seen.Caption, "Error");
  EXPECT_EQ(seen.Value, 0);
  EXPECT_EQ(seen.Code, ecOutOfRange);
  EXPECT_FALSE(seen.Focused);  // the box has it meanwhile
  EXPECT_EQ(GetFocus(), Hex.Handle());
  EXPECT_EQ(WindowText(Hex.Handle()), "80");
  // The entry goes on where it was: one digit off, another in.
  Type("\b5");
  EXPECT_EQ(WindowText(Hex.Handle()), "85");
  EXPECT_FALSE(DefaultController().ReportingError());
}

TEST_F(EfNumeric, SoftValidationLetsTheFocusGoInTheErrorColours) {
  TabInto(Soft);
  Type("500");
  PressKeys({VK_TAB});
  Pump(200);
  EXPECT_EQ(FindMessageBox(), nullptr);
  EXPECT_EQ(GetFocus(), Other.Handle());
  EXPECT_TRUE(Soft.ErrorState());
  EXPECT_EQ(Soft.ValidationCode(), ecOutOfRange);
  const TPicture error = Draw(Soft.Handle());
  EXPECT_EQ(error.At(1, 1), RGB(255, 0, 0));
  EXPECT_TRUE(error.Holds(RGB(0, 0, 0)));
  SaveScreenshot(Form.Handle(), "EfNumeric-error");
  // A value written by the program ends the error state.
  Soft.SetIntegerValue(50);
  EXPECT_FALSE(Soft.ErrorState());
  EXPECT_EQ(Draw(Soft.Handle()).At(1, 1), GetSysColor(COLOR_WINDOW));
}

TEST_F(EfNumeric, RestoreBringsBackTheTextOfFocusEntry) {
  const std::vector<std::vector<WORD>> keys = {{VK_CONTROL, 'Z'}, {VK_MENU, VK_BACK}};
  for (const auto& k : keys) {
    TabInto(Hex);
    Type("5");
    ASSERT_EQ(WindowText(Hex.Handle()), "05");
    EXPECT_EQ(SendMessageA(Hex.Handle(), EM_GETMODIFY, 0, 0), TRUE);
    if (k.size() == 2) PressKeys({k[0], k[1]});
    Pump();
    EXPECT_EQ(WindowText(Hex.Handle()), "3E");
    EXPECT_EQ(Selection(Hex.Handle()), std::make_pair(DWORD{0}, DWORD{2}));
    EXPECT_EQ(SendMessageA(Hex.Handle(), EM_GETMODIFY, 0, 0), FALSE);
    EXPECT_EQ(Hex.EntryText(), "3E");
    EXPECT_EQ(Hex.Beeps, 0);
  }
}

TEST_F(EfNumeric, ContextMenuItemsFollowTheFieldsState) {
  const auto states = [](const TEfBaseEntryField& Field) {
    const TEfMenu menu = Field.MakeContextMenu();
    std::string s;
    for (int i = 0; i < GetMenuItemCount(menu.get()); ++i) {
      char text[32] = {};
      GetMenuStringA(menu.get(), static_cast<UINT>(i), text, sizeof(text), MF_BYPOSITION);
      const UINT state = GetMenuState(menu.get(), static_cast<UINT>(i), MF_BYPOSITION);
      s +=
          (state & MF_SEPARATOR) != 0 ? "-" : std::string(text) + ((state & MF_GRAYED) ? "0" : "1");
      s += " ";
    }
    return s;
  };
  SetClipboard("12");
  EXPECT_EQ(states(Hex), "&Restore0 - Cu&t0 &Copy0 &Paste1 &Delete0 - Select &All1 ");
  TabInto(Hex);
  EXPECT_EQ(states(Hex), "&Restore0 - Cu&t1 &Copy1 &Paste1 &Delete1 - Select &All0 ");
  Type("4");
  EXPECT_EQ(states(Hex), "&Restore1 - Cu&t0 &Copy0 &Paste1 &Delete0 - Select &All1 ");
  TEfEntryFieldOptions readOnly;
  readOnly.Include(efoReadOnly);
  Hex.SetOptions(readOnly);
  SendMessageA(Hex.Handle(), EM_SETSEL, 0, -1);
  EXPECT_EQ(states(Hex), "&Restore1 - Cu&t0 &Copy1 &Paste0 &Delete0 - Select &All0 ");

  // The real menu, from the keyboard: Select All, then Copy.
  Hex.SetOptions({});
  SendMessageA(Hex.Handle(), EM_SETSEL, static_cast<WPARAM>(-1), 0);
  TScript s;
  const auto menuShown = [] { return FindWindowA("#32768", nullptr) != nullptr; };
  s.Then(menuShown, [] { PressKeys({'A'}); })
      .Then([&] { return !menuShown() && Hex.HasSelection(); },
            [&] { PostMessageA(Hex.Handle(), WM_CONTEXTMENU, 0, -1); })
      .Then(menuShown, [] { PressKeys({'C'}); });
  s.Start(5000);
  PostMessageA(Hex.Handle(), WM_CONTEXTMENU, 0, -1);
  const DWORD start = GetTickCount();
  while (!s.Finished() && GetTickCount() - start < 5000) Pump(20);
  Pump(100);
  EXPECT_TRUE(s.Finished());
  EXPECT_EQ(Clipboard(), "04");
}

TEST_F(EfNumeric, DisabledFieldsDrawInTheirDisabledColours) {
  Off.SetIntegerValue(0xA5);
  const TPicture off = Draw(Off.Handle());
  EXPECT_EQ(off.At(1, 1), GetSysColor(COLOR_BTNFACE));
  EXPECT_TRUE(off.Holds(GetSysColor(COLOR_WINDOWTEXT)));
  EXPECT_FALSE(Off.CanFocus());
  SaveScreenshot(Form.Handle(), "EfNumeric-disabled");
  Off.SetEnabled(true);
  const TPicture on = Draw(Off.Handle());
  EXPECT_EQ(on.At(1, 1), GetSysColor(COLOR_WINDOW));
  EXPECT_TRUE(on.Holds(GetSysColor(COLOR_WINDOWTEXT)));
}

TEST_F(EfNumeric, StandardEditMessages) {
  const HWND h = Hex.Handle();
  TabInto(Hex);
  // EM_SETSEL: -1 (or 0xFFFF) deselects, 0..-1 selects all, any other range all or nothing.
  struct {
    WPARAM Start;
    LPARAM End;
    bool Before;  // all selected before
    DWORD SelStart, SelEnd;
  } const sel[] = {{static_cast<WPARAM>(-1), 0, true, 2, 2},
                   {0xFFFF, 0, true, 2, 2},
                   {0, -1, false, 0, 2},
                   {0, 0xFFFF, false, 0, 2},
                   {1, 2, false, 0, 2},
                   {1, 1, true, 2, 2},
                   {2, 1, true, 0, 2},
                   {2, 1, false, 2, 2}};
  for (const auto& c : sel) {
    SendMessageA(h, EM_SETSEL, c.Before ? 0 : static_cast<WPARAM>(-1), -1);
    SendMessageA(h, EM_SETSEL, c.Start, c.End);
    EXPECT_EQ(Selection(h), std::make_pair(c.SelStart, c.SelEnd)) << c.Start << ".." << c.End;
  }
  SendMessageA(h, EM_SETSEL, 0, -1);
  EXPECT_EQ(SendMessageA(h, EM_GETSEL, 0, 0), MAKELRESULT(0, 2));

  SendMessageA(h, EM_SETMODIFY, TRUE, 0);
  EXPECT_TRUE(Hex.Modified());
  SendMessageA(h, EM_SETMODIFY, FALSE, 0);
  EXPECT_EQ(SendMessageA(h, EM_GETMODIFY, 0, 0), FALSE);

  SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("b2"));
  EXPECT_EQ(WindowText(h), "B2");
  char small[2] = {};
  EXPECT_EQ(SendMessageA(h, WM_GETTEXT, sizeof(small), reinterpret_cast<LPARAM>(small)), 1);
  EXPECT_STREQ(small, "B");
  EXPECT_EQ(SendMessageA(h, WM_GETTEXTLENGTH, 0, 0), 2);

  // The clipboard: copy, cut (copies, clears), paste, clear (no copy).
  SendMessageA(h, EM_SETSEL, 0, -1);
  SendMessageA(h, WM_COPY, 0, 0);
  EXPECT_EQ(Clipboard(), "B2");
  SetClipboard("x7");
  SendMessageA(h, WM_CUT, 0, 0);
  EXPECT_EQ(Clipboard(), "B2");
  EXPECT_EQ(WindowText(h), "00");
  SetClipboard("(1f)");
  SendMessageA(h, WM_PASTE, 0, 0);
  EXPECT_EQ(WindowText(h), "1F");
  SetClipboard("kept");
  SendMessageA(h, EM_SETSEL, 0, -1);
  SendMessageA(h, WM_CLEAR, 0, 0);
  EXPECT_EQ(WindowText(h), "00");
  EXPECT_EQ(Clipboard(), "kept");

  EXPECT_EQ(SendMessageA(h, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_WANTCHARS);
  MSG altBack{h, WM_SYSKEYDOWN, VK_BACK, 0, 0, {}};
  EXPECT_NE(
      SendMessageA(h, WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&altBack)) & DLGC_WANTMESSAGE, 0);

  // The value's size follows the data type.
  const std::pair<TNumericDataType, LRESULT> sizes[] = {
      {nftByte, 1}, {nftInteger, 2}, {nftLongInt, 4},  {nftSingle, 4},
      {nftReal, 8}, {nftComp, 8},    {nftExtended, 10}};
  for (const auto& [type, size] : sizes) {
    Soft.SetDataType(type);
    EXPECT_EQ(SendMessageA(Soft.Handle(), WM_EF_GET_DATA_SIZE, 0, 0), size) << type;
  }
}

TEST_F(EfNumeric, ValuesHeightAndTheSettersThatMakeTheFieldAnew) {
  // Written values are cut to the type's width; reads give them back.
  const std::pair<int32_t, const char*> writes[] = {{62, "3E"}, {0x1A3, "A3"}, {-1, "FF"}};
  for (const auto& [value, text] : writes) {
    Hex.SetIntegerValue(value);
    EXPECT_EQ(Hex.Text(), text);
    EXPECT_EQ(Hex.IntegerValue(), value & 0xFF);
    EXPECT_EQ(Hex.ValidationCode(), 0);
  }
  // The height follows the font: its text height and the sunken edge (MS Sans Serif 8 points:
  // 13 + 8 = 21; a stand-in font measures differently).
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, Form.Font(false));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  EXPECT_EQ(Hex.Height(), tm.tmHeight + 8);
  EXPECT_TRUE(Hex.AutoSize());
  Hex.SetBounds(Hex.Left(), Hex.Top(), Hex.Width(), 30);
  EXPECT_FALSE(Hex.AutoSize());

  // A new type shows its initial value in its own mask; a new mask keeps the value.
  Soft.SetIntegerValue(77);
  Soft.SetPictureMask("KKKK");
  EXPECT_EQ(Soft.Text(), "004D");
  Soft.SetDataType(nftWord);
  EXPECT_EQ(Soft.PictureMask(), "99999");
  EXPECT_EQ(Soft.Text(), "    0");
  Soft.SetDataType(nftReal);
  EXPECT_THROW((void)Soft.IntegerValue(), EInvalidDataType);
  EXPECT_THROW(Soft.SetRangeHi("x"), EInvalidRangeValue);
  EXPECT_THROW(Soft.SetText("1e999"), EEntryFieldError);

  // Up and down step with wrap-around under efoArrowIncDec.
  Hex.SetOptions({efoArrowIncDec});
  Hex.SetIntegerValue(0xFF);
  TabInto(Hex);
  PressKeys({VK_UP});
  Pump();
  EXPECT_EQ(Hex.Text(), "00");
  PressKeys({VK_DOWN});
  PressKeys({VK_DOWN});
  Pump();
  EXPECT_EQ(Hex.Text(), "FE");
}

TEST_F(EfNumeric, PicturesBesideAStandardEdit) {
  // A standard edit control of the same height, for comparison.
  const HWND edit =
      CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "3E", WS_CHILD | WS_VISIBLE | ES_RIGHT, 100, 50, 29,
                      Hex.Height(), Form.Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
  SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(Form.Font(false)), TRUE);
  Pump();
  SaveScreenshot(Form.Handle(), "EfNumeric-enabled");
  // The field beside the edit: the same client height and background.
  RECT fieldClient{}, editClient{};
  GetClientRect(Hex.Handle(), &fieldClient);
  GetClientRect(edit, &editClient);
  EXPECT_EQ(fieldClient.bottom, editClient.bottom);
  EXPECT_EQ(Draw(Hex.Handle()).At(1, 1), GetSysColor(COLOR_WINDOW));
  TabInto(Hex);
  Pump();
  SaveScreenshot(Form.Handle(), "EfNumeric-selection");
  // The selected text in the highlight colours.
  const TPicture selected = Draw(Hex.Handle());
  EXPECT_TRUE(selected.Holds(GetSysColor(COLOR_HIGHLIGHT)));
  EXPECT_TRUE(selected.Holds(GetSysColor(COLOR_HIGHLIGHTTEXT)));
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SetFocus(edit);
  Pump();
  SaveScreenshot(Form.Handle(), "EfNumeric-edit-selection");
  TabInto(Hex);
  Type("7");
  PressKeys({VK_INSERT});
  Pump();
  SaveScreenshot(Form.Handle(), "EfNumeric-overwrite");
  EXPECT_FALSE(Hex.InsertMode());
  // The overwrite caret is a block of the field's character cell, not the 2-pixel line.
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetCurrentThreadId(), &info);
  EXPECT_EQ(info.hwndCaret, Hex.Handle());
  EXPECT_GT(info.rcCaret.right - info.rcCaret.left, 2);
  const HDC dc = GetDC(Hex.Handle());
  const HGDIOBJ font = SelectObject(dc, Hex.Font());
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, font);
  ReleaseDC(Hex.Handle(), dc);
  EXPECT_EQ(info.rcCaret.bottom - info.rcCaret.top, metrics.tmHeight);
  // Drawn lines along the edges; the text keeps clear of the top and right ones.
  Soft.SetBorders({.Left = {true, RGB(0, 160, 0), 1, TEfPenStyle::Solid},
                   .Top = {true, RGB(255, 0, 0), 2, TEfPenStyle::Solid},
                   .Right = {true, RGB(0, 0, 0), 3, TEfPenStyle::Solid},
                   .Bottom = {true, RGB(0, 0, 255), 1, TEfPenStyle::Dot}});
  Pump();
  SaveScreenshot(Form.Handle(), "EfNumeric-borders");
  const TPicture lines = Draw(Soft.Handle());
  EXPECT_EQ(lines.At(0, 5), RGB(0, 160, 0));
  EXPECT_EQ(lines.At(5, 1), RGB(255, 0, 0));
  EXPECT_EQ(lines.At(lines.Width - 3, 5), RGB(0, 0, 0));
  DestroyWindow(edit);
}

}  // namespace

namespace {

struct TSeen {
  std::vector<std::string> Errors;
  int Changes = 0;
  std::vector<TEfCommand> Commands;
};

TEST_F(EfNumeric, EventsAndTheErrorReports) {
  TSeen seen;
  const TValidationErrorEvent onError(
      [](void* S, void*, uint16_t Code, std::string_view Msg) {
        static_cast<TSeen*>(S)->Errors.push_back(std::to_string(Code) + " " + std::string(Msg));
      },
      &seen);
  Hex.OnError = onError;
  Soft.OnError = onError;
  Hex.OnChange = TNotifyEvent([](void* S, void*) { ++static_cast<TSeen*>(S)->Changes; }, &seen);
  // A user check refuses 13 with a code of its own and its text.
  Hex.OnUserValidation = TUserValidationEvent(
      [](void*, void* Sender, uint16_t& Code) {
        if (static_cast<TEfNumericField*>(Sender)->Text() != "13") return;
        Code = ecUserBase;
        DefaultController().SetErrorText("Thirteen is not allowed");
      },
      nullptr);
  Hex.OnUserCommand = TUserCommandEvent(
      [](void* S, void*, TEfCommand C) { static_cast<TSeen*>(S)->Commands.push_back(C); }, &seen);
  // F5 gives a user command while this test runs; the process-wide table loses it again.
  const TEfKeyEntry userKey{VK_F5, 0, 0, 0, ccUser + 1};
  DefaultController().EntryCommands().AddEntryToTable("Default", userKey);
  struct TRemoveKey {
    uint32_t Key;
    ~TRemoveKey() {
      TEfCommandTable& table = *DefaultController().EntryCommands().FindTableByTitle("Default");
      if (const int index = table.IndexOfKey(Key); index >= 0) table.Delete(index);
    }
  } const removeKey{userKey.KeyValue()};

  TabInto(Hex);
  Type("13");
  PressKeys({VK_F5});
  PressKeys({VK_TAB});
  Pump(200);
  EXPECT_EQ(seen.Changes, 2);
  EXPECT_EQ(seen.Commands, std::vector<TEfCommand>{ccUser + 1});
  EXPECT_EQ(seen.Errors, std::vector<std::string>{"32768 Thirteen is not allowed"});
  EXPECT_EQ(GetFocus(), Hex.Handle());

  // The texts of the codes; any other code is an entry error; user codes show the controller's
  // current text (each report leaves its own there).
  const std::pair<int, const char*> texts[] = {
      {256, "Value is not within required range"},
      {257, "Value is not valid for this field type"},
      {258, "A value is required in this field"},
      {259, "Value is not a valid date"},
      {260, "Value is not a valid time"},
      {261, "This field should contain no blanks"},
      {262, "This field should be either empty or completely full"},
      {300, "Entry Error"},
      {0x8001, "Own text"}};
  for (const auto& [code, text] : texts) {
    seen.Errors.clear();
    DefaultController().SetErrorText("Own text");
    PostMessageA(Soft.Handle(), WM_EF_REPORT_ERROR, static_cast<WPARAM>(code), 0);
    Pump(30);
    EXPECT_EQ(seen.Errors, std::vector<std::string>{std::to_string(code) + " " + text});
  }

  // Two fields fail at once: both take the focus back, one report comes.
  seen.Errors.clear();
  Soft.SetIntegerValue(500);
  EXPECT_FALSE(Hex.ValidateAndReport(false));
  EXPECT_FALSE(Soft.ValidateAndReport(false));
  Pump(100);
  EXPECT_EQ(seen.Errors, std::vector<std::string>{"32768 Thirteen is not allowed"});
  EXPECT_EQ(DefaultController().ErrorText(), "Thirteen is not allowed");
  EXPECT_EQ(GetFocus(), Soft.Handle());

  // A narrower range checks the field again.
  seen.Errors.clear();
  Soft.SetIntegerValue(50);
  Other.SetFocus();
  Pump();
  Soft.SetRangeHi("10");
  Pump(100);
  EXPECT_EQ(seen.Errors, std::vector<std::string>{"256 Value is not within required range"});
  EXPECT_TRUE(Soft.ErrorState());
  EXPECT_EQ(GetFocus(), Soft.Handle());

  // A required value: passing through without typing fails.
  seen.Errors.clear();
  Hex.SetIntegerValue(0);
  Hex.SetOptions({efoInputRequired});
  Hex.SetUninitialized(true);
  TabInto(Hex);
  PressKeys({VK_TAB});
  Pump(200);
  EXPECT_EQ(seen.Errors, std::vector<std::string>{"258 A value is required in this field"});
}

}  // namespace
