#include "drivers/sqlscript/copy_data_converter.hpp"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlscript/sql_escapes.hpp"
#include "model/driver_error.hpp"
#include "platform/ascii_case.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

// A field of the COPY text format with its escapes resolved. Only a field that is exactly
// \N is NULL; elsewhere \N stands for N, as in the format itself.
std::optional<std::string> decodeField(std::string_view field) {
  if (field == "\\N") return std::nullopt;
  std::string value;
  value.reserve(field.size());
  for (std::size_t i = 0; i < field.size();) {
    const char c = field[i++];
    if (c != '\\' || i == field.size()) {
      value += c;
      continue;
    }
    const char escaped = field[i++];
    if (const std::optional<char> byte = letterEscape(kCopyLetterEscapes, escaped)) {
      value += *byte;
    } else if (const std::optional<char> byte = numericEscape(field, i, escaped)) {
      value += *byte;
    } else {
      value += escaped;
    }
  }
  return value;
}

void appendLiteral(std::string& out, const std::optional<std::string>& value, const std::optional<std::string>& type) {
  if (!value) {
    out += "NULL";
    return;
  }
  if (type == "BOOLEAN" && (*value == "t" || *value == "f")) {
    out += *value == "t" ? '1' : '0';
    return;
  }
  if (type == "BLOB" && value->size() >= 2 && (*value)[0] == '\\' && (*value)[1] == 'x' && value->size() % 2 == 0 &&
      std::all_of(value->begin() + 2, value->end(), isHexDigit)) {
    out += "X'";
    out.append(*value, 2);
    out += '\'';
    return;
  }
  appendSQLStringLiteral(out, *value);
}

}  // namespace

std::vector<std::optional<std::string>> copyColumnTypes(
    const std::vector<std::pair<std::string, std::string>>* rebuiltColumns,
    const std::vector<std::string>& copyColumns) {
  std::vector<std::optional<std::string>> types;
  if (!rebuiltColumns) return types;
  if (copyColumns.empty()) {
    for (const auto& column : *rebuiltColumns) types.emplace_back(column.second);
    return types;
  }
  std::unordered_map<std::string, const std::string*> byName;
  for (const auto& [name, type] : *rebuiltColumns) byName.emplace(asciiLowered(name), &type);
  for (const std::string& name : copyColumns) {
    const auto found = byName.find(asciiLowered(name));
    types.push_back(found == byName.end() ? std::nullopt : std::optional<std::string>(*found->second));
  }
  return types;
}

bool forEachCopyInsert(std::string_view data, const std::string& table, const std::vector<std::string>& columns,
                       const std::vector<std::optional<std::string>>& types, std::size_t batchRows,
                       const std::function<bool(const std::string& sql)>& execute) {
  std::string head = "INSERT INTO " + quoteIdentifier(table);
  if (!columns.empty()) {
    head += " (";
    for (std::size_t c = 0; c < columns.size(); ++c) head += (c ? ", " : "") + quoteIdentifier(columns[c]);
    head += ")";
  }
  head += " VALUES\n";
  const bool oneColumn = columns.empty() ? types.size() == 1 : columns.size() == 1;
  static const std::optional<std::string> kUntyped;

  bool failed = false;
  std::string batch = head;
  std::size_t rows = 0;
  auto send = [&] {
    batch += ';';
    if (!execute(batch)) failed = true;
    batch = head;
    rows = 0;
  };

  std::size_t lineStart = 0;
  while (lineStart < data.size()) {
    const std::size_t lineEnd = std::min(data.find('\n', lineStart), data.size());
    std::string_view line = data.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() && !oneColumn) continue;

    if (rows > 0) batch += ",\n";
    batch += '(';
    std::size_t fieldStart = 0;
    for (std::size_t column = 0;; ++column) {
      const std::size_t tab = line.find('\t', fieldStart);
      const std::string_view field =
          line.substr(fieldStart, tab == std::string_view::npos ? std::string_view::npos : tab - fieldStart);
      if (column > 0) batch += ',';
      appendLiteral(batch, decodeField(field), column < types.size() ? types[column] : kUntyped);
      if (tab == std::string_view::npos) break;
      fieldStart = tab + 1;
    }
    batch += ')';
    ++rows;
    if (rows >= batchRows || batch.size() > kCopyBatchMaxBytes) send();
  }
  if (rows > 0) send();
  return failed;
}

bool copyToInserts(std::string_view data, const std::string& table, const std::vector<std::string>& columns,
                   const std::vector<std::optional<std::string>>& types, SQLiteDriver& staging, std::size_t batchRows) {
  return forEachCopyInsert(data, table, columns, types, batchRows, [&](const std::string& sql) {
    std::lock_guard guard(staging.mutex());
    try {
      staging.executeRawSQL(sql);
      return true;
    } catch (const DriverError&) {
      return false;
    }
  });
}

}  // namespace tabvora::internal::SQLDialectNormalizer
