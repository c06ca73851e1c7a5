#include "engine/DMHID.h"

#include <span>

#include "engine/DateTime.h"
#include "engine/ReportDecoding.h"
#include "gui/Application.h"

TDModHID* DModHID = nullptr;

double CurrentDateTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return EncodeDateTime(
      {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds});
}

namespace {
// Both numbers travel as 32-bit values; receivers take the low 32 bits of wParam and lParam.
WPARAM AsWParam(int32_t Value) {
  return static_cast<WPARAM>(static_cast<uint32_t>(Value));
}
LPARAM AsLParam(int32_t Value) {
  return static_cast<LPARAM>(static_cast<uint32_t>(Value));
}
}  // namespace

namespace {
// The controller as the data module's form definition makes it: created with no property set,
// then told that loading is over.
std::unique_ptr<THidAccess> LoadedController() {
  auto controller = std::make_unique<THidDeviceController>();
  controller->AfterLoad();
  return controller;
}
}  // namespace

TDModHID::TDModHID() : TDModHID(LoadedController()) {}

TDModHID::TDModHID(std::unique_ptr<THidAccess> Controller)
    : HIDController(std::move(Controller)), Clock(&CurrentDateTime) {
  // Timer1: disabled, 100 ms, OnTimer = Timer1Timer.
  Timer1.SetEnabled(false);
  Timer1.SetInterval(100);
  Timer1.OnTimer = TNotifyEvent::Bind<&TDModHID::Timer1Timer>(this);
  DataModuleCreate();
}

TDModHID::~TDModHID() {
  DataModuleDestroy();
}

void TDModHID::DataModuleCreate() {
  FIniDir.clear();
  FTargetWnd = nullptr;
  FVendorID = 0;
  FProductID = 0;
  FCheckByte = 0;
  FRepeatDelay = 500;
  FCurDelay = 500;
  FHeldDelay = 500;
  FState = rsNone;
  FOneShot = false;
  ClearCode();
  FUseCheck = false;
  FDevice = nullptr;
}

void TDModHID::DataModuleDestroy() {
  CloseDevice(false);
}

void TDModHID::Timer1Timer(void* /*Sender*/) {
  Application().CheckSynchronize();
}

void TDModHID::SetState(int32_t State) {
  if (FDevice == nullptr) {
    CloseDevice(true);
    return;
  }
  if (State != rsGet && State != rsOk) ClearCode();
  if (State != FState) {
    FState = State;
    PostState();
  }
}

void TDModHID::CloseDevice(bool Notify) {
  FState = rsNone;
  FOneShot = false;
  ClearCode();
  HIDController->SetOnDeviceData({});
  if (FDevice != nullptr && FDevice->Claimed) HIDController->ReleaseDevice(FDevice);
  if (Notify) PostState();
}

void TDModHID::Disconnect() {
  CloseDevice(true);
}

void TDModHID::ClearCode() {
  FCode1 = 0;
  FLastTime = 0;
  FCode2 = 0;
}

void TDModHID::PostCodeMessage() {
  if (FTargetWnd == nullptr) return;
  PostMessageA(FTargetWnd, WM_HID_CODE, AsWParam(FCode1), AsLParam(FCode2));
  if (FBeep) Beep(2000, 1);
}

void TDModHID::PostCode(int32_t Code1, int32_t Code2) {
  FCode1 = Code1;
  FCode2 = Code2;
  FLastTime = Clock();
  PostCodeMessage();
}

void TDModHID::PostState() {
  if (FTargetWnd != nullptr) PostMessageA(FTargetWnd, WM_HID_STATUS, AsWParam(FState), 15);
}

bool TDModHID::OpenDevice() {
  if (FVendorID == 0 && FProductID == 0) return false;
  if (FDevice != nullptr) CloseDevice(true);
  HIDController->DeviceChange();
  HIDController->ClaimByIds(FDevice, FVendorID, FProductID);
  const bool ok = FDevice != nullptr && FDevice->Plugged && FDevice->ReadWriteOpen;
  SetState(ok ? rsOff : rsError);
  return ok;
}

bool TDModHID::StartReceiving(bool OneShot) {
  const bool ok = OpenDevice();
  if (ok) {
    FCurDelay = FRepeatDelay;
    HIDController->SetOnDeviceData(THidDataEvent::Bind<&TDModHID::HIDControllerDeviceData>(this));
    SetState(rsGet);
  }
  FOneShot = OneShot;
  return ok;
}

void TDModHID::StopReceiving() {
  FOneShot = false;
  HIDController->SetOnDeviceData({});
  SetState(rsOff);
}

void TDModHID::HIDControllerDeviceData(THidDevice* /*HidDev*/, uint8_t /*ReportID*/,
                                       const uint8_t* Data, uint16_t Size) {
  if (FState != rsGet) return;
  const double now = Clock();
  if (FLastTime != 0 && !PassesGate(MilliSecondsBetween(now, FLastTime), FCurDelay)) return;
  FState = rsBusy;

  const std::span<const uint8_t> bytes(Data, Data != nullptr ? Size : 0);
  const TReportCode code = DecodeReport(bytes, FUseCheck, FCheckByte);
  if (code.Refused) {
    SetState(rsGet);
    return;
  }
  FCurDelay = NextDelay(code, static_cast<uint32_t>(FCode1), static_cast<uint32_t>(FCode2),
                        FHeldDelay, FRepeatDelay);
  FCode1 = static_cast<int32_t>(code.Code1);
  FCode2 = static_cast<int32_t>(code.Code2);
  FLastTime = now;
  PostCodeMessage();
  if (FOneShot) {
    SetState(rsOk);
    FOneShot = false;
  } else {
    SetState(rsGet);
  }
}
