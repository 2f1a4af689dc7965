// Reading rows: free SQL (query), pages of a table (fetchTableData) and the statement
// runner both share.

#include <algorithm>
#include <chrono>
#include <limits>
#include <string_view>

#include "drivers/sqlite/declared_column_type.hpp"
#include "drivers/sqlite/sqlite_cell_values.hpp"
#include "drivers/sqlite/sqlite_driver_impl.hpp"
#include "drivers/sqlite/sqlite_statement.hpp"
#include "drivers/sqlite/table_page_sql.hpp"
#include "platform/byte_count.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {
// Rows reserved up front for a result: enough to avoid regrowth for a normal page, never
// a large allocation on the strength of a large limit.
constexpr std::int64_t kMaxReservedRows = 100'000;
constexpr std::int64_t kReservedRowsWithoutLimit = 1000;
// Pages of a table are fetched with this many rows when the caller gives no limit.
constexpr std::int64_t kDefaultPageSize = 500;
// Tables with more rows than this get the seek and reverse strategies for deep pages.
constexpr std::int64_t kLargeTableRows = 1000;
// Rows from either end of a table within which a page of a sort is read directly: SQLite
// then sorts keeping only the rows up to the page, about as fast as the first page.
constexpr std::int64_t kDirectSortRows = 20'000;

constexpr std::string_view kWhiteSpace = " \t\n\r\v\f";

std::string_view trimmed(std::string_view text) {
  std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

bool onlyBlankAndSemicolons(std::string_view text) {
  return text.find_first_not_of(" \t\n\r\v\f;") == std::string_view::npos;
}

// Names of the result columns of a single read-only statement that returns rows.
std::optional<std::vector<std::string>> resultColumnNames(sqlite3* db, std::string_view sql) {
  SQLiteStatement statement;
  std::size_t tail = 0;
  if (statement.prepare(db, sql, &tail) != SQLITE_OK || !statement) return std::nullopt;
  if (!onlyBlankAndSemicolons(sql.substr(tail))) return std::nullopt;
  if (!sqlite3_stmt_readonly(statement.get())) return std::nullopt;
  int count = sqlite3_column_count(statement.get());
  if (count < 1) return std::nullopt;
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(statement.get(), i);
    names.emplace_back(name ? name : "");
  }
  return names;
}

// The result columns of a prepared statement from `firstShown` on.
std::vector<DataColumn> describeColumns(sqlite3_stmt* stmt, int firstShown) {
  std::vector<DataColumn> columns;
  const int count = sqlite3_column_count(stmt);
  for (int i = firstShown; i < count; ++i) {
    const char* name = sqlite3_column_name(stmt, i);
    const char* declared = sqlite3_column_decltype(stmt, i);
    DataColumn column;
    column.name = name ? name : "col_" + std::to_string(i);
    column.type = resultColumnType(declared ? declared : "");
    column.index = i - firstShown;
    columns.push_back(std::move(column));
  }
  return columns;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

DataTable SQLiteDriver::Impl::executeStatement(SQLiteDriver& driver, const std::string& sql,
                                               std::optional<std::int64_t> limit, std::optional<std::int64_t> offset,
                                               std::int64_t firstRowId) {
  sqlite3* db = connection(driver);
  const std::string text(trimmed(sql));
  const auto start = std::chrono::steady_clock::now();
  SQLiteStatement statement;
  if (statement.prepare(db, text) != SQLITE_OK) failWithSQLite(db, -1);

  std::vector<DataColumn> columns;
  std::vector<DataRow> rows;
  if (statement) {
    sqlite3_stmt* stmt = statement.get();
    const int count = sqlite3_column_count(stmt);
    const char* firstName = count > 0 ? sqlite3_column_name(stmt, 0) : nullptr;
    const bool hasIdentity = firstName && std::string_view(firstName) == kRowIdentityColumn;
    const int firstShown = hasIdentity ? 1 : 0;
    columns = describeColumns(stmt, firstShown);

    rows.reserve(static_cast<std::size_t>(limit ? std::min(std::max<std::int64_t>(*limit, 0), kMaxReservedRows)
                                                : kReservedRowsWithoutLimit));
    std::int64_t toSkip = offset && *offset > 0 ? *offset : 0;
    const std::size_t textByteLimit = driver.cellByteLimit.value_or(std::numeric_limits<std::size_t>::max());
    std::size_t resultBytes = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      if (toSkip > 0) {
        --toSkip;
        continue;
      }
      if (limit && static_cast<std::int64_t>(rows.size()) >= *limit) break;
      DataRow row;
      row.id = firstRowId + static_cast<std::int64_t>(rows.size());
      if (hasIdentity && sqlite3_column_type(stmt, 0) == SQLITE_INTEGER) row.rowid = sqlite3_column_int64(stmt, 0);
      row.values.reserve(static_cast<std::size_t>(count - firstShown));
      for (int i = firstShown; i < count; ++i) {
        const int storage = sqlite3_column_type(stmt, i);
        if (driver.cellByteLimit && (storage == SQLITE_TEXT || storage == SQLITE_BLOB)) {
          // Counted before the value is copied, so an oversized result fails without
          // holding it. (Only text and blobs: asking a number's size would convert it.)
          const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, i));
          resultBytes += storage == SQLITE_TEXT ? std::min(size, textByteLimit) : size;
          if (resultBytes > kMaxCutResultBytes)
            fail(SQLITE_TOOBIG, "The rows are too large to show: more than " +
                                    formatByteCount(static_cast<std::int64_t>(kMaxCutResultBytes)) + " of values");
        }
        row.values.push_back(readCellValue(stmt, i, textByteLimit));
      }
      rows.push_back(std::move(row));
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) failWithSQLite(db, rc);
  }
  const auto total = static_cast<std::int64_t>(rows.size());
  return DataTable("Query Result", std::move(columns), std::move(rows), total, millisecondsSince(start), text);
}

std::optional<std::string> SQLiteDriver::Impl::limitWrappedSQL(SQLiteDriver& driver, const std::string& statement,
                                                               std::int64_t limit) {
  sqlite3* db = connection(driver);
  std::string_view body = trimmed(statement);
  while (!body.empty() && body.back() == ';') body = trimmed(body.substr(0, body.size() - 1));
  if (body.empty()) return std::nullopt;

  std::optional<std::vector<std::string>> names = resultColumnNames(db, body);
  if (!names) return std::nullopt;
  // Duplicate names would be renamed by the outer SELECT.
  std::vector<std::string> sorted = *names;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return std::nullopt;
  const std::string upper = toUpperUnicode(body);
  if (upper.starts_with("PRAGMA") || upper.starts_with("EXPLAIN")) return std::nullopt;

  // The newlines keep a trailing "--" comment from swallowing the closing parenthesis.
  std::string wrapped = "SELECT * FROM (\n" + std::string(body) + "\n) LIMIT " + std::to_string(limit);
  if (resultColumnNames(db, wrapped) != names) return std::nullopt;
  return wrapped;
}

DataTable SQLiteDriver::query(const std::string& sql, std::optional<std::int64_t> limit,
                              std::optional<std::int64_t> offset) {
  std::lock_guard guard(lock_);
  forgetPages();
  sqlite3* db = Impl::connection(*this);

  std::optional<DataTable> result;
  std::size_t position = 0;
  while (position < sql.size()) {
    const std::string_view rest = std::string_view(sql).substr(position);
    SQLiteStatement statement;
    std::size_t tail = 0;
    if (statement.prepare(db, rest, &tail) != SQLITE_OK) Impl::failWithSQLite(db, -1);
    if (tail == 0) break;  // no progress: nothing more SQLite can read
    position += tail;
    if (!statement) continue;  // only comments, white space or ";"
    const std::string ownText = sqlite3_sql(statement.get());
    statement.finalize();

    // A single statement runs as the caller wrote it; several run one by one.
    const bool single = !result && onlyBlankAndSemicolons(rest.substr(tail));
    const std::string& text = single ? sql : ownText;
    std::optional<std::string> wrapped;
    if (limit && offset.value_or(0) == 0) wrapped = Impl::limitWrappedSQL(*this, text, *limit);
    if (wrapped)
      result = Impl::executeStatement(*this, *wrapped, limit, std::nullopt, 0);
    else
      result = Impl::executeStatement(*this, text, limit, offset, std::max<std::int64_t>(offset.value_or(0), 0));
  }
  if (!result) return DataTable("Query Result", {}, {}, 0, 0, sql);
  return std::move(*result);
}

DataTable SQLiteDriver::fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit,
                                       std::optional<std::int64_t> offset, std::optional<std::string> sortColumn,
                                       bool ascending, std::optional<std::string> filter) {
  std::lock_guard guard(lock_);
  sqlite3* db = Impl::connection(*this);
  // A blank filter is no filter: the unfiltered (cached) total applies.
  if (filter && trimmed(*filter).empty()) filter.reset();
  // Negative positions and sizes have no meaning for a page; they read as 0.
  if (limit) limit = std::max<std::int64_t>(*limit, 0);
  const std::int64_t pageOffset = std::max<std::int64_t>(offset.value_or(0), 0);
  const std::int64_t pageSize = limit.value_or(kDefaultPageSize);

  const std::optional<std::string> alias = Impl::rowidAlias(*this, tableName);
  const TablePageSQL page(tableName, alias);

  auto counted = [&](const std::optional<std::string>& condition) -> std::int64_t {
    auto cached = condition ? rowCountCache_.end() : rowCountCache_.find(tableName);
    if (cached != rowCountCache_.end()) return cached->second;
    SQLiteStatement count;
    if (count.prepare(db, page.count(condition)) != SQLITE_OK || !count || sqlite3_step(count.get()) != SQLITE_ROW)
      return 0;
    const std::int64_t rows = sqlite3_column_int64(count.get(), 0);
    if (!condition) rowCountCache_[tableName] = rows;
    return rows;
  };

  // A filter's pages, and a sort's away from both ends of the table, come from the rows
  // selected once for them; near an end a sort keeps only the rows up to the page.
  if (limit && alias && (filter || (sortColumn && pageOffset >= kDirectSortRows))) {
    if (filter || counted(std::nullopt) - pageOffset > kDirectSortRows + pageSize) {
      if (std::optional<DataTable> selected = fetchSelectionPage(tableName, BoundSQL{filter.value_or(""), {}},
                                                                 sortColumn, ascending, pageOffset, pageSize))
        return std::move(*selected);
    }
  }

  const std::int64_t total = counted(filter);

  // Seek and reverse are shortcuts: when one does not apply or fails, the plain page runs.
  auto tryReverse = [&]() -> std::optional<DataTable> {
    if (pageOffset <= total / 2) return std::nullopt;
    const TablePageSQL::Window window = TablePageSQL::reverseWindow(total, pageOffset, pageSize);
    try {
      DataTable table = Impl::executeStatement(*this, page.reverse(sortColumn, ascending, window.limit, window.offset),
                                               std::nullopt, std::nullopt, 0);
      std::reverse(table.rows.begin(), table.rows.end());
      for (std::size_t i = 0; i < table.rows.size(); ++i) table.rows[i].id = pageOffset + static_cast<std::int64_t>(i);
      return table;
    } catch (const DriverError&) {
      return std::nullopt;
    }
  };
  auto trySeek = [&]() -> std::optional<DataTable> {
    std::int64_t lowest = 1;
    std::int64_t highest = 1;
    SQLiteStatement range;
    if (range.prepare(db, page.identityRange()) == SQLITE_OK && range && sqlite3_step(range.get()) == SQLITE_ROW) {
      lowest = sqlite3_column_int64(range.get(), 0);
      highest = sqlite3_column_int64(range.get(), 1);
    }
    range.finalize();
    // Contiguous identities: exactly `total` of them from lowest to highest. Checked
    // without overflow, as identities may span the whole 64-bit range.
    if (highest < lowest || pageOffset >= total) return std::nullopt;
    if (static_cast<std::uint64_t>(highest) - static_cast<std::uint64_t>(lowest) !=
        static_cast<std::uint64_t>(total - 1))
      return std::nullopt;
    try {
      return Impl::executeStatement(*this, page.seek(lowest + pageOffset, pageSize), std::nullopt, std::nullopt,
                                    pageOffset);
    } catch (const DriverError&) {
      return std::nullopt;
    }
  };

  std::optional<DataTable> result;
  const bool large = total > kLargeTableRows;
  if (alias && !filter && large) {
    if (!sortColumn && pageOffset >= 1) {
      result = trySeek();
      if (!result) result = tryReverse();
    } else if (sortColumn) {
      result = tryReverse();
    }
  }
  if (!result)
    result = Impl::executeStatement(*this, page.plain(filter, sortColumn, ascending, limit, pageOffset), std::nullopt,
                                    std::nullopt, pageOffset);

  result->name = tableName;
  result->totalRowCount = std::max(static_cast<std::int64_t>(result->rows.size()), total);
  return std::move(*result);
}

namespace {

// A row of a statement that has just stepped to it. Its values are taken once per row and
// read without SQLite's connection mutex, which the reader holds for the whole statement.
class StatementRow final : public RowView {
 public:
  explicit StatementRow(sqlite3_stmt* statement)
      : statement_(statement), values_(static_cast<std::size_t>(sqlite3_column_count(statement))) {}
  // Call after each step to a row.
  void takeValues() {
    for (std::size_t i = 0; i < values_.size(); ++i) values_[i] = sqlite3_column_value(statement_, static_cast<int>(i));
  }
  std::size_t size() const override { return values_.size(); }
  CellValue::Kind kind(std::size_t column) const override {
    if (column >= values_.size()) return CellValue::Kind::null;
    switch (sqlite3_value_type(values_[column])) {
      case SQLITE_INTEGER: return CellValue::Kind::integer;
      case SQLITE_FLOAT: return CellValue::Kind::real;
      case SQLITE_TEXT: return CellValue::Kind::text;
      case SQLITE_BLOB: return CellValue::Kind::blob;
      default: return CellValue::Kind::null;
    }
  }
  std::int64_t integer(std::size_t column) const override { return sqlite3_value_int64(values_[column]); }
  double real(std::size_t column) const override { return sqlite3_value_double(values_[column]); }
  std::string_view bytes(std::size_t column) const override {
    sqlite3_value* value = values_[column];
    const void* data = sqlite3_value_type(value) == SQLITE_BLOB ? sqlite3_value_blob(value) : sqlite3_value_text(value);
    const auto size = static_cast<std::size_t>(sqlite3_value_bytes(value));
    if (!data) {
      // No bytes for an empty value; for a value SQLite could not materialise, a failure.
      if (size != 0 || sqlite3_errcode(sqlite3_db_handle(statement_)) == SQLITE_NOMEM)
        throw DriverError("SQLiteDriver", SQLITE_NOMEM, "out of memory");
      return {};
    }
    return {static_cast<const char*>(data), size};
  }

 private:
  sqlite3_stmt* statement_;
  std::vector<sqlite3_value*> values_;
};

// Holds a connection's own mutex for a scope.
class ConnectionMutex {
 public:
  explicit ConnectionMutex(sqlite3* db) : mutex_(sqlite3_db_mutex(db)) { sqlite3_mutex_enter(mutex_); }
  ~ConnectionMutex() { sqlite3_mutex_leave(mutex_); }
  ConnectionMutex(const ConnectionMutex&) = delete;
  ConnectionMutex& operator=(const ConnectionMutex&) = delete;

 private:
  sqlite3_mutex* mutex_;
};

}  // namespace

void SQLiteDriver::Impl::prepareReading(SQLiteDriver& driver, SQLiteStatement& statement, const std::string& sql,
                                        const std::vector<CellValue>& parameters) {
  sqlite3* db = connection(driver);
  std::size_t tail = 0;
  if (statement.prepare(db, sql, &tail) != SQLITE_OK) failWithSQLite(db, -1);
  if (!statement || !onlyBlankAndSemicolons(std::string_view(sql).substr(tail)))
    fail(-1, "Rows are read from exactly one statement");
  sqlite3_stmt* stmt = statement.get();
  if (!sqlite3_stmt_readonly(stmt)) fail(-1, "Rows are read only by a statement that changes nothing");
  if (static_cast<int>(parameters.size()) != sqlite3_bind_parameter_count(stmt))
    fail(-1, "The statement takes " + std::to_string(sqlite3_bind_parameter_count(stmt)) + " values, not " +
                 std::to_string(parameters.size()));
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (bindCellValue(stmt, static_cast<int>(i) + 1, parameters[i]) != SQLITE_OK) failWithSQLite(db, -1);
  }
}

void SQLiteDriver::forEachRow(const std::string& sql, const std::vector<CellValue>& parameters,
                              const std::function<bool(const RowView& row)>& body) {
  std::lock_guard guard(lock_);
  SQLiteStatement statement;
  Impl::prepareReading(*this, statement, sql, parameters);
  StatementRow row(statement.get());
  const ConnectionMutex held(Impl::connection(*this));
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    row.takeValues();
    if (!body(row)) return;
  }
  if (rc != SQLITE_DONE) Impl::failWithSQLite(Impl::connection(*this), rc);
}

void SQLiteDriver::streamRows(const std::string& sql, const std::vector<CellValue>& parameters, std::int64_t pageRows,
                              const std::function<bool(const DataTable& page)>& body) {
  std::lock_guard guard(lock_);
  sqlite3* db = Impl::connection(*this);
  SQLiteStatement statement;
  Impl::prepareReading(*this, statement, sql, parameters);
  sqlite3_stmt* stmt = statement.get();

  pageRows = std::max<std::int64_t>(pageRows, 1);
  const std::size_t textByteLimit = cellByteLimit.value_or(std::numeric_limits<std::size_t>::max());
  DataTable page("Query Result", describeColumns(stmt, 0), {}, 0, 0, sql);
  const int count = sqlite3_column_count(stmt);
  std::int64_t delivered = 0;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    DataRow row;
    row.id = delivered + static_cast<std::int64_t>(page.rows.size());
    row.values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) row.values.push_back(readCellValue(stmt, i, textByteLimit));
    page.rows.push_back(std::move(row));
    if (static_cast<std::int64_t>(page.rows.size()) < pageRows) continue;
    delivered += static_cast<std::int64_t>(page.rows.size());
    page.totalRowCount = static_cast<std::int64_t>(page.rows.size());
    if (!body(page)) return;
    page.rows.clear();
  }
  if (rc != SQLITE_DONE) Impl::failWithSQLite(db, rc);
  if (!page.rows.empty()) {
    page.totalRowCount = static_cast<std::int64_t>(page.rows.size());
    body(page);
  }
}

}  // namespace tabvora::internal
