// Dates and byte counts as people read them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/byte_count.hpp"
#include "platform/iso8601.hpp"

namespace tabvora {
namespace {

TEST(ISO8601, FormatsUTCWithAndWithoutMilliseconds) {
  EXPECT_EQ(formatISO8601(1705314600, false), "2024-01-15T10:30:00Z");
  EXPECT_EQ(formatISO8601(1705314600, true), "2024-01-15T10:30:00.000Z");
  EXPECT_EQ(formatISO8601(0, true), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(formatISO8601(951782400, false), "2000-02-29T00:00:00Z");  // leap day
  EXPECT_EQ(formatISO8601(253402300799, false), "9999-12-31T23:59:59Z");
}

TEST(ISO8601, NegativeTimesCountBackFrom1970) {
  EXPECT_EQ(formatISO8601(-1, false), "1969-12-31T23:59:59Z");
  EXPECT_EQ(formatISO8601(-0.5, true), "1969-12-31T23:59:59.500Z");
  EXPECT_EQ(formatISO8601(-62135596800, false), "0001-01-01T00:00:00Z");
  EXPECT_EQ(formatISO8601(-62135596801, false), "0000-12-31T23:59:59Z");
}

TEST(ISO8601, RoundsToTheNearestMillisecondOnce) {
  EXPECT_EQ(formatISO8601(1.2344, true), "1970-01-01T00:00:01.234Z");
  EXPECT_EQ(formatISO8601(1.2346, true), "1970-01-01T00:00:01.235Z");
  // A day fraction that lands a hair below the minute still shows the minute.
  EXPECT_EQ(formatISO8601(59.99996, true), "1970-01-01T00:01:00.000Z");
  EXPECT_EQ(formatISO8601(59.99996, false), "1970-01-01T00:01:00Z");
  EXPECT_EQ(formatISO8601(59.9994, false), "1970-01-01T00:00:59Z");
}

TEST(ISO8601, OutOfRangeValuesStayWellFormed) {
  EXPECT_EQ(formatISO8601(std::numeric_limits<double>::quiet_NaN(), false), "1970-01-01T00:00:00Z");
  const std::string far = formatISO8601(std::numeric_limits<double>::infinity(), true);
  EXPECT_EQ(far.back(), 'Z');
  EXPECT_EQ(formatISO8601(-std::numeric_limits<double>::infinity(), false).front(), '-');
  EXPECT_EQ(formatISO8601(253402300800, false), "10000-01-01T00:00:00Z");
}

TEST(ByteCount, SmallCountsInBytes) {
  EXPECT_EQ(formatByteCount(0), "Zero KB");
  EXPECT_EQ(formatByteCount(1), "1 byte");
  EXPECT_EQ(formatByteCount(12), "12 bytes");
  EXPECT_EQ(formatByteCount(999), "999 bytes");
  EXPECT_EQ(formatByteCount(-12), "-12 bytes");
}

TEST(ByteCount, DecimalUnitsWithTheirPrecision) {
  EXPECT_EQ(formatByteCount(1000), "1 KB");
  EXPECT_EQ(formatByteCount(1499), "1 KB");
  EXPECT_EQ(formatByteCount(1500), "2 KB");
  EXPECT_EQ(formatByteCount(999'499), "999 KB");
  EXPECT_EQ(formatByteCount(4'200'000), "4.2 MB");
  EXPECT_EQ(formatByteCount(4'000'000), "4 MB");
  EXPECT_EQ(formatByteCount(4'049'999), "4 MB");
  EXPECT_EQ(formatByteCount(4'050'000), "4.1 MB");
  EXPECT_EQ(formatByteCount(1'230'000'000), "1.23 GB");
  EXPECT_EQ(formatByteCount(1'200'000'000), "1.2 GB");
  EXPECT_EQ(formatByteCount(5'000'000'000'000), "5 TB");
}

TEST(ByteCount, RoundingCarriesIntoTheNextUnit) {
  EXPECT_EQ(formatByteCount(999'500), "1 MB");
  EXPECT_EQ(formatByteCount(999'950'000), "1 GB");
  EXPECT_EQ(formatByteCount(999'995'000'000), "1 TB");
}

TEST(ByteCount, ExtremesDoNotOverflow) {
  EXPECT_EQ(formatByteCount(std::numeric_limits<std::int64_t>::max()), "9.22 EB");
  EXPECT_EQ(formatByteCount(std::numeric_limits<std::int64_t>::min()), "-9.22 EB");
}

}  // namespace
}  // namespace tabvora
