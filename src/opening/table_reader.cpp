#include "opening/table_reader.hpp"

#include <algorithm>

#include "drivers/sqlite/filter_sql.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staging_driver.hpp"
#include "model/driver_error.hpp"

namespace tabvora {

namespace {

constexpr const char* kDomain = "TableReader";

// Every driver answers from an SQLite engine: its own file's or its staging database. The
// engine's own lock serialises its use, as the driver's forwarding would.
SQLiteDriver& engineOf(DatabaseDriver& driver) {
  if (auto* sqlite = dynamic_cast<SQLiteDriver*>(&driver)) return *sqlite;
  if (auto* staging = dynamic_cast<StagingDriver*>(&driver)) return staging->internalSQLite;
  throw DriverError(kDomain, -1, "This file's driver cannot read a table row by row");
}

}  // namespace

TableReader::TableReader(DatabaseDriver& driver, std::string table, std::vector<ColumnFilter> filters,
                         FilterCombination combination)
    : driver_(driver), table_(std::move(table)), filters_(std::move(filters)), combination_(combination) {
  columns_ = driver_.fetchSchema(table_);
  for (const ColumnFilter& filter : filters_) {
    const bool known = std::any_of(columns_.begin(), columns_.end(),
                                   [&](const DataColumn& column) { return column.name == filter.column; });
    if (known) continue;
    std::string names;
    for (const DataColumn& column : columns_) names += (names.empty() ? "" : ", ") + column.name;
    throw DriverError(kDomain, -1,
                      "The table \"" + table_ + "\" has no column \"" + filter.column + "\" (its columns: " + names + ")");
  }
}

std::int64_t TableReader::count() {
  std::int64_t total = 0;
  const BoundSQL sql = filteredCount(table_, filters_, combination_);
  engineOf(driver_).forEachRow(sql.text, sql.parameters, [&](const RowView& row) {
    total = row.integer(0);
    return false;
  });
  return total;
}

void TableReader::forEachPage(std::optional<std::int64_t> limit, const std::function<bool(const DataTable&)>& body,
                              std::int64_t pageRows) {
  if (limit && *limit <= 0) return;
  std::int64_t delivered = 0;
  const std::int64_t size = limit ? std::min(pageRows, *limit) : pageRows;
  const BoundSQL sql = filteredSelect(table_, filters_, combination_);
  engineOf(driver_).streamRows(sql.text, sql.parameters, size, [&](const DataTable& page) {
    delivered += static_cast<std::int64_t>(page.rows.size());
    if (!limit || delivered <= *limit) return body(page) && (!limit || delivered < *limit);
    DataTable cut = page;
    cut.rows.resize(cut.rows.size() - static_cast<std::size_t>(delivered - *limit));
    body(cut);
    return false;
  });
}

void TableReader::forEachRow(std::optional<std::int64_t> limit, const std::function<bool(const RowView&)>& body) {
  if (limit && *limit <= 0) return;
  std::int64_t delivered = 0;
  const BoundSQL sql = filteredSelect(table_, filters_, combination_);
  engineOf(driver_).forEachRow(sql.text, sql.parameters, [&](const RowView& row) {
    return body(row) && (!limit || ++delivered < *limit);
  });
}

DataTable TableReader::firstRows(std::int64_t rows) {
  DataTable result(table_, columns_, {});
  forEachPage(rows, [&](const DataTable& page) {
    result.columns = page.columns;
    result.rows.insert(result.rows.end(), page.rows.begin(), page.rows.end());
    return true;
  });
  result.totalRowCount = std::max(count(), static_cast<std::int64_t>(result.rows.size()));
  return result;
}

}  // namespace tabvora
