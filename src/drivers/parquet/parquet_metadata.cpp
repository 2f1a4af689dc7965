#include "drivers/parquet/parquet_metadata.hpp"

#include "drivers/parquet/parquet_limits.hpp"
#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

using Type = ThriftCompactReader::Type;
using Field = ThriftCompactReader::FieldHeader;

[[noreturn]] void throwDamaged() { throw DriverError("ParquetDriver", -1, "The Parquet file's metadata is damaged"); }

// Reads a list of structs, calling `element(depth)` for each; other element types fail.
template <class OnElement>
bool readStructList(ThriftCompactReader& reader, int depth, OnElement&& element) {
  ThriftCompactReader::ListHeader header;
  if (!reader.readListHeader(header)) return false;
  if (header.elementType != Type::structure) return reader.markFailed();
  for (std::uint32_t i = 0; i < header.size; ++i)
    if (!element(depth + 1)) return false;
  return true;
}

bool readI32Field(ThriftCompactReader& reader, const Field& field, std::int32_t& out) {
  return field.type == Type::i32 ? reader.readI32(out) : reader.markFailed();
}
bool readI64Field(ThriftCompactReader& reader, const Field& field, std::int64_t& out) {
  return field.type == Type::i64 ? reader.readI64(out) : reader.markFailed();
}

// A union of empty structs (TimeUnit): the id of the member set.
bool readUnionId(ThriftCompactReader& reader, int depth, std::int16_t& out) {
  return readThriftStruct(reader, depth, [&](const Field& field) {
    out = field.id;
    return false;
  });
}

bool readLogicalType(ThriftCompactReader& reader, int depth, ParquetMetadata::LogicalType& out) {
  return readThriftStruct(reader, depth, [&](const Field& field) {
    if (field.type != Type::structure) return false;
    out.kind = field.id;
    return readThriftStruct(reader, depth + 1, [&](const Field& inner) {
      switch (field.id) {
        case parquet_logical::kDecimal:
          if (inner.id == 1) return readI32Field(reader, inner, out.scale);
          if (inner.id == 2) return readI32Field(reader, inner, out.precision);
          return false;
        case parquet_logical::kTime:
        case parquet_logical::kTimestamp:
          if (inner.id == 1) {
            out.adjustedToUTC = ThriftCompactReader::booleanField(inner);
            return true;
          }
          if (inner.id == 2 && inner.type == Type::structure) return readUnionId(reader, depth + 2, out.unit);
          return false;
        case parquet_logical::kInteger:
          if (inner.id == 1 && inner.type == Type::byte) {
            std::int8_t width = 0;
            if (!reader.readByte(width)) return false;
            out.bitWidth = width;
            return true;
          }
          if (inner.id == 2) {
            out.isSigned = ThriftCompactReader::booleanField(inner);
            return true;
          }
          return false;
        default: return false;
      }
    });
  });
}

bool readSchemaElement(ThriftCompactReader& reader, int depth, ParquetMetadata::SchemaElement& out) {
  return readThriftStruct(reader, depth, [&](const Field& field) {
    std::int32_t number = 0;
    switch (field.id) {
      case 1:
        if (!readI32Field(reader, field, number)) return false;
        out.type = number;
        return true;
      case 2: return readI32Field(reader, field, out.typeLength);
      case 3:
        if (!readI32Field(reader, field, number)) return false;
        if (number < 0 || number > 2) return reader.markFailed();
        out.repetition = static_cast<ParquetMetadata::Repetition>(number);
        return true;
      case 4: {
        std::span<const std::uint8_t> bytes;
        if (field.type != Type::binary || !reader.readBinary(bytes)) return reader.markFailed();
        out.name.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return true;
      }
      case 5: return readI32Field(reader, field, out.numChildren);
      case 6:
        if (!readI32Field(reader, field, number)) return false;
        out.convertedType = number;
        return true;
      case 7: return readI32Field(reader, field, out.scale);
      case 8: return readI32Field(reader, field, out.precision);
      case 10: return field.type == Type::structure && readLogicalType(reader, depth + 1, out.logicalType);
      default: return false;
    }
  });
}

// The ids of the fields a struct must have (Thrift's `required`), as a mask of bits 1 << id.
bool hasAll(std::uint32_t seen, std::uint32_t required) { return (seen & required) == required; }
std::uint32_t bit(std::int16_t id) { return id >= 0 && id < 32 ? 1u << id : 0; }

bool readColumnMetaData(ThriftCompactReader& reader, int depth, ParquetMetadata::ColumnChunk& out) {
  std::uint32_t seen = 0;
  const bool read = readThriftStruct(reader, depth, [&](const Field& field) {
    seen |= bit(field.id);
    switch (field.id) {
      case 1: return readI32Field(reader, field, out.type);
      case 4: return readI32Field(reader, field, out.codec);
      case 5: return readI64Field(reader, field, out.numValues);
      case 7: return readI64Field(reader, field, out.totalCompressedSize);
      case 9: return readI64Field(reader, field, out.dataPageOffset);
      case 11: {
        std::int64_t offset = 0;
        if (!readI64Field(reader, field, offset)) return false;
        out.dictionaryPageOffset = offset;
        return true;
      }
      default: return false;
    }
  });
  // type, codec, num_values, total_compressed_size, data_page_offset
  return read && (hasAll(seen, bit(1) | bit(4) | bit(5) | bit(7) | bit(9)) || reader.markFailed());
}

bool readColumnChunk(ThriftCompactReader& reader, int depth, ParquetMetadata::ColumnChunk& out) {
  bool hasMetaData = false;
  const bool read = readThriftStruct(reader, depth, [&](const Field& field) {
    if (field.id == 1 && field.type == Type::binary) {
      std::span<const std::uint8_t> path;
      if (!reader.readBinary(path)) return false;
      out.inOtherFile = !path.empty();
      return true;
    }
    if (field.id != 3 || field.type != Type::structure) return false;
    hasMetaData = true;
    return readColumnMetaData(reader, depth + 1, out);
  });
  return read && (hasMetaData || reader.markFailed());
}

bool readRowGroup(ThriftCompactReader& reader, int depth, ParquetMetadata::RowGroup& out, std::size_t& chunksLeft) {
  std::uint32_t seen = 0;
  const bool read = readThriftStruct(reader, depth, [&](const Field& field) {
    seen |= bit(field.id);
    if (field.id == 3) return readI64Field(reader, field, out.numRows);
    if (field.id != 1 || field.type != Type::list) return false;
    return readStructList(reader, depth, [&](int elementDepth) {
      if (chunksLeft-- == 0) return reader.markFailed();
      return readColumnChunk(reader, elementDepth, out.columns.emplace_back());
    });
  });
  return read && (hasAll(seen, bit(1) | bit(3)) || reader.markFailed());  // columns, num_rows
}

}  // namespace

ParquetMetadata ParquetMetadata::decode(std::span<const std::uint8_t> bytes) {
  ThriftCompactReader reader(bytes, parquet_limits::kDeepestThriftNesting);
  ParquetMetadata metadata;
  std::size_t chunksLeft = parquet_limits::kMostColumnChunks;
  std::uint32_t seen = 0;
  const bool read = readThriftStruct(reader, 1, [&](const Field& field) {
    seen |= bit(field.id);
    switch (field.id) {
      case 2:
        if (field.type != Type::list) return reader.markFailed();
        return readStructList(reader, 1, [&](int depth) {
          if (metadata.schema.size() >= parquet_limits::kMostSchemaElements) return reader.markFailed();
          return readSchemaElement(reader, depth, metadata.schema.emplace_back());
        });
      case 3: return readI64Field(reader, field, metadata.numRows);
      case 4:
        if (field.type != Type::list) return reader.markFailed();
        return readStructList(reader, 1, [&](int depth) {
          if (metadata.rowGroups.size() >= parquet_limits::kMostColumnChunks) return reader.markFailed();
          return readRowGroup(reader, depth, metadata.rowGroups.emplace_back(), chunksLeft);
        });
      default: return false;
    }
  });
  // schema, num_rows and row_groups are required.
  if (!read || !hasAll(seen, bit(2) | bit(3) | bit(4)) || metadata.schema.empty() || metadata.numRows < 0)
    throwDamaged();
  return metadata;
}

}  // namespace tabvora::internal
