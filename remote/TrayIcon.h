// The program's icon in the notification area: a tip, balloons, and its mouse messages sent to
// the owner window as CallbackMessage (lParam: the mouse message).
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>

class TTrayIcon {
 public:
  TTrayIcon(HWND Owner, UINT CallbackMessage, HICON Icon);
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;
  ~TTrayIcon();

  // Puts the icon into the notification area (again, after the taskbar was made anew).
  void Add();
  void Remove();
  [[nodiscard]] bool Added() const { return FAdded; }
  [[nodiscard]] const std::string& Tip() const { return FTip; }
  void SetTip(std::string_view Tip);
  // A balloon over the icon with a title and a text.
  void Balloon(std::string_view Title, std::string_view Text);
  // The message the taskbar broadcasts when it was made anew.
  [[nodiscard]] UINT TaskbarCreatedMessage() const { return FTaskbarCreated; }

 private:
  [[nodiscard]] NOTIFYICONDATAA Data(UINT Flags) const;

  HWND FOwner;
  UINT FCallbackMessage;
  HICON FIcon;
  std::string FTip;
  bool FAdded = false;
  UINT FTaskbarCreated;
};
