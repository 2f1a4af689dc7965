#include "drivers/parquet/parquet_column_reader.hpp"

#include <algorithm>
#include <bit>
#include <string>

#include "drivers/parquet/parquet_codec.hpp"
#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/parquet/rle_hybrid_decoder.hpp"
#include "model/driver_error.hpp"
#include "platform/byte_cursor.hpp"

namespace tabvora::internal {

namespace {

using Type = ThriftCompactReader::Type;
using Field = ThriftCompactReader::FieldHeader;

constexpr std::int32_t kDataPage = 0;
constexpr std::int32_t kDictionaryPage = 2;
constexpr std::int32_t kDataPageV2 = 3;
constexpr std::int32_t kRleEncoding = 3;

[[noreturn]] void throwDamaged() {
  throw DriverError("ParquetDriver", -1, "A data page of the Parquet file is damaged");
}

void require(bool condition) {
  if (!condition) throwDamaged();
}

struct PageHeader {
  std::int32_t type = -1;
  std::int32_t uncompressedSize = -1;
  std::int32_t compressedSize = -1;
  std::int32_t numValues = 0;
  std::int32_t encoding = 0;
  std::int32_t definitionEncoding = kRleEncoding;
  std::int32_t repetitionEncoding = kRleEncoding;
  std::int32_t definitionBytes = 0;  // v2
  std::int32_t repetitionBytes = 0;  // v2
  bool isCompressed = true;          // v2
};

bool readI32(ThriftCompactReader& reader, const Field& field, std::int32_t& out) {
  return field.type == Type::i32 ? reader.readI32(out) : reader.markFailed();
}

// Reads a page header at the cursor and moves past it.
PageHeader readPageHeader(ByteCursor& cursor) {
  std::span<const std::uint8_t> rest;
  cursor.slice(cursor.position(), cursor.remaining(), rest);
  ThriftCompactReader reader(rest, 8);
  PageHeader header;
  auto pageStruct = [&](const Field& field, int depth, auto&& inner) {
    return field.type == Type::structure && readThriftStruct(reader, depth, inner);
  };
  const bool read = readThriftStruct(reader, 1, [&](const Field& field) {
    switch (field.id) {
      case 1: return readI32(reader, field, header.type);
      case 2: return readI32(reader, field, header.uncompressedSize);
      case 3: return readI32(reader, field, header.compressedSize);
      case 5:
        return pageStruct(field, 2, [&](const Field& inner) {
          switch (inner.id) {
            case 1: return readI32(reader, inner, header.numValues);
            case 2: return readI32(reader, inner, header.encoding);
            case 3: return readI32(reader, inner, header.definitionEncoding);
            case 4: return readI32(reader, inner, header.repetitionEncoding);
            default: return false;
          }
        });
      case 7:
        return pageStruct(field, 2, [&](const Field& inner) {
          if (inner.id == 1) return readI32(reader, inner, header.numValues);
          if (inner.id == 2) return readI32(reader, inner, header.encoding);
          return false;
        });
      case 8:
        return pageStruct(field, 2, [&](const Field& inner) {
          switch (inner.id) {
            case 1: return readI32(reader, inner, header.numValues);
            case 4: return readI32(reader, inner, header.encoding);
            case 5: return readI32(reader, inner, header.definitionBytes);
            case 6: return readI32(reader, inner, header.repetitionBytes);
            case 7: header.isCompressed = ThriftCompactReader::booleanField(inner); return true;
            default: return false;
          }
        });
      default: return false;
    }
  });
  require(read && header.uncompressedSize >= 0 && header.compressedSize >= 0 && header.numValues >= 0 &&
          header.definitionBytes >= 0 && header.repetitionBytes >= 0);
  require(static_cast<std::uint64_t>(header.uncompressedSize) <= parquet_limits::kLargestPage);
  cursor.skip(reader.position());
  return header;
}

int bitWidth(int maxLevel) { return static_cast<int>(std::bit_width(static_cast<unsigned>(maxLevel))); }

// Decodes `count` levels of the hybrid encoding into `out`, each at most `maxLevel`.
void decodeLevels(std::span<const std::uint8_t> bytes, int maxLevel, std::size_t count,
                  std::vector<std::uint8_t>& out) {
  std::vector<std::uint32_t> levels;
  levels.reserve(count);
  RleHybridDecoder decoder(bytes, bitWidth(maxLevel));
  require(decoder.read(count, levels));
  for (const std::uint32_t level : levels) {
    require(level <= static_cast<std::uint32_t>(maxLevel));
    out.push_back(static_cast<std::uint8_t>(level));
  }
}

// v1 levels: a 4-byte length, then the hybrid runs.
void decodeLengthPrefixedLevels(ByteCursor& cursor, std::int32_t encoding, int maxLevel, std::size_t count,
                                std::vector<std::uint8_t>& out) {
  if (encoding != kRleEncoding)
    throw DriverError("ParquetDriver", -1, "The Parquet file's levels use an encoding that is not supported");
  std::uint32_t length = 0;
  std::span<const std::uint8_t> bytes;
  require(cursor.readU32LE(length) && cursor.readBytes(length, bytes));
  decodeLevels(bytes, maxLevel, count, out);
}

std::size_t definedCount(const std::vector<std::uint8_t>& levels, std::size_t from, int maxDefinition) {
  return static_cast<std::size_t>(std::count(levels.begin() + static_cast<std::ptrdiff_t>(from), levels.end(),
                                             static_cast<std::uint8_t>(maxDefinition)));
}

}  // namespace

bool ParquetColumnReader::read(const ParquetMetadata::ColumnChunk& chunk, std::span<const std::uint8_t> chunkBytes,
                               const Leaf& leaf, ParquetColumnData& out, DecodeBudget& budget, std::uint64_t rowLimit) {
  std::uint64_t rowsStarted = 0;
  if (!ParquetCodec::isSupported(chunk.codec))
    throw DriverError("ParquetDriver", -1,
                      "The Parquet file is compressed with " + std::string(ParquetCodec::name(chunk.codec)) +
                          ", which is not supported");
  require(leaf.maxDefinition <= 255 && leaf.maxRepetition <= 255);
  out.values.form = ParquetValueDecoder::formOf(leaf.physical);
  ParquetValues dictionary;
  dictionary.form = out.values.form;
  bool hasDictionary = false;
  std::vector<std::uint8_t> page;
  std::vector<std::uint8_t> valueBytes;
  ByteCursor cursor(chunkBytes);
  std::int64_t valuesRead = 0;
  while (valuesRead < chunk.numValues) {
    const PageHeader header = readPageHeader(cursor);
    std::span<const std::uint8_t> body;
    require(cursor.readBytes(static_cast<std::uint64_t>(header.compressedSize), body));
    if (header.type == kDictionaryPage) {
      require(!hasDictionary && (header.encoding == 0 || header.encoding == 2));
      budget.take(static_cast<std::uint64_t>(header.uncompressedSize));
      ParquetCodec::decompress(chunk.codec, body, static_cast<std::size_t>(header.uncompressedSize), page);
      ParquetValueDecoder::decode(0, leaf.physical, page, static_cast<std::size_t>(header.numValues), nullptr,
                                  dictionary, budget);
      hasDictionary = true;
      continue;
    }
    if (header.type != kDataPage && header.type != kDataPageV2) continue;

    const auto count = static_cast<std::size_t>(header.numValues);
    budget.take(count * 2);
    const std::size_t levelsFrom = out.definitionLevels.size();
    std::span<const std::uint8_t> values;
    if (header.type == kDataPage) {
      budget.take(static_cast<std::uint64_t>(header.uncompressedSize));
      ParquetCodec::decompress(chunk.codec, body, static_cast<std::size_t>(header.uncompressedSize), page);
      ByteCursor pageCursor(page);
      if (leaf.maxRepetition > 0)
        decodeLengthPrefixedLevels(pageCursor, header.repetitionEncoding, leaf.maxRepetition, count,
                                   out.repetitionLevels);
      if (leaf.maxDefinition > 0)
        decodeLengthPrefixedLevels(pageCursor, header.definitionEncoding, leaf.maxDefinition, count,
                                   out.definitionLevels);
      pageCursor.readBytes(pageCursor.remaining(), values);
    } else {
      const std::uint64_t levelBytes =
          static_cast<std::uint64_t>(header.repetitionBytes) + static_cast<std::uint64_t>(header.definitionBytes);
      require(levelBytes <= body.size() && levelBytes <= static_cast<std::uint64_t>(header.uncompressedSize));
      const auto repetitionBytes = static_cast<std::size_t>(header.repetitionBytes);
      if (leaf.maxRepetition > 0)
        decodeLevels(body.subspan(0, repetitionBytes), leaf.maxRepetition, count, out.repetitionLevels);
      if (leaf.maxDefinition > 0)
        decodeLevels(body.subspan(repetitionBytes, static_cast<std::size_t>(header.definitionBytes)),
                     leaf.maxDefinition, count, out.definitionLevels);
      const std::span<const std::uint8_t> rest = body.subspan(static_cast<std::size_t>(levelBytes));
      const auto size = static_cast<std::size_t>(static_cast<std::uint64_t>(header.uncompressedSize) - levelBytes);
      if (header.isCompressed && chunk.codec != 0) {
        budget.take(size);
        ParquetCodec::decompress(chunk.codec, rest, size, valueBytes);
        values = valueBytes;
      } else {
        require(rest.size() == size);
        values = rest;
      }
    }
    const std::size_t defined =
        leaf.maxDefinition > 0 ? definedCount(out.definitionLevels, levelsFrom, leaf.maxDefinition) : count;
    ParquetValueDecoder::decode(header.encoding, leaf.physical, values, defined, hasDictionary ? &dictionary : nullptr,
                                out.values, budget);
    out.slots += count;
    valuesRead += header.numValues;
    // A row is whole once the next one starts (repetition level 0) or the chunk ends.
    rowsStarted = leaf.maxRepetition == 0
                      ? out.slots
                      : rowsStarted + static_cast<std::uint64_t>(
                                          std::count(out.repetitionLevels.end() - static_cast<std::ptrdiff_t>(count),
                                                     out.repetitionLevels.end(), 0));
    if (valuesRead < chunk.numValues && rowsStarted > rowLimit) return false;
  }
  require(valuesRead == chunk.numValues);
  return true;
}

}  // namespace tabvora::internal
