#include "widgets/efnumeric.h"

#include <array>

#include "widgets/efcontrol.h"

TEfCustomNumericField::TEfCustomNumericField(TForm& Form, std::string_view Name)
    : TEfPictureBase(Form, Name), FEntry(RegionalIntlSup()) {
  StoreOptions(AdjustOptions(Options()));
  FEntry.OnUserValidation = [this](int& Code) {
    if (!OnUserValidation) return;
    auto code = static_cast<uint16_t>(Code);
    OnUserValidation(this, code);
    Code = code;
  };
}

TEfCustomNumericField::~TEfCustomNumericField() {
  DestroyField();
}

void TEfCustomNumericField::ApplyNumericProps(const TEfNumericFieldProps& Props) {
  // As a form loads them: the type first, so that the stored mask and range win.
  FEntry.SetDataType(Props.DataType);
  ApplyEntryFieldProps(Props);
  FEntry.SetPictureMask(Props.PictureMask);
  if (Props.RangeHigh) FEntry.SetRangeHigh(*Props.RangeHigh);
  if (Props.RangeLow) FEntry.SetRangeLow(*Props.RangeLow);
  if (!Props.RangeHi.empty()) FEntry.SetRangeHi(Props.RangeHi);
  if (!Props.RangeLo.empty()) FEntry.SetRangeLo(Props.RangeLo);
}

void TEfNumericField::ReadProps(const TControlProps& Props) {
  ApplyNumericProps(Props.As<TProps>(Name()));
}

void TEfCustomNumericField::CreateParams(TCreateParams& Params) {
  TEfPictureBase::CreateParams(Params);
  Params.ClassName = "TEfNumericField";
}

void TEfCustomNumericField::CreateWnd() {
  TEfPictureBase::CreateWnd();
  InitializeWindow();
}

void TEfCustomNumericField::InitializeWindow() {
  CaretToEnd();
  ClearSelection();
  if (Options().Contains(efoInputRequired)) SetUninitialized(true);
  StoreOptions(AdjustOptions(Options()));
  AdjustHeight();
  // Equal range ends give the type's range; 0 is shown when the range holds it.
  FEntry.Initialize();
  CaretToEnd();
  ClearSelection();
}

void TEfCustomNumericField::Reinitialize(bool KeepValue) {
  std::array<uint8_t, 10> value{};
  const bool held = KeepValue && FEntry.ReadValue(value);
  InitializeWindow();
  if (held) FEntry.WriteValue(value);
  if (Editing()) FEntry.LoadEntry();
  UpdateCaret();
  Invalidate();
}

void TEfCustomNumericField::SetDataType(TNumericDataType Value) {
  if (Value == FEntry.DataType()) return;
  FEntry.SetDataType(Value);
  if (HandleAllocated()) Reinitialize(false);
}

void TEfCustomNumericField::SetPictureMask(std::string_view Value) {
  if (!FEntry.SetPictureMask(Value)) return;
  if (HandleAllocated()) Reinitialize(true);
}

void TEfCustomNumericField::SetRangeHi(std::string_view Text) {
  FEntry.SetRangeHi(Text);
  RangeChanged();
}

void TEfCustomNumericField::SetRangeLo(std::string_view Text) {
  FEntry.SetRangeLo(Text);
  RangeChanged();
}

void TEfCustomNumericField::SetRangeHigh(std::span<const uint8_t> Record) {
  FEntry.SetRangeHigh(Record);
  RangeChanged();
}

void TEfCustomNumericField::SetRangeLow(std::span<const uint8_t> Record) {
  FEntry.SetRangeLow(Record);
  RangeChanged();
}

void TEfCustomNumericField::RangeChanged() {
  // A field the user can reach checks itself against the new range.
  if (Loading() || !HandleAllocated() || !IsWindowVisible(Handle()) || !IsWindowEnabled(Handle()) ||
      !IsWindowEnabled(GetParent(Handle()))) {
    return;
  }
  const int code = CheckAll();
  SetValidationCode(code);
  if (Options().Contains(efoSoftValidation)) SetErrorState(code != 0);
  if (code != 0) {
    PostReport(code);
    if (!Focused() && CanFocus()) SetFocus();
  }
  Invalidate();
}

int32_t TEfCustomNumericField::IntegerValue() {
  const TEfIntegerRead read = FEntry.IntegerValue();
  SetValidationCode(read.ValidationCode);
  return read.Value;
}

void TEfCustomNumericField::SetIntegerValue(int32_t Value) {
  if (FEntry.SetIntegerValue(Value)) Written();
}

void TEfCustomNumericField::Written() {
  ValueWritten();
  // While the field is being edited the entry goes on from the value shown.
  if (Editing()) FEntry.LoadEntry();
}

int TEfCustomNumericField::CheckValue(bool WriteBack) {
  const std::string before = FEntry.Text();
  const int code = FEntry.CheckValue(WriteBack);
  if (FEntry.Text() != before) Invalidate();
  return code;
}

size_t TEfCustomNumericField::TransferValue(std::span<uint8_t> Data, int Direction) {
  switch (Direction) {
    case 1:
      (void)FEntry.ReadValue(Data);
      break;
    case 2:
      FEntry.WriteValue(Data);
      if (FEntry.UserValidationRunning()) {
        Invalidate();
      } else {
        Written();
      }
      break;
    default:
      throw EWidgetError();
  }
  return DataSize();
}

void TEfCustomNumericField::SetValueFromText(std::string_view Text) {
  FEntry.SetValueFromText(Text);
  Written();
}

std::string TEfCustomNumericField::DisplayString() const {
  return FEntry.DisplayString({.Editing = Editing(),
                               .Uninitialized = Uninitialized(),
                               .ZeroDisplay = ZeroDisplay(),
                               .ZeroDisplayValue = ZeroDisplayValue(),
                               .ModifiedOnce = ModifiedOnce(),
                               .PadChar = PadChar(),
                               .PasswordMode = Options().Contains(efoPasswordMode)});
}

void TEfCustomNumericField::FieldEntered(bool Resumed) {
  // An entry that went on outside the form, or past a failed check, continues as it was.
  if (!Resumed) FEntry.LoadEntry();
  CaretToEnd();
}

void TEfCustomNumericField::FieldExited() {
  if (!FocusLeftForm()) FEntry.DropEntry();
}

bool TEfCustomNumericField::Step(int Delta) {
  if (!Editing()) return false;
  return FEntry.StepValue(Delta, true);
}

void TEfCustomNumericField::TypeChar(char Ch, bool& KeepSelection) {
  const TEfCharResult r = FEntry.TypeChar(Ch, HasSelection());
  const bool advance = Controller().EntryOptions().Contains(efoAutoAdvanceChar);
  switch (r.Outcome) {
    case coRefused:
      ErrorBeep();
      // A refused character leaves the selection as it was.
      KeepSelection = true;
      break;
    case coFilled:
      if (advance) MoveFocus(false);
      break;
    case coOverflow:
      if (advance) {
        MoveFocus(false);
      } else {
        ErrorBeep();
      }
      KeepSelection = true;
      break;
    case coAccepted:
      break;
  }
  if (r.Changed) TextChanged();
}

void TEfCustomNumericField::EditCommand(TEfCommand Command, char Ch, std::string_view Text) {
  const TEfBaseEFOptions common = Controller().EntryOptions();
  const bool leftRight = common.Contains(efoAutoAdvanceLeftRight);
  bool changed = false;
  bool keepSelection = false;
  switch (Command) {
    case ccTypedChar:
      TypeChar(Ch, keepSelection);
      break;
    case ccBack:
    case ccDel:
      changed = FEntry.DeleteChar(HasSelection());
      break;
    case ccDelLine:
      changed = FEntry.ClearEntry();
      break;
    case ccCut:
    case ccDelWord:
      if (HasSelection()) changed = FEntry.ClearEntry();
      keepSelection = Command == ccCut;
      break;
    case ccCopy:
      CopySelection();
      keepSelection = true;
      break;
    case ccPaste:
      changed = FEntry.Paste(Text, HasSelection());
      keepSelection = true;
      break;
    case ccInc:
    case ccDec:
      changed = Step(Command == ccInc ? 1 : -1);
      break;
    case ccUp:
    case ccDown: {
      const bool up = Command == ccUp;
      const bool steps = Options().Contains(efoArrowIncDec) && !IsReadOnly();
      // Moving on, else stepping, else as left and right.
      if (common.Contains(efoAutoAdvanceUpDown) || (!steps && leftRight)) {
        MoveFocus(up);
      } else if (steps) {
        changed = Step(up ? 1 : -1);
      }
      break;
    }
    case ccLeft:
    case ccWordLeft:
      if (leftRight) MoveFocus(true);
      break;
    case ccRight:
    case ccWordRight:
      if (leftRight) MoveFocus(false);
      break;
    case ccExtendLeft:
    case ccExtendRight:
    case ccExtendHome:
    case ccExtendEnd:
    case ccExtWordLeft:
    case ccExtWordRight:
    case ccDoubleClick:
      SelectAll();
      keepSelection = true;
      break;
    case ccIns:
      if (!Options().Contains(efoForceOvertype)) ToggleInsertMode();
      break;
    case ccRestore:
      Restore();
      FEntry.LoadEntry();
      keepSelection = true;
      break;
    case ccMouseDown:
      ClearSelection();
      keepSelection = true;
      break;
    default:
      break;
  }
  if (!keepSelection) ClearSelection();
  if (changed) TextChanged();
  UpdateCaret();
  Invalidate();
}
