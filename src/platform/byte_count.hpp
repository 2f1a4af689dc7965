#pragma once

#include <cstdint>
#include <string>

namespace tabvora {

// A byte count in decimal units as a file browser shows it: "Zero KB"-free plain forms
// such as "0 bytes", "1 byte", "12 bytes", "1 KB", "4.2 MB", "1.5 GB".
std::string formatByteCount(std::int64_t bytes);

}  // namespace tabvora
