#pragma once

#include <cstdint>
#include <string>

namespace tabvora::internal {

// A byte count in decimal units as a file browser shows it: "Zero KB", "1 byte",
// "12 bytes", "1 KB", "4.2 MB", "1.23 GB". KB shows no decimals, MB one, larger units two;
// trailing zeros are dropped, halves round up, and a value that rounds to 1000 of a unit
// shows as 1 of the next. Negative counts show the same forms with a leading "-".
std::string formatByteCount(std::int64_t bytes);

}  // namespace tabvora::internal
