#include "tabvora/terminal_text.hpp"

#include <cstdio>

#include "platform/unicode_text.hpp"

namespace tabvora {

// Defines public types (include/tabvora/) with internal helpers.
using namespace internal;

namespace {

constexpr std::string_view kReplacementBytes = "\xEF\xBF\xBD";

bool isBidiControl(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendEscape(std::string& out, const char* format, unsigned value) {
  char buffer[8];
  const int length = std::snprintf(buffer, sizeof buffer, format, value);
  out.append(buffer, static_cast<std::size_t>(length));
}

}  // namespace

std::string visibleOnTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t c = decodeUTF8(text, pos);
    const std::string_view bytes = text.substr(start, pos - start);
    if (c == 0xFFFD && bytes != kReplacementBytes) {
      appendEscape(out, "\\x%02x", static_cast<unsigned char>(bytes[0]));
    } else if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
      appendEscape(out, "\\x%02x", static_cast<unsigned>(c));
    } else if ((c >= 0x80 && c <= 0x9F) || isBidiControl(c)) {
      appendEscape(out, "\\u%04x", static_cast<unsigned>(c));
    } else {
      out += bytes;
    }
  }
  return out;
}

}  // namespace tabvora
