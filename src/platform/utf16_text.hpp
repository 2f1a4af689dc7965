#pragma once

#include <string>
#include <string_view>

namespace tabvora::internal {

// Appends UTF-16 code units to `out` as UTF-8; a surrogate without its partner becomes
// U+FFFD, so the result is always valid UTF-8.
void appendUTF16AsUTF8(std::string& out, std::u16string_view units);

}  // namespace tabvora::internal
