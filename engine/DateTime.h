// Date-times as the engine keeps them: days since 30 December 1899 as a double, the fraction
// being the time of day, local wall-clock time to the millisecond.
#pragma once

#include <cstdint>

struct TCivilTime {
  int Year, Month, Day, Hour, Minute, Second, MilliSecond;
};

// The date-time of a calendar date and time of day (proleptic Gregorian calendar).
[[nodiscard]] double EncodeDateTime(const TCivilTime& Time);

// Whole milliseconds between two date-times, whichever comes first: a clock set back counts
// as time that has passed. Both stamps have millisecond resolution, so the difference is taken
// to the nearest millisecond rather than truncated, which would turn 500 ms into 499 for many
// pairs of stamps.
[[nodiscard]] int64_t MilliSecondsBetween(double A, double B);

inline constexpr double MSecsPerDay = 86'400'000.0;
