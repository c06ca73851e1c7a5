/* KelHID.h - the receiver library KelHID.dll for USB infrared remote-control receivers.
 *
 * The library finds the receiver by its USB vendor and product id, reads its reports on a
 * thread of its own, turns each report into a pair of code numbers, holds back key repeats with
 * two delays, and posts every accepted code pair to a window of the caller's choice.
 *
 * Calling convention: every function is WINAPI (__stdcall) and exported by its undecorated
 * name, so that C, C++, C# (DllImport), Python (ctypes.WinDLL) and AutoHotkey (DllCall) can
 * call it. The header is valid C and C++.
 *
 * Results: every function but KelHID_GetLastErrorText, KelHID_CopyLastErrorText and
 * KelHID_GetApiVersion returns KELHID_OK (0) or one of the negative KELHID_E_ values below;
 * KelHID_GetLastErrorText (or KelHID_CopyLastErrorText) then tells what went wrong. No C++
 * exception leaves the library.
 *
 * Threads: there is at most one engine per process, of one of two kinds.
 *  - Windowed (KelHID_Create(hwnd)): the thread that created it is its thread. Make every call
 *    on it, and let it run a message loop (GetMessage, DispatchMessage): the reading thread
 *    hands each report to it, and the codes arrive as messages posted to the target window. A
 *    call from another thread fails with KELHID_E_THREAD and changes nothing. When that thread
 *    ends without KelHID_Free, the next KelHID_Create (from any thread) frees the engine left
 *    behind and creates its own.
 *  - Windowless (KelHID_Create(NULL)): the engine runs on a thread of the library's own, and
 *    every call may come from any thread: it is carried out on the engine's thread and returns
 *    its result. While a call waits, the calling thread answers the messages sent to it, so
 *    that a dialog owned by one of its windows works. Read what happens with KelHID_WaitEvent.
 * KelHID_GetVersion, KelHID_GetApiVersion, KelHID_WaitEvent and the error-text calls may be
 * called from any thread and run on it; the error text is always the calling thread's.
 *
 * Events: every engine also queues what happens (states, codes, key releases) for
 * KelHID_WaitEvent. A windowed engine posts WM_HID_EVENT to its target window when the queue
 * goes from empty to not empty; its thread should then take the events with a timeout of 0
 * (a wait on that thread holds up the reports that would end it).
 *
 * Unplugging: when the receiver being read is pulled out, the state becomes
 * KELHID_STATE_UNPLUGGED within a second (posted and queued). With KELHID_AUTO_RESUME (the
 * default) the library claims the receiver again when it comes back, or when it comes for the
 * first time after KelHID_OpenDevice or KelHID_StartReceiving returned KELHID_E_NOT_FOUND, and
 * resumes what was running or asked for, posting the states as a start does; after the machine
 * wakes from sleep it opens the receiver afresh.
 *
 * Dialogs: KelHID_ShowHIDSetup and KelHID_GetIRCode show modal dialogs. Their message loop
 * runs the caller's other windows meanwhile; while one is open, calls that would change the
 * engine fail with KELHID_E_BUSY. Every other window of the thread is disabled meanwhile,
 * unless KelHID_SetOwnerWindow named a window: then the dialogs are owned by it and only it is
 * disabled. A WM_QUIT that arrives while a dialog is open closes the
 * dialog and is posted again for the caller's own loop.
 *
 * Unloading: call KelHID_Free before FreeLibrary. While an engine exists the library keeps
 * itself loaded; it lets go of itself once KelHID_Free has returned, so a host that called
 * FreeLibrary first may still call KelHID_Free, and the library then goes.
 */
#ifndef KELHID_H
#define KELHID_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Messages posted to the target window -------------------------------------------------
 *
 * WM_HID_STATUS (0x04C8, WM_USER + 200): the engine state changed.
 *   wParam: the new state, one of KELHID_STATE_, sign-extended to the width of WPARAM: on
 *           64-bit Windows KELHID_STATE_ERROR arrives as (WPARAM)-1, so (int)wParam, C#'s
 *           (int)m.WParam and a script's number all read -1; the low 32 bits are the state as
 *           a signed 32-bit number on either platform. lParam: always 15.
 * WM_HID_CODE (0x04C9, WM_USER + 201): a code pair was accepted.
 *   wParam: the first code number, lParam: the second (32 bits each, unsigned; shown as
 *           "%u,%u"). A report from the receiver gives the pair of its significant bytes;
 *           KelHID_PostCode and keyboard keys in KelHID_GetIRCode give their own pairs.
 */
#ifndef WM_HID_STATUS
#define WM_HID_STATUS (WM_USER + 200)
#endif
#ifndef WM_HID_CODE
#define WM_HID_CODE (WM_USER + 201)
#endif
/* WM_HID_EVENT (0x04CA, WM_USER + 202): posted to the target window of a windowed engine when
 *   its event queue goes from empty to not empty; drain the queue with KelHID_WaitEvent(0, ...)
 *   until it returns KELHID_E_TIMEOUT. wParam and lParam: 0. */
#ifndef WM_HID_EVENT
#define WM_HID_EVENT (WM_USER + 202)
#endif

/* The version of this interface; KelHID_GetApiVersion returns the library's. */
#define KELHID_API_VERSION 2

/* ---- Engine states (KelHID_GetState, wParam of WM_HID_STATUS) ----------------------------- */
#define KELHID_STATE_ERROR (-1)  /* the receiver was found but is not attached or not usable */
#define KELHID_STATE_NONE 0      /* no connection to the receiver */
#define KELHID_STATE_INIT 1      /* known to the dialogs; the engine never enters it */
#define KELHID_STATE_OFF 2       /* connection open, reports are not decoded */
#define KELHID_STATE_GET 3       /* receiving: the next accepted report is posted as a code */
#define KELHID_STATE_OK 4        /* one-shot reception delivered its code; reports are ignored */
#define KELHID_STATE_UNPLUGGED 5 /* the receiver being read was pulled out (see AUTO_RESUME) */
#define KELHID_STATE_BUSY 12     /* a report is being decoded; never posted */

/* ---- Reception modes (KelHID_StartReceiving) ---------------------------------------------- */
#define KELHID_CONTINUOUS 0 /* every accepted report, until KelHID_StopReceiving */
#define KELHID_ONE_SHOT 1   /* one code, then KELHID_STATE_OK */

/* ---- Settings fields (KelHID_GetSetting, KelHID_SetSetting) -------------------------------
 * The values KelHID_LoadHIDSettings and the configuration dialog put into the engine. Changes
 * take effect at the next KelHID_OpenDevice or KelHID_StartReceiving; they are not saved. */
#define KELHID_VENDOR_ID 1    /* USB vendor id of the receiver, 0..65535 ("VID") */
#define KELHID_PRODUCT_ID 2   /* USB product id, 0..65535 ("PID") */
#define KELHID_REPEAT_DELAY 3 /* ms between two codes of different keys, 10..5000 ("Delay") */
#define KELHID_HELD_DELAY 4   /* ms between the codes of a held key, 10..5000 ("HeldDelay") */
#define KELHID_CHECK_BYTE 5   /* scan code the first report byte must have, 0..255 ("Check") */
#define KELHID_USE_CHECK 6    /* 1: refuse reports without the scan code, 0: take all */
#define KELHID_BEEP 7         /* 1: a short click with every code posted, 0: silent */
#define KELHID_AUTO_RESUME 8  /* 1 (default): claim a receiver that appears and resume, 0: no */

/* ---- Events (KelHID_WaitEvent) ------------------------------------------------------------ */
#define KELHID_EVENT_STATE 1   /* Code1: the new state, one of KELHID_STATE_ */
#define KELHID_EVENT_CODE 2    /* Code1, Code2: the button's pair (a held key's: its press's) */
#define KELHID_EVENT_RELEASE 3 /* Code1, Code2: the pair of the key that was let go */
#define KELHID_FLAG_REPEAT 1   /* in Flags of a CODE event: a repeat of a held key */
#define KELHID_FLAG_OVERFLOW 2 /* in Flags: the queue was full and older events were dropped */

/* ---- Results ------------------------------------------------------------------------------ */
#define KELHID_OK 0
#define KELHID_E_ARGUMENT (-1)       /* an argument is missing or out of range */
#define KELHID_E_NO_ENGINE (-2)      /* no engine: call KelHID_Create first */
#define KELHID_E_EXISTS (-3)         /* the process has its engine already */
#define KELHID_E_THREAD (-4)         /* called from a thread that did not create the engine */
#define KELHID_E_BUSY (-5)           /* a dialog of the library is open */
#define KELHID_E_NOT_CONFIGURED (-6) /* vendor and product id are both 0 */
#define KELHID_E_NOT_FOUND (-7)      /* no receiver with the ids (state NONE) */
#define KELHID_E_NOT_USABLE (-8)     /* receiver found but unplugged or in use (state ERROR) */
#define KELHID_E_NO_DIRECTORY (-9)   /* the settings directory does not exist */
#define KELHID_E_NO_FILE (-10)       /* no KelHID.ini in the directory; defaults were set */
#define KELHID_E_CANCELLED (-11)     /* a dialog was closed without a result */
#define KELHID_E_NOT_OPEN (-12)      /* the receiver must be open (KelHID_OpenDevice) */
#define KELHID_E_WRITE (-13)         /* the settings file could not be written */
#define KELHID_E_FAILED (-14)        /* anything else, e.g. out of memory */
#define KELHID_E_TIMEOUT (-15)       /* KelHID_WaitEvent: no event came in time */

/* ---- Library ------------------------------------------------------------------------------ */

/* The library's version, as in its version resource. Any thread, no engine needed. */
int WINAPI KelHID_GetVersion(unsigned int* Major, unsigned int* Minor, unsigned int* Release,
                             unsigned int* Build);

/* What the last failed call on this thread went wrong with, in English (at most 1023
 * characters); "" when no call failed yet. Any thread, no engine needed. The text belongs to the
 * calling thread and stays valid until that thread's next failed call, its end, or the
 * library's unloading. Successful calls leave it as it was: read it right after a failure. */
const char* WINAPI KelHID_GetLastErrorText(void);

/* ---- The engine --------------------------------------------------------------------------- */

/* Creates the process's engine. TargetWnd is a window of this process that is to receive
 * WM_HID_STATUS, WM_HID_CODE and WM_HID_EVENT; the calling thread becomes the engine's thread.
 * NULL makes a windowless engine on a thread of the library's own (see Threads). The engine
 * starts without a connection and with the default settings (ids 0, delays 500 ms, no check,
 * AUTO_RESUME 1). KELHID_E_EXISTS while an engine exists (also one made on another thread),
 * unless it is a windowed engine whose thread has ended: that one is freed first. */
int WINAPI KelHID_Create(HWND TargetWnd);

/* Releases the receiver without a message and frees the engine; KelHID_Create may follow. A
 * thread waiting in KelHID_WaitEvent returns KELHID_E_NO_ENGINE. */
int WINAPI KelHID_Free(void);

/* Posts the messages to another window of this process from now on. */
int WINAPI KelHID_SetTargetWindow(HWND TargetWnd);

/* Stops reception, then loads "KelHID.ini" from Dir into the settings fields.
 * KELHID_E_NO_DIRECTORY: Dir names no existing directory; no setting changed.
 * KELHID_E_NO_FILE: the directory has no KelHID.ini; the defaults are set. */
int WINAPI KelHID_LoadHIDSettings(const char* Dir);

/* The "HID Configuration" dialog: lists the usable HID devices, sets the delays and the scan
 * code check, and on OK saves them into the engine and into Dir's KelHID.ini. DeviceKey
 * receives the saved receiver (vendor id << 16 | product id), or 0. Closes the connection:
 * start reception again afterwards.
 * KELHID_E_CANCELLED: nothing saved (cancelled, no device chosen, or no compatible device:
 * the dialog says so). KELHID_E_WRITE: the file could not be written; the engine has the new
 * settings. */
int WINAPI KelHID_ShowHIDSetup(const char* Dir, unsigned int* DeviceKey);

/* The "Get IR Code" dialog: takes one code from the remote. PlaySound: the default sound on
 * each press; Confirm: the key must be pressed twice and give the same pair; AllowKeys: keys
 * of the computer's keyboard count as codes (Code2 9999). Needs an open receiver (any state but
 * NONE); the state and target window are restored afterwards. Code1 and Code2 receive the pair.
 * KELHID_E_CANCELLED: closed without a code (Code1 and Code2 are 0). */
int WINAPI KelHID_GetIRCode(BOOL PlaySound, BOOL Confirm, BOOL AllowKeys, unsigned int* Code1,
                            unsigned int* Code2);

/* Claims the configured receiver afresh (an open connection is closed first) and enters
 * state OFF. Fails with KELHID_E_NOT_CONFIGURED, KELHID_E_NOT_FOUND or KELHID_E_NOT_USABLE;
 * the state messages tell the same. */
int WINAPI KelHID_OpenDevice(void);

/* Opens the receiver afresh and starts decoding: state GET. Mode is KELHID_CONTINUOUS or
 * KELHID_ONE_SHOT. Fails as KelHID_OpenDevice does. */
int WINAPI KelHID_StartReceiving(int Mode);

/* Stops decoding and keeps the receiver: state OFF (NONE without a connection). */
int WINAPI KelHID_StopReceiving(void);

/* Gives the receiver back: state NONE. */
int WINAPI KelHID_Disconnect(void);

/* Stores the pair as the last code and posts it as WM_HID_CODE, whatever the state. */
int WINAPI KelHID_PostCode(unsigned int Code1, unsigned int Code2);

/* The engine state, one of KELHID_STATE_ (UNPLUGGED while the receiver read was pulled out and
 * has not been claimed again). */
int WINAPI KelHID_GetState(int* State);

/* The last code pair; 0,0 when there is none (cleared when reception stops). */
int WINAPI KelHID_GetCode(unsigned int* Code1, unsigned int* Code2);

/* Reads and writes one settings field (KELHID_VENDOR_ID ... KELHID_AUTO_RESUME). A value outside
 * the field's range is refused with KELHID_E_ARGUMENT. A file edited by hand may have loaded delays
 * outside 10..5000; KelHID_GetSetting reports them as they are.
 * The held delay is kept at most the repeat delay, as the dialog's bars keep it: a repeat
 * delay set below the held delay sets the held delay to it too, a held delay set above the
 * repeat delay sets the repeat delay to it too (never refused for that; read both back). */
int WINAPI KelHID_GetSetting(int Field, int* Value);
int WINAPI KelHID_SetSetting(int Field, int Value);

/* ---- Interface version 2 ----------------------------------------------------------------- */

/* KELHID_API_VERSION of the library (2; the calls of this section came with it). Any thread,
 * no engine needed. A host written for version 2 checks it (or looks the entries up by name)
 * before it calls them: a library of version 1 has none of them. */
int WINAPI KelHID_GetApiVersion(void);

/* Takes the oldest event of the queue, waiting up to TimeoutMs for one (0: do not wait,
 * INFINITE: until one comes or the engine is freed). Any thread.
 * KELHID_OK with one event: Kind is a KELHID_EVENT_, Flags a set of KELHID_FLAG_, TimeMs a
 * monotonic millisecond clock (GetTickCount based) at the report's arrival. Code1, Code2, Flags
 * and TimeMs may be NULL when not wanted.
 *   STATE:   Code1 is the new state; only changes are queued.
 *   CODE:    an accepted code, at the same moments as WM_HID_CODE. A report gives the pair its
 *            key's press decodes to: a held key's repeats (KELHID_FLAG_REPEAT) carry the pair
 *            of its press, while WM_HID_CODE carries the held report's own pair. KelHID_PostCode
 *            gives its pair as it is.
 *   RELEASE: the key whose code came last was let go: its reports stopped for 150 ms plus the
 *            receiver's repeat period as seen so far (at most 500 ms), another key came, or the
 *            reception ended. Never before a REPEAT of the same hold.
 * The queue holds 1024 events; when it is full the oldest go, and the oldest that is left then
 * carries KELHID_FLAG_OVERFLOW. Dialogs of the library queue nothing of their own use of the
 * engine, only the state afterwards when it changed.
 * KELHID_E_TIMEOUT: no event came in time. KELHID_E_NO_ENGINE: there is no engine, or it was
 * freed during the wait. */
int WINAPI KelHID_WaitEvent(unsigned int TimeoutMs, int* Kind, unsigned int* Code1,
                            unsigned int* Code2, unsigned int* Flags, unsigned int* TimeMs);

/* Saves the engine's settings into Dir's KelHID.ini, the seven keys as the configuration
 * dialog writes them (VID, PID, Delay, HeldDelay, Check, UseCheck, and NAME: the claimed
 * receiver's line as the dialog lists it; without a claimed receiver, as it was in the file).
 * Keys of other sections and other keys stay. KELHID_E_NO_DIRECTORY: Dir names no existing
 * directory; nothing written. KELHID_E_WRITE: the file could not be written (some keys may be);
 * the engine is as it was. KELHID_E_BUSY while a dialog is open. */
int WINAPI KelHID_SaveHIDSettings(const char* Dir);

/* KelHID_LoadHIDSettings, KelHID_SaveHIDSettings and KelHID_ShowHIDSetup with a folder name of
 * wide characters (UTF-16), for folders whose names the ANSI code page cannot spell; the
 * results are the same. The char versions take their names in the ANSI code page (CP_ACP). */
int WINAPI KelHID_LoadHIDSettingsW(const wchar_t* Dir);
int WINAPI KelHID_SaveHIDSettingsW(const wchar_t* Dir);
int WINAPI KelHID_ShowHIDSetupW(const wchar_t* Dir, unsigned int* DeviceKey);

/* Copies the calling thread's text of KelHID_GetLastErrorText into Buf, Size bytes with the
 * terminating 0 (a text that does not fit is cut and still terminated), for hosts that cannot
 * read a returned pointer (C# StringBuilder or byte[], AutoHotkey). Returns the whole text's
 * length in bytes without the 0 (0: no failure yet); a result >= Size says the text was cut.
 * A buffer of 1024 bytes always holds it whole. KELHID_E_ARGUMENT for Buf NULL or Size <= 0:
 * then the text stays as it was (it is not replaced by the refusal's). */
int WINAPI KelHID_CopyLastErrorText(char* Buf, int Size);

/* The window that owns the library's dialogs from now on (a child window stands for its
 * top-level window): they stay above it, and only it is disabled while one is open; the host's
 * other windows go on. NULL: no owner, every window of the thread is disabled (the default).
 * KELHID_E_ARGUMENT: Owner is no window of this process. An owner destroyed meanwhile counts as
 * NULL. KELHID_E_BUSY while a dialog is open. */
int WINAPI KelHID_SetOwnerWindow(HWND Owner);

#ifdef __cplusplus
}
#endif

#endif /* KELHID_H */
