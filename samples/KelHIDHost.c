/* KelHIDHost.c - a small program that uses KelHID.dll: it loads the settings from its own
 * folder, receives the remote's codes and prints them, in its window and on the console.
 * "Setup..." in its menu opens the library's configuration dialog.
 *
 * Build with MinGW-w64:  gcc KelHIDHost.c KelHID.lib -o KelHIDHost.exe
 * or with Visual C++:    cl KelHIDHost.c KelHID.lib user32.lib
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "KelHID.h"

enum { ID_SETUP = 1, ID_START, ID_STOP, ID_EXIT };

static char Dir[MAX_PATH]; /* the folder of this program: KelHID.ini lies there */
static HWND List;

/* One line in the window and on the console. */
static void Say(const char* Text) {
  printf("%s\n", Text);
  fflush(stdout);
  SendMessageA(List, LB_SETTOPINDEX, SendMessageA(List, LB_ADDSTRING, 0, (LPARAM)Text), 0);
}

/* The outcome of a library call; false after a failure, which is shown. */
static BOOL Check(int Result, const char* What) {
  char text[600];
  if (Result == KELHID_OK) return TRUE;
  _snprintf(text, sizeof text, "%s: %s", What, KelHID_GetLastErrorText());
  text[sizeof text - 1] = '\0';
  Say(text);
  return FALSE;
}

static void Start(void) {
  Check(KelHID_LoadHIDSettings(Dir), "settings");
  Check(KelHID_StartReceiving(KELHID_CONTINUOUS), "start");
}

static LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  static const char* const States[] = {"ERROR", "NONE", "INIT", "OFF", "GET", "OK"};
  char text[64];
  unsigned int key = 0;
  switch (Msg) {
    case WM_CREATE:
      List = CreateWindowA("LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                           0, 0, 0, 0, Window, NULL, NULL, NULL);
      return 0;
    case WM_SIZE:
      MoveWindow(List, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_HID_CODE:
      sprintf(text, "code %u,%u", (unsigned int)wParam, (unsigned int)lParam);
      Say(text);
      return 0;
    case WM_HID_STATUS: {
      const int state = (int)wParam;
      sprintf(text, "state %s", state >= -1 && state <= 4 ? States[state + 1] : "BUSY");
      Say(text);
      return 0;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case ID_SETUP:
          if (Check(KelHID_ShowHIDSetup(Dir, &key), "setup")) {
            sprintf(text, "receiver %04X:%04X saved", key >> 16, key & 0xFFFF);
            Say(text);
          }
          Start(); /* the dialog closed the receiver */
          break;
        case ID_START:
          Start();
          break;
        case ID_STOP:
          Check(KelHID_StopReceiving(), "stop");
          break;
        case ID_EXIT:
          DestroyWindow(Window);
          break;
      }
      return 0;
    case WM_DESTROY:
      KelHID_Free();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(Window, Msg, wParam, lParam);
}

int main(void) {
  WNDCLASSA wc;
  HMENU menu = CreateMenu();
  HWND window;
  MSG msg;
  unsigned int major, minor, release, build;
  char* slash;

  GetModuleFileNameA(NULL, Dir, sizeof Dir);
  slash = strrchr(Dir, '\\');
  if (slash != NULL) *slash = '\0';

  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.hCursor = LoadCursor(NULL, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = "KelHIDHost";
  RegisterClassA(&wc);
  AppendMenuA(menu, MF_STRING, ID_SETUP, "&Setup...");
  AppendMenuA(menu, MF_STRING, ID_START, "S&tart");
  AppendMenuA(menu, MF_STRING, ID_STOP, "St&op");
  AppendMenuA(menu, MF_STRING, ID_EXIT, "E&xit");
  window = CreateWindowA("KelHIDHost", "KelHID Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                         CW_USEDEFAULT, CW_USEDEFAULT, 320, 360, NULL, menu, wc.hInstance, NULL);

  if (KelHID_GetVersion(&major, &minor, &release, &build) == KELHID_OK) {
    printf("KelHID.dll %u.%u.%u.%u\n", major, minor, release, build);
  }
  if (!Check(KelHID_Create(window), "create")) return 1;
  Start();

  /* The library's reading thread hands its reports over through this loop. */
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return (int)msg.wParam;
}
