// A library loaded by name at run time, and the lookup of its entries by name.
#pragma once

#include <windows.h>

class TBoundLibrary {
 public:
  TBoundLibrary() = default;
  TBoundLibrary(const TBoundLibrary&) = delete;
  TBoundLibrary& operator=(const TBoundLibrary&) = delete;
  ~TBoundLibrary() { Free(); }

  // Loads Name (LoadLibraryA) unless a library is loaded already; true when one is.
  bool Load(const char* Name) {
    if (FModule == nullptr) FModule = LoadLibraryA(Name);
    return FModule != nullptr;
  }
  void Free() {
    if (FModule != nullptr) FreeLibrary(FModule);
    FModule = nullptr;
  }
  [[nodiscard]] bool Loaded() const { return FModule != nullptr; }

  // Entry := the entry called Name, or none; true when it was found.
  template <class F>
  bool Lookup(const char* Name, F& Entry) const {
    // GetProcAddress hands every entry out under one generic type; void(*)() is the type a
    // function pointer passes through unchanged on its way to the entry's own type.
    const auto generic = reinterpret_cast<void (*)()>(GetProcAddress(FModule, Name));
    Entry = reinterpret_cast<F>(generic);
    return Entry != nullptr;
  }

 private:
  HMODULE FModule = nullptr;
};
