// The event queue's bound and the key holds behind press, repeat and release.
#include <gtest/gtest.h>

#include <array>

#include "engine/ReportDecoding.h"
#include "library/KeyEvents.h"

namespace {

THostEvent Code(uint32_t N, uint32_t Flags = 0) {
  return THostEvent{ekCode, N, 0, Flags, N};
}

TEST(HostEventQueue, KeepsOrderAndTellsWhenItWasEmpty) {
  THostEventQueue queue(4);
  EXPECT_TRUE(queue.Push(Code(1)));
  EXPECT_FALSE(queue.Push(Code(2)));
  THostEvent got;
  ASSERT_TRUE(queue.Pop(got));
  EXPECT_EQ(got, Code(1));
  ASSERT_TRUE(queue.Pop(got));
  EXPECT_EQ(got, Code(2));
  EXPECT_FALSE(queue.Pop(got));
  EXPECT_TRUE(queue.Push(Code(3)));  // empty again
}

TEST(HostEventQueue, WhenFullTheOldestGoAndTheNextTakenCarriesTheOverflow) {
  for (const size_t capacity : {size_t{1}, size_t{3}, THostEventQueue::DefaultCapacity}) {
    THostEventQueue queue(capacity);
    const uint32_t pushed = static_cast<uint32_t>(capacity) + 5;
    for (uint32_t n = 1; n <= pushed; ++n) queue.Push(Code(n));
    EXPECT_EQ(queue.Size(), capacity);
    THostEvent got;
    ASSERT_TRUE(queue.Pop(got));
    EXPECT_EQ(got, Code(6, efOverflow)) << capacity;  // 1..5 went
    for (uint32_t n = 7; n <= pushed; ++n) {
      ASSERT_TRUE(queue.Pop(got));
      EXPECT_EQ(got, Code(n)) << capacity;
    }
    EXPECT_FALSE(queue.Pop(got));
  }
}

TEST(ReportDecoding, APressAndItsHeldReportsGiveTheSamePressCode) {
  // A nine-byte report as a receiver sends it, pressed and held, and a three-byte one.
  std::array<uint8_t, 8> press{0x4B, 0x0B, 0x10, 0, 0, 0, 0, 0};
  std::array<uint8_t, 8> held = press;
  held[2] |= 0x80;
  const TReportCode p = DecodeReport(press, false, 0);
  const TReportCode h = DecodeReport(held, false, 0);
  EXPECT_EQ(p.Code1, 2864u);
  EXPECT_EQ(h.Code1, 2992u);
  EXPECT_EQ(PressCode1(p, press.size()), 2864u);
  EXPECT_EQ(PressCode1(h, held.size()), 2864u);
  const std::array<uint8_t, 3> shortHeld{0x4B, 0x0B, 0x90};
  const TReportCode s = DecodeReport(shortHeld, false, 0);
  EXPECT_TRUE(s.Held);
  EXPECT_EQ(PressCode1(s, shortHeld.size()), s.Code1);
}

class KeyHolds : public ::testing::Test {
 protected:
  // A report of key N at Ms, accepted or not; the release it ends, if any.
  std::optional<THostEvent> Report(uint32_t N, uint64_t Ms, bool Accept, bool Held) {
    auto released = Holds.Report(N, 75, Ms);
    if (Accept) Accepted.push_back(Holds.Accepted(Held, Ms));
    return released;
  }
  TKeyHolds Holds;
  std::vector<THostEvent> Accepted;
};

TEST_F(KeyHolds, AHeldKeyGivesOneCodeThenRepeatsThenOneReleaseAfterItsReportsStop) {
  // Reports every 108 ms for a second; the gate lets the press and every fifth one through.
  for (uint64_t i = 0; i < 10; ++i) {
    EXPECT_FALSE(Report(2864, 1000 + i * 108, i % 5 == 0, i > 0));
    EXPECT_FALSE(Holds.Due(1000 + i * 108 + 107));
  }
  ASSERT_EQ(Accepted.size(), 2u);
  EXPECT_EQ(Accepted[0], (THostEvent{ekCode, 2864, 75, 0, 1000}));
  EXPECT_EQ(Accepted[1], (THostEvent{ekCode, 2864, 75, efRepeat, 1540}));
  const uint64_t last = 1000 + 9 * 108;
  EXPECT_EQ(Holds.ReleaseAfterMs(), TKeyHolds::QuietMs + 108);
  ASSERT_EQ(Holds.NextDue(), last + 258);
  EXPECT_FALSE(Holds.Due(last + 257));
  EXPECT_EQ(Holds.Due(last + 300), (THostEvent{ekRelease, 2864, 75, 0, last + 258}));
  EXPECT_FALSE(Holds.Due(last + 1000));  // once
  EXPECT_FALSE(Holds.NextDue());
}

TEST_F(KeyHolds, BeforeAnyRepeatWasSeenTheReleaseWaitsTheLongestAndItNeverExceedsIt) {
  Report(2864, 0, true, false);
  EXPECT_EQ(Holds.NextDue(), TKeyHolds::MostMs);
  // A receiver that repeats slowly: the wait stays at the most.
  Report(2864, 350, false, true);
  EXPECT_EQ(Holds.ReleaseAfterMs(), TKeyHolds::MostMs);
  EXPECT_EQ(Holds.NextDue(), 350 + TKeyHolds::MostMs);
  Report(2864, 350 + 499, false, true);  // a pause within a hold is no period
  EXPECT_EQ(Holds.ReleaseAfterMs(), TKeyHolds::MostMs);
}

TEST_F(KeyHolds, AnotherKeyEndsTheHoldAtOnceAndAQuietGapEndsItLate) {
  Report(2864, 0, true, false);
  Report(2864, 108, false, true);
  const auto byOther = Report(2865, 150, true, false);
  ASSERT_TRUE(byOther);
  EXPECT_EQ(*byOther, (THostEvent{ekRelease, 2864, 75, 0, 150}));
  // The same key again after a pause that a timer did not see yet: released where it was due.
  const auto late = Report(2865, 150 + 1000, true, false);
  ASSERT_TRUE(late);
  EXPECT_EQ(*late, (THostEvent{ekRelease, 2865, 75, 0, 150 + 258}));
}

TEST_F(KeyHolds, HoldsWithoutAnAcceptedCodeEndSilently) {
  // Refused by the gate from the start: no code was announced, so no release either.
  Report(2864, 0, false, false);
  EXPECT_FALSE(Holds.NextDue());
  EXPECT_FALSE(Report(2865, 50, true, false));
  EXPECT_EQ(Holds.End(60), (THostEvent{ekRelease, 2865, 75, 0, 60}));
  EXPECT_FALSE(Holds.End(70));
}

}  // namespace
