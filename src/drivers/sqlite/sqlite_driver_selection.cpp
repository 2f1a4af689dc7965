// Pages of a selection (a table narrowed by a condition, in an order): the identities of
// its rows are collected once, in order, into a temporary table whose own dense row
// numbers then place every page and count the rows, so a deep page costs what the first
// does.

#include <sqlite3.h>

#include <algorithm>
#include <limits>

#include "drivers/sqlite/sqlite_cell_values.hpp"
#include "drivers/sqlite/sqlite_driver_impl.hpp"
#include "drivers/sqlite/sqlite_statement.hpp"
#include "drivers/sqlite/table_page_sql.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

namespace {

void dropStore(sqlite3* db, const std::string& store) noexcept {
  if (!db) return;
  try {
    sqlite3_exec(db, ("DROP TABLE IF EXISTS temp." + store + ";").c_str(), nullptr, nullptr, nullptr);
  } catch (...) {
    // Left for the connection's end: a temporary table lives no longer than it.
  }
}

}  // namespace

void SQLiteDriver::forgetPages() noexcept {
  rowCountCache_.clear();
  for (const Selection& selection : selections_) dropStore(dbPointer_, selection.store);
  selections_.clear();
}

std::optional<DataTable> SQLiteDriver::fetchSelectionPage(const std::string& table, const BoundSQL& condition,
                                                          const std::optional<std::string>& sortColumn, bool ascending,
                                                          std::int64_t offset, std::int64_t limit) {
  std::lock_guard guard(lock_);
  sqlite3* db = Impl::connection(*this);
  const std::optional<std::string> alias = Impl::rowidAlias(*this, table);
  if (!alias) return std::nullopt;
  offset = std::max<std::int64_t>(offset, 0);
  limit = std::max<std::int64_t>(limit, 0);
  const std::string quotedTable = quoteIdentifier(table);

  auto matches = [&](const Selection& kept) {
    return kept.table == table && kept.condition.text == condition.text &&
           kept.condition.parameters == condition.parameters && kept.sortColumn == sortColumn &&
           (!sortColumn || kept.ascending == ascending);
  };
  // The identities in order; nothing when the connection cannot hold them.
  auto collect = [&]() -> std::optional<Selection> {
    Selection made{table,
                   condition,
                   sortColumn,
                   ascending,
                   quoteIdentifier("__tabvora_selection_" + std::to_string(++selectionSerial_)),
                   0};
    if (sqlite3_exec(db, ("CREATE TEMP TABLE " + made.store + " (r INTEGER);").c_str(), nullptr, nullptr, nullptr) !=
        SQLITE_OK)
      return std::nullopt;
    std::string sql = "INSERT INTO temp." + made.store + " (r) SELECT " + *alias + " FROM " + quotedTable;
    if (!condition.text.empty()) sql += " WHERE " + condition.text;
    // Ties keep the table's order.
    if (sortColumn)
      sql += " ORDER BY " + quoteIdentifier(*sortColumn) + (ascending ? " ASC, " : " DESC, ") + *alias + " ASC";
    SQLiteStatement insert;
    if (insert.prepare(db, sql) != SQLITE_OK || !insert) {
      dropStore(db, made.store);
      return std::nullopt;
    }
    int rc = SQLITE_OK;
    for (std::size_t i = 0; i < condition.parameters.size() && rc == SQLITE_OK; ++i)
      rc = bindCellValue(insert.get(), static_cast<int>(i) + 1, condition.parameters[i]);
    if (rc == SQLITE_OK) rc = sqlite3_step(insert.get());
    if (rc != SQLITE_DONE) {
      const int extended = sqlite3_extended_errcode(db);
      std::string message = sqlite3_errmsg(db);
      insert.finalize();
      dropStore(db, made.store);
      // A statement stopped (cancelled, or past its time) stays stopped; a selection the
      // connection could not hold (its memory or temporary files bounded) is read as before.
      if (rc == SQLITE_INTERRUPT) throw DriverError(Impl::kDomain, Error::classify(extended), rc, message);
      return std::nullopt;
    }
    made.count = sqlite3_changes64(db);
    return made;
  };

  for (int attempt = 0; attempt < 2; ++attempt) {
    auto found = std::find_if(selections_.begin(), selections_.end(), matches);
    const bool kept = found != selections_.end();
    if (kept) {
      selections_.splice(selections_.begin(), selections_, found);
    } else {
      std::optional<Selection> made = collect();
      if (!made) return std::nullopt;
      selections_.push_front(std::move(*made));
      while (selections_.size() > kKeptSelections) {
        dropStore(db, selections_.back().store);
        selections_.pop_back();
      }
    }
    const Selection& selection = selections_.front();
    const std::string sql = "SELECT __tabvora_t." + *alias + " AS __tabvora_rowid, __tabvora_t.* FROM temp." +
                            selection.store + " AS __tabvora_s CROSS JOIN " + quotedTable +
                            " AS __tabvora_t ON __tabvora_t." + *alias + " = __tabvora_s.r WHERE __tabvora_s.rowid > " +
                            std::to_string(offset) + " ORDER BY __tabvora_s.rowid LIMIT " + std::to_string(limit);
    try {
      DataTable page = Impl::executeStatement(*this, sql, std::nullopt, std::nullopt, offset);
      page.name = table;
      page.totalRowCount = selection.count;
      return page;
    } catch (const DriverError&) {
      // A kept selection a rolled-back transaction took away is collected again, once.
      if (!kept) throw;
      dropStore(db, selections_.front().store);
      selections_.pop_front();
    }
  }
  return std::nullopt;
}

DataTable SQLiteDriver::fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                               const std::string& filter) {
  std::lock_guard guard(lock_);
  limit = std::max<std::int64_t>(limit, 0);
  const bool kept = std::any_of(selections_.begin(), selections_.end(), [&](const Selection& selection) {
    return selection.table == tableName && selection.condition.text == filter &&
           selection.condition.parameters.empty() && !selection.sortColumn;
  });
  if (kept || filter.find_first_not_of(" \t\n\r\f\v") == std::string::npos ||
      limit >= std::numeric_limits<std::int64_t>::max() - 1)
    return fetchTableData(tableName, limit, 0, std::nullopt, true, filter);
  const TablePageSQL page(tableName, Impl::rowidAlias(*this, tableName));
  DataTable rows = Impl::executeStatement(*this, page.plain(filter, std::nullopt, true, limit + 1, 0), std::nullopt,
                                          std::nullopt, 0);
  const bool more = static_cast<std::int64_t>(rows.rows.size()) > limit;
  if (more) rows.rows.resize(static_cast<std::size_t>(limit));
  rows.name = tableName;
  rows.totalRowCount = static_cast<std::int64_t>(rows.rows.size()) + (more ? 1 : 0);
  rows.totalRowCountIsLowerBound = more;
  return rows;
}

}  // namespace tabvora::internal
