// What the HID tests share: the stand-in services, running the main thread's queue until
// something has happened, and recorders for the controller's and devices' handlers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hid/HidControllerClass.h"

// Makes this program bind the stand-in HID.dll and SetupApi.dll that lie beside it, on a
// device bus of its own (cleared now).
void UseStandinServices();
// Clears this program's device bus.
void ClearStandinBus();

// Handles messages and queued hand-overs until Done() holds; false when TimeoutMs passed first.
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 5000);
// Handles the messages and hand-overs waiting now.
void PumpPending();
// Waits, running nothing, until a reading thread has queued a hand-over for the main thread.
bool WaitForQueuedHandOver(DWORD TimeoutMs = 5000);
// Posts WM_DEVICECHANGE with DBT_DEVNODES_CHANGED to the application window, as Windows does
// when the device tree changes.
void PostDeviceChange();

// Counters kept by the stand-in DLLs; -1 when the stand-in is not the library loaded.
int LiveDeviceSets();
int LivePreparsedData();

// One report as a handler received it.
struct TReceived {
  THidDevice* Device = nullptr;
  uint8_t ReportID = 0;
  std::vector<uint8_t> Data;
};

// Records every handler call, in order, as text ("arrival 3", "data 3", ...) naming the
// device by its DevInst, and the reports themselves.
class TRecorder {
 public:
  void Data(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size);
  void DataError(THidDevice* HidDev, uint32_t Error);
  void Unplug(THidDevice* HidDev);
  void Arrival(THidDevice* HidDev);
  void Removal(THidDevice* HidDev);
  void Change(void* Sender);
  bool Enumerate(THidDevice* HidDev, int32_t Idx);

  THidDataEvent DataEvent() { return THidDataEvent::Bind<&TRecorder::Data>(this); }
  THidDataErrorEvent ErrorEvent() { return THidDataErrorEvent::Bind<&TRecorder::DataError>(this); }
  THidPlugEvent UnplugEvent() { return THidPlugEvent::Bind<&TRecorder::Unplug>(this); }
  THidPlugEvent ArrivalEvent() { return THidPlugEvent::Bind<&TRecorder::Arrival>(this); }
  THidPlugEvent RemovalEvent() { return THidPlugEvent::Bind<&TRecorder::Removal>(this); }
  TNotifyEvent ChangeEvent() { return TNotifyEvent::Bind<&TRecorder::Change>(this); }
  THidEnumerateEvent EnumerateEvent() {
    return THidEnumerateEvent::Bind<&TRecorder::Enumerate>(this);
  }

  std::vector<std::string> Log;
  std::vector<TReceived> Reports;
  std::vector<uint32_t> Errors;
  std::vector<ULONGLONG> ErrorTimes;  // GetTickCount64 at each error
  int Unplugs = 0;
  // Enumerate answers false at this call (1-based); 0 = always true.
  int StopAt = 0;
  int Offers = 0;
  // Set while a device was offered: its strings as read inside the handler.
  std::vector<std::wstring> ProductNames;
  // Called from inside the data handler, when set.
  std::function<void(THidDevice*)> OnData;
};

std::string Name(const THidDevice* Device);
