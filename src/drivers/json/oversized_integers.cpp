#include "drivers/json/oversized_integers.hpp"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>

namespace tabvora::internal {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool fitsIn64Bits(const char* begin, const char* end, bool negative) {
  std::uint64_t magnitude = 0;
  auto [ptr, ec] = std::from_chars(begin, end, magnitude);
  if (ec != std::errc() || ptr != end) return false;
  return !negative || magnitude <= (std::uint64_t{1} << 63);
}

// The shortest text of the double nearest to the literal, as digits and a decimal
// exponent ("18446744073709552e3"); empty when the value is out of double range.
std::string exponentForm(const char* begin, const char* end) {
  double value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end) return {};
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  if (result.ec != std::errc()) return {};
  std::string scientific(buffer, result.ptr);  // "-1.8446744073709552e+19"
  std::size_t e = scientific.find('e');
  if (e == std::string::npos) return {};
  std::string digits;
  for (std::size_t i = 0; i < e; ++i) {
    char c = scientific[i];
    if (c == '-' || isDigit(c)) digits += c;
  }
  int exponent = std::stoi(scientific.substr(e + 1));
  std::size_t significant = digits.size() - (digits[0] == '-' ? 1 : 0);
  return digits + 'e' + std::to_string(exponent - static_cast<int>(significant - 1));
}

}  // namespace

bool rewriteOversizedIntegers(char* text, std::size_t length) {
  bool changed = false;
  bool inString = false;
  std::size_t i = 0;
  while (i < length) {
    char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
      ++i;
      continue;
    }
    if (c == '"') {
      inString = true;
      ++i;
      continue;
    }
    if (c != '-' && !isDigit(c)) {
      ++i;
      continue;
    }
    std::size_t start = i;
    bool negative = c == '-';
    std::size_t digitsStart = negative ? i + 1 : i;
    std::size_t j = digitsStart;
    while (j < length && isDigit(text[j])) ++j;
    std::size_t tokenEnd = j;
    while (tokenEnd < length && (isDigit(text[tokenEnd]) || std::strchr(".eE+-", text[tokenEnd]))) ++tokenEnd;
    // Only plain integers of 19 digits or more can be out of 64-bit range.
    if (tokenEnd == j && j - digitsStart >= 19 && !fitsIn64Bits(text + digitsStart, text + j, negative)) {
      std::string replacement = exponentForm(text + start, text + j);
      if (!replacement.empty() && replacement.size() <= j - start) {
        // Overwrites a number in place inside the text; no terminator belongs there.
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
        std::memcpy(text + start, replacement.data(), replacement.size());
        std::memset(text + start + replacement.size(), ' ', j - start - replacement.size());
        changed = true;
      }
    }
    i = tokenEnd > i ? tokenEnd : i + 1;
  }
  return changed;
}

}  // namespace tabvora::internal
