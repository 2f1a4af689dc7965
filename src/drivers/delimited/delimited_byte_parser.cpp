#include "drivers/delimited/delimited_byte_parser.hpp"

#include <cmath>
#include <cstdlib>

#include "platform/number_parsing.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

bool isTrimmedByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the whole text is a finite number; classify has let through only digits, signs,
// "." and exponents, so it is decimal. Underflow still reads as a finite number (zero or
// subnormal); overflow does not.
bool isFiniteDecimal(std::string_view text) {
  const std::optional<double> value = parseDouble(text);
  return value && std::isfinite(*value);
}

}  // namespace

std::string DelimitedByteParser::fieldText(const Field& field, std::span<const std::uint8_t> input,
                                           std::span<const std::uint8_t> scratch) {
  const std::uint8_t* base = field.inScratch ? scratch.data() : input.data();
  std::string_view bytes(reinterpret_cast<const char*>(base) + field.start, field.end - field.start);
  if (isValidUTF8(bytes)) return std::string(bytes);
  return repairUTF8(bytes);
}

DelimitedByteParser::ColumnKind DelimitedByteParser::classify(std::string_view bytes) {
  std::size_t first = 0, last = bytes.size();
  while (first < last && isTrimmedByte(bytes[first])) ++first;
  while (last > first && isTrimmedByte(bytes[last - 1])) --last;
  if (first == last) return ColumnKind::empty;
  const std::string_view trimmed = bytes.substr(first, last - first);

  std::size_t bodyStart = (trimmed[0] == '-' || trimmed[0] == '+') ? 1 : 0;
  if (bodyStart == trimmed.size()) return ColumnKind::text;

  bool pureDigits = true;
  for (std::size_t i = bodyStart; i < trimmed.size(); ++i) {
    char c = trimmed[i];
    if (isDigit(c)) continue;
    if (c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E') {
      pureDigits = false;
      continue;
    }
    return ColumnKind::text;
  }

  // Leading zeros (007, 00.5, -01) mark an identifier, not a number; 0, 0.5 and +0 are fine.
  std::size_t leadingDigits = 0;
  while (bodyStart + leadingDigits < trimmed.size() && isDigit(trimmed[bodyStart + leadingDigits])) ++leadingDigits;
  if (leadingDigits >= 2 && trimmed[bodyStart] == '0') return ColumnKind::text;

  if (!pureDigits) return isFiniteDecimal(trimmed) ? ColumnKind::real : ColumnKind::text;

  constexpr std::size_t kDigitsThatAlwaysFit = 18;  // 10^18 - 1 < 2^63
  if (trimmed.size() - bodyStart <= kDigitsThatAlwaysFit) return ColumnKind::integer;
  return parseInt64(trimmed) ? ColumnKind::integer : ColumnKind::text;
}

}  // namespace tabvora::internal
