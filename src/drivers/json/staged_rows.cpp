#include "drivers/json/staged_rows.hpp"

#include <sqlite3.h>

#include "drivers/json/json_text.hpp"

namespace tabvora::internal {

namespace {
constexpr std::size_t kUnknownColumn = static_cast<std::size_t>(-1);
}

void StagedRows::bind(sqlite3_stmt* statement, int offset, std::size_t row) const {
  const StagedCell* cell = cells.data() + row * columnCount;
  for (std::size_t column = 0; column < columnCount; ++column, ++cell) {
    int parameter = offset + static_cast<int>(column) + 1;
    switch (cell->kind) {
      case StagedCell::Kind::null: sqlite3_bind_null(statement, parameter); break;
      case StagedCell::Kind::integer: sqlite3_bind_int64(statement, parameter, cell->integer); break;
      case StagedCell::Kind::real: sqlite3_bind_double(statement, parameter, cell->real); break;
      case StagedCell::Kind::text: {
        sqlite3_bind_text64(statement, parameter, arena.data() + cell->offset, cell->length, SQLITE_STATIC,
                            SQLITE_UTF8);
        break;
      }
    }
  }
}

JSONKeyIndex makeKeyIndex(const std::vector<JSONColumn>& columns) {
  JSONKeyIndex index;
  for (std::size_t i = 0; i < columns.size(); ++i) index.emplace(columns[i].key, i);
  return index;
}

RecordRowBuilder::RecordRowBuilder(const std::vector<JSONColumn>& columns, const JSONKeyIndex& index,
                                   bool keepOriginals)
    : columns_(columns),
      index_(index),
      keepOriginals_(keepOriginals),
      slots_(columns.size()),
      slotStamps_(columns.size(), 0) {}

std::size_t RecordRowBuilder::columnFor(std::size_t position, std::string_view key) {
  if (position < lastKeys_.size() && lastKeys_[position] == key) return lastColumns_[position];
  auto it = index_.find(key);
  std::size_t column = it == index_.end() ? kUnknownColumn : it->second;
  if (position >= lastKeys_.size()) {
    lastKeys_.resize(position + 1);
    lastColumns_.resize(position + 1, kUnknownColumn);
  }
  lastKeys_[position].assign(key);
  lastColumns_[position] = column;
  return column;
}

void RecordRowBuilder::appendText(StagedRows& rows, StagedCell& cell, std::string_view text) {
  cell.kind = StagedCell::Kind::text;
  cell.length = text.size();
  cell.offset = rows.arena.size();
  rows.arena.append(text);
}

void RecordRowBuilder::append(const simdjson::dom::object& record, StagedRows& rows) {
  using simdjson::dom::element_type;
  if (++stamp_ == 0) {  // the stamp wrapped: forget every slot
    std::fill(slotStamps_.begin(), slotStamps_.end(), 0);
    stamp_ = 1;
  }
  std::size_t position = 0;
  for (auto field : record) {
    std::size_t column = columnFor(position++, field.key);
    if (column == kUnknownColumn) continue;
    slots_[column] = field.value;
    slotStamps_[column] = stamp_;
  }

  rows.columnCount = columns_.size();
  std::size_t row = rows.rowCount();
  rows.cells.resize(rows.cells.size() + columns_.size());
  StagedCell* cells = rows.cells.data() + row * columns_.size();
  for (std::size_t column = 0; column < columns_.size(); ++column) {
    if (slotStamps_[column] != stamp_) continue;
    const simdjson::dom::element& value = slots_[column];
    element_type type = value.type();
    if (type == element_type::NULL_VALUE) continue;
    StagedCell& cell = cells[column];
    switch (columns_[column].type) {
      case ColumnType::integer:
        if (type == element_type::INT64) {
          cell.kind = StagedCell::Kind::integer;
          cell.integer = int64_t(value);
        }
        break;
      case ColumnType::real:
        if (type == element_type::INT64 || type == element_type::UINT64 || type == element_type::DOUBLE) {
          cell.kind = StagedCell::Kind::real;
          cell.real = double(value);
        }
        break;
      case ColumnType::boolean:
        if (type == element_type::BOOL) {
          cell.kind = StagedCell::Kind::integer;
          cell.integer = bool(value) ? 1 : 0;
        }
        break;
      case ColumnType::json:
        scratch_.clear();
        appendCompactJSON(scratch_, value);
        appendText(rows, cell, scratch_);
        break;
      case ColumnType::text: {
        using Kind = JSONOriginalValues::Kind;
        if (type == element_type::STRING) {
          const std::string_view text(value);
          if (text.find('\0') == std::string_view::npos) {
            appendText(rows, cell, text);
            break;
          }
          scratch_.clear();
          for (char c : text)
            if (c != '\0') scratch_ += c;
          appendText(rows, cell, scratch_);
          if (keepOriginals_) {
            rows.originals.push_back(
                {static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column), Kind::string});
            rows.originalStrings.emplace_back(text);
          }
          break;
        }
        scratch_.clear();
        Kind kind = Kind::value;
        if (type == element_type::BOOL) {
          scratch_ = bool(value) ? "true" : "false";
        } else if (type == element_type::INT64) {
          scratch_ = std::to_string(int64_t(value));
        } else if (type == element_type::UINT64) {
          scratch_ = std::to_string(uint64_t(value));
        } else if (type == element_type::DOUBLE) {
          scratch_ = jsonNumberDescription(double(value));
          if (scratch_.find_first_of(".e") == std::string::npos) kind = Kind::wholeReal;
        } else {
          appendCompactJSON(scratch_, value);
        }
        appendText(rows, cell, scratch_);
        if (keepOriginals_)
          rows.originals.push_back({static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column), kind});
        break;
      }
      default: break;
    }
  }
}

}  // namespace tabvora::internal
