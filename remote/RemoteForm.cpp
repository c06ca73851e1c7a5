#include "remote/RemoteForm.h"

#include <KelHID.h>

#include <array>
#include <vector>

#include "gui/Application.h"
#include "remote/ActionRunner.h"
#include "remote/NameDialog.h"
#include "remote/RemoteCommands.h"
#include "remote/RemoteSystem.h"

namespace {

constexpr UINT WM_TRAY = WM_APP + TrayMessageOffset;

constexpr TPanelProps Lowered{.BevelOuter = TBevel::Lowered};
constexpr std::array<int, 2> ButtonColumns = {88, 140};
constexpr TListBoxProps ButtonListProps{.TabStops = ButtonColumns};
constexpr TLabelProps ButtonsLabel{.FocusControl = "ButtonList"};
constexpr TLabelProps ActionLabel{.FocusControl = "ActionEdit"};
constexpr TLabelProps MessagesLabel{.FocusControl = "Messages"};
constexpr TEditProps ActionProps{.MaxLength = 1000};
constexpr TListBoxProps MessagesProps{.HorizontalScroll = true};

constexpr TControlDef RemoteControls[] = {
    {.Kind = ControlKind<TLabel>,
     .Name = "StateLabel",
     .Left = 10,
     .Top = 14,
     .Width = 70,
     .Height = 16,
     .Caption = "Receiver:"},
    {.Kind = ControlKind<TPanel>,
     .Name = "State",
     .Left = 84,
     .Top = 9,
     .Width = 386,
     .Height = 24,
     .Props = Lowered},
    {.Kind = ControlKind<TLabel>,
     .Name = "LastCodeLabel",
     .Left = 10,
     .Top = 44,
     .Width = 70,
     .Height = 16,
     .Caption = "Last code:"},
    {.Kind = ControlKind<TPanel>,
     .Name = "LastCode",
     .Left = 84,
     .Top = 39,
     .Width = 386,
     .Height = 24,
     .Caption = "(none yet)",
     .Props = Lowered},
    {.Kind = ControlKind<TLabel>,
     .Name = "ButtonsLabel",
     .Left = 10,
     .Top = 72,
     .Width = 300,
     .Height = 16,
     .Caption = "&Buttons (name, code, action):",
     .Props = ButtonsLabel},
    {.Kind = ControlKind<TListBox>,
     .Name = "ButtonList",
     .Left = 10,
     .Top = 90,
     .Width = 460,
     .Height = 170,
     .TabOrder = 0,
     .Props = ButtonListProps,
     .OnClick = "ButtonListClick"},
    {.Kind = ControlKind<TButton>,
     .Name = "LearnButton",
     .Left = 10,
     .Top = 266,
     .Width = 90,
     .Height = 25,
     .TabOrder = 1,
     .Caption = "&Learn...",
     .OnClick = "LearnButtonClick"},
    {.Kind = ControlKind<TButton>,
     .Name = "RenameButton",
     .Left = 106,
     .Top = 266,
     .Width = 90,
     .Height = 25,
     .TabOrder = 2,
     .Caption = "&Rename...",
     .OnClick = "RenameButtonClick"},
    {.Kind = ControlKind<TButton>,
     .Name = "DeleteButton",
     .Left = 202,
     .Top = 266,
     .Width = 90,
     .Height = 25,
     .TabOrder = 3,
     .Caption = "&Delete",
     .OnClick = "DeleteButtonClick"},
    {.Kind = ControlKind<TLabel>,
     .Name = "ActionLabel",
     .Left = 10,
     .Top = 306,
     .Width = 70,
     .Height = 16,
     .Caption = "&Action:",
     .Props = ActionLabel},
    {.Kind = ControlKind<TEdit>,
     .Name = "ActionEdit",
     .Left = 84,
     .Top = 302,
     .Width = 290,
     .Height = 23,
     .TabOrder = 4,
     .Props = ActionProps},
    {.Kind = ControlKind<TButton>,
     .Name = "SetActionButton",
     .Left = 380,
     .Top = 301,
     .Width = 90,
     .Height = 25,
     .TabOrder = 5,
     .Caption = "&Set action",
     .OnClick = "SetActionButtonClick"},
    {.Kind = ControlKind<TLabel>,
     .Name = "ActionHelp",
     .Left = 84,
     .Top = 328,
     .Width = 386,
     .Height = 16,
     .Caption = "keys:Ctrl+S  text:Hello  run:notepad.exe  message:CLASS,MSG,W,L  (,repeat)"},
    {.Kind = ControlKind<TLabel>,
     .Name = "MessagesLabel",
     .Left = 10,
     .Top = 350,
     .Width = 300,
     .Height = 16,
     .Caption = "&Messages:",
     .Props = MessagesLabel},
    {.Kind = ControlKind<TListBox>,
     .Name = "Messages",
     .Left = 10,
     .Top = 368,
     .Width = 460,
     .Height = 94,
     .TabOrder = 6,
     .Props = MessagesProps},
};

constexpr TFormDef RemoteDef{
    .Name = "TRemoteForm",
    .Caption = "KelHID Remote",
    .BorderStyle = TBorderStyle::Sizeable,
    .Position = TFormPosition::Designed,
    .Left = 520,
    .Top = 20,
    .ClientWidth = 480,
    .ClientHeight = 472,
    .Controls = RemoteControls,
};

// The library's text of the last failure, or the result's number.
std::string LibraryError(int Result) {
  const char* text = KelHID_GetLastErrorText();
  if (text != nullptr && *text != '\0') return text;
  return "error " + std::to_string(Result);
}

}  // namespace

TRemoteForm::TCreated::TCreated(TRemoteForm& Form) {
  const THandler handlers[] = {
      {"ButtonListClick", TNotifyEvent::Bind<&TRemoteForm::ButtonListClick>(&Form)},
      {"LearnButtonClick", TNotifyEvent::Bind<&TRemoteForm::LearnButtonClick>(&Form)},
      {"RenameButtonClick", TNotifyEvent::Bind<&TRemoteForm::RenameButtonClick>(&Form)},
      {"DeleteButtonClick", TNotifyEvent::Bind<&TRemoteForm::DeleteButtonClick>(&Form)},
      {"SetActionButtonClick", TNotifyEvent::Bind<&TRemoteForm::SetActionButtonClick>(&Form)},
  };
  Form.CreateForm(RemoteDef, handlers);
}

TRemoteForm::TRemoteForm()
    : FCreated(*this),
      State(Control<TPanel>("State")),
      LastCode(Control<TPanel>("LastCode")),
      ButtonList(Control<TListBox>("ButtonList")),
      LearnButton(Control<TButton>("LearnButton")),
      RenameButton(Control<TButton>("RenameButton")),
      DeleteButton(Control<TButton>("DeleteButton")),
      ActionEdit(Control<TEdit>("ActionEdit")),
      SetActionButton(Control<TButton>("SetActionButton")),
      Messages(Control<TListBox>("Messages")),
      FShowMessage(RegisterWindowMessageA(ShowWindowMessageName)) {
  FRemoteMenu = CreatePopupMenu();
  AppendMenuA(FRemoteMenu, MF_STRING, CmReceiverSettings, "Receiver &settings...");
  AppendMenuA(FRemoteMenu, MF_STRING, CmPause, "&Pause");
  AppendMenuA(FRemoteMenu, MF_STRING, CmStartWithWindows, "Start with &Windows");
  AppendMenuA(FRemoteMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(FRemoteMenu, MF_STRING, CmExit, "E&xit");
  FMenu = CreateMenu();
  AppendMenuA(FMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(FRemoteMenu), "&Remote");
  SetMenu(Handle(), FMenu);  // the window destroys the menu with itself
  // The menu bar takes its height from the client area: the window grows by it.
  RECT client{};
  GetClientRect(Handle(), &client);
  RECT outer{};
  GetWindowRect(Handle(), &outer);
  SetWindowPos(Handle(), nullptr, 0, 0, outer.right - outer.left,
               outer.bottom - outer.top + RemoteDef.ClientHeight - client.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  FTray = std::make_unique<TTrayIcon>(Handle(), WM_TRAY, LoadIconA(nullptr, IDI_APPLICATION));
  FTray->SetTip("KelHID Remote");
  FTray->Add();
  ShowState();
  UpdateMenu();
}

TRemoteForm::~TRemoteForm() {
  Shutdown();
}

// --- The file ------------------------------------------------------------------------------

void TRemoteForm::LoadRemoteFile() {
  std::string error;
  const std::string folder = RemoteFileFolder(ProgramDirectory(), error);
  if (folder.empty()) {
    AddMessage(error + " Changes to the buttons are not saved.");
    return;
  }
  FFilePath = RemoteFilePath(folder);
  std::string text;
  bool exists = false;
  if (!ReadTextFile(FFilePath, text, exists, error)) {
    // Saving would lose what the file holds: leave it alone.
    AddMessage(error + " Changes to the buttons are not saved.");
    return;
  }
  FFileUsable = true;
  AddMessage((exists ? "Buttons from " : "New file for the buttons: ") + FFilePath);
  for (const TFileProblem& problem : FFile.Load(text)) {
    AddMessage(RemoteFileName.data() + std::string(" ") + DescribeProblem(problem));
  }
  FillButtonList();
}

bool TRemoteForm::SaveRemoteFile() {
  if (!FFileUsable) {
    AddMessage("The buttons' file cannot be used: the change is kept until the program ends.");
    return false;
  }
  std::string error;
  if (!WriteTextFile(FFilePath, FFile.Save(), error)) {
    AddMessage(error);
    Refuse("KelHID Remote", error);
    return false;
  }
  return true;
}

void TRemoteForm::FillButtonList(std::string_view Select) {
  ButtonList.Clear();
  int selected = -1;
  const auto buttons = FFile.Buttons();
  for (size_t i = 0; i < buttons.size(); ++i) {
    const int index = ButtonList.AddItem(ButtonRow(buttons[i]), i);
    if (!Select.empty() && SameButtonName(buttons[i].Name, Select)) selected = index;
  }
  ButtonList.SetItemIndex(selected);
  ButtonListClick(nullptr);
}

const TRemoteButton* TRemoteForm::SelectedButton() const {
  const int index = ButtonList.ItemIndex();
  if (index < 0) return nullptr;
  const auto buttons = FFile.Buttons();
  const uintptr_t i = ButtonList.ItemData(index);
  return i < buttons.size() ? &buttons[i] : nullptr;
}

// --- The buttons ---------------------------------------------------------------------------

void TRemoteForm::ButtonListClick(void* /*Sender*/) {
  const TRemoteButton* button = SelectedButton();
  ActionEdit.SetCaption(button != nullptr ? button->Action : std::string());
  RenameButton.SetEnabled(button != nullptr);
  DeleteButton.SetEnabled(button != nullptr);
  ActionEdit.SetEnabled(button != nullptr);
  SetActionButton.SetEnabled(button != nullptr);
}

bool TRemoteForm::AskName(std::string_view Prompt, std::string& Name,
                          const std::function<std::string(std::string_view)>& Check) {
  TNameDialog dialog(Prompt, Name, Check);
  return dialog.Execute(Name);
}

void TRemoteForm::LearnButtonClick(void* /*Sender*/) {
  unsigned code1 = 0;
  unsigned code2 = 0;
  const int result = KelHID_GetIRCode(TRUE, TRUE, FALSE, &code1, &code2);
  if (result == KELHID_E_CANCELLED) return;
  if (result != KELHID_OK) {
    Refuse("Learn", "The button cannot be learnt: " + LibraryError(result));
    return;
  }
  const TCodePair code{code1, code2};
  if (const TRemoteButton* named = FFile.FindButton(code)) {
    Refuse("Learn",
           "This button (" + FormatCodePair(code) + ") is named already: " + named->Name + ".");
    FillButtonList(named->Name);
    return;
  }
  std::string name;
  const auto check = [&](std::string_view Name) -> std::string {
    if (std::string why = ButtonNameProblem(Name); !why.empty()) return why;
    if (const TRemoteButton* other = FFile.FindButton(Name)) {
      return "The name " + other->Name + " is used already, by the button " +
             FormatCodePair(other->Code) + ".";
    }
    return {};
  };
  if (!AskName("Name for the button " + FormatCodePair(code) + " (one word, no blanks):", name,
               check)) {
    return;
  }
  if (std::string why = FFile.AddButton(name, code); !why.empty()) {
    Refuse("Learn", why);
    return;
  }
  SaveRemoteFile();
  FillButtonList(name);
  AddMessage("Learnt " + name + " = " + FormatCodePair(code));
}

void TRemoteForm::RenameButtonClick(void* /*Sender*/) {
  const TRemoteButton* button = SelectedButton();
  if (button == nullptr) return;
  const std::string oldName = button->Name;
  std::string name = oldName;
  const auto check = [&](std::string_view Name) -> std::string {
    if (std::string why = ButtonNameProblem(Name); !why.empty()) return why;
    const TRemoteButton* other = FFile.FindButton(Name);
    if (other != nullptr && !SameButtonName(other->Name, oldName)) {
      return "The name " + other->Name + " is used already, by the button " +
             FormatCodePair(other->Code) + ".";
    }
    return {};
  };
  if (!AskName("New name for " + oldName + ":", name, check) || name == oldName) return;
  if (std::string why = FFile.RenameButton(oldName, name); !why.empty()) {
    Refuse("Rename", why);
    return;
  }
  SaveRemoteFile();
  FillButtonList(name);
}

void TRemoteForm::DeleteButtonClick(void* /*Sender*/) {
  const TRemoteButton* button = SelectedButton();
  if (button == nullptr) return;
  const std::string name = button->Name;
  const std::string question = "Delete the button " + name + " and its action?";
  if (MessageBoxA(Handle(), question.c_str(), "Delete", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  if (std::string why = FFile.DeleteButton(name); !why.empty()) {
    Refuse("Delete", why);
    return;
  }
  SaveRemoteFile();
  FillButtonList();
}

void TRemoteForm::SetActionButtonClick(void* /*Sender*/) {
  const TRemoteButton* button = SelectedButton();
  if (button == nullptr) return;
  const std::string name = button->Name;
  if (std::string why = FFile.SetAction(name, ActionEdit.Caption()); !why.empty()) {
    Refuse("Set action", "The action is not taken: " + why);
    ActionEdit.SetFocus();
    return;
  }
  SaveRemoteFile();
  FillButtonList(name);
}

// --- Receiver, server, events --------------------------------------------------------------

void TRemoteForm::Startup() {
  LoadRemoteFile();
  const int created = KelHID_Create(Handle());
  if (created != KELHID_OK) {
    FStartProblem = "The receiver library cannot start: " + LibraryError(created);
    AddMessage(FStartProblem);
    ShowState();
  } else {
    FEngine = true;
    // The library's dialogs (Learn, Receiver settings) belong to this window.
    KelHID_SetOwnerWindow(Handle());
    StartReceiver();
  }
  StartServer();
}

void TRemoteForm::Shutdown() {
  FServer.Stop();
  if (FEngine) {
    KelHID_Free();
    FEngine = false;
  }
  if (FTray) FTray->Remove();
}

void TRemoteForm::StartReceiver() {
  FStartProblem.clear();
  const std::string dir = ProgramDirectory();
  const int loaded = KelHID_LoadHIDSettings(dir.c_str());
  if (loaded == KELHID_E_NO_FILE) {
    FStartProblem =
        "No receiver configured: no KelHID.ini beside the program (Remote, "
        "Receiver settings...).";
  }
  KelHID_SetSetting(KELHID_BEEP, 0);
  const int started = KelHID_StartReceiving(KELHID_CONTINUOUS);
  if (started == KELHID_OK) {
    FStartProblem.clear();
  } else if (started == KELHID_E_NOT_CONFIGURED) {
    FStartProblem = "No receiver configured (Remote, Receiver settings...).";
  } else if (started == KELHID_E_NOT_FOUND) {
    FStartProblem = "Receiver not found: it is used as soon as it is plugged in.";
  } else if (started == KELHID_E_NOT_USABLE) {
    FStartProblem = "The receiver cannot be used: " + LibraryError(started);
  } else {
    FStartProblem = "Receiving does not start: " + LibraryError(started);
  }
  int state = 0;
  if (KelHID_GetState(&state) == KELHID_OK) FState = state;
  if (!FStartProblem.empty()) AddMessage(FStartProblem);
  ShowState();
}

void TRemoteForm::StartServer() {
  const TServerSettings& server = FFile.Server();
  if (!server.Enabled) return;
  std::string error;
  const std::string where = server.Address + ":" + std::to_string(server.Port);
  if (FServer.Start(server.Address, server.Port, error)) {
    AddMessage("Server: LIRC clients may connect to " + where);
  } else {
    AddMessage("Server on " + where + " not started: " + error +
               " The program runs on without it.");
  }
}

void TRemoteForm::ReceiverSettings() {
  if (!FEngine) return;
  const std::string dir = ProgramDirectory();
  unsigned key = 0;
  const int result = KelHID_ShowHIDSetup(dir.c_str(), &key);
  if (result == KELHID_E_WRITE) AddMessage("KelHID.ini: " + LibraryError(result));
  // The dialog closed the connection.
  StartReceiver();
}

void TRemoteForm::DrainEvents() {
  int kind = 0;
  unsigned code1 = 0;
  unsigned code2 = 0;
  unsigned flags = 0;
  unsigned time = 0;
  while (KelHID_WaitEvent(0, &kind, &code1, &code2, &flags, &time) == KELHID_OK) {
    if ((flags & KELHID_FLAG_OVERFLOW) != 0) AddMessage("Some of the receiver's codes were lost.");
    switch (kind) {
      case KELHID_EVENT_STATE:
        StateChanged(static_cast<int>(static_cast<int32_t>(code1)));
        break;
      case KELHID_EVENT_CODE:
        CodeReceived({code1, code2}, (flags & KELHID_FLAG_REPEAT) != 0);
        break;
      case KELHID_EVENT_RELEASE:
        FEvents.Release();
        break;
      default:
        break;
    }
  }
}

void TRemoteForm::StateChanged(int NewState) {
  FState = NewState;
  if (NewState == KELHID_STATE_GET) FStartProblem.clear();
  if (NewState == KELHID_STATE_UNPLUGGED && !FUnplugged) {
    FUnplugged = true;
    FTray->Balloon("KelHID Remote", "Receiver unplugged");
    AddMessage("Receiver unplugged");
  } else if (NewState == KELHID_STATE_GET && FUnplugged) {
    FUnplugged = false;
    FTray->Balloon("KelHID Remote", "Receiver back");
    AddMessage("Receiver back");
  }
  ShowState();
}

void TRemoteForm::CodeReceived(TCodePair Code, bool Repeat) {
  const std::string_view name = FFile.ButtonName(Code);
  LastCode.SetCaption(LastCodeText(Code, name) + (Repeat ? "  (held)" : ""));
  if (FPaused) return;
  const TCodeOutcome outcome = FEvents.Code(FFile, Code, Repeat);
  if (outcome.RunAction) {
    std::string error;
    if (!RunAction(outcome.Action, ProgramDirectory(), error)) {
      AddMessage(outcome.ButtonName + ": " + error);
    }
  } else if (!outcome.ActionProblem.empty() && !Repeat) {
    AddMessage(outcome.ButtonName + ": the action is not run: " + outcome.ActionProblem);
  }
  if (FServer.Running()) FServer.Send(outcome.Line);
}

void TRemoteForm::ShowState() {
  std::string text;
  switch (FState) {
    case KELHID_STATE_GET:
      text = "Receiving";
      break;
    case KELHID_STATE_UNPLUGGED:
      text = "Receiver unplugged: it is used again when it comes back";
      break;
    case KELHID_STATE_OFF:
      text = "Receiver connected, not receiving";
      break;
    case KELHID_STATE_ERROR:
      text = "The receiver cannot be used (in use by another program?)";
      break;
    default:
      text = "No receiver";
      break;
  }
  if (!FStartProblem.empty() && FState != KELHID_STATE_GET) text = FStartProblem;
  if (FPaused) text += " (paused)";
  State.SetCaption(text);
  if (FTray) FTray->SetTip("KelHID Remote - " + text);
}

void TRemoteForm::AddMessage(std::string_view Text) {
  Messages.SetItemIndex(Messages.AddItem(Text));
}

void TRemoteForm::Refuse(std::string_view Title, std::string_view Text) const {
  const std::string title(Title);
  const std::string text(Text);
  MessageBoxA(Handle(), text.c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
}

// --- Window, menus, tray -------------------------------------------------------------------

void TRemoteForm::ShowFromTray() {
  ShowWindow(Handle(), IsIconic(Handle()) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(Handle());
}

void TRemoteForm::HideToTray() {
  // Without an icon to come back through, the window stays where the user can find it.
  if (!FTray->Added()) {
    ShowWindow(Handle(), SW_MINIMIZE);
    return;
  }
  ShowWindow(Handle(), SW_HIDE);
}

void TRemoteForm::SetPaused(bool Value) {
  FPaused = Value;
  FEvents.Release();
  UpdateMenu();
  ShowState();
}

void TRemoteForm::UpdateMenu() {
  CheckMenuItem(FRemoteMenu, CmPause, FPaused ? MF_CHECKED : MF_UNCHECKED);
  CheckMenuItem(FRemoteMenu, CmStartWithWindows,
                StartsWithWindows(ModuleFileName()) ? MF_CHECKED : MF_UNCHECKED);
}

void TRemoteForm::ToggleStartWithWindows() {
  const std::string exe = ModuleFileName();
  std::string error;
  if (!SetStartWithWindows(exe, !StartsWithWindows(exe), error)) Refuse("KelHID Remote", error);
  UpdateMenu();
}

void TRemoteForm::ShowTrayMenu() {
  const HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, CmShow, "&Show");
  AppendMenuA(menu, MF_STRING | (FPaused ? MF_CHECKED : 0U), CmPause, "&Pause");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CmExit, "E&xit");
  SetMenuDefaultItem(menu, CmShow, FALSE);
  POINT at{};
  GetCursorPos(&at);
  // The menu closes when the user clicks elsewhere only while its owner is in front.
  SetForegroundWindow(Handle());
  TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, Handle(), nullptr);
  PostMessageA(Handle(), WM_NULL, 0, 0);
  DestroyMenu(menu);
}

void TRemoteForm::Command(unsigned Id) {
  switch (Id) {
    case CmReceiverSettings:
      ReceiverSettings();
      break;
    case CmStartWithWindows:
      ToggleStartWithWindows();
      break;
    case CmPause:
      SetPaused(!FPaused);
      break;
    case CmShow:
      ShowFromTray();
      break;
    case CmExit:
      Close();
      break;
    default:
      break;
  }
}

LRESULT TRemoteForm::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == FShowMessage && FShowMessage != 0) {
    ShowFromTray();
    return 0;
  }
  if (FTray && Msg == FTray->TaskbarCreatedMessage() && Msg != 0) {
    FTray->Add();
    return 0;
  }
  switch (Msg) {
    case WM_HID_EVENT:
      DrainEvents();
      return 0;
    // The same news come as events.
    case WM_HID_STATUS:
    case WM_HID_CODE:
      return 0;
    case WM_TRAY:
      switch (static_cast<UINT>(lParam)) {
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
          ShowFromTray();
          break;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
          ShowTrayMenu();
          break;
        default:
          break;
      }
      return 0;
    case WM_COMMAND:
      // Menu commands: no control, notification code 0.
      if (lParam == 0 && HIWORD(wParam) == 0 && LOWORD(wParam) >= CmReceiverSettings) {
        Command(LOWORD(wParam));
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        HideToTray();
        return 0;
      }
      break;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED && FTray->Added()) ShowWindow(Handle(), SW_HIDE);
      break;
    default:
      break;
  }
  return TForm::WndProc(Msg, wParam, lParam);
}
