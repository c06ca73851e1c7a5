// The entry-field base: the window under every entry field of the widget set. It owns what does
// not depend on the kind of value: the shown text's selection and caret, the options, the colour
// set and drawn border lines, validation with its error report and refocusing at focus exit, the
// focus entry and exit sequences, drawing, the clipboard and standard edit messages, the context
// menu and the automatic height. The kind of value comes in through the virtual operations a
// derived field supplies (efnumeric.h for numbers).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "gui/Controls.h"
#include "gui/Event.h"
#include "widgets/efcaret.h"
#include "widgets/efcommands.h"
#include "widgets/efcontrol.h"
#include "widgets/efentry.h"

// More messages of the entry fields.
inline constexpr UINT WM_EF_REPORT_ERROR = 0x7F00;   // to a field itself: wParam = the code
inline constexpr UINT WM_EF_GET_DATA_SIZE = 0x7F03;  // to a field: its value's size in bytes

// Colours of the entry fields: plain RGB values or the user's system colours.
inline constexpr COLORREF clBlack = RGB(0, 0, 0);
inline constexpr COLORREF clRed = RGB(255, 0, 0);
inline constexpr COLORREF clWindow = SysColor(COLOR_WINDOW);
inline constexpr COLORREF clWindowText = SysColor(COLOR_WINDOWTEXT);
inline constexpr COLORREF clBtnFace = SysColor(COLOR_BTNFACE);
inline constexpr COLORREF clGrayText = SysColor(COLOR_GRAYTEXT);
inline constexpr COLORREF clHighlight = SysColor(COLOR_HIGHLIGHT);
inline constexpr COLORREF clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);

// A pair of colours with its defaults. UseDefault is true while both are the defaults; setting
// it true brings both back. OnChange follows every change.
class TEfColors {
 public:
  constexpr TEfColors(COLORREF DefaultBack, COLORREF DefaultText)
      : FDefaultBack(DefaultBack),
        FDefaultText(DefaultText),
        FBack(DefaultBack),
        FText(DefaultText) {}

  [[nodiscard]] COLORREF BackColor() const { return FBack; }
  void SetBackColor(COLORREF Value) { Set(Value, FText); }
  [[nodiscard]] COLORREF TextColor() const { return FText; }
  void SetTextColor(COLORREF Value) { Set(FBack, Value); }
  [[nodiscard]] bool UseDefault() const { return FBack == FDefaultBack && FText == FDefaultText; }
  void SetUseDefault(bool Value) {
    if (Value) Set(FDefaultBack, FDefaultText);
  }

  TNotifyEvent OnChange;

 private:
  void Set(COLORREF Back, COLORREF Text);

  COLORREF FDefaultBack, FDefaultText;
  COLORREF FBack, FText;
};

// The colour pairs of an entry field: while disabled, while in error, and for selected text.
class TEfColorSet {
 public:
  TEfColorSet();
  TEfColorSet(const TEfColorSet&) = delete;
  TEfColorSet& operator=(const TEfColorSet&) = delete;

  TEfColors Disabled{clWindow, clGrayText};
  TEfColors Error{clRed, clBlack};
  TEfColors Highlight{clHighlight, clHighlightText};

  // Any colour of the three pairs changed.
  TNotifyEvent OnChange;

 private:
  void Changed(void* Sender);
};

// A colour pair as a form row gives it.
struct TEfColorsDef {
  COLORREF BackColor;
  COLORREF TextColor;
};

struct TEfColorSetDef {
  TEfColorsDef Disabled = {clWindow, clGrayText};
  TEfColorsDef Error = {clRed, clBlack};
  TEfColorsDef Highlight = {clHighlight, clHighlightText};
};

enum class TEfPenStyle : uint8_t { Solid, Dash, Dot, DashDot, DashDotDot };

// One of the four lines an entry field can draw along its edges, inside its client area.
struct TEfBorder {
  bool Enabled = false;
  COLORREF PenColor = clBlack;
  int PenWidth = 1;
  TEfPenStyle PenStyle = TEfPenStyle::Solid;
  friend bool operator==(const TEfBorder&, const TEfBorder&) = default;
};

struct TEfBorders {
  TEfBorder Left, Top, Right, Bottom;
  friend bool operator==(const TEfBorders&, const TEfBorders&) = default;
};

enum class TEfBorderStyle : uint8_t { None, Single };

// What a form row sets of a caret description; unset items keep their values. The shape is
// set first, as it sets the alignment and sizes of some shapes.
struct TEfCaretDef {
  std::optional<TEfCaretShape> Shape = {};
  std::optional<TEfCaretAlign> Align = {};
  std::optional<uint16_t> BlinkTime = {};
  std::optional<int> CaretHeight = {};
  std::optional<int> CaretWidth = {};
  std::optional<bool> IsGray = {};
};

void ApplyCaretDef(TEfCaret& Caret, const TEfCaretDef& Def);

using TValidationErrorEvent =
    TEvent<void(void* Sender, uint16_t ErrorCode, std::string_view ErrorMsg)>;
using TUserValidationEvent = TEvent<void(void* Sender, uint16_t& ErrorCode)>;
using TUserCommandEvent = TEvent<void(void* Sender, TEfCommand Command)>;

// Items of the context menu (their command ids).
enum TEfMenuItem : UINT {
  emiRestore = 1,
  emiCut,
  emiCopy,
  emiPaste,
  emiDelete,
  emiSelectAll,
};

struct TEfMenuDeleter {
  void operator()(HMENU Menu) const { DestroyMenu(Menu); }
};
using TEfMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, TEfMenuDeleter>;

class TEfBaseEntryField : public TEfCustomControlEx {
 public:
  TEfBaseEntryField(TForm& Form, std::string_view Name);
  ~TEfBaseEntryField() override;

  [[nodiscard]] TEfEntryFieldOptions Options() const { return FOptions; }
  // The options the field's kind does not use are cleared.
  void SetOptions(TEfEntryFieldOptions Value);
  [[nodiscard]] char PadChar() const { return FPadChar; }
  void SetPadChar(char Value);
  [[nodiscard]] int TextMargin() const { return FTextMargin; }
  // Values below 2 are refused.
  void SetTextMargin(int Value);
  [[nodiscard]] bool Uninitialized() const { return FUninitialized; }
  void SetUninitialized(bool Value);
  [[nodiscard]] TZeroDisplay ZeroDisplay() const { return FZeroDisplay; }
  void SetZeroDisplay(TZeroDisplay Value);
  [[nodiscard]] double ZeroDisplayValue() const { return FZeroDisplayValue; }
  void SetZeroDisplayValue(double Value);
  // The height follows the font; setting another height turns it off.
  [[nodiscard]] bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  [[nodiscard]] TEfBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TEfBorderStyle Value);
  [[nodiscard]] bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value);
  [[nodiscard]] const TEfBorders& Borders() const { return FBorders; }
  void SetBorders(const TEfBorders& Value);
  [[nodiscard]] TEfColorSet& EFColors() { return FEFColors; }
  [[nodiscard]] const std::shared_ptr<TEfCaret>& CaretIns() const { return FCarets.CaretIns(); }
  [[nodiscard]] const std::shared_ptr<TEfCaret>& CaretOvr() const { return FCarets.CaretOvr(); }
  void SetCaretIns(std::shared_ptr<TEfCaret> Value) { FCarets.SetCaretIns(std::move(Value)); }
  void SetCaretOvr(std::shared_ptr<TEfCaret> Value) { FCarets.SetCaretOvr(std::move(Value)); }
  [[nodiscard]] const TEfCaretPair& Carets() const { return FCarets; }

  // Result of the last validation or value read; 0 is valid.
  [[nodiscard]] int ValidationCode() const { return FValidationCode; }
  [[nodiscard]] bool Modified() const { return FModified; }
  [[nodiscard]] bool Editing() const { return FEditing; }
  [[nodiscard]] bool InsertMode() const { return FInsertMode; }
  // Set while an invalid value is shown in the error colours.
  [[nodiscard]] bool ErrorState() const { return FErrorState; }
  // The text as the field holds it, one character per mask position.
  [[nodiscard]] virtual const std::string& EditText() const = 0;
  [[nodiscard]] int SelStart() const { return FSelStart; }
  [[nodiscard]] int SelEnd() const { return FSelEnd; }
  [[nodiscard]] bool HasSelection() const { return FSelEnd > FSelStart; }
  [[nodiscard]] int CaretPosition() const { return FCaretPos; }

  // The type and range check (0 or an error code), without report.
  virtual int CheckValue(bool WriteBack) = 0;
  // The check of a field being left: true when the focus may go. An invalid value is reported
  // later (posted) and the field takes the focus back; under efoSoftValidation with AllowSoft
  // it stays, shown in the error colours.
  virtual bool ValidateAndReport(bool AllowSoft);
  // Direction 1 reads the value into Data, 2 shows the value of Data; the data size.
  virtual size_t TransferValue(std::span<uint8_t> Data, int Direction) = 0;
  // Shows the value of a text in the field's notation; EEntryFieldError when it has none.
  virtual void SetValueFromText(std::string_view Text) = 0;
  // The size of the field's value in bytes.
  [[nodiscard]] virtual size_t DataSize() const = 0;

  // The context menu as it would show now (items enabled as they apply).
  [[nodiscard]] TEfMenu MakeContextMenu() const;

  TValidationErrorEvent OnError;
  TUserValidationEvent OnUserValidation;
  TUserCommandEvent OnUserCommand;

  void Destroying() override;

 protected:
  // The form row's properties that every entry field has.
  template <class P>
  void ApplyEntryFieldProps(const P& Props);

  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  void DoEnter(HWND Previous) override;
  void DoExit(HWND Next) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void BoundsChanged() override;
  void Paint(HDC Dc, const RECT& R) override;

  // What the kind of value supplies.
  // The string to draw (zero, uninitialized, pad and password rules applied).
  [[nodiscard]] virtual std::string DisplayString() const = 0;
  // Puts back a text the field showed before (restore).
  virtual void RestoreText(std::string_view Text) = 0;
  // No value in the field (every editable position blank).
  [[nodiscard]] virtual bool FieldIsBlank() const = 0;
  // Carries out an editing command (Part of the key, clipboard and mouse paths).
  virtual void EditCommand(TEfCommand Command, char Ch, std::string_view Text) = 0;
  virtual void CaretToEnd();
  virtual void CaretToStart();
  virtual void SetCaretPosition(int Position);
  // The options the kind uses.
  [[nodiscard]] virtual TEfEntryFieldOptions AdjustOptions(TEfEntryFieldOptions Value) const {
    return Value;
  }
  [[nodiscard]] virtual bool IsReadOnly() const { return FOptions.Contains(efoReadOnly); }
  // The kind's own steps at the end of focus entry (Resumed: the focus comes back to an entry
  // that went on, outside the form or after a failed check) and of focus exit.
  virtual void FieldEntered(bool /*Resumed*/) {}
  virtual void FieldExited() {}
  // A refused character or command: beeps when the controller says so.
  virtual void ErrorBeep();

  // Runs a command as a key, the clipboard or the mouse gave it: read-only fields refuse the
  // editing ones, user commands go to OnUserCommand.
  void DispatchCommand(TEfCommand Command, char Ch = 0, std::string_view Text = {});
  // After the program wrote a value into the text.
  void ValueWritten();
  // After an editing command changed the text: modified, OnChange.
  void TextChanged();
  // Puts back the text the field had when it got the focus, selected, not modified.
  void Restore();
  // The caret at its position in the text, as drawn; after text, selection or mode changes.
  void UpdateCaret();
  void SelectAll();
  void ClearSelection();
  // Puts the caret at a position of the text (clamped), whatever the kind's rules.
  void PutCaret(int Position);
  // The focus to the next or previous control of the form (posted).
  void MoveFocus(bool Previous);
  void ToggleInsertMode();
  // The required-value test, then the kind's check.
  int CheckAll();
  // Posts the report of an error code to the field itself.
  void PostReport(int Code);
  void SetErrorState(bool Value);
  void SetValidationCode(int Value) { FValidationCode = Value; }
  // Destroys the window while the object is whole; a derived field's destructor calls it.
  void DestroyField();
  // Sets the height from the font when AutoSize is on.
  void AdjustHeight();
  // The options as they are, without the kind's adjustment.
  void StoreOptions(TEfEntryFieldOptions Value) { FOptions = Value; }
  void CopySelection() const;
  [[nodiscard]] std::string SelectedText() const;

  [[nodiscard]] bool FocusLeftForm() const { return FFocusLeftForm; }
  [[nodiscard]] bool ModifiedOnce() const { return FModifiedOnce; }

 private:
  struct TTextLayout {
    int Right;  // x just right of the text
    int ClientRight;
    int Top;     // y of the text top
    int Height;  // text height
    int AveCharWidth;
  };
  [[nodiscard]] TTextLayout Layout() const;
  [[nodiscard]] int AutoHeight() const;
  void DrawBorders(HDC Dc, const RECT& R) const;
  void ColorsChanged(void* Sender);
  void ApplyFrameStyle();
  void ShowContextMenu(int X, int Y);
  void ReportError(int Code);
  void SetSelection(int Start, int End);
  [[nodiscard]] LRESULT GetDlgCode(const MSG* Message) const;
  [[nodiscard]] bool WindowOfForm(HWND Window) const;
  void ApplyEntryFieldDefs(TEfEntryFieldOptions Options, char PadChar, int TextMargin,
                           bool Uninitialized, TZeroDisplay ZeroDisplay, double ZeroDisplayValue,
                           bool AutoSize, TEfBorderStyle BorderStyle, bool Ctl3D,
                           const TEfBorders& Borders, const TEfCaretDef& CaretIns,
                           const TEfCaretDef& CaretOvr, const TEfColorSetDef& Colors);

  TEfCaretPair FCarets;
  TEfColorSet FEFColors;
  TEfBorders FBorders;
  TEfEntryFieldOptions FOptions = TEfEntryFieldOptions::Defaults();
  char FPadChar = ' ';
  int FTextMargin = 2;
  bool FUninitialized = false;
  TZeroDisplay FZeroDisplay = zdShow;
  double FZeroDisplayValue = 0;
  bool FAutoSize = true;
  bool FAdjustingHeight = false;
  TEfBorderStyle FBorderStyle = TEfBorderStyle::Single;
  bool FCtl3D = true;

  int FSelStart = 0;
  int FSelEnd = 0;
  int FCaretPos = 0;
  std::optional<std::string> FSavedText;
  int FValidationCode = 0;

  bool FModified = false;
  bool FModifiedOnce = false;
  bool FEditing = false;
  bool FInsertMode = true;
  bool FErrorState = false;
  bool FCharAllowed = false;
  bool FSysKeyDown = false;
  bool FFocusLeftForm = false;
  bool FExitUnvalidated = false;
  bool FNeedsRefocus = false;
  bool FTransient = false;   // entered while another field's error report was queued
  bool FMouseEntry = false;  // the focus comes by a mouse click
  bool FReportQueued = false;
  bool FGoing = false;  // being destroyed: focus changes check nothing
};

template <class P>
void TEfBaseEntryField::ApplyEntryFieldProps(const P& Props) {
  ApplyEntryFieldDefs(Props.Options, Props.PadChar, Props.TextMargin, Props.Uninitialized,
                      Props.ZeroDisplay, Props.ZeroDisplayValue, Props.AutoSize, Props.BorderStyle,
                      Props.Ctl3D, Props.Borders, Props.CaretIns, Props.CaretOvr, Props.EFColors);
  LoadLabelInfo(Props.LabelInfo);
  SetCursor(Props.Cursor);
  SetColor(Props.Color);
}
