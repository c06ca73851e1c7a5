#include "engine/DMHID.h"

#include <span>
#include <vector>

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
// The code numbers travel as unsigned 32-bit values, zero-extended to the message words.
WPARAM AsWParam(int32_t Value) {
  return static_cast<WPARAM>(static_cast<uint32_t>(Value));
}
LPARAM AsLParam(int32_t Value) {
  return static_cast<LPARAM>(static_cast<uint32_t>(Value));
}
// The state is a signed number and travels sign-extended, so that rsError reads as -1 in a
// 64-bit wParam too; the low 32 bits are the same either way.
WPARAM StateWParam(int32_t State) {
  return static_cast<WPARAM>(static_cast<intptr_t>(State));
}

bool Usable(const THidDevice& Device) {
  return Device.Plugged && Device.ReadWriteOpen;
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
  if (FTargetWnd != nullptr) {
    PostMessageA(FTargetWnd, WM_HID_CODE, AsWParam(FCode1), AsLParam(FCode2));
    if (FBeep) Beep(2000, 1);
  }
  if (OnPosted) OnPosted(WM_HID_CODE, AsWParam(FCode1), AsLParam(FCode2));
}

void TDModHID::PostCode(int32_t Code1, int32_t Code2) {
  FCode1 = Code1;
  FCode2 = Code2;
  FLastTime = Clock();
  PostCodeMessage();
}

void TDModHID::PostState() {
  if (FTargetWnd != nullptr) PostMessageA(FTargetWnd, WM_HID_STATUS, StateWParam(FState), 15);
  if (OnPosted) OnPosted(WM_HID_STATUS, StateWParam(FState), 15);
}

bool TDModHID::OpenDevice() {
  if (FVendorID == 0 && FProductID == 0) return false;
  if (FDevice != nullptr) CloseDevice(true);
  HIDController->DeviceChange();
  ClaimReceiver();
  const bool ok = FDevice != nullptr && Usable(*FDevice);
  SetState(ok ? rsOff : rsError);
  return ok;
}

void TDModHID::ClaimReceiver() {
  HIDController->ClaimByIds(FDevice, FVendorID, FProductID);
  if (FDevice == nullptr || Usable(*FDevice)) return;
  // A receiver may show several interfaces with the same ids (keyboard, consumer control,
  // vendor collections), and the system keeps a keyboard to itself. The interfaces tried stay
  // claimed while the next is sought, so that each is handed out once; the unusable ones are
  // given back afterwards. With none usable the first one is kept.
  std::vector<THidDevice*> unusable{FDevice};
  THidDevice* next = nullptr;
  while (HIDController->ClaimByIds(next, FVendorID, FProductID) && !Usable(*next)) {
    unusable.push_back(next);
  }
  auto giveBack = unusable.begin();
  if (next != nullptr) {
    FDevice = next;
  } else {
    FDevice = unusable.front();
    ++giveBack;
  }
  for (; giveBack != unusable.end(); ++giveBack) HIDController->ReleaseDevice(*giveBack);
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
