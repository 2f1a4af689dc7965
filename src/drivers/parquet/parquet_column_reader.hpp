#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "drivers/parquet/parquet_metadata.hpp"
#include "drivers/parquet/parquet_value_decoder.hpp"
#include "drivers/parquet/parquet_values.hpp"
#include "platform/byte_buffer.hpp"

namespace tabvora::internal {

// One leaf column of one row group, decoded: a definition and a repetition level per value
// slot (empty when the column's maximum is 0) and the values of the slots that are defined.
struct ParquetColumnData {
  std::vector<std::uint8_t> definitionLevels;
  std::vector<std::uint8_t> repetitionLevels;
  std::size_t slots = 0;
  ParquetValues values;
};

// Reads the pages of one column chunk: an optional dictionary page, then data pages (v1:
// levels and values compressed together; v2: the levels uncompressed before the values,
// which are compressed when the header says so). Index pages are skipped. Every size and
// count is checked against the chunk's bytes, and decompressed sizes against
// parquet_limits::kLargestPage; throws DriverError for anything that does not hold.
class ParquetColumnReader {
 public:
  struct Leaf {
    ParquetValueDecoder::Physical physical;
    int maxDefinition = 0;
    int maxRepetition = 0;
  };

  // The chunk's bytes from its first page on, `size` in all, read as the pages are:
  // `bytes(offset, count)` gives the `count` bytes from `offset` (offset + count <= size);
  // the view stays valid until the next call.
  struct Source {
    std::uint64_t size = 0;
    std::function<std::span<const std::uint8_t>(std::uint64_t offset, std::uint64_t count)> bytes;
  };

  // Room for decompressed pages, kept from one chunk to the next so that it is not taken
  // (and its memory touched) afresh for each.
  struct Buffers {
    std::vector<std::uint8_t> page;
    std::vector<std::uint8_t> values;
    // A preview's pages, read and decompressed in part (ParquetPagePrefix).
    ByteBuffer prefixInput;
    ByteBuffer prefixOutput;
    // A preview's dictionary page, read and decompressed in part.
    ByteBuffer dictionaryInput;
    ByteBuffer dictionaryOutput;
  };

  // Pages are read until the first `rowLimit` rows are whole (a preview's rows), or all of
  // them: returns whether all. When it stops early `out` holds exactly the first
  // `rowLimit` rows, the levels and values past them in the last page read left undecoded;
  // the data pages (v1) of such a read are read and decompressed only as far as their
  // kept levels and values, where the codec allows (ParquetPagePrefix), and so is the
  // dictionary page, as far as the entries the kept values' indexes reach.
  static bool read(const ParquetMetadata::ColumnChunk& chunk, const Source& source, const Leaf& leaf,
                   ParquetColumnData& out, DecodeBudget& budget, Buffers& buffers, std::uint64_t rowLimit = UINT64_MAX);
};

}  // namespace tabvora::internal
