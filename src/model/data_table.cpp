#include "model/data_table.hpp"

#include <cstdio>
#include <random>

namespace tabvora::internal {

DataTable::DataTable(std::string name, std::vector<DataColumn> columns, std::vector<DataRow> rows,
                     std::optional<std::int64_t> totalRowCount, double executionTimeMs,
                     std::optional<std::string> query)
    : id(makeUUID()),
      name(std::move(name)),
      columns(std::move(columns)),
      rows(std::move(rows)),
      totalRowCount(totalRowCount.value_or(static_cast<std::int64_t>(this->rows.size()))),
      executionTimeMs(executionTimeMs),
      query(std::move(query)) {}

DataTable DataTable::empty() { return DataTable("Empty", {}, {}, 0, 0, std::nullopt); }

// A version 4 (random) UUID. The generator is seeded once per thread from the system's
// entropy source; identifiers only need to be distinct, not secret.
std::string makeUUID() {
  thread_local std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  std::uint64_t high = generator();
  std::uint64_t low = generator();
  high = (high & ~0xF000ULL) | 0x4000ULL;                // version 4
  low = (low & ~(0xC000ULL << 48)) | (0x8000ULL << 48);  // RFC 4122 variant
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%08llX-%04llX-%04llX-%04llX-%012llX",
                static_cast<unsigned long long>(high >> 32), static_cast<unsigned long long>((high >> 16) & 0xFFFF),
                static_cast<unsigned long long>(high & 0xFFFF), static_cast<unsigned long long>(low >> 48),
                static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
  return buffer;
}

}  // namespace tabvora::internal
