#include "drivers/delimited/delimited_row_loader.hpp"

#include <sqlite3.h>

#include "drivers/sqlite/sqlite_driver.hpp"

namespace tabvora::internal {

namespace {

bool isTrimmedByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Numeric text without its padding; a field made only of padding is left whole, so it
// stays text in the numeric column rather than turning into an empty string.
std::string_view numericText(std::string_view bytes) {
  std::size_t first = 0, last = bytes.size();
  while (first < last && isTrimmedByte(bytes[first])) ++first;
  while (last > first && isTrimmedByte(bytes[last - 1])) --last;
  return first == last ? bytes : bytes.substr(first, last - first);
}

}  // namespace

bool DelimitedRowLoader::operator()(const DelimitedByteParser::Record& record) {
  if (!headerSkipped_) {
    headerSkipped_ = true;
    return true;
  }
  if (rowLimit_ && rowsInserted_ >= *rowLimit_) return false;

  const std::size_t n = record.size();
  for (std::size_t i = 0; i < kinds_.size(); ++i) {
    const int parameter = static_cast<int>(i) + 1;
    if (i >= n || record.field(i).start == record.field(i).end) {
      sqlite3_bind_null(insert_, parameter);
      continue;
    }
    std::string_view text = record.bytes(i);
    if (kinds_[i] == ColumnKind::integer || kinds_[i] == ColumnKind::real) text = numericText(text);
    // The bytes stay valid until stepAndReset below has run the statement, which is the
    // only time SQLite reads them; a static binding saves a copy of every cell.
    sqlite3_bind_text64(insert_, parameter, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
  }
  staging_.stepAndReset(insert_);
  ++rowsInserted_;
  return true;
}

}  // namespace tabvora::internal
