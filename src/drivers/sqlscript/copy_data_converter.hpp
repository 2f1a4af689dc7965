#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"

namespace tabvora::internal {
class SQLiteDriver;
}

namespace tabvora::internal::SQLDialectNormalizer {

// The column types used to convert a COPY block: with a COPY column list, each listed
// column's type found by case-insensitive name among `rebuiltColumns` (nothing when not
// found); without one, the types of all rebuilt columns in order. Empty when the table
// was not rebuilt (`rebuiltColumns` null). Pairs are (name, SQLite type).
std::vector<std::optional<std::string>> copyColumnTypes(
    const std::vector<std::pair<std::string, std::string>>* rebuiltColumns,
    const std::vector<std::string>& copyColumns);

// Turns a COPY text-format data block into multi-row INSERT statements and hands each to
// `execute` (which answers whether it ran): "INSERT INTO "t" ("a", "b") VALUES\n(...),\n(...);"
// with at most `batchRows` rows, or fewer once its text passes kCopyBatchMaxBytes.
// Fields become literals by their column's type (`types`, by position; a missing entry
// is untyped): \N alone is NULL, t/f for BOOLEAN are 1/0, \x... hex for BLOB is a blob,
// everything else a quoted string. Returns true when some batch failed (its rows are
// lost; the next batch goes on). Memory stays within one batch.
bool forEachCopyInsert(std::string_view data, const std::string& table, const std::vector<std::string>& columns,
                       const std::vector<std::optional<std::string>>& types, std::size_t batchRows,
                       const std::function<bool(const std::string& sql)>& execute);

// The same, each batch run by the staging database's executeRawSQL while holding its lock.
bool copyToInserts(std::string_view data, const std::string& table, const std::vector<std::string>& columns,
                   const std::vector<std::optional<std::string>>& types, SQLiteDriver& staging,
                   std::size_t batchRows = kCopyBatchRows);

}  // namespace tabvora::internal::SQLDialectNormalizer
