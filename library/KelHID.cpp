// KelHID.dll: the receiver engine, the settings loader and the dialogs behind a flat C
// interface (KelHID.h) for other programs.
//
// The library holds the process's one engine, DModHID, made and used on one thread: the thread
// that created it with a target window, or, for a windowless engine, a thread of the library's
// own, to which the calls of every other thread are sent. Each exported function checks the
// thread and its arguments, runs the engine operation, and turns its outcome or error into a
// result number and a text; nothing C++ crosses the boundary.
//
// Around the engine the library keeps what its hosts read besides the engine's messages: the
// event queue (states, codes with their press pair and repeat flag, key releases), and the
// receiver's presence: it notices the receiver being pulled out, and claims it again when it
// comes back or the machine wakes up.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "dialogs/HIDGetIR.h"
#include "dialogs/HIDSetup.h"
#include "engine/DMHID.h"
#include "engine/ReportDecoding.h"
#include "gui/Application.h"
#include "library/KeyEvents.h"

// Last: its message names are macros, which would rewrite the engine's declarations.
#include "library/KelHID.h"

static_assert(WM_HID_STATUS == 0x04C8 && WM_HID_CODE == 0x04C9);
static_assert(KELHID_STATE_ERROR == rsError && KELHID_STATE_NONE == rsNone &&
              KELHID_STATE_INIT == rsInit && KELHID_STATE_OFF == rsOff &&
              KELHID_STATE_GET == rsGet && KELHID_STATE_OK == rsOk && KELHID_STATE_BUSY == rsBusy);
static_assert(KELHID_EVENT_STATE == ekState && KELHID_EVENT_CODE == ekCode &&
              KELHID_EVENT_RELEASE == ekRelease && KELHID_FLAG_REPEAT == efRepeat &&
              KELHID_FLAG_OVERFLOW == efOverflow && WM_HID_EVENT == 0x04CA);

namespace {

// What went wrong last, for each thread: a fixed buffer of the thread's own, reached through a
// system TLS slot. None of it has a destructor that a thread's end or the process's end would
// run in a library that may be gone by then: a thread's buffer is freed when the thread ends
// while the library is loaded, and every buffer still held when the library is unloaded.
class TErrorTexts {
 public:
  static constexpr size_t Size = 1024;
  void Attach() { FSlot = TlsAlloc(); }
  void Detach() {
    AcquireSRWLockExclusive(&FLock);
    while (FFirst != nullptr) {
      TBuffer* next = FFirst->Next;
      HeapFree(GetProcessHeap(), 0, FFirst);
      FFirst = next;
    }
    ReleaseSRWLockExclusive(&FLock);
    if (FSlot != TLS_OUT_OF_INDEXES) TlsFree(FSlot);
    FSlot = TLS_OUT_OF_INDEXES;
  }
  // The calling thread ends: its buffer goes.
  void ThreadEnds() {
    TBuffer* buffer = Own();
    if (buffer == nullptr) return;
    TlsSetValue(FSlot, nullptr);
    AcquireSRWLockExclusive(&FLock);
    for (TBuffer** link = &FFirst; *link != nullptr; link = &(*link)->Next) {
      if (*link == buffer) {
        *link = buffer->Next;
        break;
      }
    }
    ReleaseSRWLockExclusive(&FLock);
    HeapFree(GetProcessHeap(), 0, buffer);
  }
  // The calling thread's text; "" when none of its calls failed.
  [[nodiscard]] const char* Text() const {
    const TBuffer* buffer = Own();
    return buffer != nullptr ? buffer->Text : "";
  }
  // Keeps Value as the calling thread's text, cut to the buffer's size. Without memory for a
  // buffer the text stays as it was.
  void Set(std::string_view Value) {
    TBuffer* buffer = Own();
    if (buffer == nullptr) {
      if (FSlot == TLS_OUT_OF_INDEXES) return;
      buffer =
          static_cast<TBuffer*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TBuffer)));
      if (buffer == nullptr) return;
      AcquireSRWLockExclusive(&FLock);
      buffer->Next = FFirst;
      FFirst = buffer;
      ReleaseSRWLockExclusive(&FLock);
      TlsSetValue(FSlot, buffer);
    }
    const size_t length = std::min(Value.size(), Size - 1);
    std::memcpy(buffer->Text, Value.data(), length);
    buffer->Text[length] = '\0';
  }

 private:
  struct TBuffer {
    TBuffer* Next;
    char Text[Size];
  };
  [[nodiscard]] TBuffer* Own() const {
    return FSlot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<TBuffer*>(TlsGetValue(FSlot));
  }
  DWORD FSlot = TLS_OUT_OF_INDEXES;
  SRWLOCK FLock = SRWLOCK_INIT;
  TBuffer* FFirst = nullptr;
};

// Plain data: nothing to construct before DllMain runs, nothing to destroy after it.
TErrorTexts ErrorTexts;

int Fail(int Result, std::string_view Text) {
  ErrorTexts.Set(Text);
  return Result;
}

// Messages of the library to the application window of the engine's thread.
constexpr UINT WM_KELHID_CALL = WM_APP + 0x3E0;    // sent: a call from another thread
constexpr UINT WM_KELHID_LOST = WM_APP + 0x3E1;    // the receiver read was marked unplugged
constexpr UINT WM_KELHID_RESCAN = WM_APP + 0x3E2;  // reads fail: look at the device list
constexpr UINT WM_KELHID_RESUME = WM_APP + 0x3E3;  // a receiver with the ids arrived
constexpr UINT WM_KELHID_REOPEN = WM_APP + 0x3E4;  // the machine woke up: open afresh
constexpr UINT_PTR ReleaseTimer = 0x4B48;
// Reads that fail make the device list be looked at, at most this often.
constexpr ULONGLONG RescanEveryMs = 250;

// A call of another thread, carried out on the engine's thread.
struct TCall {
  std::function<int()> Body;
  int Result = KELHID_E_NO_ENGINE;
  std::string Error;  // the engine thread's text of a failure
  bool Ran = false;
};

// The controller as the engine sees it, with the library's tap on the reports: the engine's
// report handler is called through the library, which sees each report as it arrives.
class TTapController final : public THidAccess {
 public:
  TTapController(std::unique_ptr<THidDeviceController> Real, const THidDataEvent& Tap)
      : FReal(std::move(Real)), FTap(Tap) {}
  [[nodiscard]] THidDeviceController& Real() const { return *FReal; }

  void DeviceChange() override { FReal->DeviceChange(); }
  bool ClaimByIds(THidDevice*& HidDev, int32_t VendorID, int32_t ProductID) override {
    return FReal->ClaimByIds(HidDev, VendorID, ProductID);
  }
  bool ClaimByIndex(THidDevice*& HidDev, int32_t Idx) override {
    return FReal->ClaimByIndex(HidDev, Idx);
  }
  void ReleaseDevice(THidDevice*& HidDev) override { FReal->ReleaseDevice(HidDev); }
  int32_t Enumerate() override { return FReal->Enumerate(); }
  [[nodiscard]] THidEnumerateEvent OnEnumerate() const override { return FReal->OnEnumerate(); }
  void SetOnEnumerate(const THidEnumerateEvent& Value) override { FReal->SetOnEnumerate(Value); }
  [[nodiscard]] THidDataEvent OnDeviceData() const override { return FEngineHandler; }
  void SetOnDeviceData(const THidDataEvent& Value) override {
    FEngineHandler = Value;
    FReal->SetOnDeviceData(Value ? FTap : THidDataEvent());
  }
  // The engine's own handling of a report.
  void EngineData(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size) const {
    if (FEngineHandler) FEngineHandler(HidDev, ReportID, Data, Size);
  }

 private:
  std::unique_ptr<THidDeviceController> FReal;
  THidDataEvent FTap;
  THidDataEvent FEngineHandler;
};

// The event queue, shared by the engine's thread, which fills it, and the threads that wait in
// KelHID_WaitEvent.
class TEventSink {
 public:
  void Open(HWND Notify) {
    const std::lock_guard lock(FLock);
    FOpen = true;
    FNotify = Notify;
    FQueue.Clear();
  }
  // Wakes every waiter, who then finds no engine.
  void Close() {
    {
      const std::lock_guard lock(FLock);
      FOpen = false;
      FNotify = nullptr;
      FQueue.Clear();
    }
    FReady.NotifyAll();
  }
  void SetNotify(HWND Notify) {
    const std::lock_guard lock(FLock);
    FNotify = Notify;
  }
  // Queues Event; the window to tell is posted WM_HID_EVENT when the queue was empty.
  void Push(const THostEvent& Event) {
    HWND notify = nullptr;
    {
      const std::lock_guard lock(FLock);
      if (!FOpen) return;
      if (FQueue.Push(Event)) notify = FNotify;
    }
    FReady.NotifyAll();
    if (notify != nullptr) PostMessageA(notify, WM_HID_EVENT, 0, 0);
  }
  // KELHID_OK with the oldest event, KELHID_E_TIMEOUT, or KELHID_E_NO_ENGINE.
  int Wait(DWORD TimeoutMs, THostEvent& Event) {
    const std::lock_guard lock(FLock);
    const auto ready = [this] { return !FOpen || !FQueue.Empty(); };
    if (TimeoutMs == INFINITE) {
      FReady.Wait(FLock, ready);
    } else {
      FReady.WaitFor(FLock, TimeoutMs, ready);
    }
    if (!FOpen) return KELHID_E_NO_ENGINE;
    return FQueue.Pop(Event) ? KELHID_OK : KELHID_E_TIMEOUT;
  }

 private:
  TSlimLock FLock;
  TSlimCondition FReady;
  THostEventQueue FQueue;
  bool FOpen = false;
  HWND FNotify = nullptr;
};

// What reception the host had or asked for, to be resumed when the receiver comes back.
enum class TWanted : uint8_t { None, Open, Continuous, OneShot };

// The library's state besides the engine. Everything but the atomics, the create lock and the
// event sink belongs to the engine's thread.
class TLibrary {
 public:
  // The engine's thread; 0 while there is none. Other threads read it to send or refuse their
  // calls.
  std::atomic<DWORD> OwnerThread{0};
  // The engine runs on the library's own thread and takes calls from any thread.
  std::atomic<bool> Windowless{false};
  // The application window of the engine's thread, where calls are sent.
  std::atomic<HWND> EngineWindow{nullptr};
  // Serialises creating and freeing.
  TSlimLock CreateLock;
  // The engine's thread: a windowed engine's creator, or the library's own thread.
  HANDLE OwnerHandle = nullptr;
  std::unique_ptr<TDModHID> Engine;
  // Keeps the library loaded while the engine and its threads live.
  HMODULE Pin = nullptr;
  // A dialog of the library is open.
  bool InDialog = false;
  TEventSink Events;
  bool AutoResume = true;
  // The window that owns the library's dialogs (KelHID_SetOwnerWindow); none: every window of
  // the thread waits while one is open.
  HWND Owner = nullptr;

  TLibrary() = default;
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;
  // An engine its host never freed is left to the end of the process: its threads are gone by
  // then, and waiting for them could hang.
  ~TLibrary() { static_cast<void>(Engine.release()); }

  // On the thread that is to be the engine's: the engine, posting to Target (none: windowless).
  int MakeEngine(HWND Target);
  // On the engine's thread: the engine goes, without a message.
  void DropEngine();
  // The windowless engine on a thread of its own.
  int StartEngineThread();
  // The windowed engine's thread ended without freeing it.
  [[nodiscard]] bool OwnerEnded() const {
    return !Windowless && OwnerHandle != nullptr &&
           WaitForSingleObject(OwnerHandle, 0) == WAIT_OBJECT_0;
  }
  // Frees the engine of an ended thread on the calling thread.
  void TakeOver();

  // The host asked for a reception (or for none); a receiver that appears resumes it.
  void Want(TWanted Wanted) {
    FWanted = Wanted;
    FUnplugged = false;
  }
  [[nodiscard]] TWanted Wanted() const { return FWanted; }
  // The state the host sees: the engine's, or UNPLUGGED while the receiver is away.
  [[nodiscard]] int State() const {
    return FUnplugged && Engine->FDevice == nullptr ? KELHID_STATE_UNPLUGGED : Engine->FState;
  }
  void SetTarget(HWND Target) {
    Engine->FTargetWnd = Target;
    Events.SetNotify(Target);
  }
  // Around a dialog: what happened meanwhile is taken up afterwards.
  void BeginDialog();
  void EndDialog();

 private:
  bool WindowHook(UINT Msg, WPARAM wParam, LPARAM lParam);
  void ReportArrived(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data, uint16_t Size);
  void EnginePosted(UINT Msg, WPARAM wParam, LPARAM lParam);
  void QueueState(int State, uint64_t NowMs);
  void ScheduleRelease();
  void ReleaseDue();
  void EndHold(uint64_t NowMs);
  // Controller handlers, called in the middle of its work: what they see is taken up later.
  void DeviceUnplugged(THidDevice* HidDev);
  void ReadFailed(THidDevice* HidDev, uint32_t Error);
  void DeviceArrived(THidDevice* HidDev);
  void Post(UINT Msg) const { PostMessageA(Application().Handle(), Msg, 0, 0); }
  [[nodiscard]] bool IsReceiver(const THidDevice& Device) const;
  [[nodiscard]] bool ReceiverPresent() const;
  void Lost();
  void Resume(bool Afresh);

  TTapController* FTap = nullptr;
  bool FDropping = false;  // the engine is being destroyed
  uint64_t FTimerDue = 0;  // when the release timer runs out; 0: not running
  TKeyHolds FHolds;
  // The report being handed to the engine: whether it counts for the holds, and its held flag.
  bool FInReport = false;
  bool FReportHeld = false;
  uint64_t FReportMs = 0;
  int FQueuedState = rsNone;  // the state the queue told last
  int FStateBeforeDialog = rsNone;
  TWanted FWanted = TWanted::None;
  bool FUnplugged = false;
  bool FRescanPosted = false;
  ULONGLONG FLastRescan = 0;
  // Came while a dialog was open.
  bool FLostLater = false;
  bool FResumeLater = false;
};

TLibrary& Library() {
  static TLibrary library;
  return library;
}

std::string Hex4(uint16_t Value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(Value));
  return text;
}

// A failure of a call that ran into an exception.
int Failed(const char* Function) {
  try {
    throw;
  } catch (const ESettingsWriteError& e) {
    return Fail(KELHID_E_WRITE, e.what());
  } catch (const std::exception& e) {
    return Fail(KELHID_E_FAILED, std::string(Function) + ": " + e.what());
  } catch (...) {
    return Fail(KELHID_E_FAILED, std::string(Function) + ": unexpected error");
  }
}

enum class TAccess { Read, Change };

// Carries Body out on the engine's thread and returns its result, with its error text as this
// thread's. The wait answers the messages sent to this thread meanwhile, so that a dialog owned
// by one of its windows works.
int OnEngineThread(const char* Function, std::function<int()> Body) {
  TCall call;
  call.Body = std::move(Body);
  const HWND window = Library().EngineWindow.load();
  if (window != nullptr) SendMessageA(window, WM_KELHID_CALL, 0, reinterpret_cast<LPARAM>(&call));
  if (!call.Ran) {
    return Fail(KELHID_E_NO_ENGINE, std::string(Function) + ": no engine (it was freed)");
  }
  if (call.Result != KELHID_OK) ErrorTexts.Set(call.Error);
  return call.Result;
}

// Runs Body with the engine when the caller may use it: the engine exists, this is its thread,
// and, for a change, no dialog of the library is open.
template <class F>
int WithEngine(const char* Function, TAccess Access, F&& Body) {
  TLibrary& library = Library();
  const DWORD owner = library.OwnerThread.load();
  if (owner == 0) {
    return Fail(KELHID_E_NO_ENGINE,
                std::string(Function) + ": no engine (call KelHID_Create first)");
  }
  if (owner != GetCurrentThreadId()) {
    if (library.Windowless) {
      return OnEngineThread(Function, [&] { return WithEngine(Function, Access, Body); });
    }
    return Fail(KELHID_E_THREAD, std::string(Function) +
                                     ": called from another thread than the one that created "
                                     "the engine");
  }
  if (Access == TAccess::Change && library.InDialog) {
    return Fail(KELHID_E_BUSY, std::string(Function) + ": a KelHID dialog is open");
  }
  try {
    return Body(*library.Engine);
  } catch (...) {
    return Failed(Function);
  }
}

// A window the engine may post to: one of this process's.
int CheckTarget(const char* Function, HWND Window) {
  if (Window == nullptr) {
    return Fail(KELHID_E_ARGUMENT, std::string(Function) + ": no target window");
  }
  DWORD process = 0;
  if (!IsWindow(Window) || GetWindowThreadProcessId(Window, &process) == 0 ||
      process != GetCurrentProcessId()) {
    return Fail(KELHID_E_ARGUMENT,
                std::string(Function) + ": the target is no window of this process");
  }
  return KELHID_OK;
}

int MissingArgument(const char* Function, const char* Name) {
  return Fail(KELHID_E_ARGUMENT, std::string(Function) + ": " + Name + " is missing");
}

// Why the engine could not open its receiver.
int OpenFailure(const TDModHID& Engine) {
  if (Engine.FVendorID == 0 && Engine.FProductID == 0) {
    return Fail(KELHID_E_NOT_CONFIGURED, "No receiver configured: vendor and product id are 0");
  }
  const std::string ids = Hex4(Engine.FVendorID) + ":" + Hex4(Engine.FProductID);
  if (Engine.FState == rsError) {
    return Fail(KELHID_E_NOT_USABLE,
                "Receiver " + ids + " is not attached or cannot be opened for reading");
  }
  return Fail(KELHID_E_NOT_FOUND, "Receiver " + ids + " was not found");
}

bool DirectoryExists(std::string_view Dir) {
  const std::string dir(TrimBlanks(Dir));
  const DWORD attributes = dir.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(dir.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The activation context of the library's own manifest, active for its lifetime: the dialogs'
// controls are the common controls' version 6 (buttons with a picture and a caption), also in
// a host without a manifest.
class TControlsContext {
 public:
  TControlsContext() {
    ACTCTXA context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = ModuleInstance();
    context.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
    FContext = CreateActCtxA(&context);
    if (FContext != INVALID_HANDLE_VALUE && !ActivateActCtx(FContext, &FCookie)) FCookie = 0;
  }
  TControlsContext(const TControlsContext&) = delete;
  TControlsContext& operator=(const TControlsContext&) = delete;
  ~TControlsContext() {
    if (FCookie != 0) DeactivateActCtx(0, FCookie);
    if (FContext != INVALID_HANDLE_VALUE) ReleaseActCtx(FContext);
  }

 private:
  HANDLE FContext = INVALID_HANDLE_VALUE;
  ULONG_PTR FCookie = 0;
};

// Marks a dialog of the library open for its lifetime, in the library's activation context;
// afterwards gives back a WM_QUIT that its message loop took, so that the host's loop ends too.
class TDialogRun {
 public:
  TDialogRun() { Library().BeginDialog(); }
  TDialogRun(const TDialogRun&) = delete;
  TDialogRun& operator=(const TDialogRun&) = delete;
  ~TDialogRun() {
    Library().EndDialog();
    Application().ReturnQuit();
  }

 private:
  TControlsContext FContext;
};

// The owner for a dialog about to open: none when the window has gone meanwhile.
HWND DialogOwner() {
  const HWND owner = Library().Owner;
  return owner != nullptr && IsWindow(owner) ? owner : nullptr;
}

// One settings field of the interface.
struct TField {
  int Id;
  int Min;
  int Max;
  int (*Get)(const TDModHID&);
  void (*Set)(TDModHID&, int);
};

constexpr TField Fields[] = {
    {KELHID_VENDOR_ID, 0, 0xFFFF, [](const TDModHID& e) -> int { return e.FVendorID; },
     [](TDModHID& e, int v) { e.FVendorID = static_cast<uint16_t>(v); }},
    {KELHID_PRODUCT_ID, 0, 0xFFFF, [](const TDModHID& e) -> int { return e.FProductID; },
     [](TDModHID& e, int v) { e.FProductID = static_cast<uint16_t>(v); }},
    {KELHID_REPEAT_DELAY, 10, 5000, [](const TDModHID& e) -> int { return e.FRepeatDelay; },
     [](TDModHID& e, int v) { e.FRepeatDelay = v; }},
    {KELHID_HELD_DELAY, 10, 5000, [](const TDModHID& e) -> int { return e.FHeldDelay; },
     [](TDModHID& e, int v) { e.FHeldDelay = v; }},
    {KELHID_CHECK_BYTE, 0, 0xFF, [](const TDModHID& e) -> int { return e.FCheckByte; },
     [](TDModHID& e, int v) { e.FCheckByte = static_cast<uint8_t>(v); }},
    {KELHID_USE_CHECK, 0, 1, [](const TDModHID& e) -> int { return e.FUseCheck ? 1 : 0; },
     [](TDModHID& e, int v) { e.FUseCheck = v != 0; }},
    {KELHID_BEEP, 0, 1, [](const TDModHID& e) -> int { return e.FBeep ? 1 : 0; },
     [](TDModHID& e, int v) { e.FBeep = v != 0; }},
};

const TField* FindField(int Id) {
  for (const TField& field : Fields) {
    if (field.Id == Id) return &field;
  }
  return nullptr;
}

int UnknownField(const char* Function, int Field) {
  return Fail(KELHID_E_ARGUMENT,
              std::string(Function) + ": unknown settings field " + std::to_string(Field));
}

// The held delay is never above the repeat delay, as on the configuration dialog's bars: a
// repeat delay set below the held delay takes it down along, a held delay set above the repeat
// delay takes that up along.
void KeepHeldWithinRepeat(TDModHID& Engine, int Changed) {
  if (Engine.FHeldDelay <= Engine.FRepeatDelay) return;
  if (Changed == KELHID_REPEAT_DELAY) Engine.FHeldDelay = Engine.FRepeatDelay;
  if (Changed == KELHID_HELD_DELAY) Engine.FRepeatDelay = Engine.FHeldDelay;
}

// An error that reached a window procedure of the library: the host hears of it through the
// last error text, not through a message box of its own.
void WindowError(void* /*Object*/, std::string_view Message) {
  ErrorTexts.Set("Error in a KelHID window: " + std::string(Message));
}

// The library's own reference, given back after KelHID_Free. The reference may be the last one
// (a host that called FreeLibrary while its engine lived), so the code that drops it must not
// return into the library: a thread of the library's own waits until the freeing thread has
// left the library's code, then gives the reference back and ends in one call.
struct TRelease {
  HMODULE Module = nullptr;
  HANDLE Caller = nullptr;  // the thread that freed the engine
  std::atomic<bool> Leaving{false};
};

// Whether a thread's next instruction lies outside the module; also true once it has ended.
bool OutsideModule(HANDLE Thread, HMODULE Module) {
  const auto base = reinterpret_cast<uintptr_t>(Module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const uintptr_t end = base + nt->OptionalHeader.SizeOfImage;
  if (WaitForSingleObject(Thread, 0) == WAIT_OBJECT_0) return true;
  if (SuspendThread(Thread) == static_cast<DWORD>(-1)) return false;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  const bool got = GetThreadContext(Thread, &context) != FALSE;
  ResumeThread(Thread);
#ifdef _WIN64
  const uintptr_t next = context.Rip;
#else
  const uintptr_t next = context.Eip;
#endif
  return got && (next < base || next >= end);
}

DWORD WINAPI ReleaseWhenLeft(void* Parameter) {
  auto* release = static_cast<TRelease*>(Parameter);
  while (!release->Leaving.load() || !OutsideModule(release->Caller, release->Module)) Sleep(1);
  const HMODULE module = release->Module;
  CloseHandle(release->Caller);
  delete release;
  FreeLibraryAndExitThread(module, 0);
}

// Starts the release of the library's reference; Leaving is to be set as the caller's last
// step in the library. Null when no thread could be started: the reference is then kept (the
// library stays loaded, which is safe).
TRelease* StartRelease(HMODULE Module) {
  auto release = std::make_unique<TRelease>();
  release->Module = Module;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                       &release->Caller, THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | SYNCHRONIZE,
                       FALSE, 0)) {
    return nullptr;
  }
  const HANDLE thread = CreateThread(nullptr, 0, &ReleaseWhenLeft, release.get(), 0, nullptr);
  if (thread == nullptr) {
    CloseHandle(release->Caller);
    return nullptr;
  }
  CloseHandle(thread);
  return release.release();
}

// --- The library's engine -----------------------------------------------------------------------

int TLibrary::MakeEngine(HWND Target) {
  try {
    Application().Title = "KelHID";
    Application().OnException = TEvent<void(std::string_view)>(&WindowError, nullptr);
    Application().Initialize();
    auto real = std::make_unique<THidDeviceController>();
    THidDeviceController& controller = *real;
    controller.SetOnDeviceUnplug(THidPlugEvent::Bind<&TLibrary::DeviceUnplugged>(this));
    controller.SetOnArrival(THidPlugEvent::Bind<&TLibrary::DeviceArrived>(this));
    controller.AfterLoad();
    auto tap = std::make_unique<TTapController>(
        std::move(real), THidDataEvent::Bind<&TLibrary::ReportArrived>(this));
    FTap = tap.get();
    Engine = std::make_unique<TDModHID>(std::move(tap));
    Engine->FTargetWnd = Target;
    Engine->OnPosted = TEvent<void(UINT, WPARAM, LPARAM)>::Bind<&TLibrary::EnginePosted>(this);
    DModHID = Engine.get();
    Application().HookMainWindow(TWindowHook::Bind<&TLibrary::WindowHook>(this));
    FHolds = TKeyHolds();
    FTimerDue = 0;
    FInReport = false;
    FQueuedState = rsNone;
    FWanted = TWanted::None;
    FUnplugged = false;
    FRescanPosted = false;
    FLostLater = false;
    FResumeLater = false;
    AutoResume = true;
    Events.Open(Target);
    if (Pin == nullptr) {
      GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCSTR>(&KelHID_Create), &Pin);
    }
    Windowless = Target == nullptr;
    EngineWindow = Application().Handle();
    OwnerThread = GetCurrentThreadId();
    return KELHID_OK;
  } catch (...) {
    const int r = Failed("KelHID_Create");
    DropEngine();
    return r;
  }
}

void TLibrary::DropEngine() {
  OwnerThread = 0;
  EngineWindow = nullptr;
  Events.Close();
  if (Application().Handle() != nullptr) KillTimer(Application().Handle(), ReleaseTimer);
  FTimerDue = 0;
  Application().UnhookMainWindow(TWindowHook::Bind<&TLibrary::WindowHook>(this));
  if (FTap != nullptr) {
    THidDeviceController& controller = FTap->Real();
    controller.SetOnDeviceUnplug({});
    controller.SetOnArrival({});
  }
  if (Engine != nullptr) Engine->OnPosted = {};
  DModHID = nullptr;
  // Reports the readers still hand over while the engine goes reach only the engine.
  FDropping = true;
  Engine.reset();
  FDropping = false;
  FTap = nullptr;
  Application().Finalize();
  Windowless = false;
}

struct TEngineStart {
  HANDLE Ready = nullptr;
  int Result = KELHID_E_FAILED;
  std::string Error;
};

DWORD WINAPI EngineThread(void* Parameter) {
  auto* start = static_cast<TEngineStart*>(Parameter);
  TLibrary& library = Library();
  const int result = library.MakeEngine(nullptr);
  start->Result = result;
  if (result != KELHID_OK) start->Error = ErrorTexts.Text();
  SetEvent(start->Ready);  // start is the creator's and goes now
  if (result != KELHID_OK) return 0;
  // The program's own loop, until KelHID_Free: it wakes at once for a report to hand over.
  Application().Run();
  return 0;
}

int TLibrary::StartEngineThread() {
  TEngineStart start;
  start.Ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (start.Ready == nullptr) {
    return Fail(KELHID_E_FAILED, "KelHID_Create: no event for the engine's thread");
  }
  const HANDLE thread = CreateThread(nullptr, 0, &EngineThread, &start, 0, nullptr);
  if (thread == nullptr) {
    CloseHandle(start.Ready);
    return Fail(KELHID_E_FAILED, "KelHID_Create: the engine's thread could not be started");
  }
  WaitForSingleObject(start.Ready, INFINITE);
  CloseHandle(start.Ready);
  if (start.Result != KELHID_OK) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return Fail(start.Result, start.Error);
  }
  OwnerHandle = thread;
  return KELHID_OK;
}

void TLibrary::TakeOver() {
  // The ended thread's windows went with it. This thread becomes the application's main thread
  // for as long as the old engine takes to go, so that the reports its readers still hand over
  // are run here.
  Application().Finalize();
  Application().Initialize();
  DropEngine();
  CloseHandle(OwnerHandle);
  OwnerHandle = nullptr;
}

void TLibrary::BeginDialog() {
  InDialog = true;
  FStateBeforeDialog = Engine->FState;
}

void TLibrary::EndDialog() {
  InDialog = false;
  if (Engine == nullptr) return;
  if (Engine->FState != FStateBeforeDialog) QueueState(Engine->FState, GetTickCount64());
  if (std::exchange(FLostLater, false)) Post(WM_KELHID_LOST);
  if (std::exchange(FResumeLater, false)) Post(WM_KELHID_RESUME);
}

bool TLibrary::WindowHook(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_KELHID_CALL: {
      auto* call = reinterpret_cast<TCall*>(lParam);
      call->Result = call->Body();
      if (call->Result != KELHID_OK) call->Error = ErrorTexts.Text();
      call->Ran = true;
      return true;
    }
    case WM_KELHID_LOST:
      if (Engine != nullptr) Lost();
      return true;
    case WM_KELHID_RESCAN:
      FRescanPosted = false;
      FLastRescan = GetTickCount64();
      if (FTap != nullptr) FTap->Real().DeviceChange();
      return true;
    case WM_KELHID_RESUME:
    case WM_KELHID_REOPEN:
      if (Engine != nullptr) Resume(Msg == WM_KELHID_REOPEN);
      return true;
    case WM_TIMER:
      if (wParam != ReleaseTimer) return false;
      ReleaseDue();
      return true;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMRESUMEAUTOMATIC) Post(WM_KELHID_REOPEN);
      return false;
    default:
      return false;
  }
}

// --- Events -------------------------------------------------------------------------------------

void TLibrary::ReportArrived(THidDevice* HidDev, uint8_t ReportID, const uint8_t* Data,
                             uint16_t Size) {
  if (FDropping) {
    FTap->EngineData(HidDev, ReportID, Data, Size);
    return;
  }
  TDModHID& engine = *Engine;
  const uint64_t now = GetTickCount64();
  FInReport = false;
  if (engine.FState == rsGet && !InDialog) {
    const std::span<const uint8_t> bytes(Data, Data != nullptr ? Size : 0);
    const TReportCode code = DecodeReport(bytes, engine.FUseCheck, engine.FCheckByte);
    if (!code.Refused) {
      if (const auto released = FHolds.Report(PressCode1(code, bytes.size()), code.Code2, now)) {
        Events.Push(*released);
      }
      FInReport = true;
      FReportHeld = code.Held;
      FReportMs = now;
    }
  }
  FTap->EngineData(HidDev, ReportID, Data, Size);
  FInReport = false;
  ScheduleRelease();
}

void TLibrary::EnginePosted(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (FDropping) return;
  // The receiver the engine claimed tells the library of its failing reads.
  if (Engine->FDevice != nullptr && !Engine->FDevice->DataErrorHandler) {
    Engine->FDevice->DataErrorHandler = THidDataErrorEvent::Bind<&TLibrary::ReadFailed>(this);
  }
  if (InDialog) return;  // the dialog's own use of the engine
  const uint64_t now = GetTickCount64();
  if (Msg == WM_HID_STATUS) {
    const auto state = static_cast<int>(static_cast<intptr_t>(wParam));
    if (state == rsOk && FWanted == TWanted::OneShot) FWanted = TWanted::Open;
    if (state != rsGet) EndHold(now);
    QueueState(state, now);
  } else if (Msg == WM_HID_CODE) {
    if (FInReport) {
      Events.Push(FHolds.Accepted(FReportHeld, FReportMs));
    } else {
      Events.Push(THostEvent{ekCode, static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam),
                             0, static_cast<uint32_t>(now)});
    }
  }
}

void TLibrary::QueueState(int State, uint64_t NowMs) {
  // The engine tells its state again after every report it decodes: only changes are events.
  if (State == FQueuedState) return;
  FQueuedState = State;
  Events.Push(
      THostEvent{ekState, static_cast<uint32_t>(State), 0, 0, static_cast<uint32_t>(NowMs)});
}

void TLibrary::EndHold(uint64_t NowMs) {
  if (const auto released = FHolds.End(NowMs)) Events.Push(*released);
  ScheduleRelease();
}

void TLibrary::ScheduleRelease() {
  const HWND window = Application().Handle();
  if (window == nullptr) return;
  const std::optional<uint64_t> due = FHolds.NextDue();
  if (!due) {
    if (FTimerDue != 0) KillTimer(window, ReleaseTimer);
    FTimerDue = 0;
    return;
  }
  // A report only moves the release later: a timer due earlier stays, and sets the next one
  // when it finds nothing due yet. So most reports cost no call of the system's.
  if (FTimerDue != 0 && FTimerDue <= *due) return;
  const uint64_t now = GetTickCount64();
  const auto wait = static_cast<UINT>(*due > now ? *due - now : 0);
  SetTimer(window, ReleaseTimer, std::max<UINT>(wait, USER_TIMER_MINIMUM), nullptr);
  FTimerDue = *due;
}

void TLibrary::ReleaseDue() {
  KillTimer(Application().Handle(), ReleaseTimer);
  FTimerDue = 0;
  if (const auto released = FHolds.Due(GetTickCount64())) Events.Push(*released);
  ScheduleRelease();
}

// --- The receiver's presence --------------------------------------------------------------------

bool TLibrary::IsReceiver(const THidDevice& Device) const {
  return Device.DeviceAttributes.VendorID == Engine->FVendorID &&
         Device.DeviceAttributes.ProductID == Engine->FProductID;
}

bool TLibrary::ReceiverPresent() const {
  const THidDeviceController& controller = FTap->Real();
  for (int32_t i = 0; i < controller.Count(); ++i) {
    const THidDevice* device = controller.Devices(i);
    if (device->Plugged && !device->Claimed && IsReceiver(*device)) return true;
  }
  return false;
}

void TLibrary::DeviceUnplugged(THidDevice* HidDev) {
  if (Engine != nullptr && HidDev == Engine->FDevice) Post(WM_KELHID_LOST);
}

void TLibrary::ReadFailed(THidDevice* HidDev, uint32_t /*Error*/) {
  // A pulled receiver's reads fail before the system's notice may come: look at the list.
  if (Engine == nullptr || HidDev != Engine->FDevice || FRescanPosted) return;
  if (GetTickCount64() - FLastRescan < RescanEveryMs) return;
  FRescanPosted = true;
  Post(WM_KELHID_RESCAN);
}

void TLibrary::DeviceArrived(THidDevice* HidDev) {
  if (Engine != nullptr && AutoResume && FWanted != TWanted::None && Engine->FDevice == nullptr &&
      IsReceiver(*HidDev)) {
    Post(WM_KELHID_RESUME);
  }
}

void TLibrary::Lost() {
  TDModHID& engine = *Engine;
  if (engine.FDevice == nullptr || engine.FDevice->Plugged) return;  // given back, or back
  if (InDialog) {
    FLostLater = true;
    return;
  }
  switch (engine.FState) {
    case rsGet:
      FWanted = engine.FOneShot ? TWanted::OneShot : TWanted::Continuous;
      break;
    case rsNone:
      break;
    default:
      FWanted = TWanted::Open;
      break;
  }
  const uint64_t now = GetTickCount64();
  EndHold(now);
  engine.CloseDevice(false);
  FUnplugged = true;
  if (engine.FTargetWnd != nullptr) {
    PostMessageA(engine.FTargetWnd, WM_HID_STATUS, KELHID_STATE_UNPLUGGED, 15);
  }
  QueueState(KELHID_STATE_UNPLUGGED, now);
  // Back already, before this was seen.
  if (AutoResume && ReceiverPresent()) Post(WM_KELHID_RESUME);
}

void TLibrary::Resume(bool Afresh) {
  TDModHID& engine = *Engine;
  if (InDialog) {
    FResumeLater = true;
    return;
  }
  if (FWanted == TWanted::None) return;
  if (!Afresh && (!AutoResume || engine.FDevice != nullptr || !ReceiverPresent())) return;
  const bool ok = FWanted == TWanted::Open ? engine.OpenDevice()
                                           : engine.StartReceiving(FWanted == TWanted::OneShot);
  if (ok) FUnplugged = false;
}

}  // namespace

extern "C" {

int WINAPI KelHID_GetVersion(unsigned int* Major, unsigned int* Minor, unsigned int* Release,
                             unsigned int* Build) {
  constexpr const char* Function = "KelHID_GetVersion";
  if (Major == nullptr || Minor == nullptr || Release == nullptr || Build == nullptr) {
    return MissingArgument(Function, "an output");
  }
  try {
    uint16_t major = 0, minor = 0, release = 0, build = 0, flags = 0;
    if (!GetFileVersion(ModuleFileName(), major, minor, release, build, flags)) {
      return Fail(KELHID_E_FAILED, std::string(Function) + ": the version resource is unreadable");
    }
    *Major = major;
    *Minor = minor;
    *Release = release;
    *Build = build;
    return KELHID_OK;
  } catch (...) {
    return Failed(Function);
  }
}

const char* WINAPI KelHID_GetLastErrorText(void) {
  return ErrorTexts.Text();
}

int WINAPI KelHID_Create(HWND TargetWnd) {
  constexpr const char* Function = "KelHID_Create";
  if (TargetWnd != nullptr) {
    if (const int r = CheckTarget(Function, TargetWnd); r != KELHID_OK) return r;
  }
  TLibrary& library = Library();
  const std::lock_guard lock(library.CreateLock);
  if (library.OwnerThread != 0) {
    if (!library.OwnerEnded()) {
      return Fail(KELHID_E_EXISTS, std::string(Function) +
                                       ": the process has its engine already (only one "
                                       "THidDeviceController allowed per program)");
    }
    library.TakeOver();
  }
  if (TargetWnd == nullptr) return library.StartEngineThread();
  const int result = library.MakeEngine(TargetWnd);
  if (result == KELHID_OK &&
      !DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                       &library.OwnerHandle, SYNCHRONIZE, FALSE, 0)) {
    library.OwnerHandle = nullptr;
  }
  return result;
}

int WINAPI KelHID_Free(void) {
  TLibrary& library = Library();
  TRelease* release = nullptr;
  int result = KELHID_OK;
  {
    const std::lock_guard lock(library.CreateLock);
    const bool windowless = library.Windowless;
    result = WithEngine("KelHID_Free", TAccess::Change, [&](TDModHID& /*Engine*/) {
      library.DropEngine();
      if (windowless) PostQuitMessage(0);  // ends the engine thread's loop
      return KELHID_OK;
    });
    if (result == KELHID_OK) {
      if (library.OwnerHandle != nullptr) {
        if (windowless) WaitForSingleObject(library.OwnerHandle, INFINITE);
        CloseHandle(library.OwnerHandle);
        library.OwnerHandle = nullptr;
      }
      if (library.Pin != nullptr) release = StartRelease(library.Pin);
      library.Pin = nullptr;
    }
  }
  // The last step in the library: from here on it may go once this thread has left it.
  if (release != nullptr) release->Leaving = true;
  return result;
}

int WINAPI KelHID_SetTargetWindow(HWND TargetWnd) {
  constexpr const char* Function = "KelHID_SetTargetWindow";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& /*Engine*/) {
    if (const int r = CheckTarget(Function, TargetWnd); r != KELHID_OK) return r;
    Library().SetTarget(TargetWnd);
    return KELHID_OK;
  });
}

int WINAPI KelHID_LoadHIDSettings(const char* Dir) {
  constexpr const char* Function = "KelHID_LoadHIDSettings";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Dir == nullptr) return MissingArgument(Function, "the directory");
    Library().Want(TWanted::None);
    if (LoadHIDSettings(&Engine, Dir)) return KELHID_OK;
    if (!DirectoryExists(Dir)) {
      return Fail(KELHID_E_NO_DIRECTORY, std::string(Function) + ": the directory \"" + Dir +
                                             "\" does not exist; no setting changed");
    }
    return Fail(KELHID_E_NO_FILE, std::string(Function) + ": no " + std::string(SettingsFileName) +
                                      " in \"" + Dir + "\"; the defaults are set");
  });
}

int WINAPI KelHID_ShowHIDSetup(const char* Dir, unsigned int* DeviceKey) {
  constexpr const char* Function = "KelHID_ShowHIDSetup";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Dir == nullptr) return MissingArgument(Function, "the directory");
    if (DeviceKey == nullptr) return MissingArgument(Function, "DeviceKey");
    *DeviceKey = 0;
    uint32_t key = 0;
    {
      const TDialogRun run;
      key = ShowHIDSetup(&Engine, Dir, DialogOwner());
    }
    Library().Want(TWanted::None);  // the dialog closed the connection
    if (key == 0) {
      return Fail(KELHID_E_CANCELLED, std::string(Function) +
                                          ": nothing was saved (cancelled, no receiver chosen, "
                                          "or no compatible device)");
    }
    *DeviceKey = key;
    return KELHID_OK;
  });
}

int WINAPI KelHID_GetIRCode(BOOL PlaySound, BOOL Confirm, BOOL AllowKeys, unsigned int* Code1,
                            unsigned int* Code2) {
  constexpr const char* Function = "KelHID_GetIRCode";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Code1 == nullptr || Code2 == nullptr) return MissingArgument(Function, "a code output");
    *Code1 = 0;
    *Code2 = 0;
    if (Engine.FState == rsNone) {
      return Fail(KELHID_E_NOT_OPEN,
                  std::string(Function) + ": the receiver is not open (call KelHID_OpenDevice)");
    }
    int32_t code2 = 0;
    bool accepted = false;
    int32_t code1 = 0;
    {
      const TDialogRun run;
      code1 = GetIRCode(&Engine, PlaySound != FALSE, Confirm != FALSE, AllowKeys != FALSE, code2,
                        &accepted, DialogOwner());
    }
    if (!accepted) return Fail(KELHID_E_CANCELLED, std::string(Function) + ": no code was taken");
    *Code1 = static_cast<uint32_t>(code1);
    *Code2 = static_cast<uint32_t>(code2);
    return KELHID_OK;
  });
}

int WINAPI KelHID_OpenDevice(void) {
  return WithEngine("KelHID_OpenDevice", TAccess::Change, [](TDModHID& Engine) {
    const int result = Engine.OpenDevice() ? KELHID_OK : OpenFailure(Engine);
    // Not there yet: claimed when it comes.
    Library().Want(result == KELHID_OK || result == KELHID_E_NOT_FOUND ? TWanted::Open
                                                                       : TWanted::None);
    return result;
  });
}

int WINAPI KelHID_StartReceiving(int Mode) {
  constexpr const char* Function = "KelHID_StartReceiving";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Mode != KELHID_CONTINUOUS && Mode != KELHID_ONE_SHOT) {
      return Fail(KELHID_E_ARGUMENT,
                  std::string(Function) + ": unknown mode " + std::to_string(Mode));
    }
    const bool oneShot = Mode == KELHID_ONE_SHOT;
    const int result = Engine.StartReceiving(oneShot) ? KELHID_OK : OpenFailure(Engine);
    // Not there yet: claimed when it comes, and the reception started then.
    if (result == KELHID_OK || result == KELHID_E_NOT_FOUND) {
      Library().Want(oneShot ? TWanted::OneShot : TWanted::Continuous);
    } else {
      Library().Want(TWanted::None);
    }
    return result;
  });
}

int WINAPI KelHID_StopReceiving(void) {
  return WithEngine("KelHID_StopReceiving", TAccess::Change, [](TDModHID& Engine) {
    TLibrary& library = Library();
    library.Want(library.Wanted() == TWanted::None ? TWanted::None : TWanted::Open);
    Engine.StopReceiving();
    return KELHID_OK;
  });
}

int WINAPI KelHID_Disconnect(void) {
  return WithEngine("KelHID_Disconnect", TAccess::Change, [](TDModHID& Engine) {
    Library().Want(TWanted::None);
    Engine.Disconnect();
    return KELHID_OK;
  });
}

int WINAPI KelHID_PostCode(unsigned int Code1, unsigned int Code2) {
  return WithEngine("KelHID_PostCode", TAccess::Change, [&](TDModHID& Engine) {
    Engine.PostCode(static_cast<int32_t>(Code1), static_cast<int32_t>(Code2));
    return KELHID_OK;
  });
}

int WINAPI KelHID_GetState(int* State) {
  constexpr const char* Function = "KelHID_GetState";
  return WithEngine(Function, TAccess::Read, [&](TDModHID& /*Engine*/) {
    if (State == nullptr) return MissingArgument(Function, "State");
    *State = Library().State();
    return KELHID_OK;
  });
}

int WINAPI KelHID_GetCode(unsigned int* Code1, unsigned int* Code2) {
  constexpr const char* Function = "KelHID_GetCode";
  return WithEngine(Function, TAccess::Read, [&](TDModHID& Engine) {
    if (Code1 == nullptr || Code2 == nullptr) return MissingArgument(Function, "a code output");
    *Code1 = static_cast<uint32_t>(Engine.FCode1);
    *Code2 = static_cast<uint32_t>(Engine.FCode2);
    return KELHID_OK;
  });
}

int WINAPI KelHID_GetSetting(int Field, int* Value) {
  constexpr const char* Function = "KelHID_GetSetting";
  return WithEngine(Function, TAccess::Read, [&](TDModHID& Engine) {
    const TField* field = FindField(Field);
    if (field == nullptr && Field != KELHID_AUTO_RESUME) return UnknownField(Function, Field);
    if (Value == nullptr) return MissingArgument(Function, "Value");
    *Value = field != nullptr ? field->Get(Engine) : Library().AutoResume ? 1 : 0;
    return KELHID_OK;
  });
}

int WINAPI KelHID_SetSetting(int Field, int Value) {
  constexpr const char* Function = "KelHID_SetSetting";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Field == KELHID_AUTO_RESUME) {
      if (Value != 0 && Value != 1) {
        return Fail(KELHID_E_ARGUMENT,
                    std::string(Function) + ": " + std::to_string(Value) + " is outside 0..1");
      }
      Library().AutoResume = Value != 0;
      return KELHID_OK;
    }
    const TField* field = FindField(Field);
    if (field == nullptr) return UnknownField(Function, Field);
    if (Value < field->Min || Value > field->Max) {
      return Fail(KELHID_E_ARGUMENT, std::string(Function) + ": " + std::to_string(Value) +
                                         " is outside " + std::to_string(field->Min) + ".." +
                                         std::to_string(field->Max));
    }
    field->Set(Engine, Value);
    KeepHeldWithinRepeat(Engine, Field);
    return KELHID_OK;
  });
}

int WINAPI KelHID_WaitEvent(unsigned int TimeoutMs, int* Kind, unsigned int* Code1,
                            unsigned int* Code2, unsigned int* Flags, unsigned int* TimeMs) {
  constexpr const char* Function = "KelHID_WaitEvent";
  if (Kind == nullptr) return MissingArgument(Function, "Kind");
  THostEvent event;
  switch (Library().Events.Wait(TimeoutMs, event)) {
    case KELHID_OK:
      break;
    case KELHID_E_TIMEOUT:
      return Fail(KELHID_E_TIMEOUT, "KelHID_WaitEvent: no event came in time");
    default:
      return Fail(KELHID_E_NO_ENGINE, "KelHID_WaitEvent: no engine (call KelHID_Create first)");
  }
  *Kind = event.Kind;
  if (Code1 != nullptr) *Code1 = event.Code1;
  if (Code2 != nullptr) *Code2 = event.Code2;
  if (Flags != nullptr) *Flags = event.Flags;
  if (TimeMs != nullptr) *TimeMs = event.TimeMs;
  return KELHID_OK;
}

}  // extern "C"

// ---- Interface version 2: the settings in either kind of folder name, the error text for
// hosts without pointers, and the dialogs' owner.

namespace {

// A folder name for the error texts.
std::string Shown(std::wstring_view Dir) {
  return NarrowAnsi(Dir);
}

int LoadSettings(const char* Function, const wchar_t* Dir) {
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Dir == nullptr) return MissingArgument(Function, "the directory");
    if (LoadHIDSettings(&Engine, std::wstring_view(Dir))) return KELHID_OK;
    if (!SettingsDirectoryExists(Dir)) {
      return Fail(KELHID_E_NO_DIRECTORY, std::string(Function) + ": the directory \"" + Shown(Dir) +
                                             "\" does not exist; no setting changed");
    }
    return Fail(KELHID_E_NO_FILE, std::string(Function) + ": no " + std::string(SettingsFileName) +
                                      " in \"" + Shown(Dir) + "\"; the defaults are set");
  });
}

int SaveSettings(const char* Function, const wchar_t* Dir) {
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Dir == nullptr) return MissingArgument(Function, "the directory");
    if (!SaveHIDSettings(Engine, Dir)) {
      return Fail(KELHID_E_NO_DIRECTORY, std::string(Function) + ": the directory \"" + Shown(Dir) +
                                             "\" does not exist; nothing written");
    }
    return KELHID_OK;
  });
}

int ShowSetup(const char* Function, const wchar_t* Dir, unsigned int* DeviceKey) {
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Dir == nullptr) return MissingArgument(Function, "the directory");
    if (DeviceKey == nullptr) return MissingArgument(Function, "DeviceKey");
    *DeviceKey = 0;
    uint32_t key = 0;
    {
      const TDialogRun run;
      key = ShowHIDSetup(&Engine, std::wstring_view(Dir), DialogOwner());
    }
    if (key == 0) {
      return Fail(KELHID_E_CANCELLED, std::string(Function) +
                                          ": nothing was saved (cancelled, no receiver chosen, "
                                          "or no compatible device)");
    }
    *DeviceKey = key;
    return KELHID_OK;
  });
}

}  // namespace

extern "C" {

int WINAPI KelHID_GetApiVersion(void) {
  return KELHID_API_VERSION;
}

int WINAPI KelHID_SaveHIDSettings(const char* Dir) {
  constexpr const char* Function = "KelHID_SaveHIDSettings";
  std::wstring dir;
  try {
    if (Dir != nullptr) dir = WidenAnsi(Dir);
  } catch (...) {
    return Failed(Function);
  }
  return SaveSettings(Function, Dir != nullptr ? dir.c_str() : nullptr);
}

int WINAPI KelHID_SaveHIDSettingsW(const wchar_t* Dir) {
  return SaveSettings("KelHID_SaveHIDSettingsW", Dir);
}

int WINAPI KelHID_LoadHIDSettingsW(const wchar_t* Dir) {
  return LoadSettings("KelHID_LoadHIDSettingsW", Dir);
}

int WINAPI KelHID_ShowHIDSetupW(const wchar_t* Dir, unsigned int* DeviceKey) {
  return ShowSetup("KelHID_ShowHIDSetupW", Dir, DeviceKey);
}

int WINAPI KelHID_CopyLastErrorText(char* Buf, int Size) {
  // A refusal here leaves the text alone: it is what the caller wants to read.
  if (Buf == nullptr || Size <= 0) return KELHID_E_ARGUMENT;
  const std::string_view text = ErrorTexts.Text();
  const size_t length = std::min(text.size(), static_cast<size_t>(Size) - 1);
  std::memcpy(Buf, text.data(), length);
  Buf[length] = '\0';
  return static_cast<int>(text.size());
}

int WINAPI KelHID_SetOwnerWindow(HWND Owner) {
  constexpr const char* Function = "KelHID_SetOwnerWindow";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& /*Engine*/) {
    if (Owner != nullptr) {
      DWORD process = 0;
      if (!IsWindow(Owner) || GetWindowThreadProcessId(Owner, &process) == 0 ||
          process != GetCurrentProcessId()) {
        return Fail(KELHID_E_ARGUMENT,
                    std::string(Function) + ": the owner is no window of this process");
      }
      // A dialog is owned by a top-level window: a child's is taken.
      Owner = GetAncestor(Owner, GA_ROOT);
    }
    Library().Owner = Owner;
    return KELHID_OK;
  });
}

}  // extern "C"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE /*Instance*/, DWORD Reason, LPVOID Reserved) {
  switch (Reason) {
    case DLL_PROCESS_ATTACH:
      ErrorTexts.Attach();
      break;
    case DLL_THREAD_DETACH:
      ErrorTexts.ThreadEnds();
      break;
    case DLL_PROCESS_DETACH:
      // At the process's end the other threads are gone already and so is the heap's care.
      if (Reserved == nullptr) ErrorTexts.Detach();
      break;
    default:
      break;
  }
  return TRUE;
}

}  // extern "C"
