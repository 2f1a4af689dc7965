#include "drivers/parquet/parquet_footer.hpp"

#include <array>
#include <string_view>

#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/parquet/thrift_compact_reader.hpp"
#include "platform/byte_cursor.hpp"
#include "platform/file_reader.hpp"

namespace tabvora::internal {

namespace {

using Type = ThriftCompactReader::Type;

// Field ids of the two Thrift structs read.
constexpr std::int16_t kFileMetaDataSchema = 2;
constexpr std::int16_t kFileMetaDataNumRows = 3;
constexpr std::int16_t kSchemaElementType = 1;
constexpr std::int16_t kSchemaElementName = 4;
constexpr std::int16_t kSchemaElementNumChildren = 5;
constexpr std::int16_t kSchemaElementConvertedType = 6;

constexpr std::array<std::string_view, 8> kPhysicalTypeNames = {
    "BOOLEAN", "INT32", "INT64", "INT96", "FLOAT", "DOUBLE", "BYTE_ARRAY", "FIXED_LEN_BYTE_ARRAY"};

// Converted types by number; an empty entry leaves the physical or group name.
constexpr std::array<std::string_view, 20> kConvertedTypeNames = {
    "STRING",    "MAP", "", "LIST", "ENUM", "DECIMAL", "DATE", "TIME", "TIME", "TIMESTAMP",
    "TIMESTAMP", "",    "", "",     "",     "",        "",     "",     "",     "JSON"};

struct SchemaElement {
  std::string name;
  std::optional<std::int32_t> type;
  std::optional<std::int32_t> numChildren;
  std::optional<std::int32_t> convertedType;
};

// Reads one SchemaElement struct whose fields lie `depth` levels deep.
bool readSchemaElement(ThriftCompactReader& reader, int depth, SchemaElement& out) {
  std::int16_t previousId = 0;
  for (ThriftCompactReader::FieldHeader field; reader.readFieldHeader(previousId, field);) {
    std::int32_t number = 0;
    std::span<const std::uint8_t> bytes;
    if (field.type == Type::stop) return true;
    if (field.id == kSchemaElementName && field.type == Type::binary) {
      if (!reader.readBinary(bytes)) return false;
      out.name.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    } else if (field.type == Type::i32 && (field.id == kSchemaElementType || field.id == kSchemaElementNumChildren ||
                                           field.id == kSchemaElementConvertedType)) {
      if (!reader.readI32(number)) return false;
      if (field.id == kSchemaElementType) out.type = number;
      if (field.id == kSchemaElementNumChildren) out.numChildren = number;
      if (field.id == kSchemaElementConvertedType) out.convertedType = number;
    } else if (!reader.skip(field.type, depth)) {
      return false;
    }
  }
  return false;
}

// Reads the schema list; elements read whole before a failure are kept.
void readSchema(ThriftCompactReader& reader, int depth, std::vector<SchemaElement>& out) {
  ThriftCompactReader::ListHeader header;
  if (!reader.readListHeader(header)) return;
  for (std::uint32_t i = 0; i < header.size; ++i) {
    if (header.elementType != Type::structure) {
      if (!reader.skip(header.elementType, depth, true)) return;
      continue;
    }
    SchemaElement element;
    if (depth > parquet_limits::kDeepestThriftNesting || !readSchemaElement(reader, depth + 1, element)) return;
    out.push_back(std::move(element));
  }
}

// The top-level columns of a flattened schema tree (children follow their group, depth
// first). `pending` holds, per open group, how many children it still expects.
std::vector<ParquetFooter::Column> topLevelColumns(const std::vector<SchemaElement>& elements) {
  std::vector<ParquetFooter::Column> columns;
  std::vector<std::int32_t> pending;
  for (std::size_t i = 1; i < elements.size(); ++i) {
    const SchemaElement& element = elements[i];
    const bool isGroup = element.numChildren.value_or(0) > 0;
    if (pending.empty())
      columns.push_back({element.name, ParquetFooter::typeName(element.type, element.convertedType, isGroup)});
    if (isGroup) {
      pending.push_back(*element.numChildren);
      continue;
    }
    while (!pending.empty()) {
      if (--pending.back() > 0) break;
      pending.pop_back();
    }
  }
  return columns;
}

}  // namespace

std::string ParquetFooter::typeName(std::optional<std::int32_t> physicalType, std::optional<std::int32_t> convertedType,
                                    bool isGroup) {
  if (convertedType && *convertedType >= 0 && static_cast<std::size_t>(*convertedType) < kConvertedTypeNames.size() &&
      !kConvertedTypeNames[static_cast<std::size_t>(*convertedType)].empty()) {
    return std::string(kConvertedTypeNames[static_cast<std::size_t>(*convertedType)]);
  }
  if (isGroup) return "STRUCT";
  if (physicalType && *physicalType >= 0 && static_cast<std::size_t>(*physicalType) < kPhysicalTypeNames.size())
    return std::string(kPhysicalTypeNames[static_cast<std::size_t>(*physicalType)]);
  return "UNKNOWN";
}

std::optional<ParquetFooter> ParquetFooter::decode(std::span<const std::uint8_t> bytes) {
  ThriftCompactReader reader(bytes, parquet_limits::kDeepestThriftNesting);
  std::vector<SchemaElement> elements;
  ParquetFooter footer;
  std::int16_t previousId = 0;
  for (ThriftCompactReader::FieldHeader field; reader.readFieldHeader(previousId, field);) {
    if (field.type == Type::stop) break;
    if (field.id == kFileMetaDataSchema && field.type == Type::list) {
      readSchema(reader, 2, elements);
    } else if (field.id == kFileMetaDataNumRows && field.type == Type::i64) {
      reader.readI64(footer.rowCount);
    } else {
      reader.skip(field.type, 1);
    }
    if (reader.failed()) break;
  }
  footer.columns = topLevelColumns(elements);
  if (footer.columns.empty()) return std::nullopt;
  return footer;
}

std::optional<ParquetFooter> ParquetFooter::read(const FileReader& file, std::uint64_t fileSize) {
  if (fileSize < parquet_limits::kSmallestFileWithFooter) return std::nullopt;
  try {
    ByteBuffer tail;
    if (file.readAt(fileSize - 8, 4, tail) < 4) return std::nullopt;
    std::uint32_t length = 0;
    ByteCursor(tail.bytes()).readU32LE(length);
    if (length == 0 || length >= parquet_limits::kFooterLengthLimit || length + 12ull > fileSize) return std::nullopt;
    ByteBuffer footer;
    if (file.readAt(fileSize - 8 - length, length, footer) < length) return std::nullopt;
    return decode(footer.bytes());
  } catch (const FileReadError&) {
    return std::nullopt;
  }
}

}  // namespace tabvora::internal
