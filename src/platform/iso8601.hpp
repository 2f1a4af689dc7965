#pragma once

#include <string>

namespace tabvora {

// ISO 8601 internet date-time in UTC ending in "Z": 2024-01-15T10:30:00Z, or with three
// fractional digits (2024-01-15T10:30:00.000Z). Any finite number of seconds since 1970
// is accepted, also before 1970 and past 9999.
std::string formatISO8601(double secondsSince1970, bool fractionalSeconds);

}  // namespace tabvora
