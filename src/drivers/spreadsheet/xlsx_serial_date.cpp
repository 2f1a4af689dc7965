#include "drivers/spreadsheet/xlsx_serial_date.hpp"

#include <cmath>
#include <cstdint>

namespace tabvora {

namespace {

constexpr double kFirstSerialPastRange = 2'958'466.0;
constexpr std::int64_t kSecondsPerDay = 86'400;
// Serial 60 is the 29 February 1900 that the 1900 system counts though it never was.
constexpr std::int64_t kPhantomLeapDay = 60;

struct CivilDate {
  std::int64_t year;
  int month;
  int day;
};

// Days since 1970-01-01 of a proleptic Gregorian date, and back (exact for every date of
// 64-bit range; eras of 400 years hold 146,097 days).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146'097 + dayOfEra - 719'468;
}

CivilDate civilFromDays(std::int64_t days) {
  days += 719'468;
  const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const std::int64_t dayOfEra = days - era * 146'097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  return {yearOfEra + era * 400 + (month <= 2), month, day};
}

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

void appendTime(std::string& out, std::int64_t seconds) {
  appendDigits(out, seconds / 3600, 2);
  out += ':';
  appendDigits(out, seconds / 60 % 60, 2);
  out += ':';
  appendDigits(out, seconds % 60, 2);
}

}  // namespace

bool formatXLSXSerialDate(double serial, bool uses1904Dates, std::string& out) {
  if (!(serial >= 0.0) || serial >= kFirstSerialPastRange) return false;
  const auto total = static_cast<std::int64_t>(std::round(serial * static_cast<double>(kSecondsPerDay)));
  std::int64_t days = total / kSecondsPerDay;
  const std::int64_t seconds = total - days * kSecondsPerDay;
  out.clear();
  if (!uses1904Dates && serial < 1.0) {
    appendTime(out, seconds);
    return true;
  }
  std::int64_t base = daysFromCivil(1904, 1, 1);
  if (!uses1904Dates) {
    base = daysFromCivil(1899, 12, 31);
    if (days >= kPhantomLeapDay) --days;
  }
  const CivilDate date = civilFromDays(base + days);
  appendDigits(out, date.year, 4);
  out += '-';
  appendDigits(out, date.month, 2);
  out += '-';
  appendDigits(out, date.day, 2);
  if (seconds != 0) {
    out += ' ';
    appendTime(out, seconds);
  }
  return true;
}

}  // namespace tabvora
