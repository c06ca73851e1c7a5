// The commands of the remote program's menus (WM_COMMAND ids of the main window) and the
// messages other programs may send it.
#pragma once

// Menu bar and tray menu.
inline constexpr unsigned CmReceiverSettings = 40001;
inline constexpr unsigned CmStartWithWindows = 40002;
inline constexpr unsigned CmExit = 40003;
inline constexpr unsigned CmShow = 40004;
inline constexpr unsigned CmPause = 40005;

// The main window's class and caption, for a second start that looks for the first.
inline constexpr const char* RemoteWindowClass = "TRemoteForm";
inline constexpr const char* RemoteWindowCaption = "KelHID Remote";
// A message registered under this name shows the main window (from the tray, say).
inline constexpr const char* ShowWindowMessageName = "KelHIDRemote.ShowWindow";
// The tray icon's mouse messages reach the main window as WM_APP + 1 (lParam: the mouse
// message).
inline constexpr unsigned TrayMessageOffset = 1;
