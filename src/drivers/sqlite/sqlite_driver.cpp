#include "drivers/sqlite/sqlite_driver.hpp"

#include <algorithm>
#include <system_error>

#include "drivers/sqlite/declared_column_type.hpp"
#include "drivers/sqlite/inspection_limits.hpp"
#include "drivers/sqlite/inspection_vfs.hpp"
#include "drivers/sqlite/preview_open_plan.hpp"
#include "drivers/sqlite/sqlite_driver_impl.hpp"
#include "drivers/sqlite/sqlite_statement.hpp"
#include "drivers/sqlite/sqlite_memory.hpp"
#include "drivers/sqlite/sqlite_uri.hpp"
#include "platform/anonymous_file.hpp"
#include "platform/file_reader.hpp"
#include "drivers/sqlite/text_match_function.hpp"
#include "platform/file_probe.hpp"
#include "platform/sql_quoting.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {
// Above this many bytes the tables are listed without row counts: counting every table of
// a large file would take longer than the rest of the open.
constexpr std::int64_t kCountedFileSizeLimit = 1'000'000'000;

constexpr int kReadWriteFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX;  // 0x10042
constexpr int kReadOnlyFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX;    // 0x10041
constexpr int kInMemoryFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;  // 0x10006

// SQLite takes its memory functions before its first use: at the program's start.
[[maybe_unused]] const bool kMemoryInstalled = installSQLiteMemory();

std::optional<std::string> columnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (!text) return std::nullopt;
  return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

}  // namespace

SQLiteDriver::SQLiteDriver() = default;
SQLiteDriver::~SQLiteDriver() { close(); }

sqlite3* SQLiteDriver::Impl::openConnection(const std::string& filename, int flags, const char* vfs) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(filename.c_str(), &db, flags, vfs);
  if (rc == SQLITE_OK && db) rc = registerTextMatchFunction(db);
  if (rc == SQLITE_OK && db) return db;
  std::string message = db ? sqlite3_errmsg(db) : "Failed to open database";
  if (db) sqlite3_close_v2(db);
  fail(rc == SQLITE_OK ? -1 : rc, message);
}

void SQLiteDriver::Impl::openInspection(SQLiteDriver& driver, const std::string& filename, int flags) {
  closeConnection(driver);
  driver.dbPointer_ = openConnection(filename, flags, InspectionVFS::name());
  driver.inspection_ = std::make_unique<InspectionLimits>(driver.dbPointer_, driver.statementTimeLimit);
}

void SQLiteDriver::Impl::openDescriptorCopy(SQLiteDriver& driver, const std::filesystem::path& path) {
  closeConnection(driver);
  const FileReader reader(path);
  if (reader.size() > static_cast<std::uint64_t>(INT64_MAX)) fail(-1, "The database is too large");
  const auto size = static_cast<sqlite3_int64>(reader.size());
  ByteBuffer bytes;
  reader.readAt(0, static_cast<std::size_t>(size), bytes);
  auto* copy =
      static_cast<unsigned char*>(sqlite3_malloc64(static_cast<sqlite3_uint64>(std::max<sqlite3_int64>(size, 1))));
  if (!copy) fail(SQLITE_NOMEM, "Not enough memory to read the database");
  std::copy(bytes.bytes().begin(), bytes.bytes().end(), copy);
  // A database in write-ahead-log mode reads from memory as the rollback-journal form
  // (header bytes 18 and 19: file format versions 2 become 1); no log exists beside it.
  constexpr sqlite3_int64 kVersionBytes = 20;
  if (size >= kVersionBytes && (copy[18] == 2 || copy[19] == 2)) copy[18] = copy[19] = 1;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(":memory:", &db, kInMemoryFlags, InspectionVFS::name());
  if (rc == SQLITE_OK && db) rc = registerTextMatchFunction(db);
  if (rc == SQLITE_OK && db)
    rc =
        sqlite3_deserialize(db, "main", copy, size, size, SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY);
  else
    sqlite3_free(copy);
  if (rc != SQLITE_OK || !db) {
    std::string message = db ? sqlite3_errmsg(db) : "Failed to open database";
    if (db) sqlite3_close_v2(db);
    fail(rc == SQLITE_OK ? -1 : rc, message);
  }
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  driver.dbPointer_ = db;
  driver.inspection_ = std::make_unique<InspectionLimits>(driver.dbPointer_, driver.statementTimeLimit);
}

void SQLiteDriver::Impl::closeConnection(SQLiteDriver& driver) noexcept {
  if (driver.dbPointer_) sqlite3_close_v2(driver.dbPointer_);
  driver.dbPointer_ = nullptr;
  driver.inspection_.reset();
}

bool SQLiteDriver::Impl::passesCheckQuery(sqlite3* db) {
  return sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) == SQLITE_OK;
}

DatabaseMetadata SQLiteDriver::open(const std::filesystem::path& url) {
  std::lock_guard guard(lock_);
  close();
  currentURL_ = url;
  try {
    // A folder cannot be opened, and a pipe, socket or device would block SQLite's first
    // read forever.
    const FileProbe probe = FileProbe::of(url);
    if (std::optional<std::string> refusal = probe.refusal(url)) Impl::fail(-1, *refusal);

    std::filesystem::path openedPath = url;
    if (AnonymousFile::isDescriptorPath(url)) {
      Impl::openDescriptorCopy(*this, url);
    } else if (previewReadOnly) {
      PreviewOpenPlan plan = PreviewOpenPlan::make(url);
      previewCopyDirectory_ = plan.copyDirectory;
      openedPath = plan.databasePath;
      Impl::openInspection(*this, plan.filename, plan.flags);
    } else {
      try {
        dbPointer_ = Impl::openConnection(url.string(), kReadWriteFlags);
      } catch (const DriverError&) {
        dbPointer_ = Impl::openConnection(url.string(), kReadOnlyFlags);
      }
    }

    // The check query reads the schema; a file that opened but cannot be read (locked by
    // another writer, say) is opened again as an immutable snapshot.
    // An inspecting connection refuses every write from here on; one into a private copy
    // would land in a file nobody keeps.
    if (!AnonymousFile::isDescriptorPath(url) && !Impl::passesCheckQuery(dbPointer_)) {
      const std::string snapshot = sqliteFileURI(openedPath, "immutable=1");
      if (previewReadOnly) {
        Impl::openInspection(*this, snapshot, kReadOnlyFlags);
      } else {
        Impl::closeConnection(*this);
        dbPointer_ = Impl::openConnection(snapshot, kReadOnlyFlags);
      }
    }

    DatabaseMetadata metadata;
    metadata.name = url.filename().string();
    metadata.format = DatabaseFormat::sqlite;
    metadata.fileURL = url;
    metadata.fileSize = probe.size;
    metadata.tables = fetchTables();
    metadata.schemaDDL = getDDL(std::nullopt);
    return metadata;
  } catch (...) {
    close();
    throw;
  }
}

void SQLiteDriver::close() noexcept {
  std::lock_guard guard(lock_);
  forgetPages();
  Impl::closeConnection(*this);
  if (previewCopyDirectory_) removePreviewCopy(*previewCopyDirectory_);
  previewCopyDirectory_.reset();
}

std::vector<TableMetadata> SQLiteDriver::fetchTables() {
  std::lock_guard guard(lock_);
  sqlite3* db = Impl::connection(*this);
  bool countRows = true;
  if (currentURL_) {
    if (FileProbe::of(*currentURL_).size > kCountedFileSizeLimit) countRows = false;
  }

  SQLiteStatement list;
  if (list.prepare(db,
                   "SELECT name, type, sql FROM sqlite_master WHERE type IN ('table', 'view') "
                   "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name;") != SQLITE_OK)
    Impl::failWithSQLite(db, -1);

  std::vector<TableMetadata> tables;
  int rc;
  while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
    std::optional<std::string> name = columnText(list.get(), 0);
    if (!name) continue;
    const bool isView = toLowerUnicode(columnText(list.get(), 1).value_or("table")) == "view";
    TableMetadata table;
    table.name = *name;
    table.type = isView ? TableType::view : TableType::table;
    table.sqlDDL = columnText(list.get(), 2);
    if (!isView && countRows) {
      SQLiteStatement count;
      if (count.prepare(db, "SELECT COUNT(*) FROM " + quoteIdentifier(*name) + ";") == SQLITE_OK && count &&
          sqlite3_step(count.get()) == SQLITE_ROW) {
        table.rowCount = sqlite3_column_int64(count.get(), 0);
        // The first page of the table then needs no second count.
        rowCountCache_[*name] = *table.rowCount;
      }
    }
    tables.push_back(std::move(table));
  }
  // A listing that stopped half way (a corrupt schema page, say) is an error, not a short list.
  if (rc != SQLITE_DONE) Impl::failWithSQLite(db, rc);
  return tables;
}

std::vector<DataColumn> SQLiteDriver::fetchSchema(const std::string& tableName) {
  std::lock_guard guard(lock_);
  sqlite3* db = Impl::connection(*this);
  SQLiteStatement info;
  if (info.prepare(db, "PRAGMA table_info(" + quoteIdentifier(tableName) + ");") != SQLITE_OK)
    Impl::failWithSQLite(db, -1);

  // table_info columns: cid, name, type, notnull, dflt_value, pk.
  std::vector<DataColumn> columns;
  if (!info) return columns;
  int rc;
  while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
    std::optional<std::string> name = columnText(info.get(), 1);
    if (!name) continue;
    DataColumn column;
    column.name = *name;
    column.type = schemaColumnType(columnText(info.get(), 2).value_or("TEXT"));
    column.isNullable = sqlite3_column_int64(info.get(), 3) == 0;
    column.defaultValue = columnText(info.get(), 4);
    column.isPrimaryKey = sqlite3_column_int64(info.get(), 5) != 0;
    column.index = static_cast<int>(columns.size());
    columns.push_back(std::move(column));
  }
  if (rc != SQLITE_DONE) Impl::failWithSQLite(db, rc);
  return columns;
}

std::optional<std::string> SQLiteDriver::getDDL(std::optional<std::string> tableName) {
  std::lock_guard guard(lock_);
  if (!dbPointer_) return std::nullopt;
  std::string sql = "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL";
  if (tableName) sql += " AND name = " + sqlStringLiteral(*tableName);
  sql += " ORDER BY type DESC, name ASC;";
  SQLiteStatement statement;
  if (statement.prepare(dbPointer_, sql) != SQLITE_OK || !statement) return std::nullopt;
  std::string ddl;
  bool any = false;
  while (sqlite3_step(statement.get()) == SQLITE_ROW) {
    std::optional<std::string> text = columnText(statement.get(), 0);
    if (!text) continue;
    if (any) ddl += "\n\n";
    ddl += *text + ";";
    any = true;
  }
  if (!any) return std::nullopt;
  return ddl;
}

std::optional<std::string> SQLiteDriver::Impl::rowidAlias(SQLiteDriver& driver, const std::string& table) {
  sqlite3* db = connection(driver);
  {
    SQLiteStatement type;
    if (type.prepare(db, "SELECT type FROM sqlite_master WHERE name = " + sqlStringLiteral(table) + ";") == SQLITE_OK &&
        type && sqlite3_step(type.get()) == SQLITE_ROW && columnText(type.get(), 0) == "view")
      return std::nullopt;
  }

  std::vector<std::string> names;
  {
    SQLiteStatement info;
    if (info.prepare(db, "PRAGMA table_info(" + quoteIdentifier(table) + ");") == SQLITE_OK && info)
      while (sqlite3_step(info.get()) == SQLITE_ROW)
        if (std::optional<std::string> name = columnText(info.get(), 1)) names.push_back(toLowerUnicode(*name));
  }
  // A table at the column limit could not add the alias to its result.
  if (static_cast<int>(names.size()) >= sqlite3_limit(db, SQLITE_LIMIT_COLUMN, -1)) return std::nullopt;

  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    if (std::find(names.begin(), names.end(), candidate) != names.end()) continue;
    SQLiteStatement probe;
    std::string alias = candidate;
    if (probe.prepare(db, "SELECT " + alias + " FROM " + quoteIdentifier(table) + " LIMIT 0") == SQLITE_OK && probe)
      return alias;
    return std::nullopt;
  }
  return std::nullopt;
}

void SQLiteDriver::saveChanges() {
  std::lock_guard guard(lock_);
  if (dbPointer_) executeRawSQL("PRAGMA wal_checkpoint(FULL);");
}

// Staging primitives.

void SQLiteDriver::openInMemory() {
  std::lock_guard guard(lock_);
  close();
  sqlite3* db = nullptr;
  // Staged data may come from a script someone else wrote: through the inspecting VFS no
  // statement can create, write or delete a named file, whatever else lets it through.
  int rc = sqlite3_open_v2(":memory:", &db, kInMemoryFlags, InspectionVFS::name());
  if (rc == SQLITE_OK && db) rc = registerTextMatchFunction(db);
  if (rc != SQLITE_OK || !db) {
    std::string message = db ? sqlite3_errmsg(db) : "Failed to open in-memory database";
    if (db) sqlite3_close_v2(db);
    Impl::fail(rc == SQLITE_OK ? -1 : rc, message);
  }
  // Nothing run against a staging database may reach a file through ATTACH.
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  // The private database is never written to a file, so the pages its rows fill need not be
  // zeroed first (the library's default here): that halves the memory written while staging.
  sqlite3_exec(db, "PRAGMA secure_delete = OFF;", nullptr, nullptr, nullptr);
  dbPointer_ = db;
}

void SQLiteDriver::openInMemoryForScript(std::chrono::milliseconds statementTime, std::int64_t heapBytes) {
  std::lock_guard guard(lock_);
  openInMemory();
  inspection_ =
      std::make_unique<InspectionLimits>(dbPointer_, InspectionLimits::ScriptStaging{statementTime, heapBytes});
}

void SQLiteDriver::limitRunUntil(std::chrono::steady_clock::time_point deadline) {
  std::lock_guard guard(lock_);
  if (inspection_) inspection_->limitRunUntil(deadline);
}

bool SQLiteDriver::inTransaction() {
  std::lock_guard guard(lock_);
  return sqlite3_get_autocommit(Impl::connection(*this)) == 0;
}

void SQLiteDriver::takeOptions(const OpenOptions& options) {
  previewReadOnly = options.readOnlyInspection;
  statementTimeLimit = options.statementTimeLimit;
  cellByteLimit = options.cellByteLimit;
}

void SQLiteDriver::executeRawSQL(const std::string& sql) {
  std::lock_guard guard(lock_);
  forgetPages();
  sqlite3* db = Impl::connection(*this);
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  if (rc == SQLITE_OK) return;
  std::string message = error ? error : "SQL execution failed";
  sqlite3_free(error);
  Impl::fail(rc, message);
}

void SQLiteDriver::withPreparedStatement(const std::string& sql, const std::function<void(sqlite3_stmt*)>& body) {
  std::lock_guard guard(lock_);
  sqlite3* db = Impl::connection(*this);
  SQLiteStatement statement;
  if (statement.prepare(db, sql) != SQLITE_OK) Impl::failWithSQLite(db, -1);
  if (!statement) Impl::fail(-1, "The SQL text holds no statement to prepare");
  body(statement.get());
}

void SQLiteDriver::stepAndReset(sqlite3_stmt* statement) {
  // Called inside a withPreparedStatement body, where the lock is already held; taking
  // the recursive lock again costs little and keeps a stray caller safe.
  std::lock_guard guard(lock_);
  forgetPages();
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(statement);
    return;
  }
  std::string message = dbPointer_ ? sqlite3_errmsg(dbPointer_) : "Insert failed";
  sqlite3_reset(statement);
  Impl::fail(rc, message);
}

}  // namespace tabvora::internal
