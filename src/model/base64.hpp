#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tabvora::internal {

// Standard Base64 (RFC 4648 alphabet, "=" padding), without line breaks.
std::string base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace tabvora::internal
