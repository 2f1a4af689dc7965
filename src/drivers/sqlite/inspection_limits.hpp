#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

struct sqlite3;

namespace tabvora {

// What a connection opened to inspect a file (a preview, a listing, a query from the
// command line) may do and spend. Such a connection reads; it never attaches another file
// or writes anywhere but its temporary schema, and its values, statement text and memory
// are bounded, so a small crafted database cannot make the reader run or grow without end.
class InspectionLimits {
 public:
  // Longest string or blob such a connection reads or makes ("string or blob too big"
  // past it), longest statement text, most columns of a table or result.
  static constexpr int kMaxValueBytes = 256 << 20;
  static constexpr int kMaxStatementBytes = 10 << 20;
  static constexpr int kMaxColumns = 2000;
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
  ~InspectionLimits();
  InspectionLimits(const InspectionLimits&) = delete;
  InspectionLimits& operator=(const InspectionLimits&) = delete;

 private:
  struct StatementClock {
    std::chrono::steady_clock::duration limit{};
    std::chrono::steady_clock::time_point deadline{};
  };
  static int authorize(void*, int action, const char* first, const char* second, const char* database,
                       const char* trigger);
  static int onTrace(unsigned type, void* context, void*, void*);
  static int onProgress(void* context);

  std::unique_ptr<StatementClock> clock_;
};

}  // namespace tabvora
