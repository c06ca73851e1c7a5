// The numeric entry field: a single-line window that edits one number through a picture mask,
// pocket-calculator style. The typed characters collect in an entry buffer shown right-aligned
// in the mask; the value is read and written in binary form, and checked against the data type
// and the field's range when the focus leaves the field. The value logic without a window is
// TEfNumericEntry (efnumentry.h); this is its window.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "widgets/efbase.h"
#include "widgets/efnumentry.h"
#include "widgets/efpicture.h"

// What a form row gives a numeric field, besides the placement every control has.
struct TEfNumericFieldProps {
  TNumericDataType DataType = nftLongInt;
  std::string_view PictureMask = {};  // empty: the data type's default mask
  // Range ends as the 10-byte records forms store, or as texts in the field's notation (taken
  // after the records); neither: the data type's range.
  std::optional<TEfRangeRecord> RangeHigh = {};
  std::optional<TEfRangeRecord> RangeLow = {};
  std::string_view RangeHi = {};
  std::string_view RangeLo = {};
  TEfEntryFieldOptions Options = TEfEntryFieldOptions::Defaults();
  char PadChar = ' ';
  int TextMargin = 2;
  bool Uninitialized = false;
  TZeroDisplay ZeroDisplay = zdShow;
  double ZeroDisplayValue = 0;
  bool AutoSize = true;
  TEfBorderStyle BorderStyle = TEfBorderStyle::Single;
  bool Ctl3D = true;
  TEfBorders Borders = {};
  TEfCaretDef CaretIns = {};
  TEfCaretDef CaretOvr = {};
  TEfColorSetDef EFColors = {};
  TEfLabelInfoDef LabelInfo = {};
  TCursor Cursor = TCursor::IBeam;
  COLORREF Color = clWindow;
};

class TEfCustomNumericField : public TEfPictureBase {
 public:
  TEfCustomNumericField(TForm& Form, std::string_view Name);
  ~TEfCustomNumericField() override;

  [[nodiscard]] TNumericDataType DataType() const { return FEntry.DataType(); }
  // A new type takes its default mask and range; the field shows its initial value.
  virtual void SetDataType(TNumericDataType Value);
  [[nodiscard]] const std::string& PictureMask() const { return FEntry.PictureMask(); }
  // An empty or unchanged mask is ignored; the value is kept. EInvalidPictureMask for a mask
  // longer than 255 characters.
  virtual void SetPictureMask(std::string_view Value);

  // Range ends as text in the field's notation; EInvalidRangeValue for a text that does not
  // parse. After a change the field checks itself again.
  [[nodiscard]] std::string RangeHi() const { return FEntry.RangeHi(); }
  [[nodiscard]] std::string RangeLo() const { return FEntry.RangeLo(); }
  void SetRangeHi(std::string_view Text);
  void SetRangeLo(std::string_view Text);
  // Range ends as 10-byte records.
  [[nodiscard]] const TEfRangeRecord& RangeHigh() const { return FEntry.RangeHigh(); }
  [[nodiscard]] const TEfRangeRecord& RangeLow() const { return FEntry.RangeLow(); }
  void SetRangeHigh(std::span<const uint8_t> Record);
  void SetRangeLow(std::span<const uint8_t> Record);

  // The value of an integer type (EInvalidDataType for the others): checked first, 0 when
  // invalid, the check's result in ValidationCode. Nothing is reported or redrawn.
  [[nodiscard]] int32_t IntegerValue();
  // Shows Value cut to the type's width, without range check; ignored while OnUserValidation
  // runs.
  void SetIntegerValue(int32_t Value);

  // The text as the field holds it; setting it shows the value of a text in the field's
  // notation (EEntryFieldError when it has none).
  [[nodiscard]] const std::string& Text() const { return FEntry.Text(); }
  void SetText(std::string_view Value) { SetValueFromText(Value); }
  // The typed characters and the sign while the field is being edited.
  [[nodiscard]] const std::string& EntryText() const { return FEntry.EntryText(); }
  [[nodiscard]] bool EntryMinus() const { return FEntry.EntryMinus(); }

  [[nodiscard]] const std::string& EditText() const override { return FEntry.Text(); }
  int CheckValue(bool WriteBack) override;
  size_t TransferValue(std::span<uint8_t> Data, int Direction) override;
  void SetValueFromText(std::string_view Text) override;
  [[nodiscard]] size_t DataSize() const override { return DataSizeOfKind(FEntry.KindCode()); }
  [[nodiscard]] const TEfPictureMask& Picture() const override { return FEntry.Mask(); }

 protected:
  void ApplyNumericProps(const TEfNumericFieldProps& Props);
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;

  [[nodiscard]] std::string DisplayString() const override;
  void RestoreText(std::string_view Text) override { FEntry.SetText(Text); }
  void EditCommand(TEfCommand Command, char Ch, std::string_view Text) override;
  // The caret stands after the number, always.
  void CaretToEnd() override { PutCaret(static_cast<int>(EditText().size())); }
  void CaretToStart() override { CaretToEnd(); }
  void SetCaretPosition(int /*Position*/) override {}
  [[nodiscard]] TEfEntryFieldOptions AdjustOptions(TEfEntryFieldOptions Value) const override {
    return Value.ForNumericField();
  }
  void FieldEntered(bool Resumed) override;
  void FieldExited() override;

 private:
  // What making the window does: mask and options, height, range, initial value.
  void InitializeWindow();
  // Makes the window anew; KeepValue: the value shown stays.
  void Reinitialize(bool KeepValue);
  void RangeChanged();
  // After the program wrote a value.
  void Written();
  bool Step(int Delta);
  void TypeChar(char Ch, bool& KeepSelection);

  TEfNumericEntry FEntry;
};

// The numeric field of form definitions.
class TEfNumericField : public TEfCustomNumericField {
 public:
  using TProps = TEfNumericFieldProps;
  using TEfCustomNumericField::TEfCustomNumericField;

 protected:
  void ReadProps(const TControlProps& Props) override;
};
