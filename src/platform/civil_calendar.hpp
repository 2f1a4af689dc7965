#pragma once

#include <cstdint>

namespace tabvora::internal {

// Dates of the proleptic Gregorian calendar as day counts from 1970-01-01, with no time
// zone. Exact for every day of 64-bit range: the calendar repeats in eras of 400 years,
// which hold 146,097 days (H. Hinnant's days_from_civil and civil_from_days). Years are
// astronomical: 0 is 1 BC.
struct CivilDate {
  std::int64_t year = 1970;
  unsigned month = 1;  // 1-12
  unsigned day = 1;    // 1-31
};

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);
CivilDate civilFromDays(std::int64_t days);

}  // namespace tabvora::internal
