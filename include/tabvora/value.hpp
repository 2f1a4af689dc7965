#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tabvora {

// One cell of a result. `data` holds the value itself: nothing for null, std::int64_t for
// integer, double for real and for date (seconds since 1970-01-01T00:00:00Z), bool for
// boolean, std::string for text and json, bytes for blob. `text` is what the preview page
// shows for it ("NULL", "TRUE", an ISO 8601 date, "BLOB [12 bytes]", ...).
struct Value {
  enum class Kind { null, integer, real, text, boolean, date, blob, json };
  using Bytes = std::vector<std::uint8_t>;

  Kind kind = Kind::null;
  std::variant<std::monostate, std::int64_t, double, bool, std::string, Bytes> data;
  std::string text = "NULL";
};

// One column of a result; `type` is "INTEGER", "REAL", "TEXT", "BOOLEAN", "DATETIME",
// "BLOB", "JSON", "NULL" or "UNKNOWN".
struct Column {
  std::string name;
  std::string type;
};

// One table, view or sheet of a file; `kind` is "Table", "View", "Sheet" or "Virtual".
// A count the file does not tell without reading the table is absent.
struct TableInfo {
  std::string name;
  std::string kind;
  std::optional<std::int64_t> rowCount;
  std::optional<std::int64_t> columnCount;
  // Present for a listed table that cannot be read (a damaged sheet): why, as reading it
  // fails.
  std::optional<std::string> unreadableReason;
};

// A page of rows: each row holds one value per column. `totalRowCount` counts the rows of
// the whole table or result, of which `rows` is a page; `totalRowCountIsLowerBound` says
// the open read only the first rows (a preview) and more remain. `positions` and `rowids`
// hold, for each row, its position in the table or result (from 0) and its storage
// identity where it has one: edits use them to find the row again.
struct Rows {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
  std::int64_t totalRowCount = 0;
  bool totalRowCountIsLowerBound = false;
  std::vector<std::int64_t> positions;
  std::vector<std::optional<std::int64_t>> rowids;
};

}  // namespace tabvora
