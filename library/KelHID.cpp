// KelHID.dll: the receiver engine, the settings loader and the dialogs behind a flat C
// interface (KelHID.h) for other programs.
//
// The library holds the process's one engine, DModHID, made and used on one thread. Each
// exported function checks that thread and its arguments, runs the engine operation, and turns
// its outcome or error into a result number and a text; nothing C++ crosses the boundary.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "dialogs/HIDGetIR.h"
#include "dialogs/HIDSetup.h"
#include "engine/DMHID.h"
#include "gui/Application.h"

// Last: its message names are macros, which would rewrite the engine's declarations.
#include "library/KelHID.h"

static_assert(WM_HID_STATUS == 0x04C8 && WM_HID_CODE == 0x04C9);
static_assert(KELHID_STATE_ERROR == rsError && KELHID_STATE_NONE == rsNone &&
              KELHID_STATE_INIT == rsInit && KELHID_STATE_OFF == rsOff &&
              KELHID_STATE_GET == rsGet && KELHID_STATE_OK == rsOk && KELHID_STATE_BUSY == rsBusy);

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

// The library's state besides the engine.
struct TLibrary {
  // The thread that created the engine; 0 while there is none. Other threads read it to refuse
  // their calls.
  std::atomic<DWORD> OwnerThread{0};
  std::unique_ptr<TDModHID> Engine;
  // Keeps the library loaded while the engine and its threads live.
  HMODULE Pin = nullptr;
  // A dialog of the library is open.
  bool InDialog = false;
  // The window that owns the library's dialogs (KelHID_SetOwnerWindow); none: every window of
  // the thread waits while one is open.
  HWND Owner = nullptr;

  TLibrary() = default;
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;
  // An engine its host never freed is left to the end of the process: its threads are gone by
  // then, and waiting for them could hang.
  ~TLibrary() { static_cast<void>(Engine.release()); }
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
  TDialogRun() { Library().InDialog = true; }
  TDialogRun(const TDialogRun&) = delete;
  TDialogRun& operator=(const TDialogRun&) = delete;
  ~TDialogRun() {
    Library().InDialog = false;
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
  if (const int r = CheckTarget(Function, TargetWnd); r != KELHID_OK) return r;
  TLibrary& library = Library();
  DWORD none = 0;
  if (!library.OwnerThread.compare_exchange_strong(none, GetCurrentThreadId())) {
    return Fail(KELHID_E_EXISTS, std::string(Function) +
                                     ": the process has its engine already (only one "
                                     "THidDeviceController allowed per program)");
  }
  try {
    Application().Title = "KelHID";
    Application().OnException = TEvent<void(std::string_view)>(&WindowError, nullptr);
    Application().Initialize();
    library.Engine = std::make_unique<TDModHID>();
    library.Engine->FTargetWnd = TargetWnd;
    DModHID = library.Engine.get();
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&KelHID_Create), &library.Pin);
    return KELHID_OK;
  } catch (...) {
    const int r = Failed(Function);
    DModHID = nullptr;
    library.Engine.reset();
    Application().Finalize();
    library.OwnerThread = 0;
    return r;
  }
}

int WINAPI KelHID_Free(void) {
  TRelease* release = nullptr;
  const int result = WithEngine("KelHID_Free", TAccess::Change, [&](TDModHID& /*Engine*/) {
    TLibrary& library = Library();
    DModHID = nullptr;
    library.Engine.reset();
    Application().Finalize();
    if (library.Pin != nullptr) release = StartRelease(library.Pin);
    library.Pin = nullptr;
    library.OwnerThread = 0;
    return KELHID_OK;
  });
  // The last step in the library: from here on it may go once this thread has left it.
  if (release != nullptr) release->Leaving = true;
  return result;
}

int WINAPI KelHID_SetTargetWindow(HWND TargetWnd) {
  constexpr const char* Function = "KelHID_SetTargetWindow";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (const int r = CheckTarget(Function, TargetWnd); r != KELHID_OK) return r;
    Engine.FTargetWnd = TargetWnd;
    return KELHID_OK;
  });
}

int WINAPI KelHID_LoadHIDSettings(const char* Dir) {
  constexpr const char* Function = "KelHID_LoadHIDSettings";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Dir == nullptr) return MissingArgument(Function, "the directory");
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
    return Engine.OpenDevice() ? KELHID_OK : OpenFailure(Engine);
  });
}

int WINAPI KelHID_StartReceiving(int Mode) {
  constexpr const char* Function = "KelHID_StartReceiving";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
    if (Mode != KELHID_CONTINUOUS && Mode != KELHID_ONE_SHOT) {
      return Fail(KELHID_E_ARGUMENT,
                  std::string(Function) + ": unknown mode " + std::to_string(Mode));
    }
    return Engine.StartReceiving(Mode == KELHID_ONE_SHOT) ? KELHID_OK : OpenFailure(Engine);
  });
}

int WINAPI KelHID_StopReceiving(void) {
  return WithEngine("KelHID_StopReceiving", TAccess::Change, [](TDModHID& Engine) {
    Engine.StopReceiving();
    return KELHID_OK;
  });
}

int WINAPI KelHID_Disconnect(void) {
  return WithEngine("KelHID_Disconnect", TAccess::Change, [](TDModHID& Engine) {
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
  return WithEngine(Function, TAccess::Read, [&](TDModHID& Engine) {
    if (State == nullptr) return MissingArgument(Function, "State");
    *State = Engine.FState;
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
    if (field == nullptr) return UnknownField(Function, Field);
    if (Value == nullptr) return MissingArgument(Function, "Value");
    *Value = field->Get(Engine);
    return KELHID_OK;
  });
}

int WINAPI KelHID_SetSetting(int Field, int Value) {
  constexpr const char* Function = "KelHID_SetSetting";
  return WithEngine(Function, TAccess::Change, [&](TDModHID& Engine) {
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
