#pragma once

// Backslash escapes shared by the string forms of the dialects (MySQL literals,
// PostgreSQL E-strings, COPY text fields).

#include <cstddef>
#include <optional>
#include <string_view>

namespace tabvora::internal::SQLDialectNormalizer {

// One-letter escapes as pairs of the letter and the byte it stands for.
inline constexpr std::string_view kMySQLLetterEscapes{"0\0b\bn\nr\rt\tZ\x1A", 12};
inline constexpr std::string_view kPostgresLetterEscapes = "b\bf\fn\nr\rt\t";
inline constexpr std::string_view kCopyLetterEscapes = "b\bf\fn\nr\rt\tv\v";

inline std::optional<char> letterEscape(std::string_view pairs, char letter) {
  for (std::size_t k = 0; k + 1 < pairs.size(); k += 2) {
    if (pairs[k] == letter) return pairs[k + 1];
  }
  return std::nullopt;
}

inline bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline unsigned hexValue(char c) { return static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10); }

// The byte of an octal escape (one to three digits, the first being `escaped`) or of a
// hexadecimal one (x and one or two digits); `i` is just past `escaped` and moves past
// the digits. Nothing when `escaped` starts neither.
inline std::optional<char> numericEscape(std::string_view text, std::size_t& i, char escaped) {
  auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
  if (isOctal(escaped)) {
    unsigned value = static_cast<unsigned>(escaped - '0');
    for (int digits = 1; digits < 3 && i < text.size() && isOctal(text[i]); ++digits) {
      value = value * 8 + static_cast<unsigned>(text[i++] - '0');
    }
    return static_cast<char>(value & 0xFF);
  }
  if (escaped == 'x' && i < text.size() && isHexDigit(text[i])) {
    unsigned value = hexValue(text[i++]);
    if (i < text.size() && isHexDigit(text[i])) value = value * 16 + hexValue(text[i++]);
    return static_cast<char>(value);
  }
  return std::nullopt;
}

}  // namespace tabvora::internal::SQLDialectNormalizer
