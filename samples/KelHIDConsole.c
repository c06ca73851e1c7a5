/* KelHIDConsole.c - the console twin of KelHIDHost.c: a program without a window that uses
 * KelHID.dll. It loads the settings from its own folder, receives the remote's events with
 * KelHID_WaitEvent and prints each one; Ctrl+C (or closing the console) stops it.
 *
 * Build with MinGW-w64:  gcc -std=c99 KelHIDConsole.c KelHID.lib -o KelHIDConsole.exe
 * or with Visual C++:    cl KelHIDConsole.c KelHID.lib
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "KelHID.h"

static volatile LONG Stopping = 0; /* set by the console's Ctrl+C */
static HANDLE Done;                /* set once the engine is freed */

/* Runs on a thread of its own when Ctrl+C, Ctrl+Break or the console's close button comes. */
static BOOL WINAPI OnConsoleEvent(DWORD Event) {
  InterlockedExchange(&Stopping, 1);
  /* The process ends once the handler of a closing console returns: let the main loop free the
   * engine first. Ctrl+C and Ctrl+Break leave the process running anyway. */
  if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT) WaitForSingleObject(Done, 5000);
  return TRUE;
}

/* The outcome of a library call; false after a failure, which is shown. */
static BOOL Check(int Result, const char* What) {
  char text[1024];
  if (Result == KELHID_OK) return TRUE;
  KelHID_CopyLastErrorText(text, (int)sizeof text);
  printf("%s: %s\n", What, text);
  fflush(stdout);
  return FALSE;
}

static const char* StateName(unsigned int State) {
  switch ((int)State) {
    case KELHID_STATE_ERROR:
      return "ERROR";
    case KELHID_STATE_NONE:
      return "NONE";
    case KELHID_STATE_INIT:
      return "INIT";
    case KELHID_STATE_OFF:
      return "OFF";
    case KELHID_STATE_GET:
      return "GET";
    case KELHID_STATE_OK:
      return "OK";
    case KELHID_STATE_UNPLUGGED:
      return "UNPLUGGED";
    default:
      return "BUSY";
  }
}

/* One event as a line: "state GET", "code 2864,75", "code 2864,75 repeat", "release 2864,75". */
static void PrintEvent(int Kind, unsigned int Code1, unsigned int Code2, unsigned int Flags,
                       unsigned int TimeMs) {
  if (Flags & KELHID_FLAG_OVERFLOW) printf("overflow: older events were dropped\n");
  switch (Kind) {
    case KELHID_EVENT_STATE:
      printf("state %s\n", StateName(Code1));
      break;
    case KELHID_EVENT_CODE:
      printf("code %u,%u%s  (%u ms)\n", Code1, Code2, Flags & KELHID_FLAG_REPEAT ? " repeat" : "",
             TimeMs);
      break;
    case KELHID_EVENT_RELEASE:
      printf("release %u,%u  (%u ms)\n", Code1, Code2, TimeMs);
      break;
    default:
      printf("event %d %u,%u\n", Kind, Code1, Code2);
      break;
  }
  fflush(stdout);
}

int main(void) {
  char dir[MAX_PATH]; /* the folder of this program: KelHID.ini lies there */
  char* slash;
  unsigned int major, minor, release, build;
  int result = 0;

  GetModuleFileNameA(NULL, dir, sizeof dir);
  slash = strrchr(dir, '\\');
  if (slash != NULL) *slash = '\0';

  if (KelHID_GetVersion(&major, &minor, &release, &build) == KELHID_OK) {
    printf("KelHID.dll %u.%u.%u.%u, interface %d\n", major, minor, release, build,
           KelHID_GetApiVersion());
  }
  Done = CreateEventA(NULL, TRUE, FALSE, NULL);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

  /* No window: the engine runs on a thread of the library's own. */
  if (!Check(KelHID_Create(NULL), "create")) return 1;
  Check(KelHID_LoadHIDSettings(dir), "settings");
  /* A receiver that is not plugged in yet is claimed when it comes (KELHID_AUTO_RESUME). */
  Check(KelHID_StartReceiving(KELHID_CONTINUOUS), "start");
  printf("receiving; Ctrl+C stops\n");
  fflush(stdout);

  while (!Stopping) {
    int kind = 0;
    unsigned int code1 = 0, code2 = 0, flags = 0, time = 0;
    const int r = KelHID_WaitEvent(250, &kind, &code1, &code2, &flags, &time);
    if (r == KELHID_OK) {
      PrintEvent(kind, code1, code2, flags, time);
    } else if (r != KELHID_E_TIMEOUT) {
      Check(r, "wait");
      result = 1;
      break;
    }
  }

  Check(KelHID_Free(), "free");
  printf("stopped\n");
  fflush(stdout);
  SetEvent(Done);
  return result;
}
