#include "remote/LircLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(LircLine, HasTheBytesLircClientsRead) {
  struct TCase {
    TCodePair Code;
    uint32_t Count;
    std::string Button, Remote, Line;
  };
  const TCase cases[] = {
      {{2864, 75}, 0, "KEY_VOLUMEUP", "myremote", "0000004b00000b30 00 KEY_VOLUMEUP myremote\n"},
      {{2864, 75}, 1, "KEY_VOLUMEUP", "myremote", "0000004b00000b30 01 KEY_VOLUMEUP myremote\n"},
      {{2864, 75}, 0x1f, "KEY_UP", "remote", "0000004b00000b30 1f KEY_UP remote\n"},
      {{2864, 75}, 0x100, "KEY_UP", "remote", "0000004b00000b30 100 KEY_UP remote\n"},
      {{0, 0}, 0, "KEY_0", "r", "0000000000000000 00 KEY_0 r\n"},
      {{0xFFFFFFFF, 0xFFFFFFFF}, 0xFFFFFFFF, "K", "r", "ffffffffffffffff ffffffff K r\n"},
      {{1, 0x80000000}, 2, "K", "r", "8000000000000001 02 K r\n"},
      // A code without a name goes out as its pair.
      {{2992, 75}, 0, "", "myremote", "0000004b00000bb0 00 2992,75 myremote\n"},
      // Blanks and control characters would split the line.
      {{1, 2}, 0, "KEY UP", "my\nremote", "0000000200000001 00 KEY_UP my_remote\n"},
      {{1, 2}, 0, "K\t\x7F", "", "0000000200000001 00 K__ remote\n"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(LircLine(c.Code, c.Count, c.Button, c.Remote), c.Line) << c.Line;
  EXPECT_EQ(LircCode({0x11223344, 0x55667788}), 0x5566778811223344ULL);
}

TEST(LircRepeatCounter, CountsTheRepeatsOfOneHeldKey) {
  enum TStep { Press, Repeat, Release };
  struct TEvent {
    TStep Step;
    TCodePair Code;
    uint32_t Count;  // expected, for a press or a repeat
  };
  const TCodePair up{2864, 75}, down{2865, 75};
  const std::vector<TEvent> events = {
      {Repeat, up, 0},  // a repeat with no press before it counts as the press
      {Repeat, up, 1}, {Repeat, up, 2},  {Press, up, 0},   // pressed again
      {Repeat, up, 1}, {Release, up, 0}, {Repeat, up, 0},  // after a release: as a press
      {Repeat, up, 1}, {Press, down, 0}, {Repeat, down, 1}, {Repeat, up, 0},  // other key
      {Repeat, up, 1}, {Press, up, 0},   {Press, up, 0},    {Repeat, up, 1},
  };
  TRepeatCounter counter;
  for (size_t i = 0; i < events.size(); ++i) {
    const TEvent& e = events[i];
    if (e.Step == Release) {
      counter.Release();
      continue;
    }
    EXPECT_EQ(counter.Code(e.Code, e.Step == Repeat), e.Count) << "event " << i;
  }
}

}  // namespace
