#include "drivers/spreadsheet/xls/biff_serial_date.hpp"

#include <cmath>
#include <cstdint>

#include "platform/calendar_text.hpp"

namespace tabvora::internal {

namespace {

constexpr double kFirstSerialPastRange = 2'958'466.0;
constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kPhantomLeapDay = 60;
// Days from 1970-01-01 back to the origins the two systems count from.
constexpr std::int64_t kDays1899_12_30 = -25'569;
constexpr std::int64_t kDays1899_12_31 = -25'568;
constexpr std::int64_t kDays1904_01_01 = -24'107;

}  // namespace

bool formatBIFFSerialDate(double serial, bool timeOnly, bool uses1904Dates, std::string& out) {
  if (!std::isfinite(serial) || serial < 0 || serial >= kFirstSerialPastRange) return false;
  const std::int64_t total = std::llround(serial * kSecondsPerDay);
  const std::int64_t days = total / kSecondsPerDay;
  const std::int64_t seconds = total - days * kSecondsPerDay;
  if (timeOnly && total < kSecondsPerDay) {
    CalendarText::appendTime(out, seconds);
    return true;
  }
  if (uses1904Dates) {
    CalendarText::appendDate(out, kDays1904_01_01 + days);
  } else if (days == kPhantomLeapDay) {
    out += "1900-02-29";
  } else if (days > kPhantomLeapDay) {
    CalendarText::appendDate(out, kDays1899_12_30 + days);
  } else if (days > 0) {
    CalendarText::appendDate(out, kDays1899_12_31 + days);
  } else {
    if (total == 0) return false;
    CalendarText::appendTime(out, seconds);
    return true;
  }
  if (seconds != 0) {
    out += ' ';
    CalendarText::appendTime(out, seconds);
  }
  return true;
}

}  // namespace tabvora::internal
