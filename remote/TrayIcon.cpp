#include "remote/TrayIcon.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr UINT IconId = 1;

template <size_t N>
void CopyText(char (&Target)[N], std::string_view Text) {
  const size_t n = std::min(Text.size(), N - 1);
  std::memcpy(Target, Text.data(), n);
  Target[n] = '\0';
}

}  // namespace

TTrayIcon::TTrayIcon(HWND Owner, UINT CallbackMessage, HICON Icon)
    : FOwner(Owner),
      FCallbackMessage(CallbackMessage),
      FIcon(Icon),
      FTaskbarCreated(RegisterWindowMessageA("TaskbarCreated")) {}

TTrayIcon::~TTrayIcon() {
  Remove();
}

NOTIFYICONDATAA TTrayIcon::Data(UINT Flags) const {
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = FOwner;
  data.uID = IconId;
  data.uFlags = Flags;
  data.uCallbackMessage = FCallbackMessage;
  data.hIcon = FIcon;
  CopyText(data.szTip, FTip);
  return data;
}

void TTrayIcon::Add() {
  NOTIFYICONDATAA data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  // After the taskbar was made anew the old icon is gone; an icon still there is updated.
  FAdded =
      Shell_NotifyIconA(NIM_ADD, &data) != FALSE || Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void TTrayIcon::Remove() {
  if (!FAdded) return;
  NOTIFYICONDATAA data = Data(0);
  Shell_NotifyIconA(NIM_DELETE, &data);
  FAdded = false;
}

void TTrayIcon::SetTip(std::string_view Tip) {
  FTip.assign(Tip);
  if (!FAdded) return;
  NOTIFYICONDATAA data = Data(NIF_TIP);
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

void TTrayIcon::Balloon(std::string_view Title, std::string_view Text) {
  if (!FAdded) return;
  NOTIFYICONDATAA data = Data(NIF_INFO);
  CopyText(data.szInfoTitle, Title);
  CopyText(data.szInfo, Text);
  data.dwInfoFlags = NIIF_INFO;
  Shell_NotifyIconA(NIM_MODIFY, &data);
}
