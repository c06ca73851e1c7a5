#include "sim/StandinDevice.h"

#include <algorithm>

namespace {

std::atomic<uint32_t> NextSerial{1};

// Idle instances kept listening, and the most instances one device has.
constexpr size_t IdleInstances = 6;
constexpr size_t MostInstances = 48;
constexpr DWORD PipeBufferBytes = 64 * 1024;
constexpr DWORD WriteTimeoutMs = 2000;

}  // namespace

void TStandinDevice::Retire(TInstance& Instance) {
  // The record of a cancelled operation is written until the operation has ended.
  CancelIoEx(Instance.Pipe.Get(), nullptr);
  if (!HasOverlappedIoCompleted(&Instance.Overlapped)) {
    DWORD bytes = 0;
    GetOverlappedResult(Instance.Pipe.Get(), &Instance.Overlapped, &bytes, TRUE);
  }
}

TStandinDevice::TStandinDevice(const standin::TDeviceKind& Kind, bool PluggedIn)
    : FStop(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      FDrop(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      FDropped(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      FConnectEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      FWriteEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  FName.Bus = standin::BusName();
  FName.Serial = NextSerial++;
  FName.Kind = Kind;
  FPath = standin::PipePrefix + standin::FormatName(FName);
  if (PluggedIn) Plug();
}

TStandinDevice::~TStandinDevice() {
  Unplug();
}

void TStandinDevice::Plug() {
  if (IsPlugged()) return;
  {
    const std::lock_guard lock(FLock);
    KeepIdle();
  }
  ResetEvent(FStop.Get());
  FServer = std::thread([this] { Serve(); });
  standin::PlugIn(FName);
}

void TStandinDevice::Unplug() {
  if (!IsPlugged()) return;
  standin::Unplug(FName);
  SetEvent(FStop.Get());
  FServer.join();
  const std::lock_guard lock(FLock);
  for (auto& instance : FInstances) Retire(*instance);
  FInstances.clear();
}

void TStandinDevice::AddInstance() {
  const DWORD direction = FName.Kind.Busy ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_DUPLEX;
  auto instance = std::make_unique<TInstance>();
  instance->Pipe.Reset(CreateNamedPipeA(FPath.c_str(), direction | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                        PIPE_UNLIMITED_INSTANCES, PipeBufferBytes, PipeBufferBytes,
                                        0, nullptr));
  instance->Event.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!instance->Pipe || !instance->Event) return;
  FInstances.push_back(std::move(instance));
  Listen(*FInstances.back());
}

void TStandinDevice::Listen(TInstance& Instance) {
  Instance.Connected = false;
  Instance.Gone = false;
  Instance.Query = false;
  Instance.Overlapped = {};
  Instance.Overlapped.hEvent = Instance.Event.Get();
  ResetEvent(Instance.Event.Get());
  if (ConnectNamedPipe(Instance.Pipe.Get(), &Instance.Overlapped)) {
    Connected(Instance);
    return;
  }
  switch (GetLastError()) {
    case ERROR_IO_PENDING:
      return;
    case ERROR_PIPE_CONNECTED:
      Connected(Instance);
      return;
    default:
      // A user came and went before we looked: free the instance and listen once more later.
      DisconnectNamedPipe(Instance.Pipe.Get());
      Instance.Gone = true;
      SetEvent(Instance.Event.Get());
      return;
  }
}

void TStandinDevice::Connected(TInstance& Instance) {
  Instance.Connected = true;
  ++FConnections;
  SetEvent(FConnectEvent.Get());
  Watch(Instance);
}

void TStandinDevice::Watch(TInstance& Instance) {
  Instance.Overlapped = {};
  Instance.Overlapped.hEvent = Instance.Event.Get();
  ResetEvent(Instance.Event.Get());
  // The server of a busy device cannot read; its instances are reclaimed by Reclaim.
  if (FName.Kind.Busy) return;
  // This read ends when the user goes, or when it writes (a query, see Advance).
  if (!ReadFile(Instance.Pipe.Get(), &Instance.Probe, 1, nullptr, &Instance.Overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    Instance.Gone = true;
    SetEvent(Instance.Event.Get());
  }
}

void TStandinDevice::Reclaim() {
  // An empty message reaches a user that is still there and fails for one that has gone.
  for (auto& instance : FInstances) {
    if (!instance->Connected) continue;
    OVERLAPPED overlapped{};
    overlapped.hEvent = FWriteEvent.Get();
    ResetEvent(FWriteEvent.Get());
    DWORD written = 0;
    if (!WriteFile(instance->Pipe.Get(), "", 0, &written, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      DisconnectNamedPipe(instance->Pipe.Get());
      Listen(*instance);
    }
  }
}

void TStandinDevice::KeepIdle() {
  const auto idle = [this] {
    return static_cast<size_t>(std::count_if(FInstances.begin(), FInstances.end(),
                                             [](const auto& i) { return !i->Connected; }));
  };
  if (FName.Kind.Busy && idle() < IdleInstances) Reclaim();
  while (idle() < IdleInstances && FInstances.size() < MostInstances) {
    const size_t before = FInstances.size();
    AddInstance();
    if (FInstances.size() == before) break;
  }
}

void TStandinDevice::Serve() {
  for (;;) {
    std::vector<HANDLE> waits{FStop.Get(), FDrop.Get()};
    std::vector<TInstance*> owners{nullptr, nullptr};
    {
      const std::lock_guard lock(FLock);
      for (auto& instance : FInstances) {
        waits.push_back(instance->Event.Get());
        owners.push_back(instance.get());
      }
    }
    const DWORD r =
        WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE);
    if (r == WAIT_OBJECT_0 || r >= WAIT_OBJECT_0 + waits.size()) return;
    const std::lock_guard lock(FLock);
    if (r == WAIT_OBJECT_0 + 1) {
      Drop();
      KeepIdle();
      SetEvent(FDropped.Get());
      continue;
    }
    Advance(*owners[r - WAIT_OBJECT_0]);
    KeepIdle();
  }
}

void TStandinDevice::Advance(TInstance& Instance) {
  DWORD bytes = 0;
  const bool ok = !Instance.Gone &&
                  GetOverlappedResult(Instance.Pipe.Get(), &Instance.Overlapped, &bytes, FALSE);
  if (!Instance.Connected) {
    if (ok) {
      Connected(Instance);
    } else {
      DisconnectNamedPipe(Instance.Pipe.Get());
      Listen(Instance);
    }
  } else if (ok) {
    // Only the stand-in HID.dll writes, to tell a handle that queries the device.
    Instance.Query = true;
    Watch(Instance);
  } else {
    DisconnectNamedPipe(Instance.Pipe.Get());
    Listen(Instance);
  }
}

bool TStandinDevice::Write(TInstance& Instance, std::span<const uint8_t> Report) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = FWriteEvent.Get();
  ResetEvent(FWriteEvent.Get());
  DWORD written = 0;
  BOOL ok = WriteFile(Instance.Pipe.Get(), Report.data(), static_cast<DWORD>(Report.size()),
                      &written, &overlapped);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    // The pipe is full: the user is not reading.
    if (WaitForSingleObject(FWriteEvent.Get(), WriteTimeoutMs) != WAIT_OBJECT_0) {
      CancelIoEx(Instance.Pipe.Get(), &overlapped);
    }
    ok = GetOverlappedResult(Instance.Pipe.Get(), &overlapped, &written, TRUE);
  }
  return ok && written == Report.size();
}

int TStandinDevice::Send(std::span<const uint8_t> Report) {
  const std::lock_guard lock(FLock);
  int taken = 0;
  for (auto& instance : FInstances) {
    // A query takes no report: nor does a user whose watch ended before the thread saw it
    // (it wrote, so it queries, or it went).
    if (instance->Query || (!FName.Kind.Busy && instance->Connected &&
                            HasOverlappedIoCompleted(&instance->Overlapped)))
      continue;
    if (Write(*instance, Report)) ++taken;
  }
  return taken;
}

bool TStandinDevice::SendToReader(std::span<const uint8_t> Report, DWORD TimeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
  for (;;) {
    if (Send(Report) > 0) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    WaitForSingleObject(FConnectEvent.Get(), static_cast<DWORD>(deadline - now));
  }
}

void TStandinDevice::DropClients() {
  if (!IsPlugged()) return;
  SetEvent(FDrop.Get());
  WaitForSingleObject(FDropped.Get(), INFINITE);
}

void TStandinDevice::Drop() {
  // Users that connected while the request was on its way count too.
  for (auto& instance : FInstances) {
    if (WaitForSingleObject(instance->Event.Get(), 0) == WAIT_OBJECT_0) Advance(*instance);
  }
  // Closing the server end breaks each user's connection; fresh instances take their place.
  std::erase_if(FInstances, [](const auto& instance) {
    if (!instance->Connected) return false;
    Retire(*instance);
    return true;
  });
}
