#pragma once

#include <string>

namespace tabvora::internal {

// The text of a date-formatted cell's serial number: "yyyy-mm-dd", followed by
// " hh:mm:ss" when the serial has a time of day, in the proleptic Gregorian calendar with
// no time zone. In the 1900 system day 1 is 1900-01-01 and day 60 stands for the
// 29 February 1900 that never was (shown as 1900-02-28, like day 59), and a serial below 1
// is a time of day alone ("12:00:00"); in the 1904 system day 0 is 1904-01-01. Serials are
// rounded to the nearest second. False, leaving `out` alone, for a negative, infinite or
// NaN serial and from 2,958,466 (the day after 9999-12-31 in the 1900 system) on.
bool formatXLSXSerialDate(double serial, bool uses1904Dates, std::string& out);

}  // namespace tabvora::internal
