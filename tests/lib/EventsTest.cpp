// What a host reads from the library besides its messages: the event queue, the receiver's
// unplugging and return, the windowless engine used from any thread, and engines whose thread
// ended.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "lib/LibraryHost.h"
#include "library/KelHID.h"
#include "sim/StandinDevice.h"

namespace {

// A remote's key as the virtual remote sends it: scan code 0x4B, key page 0x0B, the key code
// with bit 7 set while held. Key 0x10 pressed decodes to 2864,75 and held to 2992,75.
std::array<uint8_t, 9> Key(uint8_t Code, bool Held = false) {
  return {0x00, 0x4B, 0x0B, static_cast<uint8_t>(Code | (Held ? 0x80 : 0)), 0, 0, 0, 0, 0};
}

struct TGot {
  int Kind = 0;
  unsigned Code1 = 0, Code2 = 0, Flags = 0, TimeMs = 0;
  [[nodiscard]] std::string Text() const {
    const char* kinds[] = {"?", "state", "code", "release"};
    std::string text =
        std::string(kinds[Kind >= 1 && Kind <= 3 ? Kind : 0]) + " " + std::to_string(Code1);
    if (Kind != KELHID_EVENT_STATE) text += "," + std::to_string(Code2);
    if ((Flags & KELHID_FLAG_REPEAT) != 0) text += " repeat";
    if ((Flags & KELHID_FLAG_OVERFLOW) != 0) text += " overflow";
    return text;
  }
};

class Events : public Library {
 protected:
  void SetUp() override {
    Library::SetUp();
    Folder.Write("KelHID.ini", "[SETUP]\r\nVID=4660\r\nPID=1\r\nDelay=10\r\nHeldDelay=250\r\n");
  }
  // The next event within TimeoutMs; kind 0 when none came.
  TGot Next(unsigned TimeoutMs = 5000) {
    TGot got;
    if (Lib.WaitEvent(TimeoutMs, &got.Kind, &got.Code1, &got.Code2, &got.Flags, &got.TimeMs) !=
        KELHID_OK) {
      got.Kind = 0;
    }
    return got;
  }
  // Events until one reads Text; all of them, the last being Text unless none came in time.
  std::vector<std::string> Until(const std::string& Text, unsigned TimeoutMs = 5000) {
    std::vector<std::string> seen;
    for (;;) {
      const TGot got = Next(TimeoutMs);
      if (got.Kind == 0) return seen;
      seen.push_back(got.Text());
      if (seen.back() == Text) return seen;
    }
  }
  static void Broadcast() { PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, 0x0007, 0); }
  // A windowless engine with the test's settings. A new engine looks at the device list once,
  // by a posted message that the calls of other threads overtake; with Plugged given, this
  // waits until that look has reached the receiver, so that its queries are over before a
  // test sends a report that only the reader is to take.
  void Windowless(const TStandinDevice* Plugged = nullptr) {
    ASSERT_EQ(Lib.Create(nullptr), KELHID_OK);
    ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
    for (int i = 0; Plugged != nullptr && Plugged->Connections() == 0 && i < 500; ++i) Sleep(20);
  }
};

TEST_F(Events, AHeldKeyGivesOneCodeThenRepeatsThenARelease) {
  TStandinDevice receiver;
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
  ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
  // A host that drains the queue each time the window is told.
  std::vector<std::string> seen;
  int told = 0;
  OnEvent = [&] {
    ++told;
    for (TGot got = Next(0); got.Kind != 0; got = Next(0)) seen.push_back(got.Text());
  };
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"state 2", "state 3"}));
  // Held for about a second, one report every 50 ms, then let go.
  ASSERT_TRUE(receiver.SendToReader(Key(0x10)));
  for (int i = 0; i < 20; ++i) {
    PumpUntil([] { return false; }, 50);
    ASSERT_TRUE(receiver.SendToReader(Key(0x10, true)));
  }
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty() && seen.back() == "release 2864,75"; }));
  // The messages say what the engine says: the held reports' own pair.
  EXPECT_TRUE(Arrived("code 2864,75"));
  EXPECT_TRUE(Arrived("code 2992,75"));
  seen.erase(seen.begin(), seen.begin() + 2);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), "code 2864,75");
  for (size_t i = 1; i + 1 < seen.size(); ++i) EXPECT_EQ(seen[i], "code 2864,75 repeat") << i;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "release 2864,75"), 1);
  EXPECT_GE(told, 2);
  EXPECT_LT(told, static_cast<int>(seen.size()) + 2);  // not for every event of a batch
}

TEST_F(Events, TheWindowlessEngineTakesCallsFromAnyThreadWithTheirOwnErrorTexts) {
  TStandinDevice receiver;
  Windowless(&receiver);
  std::atomic<bool> received{false};
  std::vector<std::string> seen;
  std::thread reader([&] {
    seen = Until("code 2864,75");
    received = true;
  });
  std::thread driver([&] {
    EXPECT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
    int state = 0;
    EXPECT_EQ(Lib.GetState(&state), KELHID_OK);
    EXPECT_EQ(state, KELHID_STATE_GET);
    EXPECT_EQ(Lib.GetSetting(99, &state), KELHID_E_ARGUMENT);
    EXPECT_NE(Lib.Error().find("unknown settings field 99"), std::string::npos);
    EXPECT_TRUE(receiver.SendToReader(Key(0x10)));
  });
  driver.join();
  reader.join();
  EXPECT_TRUE(received);
  EXPECT_EQ(seen, (std::vector<std::string>{"state 2", "state 3", "code 2864,75"}));
  EXPECT_EQ(Lib.Error(), "");  // the driver's failure is the driver's
  unsigned code1 = 0, code2 = 0;
  EXPECT_EQ(Lib.GetCode(&code1, &code2), KELHID_OK);
  EXPECT_EQ(code1, 2864u);
  int kind = 0;
  EXPECT_EQ(Lib.WaitEvent(0, &kind, nullptr, nullptr, nullptr, nullptr), KELHID_E_TIMEOUT);
  EXPECT_EQ(Lib.Free(), KELHID_OK);
  EXPECT_EQ(Lib.WaitEvent(0, &kind, nullptr, nullptr, nullptr, nullptr), KELHID_E_NO_ENGINE);
}

TEST_F(Events, AWindowlessEnginesDialogRunsWhileTheCallerAnswersItsMessages) {
  TStandinDevice receiver;
  Windowless(&receiver);
  ASSERT_EQ(Lib.OpenDevice(), KELHID_OK);
  EXPECT_EQ(Until("state 2").size(), 1u);
  // While the capture is open the caller's window is sent a message by another thread (as a
  // dialog it owns would be), and the engine is busy for other callers.
  LRESULT answered = 0;
  int busy = 0;
  std::thread user([&] {
    const HWND dialog = WaitForCapture();
    EXPECT_NE(dialog, nullptr);
    answered = SendMessageA(Target, WM_GETTEXTLENGTH, 0, 0) + 1;
    busy = Lib.StopReceiving();
    EXPECT_TRUE(receiver.SendToReader(Key(0x10)));
    EXPECT_TRUE(CaptureEnded(dialog)) << "the capture took no code";
  });
  unsigned code1 = 0, code2 = 0;
  EXPECT_EQ(Lib.GetIRCode(FALSE, FALSE, FALSE, &code1, &code2), KELHID_OK) << Lib.Error();
  user.join();
  EXPECT_EQ(code1 * 100 + code2, 286475u);
  EXPECT_EQ(answered, 1);
  EXPECT_EQ(busy, KELHID_E_BUSY);
  // The capture's own codes and states are not the host's events.
  EXPECT_EQ(Next(300).Kind, 0);
}

TEST_F(Events, AWaiterIsWokenWhenTheEngineIsFreed) {
  Windowless();
  int result = 0;
  std::thread waiter([&] {
    int kind = 0;
    result = Lib.WaitEvent(INFINITE, &kind, nullptr, nullptr, nullptr, nullptr);
  });
  Sleep(50);
  EXPECT_EQ(Lib.Free(), KELHID_OK);
  waiter.join();
  EXPECT_EQ(result, KELHID_E_NO_ENGINE);
}

TEST_F(Events, UnpluggedThenPluggedBackTheReceptionResumes) {
  TStandinDevice receiver;
  Windowless(&receiver);
  int value = 0;
  EXPECT_EQ(Lib.GetSetting(KELHID_AUTO_RESUME, &value), KELHID_OK);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
  ASSERT_TRUE(receiver.SendToReader(Key(0x10)));
  EXPECT_EQ(Until("code 2864,75").size(), 3u);
  // Pulled out with no notice from the system: the failing reads tell.
  receiver.Unplug();
  EXPECT_EQ(Until("state 5"), (std::vector<std::string>{"release 2864,75", "state 5"}));
  EXPECT_EQ(Lib.GetState(&value), KELHID_OK);
  EXPECT_EQ(value, KELHID_STATE_UNPLUGGED);
  receiver.Plug();
  Broadcast();
  EXPECT_EQ(Until("state 3"), (std::vector<std::string>{"state 2", "state 3"}));
  ASSERT_TRUE(receiver.SendToReader(Key(0x11)));
  EXPECT_EQ(Until("code 2865,75"), (std::vector<std::string>{"code 2865,75"}));
  // Without resuming, the receiver stays away after its return.
  ASSERT_EQ(Lib.SetSetting(KELHID_AUTO_RESUME, 0), KELHID_OK);
  receiver.Unplug();
  Broadcast();
  EXPECT_EQ(Until("state 5"), (std::vector<std::string>{"release 2865,75", "state 5"}));
  receiver.Plug();
  Broadcast();
  EXPECT_EQ(Next(500).Kind, 0);
  EXPECT_EQ(Lib.GetState(&value), KELHID_OK);
  EXPECT_EQ(value, KELHID_STATE_UNPLUGGED);
}

TEST_F(Events, AOneShotAskedForBeforeTheReceiverCameIsStartedWhenItComes) {
  TStandinDevice receiver({}, false);
  Windowless();
  ASSERT_EQ(Lib.StartReceiving(KELHID_ONE_SHOT), KELHID_E_NOT_FOUND);
  receiver.Plug();
  Broadcast();
  EXPECT_EQ(Until("state 3"), (std::vector<std::string>{"state 2", "state 3"}));
  ASSERT_TRUE(receiver.SendToReader(Key(0x10)));
  const std::vector<std::string> seen = Until("state 4");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), "code 2864,75");
  EXPECT_EQ(seen.back(), "state 4");
}

TEST_F(Events, WakingFromSleepOpensTheReceiverAfresh) {
  TStandinDevice receiver;
  Windowless(&receiver);
  ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
  EXPECT_EQ(Until("state 3").size(), 2u);
  PostMessageA(HWND_BROADCAST, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  EXPECT_EQ(Until("state 3"), (std::vector<std::string>{"state 0", "state 2", "state 3"}));
  ASSERT_TRUE(receiver.SendToReader(Key(0x10)));
  EXPECT_EQ(Until("code 2864,75").size(), 1u);
}

TEST_F(Events, AFullQueueDropsTheOldestAndSaysSo) {
  Windowless();
  for (unsigned i = 1; i <= 1100; ++i) ASSERT_EQ(Lib.PostCode(i, 0), KELHID_OK);
  TGot first = Next(0);
  EXPECT_EQ(first.Text(), "code 77,0 overflow");  // 1100 - 1024 went
  int count = 1;
  for (TGot got = Next(0); got.Kind != 0; got = Next(0)) {
    EXPECT_EQ(got.Flags, 0u);
    ++count;
  }
  EXPECT_EQ(count, 1024);
}

TEST_F(Events, AnEngineWhoseThreadEndedIsTakenOverByTheNextCreate) {
  TStandinDevice receiver;
  std::thread host([&] {
    HWND window =
        CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_EQ(Lib.Create(window), KELHID_OK);
    ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
    ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
    // Ends without KelHID_Free, a report on its way.
    receiver.Send(Key(0x10));
  });
  host.join();
  ASSERT_EQ(Lib.Create(Target), KELHID_OK);
  ASSERT_EQ(Lib.LoadHIDSettings(Folder.Path().c_str()), KELHID_OK);
  ASSERT_EQ(Lib.StartReceiving(KELHID_CONTINUOUS), KELHID_OK);
  ASSERT_TRUE(receiver.SendToReader(Key(0x11)));
  EXPECT_TRUE(Arrived("code 2865,75"));
}

TEST(EventsUnloading, FreeLibraryRightAfterFreeWhileReportsStillArrive) {
  TStandinDevice receiver;
  TTempDir folder;
  folder.Write("KelHID.ini", "[SETUP]\r\nVID=4660\r\nPID=1\r\nDelay=10\r\nHeldDelay=10\r\n");
  std::atomic<bool> done{false};
  std::thread remote([&] {
    for (uint8_t i = 0; !done; ++i) {
      receiver.Send(Key(static_cast<uint8_t>(1 + i % 0x70)));
      Sleep(1);
    }
  });
  for (int round = 0; round < 3; ++round) {
    HMODULE module = LoadLibraryA("KelHID.dll");
    ASSERT_NE(module, nullptr);
    const auto entry = [module](const char* Name) { return GetProcAddress(module, Name); };
    const auto create = reinterpret_cast<decltype(&KelHID_Create)>(
        reinterpret_cast<void (*)()>(entry("KelHID_Create")));
    const auto load = reinterpret_cast<decltype(&KelHID_LoadHIDSettings)>(
        reinterpret_cast<void (*)()>(entry("KelHID_LoadHIDSettings")));
    const auto start = reinterpret_cast<decltype(&KelHID_StartReceiving)>(
        reinterpret_cast<void (*)()>(entry("KelHID_StartReceiving")));
    const auto wait = reinterpret_cast<decltype(&KelHID_WaitEvent)>(
        reinterpret_cast<void (*)()>(entry("KelHID_WaitEvent")));
    const auto free = reinterpret_cast<decltype(&KelHID_Free)>(
        reinterpret_cast<void (*)()>(entry("KelHID_Free")));
    ASSERT_EQ(create(nullptr), KELHID_OK);
    ASSERT_EQ(load(folder.Path().c_str()), KELHID_OK);
    ASSERT_EQ(start(KELHID_CONTINUOUS), KELHID_OK);
    int kind = 0;
    unsigned flags = 0;
    for (int codes = 0; codes < 5;) {
      ASSERT_EQ(wait(5000, &kind, nullptr, nullptr, &flags, nullptr), KELHID_OK);
      if (kind == KELHID_EVENT_CODE) ++codes;
    }
    EXPECT_EQ(free(), KELHID_OK);
    FreeLibrary(module);
    EXPECT_TRUE(PumpUntil([] { return GetModuleHandleA("KelHID.dll") == nullptr; })) << round;
  }
  done = true;
  remote.join();
}

}  // namespace
