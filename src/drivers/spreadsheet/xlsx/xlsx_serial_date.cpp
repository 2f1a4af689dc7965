#include "drivers/spreadsheet/xlsx/xlsx_serial_date.hpp"

#include <cmath>
#include <cstdint>

#include "platform/calendar_text.hpp"
#include "platform/civil_calendar.hpp"

namespace tabvora::internal {

namespace {

constexpr double kFirstSerialPastRange = 2'958'466.0;
constexpr std::int64_t kSecondsPerDay = 86'400;
// Serial 60 is the 29 February 1900 that the 1900 system counts though it never was.
constexpr std::int64_t kPhantomLeapDay = 60;

}  // namespace

bool formatXLSXSerialDate(double serial, bool uses1904Dates, std::string& out) {
  if (!(serial >= 0.0) || serial >= kFirstSerialPastRange) return false;
  const auto total = static_cast<std::int64_t>(std::round(serial * static_cast<double>(kSecondsPerDay)));
  std::int64_t days = total / kSecondsPerDay;
  const std::int64_t seconds = total - days * kSecondsPerDay;
  out.clear();
  if (!uses1904Dates && serial < 1.0) {
    CalendarText::appendTime(out, seconds);
    return true;
  }
  std::int64_t base = daysFromCivil(1904, 1, 1);
  if (!uses1904Dates) {
    base = daysFromCivil(1899, 12, 31);
    if (days >= kPhantomLeapDay) --days;
  }
  CalendarText::appendDate(out, base + days);
  if (seconds != 0) {
    out += ' ';
    CalendarText::appendTime(out, seconds);
  }
  return true;
}

}  // namespace tabvora::internal
