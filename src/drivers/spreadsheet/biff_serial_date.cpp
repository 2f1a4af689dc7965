#include "drivers/spreadsheet/biff_serial_date.hpp"

#include <cmath>
#include <cstdint>

namespace tabvora {

namespace {

constexpr double kFirstSerialPastRange = 2'958'466.0;
constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kPhantomLeapDay = 60;
// Days from 1970-01-01 back to the origins the two systems count from.
constexpr std::int64_t kDays1899_12_30 = -25'569;
constexpr std::int64_t kDays1899_12_31 = -25'568;
constexpr std::int64_t kDays1904_01_01 = -24'107;

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

// Appends the proleptic Gregorian date of a count of days since 1970-01-01 (eras of 400
// years hold 146,097 days).
void appendCivilDate(std::string& out, std::int64_t days) {
  days += 719'468;
  const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const std::int64_t dayOfEra = days - era * 146'097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const std::int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  appendDigits(out, yearOfEra + era * 400 + (month <= 2), 4);
  out += '-';
  appendDigits(out, month, 2);
  out += '-';
  appendDigits(out, day, 2);
}

void appendTime(std::string& out, std::int64_t seconds) {
  appendDigits(out, seconds / 3600, 2);
  out += ':';
  appendDigits(out, seconds / 60 % 60, 2);
  out += ':';
  appendDigits(out, seconds % 60, 2);
}

}  // namespace

bool formatBIFFSerialDate(double serial, bool timeOnly, bool uses1904Dates, std::string& out) {
  if (!std::isfinite(serial) || serial < 0 || serial >= kFirstSerialPastRange) return false;
  const std::int64_t total = std::llround(serial * kSecondsPerDay);
  const std::int64_t days = total / kSecondsPerDay;
  const std::int64_t seconds = total - days * kSecondsPerDay;
  if (timeOnly && total < kSecondsPerDay) {
    appendTime(out, seconds);
    return true;
  }
  if (uses1904Dates) {
    appendCivilDate(out, kDays1904_01_01 + days);
  } else if (days == kPhantomLeapDay) {
    out += "1900-02-29";
  } else if (days > kPhantomLeapDay) {
    appendCivilDate(out, kDays1899_12_30 + days);
  } else if (days > 0) {
    appendCivilDate(out, kDays1899_12_31 + days);
  } else {
    if (total == 0) return false;
    appendTime(out, seconds);
    return true;
  }
  if (seconds != 0) {
    out += ' ';
    appendTime(out, seconds);
  }
  return true;
}

}  // namespace tabvora
