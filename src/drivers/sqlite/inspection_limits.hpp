#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

struct sqlite3;

namespace tabvora::internal {

// What a connection opened to inspect a file (a preview, a listing, a query from the
// command line) may do and spend. Such a connection reads; it never attaches another file
// or writes anywhere but its temporary schema, and its values, statement text and memory
// are bounded, so a small crafted database cannot make the reader run or grow without end.
class InspectionLimits {
 public:
  // Longest string or blob such a connection reads or makes ("string or blob too big"
  // past it), longest statement text; the columns of a table or result stop at
  // limits::kMaxColumns.
  static constexpr int kMaxValueBytes = 256 << 20;
  static constexpr int kMaxStatementBytes = 10 << 20;
  // SQLite's heap is capped at this many bytes while any inspection connection is open;
  // an allocation past it fails the statement with "out of memory".
  static constexpr std::int64_t kHeapLimitBytes = std::int64_t{1} << 30;
  // Virtual-machine steps between two checks of a statement's time.
  static constexpr int kProgressInterval = 1000;

  // Applies the limits, the authorizer and, when `statementTimeLimit` is given, a clock
  // that interrupts every statement running longer than that ("interrupted"). Holds the
  // process's SQLite heap limit until destroyed. Must outlive the connection's use and be
  // destroyed after sqlite3_close.
  InspectionLimits(sqlite3* db, std::optional<std::chrono::milliseconds> statementTimeLimit);

  // A staging connection that runs a SQL script someone else wrote. It may create, fill and
  // drop anything in its in-memory schemas, but nothing it runs reaches a file or changes the
  // process: ATTACH and DETACH, load_extension() and the file functions, and the pragmas
  // that set a folder, a mapping, a heap limit or where temporary data goes are refused;
  // temporary data stays in memory; defensive mode forbids writing the schema table by
  // hand. Every statement is interrupted after `statementTimeLimit`, and none runs past the
  // deadline set by limitRunUntil. The process's SQLite heap is capped at `heapLimitBytes`
  // (unless a lower cap is already held) while the object lives.
  struct ScriptStaging {
    std::chrono::milliseconds statementTimeLimit;
    std::int64_t heapLimitBytes;
  };
  // Longest statement a script may run; a dump's longest (an extended INSERT) stays far
  // below.
  static constexpr int kMaxScriptStatementBytes = 64 << 20;
  InspectionLimits(sqlite3* db, const ScriptStaging& script);

  // Statements started from now on stop at `deadline` at the latest (as "interrupted").
  void limitRunUntil(std::chrono::steady_clock::time_point deadline);

  ~InspectionLimits();
  InspectionLimits(const InspectionLimits&) = delete;
  InspectionLimits& operator=(const InspectionLimits&) = delete;

 private:
  struct StatementClock {
    std::chrono::steady_clock::duration limit{};
    std::chrono::steady_clock::time_point deadline{};
    std::chrono::steady_clock::time_point runDeadline = std::chrono::steady_clock::time_point::max();
  };
  void startClock(sqlite3* db, std::chrono::milliseconds limit);
  static int authorize(void*, int action, const char* first, const char* second, const char* database,
                       const char* trigger);
  static int authorizeScript(void*, int action, const char* first, const char* second, const char* database,
                             const char* trigger);
  static int onTrace(unsigned type, void* context, void*, void*);
  static int onProgress(void* context);

  std::unique_ptr<StatementClock> clock_;
};

}  // namespace tabvora::internal
