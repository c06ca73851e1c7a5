#include "hidtest/HidTestSupport.h"

#include <dbt.h>

#include <string_view>

#include "gui/Application.h"
#include "sim/StandinBus.h"

namespace {

std::string ProgramName() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string_view full(path, length);
  const size_t slash = full.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? full : full.substr(slash + 1));
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

template <class F>
F StandinEntry(const char* Module, const char* Name) {
  const HMODULE module = GetModuleHandleA(Module);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, Name)));
}

}  // namespace

void UseStandinServices() {
  SetEnvironmentVariableA(standin::BusVariable,
                          ("p" + std::to_string(GetCurrentProcessId())).c_str());
  ClearStandinBus();
  // Wine takes its own setupapi unless told otherwise; a stand-in HID.dll is taken anyway.
  if (UnderWine()) {
    const std::string key = "Software\\Wine\\AppDefaults\\" + ProgramName() + "\\DllOverrides";
    RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "setupapi", REG_SZ, "native", 7);
  }
}

void ClearStandinBus() {
  standin::ClearBus(standin::BusName());
}

void PumpPending() {
  Application().ProcessMessages();
  Application().CheckSynchronize();
}

bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
  for (;;) {
    PumpPending();
    if (Done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    // Sleeps as the message loop does: a hand-over queued meanwhile wakes it.
    Application().Idle(static_cast<DWORD>(deadline - now));
  }
}

bool WaitForQueuedHandOver(DWORD TimeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
  for (;;) {
    MSG msg;
    if (PeekMessageA(&msg, Application().Handle(), WM_APP_SYNCHRONIZE, WM_APP_SYNCHRONIZE,
                     PM_NOREMOVE)) {
      return true;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                              QS_POSTMESSAGE);
  }
}

void PostDeviceChange() {
  PostMessageA(Application().Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

int LiveDeviceSets() {
  const auto count = StandinEntry<int(WINAPI*)()>("SetupApi.dll", "StandinLiveDeviceSets");
  return count != nullptr ? count() : -1;
}

int LivePreparsedData() {
  const auto count = StandinEntry<int(WINAPI*)()>("HID.dll", "StandinLivePreparsedData");
  return count != nullptr ? count() : -1;
}

std::string Name(const THidDevice* Device) {
  if (Device == nullptr || Device->PnPRecord() == nullptr) return "none";
  return std::to_string(Device->PnPRecord()->DevInst);
}

void TRecorder::Data(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size) {
  Log.push_back("data " + Name(HidDev));
  Reports.push_back({HidDev, ReportID, std::vector<uint8_t>(Data, Data + Size)});
  if (OnData) OnData(HidDev);
}

void TRecorder::DataError(THidDevice* HidDev, uint32_t Error) {
  Log.push_back("error " + Name(HidDev));
  Errors.push_back(Error);
  ErrorTimes.push_back(GetTickCount64());
}

void TRecorder::Unplug(THidDevice* HidDev) {
  Log.push_back("unplug " + Name(HidDev));
  ++Unplugs;
}

void TRecorder::Arrival(THidDevice* HidDev) {
  Log.push_back("arrival " + Name(HidDev) + (HidDev->InHandler ? "" : " (not in handler)"));
}

void TRecorder::Removal(THidDevice* HidDev) {
  Log.push_back("removal " + Name(HidDev) + (HidDev->InHandler ? "" : " (not in handler)"));
}

void TRecorder::Change(void* /*Sender*/) {
  Log.push_back("change");
}

bool TRecorder::Enumerate(THidDevice* HidDev, int32_t Idx) {
  Log.push_back("offer " + Name(HidDev) + " at " + std::to_string(Idx));
  ProductNames.push_back(HidDev->ProductName());
  ++Offers;
  return StopAt == 0 || Offers < StopAt;
}
