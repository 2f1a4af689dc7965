#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/driver_error.hpp"

namespace tabvora::internal {

// Bytes the decoded values of one row group may take, shared by its columns: each decoder
// takes what it is about to hold before it allocates. Throws DriverError past the limit.
// Columns decoded on several threads at once may take from one budget; a copy is taken
// and given back on one thread only.
class DecodeBudget {
 public:
  explicit DecodeBudget(std::uint64_t bytes) : left_(bytes) {}
  DecodeBudget(const DecodeBudget& other) : left_(other.left_.load(std::memory_order_relaxed)) {}
  DecodeBudget& operator=(const DecodeBudget& other) {
    left_.store(other.left_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return *this;
  }
  void take(std::uint64_t bytes) {
    std::uint64_t left = left_.load(std::memory_order_relaxed);
    do {
      if (bytes > left)
        throw DriverError("ParquetDriver", -1,
                          "A row group of the Parquet file decodes larger than the reader's limit");
    } while (!left_.compare_exchange_weak(left, left - bytes, std::memory_order_relaxed));
  }

 private:
  std::atomic<std::uint64_t> left_;
};

// Decoded values of one leaf column, in the form of its physical type: BOOLEAN, INT32 and
// INT64 as integers, FLOAT and DOUBLE as reals, BYTE_ARRAY, FIXED_LEN_BYTE_ARRAY and INT96
// as byte strings (one arena and the end of each value in it).
struct ParquetValues {
  enum class Form : std::uint8_t { integer, real, binary };
  Form form = Form::integer;
  std::vector<std::int64_t> integers;
  std::vector<double> reals;
  std::string bytes;
  std::vector<std::size_t> ends;

  std::size_t size() const {
    return form == Form::integer ? integers.size() : form == Form::real ? reals.size() : ends.size();
  }
  std::string_view binary(std::size_t i) const {
    const std::size_t start = i == 0 ? 0 : ends[i - 1];
    return std::string_view(bytes).substr(start, ends[i] - start);
  }
  void appendBinary(std::string_view value) {
    bytes.append(value);
    ends.push_back(bytes.size());
  }
  // Appends value `i` of `other`, which has the same form.
  void appendFrom(const ParquetValues& other, std::size_t i) {
    if (form == Form::integer)
      integers.push_back(other.integers[i]);
    else if (form == Form::real)
      reals.push_back(other.reals[i]);
    else
      appendBinary(other.binary(i));
  }
  void clear() {
    integers.clear();
    reals.clear();
    bytes.clear();
    ends.clear();
  }
};

}  // namespace tabvora::internal
