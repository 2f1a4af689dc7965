#include "drivers/sqlite/inspection_limits.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <initializer_list>
#include <mutex>
#include <string_view>

#include "platform/ascii_case.hpp"
#include "platform/limits.hpp"

namespace tabvora::internal {

namespace {

// The heap limit is process-wide in SQLite, so it is set by the first limited connection
// (never raised above a cap already in force) and put back by the last one.
std::mutex heapMutex;
int heapHolders = 0;
sqlite3_int64 heapLimitBefore = 0;

void holdHeapLimit(std::int64_t bytes) {
  std::lock_guard guard(heapMutex);
  if (heapHolders++ > 0) return;
  heapLimitBefore = sqlite3_hard_heap_limit64(-1);
  if (heapLimitBefore == 0 || heapLimitBefore > bytes) sqlite3_hard_heap_limit64(bytes);
}

void releaseHeapLimit() {
  std::lock_guard guard(heapMutex);
  if (--heapHolders > 0) return;
  sqlite3_hard_heap_limit64(heapLimitBefore);
}

// Pragmas that take an argument yet only read: schema questions and checks.
bool isReadingPragma(std::string_view name) {
  static constexpr std::string_view kReading[] = {
      "table_info", "table_xinfo",      "table_list",        "index_info",      "index_xinfo",
      "index_list", "foreign_key_list", "foreign_key_check", "integrity_check", "quick_check"};
  for (std::string_view reading : kReading)
    if (equalsIgnoringASCIICase(name, reading)) return true;
  return false;
}

bool isNamed(const char* name, std::initializer_list<std::string_view> names) {
  if (name == nullptr) return false;
  const std::string_view text(name);
  for (std::string_view candidate : names)
    if (equalsIgnoringASCIICase(text, candidate)) return true;
  return false;
}

bool isTemporary(const char* database) { return database != nullptr && std::string_view(database) == "temp"; }

}  // namespace

InspectionLimits::InspectionLimits(sqlite3* db, std::optional<std::chrono::milliseconds> statementTimeLimit) {
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
  sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, kMaxStatementBytes);
  sqlite3_limit(db, SQLITE_LIMIT_COLUMN, static_cast<int>(limits::kMaxColumns));
  sqlite3_set_authorizer(db, authorize, nullptr);
  if (statementTimeLimit) startClock(db, *statementTimeLimit);
  holdHeapLimit(kHeapLimitBytes);
}

InspectionLimits::InspectionLimits(sqlite3* db, const ScriptStaging& script) {
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
  sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, kMaxScriptStatementBytes);
  sqlite3_limit(db, SQLITE_LIMIT_COLUMN, static_cast<int>(limits::kMaxColumns));
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  // Sorts, temporary tables and indexes of a memory database could otherwise spill into
  // temporary files; in memory they count against the heap limit. Set before the
  // authorizer, which refuses the pragma from then on.
  sqlite3_exec(db, "PRAGMA temp_store = MEMORY;", nullptr, nullptr, nullptr);
  sqlite3_set_authorizer(db, authorizeScript, nullptr);
  startClock(db, script.statementTimeLimit);
  holdHeapLimit(script.heapLimitBytes);
}

void InspectionLimits::startClock(sqlite3* db, std::chrono::milliseconds limit) {
  clock_ = std::make_unique<StatementClock>();
  clock_->limit = limit;
  clock_->deadline = std::chrono::steady_clock::now() + clock_->limit;
  sqlite3_trace_v2(db, SQLITE_TRACE_STMT, onTrace, clock_.get());
  sqlite3_progress_handler(db, kProgressInterval, onProgress, clock_.get());
}

void InspectionLimits::limitRunUntil(std::chrono::steady_clock::time_point deadline) {
  if (clock_) clock_->runDeadline = deadline;
}

InspectionLimits::~InspectionLimits() { releaseHeapLimit(); }

int InspectionLimits::authorize(void*, int action, const char* first, const char* second, const char* database,
                                const char*) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT: return SQLITE_OK;
    case SQLITE_PRAGMA:
      // A pragma without an argument asks; with one it may set (journal_mode, writable_schema).
      return second == nullptr || (first != nullptr && isReadingPragma(first)) ? SQLITE_OK : SQLITE_DENY;
    // Temporary objects live in memory or a temporary file of this connection only.
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_TEMP_INDEX:
    case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_DROP_TEMP_TABLE:
    case SQLITE_DROP_TEMP_INDEX:
    case SQLITE_DROP_TEMP_VIEW:
    case SQLITE_DROP_TEMP_TRIGGER: return SQLITE_OK;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE: return isTemporary(database) ? SQLITE_OK : SQLITE_DENY;
    default:
      // ATTACH, DETACH, every change to the file's schema or rows, ANALYZE, REINDEX, ...
      return SQLITE_DENY;
  }
}

int InspectionLimits::authorizeScript(void*, int action, const char* first, const char* second, const char*,
                                      const char*) {
  switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH: return SQLITE_DENY;
    case SQLITE_FUNCTION:
      // The name is the second argument. The file functions exist only where a host adds
      // them; they are refused all the same.
      return isNamed(second, {"load_extension", "readfile", "writefile", "edit", "fts3_tokenizer"}) ? SQLITE_DENY
                                                                                                    : SQLITE_OK;
    case SQLITE_PRAGMA:
      // Folders for files, mappings, process-wide heap and thread settings, and where
      // temporary data goes; asking for their value is refused as well.
      return isNamed(first, {"temp_store_directory", "data_store_directory", "temp_store", "mmap_size",
                             "hard_heap_limit", "soft_heap_limit", "threads"})
                 ? SQLITE_DENY
                 : SQLITE_OK;
    default: return SQLITE_OK;
  }
}

int InspectionLimits::onTrace(unsigned, void* context, void*, void* text) {
  // A trigger's program is traced again inside its statement; it must not buy the
  // statement more time.
  if (text != nullptr && std::string_view(static_cast<const char*>(text)).starts_with("-- TRIGGER ")) return 0;
  auto* clock = static_cast<StatementClock*>(context);
  clock->deadline = std::min(std::chrono::steady_clock::now() + clock->limit, clock->runDeadline);
  return 0;
}

int InspectionLimits::onProgress(void* context) {
  const auto* clock = static_cast<const StatementClock*>(context);
  return std::chrono::steady_clock::now() > clock->deadline ? 1 : 0;
}

}  // namespace tabvora::internal
