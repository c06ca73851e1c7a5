// The picture-mask base of the entry fields: a field whose text follows a picture mask (one
// character per mask position, efmask.h). It knows which positions the user edits, puts the
// caret on them, and takes the currency, decimal and thousands characters from the user's
// regional settings.
#pragma once

#include <string_view>

#include "widgets/efbase.h"
#include "widgets/efmask.h"

// The international characters of the user's regional settings; "$", "." and "," where a
// setting is missing or unusable.
[[nodiscard]] TEfIntlSup RegionalIntlSup();

class TEfPictureBase : public TEfBaseEntryField {
 public:
  using TEfBaseEntryField::TEfBaseEntryField;

  // The field's mask, analysed.
  [[nodiscard]] virtual const TEfPictureMask& Picture() const = 0;

 protected:
  // Every editable position is blank.
  [[nodiscard]] bool FieldIsBlank() const override;
  // Just after the last editable position / on the first one.
  void CaretToEnd() override;
  void CaretToStart() override;
  // Onto the nearest editable position at or after Position (else the end).
  void SetCaretPosition(int Position) override;
};
