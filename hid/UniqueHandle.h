// Owner of one kernel handle: closed when the owner goes or is given another handle.
//
// Both null and INVALID_HANDLE_VALUE mean "no handle": CreateFileA reports failure with the
// one, CreateThread and CreateEventA with the other.
#pragma once

#include <windows.h>

#include <utility>

class TUniqueHandle {
 public:
  TUniqueHandle() = default;
  explicit TUniqueHandle(HANDLE Handle) : FHandle(Handle) {}
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& Other) noexcept : FHandle(Other.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& Other) noexcept {
    if (this != &Other) Reset(Other.Release());
    return *this;
  }
  ~TUniqueHandle() { Close(); }

  [[nodiscard]] HANDLE Get() const { return FHandle; }
  [[nodiscard]] bool Valid() const { return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }

  // Closes the handle held, if any, and takes Handle.
  void Reset(HANDLE Handle = INVALID_HANDLE_VALUE) {
    if (Valid()) CloseHandle(FHandle);
    FHandle = Handle;
  }
  void Close() { Reset(); }
  // Gives the handle up without closing it.
  [[nodiscard]] HANDLE Release() { return std::exchange(FHandle, INVALID_HANDLE_VALUE); }

 private:
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};
