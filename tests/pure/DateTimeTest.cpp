#include "engine/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(DateTime, CountsDaysFromTheLastDayOf1899) {
  EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
  EXPECT_EQ(EncodeDateTime({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
  EXPECT_EQ(EncodeDateTime({2026, 12, 8, 0, 0, 0, 0}), 46364.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 2, 29, 6, 0, 0, 0}), 36585.25);
}

TEST(DateTime, MillisecondsBetweenStampsAreExact) {
  // Every millisecond of a day, against a stamp 500 ms earlier, is exactly 500 ms apart.
  const TCivilTime base{2026, 12, 8, 0, 0, 0, 0};
  for (int ms = 500; ms < 86'400'000; ms += 7919) {
    TCivilTime later = base;
    later.Hour = ms / 3'600'000;
    later.Minute = ms / 60'000 % 60;
    later.Second = ms / 1000 % 60;
    later.MilliSecond = ms % 1000;
    TCivilTime earlier = base;
    const int e = ms - 500;
    earlier.Hour = e / 3'600'000;
    earlier.Minute = e / 60'000 % 60;
    earlier.Second = e / 1000 % 60;
    earlier.MilliSecond = e % 1000;
    ASSERT_EQ(MilliSecondsBetween(EncodeDateTime(later), EncodeDateTime(earlier)), 500)
        << "at " << ms;
  }
}

TEST(DateTime, ElapsedTimeIsAbsolute) {
  const double t = EncodeDateTime({2026, 12, 8, 10, 0, 0, 0});
  const double hourEarlier = EncodeDateTime({2026, 12, 8, 9, 0, 0, 0});
  EXPECT_EQ(MilliSecondsBetween(hourEarlier, t), 3'600'000);
  EXPECT_EQ(MilliSecondsBetween(t, hourEarlier), 3'600'000);
  EXPECT_EQ(MilliSecondsBetween(t, t), 0);
}

TEST(DateTime, LongSpansDoNotWrap) {
  const double a = EncodeDateTime({2026, 1, 1, 0, 0, 0, 0});
  const double b = EncodeDateTime({2026, 1, 26, 0, 0, 0, 0});  // 25 days: over 2^31 ms
  EXPECT_EQ(MilliSecondsBetween(b, a), int64_t{25} * 86'400'000);
  EXPECT_EQ(MilliSecondsBetween(std::nan(""), a), INT64_MAX);
  EXPECT_EQ(MilliSecondsBetween(1e300, 0), INT64_MAX);
}

}  // namespace
