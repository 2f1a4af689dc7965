// Feeds arbitrary bytes to the Parquet footer decoder as a footer (Thrift compact
// FileMetaData). Beyond not crashing, hanging or allocating past the input's size, a decoded
// footer must keep its promises: at least one column, names no longer than the input, and
// only type names of the decoder's tables.

#include <cstdint>
#include <set>
#include <span>
#include <string>

#include "drivers/parquet/parquet_footer.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

using tabvora::fuzzing::check;

const std::set<std::string> kTypeNames = {
    "BOOLEAN", "INT32", "INT64", "INT96",   "FLOAT",    "DOUBLE", "BYTE_ARRAY", "FIXED_LEN_BYTE_ARRAY", "UNKNOWN",
    "STRUCT",  "STRING", "MAP",  "LIST",    "ENUM",     "DECIMAL", "DATE",      "TIME",                 "TIMESTAMP",
    "JSON"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto footer = tabvora::internal::ParquetFooter::decode(std::span<const std::uint8_t>(data, size));
  if (!footer) return 0;
  check(!footer->columns.empty() && footer->columns.size() <= size);
  for (const auto& column : footer->columns) {
    check(column.name.size() <= size);
    check(kTypeNames.contains(column.typeName));
  }
  return 0;
}
