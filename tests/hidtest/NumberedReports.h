// What the benchmark and the soak run share: a receiver whose reports carry a sequence number
// through the engine, a clock, pacing, and running the main thread's loop for a while.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "hidtest/HidTestSupport.h"
#include "sim/StandinBus.h"

inline constexpr uint16_t NumberedReportLength = 7;
// The engine hands sequence number n on as the code pair (n + SequenceBias, 0x2201).
inline constexpr uint32_t SequenceBias = 32;

// Seconds on the performance counter.
inline double Ticks() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

// Sequence number n as a report the engine decodes into the code pair (n + 32, 0x2201).
inline std::vector<uint8_t> NumberedReport(uint32_t Sequence) {
  return {0,
          0x01,
          uint8_t(Sequence >> 8),
          uint8_t(Sequence),
          uint8_t(Sequence >> 16),
          uint8_t(Sequence >> 24),
          0x22};
}

inline uint32_t SequenceOf(const uint8_t* Report) {
  return uint32_t{Report[3]} | uint32_t{Report[2]} << 8 | uint32_t{Report[4]} << 16 |
         uint32_t{Report[5]} << 24;
}

// The stand-in receiver the engine is set up for.
inline standin::TDeviceKind NumberedReceiver() {
  standin::TDeviceKind kind;
  kind.VendorID = 0x1234;
  kind.ProductID = 0x0001;
  kind.ReportLength = NumberedReportLength;
  return kind;
}

// Returns at the moment Due (on Ticks), sleeping while it is more than 1.5 ms away.
inline void WaitUntil(double Due) {
  for (double now = Ticks(); now < Due; now = Ticks()) {
    if (Due - now > 0.0015) {
      Sleep(1);
    } else {
      SwitchToThread();
    }
  }
}

// Runs the main thread's loop for Seconds.
inline void RunFor(double Seconds) {
  const double end = Ticks() + Seconds;
  PumpUntil([end] { return Ticks() >= end; }, static_cast<DWORD>(Seconds * 1000) + 1000);
}

// A hidden window of a class of its own, Proc receiving the engine's messages.
inline HWND CreateTargetWindow(WNDPROC Proc, const char* ClassName) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = ClassName;
  RegisterClassA(&wc);
  return CreateWindowExA(0, ClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance,
                         nullptr);
}
