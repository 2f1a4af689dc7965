#include "platform/civil_calendar.hpp"

namespace tabvora::internal {

namespace {

constexpr std::int64_t kDaysPerEra = 146'097;
// Days from 0000-03-01, where the algorithms' years start (leap day last), to 1970-01-01.
constexpr std::int64_t kEpochFromMarch0000 = 719'468;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return (a >= 0 ? a : a - (b - 1)) / b; }

}  // namespace

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  const std::int64_t m = month;
  year -= m <= 2;
  const std::int64_t era = floorDiv(year, 400);
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + std::int64_t{day} - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * kDaysPerEra + dayOfEra - kEpochFromMarch0000;
}

CivilDate civilFromDays(std::int64_t days) {
  days += kEpochFromMarch0000;
  const std::int64_t era = floorDiv(days, kDaysPerEra);
  const std::int64_t dayOfEra = days - era * kDaysPerEra;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // from March
  const auto day = static_cast<unsigned>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  const auto month = static_cast<unsigned>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace tabvora::internal
