// The hand-over of calls from other threads to the main thread, wherever the main thread is: in
// a plain message loop that is not the window layer's, in the layer's own loop, and in a loop of
// the system's that a handler of the layer's loop entered.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gui/Application.h"

namespace {

constexpr int Calls = 50;

// Calls from another thread, one after the other as a reading thread hands its reports over;
// each writes down its number. The thread posts WM_QUIT to Main when it is done.
std::thread Caller(DWORD Main, std::vector<int>& Ran, std::atomic<int>& Returned) {
  return std::thread([Main, &Ran, &Returned] {
    for (int i = 0; i < Calls; ++i) {
      if (Application().Synchronize([&Ran, i] { Ran.push_back(i); })) ++Returned;
    }
    PostThreadMessageA(Main, WM_QUIT, 0, 0);
  });
}

// Ends a loop that a lost wake-up would keep waiting for ever.
struct TWatchdog {
  UINT_PTR Timer = SetTimer(nullptr, 0, 20000, nullptr);
  ~TWatchdog() { KillTimer(nullptr, Timer); }
  [[nodiscard]] bool Fired(const MSG& Message) const {
    return Message.message == WM_TIMER && Message.wParam == Timer;
  }
};

void ExpectEachRanOnceInOrder(const std::vector<int>& Ran, int Returned) {
  EXPECT_EQ(Returned, Calls);
  ASSERT_EQ(Ran.size(), static_cast<size_t>(Calls));
  for (int i = 0; i < Calls; ++i) EXPECT_EQ(Ran[i], i);
}

TEST(Synchronize, CallsReachAPlainMessageLoopOfAHostsOwnEachOnce) {
  std::vector<int> ran;
  std::atomic<int> returned{0};
  const TWatchdog watchdog;
  std::thread caller = Caller(GetCurrentThreadId(), ran, returned);
  MSG msg;
  bool timedOut = false;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (watchdog.Fired(msg)) {
      timedOut = true;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  ASSERT_FALSE(timedOut) << "a call was not handed over";
  caller.join();
  ExpectEachRanOnceInOrder(ran, returned);
  // Wake-ups of calls that had run already find nothing left to run.
  EXPECT_FALSE(Application().CheckSynchronize());
  Application().ProcessMessages();
  EXPECT_EQ(ran.size(), static_cast<size_t>(Calls));
}

TEST(Synchronize, CallsReachTheLayersOwnLoopEachOnce) {
  std::vector<int> ran;
  std::atomic<int> returned{0};
  std::thread caller = Caller(GetCurrentThreadId(), ran, returned);
  const ULONGLONG deadline = GetTickCount64() + 20000;
  while (!Application().Terminated() && GetTickCount64() < deadline) {
    Application().HandleMessage();
  }
  ASSERT_TRUE(Application().ReturnQuit()) << "a call was not handed over";
  MSG quit;
  EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  caller.join();
  ExpectEachRanOnceInOrder(ran, returned);
}

// A handler of the layer's loop shows a message box: a call queued meanwhile runs in the box's
// loop, before the handler returns.
constexpr char Caption[] = "Synchronize test box";
std::atomic<bool> inBox{false};

void CALLBACK ShowBox(HWND /*Window*/, UINT /*Msg*/, UINT_PTR Id, DWORD /*Time*/) {
  KillTimer(nullptr, Id);
  inBox = true;
  MessageBoxA(nullptr, "The main thread is in the box's loop.", Caption, MB_OK);
  inBox = false;
}

TEST(Synchronize, ACallReachesAMessageBoxThatAHandlerOfTheOwnLoopOpened) {
  bool ranInBox = false;
  std::atomic<bool> done{false};
  const auto box = [] {
    HWND found = nullptr;
    for (int i = 0; i < 500 && found == nullptr; ++i) {
      Sleep(20);
      found = FindWindowA(nullptr, Caption);
    }
    return found;
  };
  std::thread caller([&] {
    const HWND shown = box();
    Application().Synchronize([&] { ranInBox = inBox; });
    PostMessageA(shown, WM_COMMAND, IDOK, 0);
    done = true;
  });
  // Should the call never reach the box, the box closes all the same and the call runs late.
  std::thread user([&] {
    const HWND shown = box();
    for (int i = 0; i < 750 && !done; ++i) Sleep(20);
    PostMessageA(shown, WM_COMMAND, IDOK, 0);
  });
  const UINT_PTR timer = SetTimer(nullptr, 0, 1, &ShowBox);
  ASSERT_NE(timer, 0u);
  const ULONGLONG deadline = GetTickCount64() + 20000;
  while (!(done && !inBox) && GetTickCount64() < deadline) {
    Application().ProcessMessages();
    Application().Idle(50);
  }
  caller.join();
  user.join();
  EXPECT_TRUE(ranInBox);
}

}  // namespace
