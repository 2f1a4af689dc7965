#include "drivers/parquet/parquet_value_decoder.hpp"

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/parquet/parquet_metadata.hpp"
#include "drivers/parquet/rle_hybrid_decoder.hpp"
#include "model/driver_error.hpp"
#include "platform/byte_cursor.hpp"

namespace tabvora::internal {

namespace {

using Form = ParquetValues::Form;
namespace physical = parquet_physical;

[[noreturn]] void throwDamaged() {
  throw DriverError("ParquetDriver", -1, "A data page of the Parquet file is damaged");
}

void require(bool condition) {
  if (!condition) throwDamaged();
}

std::uint64_t readLE(const std::uint8_t* bytes, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
  return value;
}

// The fixed width of a value of `physical` in PLAIN and BYTE_STREAM_SPLIT; 0 for BYTE_ARRAY
// and BOOLEAN.
std::size_t fixedWidth(const ParquetValueDecoder::Physical& p) {
  switch (p.type) {
    case physical::kInt32:
    case physical::kFloat: return 4;
    case physical::kInt64:
    case physical::kDouble: return 8;
    case physical::kInt96: return 12;
    case physical::kFixedLenByteArray: return p.typeLength > 0 ? static_cast<std::size_t>(p.typeLength) : 0;
    default: return 0;
  }
}

// Appends a fixed-width little-endian value of `physical` held in `bytes`.
void appendFixed(const ParquetValueDecoder::Physical& p, const std::uint8_t* bytes, std::size_t width,
                 ParquetValues& out) {
  switch (p.type) {
    case physical::kInt32:
      out.integers.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(readLE(bytes, 4))));
      break;
    case physical::kInt64: out.integers.push_back(static_cast<std::int64_t>(readLE(bytes, 8))); break;
    case physical::kFloat:
      out.reals.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(readLE(bytes, 4))));
      break;
    case physical::kDouble: out.reals.push_back(std::bit_cast<double>(readLE(bytes, 8))); break;
    default: out.appendBinary(std::string_view(reinterpret_cast<const char*>(bytes), width));
  }
}

// Room for `count` more values (of `bytes` bytes in all, for byte strings), taken from the
// budget before: growing by doubling would copy each value several times.
void reserveFor(ParquetValues& out, std::size_t count, std::size_t bytes) {
  if (out.form == Form::integer)
    out.integers.reserve(out.integers.size() + count);
  else if (out.form == Form::real)
    out.reals.reserve(out.reals.size() + count);
  else {
    out.ends.reserve(out.ends.size() + count);
    out.bytes.reserve(out.bytes.size() + bytes);
  }
}

void decodePlain(const ParquetValueDecoder::Physical& p, std::span<const std::uint8_t> bytes, std::size_t count,
                 std::size_t keep, ParquetValues& out, DecodeBudget& budget) {
  if (p.type == physical::kBoolean) {
    require(count <= bytes.size() * 8);
    budget.take(keep * 8);
    for (std::size_t i = 0; i < keep; ++i) out.integers.push_back((bytes[i / 8] >> (i % 8)) & 1);
    return;
  }
  if (p.type == physical::kByteArray) {
    require(count <= bytes.size() / 4);
    budget.take(keep * sizeof(std::size_t) + bytes.size());
    reserveFor(out, keep, keep == count ? bytes.size() : 0);
    ByteCursor cursor(bytes);
    for (std::size_t i = 0; i < keep; ++i) {
      std::uint32_t length = 0;
      std::span<const std::uint8_t> value;
      require(cursor.readU32LE(length) && cursor.readBytes(length, value));
      out.appendBinary(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
    }
    return;
  }
  const std::size_t width = fixedWidth(p);
  require(width > 0 && count <= bytes.size() / width);
  budget.take(keep * (width + sizeof(std::size_t)));
  reserveFor(out, keep, keep * width);
  for (std::size_t i = 0; i < keep; ++i) appendFixed(p, bytes.data() + i * width, width, out);
}

void decodeDictionary(std::span<const std::uint8_t> bytes, std::size_t count, const ParquetValues* dictionary,
                      ParquetValues& out, DecodeBudget& budget) {
  // Only the indexes of the values kept are decoded: `count` is those.
  require(dictionary != nullptr && !bytes.empty());
  const int width = bytes[0];
  require(width <= 32);
  // Each index takes at least a bit, or a run header of a byte covers many: no count can
  // be bounded from the bytes, so the budget is taken first.
  budget.take(count * sizeof(std::uint32_t));
  std::vector<std::uint32_t> indexes;
  RleHybridDecoder decoder(bytes.subspan(1), width);
  require(decoder.read(count, indexes));
  if (out.form == Form::binary) {
    std::uint64_t total = 0;
    for (const std::uint32_t index : indexes) {
      require(index < dictionary->size());
      total += dictionary->binary(index).size() + sizeof(std::size_t);
    }
    budget.take(total);
  } else {
    budget.take(count * 8);
  }
  for (const std::uint32_t index : indexes) {
    require(index < dictionary->size());
    out.appendFrom(*dictionary, index);
  }
}

void decodeRleBooleans(std::span<const std::uint8_t> bytes, std::size_t count, ParquetValues& out,
                       DecodeBudget& budget) {
  ByteCursor cursor(bytes);
  std::uint32_t length = 0;
  std::span<const std::uint8_t> runs;
  require(cursor.readU32LE(length) && cursor.readBytes(length, runs));
  budget.take(count * (8 + sizeof(std::uint32_t)));
  std::vector<std::uint32_t> values;
  RleHybridDecoder decoder(runs, 1);
  require(decoder.read(count, values));
  out.integers.insert(out.integers.end(), values.begin(), values.end());
}

// DELTA_BINARY_PACKED: a header (block size, miniblocks per block, value count, first
// value), then blocks of a minimum delta, one bit width per miniblock and the miniblocks'
// bit-packed deltas. Leaves `cursor` after the last miniblock holding values.
std::vector<std::int64_t> decodeDeltaIntegers(ByteCursor& cursor, std::size_t count, DecodeBudget& budget) {
  std::uint64_t blockSize = 0, miniblocks = 0, total = 0, firstRaw = 0;
  require(cursor.readVarint64(blockSize) && cursor.readVarint64(miniblocks) && cursor.readVarint64(total) &&
          cursor.readVarint64(firstRaw));
  require(blockSize > 0 && blockSize % 128 == 0 && blockSize <= (1u << 20) && miniblocks > 0 &&
          blockSize % miniblocks == 0 && (blockSize / miniblocks) % 32 == 0 && total == count);
  budget.take(count * 8);
  std::vector<std::int64_t> values;
  values.reserve(count);
  if (count == 0) return values;
  auto zigzag = [](std::uint64_t raw) { return (raw >> 1) ^ (~(raw & 1) + 1); };
  std::uint64_t value = zigzag(firstRaw);
  values.push_back(static_cast<std::int64_t>(value));
  const std::uint64_t perMiniblock = blockSize / miniblocks;
  while (values.size() < count) {
    std::uint64_t minRaw = 0;
    std::span<const std::uint8_t> widths;
    require(cursor.readVarint64(minRaw) && cursor.readBytes(miniblocks, widths));
    const std::uint64_t minDelta = zigzag(minRaw);
    for (std::uint64_t m = 0; m < miniblocks && values.size() < count; ++m) {
      const std::uint64_t width = widths[m];
      require(width <= 64);
      std::span<const std::uint8_t> packed;
      require(cursor.readBytes(perMiniblock * width / 8, packed));
      for (std::uint64_t i = 0; i < perMiniblock && values.size() < count; ++i) {
        std::uint64_t delta = 0;
        const std::uint64_t bit = i * width;
        for (std::uint64_t b = 0; b < width; ++b) {
          const std::uint64_t at = bit + b;
          delta |= static_cast<std::uint64_t>((packed[at / 8] >> (at % 8)) & 1) << b;
        }
        value += minDelta + delta;  // wraps as the writer's arithmetic did
        values.push_back(static_cast<std::int64_t>(value));
      }
    }
  }
  return values;
}

// DELTA_LENGTH_BYTE_ARRAY: the lengths delta-encoded, then the values' bytes one after another.
void decodeDeltaLengths(ByteCursor& cursor, std::size_t count, std::vector<std::string_view>& out,
                        DecodeBudget& budget) {
  const std::vector<std::int64_t> lengths = decodeDeltaIntegers(cursor, count, budget);
  for (const std::int64_t length : lengths) {
    std::span<const std::uint8_t> value;
    require(length >= 0 && cursor.readBytes(static_cast<std::uint64_t>(length), value));
    out.emplace_back(reinterpret_cast<const char*>(value.data()), value.size());
  }
}

void decodeDelta(std::int32_t encoding, const ParquetValueDecoder::Physical& p, std::span<const std::uint8_t> bytes,
                 std::size_t count, std::size_t keep, ParquetValues& out, DecodeBudget& budget) {
  // Each value builds on the one before, and a DELTA_BYTE_ARRAY's lengths follow all its
  // prefixes: the page is decoded whole, the first `keep` values kept.
  ByteCursor cursor(bytes);
  if (encoding == 5) {
    require(p.type == physical::kInt32 || p.type == physical::kInt64);
    const std::vector<std::int64_t> values = decodeDeltaIntegers(cursor, count, budget);
    for (std::size_t i = 0; i < keep; ++i)
      out.integers.push_back(p.type == physical::kInt32 ? static_cast<std::int32_t>(values[i]) : values[i]);
    return;
  }
  require(out.form == Form::binary && p.type != physical::kInt96);
  std::vector<std::string_view> values;
  if (encoding == 6) {
    decodeDeltaLengths(cursor, count, values, budget);
    budget.take(bytes.size() + count * sizeof(std::size_t));
    for (std::size_t i = 0; i < keep; ++i) out.appendBinary(values[i]);
    return;
  }
  const std::vector<std::int64_t> prefixes = decodeDeltaIntegers(cursor, count, budget);
  decodeDeltaLengths(cursor, count, values, budget);
  std::string previous;
  for (std::size_t i = 0; i < keep; ++i) {
    require(prefixes[i] >= 0 && static_cast<std::uint64_t>(prefixes[i]) <= previous.size());
    budget.take(static_cast<std::uint64_t>(prefixes[i]) + values[i].size() + sizeof(std::size_t));
    previous.resize(static_cast<std::size_t>(prefixes[i]));
    previous.append(values[i]);
    out.appendBinary(previous);
  }
}

void decodeByteStreamSplit(const ParquetValueDecoder::Physical& p, std::span<const std::uint8_t> bytes,
                           std::size_t count, std::size_t keep, ParquetValues& out, DecodeBudget& budget) {
  const std::size_t width = fixedWidth(p);
  require(width > 0 && p.type != physical::kInt96 && count <= bytes.size() / width);
  budget.take(keep * (width + sizeof(std::size_t)));
  std::vector<std::uint8_t> value(width);
  for (std::size_t i = 0; i < keep; ++i) {
    for (std::size_t k = 0; k < width; ++k) value[k] = bytes[k * count + i];
    appendFixed(p, value.data(), width, out);
  }
}

}  // namespace

ParquetValues::Form ParquetValueDecoder::formOf(const Physical& p) {
  switch (p.type) {
    case physical::kBoolean:
    case physical::kInt32:
    case physical::kInt64: return Form::integer;
    case physical::kFloat:
    case physical::kDouble: return Form::real;
    default: return Form::binary;
  }
}

void ParquetValueDecoder::decode(std::int32_t encoding, const Physical& physical, std::span<const std::uint8_t> bytes,
                                 std::size_t count, std::size_t keep, const ParquetValues* dictionary,
                                 ParquetValues& out, DecodeBudget& budget) {
  // A page of nulls only may hold no value bytes at all, whatever its encoding.
  if (count == 0) return;
  require(keep <= count);
  switch (encoding) {
    case 0: decodePlain(physical, bytes, count, keep, out, budget); return;
    case 2:
    case 8: decodeDictionary(bytes, keep, dictionary, out, budget); return;
    case 3:
      require(physical.type == physical::kBoolean);
      decodeRleBooleans(bytes, keep, out, budget);
      return;
    case 5:
    case 6:
    case 7: decodeDelta(encoding, physical, bytes, count, keep, out, budget); return;
    case 9: decodeByteStreamSplit(physical, bytes, count, keep, out, budget); return;
    default:
      throw DriverError(
          "ParquetDriver", -1,
          "The Parquet file uses the value encoding " + std::to_string(encoding) + ", which is not supported");
  }
}

std::uint32_t ParquetValueDecoder::largestIndex(std::span<const std::uint8_t> bytes, std::size_t keep) {
  if (keep == 0) return 0;
  require(!bytes.empty() && bytes[0] <= 32);
  // The indexes are read a few thousand at a time into the same room.
  constexpr std::size_t kStep = 4096;
  std::vector<std::uint32_t> indexes;
  RleHybridDecoder decoder(bytes.subspan(1), bytes[0]);
  std::uint32_t largest = 0;
  for (std::size_t read = 0; read < keep; read += kStep) {
    indexes.clear();
    require(decoder.read(std::min(kStep, keep - read), indexes));
    for (const std::uint32_t index : indexes) largest = std::max(largest, index);
  }
  return largest;
}

std::size_t ParquetValueDecoder::wholePlainValues(const Physical& physical, std::span<const std::uint8_t> bytes,
                                                  std::size_t count, std::size_t& used) {
  if (physical.type != physical::kByteArray) {
    const std::size_t width = fixedWidth(physical);
    const std::size_t whole = width == 0 ? 0 : std::min(count, bytes.size() / width);
    used = whole * width;
    return whole;
  }
  ByteCursor cursor(bytes);
  std::size_t whole = 0;
  used = 0;
  for (std::uint32_t length = 0; whole < count && cursor.readU32LE(length) && cursor.skip(length); ++whole)
    used = cursor.position();
  return whole;
}

}  // namespace tabvora::internal
