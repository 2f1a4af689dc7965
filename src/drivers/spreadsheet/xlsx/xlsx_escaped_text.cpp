#include "drivers/spreadsheet/xlsx/xlsx_escaped_text.hpp"

#include <cstring>

#include "platform/utf16_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::size_t kEscapeBytes = 7;  // "_xHHHH_"

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of an escape at `at`, or -1 when none starts there.
int escapeAt(const std::string& text, std::size_t at) {
  if (text.size() - at < kEscapeBytes || text[at] != '_' || text[at + 1] != 'x' || text[at + 6] != '_') return -1;
  int unit = 0;
  for (std::size_t i = at + 2; i < at + 6; ++i) {
    const int digit = hexValue(text[i]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

}  // namespace

void decodeXLSXEscapes(std::string& text) {
  std::size_t read = text.find("_x");
  if (read == std::string::npos) return;
  std::size_t write = read;
  std::string encoded;
  while (read < text.size()) {
    const int unit = escapeAt(text, read);
    if (unit < 0) {
      text[write++] = text[read++];
      continue;
    }
    std::u16string units(1, static_cast<char16_t>(unit));
    read += kEscapeBytes;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const int low = escapeAt(text, read);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        units += static_cast<char16_t>(low);
        read += kEscapeBytes;
      }
    }
    // At most 4 bytes for one or two escapes of 7 bytes each: the output stays behind `read`.
    encoded.clear();
    appendUTF16AsUTF8(encoded, units);
    std::memcpy(text.data() + write, encoded.data(), encoded.size());
    write += encoded.size();
  }
  text.resize(write);
}

}  // namespace tabvora::internal
