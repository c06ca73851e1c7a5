#include "engine/DateTime.h"

#include <cmath>

namespace {

// Days from 1970-01-01 to a civil date (Howard Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// 1899-12-30 is day 0 of the date-time scale.
const int64_t EpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDateTime(const TCivilTime& Time) {
  const int64_t days = DaysFromCivil(Time.Year, Time.Month, Time.Day) - EpochDays;
  const int64_t ms =
      ((int64_t{Time.Hour} * 60 + Time.Minute) * 60 + Time.Second) * 1000 + Time.MilliSecond;
  return static_cast<double>(days) + static_cast<double>(ms) / MSecsPerDay;
}

int64_t MilliSecondsBetween(double A, double B) {
  const double span = std::fabs(A - B) * MSecsPerDay;
  if (!(span < 9.0e18)) return INT64_MAX;  // also NaN
  return std::llround(span);
}
