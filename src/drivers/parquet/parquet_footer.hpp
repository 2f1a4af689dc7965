#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tabvora::internal {

class FileReader;

// What the preview shows of a Parquet file's metadata (the Thrift `FileMetaData` at the
// end of the file): its top-level columns with a type name each, and its row count.
//
// Only `FileMetaData` field 2 (schema: a list of `SchemaElement`) and field 3 (num_rows)
// are read, and of each `SchemaElement` fields 1 (physical type), 4 (name), 5
// (num_children) and 6 (converted type); everything else is skipped. The first element is
// the root. A group (an element with children) is listed as "STRUCT", or as what its
// converted type names (LIST, MAP); its descendants are not listed.
struct ParquetFooter {
  struct Column {
    std::string name;
    std::string typeName;
  };
  std::vector<Column> columns;
  std::int64_t rowCount = 0;  // 0 when the footer does not say

  // Decodes footer bytes. Decoding stops at the first malformed or missing byte and keeps
  // what was complete before it; no column at all gives nothing.
  static std::optional<ParquetFooter> decode(std::span<const std::uint8_t> bytes);

  // The footer of a file of `fileSize` bytes read through `file`: the 4-byte little-endian
  // length 8 bytes from the end, then that many bytes before it. Nothing when the file is
  // too small, the length is 0, too large or reaches before the leading magic, or the file
  // cannot be read.
  static std::optional<ParquetFooter> read(const FileReader& file, std::uint64_t fileSize);

  // "INT64", "BYTE_ARRAY", ... by physical type number, "UNKNOWN" for any other; replaced
  // by a converted type's name where it has one ("STRING", "DECIMAL", "TIMESTAMP", ...).
  static std::string typeName(std::optional<std::int32_t> physicalType, std::optional<std::int32_t> convertedType,
                              bool isGroup);
};

}  // namespace tabvora::internal
