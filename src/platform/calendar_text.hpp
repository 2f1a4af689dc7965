#pragma once

#include <cstdint>
#include <string>

namespace tabvora::internal {

// The date and time texts both workbook forms show for serial dates (days counted as in
// civil_calendar.hpp).
class CalendarText {
 public:
  // Appends "yyyy-mm-dd" for the day `days` after 1970-01-01.
  static void appendDate(std::string& out, std::int64_t days);
  // Appends "hh:mm:ss" for `seconds` into a day (0 to 86,399).
  static void appendTime(std::string& out, std::int64_t seconds);
};

}  // namespace tabvora::internal
