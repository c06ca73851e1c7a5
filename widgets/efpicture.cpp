#include "widgets/efpicture.h"

#include <windows.h>

#include <array>
#include <string>

namespace {

std::string LocaleText(LCTYPE Item) {
  std::array<char, 16> text{};
  const int got =
      GetLocaleInfoA(LOCALE_USER_DEFAULT, Item, text.data(), static_cast<int>(text.size()));
  // The count includes the closing zero; nothing when the setting is missing.
  return got > 1 ? std::string(text.data()) : std::string();
}

}  // namespace

TEfIntlSup RegionalIntlSup() {
  return TEfIntlSup::FromRegional(LocaleText(LOCALE_SCURRENCY), LocaleText(LOCALE_SDECIMAL),
                                  LocaleText(LOCALE_STHOUSAND));
}

bool TEfPictureBase::FieldIsBlank() const {
  const std::string& text = EditText();
  const auto kinds = Picture().KindsOf(text);
  for (size_t i = 0; i < text.size() && i < kinds.size(); ++i) {
    if (kinds[i] == pkEditable && text[i] != ' ') return false;
  }
  return true;
}

void TEfPictureBase::CaretToEnd() {
  const auto kinds = Picture().KindsOf(EditText());
  int last = -1;
  for (size_t i = 0; i < kinds.size(); ++i) {
    if (kinds[i] == pkEditable) last = static_cast<int>(i);
  }
  PutCaret(last + 1);
}

void TEfPictureBase::CaretToStart() {
  SetCaretPosition(0);
}

void TEfPictureBase::SetCaretPosition(int Position) {
  const auto kinds = Picture().KindsOf(EditText());
  for (size_t i = Position > 0 ? static_cast<size_t>(Position) : 0; i < kinds.size(); ++i) {
    if (kinds[i] == pkEditable) {
      PutCaret(static_cast<int>(i));
      return;
    }
  }
  PutCaret(static_cast<int>(EditText().size()));
}
