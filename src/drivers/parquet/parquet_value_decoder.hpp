#pragma once

#include <cstdint>
#include <span>

#include "drivers/parquet/parquet_values.hpp"

namespace tabvora::internal {

// Decodes the values of a data or dictionary page in one of Parquet's encodings: PLAIN (0),
// PLAIN_DICTIONARY (2) and RLE_DICTIONARY (8: a byte giving the index width, then the
// indexes in the RLE / bit-packing hybrid), RLE (3, booleans: a 4-byte length, then the
// hybrid at width 1), DELTA_BINARY_PACKED (5), DELTA_LENGTH_BYTE_ARRAY (6),
// DELTA_BYTE_ARRAY (7) and BYTE_STREAM_SPLIT (9).
class ParquetValueDecoder {
 public:
  struct Physical {
    std::int32_t type = 0;
    std::int32_t typeLength = 0;  // FIXED_LEN_BYTE_ARRAY
  };

  // The form values of `physical` take (see ParquetValues).
  static ParquetValues::Form formOf(const Physical& physical);

  // Appends the first `keep` (at most `count`) of the page's `count` values to `out` (whose
  // form is formOf(physical)); the rest are not decoded, nor all of them checked. A
  // dictionary encoding looks its indexes up in `dictionary` (absent: the page is damaged).
  // Throws DriverError for bytes that do not hold the values, an index past the
  // dictionary, an encoding that does not fit the type, and an unknown encoding.
  static void decode(std::int32_t encoding, const Physical& physical, std::span<const std::uint8_t> bytes,
                     std::size_t count, std::size_t keep, const ParquetValues* dictionary, ParquetValues& out,
                     DecodeBudget& budget);
  // The largest of the first `keep` indexes of a dictionary-encoded page's values (their
  // bytes as decode takes them); nothing when `keep` is 0. Throws DriverError as decode does
  // for indexes that cannot be read.
  static std::uint32_t largestIndex(std::span<const std::uint8_t> bytes, std::size_t keep);
  // How many whole PLAIN values of `physical` the first bytes of a page hold, at most
  // `count`; `used` is set to the bytes they take.
  static std::size_t wholePlainValues(const Physical& physical, std::span<const std::uint8_t> bytes, std::size_t count,
                                      std::size_t& used);
};

}  // namespace tabvora::internal
