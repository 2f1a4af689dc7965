#include "drivers/parquet/duckdb_rows.hpp"

#include <sqlite3.h>

#include <cmath>
#include <mutex>
#include <optional>
#include <unordered_map>

#include <simdjson.h>

#include "drivers/sqlite/staged_table.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "model/table_naming.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

namespace ondemand = simdjson::ondemand;

constexpr const char* kNoRecords = "DuckDB query produced no records";

[[noreturn]] void throwNoRecords() { throw DriverError("ParquetDriver", -1, kNoRecords); }

// Whether a JSON number is a 64-bit integer by value (1.0 and 1e3 are; 2^63 is not).
// Numbers beyond what a double or a 64-bit integer holds are left to the REAL column.
bool isWholeInt64(ondemand::value& value) {
  ondemand::number_type type;
  if (value.get_number_type().get(type)) return false;
  if (type == ondemand::number_type::signed_integer) return true;
  double number = 0;
  if (type != ondemand::number_type::floating_point_number || value.get_double().get(number)) return false;
  return std::trunc(number) == number && number >= -9223372036854775808.0 && number < 9223372036854775808.0;
}

// DuckDB's forms of the floats JSON has no number for.
std::optional<double> nonFinite(std::string_view text) {
  if (text == "NaN") return std::nan("");
  if (text == "Infinity") return HUGE_VAL;
  if (text == "-Infinity") return -HUGE_VAL;
  return std::nullopt;
}

}  // namespace

void DuckDBRows::mergeType(std::optional<ColumnType>& current, std::optional<ColumnType> next) {
  if (!next || current == next) return;
  if (!current) {
    current = next;
    return;
  }
  const bool numeric = (*current == ColumnType::integer || *current == ColumnType::real) &&
                       (*next == ColumnType::integer || *next == ColumnType::real);
  current = numeric ? ColumnType::real : ColumnType::text;
}

DuckDBRows DuckDBRows::parse(std::string& output, bool allowEmpty) {
  const std::size_t length = output.size();
  output.append(simdjson::SIMDJSON_PADDING, ' ');
  DuckDBRows rows;
  std::vector<std::optional<ColumnType>>& types = rows.types_;
  std::unordered_map<std::string, std::size_t> columnOf;
  ColumnNamer namer(false);
  try {
    ondemand::parser parser;
    ondemand::document document = parser.iterate(simdjson::padded_string_view(output.data(), length, output.size()));
    for (ondemand::value record : document.get_array()) {
      std::vector<Cell>& row = rows.rows_.emplace_back();
      for (ondemand::field member : record.get_object()) {
        const std::string_view key = member.unescaped_key().value();
        auto [found, added] = columnOf.try_emplace(std::string(key), rows.columns_.size());
        if (added) {
          DataColumn column;
          column.name = namer.accept(key, rows.columns_.size() + 1);
          column.index = static_cast<int>(rows.columns_.size());
          rows.columns_.push_back(std::move(column));
          types.emplace_back();
        }
        const std::size_t index = found->second;
        if (row.size() <= index) row.resize(index + 1);
        Cell& cell = row[index];
        ondemand::value value = member.value();
        ondemand::json_type jsonType;
        if (value.type().get(jsonType)) {
          // NaN and Infinity: no JSON value, but DuckDB's.
          const std::string_view token = trimWhitespaceAndNewlines(value.raw_json_token());
          if (!nonFinite(token)) throwNoRecords();
          cell = {Kind::real, std::string(token)};
          mergeType(types[index], ColumnType::real);
          continue;
        }
        switch (jsonType) {
          case ondemand::json_type::null:
            (void)value.is_null();
            cell = {};
            continue;
          case ondemand::json_type::boolean: cell = {Kind::boolean, value.get_bool().value() ? "true" : "false"}; break;
          case ondemand::json_type::number:
            cell.text = trimWhitespaceAndNewlines(value.raw_json_token());  // before the value is consumed
            cell.kind = isWholeInt64(value) ? Kind::integer : Kind::real;
            break;
          case ondemand::json_type::string: cell = {Kind::text, std::string(value.get_string().value())}; break;
          case ondemand::json_type::array:
          case ondemand::json_type::object:
            cell = {Kind::json, std::string(simdjson::to_json_string(value).value())};
            break;
        }
        const ColumnType type = cell.kind == Kind::boolean   ? ColumnType::boolean
                                : cell.kind == Kind::integer ? ColumnType::integer
                                : cell.kind == Kind::real    ? ColumnType::real
                                : cell.kind == Kind::json    ? ColumnType::json
                                                             : ColumnType::text;
        mergeType(types[index], type);
      }
    }
    // Anything after the array (an error message, a second document) makes it no JSON.
    if (!document.current_location().error()) throwNoRecords();
  } catch (const simdjson::simdjson_error&) {
    throwNoRecords();
  }
  output.resize(length);
  if ((rows.rows_.empty() && !allowEmpty) || (!rows.rows_.empty() && rows.columns_.empty())) throwNoRecords();
  for (std::size_t i = 0; i < types.size(); ++i) rows.columns_[i].type = types[i].value_or(ColumnType::text);
  return rows;
}

void DuckDBRows::stage(SQLiteDriver& staging, std::string_view table) const {
  StagedTable::stage(staging, table, columns_, rows_.size(),
                     [&](sqlite3_stmt* insert, int offset, std::size_t r) { bindRow(insert, offset, r, columns_); });
}

void DuckDBRows::insertInto(SQLiteDriver& staging, std::string_view table, std::span<const DataColumn> declared) const {
  std::lock_guard guard(staging.mutex());
  staging.withPreparedStatement(StagedTable::insertSQL(table, declared.size()), [&](sqlite3_stmt* insert) {
    for (std::size_t r = 0; r < rows_.size(); ++r) {
      bindRow(insert, 0, r, declared);
      staging.stepAndReset(insert);
    }
  });
}

void DuckDBRows::bindRow(sqlite3_stmt* insert, int offset, std::size_t r, std::span<const DataColumn> declared) const {
  const std::vector<Cell>& row = rows_[r];
  for (std::size_t i = 0; i < declared.size(); ++i) {
    const int parameter = offset + static_cast<int>(i) + 1;
    const ColumnType type = declared[i].type;
    if (i >= row.size() || row[i].kind == Kind::null) {
      sqlite3_bind_null(insert, parameter);
    } else if (type == ColumnType::boolean) {
      sqlite3_bind_int(insert, parameter, row[i].text == "true" ? 1 : 0);
    } else if (const std::optional<double> value = row[i].kind == Kind::real ? nonFinite(row[i].text) : std::nullopt) {
      sqlite3_bind_double(insert, parameter, *value);
    } else {
      StagedTable::bindText(insert, parameter, row[i].text, type);
    }
  }
}

}  // namespace tabvora::internal
