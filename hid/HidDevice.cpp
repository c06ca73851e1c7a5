// THidDevice and its reading thread.
#include <algorithm>
#include <array>
#include <cwchar>
#include <utility>

#include "gui/Application.h"
#include "hid/HidControllerClass.h"

namespace {

constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Marks a hand-over of the device's reader as running for the life of the guard.
class THandingOver {
 public:
  explicit THandingOver(bool& Flag) : FFlag(Flag) { FFlag = true; }
  THandingOver(const THandingOver&) = delete;
  THandingOver& operator=(const THandingOver&) = delete;
  ~THandingOver() { FFlag = false; }

 private:
  bool& FFlag;
};

}  // namespace

// --- THidDevice -----------------------------------------------------------------------------

THidDevice::THidDevice(std::unique_ptr<THidPnPInfo> PnPInfo, THidDeviceController* Controller)
    : FController(Controller), FPnPRecord(std::move(PnPInfo)) {
  Plugged = true;
  if (FController != nullptr) {
    // Not handed out yet: no reader starts.
    SetDataHandler(FController->OnDeviceData());
    UnplugHandler = FController->OnDeviceUnplug();
  }
  if (FPnPRecord != nullptr) OpenForQueries();
  if (!FInfoHandle) throw EControllerError("Device cannot be opened");
  DeviceAttributes = {};
  DeviceAttributes.Size = sizeof(HIDD_ATTRIBUTES);
  const auto getAttributes = HidApi().HidD_GetAttributes;
  const bool identified =
      getAttributes != nullptr && getAttributes(FInfoHandle.Get(), &DeviceAttributes) != FALSE;
  CloseInfoHandle();
  if (!identified) throw EControllerError("Device cannot be identified");
}

THidDevice::~THidDevice() {
  SetDataHandler({});
  UnplugHandler = {};
  CloseInfoHandle();
  CloseReadHandle();
  if (FPreparsedHandle != nullptr && HidApi().HidD_FreePreparsedData != nullptr) {
    HidApi().HidD_FreePreparsedData(FPreparsedHandle);
  }
}

void THidDevice::OpenForQueries() {
  const char* path = FPnPRecord->Path.c_str();
  FInfoHandle.Reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, ShareReadWrite, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  ReadWriteOpen = FInfoHandle.Valid();
  // Another program may hold the device without sharing; queries need no access rights.
  if (!ReadWriteOpen) {
    FInfoHandle.Reset(CreateFileA(path, 0, ShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr));
  }
}

bool THidDevice::OpenInfoHandle() {
  if (IsAccessible() && !FInfoHandle && FPnPRecord != nullptr) OpenForQueries();
  return FInfoHandle.Valid();
}

void THidDevice::CloseInfoHandle() {
  FInfoHandle.Close();
}

PHIDP_PREPARSED_DATA THidDevice::QueryPreparsed() {
  if (FPreparsedHandle == nullptr && OpenInfoHandle()) {
    PHIDP_PREPARSED_DATA data = nullptr;
    if (HidApi().HidD_GetPreparsedData(FInfoHandle.Get(), &data)) FPreparsedHandle = data;
    CloseInfoHandle();
  }
  return FPreparsedHandle;
}

HIDP_CAPS THidDevice::QueryCaps() {
  HIDP_CAPS caps{};
  if (const PHIDP_PREPARSED_DATA data = QueryPreparsed(); data != nullptr) {
    if (HidApi().HidP_GetCaps(data, &caps) != HIDP_STATUS_SUCCESS) caps = {};
  }
  return caps;
}

const std::wstring& THidDevice::ReadString(std::wstring& Cache, THidEntries::TGetString Get) {
  if (Cache.empty() && OpenInfoHandle()) {
    std::array<wchar_t, HidStringBufferBytes / sizeof(wchar_t)> buffer{};
    if (Get(FInfoHandle.Get(), buffer.data(), HidStringBufferBytes)) {
      Cache.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    }
    CloseInfoHandle();
  }
  return Cache;
}

const std::wstring& THidDevice::VendorName() {
  return ReadString(FVendorName, HidApi().HidD_GetManufacturerString);
}

const std::wstring& THidDevice::ProductName() {
  return ReadString(FProductName, HidApi().HidD_GetProductString);
}

void THidDevice::SetDataHandler(const THidDataEvent& Handler) {
  if (!Handler) StopReader();
  FDataHandler = Handler;
  StartReader();
}

void THidDevice::SetReadSleepTime(int32_t Value) {
  if (Value >= 10 && Value <= 10000) FReadSleepTime = Value;
}

bool THidDevice::WantsReading() const {
  return FDataHandler && Plugged && Claimed && ReadWriteOpen;
}

void THidDevice::StartReader() {
  if (FReader != nullptr && FReader->Terminated()) {
    if (FHandingOver) {
      // Asked to stop from inside its own hand-over, the reader has not seen the request: it
      // reads on once the handler returns, unless a stop further up the stack waits for it.
      if (FStopWaits == 0 && WantsReading()) FReader->Revive();
      return;
    }
    // A stop further up the stack waits for this thread and ends it.
    if (FStopWaits > 0) return;
    // Left to end by itself: reaped here.
    StopReader();
  }
  if (!WantsReading() || FReader != nullptr) return;
  auto reader = std::make_unique<THidDeviceReadThread>(*this);
  if (!reader->Created()) return;
  FReader = std::move(reader);
  FReader->Start();
}

void THidDevice::StopReader() {
  if (FReader == nullptr) return;
  FReader->Terminate();
  // From inside this reader's own hand-over the thread can end only once the handler has
  // returned: it is left to end by itself and reaped by the next StopReader or StartReader.
  if (FHandingOver) return;
  // Runs the hand-overs the reader has queued meanwhile, so a report already read is still
  // delivered and a reader blocked in a hand-over can end. A handler may stop the reader again
  // meanwhile: the thread goes only once the last of these waits has seen it end.
  ++FStopWaits;
  Application().WaitFor(FReader->Handle());
  if (--FStopWaits == 0) FReader.reset();
}

void THidDevice::MarkUnplugged() {
  CloseInfoHandle();
  {
    // The reader opens, uses and tests the read handle under the same lock: once this block
    // has run, its pending read is ended and no new read handle can be opened.
    const std::lock_guard lock(FReadLock);
    FReadHandle.Close();
    Plugged = false;
  }
  // Forgotten before the call: the holder may give the device back (and so destroy it) inside.
  const THidPlugEvent handler = std::exchange(UnplugHandler, {});
  if (handler) handler(this);
}

void THidDevice::CloseReadHandle() {
  const std::lock_guard lock(FReadLock);
  FReadHandle.Close();
}

bool THidDevice::OpenReadHandle() {
  if (!IsAccessible() || FPnPRecord == nullptr) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return false;
  }
  if (!FReadHandle) {
    FReadHandle.Reset(CreateFileA(FPnPRecord->Path.c_str(), GENERIC_READ, ShareReadWrite, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  }
  return FReadHandle.Valid();
}

bool THidDevice::BeginRead(std::span<uint8_t> Buffer, LPOVERLAPPED_COMPLETION_ROUTINE Done,
                           DWORD& Error) {
  const std::lock_guard lock(FReadLock);
  if (OpenReadHandle()) {
    FReadOverlapped = {};
    // A read with a completion routine uses no event: the field tags the read with its device.
    FReadOverlapped.hEvent = this;
    if (ReadFileEx(FReadHandle.Get(), Buffer.data(), static_cast<DWORD>(Buffer.size()),
                   &FReadOverlapped, Done)) {
      FReadIssued = true;
      Error = ERROR_SUCCESS;
      return true;
    }
  }
  Error = GetLastError();
  FReadIssued = false;
  return false;
}

DWORD THidDevice::ReadCount() {
  const std::lock_guard lock(FReadLock);
  DWORD bytes = 0;
  if (!FReadHandle || !GetOverlappedResult(FReadHandle.Get(), &FReadOverlapped, &bytes, FALSE)) {
    return 0;
  }
  return bytes;
}

bool THidDevice::ReadPending() const {
  const std::lock_guard lock(FReadLock);
  // A read that failed to start may leave the record looking busy: only a started one counts.
  return FReadIssued && !HasOverlappedIoCompleted(&FReadOverlapped);
}

void THidDevice::CancelPendingRead() {
  const std::lock_guard lock(FReadLock);
  if (FReadHandle) CancelIo(FReadHandle.Get());
}

// --- THidDeviceReadThread -------------------------------------------------------------------

THidDeviceReadThread::THidDeviceReadThread(THidDevice& Reading) : Device(Reading) {
  const size_t length = Device.QueryCaps().InputReportByteLength;
  // Zero-filled; never empty, so that even a read of 0 bytes has a place to go.
  FBuffer = std::make_unique<uint8_t[]>(std::max<size_t>(length, 1));
  ReportBuffer = {FBuffer.get(), length};
  FHandle.Reset(CreateThread(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, nullptr));
}

THidDeviceReadThread::~THidDeviceReadThread() {
  if (!FHandle) return;
  if (WaitForSingleObject(FHandle.Get(), 0) == WAIT_TIMEOUT) {
    Terminate();
    if (!FStarted) ResumeThread(FHandle.Get());
    Application().WaitFor(FHandle.Get());
  }
}

void THidDeviceReadThread::Start() {
  if (FHandle && !FStarted) {
    FStarted = true;
    ResumeThread(FHandle.Get());
  }
}

void THidDeviceReadThread::Terminate() {
  FTerminated = true;
  // Wakes the thread's alertable wait at once; one that waits for a hand-over notices on return.
  if (FHandle) QueueUserAPC(&Wake, FHandle.Get(), 0);
}

DWORD WINAPI THidDeviceReadThread::ThreadProc(LPVOID Parameter) {
  try {
    static_cast<THidDeviceReadThread*>(Parameter)->ReadLoop();
  } catch (...) {
    // Nothing leaves the thread; the device keeps the ended thread until StopReader.
  }
  return 0;
}

void CALLBACK THidDeviceReadThread::ReadCompleted(DWORD /*Error*/, DWORD /*Bytes*/,
                                                  LPOVERLAPPED /*Overlapped*/) {
  // The count is fetched with GetOverlappedResult once the wait has ended.
}

void CALLBACK THidDeviceReadThread::Wake(ULONG_PTR /*Parameter*/) {}

DWORD THidDeviceReadThread::Rest() {
  return SleepEx(static_cast<DWORD>(Device.ReadSleepTime()), TRUE);
}

void THidDeviceReadThread::ReadLoop() {
  while (!Terminated()) {
    std::fill(ReportBuffer.begin(), ReportBuffer.end(), uint8_t{0});
    DWORD error = ERROR_SUCCESS;
    if (Device.BeginRead(ReportBuffer, &ReadCompleted, error)) {
      DWORD wait = 0;
      do {
        wait = Rest();
        // The wake-up of a stop request that was taken back ends a wait as well.
      } while (!Terminated() && (wait != WAIT_IO_COMPLETION || Device.ReadPending()));
      if (Terminated()) break;
      // A read that moved nothing, or whose count can't be had, is dropped.
      BytesRead = std::min<DWORD>(Device.ReadCount(), static_cast<DWORD>(ReportBuffer.size()));
      // A handler that raised ends the reader quietly.
      if (BytesRead > 0 && !Application().Synchronize([this] { HandOverData(); })) break;
    } else {
      ErrorCode = error;
      // Without an error handler the main thread has nothing to do with the failure: a device
      // that is gone then costs no more than one that waits for reports.
      if (Device.DataErrorHandler && !Application().Synchronize([this] { HandOverError(); })) {
        break;
      }
      // A device that is gone fails every start at once: rest one slice before the next try
      // instead of spinning, unless a stop request ends the rest.
      if (!Terminated()) Rest();
    }
  }
  if (Device.ReadPending()) {
    Device.CancelPendingRead();
    // The cancelled read owns the buffer until it has come back, which it does at once; the
    // bound only keeps a faulty driver from holding the thread forever.
    for (int i = 0; i < 50 && Device.ReadPending(); ++i) SleepEx(100, TRUE);
  }
}

void THidDeviceReadThread::HandOverData() {
  const THidDataEvent handler = Device.DataHandler();
  if (!handler) return;
  const THandingOver running(Device.FHandingOver);
  handler(&Device, ReportBuffer[0], ReportBuffer.data() + 1, static_cast<uint16_t>(BytesRead - 1));
}

void THidDeviceReadThread::HandOverError() {
  const THidDataErrorEvent handler = Device.DataErrorHandler;
  if (!handler) return;
  const THandingOver running(Device.FHandingOver);
  handler(&Device, ErrorCode);
}
