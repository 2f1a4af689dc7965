#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <simdjson.h>

#include "drivers/json/json_columns.hpp"
#include "drivers/json/json_driver.hpp"
#include "drivers/json/json_original_values.hpp"

struct sqlite3_stmt;

namespace tabvora::internal {

// One bound value of a staged row, already converted by its column's bind rule.
struct StagedCell {
  enum class Kind : std::uint8_t { null, integer, real, text };
  Kind kind = Kind::null;
  std::size_t length = 0;  // text: bytes in the arena from `offset`
  union {
    std::int64_t integer;
    double real;
    std::size_t offset;
  };
  StagedCell() : integer(0) {}
};

// Rows ready to bind, converted on a worker thread and inserted on the calling one.
struct StagedRows {
  // A TEXT cell whose staged text is not simply its JSON value (see JSONOriginalValues).
  struct Original {
    std::uint32_t row;  // within these rows
    std::uint32_t column;
    JSONOriginalValues::Kind kind;
  };

  std::size_t columnCount = 0;
  std::vector<StagedCell> cells;  // row after row
  std::string arena;
  std::vector<Original> originals;           // in row order; only when the builder keeps them
  std::vector<std::string> originalStrings;  // the whole strings of Kind::string, in order

  std::size_t rowCount() const { return columnCount ? cells.size() / columnCount : 0; }
  // Binds parameters offset + 1 ... offset + columnCount to the row's cells. Texts are bound without a copy:
  // the rows must outlive the step, and the statement's bindings be cleared before they go.
  void bind(sqlite3_stmt* statement, int offset, std::size_t row) const;
};

// Column index by JSON key, shared read-only by every builder.
using JSONKeyIndex = std::unordered_map<std::string, std::size_t, TransparentStringHash, std::equal_to<>>;
JSONKeyIndex makeKeyIndex(const std::vector<JSONColumn>& columns);

// Converts records into staged rows by the bind rule of each column's type:
//   INTEGER: an integer; REAL: any number; BOOLEAN: a boolean as 0 or 1; anything else NULL.
//   TEXT: a string without its NUL characters (a page never carries NUL); a number as its
//     description (jsonNumberDescription); any other value as its compact JSON text.
//   JSON: the compact JSON text of the value.
// A missing key or a null value is NULL; when a key occurs twice, the last value counts.
// With keepOriginals, TEXT cells whose text is not their value are listed in the rows'
// originals. Texts are copied into the rows' arena, as the parser's document is reused
// for the next record. One builder per thread.
class RecordRowBuilder {
 public:
  RecordRowBuilder(const std::vector<JSONColumn>& columns, const JSONKeyIndex& index, bool keepOriginals);

  void append(const simdjson::dom::object& record, StagedRows& rows);

 private:
  std::size_t columnFor(std::size_t position, std::string_view key);
  static void appendText(StagedRows& rows, StagedCell& cell, std::string_view text);

  const std::vector<JSONColumn>& columns_;
  const JSONKeyIndex& index_;
  const bool keepOriginals_;
  // Records usually repeat the previous record's keys in the same order: each position
  // remembers its last key and column, which spares the hash lookup.
  std::vector<std::string> lastKeys_;
  std::vector<std::size_t> lastColumns_;
  std::vector<simdjson::dom::element> slots_;
  std::vector<std::uint32_t> slotStamps_;
  std::uint32_t stamp_ = 0;
  std::string scratch_;
};

}  // namespace tabvora::internal
