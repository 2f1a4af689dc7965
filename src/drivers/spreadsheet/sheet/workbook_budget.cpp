#include "drivers/spreadsheet/sheet/workbook_budget.hpp"

namespace tabvora::internal {

namespace {

// "256 MB", "2 GB": the limits are whole binary units.
std::string limitText(std::int64_t bytes) {
  constexpr std::int64_t kMB = std::int64_t{1} << 20;
  constexpr std::int64_t kGB = std::int64_t{1} << 30;
  if (bytes >= kGB && bytes % kGB == 0) return std::to_string(bytes / kGB) + " GB";
  if (bytes >= kMB && bytes % kMB == 0) return std::to_string(bytes / kMB) + " MB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

bool WorkbookBudget::tryCharge(std::int64_t bytes) {
  std::int64_t used = used_.load(std::memory_order_relaxed);
  do {
    if (bytes > limit_ - used) return false;
  } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
  return true;
}

void WorkbookBudget::charge(std::int64_t bytes, std::string_view what) {
  if (!tryCharge(bytes)) throw exceeded(what);
}

DriverError WorkbookBudget::exceeded(std::string_view what) const {
  return DriverError(domain_, -1,
                     "The workbook needs more than " + limitText(limit_) + " of memory to stage (" + std::string(what) +
                         ")" + (sizedByFile_ ? ": it asks for far more memory than its size suggests" : ""));
}

bool WorkbookBudget::Account::tryCharge(std::int64_t bytes) {
  if (budget_ == nullptr) return true;
  if (!budget_->tryCharge(bytes)) return false;
  bytes_ += bytes;
  return true;
}

void WorkbookBudget::Account::adopt(Account& other) {
  bytes_ += other.bytes_;
  other.bytes_ = 0;
}

void WorkbookBudget::Account::release(std::int64_t bytes) {
  if (budget_ != nullptr) budget_->release(bytes);
  bytes_ -= bytes;
}

}  // namespace tabvora::internal
