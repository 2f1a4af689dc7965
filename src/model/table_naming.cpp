#include "model/table_naming.hpp"

#include "platform/ascii_case.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::string_view kReservedPrefix = "sqlite_";

}  // namespace

// Characters are judged by their first code point; combining marks that follow a kept
// character stay with it (so a decomposed "é" survives whole) and are dropped with a
// dropped one.
std::string stagedTableName(std::string_view stem, std::string_view prefix, bool guardSqlitePrefix) {
  std::string name;
  name.reserve(stem.size());
  bool keptPrevious = false;
  bool firstIsNumber = false;
  std::size_t pos = 0;
  while (pos < stem.size()) {
    const char32_t c = decodeUTF8(stem, pos);
    if (isUnicodeMark(c) && !name.empty()) {
      if (keptPrevious) appendUTF8(name, c);
      continue;
    }
    if (c == U' ' || c == U'-' || c == U'_') {
      name += '_';
      keptPrevious = true;
    } else if (isUnicodeLetter(c) || isUnicodeNumber(c)) {
      if (name.empty()) firstIsNumber = isUnicodeNumber(c);
      appendUTF8(name, c);
      keptPrevious = true;
    } else {
      keptPrevious = false;
    }
  }
  // Only ASCII letters lower-case to the letters of "sqlite_", so an ASCII test is exact.
  if (name.empty() || firstIsNumber || (guardSqlitePrefix && startsWithIgnoringASCIICase(name, kReservedPrefix))) {
    name.insert(0, prefix);
  }
  return name;
}

std::string ColumnNamer::accept(std::string_view rawName, std::size_t position) {
  // SQL text ends at a NUL, so a name never carries one.
  std::string withoutNul;
  if (rawName.find('\0') != std::string_view::npos) {
    withoutNul.reserve(rawName.size());
    for (char c : rawName)
      if (c != '\0') withoutNul += c;
    rawName = withoutNul;
  }
  const std::string_view trimmed = trimNames_ ? trimWhitespaceAndNewlines(rawName) : rawName;
  const std::string base = trimmed.empty() ? "col_" + std::to_string(position) : std::string(trimmed);
  std::string candidate = base;
  std::string lower = toLowerUnicode(candidate);
  if (takenLower_.count(lower) != 0) {
    std::size_t& suffix = nextSuffix_.try_emplace(lower, 1).first->second;
    do {
      candidate = base + "_" + std::to_string(suffix++);
      lower = toLowerUnicode(candidate);
    } while (takenLower_.count(lower) != 0);
  }
  takenLower_.insert(std::move(lower));
  return candidate;
}

}  // namespace tabvora::internal
