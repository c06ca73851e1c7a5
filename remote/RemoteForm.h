// The "KelHID Remote" window: the receiver's state, the last code, the remote's buttons with
// their actions, Learn / Rename / Delete, and the messages about the file and the server. It
// owns the library's engine while it runs, the tray icon and the server, and runs the buttons'
// actions.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "gui/Form.h"
#include "remote/LircServer.h"
#include "remote/RemoteEvents.h"
#include "remote/RemoteFile.h"
#include "remote/TrayIcon.h"

class TRemoteForm final : public TForm {
  // Comes first: creates the window from the form definition before the fields are bound.
  struct TCreated {
    explicit TCreated(TRemoteForm& Form);
  } FCreated;

 public:
  TRemoteForm();
  ~TRemoteForm() override;

  TPanel& State;
  TPanel& LastCode;
  TListBox& ButtonList;
  TButton& LearnButton;
  TButton& RenameButton;
  TButton& DeleteButton;
  TEdit& ActionEdit;
  TButton& SetActionButton;
  TListBox& Messages;

  void ButtonListClick(void* Sender);
  void LearnButtonClick(void* Sender);
  void RenameButtonClick(void* Sender);
  void DeleteButtonClick(void* Sender);
  void SetActionButtonClick(void* Sender);

  // Loads the files, makes the engine, starts receiving and the server; once, after the window
  // is shown.
  void Startup();
  // Ends the server and frees the engine.
  void Shutdown();

  void ShowFromTray();
  void HideToTray();
  void SetPaused(bool Value);
  [[nodiscard]] bool Paused() const { return FPaused; }

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void LoadRemoteFile();
  bool SaveRemoteFile();
  void FillButtonList(std::string_view Select = {});
  [[nodiscard]] const TRemoteButton* SelectedButton() const;
  void StartReceiver();
  void StartServer();
  void ReceiverSettings();
  void ToggleStartWithWindows();
  void UpdateMenu();
  void ShowTrayMenu();
  void Command(unsigned Id);

  void DrainEvents();
  void StateChanged(int NewState);
  void CodeReceived(TCodePair Code, bool Repeat);
  void ShowState();

  void AddMessage(std::string_view Text);
  void Refuse(std::string_view Title, std::string_view Text) const;
  // Asks for a button's name; true with Name when one was given that Check passed.
  bool AskName(std::string_view Prompt, std::string& Name,
               const std::function<std::string(std::string_view)>& Check);

  TRemoteFile FFile;
  std::string FFilePath;
  bool FFileUsable = false;  // the file could be read (or is new): saves may go there
  TRemoteEvents FEvents;
  TLircServer FServer;
  std::unique_ptr<TTrayIcon> FTray;
  HMENU FMenu = nullptr;
  HMENU FRemoteMenu = nullptr;
  UINT FShowMessage = 0;

  bool FEngine = false;       // KelHID_Create succeeded
  int FState = 0;             // the engine's state
  std::string FStartProblem;  // why receiving did not start, for the state line
  bool FUnplugged = false;
  bool FPaused = false;
};
