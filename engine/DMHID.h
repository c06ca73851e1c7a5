// The receiver engine: holds the connection to one IR receiver, keeps the engine state, decodes
// the receiver's reports into code pairs behind the key-repeat gate, and posts state and code
// messages to a target window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gui/Event.h"
#include "gui/Timer.h"
#include "hid/HidControllerClass.h"

// Engine state; travels as the wParam of WM_HID_STATUS.
enum ReceiverState : int32_t {
  rsError = -1,  // receiver claimed, but not attached or not open for reading and writing
  rsNone = 0,    // no connection
  rsInit = 1,    // known to the windows; the engine never enters it
  rsOff = 2,     // connection open, reports not decoded
  rsGet = 3,     // receiving: the next report is decoded
  rsOk = 4,      // one-shot capture finished
  rsBusy = 12,   // a report is being decoded; never posted
};

// Posted to FTargetWnd: the new state in wParam, lParam always 15.
inline constexpr UINT WM_HID_STATUS = WM_USER + 200;
// Posted to FTargetWnd: the code pair in wParam and lParam.
inline constexpr UINT WM_HID_CODE = WM_USER + 201;
static_assert(WM_HID_STATUS == 0x04C8 && WM_HID_CODE == 0x04C9);

class TDModHID {
 public:
  // The engine with the program's own HID controller.
  TDModHID();
  // The engine with the given controller (a stand-in in the tests).
  explicit TDModHID(std::unique_ptr<THidAccess> Controller);
  TDModHID(const TDModHID&) = delete;
  TDModHID& operator=(const TDModHID&) = delete;
  ~TDModHID();

  // Components.
  std::unique_ptr<THidAccess> HIDController;
  TTimer Timer1;

  // Fields; the settings loader, the dialogs and the test window use them directly.
  bool FOneShot = false;
  THidDevice* FDevice = nullptr;
  HWND FTargetWnd = nullptr;
  bool FBeep = false;
  bool FUseCheck = false;
  std::string FIniDir;
  int32_t FCurDelay = 500;
  int32_t FHeldDelay = 500;
  int32_t FRepeatDelay = 500;
  uint16_t FVendorID = 0;
  uint16_t FProductID = 0;
  int32_t FState = rsNone;
  uint8_t FCheckByte = 0;
  int32_t FCode1 = 0;
  int32_t FCode2 = 0;
  double FLastTime = 0;  // date-time of the last accepted code; 0 = none yet

  // The current date-time; local wall-clock time unless a test sets another clock.
  std::function<double()> Clock;

  // Sees every state and code message the engine posts, also while it has no target window,
  // right after the post; for a host layer that passes them on in other forms.
  TEvent<void(UINT Msg, WPARAM wParam, LPARAM lParam)> OnPosted;

  void SetState(int32_t State);
  void CloseDevice(bool Notify);
  void Disconnect();
  void ClearCode();
  void PostCode(int32_t Code1, int32_t Code2);
  void PostState();
  bool OpenDevice();
  bool StartReceiving(bool OneShot);
  void StopReceiving();

  // Report handler, hooked into HIDController's OnDeviceData while receiving.
  void HIDControllerDeviceData(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data,
                               uint16_t Size);

 private:
  void DataModuleCreate();
  void DataModuleDestroy();
  void Timer1Timer(void* Sender);
  void PostCodeMessage();
  // Claims the first usable interface with the configured ids into FDevice (see OpenDevice).
  void ClaimReceiver();
};

// The current local date-time, to the millisecond.
double CurrentDateTime();

// The program's engine.
extern TDModHID* DModHID;
