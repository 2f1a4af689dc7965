// Dates and byte counts as people read them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <tuple>

#include "platform/byte_count.hpp"
#include "platform/civil_calendar.hpp"
#include "platform/iso8601.hpp"

namespace tabvora::internal {
namespace {

TEST(ISO8601, FormatsUTCWithAndWithoutMilliseconds) {
  struct Case {
    double seconds;
    bool milliseconds;
    const char* expected;
  };
  const Case cases[] = {
      {1705314600, false, "2024-01-15T10:30:00Z"},
      {1705314600, true, "2024-01-15T10:30:00.000Z"},
      {0, true, "1970-01-01T00:00:00.000Z"},
      {951782400, false, "2000-02-29T00:00:00Z"},  // leap day
      {253402300799, false, "9999-12-31T23:59:59Z"},
      {253402300800, false, "10000-01-01T00:00:00Z"},
      // Negative times count back from 1970.
      {-1, false, "1969-12-31T23:59:59Z"},
      {-0.5, true, "1969-12-31T23:59:59.500Z"},
      {-62135596800, false, "0001-01-01T00:00:00Z"},
      {-62135596801, false, "0000-12-31T23:59:59Z"},
      // Rounded to the nearest millisecond once: a hair below the minute still shows the minute.
      {1.2344, true, "1970-01-01T00:00:01.234Z"},
      {1.2346, true, "1970-01-01T00:00:01.235Z"},
      {59.99996, true, "1970-01-01T00:01:00.000Z"},
      {59.99996, false, "1970-01-01T00:01:00Z"},
      {59.9994, false, "1970-01-01T00:00:59Z"},
      {std::numeric_limits<double>::quiet_NaN(), false, "1970-01-01T00:00:00Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatISO8601(c.seconds, c.milliseconds), c.expected) << c.seconds;
  // Out-of-range values stay well formed.
  EXPECT_EQ(formatISO8601(std::numeric_limits<double>::infinity(), true).back(), 'Z');
  EXPECT_EQ(formatISO8601(-std::numeric_limits<double>::infinity(), false).front(), '-');
}

TEST(CivilCalendar, OneDayCountForBothDateWriters) {
  const std::tuple<std::int64_t, unsigned, unsigned, std::int64_t> cases[] = {
      {1970, 1, 1, 0}, {2000, 2, 29, 11'016}, {1900, 3, 1, -25'508}, {1899, 12, 30, -25'569}, {-1, 12, 31, -719'529}};
  for (const auto& [year, month, day, days] : cases) {
    EXPECT_EQ(daysFromCivil(year, month, day), days) << year << '-' << month << '-' << day;
    const CivilDate date = civilFromDays(days);
    EXPECT_EQ(std::tuple(date.year, date.month, date.day), std::tuple(year, month, day)) << days;
  }
  // Every day of four centuries (an era, with its leap-year exceptions) reads back.
  for (std::int64_t days = -73'048; days <= 73'048; ++days) {
    const CivilDate date = civilFromDays(days);
    ASSERT_EQ(daysFromCivil(date.year, date.month, date.day), days);
  }
}

TEST(ByteCount, BytesThenDecimalUnitsWithTheirPrecision) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "Zero KB"}, {1, "1 byte"}, {12, "12 bytes"}, {999, "999 bytes"}, {-12, "-12 bytes"},
      {1000, "1 KB"}, {1499, "1 KB"}, {1500, "2 KB"}, {999'499, "999 KB"},
      {4'200'000, "4.2 MB"}, {4'000'000, "4 MB"}, {4'049'999, "4 MB"}, {4'050'000, "4.1 MB"},
      {1'230'000'000, "1.23 GB"}, {1'200'000'000, "1.2 GB"}, {5'000'000'000'000, "5 TB"},
      // Rounding carries into the next unit.
      {999'500, "1 MB"}, {999'950'000, "1 GB"}, {999'995'000'000, "1 TB"},
      // The extremes do not overflow.
      {std::numeric_limits<std::int64_t>::max(), "9.22 EB"}, {std::numeric_limits<std::int64_t>::min(), "-9.22 EB"},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(formatByteCount(bytes), expected) << bytes;
}

}  // namespace
}  // namespace tabvora::internal
