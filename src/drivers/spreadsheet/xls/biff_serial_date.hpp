#pragma once

#include <string>

namespace tabvora::internal {

// The text of a date-formatted cell's serial number in a legacy workbook: "yyyy-mm-dd",
// then " hh:mm:ss" when there is a time of day, or "hh:mm:ss" alone for a time-only
// format below one day. Serials are rounded to the nearest second. In the 1900 system
// serial 1 is 1900-01-01, 60 is shown as the "1900-02-29" the system counts, 61 is
// 1900-03-01, and a serial within day 0 is its time of day (none for exactly 0); in the
// 1904 system serial 0 is 1904-01-01. False, leaving `out` alone, for a negative,
// infinite or NaN serial, from 2,958,466 on, and for 0 itself in the 1900 system.
bool formatBIFFSerialDate(double serial, bool timeOnly, bool uses1904Dates, std::string& out);

}  // namespace tabvora::internal
