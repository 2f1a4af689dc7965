#include "platform/utf16_text.hpp"

#include "platform/unicode_text.hpp"

namespace tabvora::internal {

void appendUTF16AsUTF8(std::string& out, std::u16string_view units) {
  constexpr char32_t kReplacement = 0xFFFD;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit < 0xD800 || unit > 0xDFFF) {
      appendUTF8(out, unit);
    } else if (unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      appendUTF8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      appendUTF8(out, kReplacement);
    }
  }
}

}  // namespace tabvora::internal
