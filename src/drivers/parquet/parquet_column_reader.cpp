#include "drivers/parquet/parquet_column_reader.hpp"

#include <algorithm>
#include <bit>
#include <optional>
#include <string>

#include "drivers/parquet/parquet_codec.hpp"
#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/parquet/parquet_page_prefix.hpp"
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

// Reads a page header at the start of `bytes`: false when they do not hold one whole.
bool readPageHeader(std::span<const std::uint8_t> bytes, PageHeader& header, std::size_t& headerSize) {
  ThriftCompactReader reader(bytes, 8);
  header = {};
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
  headerSize = reader.position();
  return read;
}

// Reads the page header at `position` of the chunk and moves past it. Headers are short
// but may hold statistics of any size: a window of the chunk is read, widened while it
// cuts the header short.
PageHeader nextPageHeader(const ParquetColumnReader::Source& source, std::uint64_t& position) {
  constexpr std::uint64_t kFirstWindow = 4096;
  require(position < source.size);
  const std::uint64_t left = source.size - position;
  PageHeader header;
  std::size_t headerSize = 0;
  for (std::uint64_t window = std::min(kFirstWindow, left);; window = std::min(window * 16, left)) {
    if (readPageHeader(source.bytes(position, window), header, headerSize)) break;
    require(window < left);
  }
  require(header.uncompressedSize >= 0 && header.compressedSize >= 0 && header.numValues >= 0 &&
          header.definitionBytes >= 0 && header.repetitionBytes >= 0);
  require(static_cast<std::uint64_t>(header.uncompressedSize) <= parquet_limits::kLargestPage);
  position += headerSize;
  return header;
}

int bitWidth(int maxLevel) { return static_cast<int>(std::bit_width(static_cast<unsigned>(maxLevel))); }

// Levels of the hybrid encoding, each at most `maxLevel`, read as they are needed.
class LevelRuns {
 public:
  LevelRuns(std::span<const std::uint8_t> bytes, int maxLevel) : decoder_(bytes, bitWidth(maxLevel)), max_(maxLevel) {}

  // Appends the next `count` levels to `out`.
  void append(std::size_t count, std::vector<std::uint8_t>& out) {
    levels_.clear();
    require(decoder_.read(count, levels_));
    for (const std::uint32_t level : levels_) {
      require(level <= static_cast<std::uint32_t>(max_));
      out.push_back(static_cast<std::uint8_t>(level));
    }
  }

 private:
  RleHybridDecoder decoder_;
  int max_;
  std::vector<std::uint32_t> levels_;
};

// v1 levels: a 4-byte length, then the hybrid runs.
std::span<const std::uint8_t> lengthPrefixedRuns(ByteCursor& cursor, std::int32_t encoding) {
  if (encoding != kRleEncoding)
    throw DriverError("ParquetDriver", -1, "The Parquet file's levels use an encoding that is not supported");
  std::uint32_t length = 0;
  std::span<const std::uint8_t> bytes;
  require(cursor.readU32LE(length) && cursor.readBytes(length, bytes));
  return bytes;
}

std::size_t definedCount(const std::vector<std::uint8_t>& levels, std::size_t from, int maxDefinition) {
  return static_cast<std::size_t>(std::count(levels.begin() + static_cast<std::ptrdiff_t>(from), levels.end(),
                                             static_cast<std::uint8_t>(maxDefinition)));
}

// A v1 data page's sections: its repetition and definition levels (when the column has
// them), then its values.
void v1Sections(std::span<const std::uint8_t> page, const ParquetColumnReader::Leaf& leaf, const PageHeader& header,
                std::span<const std::uint8_t>& repetitionRuns, std::span<const std::uint8_t>& definitionRuns,
                std::span<const std::uint8_t>& values) {
  ByteCursor pageCursor(page);
  if (leaf.maxRepetition > 0) repetitionRuns = lengthPrefixedRuns(pageCursor, header.repetitionEncoding);
  if (leaf.maxDefinition > 0) definitionRuns = lengthPrefixedRuns(pageCursor, header.definitionEncoding);
  pageCursor.readBytes(pageCursor.remaining(), values);
}

// A preview's v1 data page, decompressed only as far as `decodeSlots` needs: it reads its
// levels and values from the start of the page and needs no more than the bytes of those
// it keeps, so decoding a first part of the page gives what the whole page would; when
// that part falls short (decoding it throws), a part twice as long is tried, up to the
// whole page, whose failure is the page's. Returns what decodeSlots returned.
template <typename DecodeSlots>
bool readPagePrefix(std::int32_t codec, const ParquetColumnReader::Source& source, std::uint64_t bodyAt,
                    const PageHeader& header, const ParquetColumnReader::Leaf& leaf, std::uint64_t rowLimit,
                    ParquetColumnData& out, std::uint64_t& rowsStarted, DecodeBudget& budget,
                    ParquetColumnReader::Buffers& buffers, const DecodeSlots& decodeSlots) {
  const auto size = static_cast<std::size_t>(header.uncompressedSize);
  ParquetPagePrefix prefix(
      codec, static_cast<std::uint64_t>(header.compressedSize), size,
      [&](std::uint64_t offset, std::uint64_t count) { return source.bytes(bodyAt + offset, count); },
      buffers.prefixInput, buffers.prefixOutput);
  // The first part tried: the page's share of the rows still wanted, and some more.
  const auto count = static_cast<std::uint64_t>(header.numValues);
  const std::uint64_t rowsWanted = rowLimit - (leaf.maxRepetition == 0 ? out.slots : rowsStarted);
  std::uint64_t want = count == 0 ? size : static_cast<std::uint64_t>(size) * std::min(rowsWanted, count) / count;
  want += want / 8 + 4096;
  for (;;) {
    const std::span<const std::uint8_t> page =
        prefix.grow(static_cast<std::size_t>(std::min<std::uint64_t>(want, size)));
    const std::size_t levels = out.definitionLevels.size(), repetitions = out.repetitionLevels.size();
    const std::size_t integers = out.values.integers.size(), reals = out.values.reals.size();
    const std::size_t bytes = out.values.bytes.size(), ends = out.values.ends.size();
    const std::size_t slots = out.slots;
    const std::uint64_t started = rowsStarted;
    const DecodeBudget left = budget;
    try {
      std::span<const std::uint8_t> repetitionRuns, definitionRuns, values;
      v1Sections(page, leaf, header, repetitionRuns, definitionRuns, values);
      return decodeSlots(repetitionRuns, definitionRuns, values);
    } catch (const DriverError&) {
      if (prefix.whole()) throw;
    }
    out.definitionLevels.resize(levels);
    out.repetitionLevels.resize(repetitions);
    out.values.integers.resize(integers);
    out.values.reals.resize(reals);
    out.values.bytes.resize(bytes);
    out.values.ends.resize(ends);
    out.slots = slots;
    rowsStarted = started;
    budget = left;
    want = std::max<std::uint64_t>(want, page.size()) * 2;
  }
}

// A preview's dictionary: its page decompressed, and its entries decoded, only as far as
// the indexes of the values kept reach. A writer adds the entries as it meets the values,
// so the first rows mostly use the first entries, and most of a large dictionary is left
// untouched. Decoding a first part of the page gives the entries the whole page would.
class PartialDictionary {
 public:
  PartialDictionary(std::int32_t codec, const ParquetColumnReader::Source& source, std::uint64_t bodyAt,
                    const PageHeader& header, const ParquetValueDecoder::Physical& physical, ParquetValues& entries,
                    ParquetColumnReader::Buffers& buffers)
      : prefix_(
            codec, static_cast<std::uint64_t>(header.compressedSize), static_cast<std::size_t>(header.uncompressedSize),
            [&source, bodyAt](std::uint64_t offset, std::uint64_t count) {
              return source.bytes(bodyAt + offset, count);
            },
            buffers.dictionaryInput, buffers.dictionaryOutput),
        count_(static_cast<std::size_t>(header.numValues)),
        physical_(physical),
        entries_(entries) {}

  // Decodes entries until it holds `wanted` of them, or all.
  void reach(std::size_t wanted, DecodeBudget& budget) {
    constexpr std::size_t kFirstPart = 64 * 1024;
    while (!whole_ && entries_.size() < std::min(wanted, count_)) {
      const std::span<const std::uint8_t> page = prefix_.grow(std::max(kFirstPart, 2 * decodedBytes_));
      const std::span<const std::uint8_t> rest = page.subspan(decodedBytes_);
      const std::size_t left = count_ - entries_.size();
      if (prefix_.whole()) {
        ParquetValueDecoder::decode(0, physical_, rest, left, left, nullptr, entries_, budget);
        whole_ = true;
        return;
      }
      std::size_t used = 0;
      const std::size_t more = ParquetValueDecoder::wholePlainValues(physical_, rest, left, used);
      ParquetValueDecoder::decode(0, physical_, rest.subspan(0, used), more, more, nullptr, entries_, budget);
      decodedBytes_ += used;
    }
  }

 private:
  ParquetPagePrefix prefix_;
  std::size_t count_;  // the entries the page holds
  ParquetValueDecoder::Physical physical_;
  ParquetValues& entries_;
  std::size_t decodedBytes_ = 0;
  bool whole_ = false;
};

}  // namespace

bool ParquetColumnReader::read(const ParquetMetadata::ColumnChunk& chunk, const Source& source, const Leaf& leaf,
                               ParquetColumnData& out, DecodeBudget& budget, Buffers& buffers, std::uint64_t rowLimit) {
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
  std::optional<PartialDictionary> partial;  // a preview's dictionary, read as far as needed
  std::vector<std::uint8_t>& page = buffers.page;
  std::vector<std::uint8_t>& valueBytes = buffers.values;
  std::uint64_t position = 0;
  std::int64_t valuesRead = 0;
  while (valuesRead < chunk.numValues) {
    const PageHeader header = nextPageHeader(source, position);
    require(static_cast<std::uint64_t>(header.compressedSize) <= source.size - position);
    const std::uint64_t bodyAt = position;
    position += static_cast<std::uint64_t>(header.compressedSize);
    if (header.type != kDataPage && header.type != kDataPageV2 && header.type != kDictionaryPage) continue;
    const bool countedValues = header.encoding >= 5 && header.encoding <= 9 && header.encoding != 8;
    // A preview's data page is decompressed only as far as the slots it keeps (see below).
    const bool prefix = rowLimit != UINT64_MAX && header.type == kDataPage && !countedValues &&
                        ParquetPagePrefix::canStopEarly(chunk.codec);
    if (header.type == kDictionaryPage) {
      require(!hasDictionary && (header.encoding == 0 || header.encoding == 2));
      budget.take(static_cast<std::uint64_t>(header.uncompressedSize));
      hasDictionary = true;
      if (rowLimit != UINT64_MAX && ParquetPagePrefix::canStopEarly(chunk.codec)) {
        partial.emplace(chunk.codec, source, bodyAt, header, leaf.physical, dictionary, buffers);
        continue;
      }
      const std::span<const std::uint8_t> body =
          source.bytes(bodyAt, static_cast<std::uint64_t>(header.compressedSize));
      ParquetCodec::decompress(chunk.codec, body, static_cast<std::size_t>(header.uncompressedSize), page);
      const auto entries = static_cast<std::size_t>(header.numValues);
      ParquetValueDecoder::decode(0, leaf.physical, page, entries, entries, nullptr, dictionary, budget);
      continue;
    }
    // A page whose bytes are read at once holds a view of them that the dictionary's reading
    // would replace: the dictionary is decoded whole before.
    if (partial && !prefix) partial->reach(SIZE_MAX, budget);
    std::span<const std::uint8_t> body;
    if (!prefix) body = source.bytes(bodyAt, static_cast<std::uint64_t>(header.compressedSize));

    const auto count = static_cast<std::size_t>(header.numValues);
    budget.take(count * 2);
    valuesRead += header.numValues;
    const bool more = valuesRead < chunk.numValues;
    const bool decodeAll = rowLimit == UINT64_MAX || countedValues;
    // The slots of the page kept are all of them, or those before the row past the limit
    // when this page reaches it (a row starts where the repetition level is 0, and is
    // whole once the next one starts or the chunk ends). Levels and values past those are
    // not decoded, unless the values are found from the page's count of them (the delta
    // encodings and BYTE_STREAM_SPLIT). Returns whether the limit is reached.
    auto decodeSlots = [&](std::span<const std::uint8_t> repetitionRuns, std::span<const std::uint8_t> definitionRuns,
                           std::span<const std::uint8_t> values) {
      const std::size_t levelsFrom = out.definitionLevels.size();
      const std::size_t repetitionFrom = out.repetitionLevels.size();
      std::size_t kept = count;
      bool stop = false;
      if (leaf.maxRepetition == 0) {
        if (out.slots + count > rowLimit || (more && out.slots + count == rowLimit)) {
          kept = static_cast<std::size_t>(rowLimit - out.slots);
          stop = true;
        }
      } else {
        constexpr std::size_t kLevelStep = 4096;
        LevelRuns runs(repetitionRuns, leaf.maxRepetition);
        for (std::size_t decoded = 0; decoded < count && !stop;) {
          const std::size_t step = decodeAll ? count : std::min(kLevelStep, count - decoded);
          runs.append(step, out.repetitionLevels);
          for (std::size_t i = decoded; i < decoded + step; ++i) {
            if (out.repetitionLevels[repetitionFrom + i] != 0) continue;
            if (rowsStarted == rowLimit) {
              kept = i;
              stop = true;
              break;
            }
            ++rowsStarted;
          }
          decoded += step;
        }
        out.repetitionLevels.resize(repetitionFrom + kept);
      }
      std::size_t defined = decodeAll ? count : kept;
      std::size_t definedKept = kept;
      if (leaf.maxDefinition > 0) {
        LevelRuns(definitionRuns, leaf.maxDefinition).append(defined, out.definitionLevels);
        defined = definedCount(out.definitionLevels, levelsFrom, leaf.maxDefinition);
        out.definitionLevels.resize(levelsFrom + kept);
        definedKept = kept == count ? defined : definedCount(out.definitionLevels, levelsFrom, leaf.maxDefinition);
      }
      if (partial && (header.encoding == 2 || header.encoding == 8))
        partial->reach(static_cast<std::size_t>(ParquetValueDecoder::largestIndex(values, definedKept)) + 1, budget);
      ParquetValueDecoder::decode(header.encoding, leaf.physical, values, defined, definedKept,
                                  hasDictionary ? &dictionary : nullptr, out.values, budget);
      out.slots += kept;
      return stop;
    };

    if (prefix) {
      budget.take(static_cast<std::uint64_t>(header.uncompressedSize));
      if (readPagePrefix(chunk.codec, source, bodyAt, header, leaf, rowLimit, out, rowsStarted, budget, buffers,
                         decodeSlots))
        return false;
      continue;
    }
    std::span<const std::uint8_t> repetitionRuns, definitionRuns, values;
    if (header.type == kDataPage) {
      budget.take(static_cast<std::uint64_t>(header.uncompressedSize));
      ParquetCodec::decompress(chunk.codec, body, static_cast<std::size_t>(header.uncompressedSize), page);
      v1Sections(page, leaf, header, repetitionRuns, definitionRuns, values);
    } else {
      const std::uint64_t levelBytes =
          static_cast<std::uint64_t>(header.repetitionBytes) + static_cast<std::uint64_t>(header.definitionBytes);
      require(levelBytes <= body.size() && levelBytes <= static_cast<std::uint64_t>(header.uncompressedSize));
      const auto repetitionBytes = static_cast<std::size_t>(header.repetitionBytes);
      repetitionRuns = body.subspan(0, repetitionBytes);
      definitionRuns = body.subspan(repetitionBytes, static_cast<std::size_t>(header.definitionBytes));
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
    if (decodeSlots(repetitionRuns, definitionRuns, values)) return false;
  }
  require(valuesRead == chunk.numValues);
  return true;
}

}  // namespace tabvora::internal
