#pragma once

// Internals shared by the files that implement SQLiteDriver; not for other subsystems.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"

namespace tabvora::internal {
class SQLiteStatement;
}

namespace tabvora::internal {

struct SQLiteDriver::Impl {
  static constexpr const char* kDomain = "SQLiteDriver";
  static constexpr const char* kNotOpen = "Database is not open";
  // The first result column with this name is the row identity, read into DataRow::rowid
  // and not shown.
  static constexpr const char* kRowIdentityColumn = "__tabvora_rowid";

  [[noreturn]] static void fail(int code, const std::string& message) { throw DriverError(kDomain, code, message); }
  // The connection's last error, classified by SQLite's own code for it.
  [[noreturn]] static void failWithSQLite(sqlite3* db, int code) {
    throw DriverError(kDomain, Error::classify(sqlite3_extended_errcode(db)), code, sqlite3_errmsg(db));
  }

  // The open connection; throws "Database is not open" when there is none.
  static sqlite3* connection(SQLiteDriver& driver) {
    if (!driver.dbPointer_) fail(-1, kNotOpen);
    return driver.dbPointer_;
  }

  // Runs one statement and returns its result. `firstRowId` numbers the first row read;
  // with a limit, stepping stops after that many rows; with a positive offset, that many
  // rows are stepped over first.
  static DataTable executeStatement(SQLiteDriver& driver, const std::string& sql, std::optional<std::int64_t> limit,
                                    std::optional<std::int64_t> offset, std::int64_t firstRowId);
  // The statement wrapped in an outer SELECT with LIMIT, or nothing when wrapping could
  // change the result's columns or the statement is not a single read-only query.
  static std::optional<std::string> limitWrappedSQL(SQLiteDriver& driver, const std::string& statement,
                                                    std::int64_t limit);
  // The name that reaches the table's row identity ("rowid", "_rowid_" or "oid"), or
  // nothing for views, WITHOUT ROWID tables and tables whose columns take all three names.
  static std::optional<std::string> rowidAlias(SQLiteDriver& driver, const std::string& table);

  // Opens `filename` with `flags` through the VFS named `vfs` (the default when null),
  // storing nothing; throws the open failure.
  static sqlite3* openConnection(const std::string& filename, int flags, const char* vfs = nullptr);
  // Opens an inspecting connection (InspectionVFS) and stores it with its limits.
  static void openInspection(SQLiteDriver& driver, const std::string& filename, int flags);
  // Inspects a database held in a private in-memory file (AnonymousFile) from a read-only
  // copy of its bytes: SQLite opens files only where no link leads.
  static void openDescriptorCopy(SQLiteDriver& driver, const std::filesystem::path& path);
  // Closes the connection and releases its limits, in that order.
  static void closeConnection(SQLiteDriver& driver) noexcept;
  // False when the connection cannot read its schema (not a database, locked, ...).
  static bool passesCheckQuery(sqlite3* db);

  // Prepares one read-only statement for reading rows and binds its parameters.
  static void prepareReading(SQLiteDriver& driver, SQLiteStatement& statement, const std::string& sql,
                             const std::vector<CellValue>& parameters);

  struct Edit;  // the write-back helpers
};

}  // namespace tabvora::internal
