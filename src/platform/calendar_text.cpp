#include "platform/calendar_text.hpp"

#include "platform/civil_calendar.hpp"

namespace tabvora::internal {

namespace {

void appendDigits(std::string& out, std::int64_t value, int width) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int i = count; i < width; ++i) out += '0';
  while (count > 0) out += digits[--count];
}

}  // namespace

void CalendarText::appendDate(std::string& out, std::int64_t days) {
  const CivilDate date = civilFromDays(days);
  appendDigits(out, date.year, 4);
  out += '-';
  appendDigits(out, date.month, 2);
  out += '-';
  appendDigits(out, date.day, 2);
}

void CalendarText::appendTime(std::string& out, std::int64_t seconds) {
  appendDigits(out, seconds / 3600, 2);
  out += ':';
  appendDigits(out, seconds / 60 % 60, 2);
  out += ':';
  appendDigits(out, seconds % 60, 2);
}

}  // namespace tabvora::internal
