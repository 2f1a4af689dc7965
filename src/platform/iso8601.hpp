#pragma once

#include <string>

namespace tabvora::internal {

// ISO 8601 internet date-time in UTC ending in "Z": 2024-01-15T10:30:00Z, or with three
// fractional digits (2024-01-15T10:30:00.000Z). The time is first rounded to the nearest
// millisecond; the short form then drops the milliseconds. Times before 1970 and past 9999
// are fine (years are astronomical: 0000, -0001); NaN shows as the epoch and times beyond
// a few million years are clamped.
std::string formatISO8601(double secondsSince1970, bool fractionalSeconds);

}  // namespace tabvora::internal
