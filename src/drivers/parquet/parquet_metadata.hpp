#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tabvora::internal {

class ThriftCompactReader;

// What the native reader needs of a Parquet file's metadata (the Thrift `FileMetaData` at
// the end of the file): the flattened schema, the row count and, per row group, where each
// column chunk lies. Fields not named here are skipped. Decoding is strict: a malformed,
// truncated or too deeply nested footer throws DriverError, as does a count that could not
// fit the footer's bytes.
struct ParquetMetadata {
  enum class Repetition : std::uint8_t { required = 0, optional = 1, repeated = 2 };
  // The `LogicalType` union member set, by its field id (1 STRING ... 15 FLOAT16); 0 none.
  struct LogicalType {
    std::int16_t kind = 0;
    std::int32_t scale = 0;      // DECIMAL
    std::int32_t precision = 0;  // DECIMAL
    bool adjustedToUTC = false;  // TIME, TIMESTAMP
    std::int16_t unit = 0;       // TIME, TIMESTAMP: 1 millis, 2 micros, 3 nanos
    std::int32_t bitWidth = 0;   // INTEGER
    bool isSigned = true;        // INTEGER
  };
  struct SchemaElement {
    std::string name;
    std::optional<std::int32_t> type;  // physical type, leaves only
    std::int32_t typeLength = 0;
    Repetition repetition = Repetition::required;
    std::int32_t numChildren = 0;
    std::optional<std::int32_t> convertedType;
    std::int32_t scale = 0;
    std::int32_t precision = 0;
    LogicalType logicalType;
  };
  struct ColumnChunk {
    std::int32_t type = 0;
    std::int32_t codec = 0;
    std::int64_t numValues = 0;
    std::int64_t totalCompressedSize = 0;
    std::int64_t dataPageOffset = 0;
    std::optional<std::int64_t> dictionaryPageOffset;
    bool inOtherFile = false;  // file_path set: the chunk lies in another file
  };
  struct RowGroup {
    std::int64_t numRows = 0;
    std::vector<ColumnChunk> columns;
  };

  std::vector<SchemaElement> schema;  // depth first; the first is the root
  std::int64_t numRows = 0;
  std::vector<RowGroup> rowGroups;

  static ParquetMetadata decode(std::span<const std::uint8_t> bytes);
};

// Logical type ids of the `LogicalType` union.
namespace parquet_logical {
inline constexpr std::int16_t kString = 1, kMap = 2, kList = 3, kEnum = 4, kDecimal = 5, kDate = 6, kTime = 7,
                              kTimestamp = 8, kInteger = 10, kUnknown = 11, kJson = 12, kBson = 13, kUuid = 14,
                              kFloat16 = 15;
}  // namespace parquet_logical

// Physical types.
namespace parquet_physical {
inline constexpr std::int32_t kBoolean = 0, kInt32 = 1, kInt64 = 2, kInt96 = 3, kFloat = 4, kDouble = 5, kByteArray = 6,
                              kFixedLenByteArray = 7;
}  // namespace parquet_physical

// Calls `onField(header)` for every field of the struct whose fields lie `depth` levels
// deep; `onField` reads the field and returns true, or returns false to have it skipped.
// False when the reader failed.
template <class OnField>
bool readThriftStruct(ThriftCompactReader& reader, int depth, OnField&& onField);

}  // namespace tabvora::internal

#include "drivers/parquet/thrift_compact_reader.hpp"

namespace tabvora::internal {

template <class OnField>
bool readThriftStruct(ThriftCompactReader& reader, int depth, OnField&& onField) {
  if (depth > reader.deepestNesting()) return reader.markFailed();
  std::int16_t previousId = 0;
  for (ThriftCompactReader::FieldHeader field; reader.readFieldHeader(previousId, field);) {
    if (field.type == ThriftCompactReader::Type::stop) return true;
    if (!onField(field) && !reader.skip(field.type, depth)) return false;
    if (reader.failed()) return false;
  }
  return false;
}

}  // namespace tabvora::internal
