// HID device controller, the devices it lists, their reading threads, and the report event.
//
// THidAccess is what a user of the controller calls: the receiver engine claims its receiver
// by vendor and product id, sets the report handler, and gives the device back. Every call and
// every handler call runs on the main thread; a device that reads hands each report to the main
// thread and waits until the handler has returned.
//
// THidDeviceController lists the HID devices that are present, re-scans when the application
// window sees WM_DEVICECHANGE with DBT_DEVNODES_CHANGED, hands devices out and takes them back,
// and passes its handlers on to the devices. Each THidDevice that is handed out, open for
// reading and writing and has a data handler runs one THidDeviceReadThread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "gui/Event.h"
#include "hid/Hid.h"
#include "hid/UniqueHandle.h"

class THidDevice;
class THidDeviceController;
class THidDeviceReadThread;

// Report event: HidDev read the report; ReportID is its first byte; Data points at the Size
// bytes after it.
using THidDataEvent =
    TEvent<void(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size)>;
// A device arrived, was removed, or was unplugged.
using THidPlugEvent = TEvent<void(THidDevice* HidDev)>;
// One plugged device offered by Enumerate at list position Idx; true to go on.
using THidEnumerateEvent = TEvent<bool(THidDevice* HidDev, int32_t Idx)>;
// A read of HidDev could not be started; Error is the platform's error code.
using THidDataErrorEvent = TEvent<void(THidDevice* HidDev, uint32_t Error)>;

// A device that cannot be opened or identified, or a second controller.
class EControllerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The plug-and-play record of one HID device interface.
class THidPnPInfo {
 public:
  THidPnPInfo(DWORD Instance, std::string_view InterfacePath)
      : DevInst(Instance), Path(InterfacePath) {}
  virtual ~THidPnPInfo() = default;

  // The device instance; two records with the same value stand for the same device.
  const DWORD DevInst;
  // The interface path every handle to the device is opened by.
  const std::string Path;
};

// One HID device interface.
//
// Threads: everything runs on the main thread except the reading thread, which opens and uses
// the read handle and reads the flags below. The read handle and the read record are guarded
// by a lock, so MarkUnplugged can close the handle while the reader runs: the reader's pending
// read then ends and every later read fails to start.
class THidDevice {
 public:
  // Opens the device by the record's path (read and write, else with no access rights),
  // identifies it and closes it again. Raises EControllerError "Device cannot be opened" or
  // "Device cannot be identified".
  THidDevice(std::unique_ptr<THidPnPInfo> PnPInfo, THidDeviceController* Controller);
  THidDevice(const THidDevice&) = delete;
  THidDevice& operator=(const THidDevice&) = delete;
  virtual ~THidDevice();

  // The controller whose list holds the device; none once detached.
  [[nodiscard]] THidDeviceController* Controller() const { return FController; }
  [[nodiscard]] const THidPnPInfo* PnPRecord() const { return FPnPRecord.get(); }

  std::atomic<bool> Plugged{false};    // the device is attached
  std::atomic<bool> Claimed{false};    // handed out to a user (set by the controller)
  std::atomic<bool> InHandler{false};  // shown to a controller event handler
  HIDD_ATTRIBUTES DeviceAttributes{};  // read when the device object is made
  bool ReadWriteOpen = false;          // the last open got read and write access

  // Receives the failures to start a read; empty at construction. The reading thread hands a
  // failure over only while one is set.
  TSharedEvent<void(THidDevice* HidDev, uint32_t Error)> DataErrorHandler;
  // Called once when the device is marked unplugged, then forgotten.
  THidPlugEvent UnplugHandler;

  // The manufacturer and product strings, read on the first call that can open the device and
  // cached; empty while the device is neither handed out nor shown to a handler.
  [[nodiscard]] const std::wstring& VendorName();
  [[nodiscard]] const std::wstring& ProductName();
  // The preparsed data, fetched once and held until destruction; none if it can't be fetched.
  [[nodiscard]] PHIDP_PREPARSED_DATA QueryPreparsed();
  // The capabilities; all zero when they can't be read.
  [[nodiscard]] HIDP_CAPS QueryCaps();

  // Plugged, and handed out or shown to a handler.
  [[nodiscard]] bool IsAccessible() const { return Plugged && (Claimed || InHandler); }

  [[nodiscard]] THidDataEvent DataHandler() const { return FDataHandler; }
  // An empty handler stops the reader first; then the handler is stored and the reader started
  // if it can be.
  void SetDataHandler(const THidDataEvent& Handler);

  // The wait slice of the reading thread in ms: how late it notices a stop request at most.
  [[nodiscard]] int32_t ReadSleepTime() const { return FReadSleepTime; }
  // Takes only 10 to 10000 ms.
  void SetReadSleepTime(int32_t Value);

  // The reading thread, or none.
  [[nodiscard]] const THidDeviceReadThread* Reader() const { return FReader.get(); }
  // Starts the reading thread when there is none and the device has a data handler and is
  // Plugged, Claimed and ReadWriteOpen. A reader asked to stop from inside its own hand-over
  // goes on instead, once that hand-over has returned.
  void StartReader();
  // Ends the reading thread and waits for it, running the hand-overs it has queued meanwhile.
  // From inside the reader's own hand-over it only asks the thread to end.
  void StopReader();

  // Closes both handles, clears Plugged, and calls the unplug handler once. The reader goes on
  // running; its reads fail from now on.
  void MarkUnplugged();
  void CloseInfoHandle();
  void CloseReadHandle();

 protected:
  // For stand-ins: a device object that has no record and opens nothing.
  THidDevice() = default;

 private:
  friend class THidDeviceController;
  friend class THidDeviceReadThread;

  // Opens the query handle: read and write access, else none; updates ReadWriteOpen.
  void OpenForQueries();
  bool OpenInfoHandle();
  const std::wstring& ReadString(std::wstring& Cache, THidEntries::TGetString Get);
  // With FReadLock held.
  bool OpenReadHandle();
  // Has a data handler and is Plugged, Claimed and ReadWriteOpen.
  [[nodiscard]] bool WantsReading() const;
  // A hand-over of its reader runs, or a StopReader waits for the reader: the object must stay.
  [[nodiscard]] bool InUse() const { return FHandingOver || FStopWaits > 0; }

  // Reading thread: starts an overlapped read into Buffer; false with Error set when it can't.
  bool BeginRead(std::span<uint8_t> Buffer, LPOVERLAPPED_COMPLETION_ROUTINE Done, DWORD& Error);
  // Reading thread: bytes moved by the completed read; 0 when that can't be told.
  DWORD ReadCount();
  // Reading thread: whether the read it started last is still under way.
  [[nodiscard]] bool ReadPending() const;
  // Reading thread: cancels the read it started on the read handle.
  void CancelPendingRead();

  void Detach() { FController = nullptr; }

  THidDeviceController* FController = nullptr;
  TUniqueHandle FInfoHandle;  // non-overlapped, open only during a query
  mutable std::mutex FReadLock;
  TUniqueHandle FReadHandle;  // overlapped, read only; opened by the first read
  OVERLAPPED FReadOverlapped{};
  bool FReadIssued = false;  // FReadOverlapped belongs to a read that was started
  std::unique_ptr<THidPnPInfo> FPnPRecord;
  std::wstring FVendorName;
  std::wstring FProductName;
  PHIDP_PREPARSED_DATA FPreparsedHandle = nullptr;
  std::atomic<int32_t> FReadSleepTime{100};
  THidDataEvent FDataHandler;
  std::unique_ptr<THidDeviceReadThread> FReader;
  bool FHandingOver = false;  // a handler of this device's reader runs (main thread)
  int FStopWaits = 0;         // StopReader calls waiting for the reader to end (main thread)
};

// The thread that reads one device's input reports and hands each one to the main thread.
//
// It starts a read, sleeps in alertable slices of ReadSleepTime until the read completes, hands
// the report over and waits until the data handler has returned, then starts the next read. A
// read that cannot start is handed over as an error, followed by one slice of rest. A stop
// request wakes every wait at once.
class THidDeviceReadThread {
 public:
  // Made on the main thread, suspended; the report buffer is sized from the device's caps.
  explicit THidDeviceReadThread(THidDevice& Device);
  THidDeviceReadThread(const THidDeviceReadThread&) = delete;
  THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;
  // Stops and waits for a thread that still runs.
  ~THidDeviceReadThread();

  // False when no thread could be made.
  [[nodiscard]] bool Created() const { return FHandle.Valid(); }
  void Start();
  // Asks the thread to end; it notices at once, or after the hand-over it is waiting for.
  void Terminate();
  // Takes back a request to end that the thread has not seen yet, because the hand-over it
  // waits for is still running.
  void Revive() { FTerminated = false; }
  [[nodiscard]] bool Terminated() const { return FTerminated; }
  [[nodiscard]] HANDLE Handle() const { return FHandle.Get(); }

  uint32_t ErrorCode = 0;           // why the last read could not start
  THidDevice& Device;               // the device read; not owned
  uint32_t BytesRead = 0;           // bytes moved by the last completed read
  std::span<uint8_t> ReportBuffer;  // InputReportByteLength bytes

 private:
  static DWORD WINAPI ThreadProc(LPVOID Parameter);
  static void CALLBACK ReadCompleted(DWORD Error, DWORD Bytes, LPOVERLAPPED Overlapped);
  static void CALLBACK Wake(ULONG_PTR Parameter);

  void ReadLoop();
  // An alertable wait of one slice, ended early by a completed read or a stop request.
  DWORD Rest();
  // Main thread: the report to the data handler, the failure to the error handler.
  void HandOverData();
  void HandOverError();

  std::unique_ptr<uint8_t[]> FBuffer;
  bool FStarted = false;
  std::atomic<bool> FTerminated{false};
  TUniqueHandle FHandle;
};

// What users of the controller rely on.
class THidAccess {
 public:
  THidAccess() = default;
  THidAccess(const THidAccess&) = delete;
  THidAccess& operator=(const THidAccess&) = delete;
  virtual ~THidAccess() = default;

  // Re-scans the attached devices: new ones are listed, free ones that are gone are not.
  virtual void DeviceChange() = 0;
  // Hands out the first listed free device with these ids (ProductID -1: any product). HidDev
  // is that device, now Claimed, or none when the result is false.
  virtual bool ClaimByIds(THidDevice*& HidDev, int32_t VendorID, int32_t ProductID) = 0;
  // Hands out the listed device at position Idx (as offered by Enumerate) if it is free.
  virtual bool ClaimByIndex(THidDevice*& HidDev, int32_t Idx) = 0;
  // Ends the device's reading, closes it, makes it free again (or destroys it when it is gone)
  // and sets HidDev to none. Nothing for none.
  virtual void ReleaseDevice(THidDevice*& HidDev) = 0;

  // Offers the plugged devices to OnEnumerate in list order, with their list positions, until
  // it answers false; returns how many were offered.
  virtual int32_t Enumerate() = 0;
  [[nodiscard]] virtual THidEnumerateEvent OnEnumerate() const = 0;
  virtual void SetOnEnumerate(const THidEnumerateEvent& Value) = 0;

  [[nodiscard]] virtual THidDataEvent OnDeviceData() const = 0;
  // Passes the handler to every device carrying the previous one; an equal handler changes
  // nothing. Clearing it ends reading before it returns, delivering a report already read.
  virtual void SetOnDeviceData(const THidDataEvent& Value) = 0;
};

// The program's one HID controller. It owns every device it lists; a device handed out stays
// listed and is given back with ReleaseDevice. Handlers are compared by their function.
class THidDeviceController final : public THidAccess {
 public:
  // Binds the setup and HID services. Raises EControllerError "Only one THidDeviceController
  // allowed per program" while another controller exists. Without the services the controller
  // stays empty.
  THidDeviceController();
  // Detaches every device: a handed-out one is marked unplugged first (its holder's unplug
  // handler is the last word it gets); all are destroyed, then the services are released.
  ~THidDeviceController() override;

  // The component is complete: hook the application window for device-tree changes and post
  // one, so that the first scan runs once the message loop runs.
  void AfterLoad();

  void DeviceChange() override;
  int32_t Enumerate() override;
  bool ClaimByIds(THidDevice*& HidDev, int32_t VendorID, int32_t ProductID) override;
  bool ClaimByIndex(THidDevice*& HidDev, int32_t Idx) override;
  void ReleaseDevice(THidDevice*& HidDev) override;

  // The listed devices; positions are the Idx of Enumerate and ClaimByIndex.
  [[nodiscard]] int32_t Count() const { return static_cast<int32_t>(FDevices.size()); }
  [[nodiscard]] THidDevice* Devices(int32_t Idx) const;
  // The interface class listed: the HID class, from HID.dll when it is bound.
  [[nodiscard]] const GUID& HidClassGuid() const { return FHidClassGuid; }
  [[nodiscard]] bool ServicesBound() const { return FServices.HidBound(); }

  // Live controllers in the program: 0 or 1.
  [[nodiscard]] static int32_t ControllerCount();

  // Wait slice handed on to the listed devices that still have the controller's value.
  [[nodiscard]] int32_t DevThreadSleepTime() const { return FDevThreadSleepTime; }
  void SetDevThreadSleepTime(int32_t Value);
  [[nodiscard]] std::string Version() const { return "1.0.26"; }
  // Accepted and ignored.
  void SetVersion(std::string_view /*Value*/) {}

  [[nodiscard]] THidPlugEvent OnArrival() const { return FOnArrival; }
  void SetOnArrival(const THidPlugEvent& Value) { FOnArrival = Value; }
  [[nodiscard]] THidEnumerateEvent OnEnumerate() const override { return FOnEnumerate; }
  void SetOnEnumerate(const THidEnumerateEvent& Value) override { FOnEnumerate = Value; }
  [[nodiscard]] TNotifyEvent OnDeviceChange() const { return FOnDeviceChange; }
  // Once loaded, a new handler is followed by a scan at once.
  void SetOnDeviceChange(const TNotifyEvent& Value);
  [[nodiscard]] THidDataEvent OnDeviceData() const override { return FOnDeviceData; }
  void SetOnDeviceData(const THidDataEvent& Value) override;
  [[nodiscard]] THidDataErrorEvent OnDeviceDataError() const { return FOnDeviceDataError; }
  void SetOnDeviceDataError(const THidDataErrorEvent& Value);
  [[nodiscard]] THidPlugEvent OnDeviceUnplug() const { return FOnDeviceUnplug; }
  void SetOnDeviceUnplug(const THidPlugEvent& Value);
  [[nodiscard]] THidPlugEvent OnRemoval() const { return FOnRemoval; }
  void SetOnRemoval(const THidPlugEvent& Value) { FOnRemoval = Value; }

 private:
  using TDeviceList = std::vector<std::unique_ptr<THidDevice>>;

  // Holds the program's one controller place for the life of the controller.
  class TSlot {
   public:
    TSlot();
    TSlot(const TSlot&) = delete;
    TSlot& operator=(const TSlot&) = delete;
    ~TSlot();
  };

  bool DeviceChangeHook(UINT Msg, WPARAM wParam, LPARAM lParam);
  // Destroys the devices given back while in use, once they no longer are.
  void DestroyReleased();
  // The devices present now, as new objects.
  TDeviceList ListPresentDevices();
  bool TryClaim(THidDevice*& HidDev, int32_t Idx, bool Wanted);
  [[nodiscard]] bool Listed(const THidDevice* Device) const;
  // Removes Device from the list and destroys it, or, while it is in use (handing a report
  // over, or its reader being stopped further up the stack), as soon as it no longer is.
  void Destroy(const THidDevice* Device);
  // The listed devices as they stand now, for walks during which handlers may change the list.
  [[nodiscard]] std::vector<THidDevice*> Snapshot() const;
  // Calls Handler with Device, its InHandler flag set for the call.
  void ShowToHandler(const THidPlugEvent& Handler, THidDevice* Device);

  TSlot FSlot;
  THidServiceBinding FServices;
  TDeviceList FDevices;
  TDeviceList FReleased;  // no longer listed, waiting until they are no longer in use
  GUID FHidClassGuid{};
  bool FLoading = true;
  bool FHooked = false;
  int32_t FDevThreadSleepTime = 100;
  THidPlugEvent FOnArrival;
  THidEnumerateEvent FOnEnumerate;
  TNotifyEvent FOnDeviceChange;
  THidDataEvent FOnDeviceData;
  THidDataErrorEvent FOnDeviceDataError;
  THidPlugEvent FOnDeviceUnplug;
  THidPlugEvent FOnRemoval;
};
