#include "remote/NameDialog.h"

#include "remote/ButtonNames.h"

namespace {

constexpr TButtonProps DefaultButton{.Default = true};
constexpr TButtonProps CancelProps{.Cancel = true, .ModalResult = mrCancel};
constexpr TLabelProps PromptProps{.FocusControl = "NameBox"};

constexpr TControlDef NameControls[] = {
    {.Kind = ControlKind<TLabel>,
     .Name = "Prompt",
     .Left = 12,
     .Top = 12,
     .Width = 296,
     .Height = 32,
     .Props = PromptProps},
    {.Kind = ControlKind<TComboBox>,
     .Name = "NameBox",
     .Left = 12,
     .Top = 48,
     .Width = 296,
     .Height = 200,
     .TabOrder = 0},
    {.Kind = ControlKind<TButton>,
     .Name = "OkButton",
     .Left = 152,
     .Top = 84,
     .Width = 75,
     .Height = 25,
     .TabOrder = 1,
     .Caption = "OK",
     .Props = DefaultButton,
     .OnClick = "OkButtonClick"},
    {.Kind = ControlKind<TButton>,
     .Name = "CancelButton",
     .Left = 233,
     .Top = 84,
     .Width = 75,
     .Height = 25,
     .TabOrder = 2,
     .Caption = "Cancel",
     .Props = CancelProps},
};

constexpr TFormDef NameDef{
    .Name = "TNameDialog",
    .Caption = "Button name",
    .BorderStyle = TBorderStyle::Dialog,
    .Position = TFormPosition::ScreenCenter,
    .ClientWidth = 320,
    .ClientHeight = 121,
    .Controls = NameControls,
};

}  // namespace

TNameDialog::TCreated::TCreated(TNameDialog& Form) {
  const THandler handlers[] = {
      {"OkButtonClick", TNotifyEvent::Bind<&TNameDialog::OkButtonClick>(&Form)},
  };
  Form.CreateForm(NameDef, handlers);
}

TNameDialog::TNameDialog(std::string_view PromptText, std::string_view Name, TCheck Check)
    : FCreated(*this),
      Prompt(Control<TLabel>("Prompt")),
      NameBox(Control<TComboBox>("NameBox")),
      OkButton(Control<TButton>("OkButton")),
      CancelButton(Control<TButton>("CancelButton")),
      FCheck(std::move(Check)) {
  Prompt.SetCaption(PromptText);
  for (const std::string_view suggestion : SuggestedButtonNames()) NameBox.AddItem(suggestion);
  NameBox.SetCaption(Name);
}

void TNameDialog::OkButtonClick(void* /*Sender*/) {
  const std::string name = NameBox.Caption();
  const std::string why = FCheck ? FCheck(name) : std::string();
  if (!why.empty()) {
    MessageBoxA(Handle(), why.c_str(), "Button name", MB_OK | MB_ICONWARNING);
    NameBox.SetFocus();
    return;
  }
  SetModalResult(mrOk);
}

bool TNameDialog::Execute(std::string& Name) {
  if (ShowModal() != mrOk) return false;
  Name = NameBox.Caption();
  return true;
}
