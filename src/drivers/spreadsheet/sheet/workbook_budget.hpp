#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/driver_error.hpp"

namespace tabvora::internal {

// The memory one open of a workbook may take, counted where bytes are created: the shared
// strings as they are read, each sheet's grid while it lives, and every text staged, each
// time it is staged (a string named by a thousand cells counts a thousand times), plus
// their bookkeeping (workbook_limits). Readers on several threads charge it at once.
// Running out is the open's failure: DriverError(domain, -1, "The workbook needs more than
// <limit> of memory to stage (<what>)"), to which a budget `sizedByFile` (in proportion to
// the file, see workbook_limits) adds that this is far more than the file's size suggests.
class WorkbookBudget {
 public:
  WorkbookBudget(std::int64_t limitBytes, const char* errorDomain, bool sizedByFile = false)
      : limit_(limitBytes), domain_(errorDomain), sizedByFile_(sizedByFile) {}
  WorkbookBudget(const WorkbookBudget&) = delete;
  WorkbookBudget& operator=(const WorkbookBudget&) = delete;

  std::int64_t limitBytes() const { return limit_; }
  std::int64_t usedBytes() const { return used_.load(std::memory_order_relaxed); }

  // Adds `bytes`; false, adding nothing, when they would take the use past the limit.
  bool tryCharge(std::int64_t bytes);
  void release(std::int64_t bytes) { used_.fetch_sub(bytes, std::memory_order_relaxed); }
  // tryCharge, or throws exceeded(what).
  void charge(std::int64_t bytes, std::string_view what);
  // The failure of running out while reading `what` ("sheet \"Sales\"", ...).
  DriverError exceeded(std::string_view what) const;

  // Bytes one reader charged, released when it is destroyed (or handed on to another).
  class Account {
   public:
    explicit Account(WorkbookBudget* budget = nullptr) : budget_(budget) {}
    ~Account() { releaseAll(); }
    Account(Account&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) { other.bytes_ = 0; }
    Account& operator=(Account&&) = delete;

    // Charges `budget` from now on, having released what it charged before.
    void reset(WorkbookBudget* budget) {
      releaseAll();
      budget_ = budget;
    }
    // Always true without a budget.
    bool tryCharge(std::int64_t bytes);
    // Takes over what `other` charged.
    void adopt(Account& other);
    void release(std::int64_t bytes);
    void releaseAll() { release(bytes_); }
    std::int64_t bytes() const { return bytes_; }
    WorkbookBudget* budget() const { return budget_; }

   private:
    WorkbookBudget* budget_;
    std::int64_t bytes_ = 0;
  };

 private:
  const std::int64_t limit_;
  const char* domain_;
  const bool sizedByFile_;
  std::atomic<std::int64_t> used_ = 0;
};

}  // namespace tabvora::internal
