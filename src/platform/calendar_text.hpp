#pragma once

#include <cstdint>
#include <string>

namespace tabvora {

// The date and time texts both workbook forms show for serial dates, in the proleptic
// Gregorian calendar with no time zone (exact for every day of 64-bit range; eras of 400
// years hold 146,097 days).
class CalendarText {
 public:
  // Days since 1970-01-01 of the date year-month-day.
  static std::int64_t daysFromCivil(std::int64_t year, int month, int day);
  // Appends "yyyy-mm-dd" for the day `days` after 1970-01-01.
  static void appendDate(std::string& out, std::int64_t days);
  // Appends "hh:mm:ss" for `seconds` into a day (0 to 86,399).
  static void appendTime(std::string& out, std::int64_t seconds);
};

}  // namespace tabvora
