// The "Button name" dialog: asks for a button's name, offering the usual KEY_ names. OK is
// taken only when the check passes; else its reason is shown and the dialog stays.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "gui/Form.h"

class TNameDialog final : public TForm {
  // Comes first: creates the window from the form definition before the fields are bound.
  struct TCreated {
    explicit TCreated(TNameDialog& Form);
  } FCreated;

 public:
  // Check: empty when a name may be taken, else why not.
  using TCheck = std::function<std::string(std::string_view Name)>;

  TNameDialog(std::string_view Prompt, std::string_view Name, TCheck Check);

  TLabel& Prompt;
  TComboBox& NameBox;
  TButton& OkButton;
  TButton& CancelButton;

  void OkButtonClick(void* Sender);

  // Shows the dialog; true with the name when the user gave one that passed the check.
  bool Execute(std::string& Name);

 private:
  TCheck FCheck;
};
