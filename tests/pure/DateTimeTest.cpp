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

TEST(DateTime, EveryMonthAndTheCenturyLeapRules) {
  // Day numbers on the scale that starts at 30 December 1899, over four centuries: month ends
  // and the first days of March, in leap years, in the century years that are not leap years
  // (1700, 1900, 2100) and in those that are (1600, 2000, 2400).
  struct {
    int Year, Month, Day;
    double Days;
  } const cases[] = {
      {1600, 1, 1, -109571}, {1600, 2, 29, -109512}, {1600, 3, 1, -109511}, {1700, 2, 28, -72988},
      {1700, 3, 1, -72987},  {1899, 12, 31, 1},      {1900, 2, 28, 60},     {1900, 3, 1, 61},
      {1970, 1, 1, 25569},   {2000, 2, 29, 36585},   {2000, 3, 1, 36586},   {2024, 4, 30, 45412},
      {2025, 5, 31, 45808},  {2025, 6, 30, 45838},   {2025, 7, 31, 45869},  {2025, 8, 31, 45900},
      {2025, 9, 30, 45930},  {2025, 10, 31, 45961},  {2025, 11, 30, 45991}, {2100, 3, 1, 73110},
      {2400, 2, 29, 182682}, {3999, 12, 31, 767010},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeDateTime({c.Year, c.Month, c.Day, 0, 0, 0, 0}), c.Days)
        << c.Year << "-" << c.Month << "-" << c.Day;
  }
}

TEST(DateTime, TimeOfDayIsTheFraction) {
  // 23:59:59.999 is one millisecond short of the next day.
  const double lastMs = EncodeDateTime({2025, 3, 1, 23, 59, 59, 999});
  const double nextDay = EncodeDateTime({2025, 3, 2, 0, 0, 0, 0});
  EXPECT_EQ(MilliSecondsBetween(lastMs, nextDay), 1);
  EXPECT_DOUBLE_EQ(
      EncodeDateTime({2025, 3, 1, 18, 0, 0, 0}) - EncodeDateTime({2025, 3, 1, 0, 0, 0, 0}), 0.75);
  // Across the end of February and the end of a year.
  EXPECT_EQ(MilliSecondsBetween(EncodeDateTime({2024, 2, 29, 23, 0, 0, 0}),
                                EncodeDateTime({2024, 3, 1, 1, 0, 0, 0})),
            7'200'000);
  EXPECT_EQ(MilliSecondsBetween(EncodeDateTime({2025, 12, 31, 23, 59, 59, 900}),
                                EncodeDateTime({2026, 1, 1, 0, 0, 0, 100})),
            200);
}

}  // namespace
