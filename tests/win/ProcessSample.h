// The process's handle count and private memory, for the soak runs.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <vector>

// NOLINTBEGIN(misc-definitions-in-headers): included by one file of each program.
namespace {

struct TProcessSample {
  DWORD Handles = 0;
  size_t PrivateKB = 0;
};

// The system's list of open handles (NtQuerySystemInformation, class SystemHandleInformation).
struct THandleEntry {
  USHORT ProcessId;
  USHORT CreatorBackTraceIndex;
  UCHAR ObjectTypeIndex;
  UCHAR Attributes;
  USHORT Value;
  PVOID Object;
  ULONG GrantedAccess;
};
struct THandleList {
  ULONG Count;
  THandleEntry Entries[1];
};

// Wine answers GetProcessHandleCount with 0: there the handles are counted in the system's list.
inline DWORD CountHandles() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  using TQuery = LONG(WINAPI*)(ULONG Class, PVOID Buffer, ULONG Length, PULONG Needed);
  const auto query = reinterpret_cast<TQuery>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  constexpr ULONG SystemHandleInformation = 16;
  constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<uint8_t> buffer(1 << 16);
  LONG status = 0;
  for (;;) {
    ULONG needed = 0;
    status =
        query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status != InfoLengthMismatch) break;
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
  }
  if (status < 0) return 0;
  const auto* list = reinterpret_cast<const THandleList*>(buffer.data());
  const DWORD self = GetCurrentProcessId();
  for (ULONG i = 0; i < list->Count; ++i) {
    if (list->Entries[i].ProcessId == self) ++count;
  }
  return count;
}

inline TProcessSample SampleProcess() {
  TProcessSample sample;
  sample.Handles = CountHandles();
  // The commit charge; Windows gives the same as PrivateUsage, Wine only this one.
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) {
    sample.PrivateKB = memory.PagefileUsage / 1024;
  }
  return sample;
}

}  // namespace
// NOLINTEND(misc-definitions-in-headers)
