#include "platform/iso8601.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/civil_calendar.hpp"

namespace tabvora::internal {

namespace {

constexpr std::int64_t kMillisPerSecond = 1000;
constexpr std::int64_t kMillisPerDay = 86'400'000;
// Times further than this from 1970 (about 3.2 million years) are clamped to it, so the
// millisecond count always fits an int64 and the year a few digits.
constexpr double kMaxMagnitudeSeconds = 1e14;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

// The time is rounded to the nearest millisecond once; both forms are cut from that value,
// so the form without fractional seconds drops the milliseconds (10:29:59.9996 shows as
// 10:30:00.000 and 10:30:00, 10:29:59.9994 as 10:29:59.999 and 10:29:59). Rounding rather
// than truncating keeps times computed from day fractions (45306.4375 * 86400) from
// showing one millisecond early. Years are astronomical: 0000 is 1 BC, -0001 is 2 BC.
// NaN formats as the epoch; infinities clamp like any far-off time.
std::string formatISO8601(double secondsSince1970, bool fractionalSeconds) {
  double seconds = std::isnan(secondsSince1970) ? 0.0 : secondsSince1970;
  if (seconds > kMaxMagnitudeSeconds) seconds = kMaxMagnitudeSeconds;
  if (seconds < -kMaxMagnitudeSeconds) seconds = -kMaxMagnitudeSeconds;
  const auto totalMillis = static_cast<std::int64_t>(std::llround(seconds * kMillisPerSecond));

  const std::int64_t days = floorDiv(totalMillis, kMillisPerDay);
  const std::int64_t millisOfDay = totalMillis - days * kMillisPerDay;
  const CivilDate date = civilFromDays(days);
  const auto hour = static_cast<int>(millisOfDay / 3'600'000);
  const auto minute = static_cast<int>(millisOfDay / 60'000 % 60);
  const auto second = static_cast<int>(millisOfDay / 1000 % 60);
  const auto millis = static_cast<int>(millisOfDay % 1000);

  char buffer[64];
  int length;
  if (date.year < 0) {
    length = std::snprintf(buffer, sizeof buffer, "-%04lld", static_cast<long long>(-date.year));
  } else {
    length = std::snprintf(buffer, sizeof buffer, "%04lld", static_cast<long long>(date.year));
  }
  length += std::snprintf(buffer + length, sizeof buffer - length, "-%02u-%02uT%02d:%02d:%02d", date.month, date.day,
                          hour, minute, second);
  if (fractionalSeconds) {
    length += std::snprintf(buffer + length, sizeof buffer - length, ".%03d", millis);
  }
  std::string out(buffer, static_cast<std::size_t>(length));
  out += 'Z';
  return out;
}

}  // namespace tabvora::internal
