#include "drivers/parquet/parquet_codec.hpp"

#include <brotli/decode.h>
#include <lz4.h>
#include <snappy-c.h>
#include <zlib.h>
#include <zstd.h>

#include <array>
#include <limits>
#include <new>
#include <string>

#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

constexpr std::array<std::string_view, 8> kNames = {"UNCOMPRESSED", "SNAPPY", "GZIP", "LZO",
                                                    "BROTLI",       "LZ4",    "ZSTD", "LZ4_RAW"};

bool inflateAll(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out) {
  z_stream stream{};
  // 15 + 32: a zlib or gzip header, told apart by the stream itself.
  if (inflateInit2(&stream, 15 + 32) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  int status = Z_OK;
  // A gzip file may hold several members one after another.
  while ((status = inflate(&stream, Z_FINISH)) == Z_STREAM_END && stream.avail_in > 0 && stream.avail_out > 0) {
    if (inflateReset(&stream) != Z_OK) break;
  }
  const bool whole = status == Z_STREAM_END && stream.avail_out == 0;
  inflateEnd(&stream);
  return whole;
}

bool lz4Block(std::span<const std::uint8_t> input, std::span<std::uint8_t> out) {
  if (input.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  const int written =
      LZ4_decompress_safe(reinterpret_cast<const char*>(input.data()), reinterpret_cast<char*>(out.data()),
                          static_cast<int>(input.size()), static_cast<int>(out.size()));
  return written >= 0 && static_cast<std::size_t>(written) == out.size();
}

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

// Hadoop's framing: frames of [decompressed length][compressed length][LZ4 block...].
bool hadoopLZ4(std::span<const std::uint8_t> input, std::span<std::uint8_t> out) {
  std::size_t in = 0;
  std::size_t written = 0;
  while (in < input.size()) {
    if (input.size() - in < 8) return false;
    const std::uint32_t frameSize = bigEndian32(&input[in]);
    in += 4;
    if (frameSize > out.size() - written) return false;
    std::size_t frameWritten = 0;
    while (frameWritten < frameSize) {
      if (input.size() - in < 4) return false;
      const std::uint32_t blockSize = bigEndian32(&input[in]);
      in += 4;
      if (blockSize > input.size() - in) return false;
      const int result = LZ4_decompress_safe(reinterpret_cast<const char*>(&input[in]),
                                             reinterpret_cast<char*>(out.data() + written + frameWritten),
                                             static_cast<int>(blockSize), static_cast<int>(frameSize - frameWritten));
      if (result <= 0) return false;
      in += blockSize;
      frameWritten += static_cast<std::size_t>(result);
    }
    written += frameSize;
  }
  return written == out.size();
}

}  // namespace

bool ParquetCodec::isSupported(std::int32_t codec) { return codec >= 0 && codec <= 7 && codec != 3; }

std::string_view ParquetCodec::name(std::int32_t codec) {
  return codec >= 0 && codec < static_cast<std::int32_t>(kNames.size()) ? kNames[static_cast<std::size_t>(codec)]
                                                                        : "an unknown codec";
}

void ParquetCodec::decompress(std::int32_t codec, std::span<const std::uint8_t> input, std::size_t size,
                              std::vector<std::uint8_t>& out) {
  out.resize(size);
  bool whole = false;
  switch (codec) {
    case 0:
      whole = input.size() == size;
      if (whole && size > 0) std::copy(input.begin(), input.end(), out.begin());
      break;
    case 1: {
      std::size_t length = 0;
      const char* data = reinterpret_cast<const char*>(input.data());
      whole = snappy_uncompressed_length(data, input.size(), &length) == SNAPPY_OK && length == size &&
              snappy_uncompress(data, input.size(), reinterpret_cast<char*>(out.data()), &length) == SNAPPY_OK &&
              length == size;
      break;
    }
    case 2:
      whole = input.size() <= std::numeric_limits<uInt>::max() && size <= std::numeric_limits<uInt>::max() &&
              inflateAll(input, out);
      break;
    case 4: {
      std::size_t length = size;
      whole =
          BrotliDecoderDecompress(input.size(), input.data(), &length, out.data()) == BROTLI_DECODER_RESULT_SUCCESS &&
          length == size;
      break;
    }
    case 5: whole = hadoopLZ4(input, out) || lz4Block(input, out); break;
    case 6: {
      const ZstdContext context;
      const std::size_t length = ZSTD_decompressDCtx(context.get(), out.data(), size, input.data(), input.size());
      whole = !ZSTD_isError(length) && length == size;
      break;
    }
    case 7: whole = lz4Block(input, out); break;
    default:
      throw DriverError("ParquetDriver", -1,
                        "The Parquet file is compressed with " + std::string(name(codec)) + ", which is not supported");
  }
  if (!whole)
    throw DriverError("ParquetDriver", -1,
                      "A page compressed with " + std::string(name(codec)) + " does not decompress to its stated size");
}

namespace {
// This thread's contexts not in use; freed when the thread ends.
struct KeptContexts {
  std::vector<ZSTD_DCtx*> free;
  ~KeptContexts() {
    for (ZSTD_DCtx* context : free) ZSTD_freeDCtx(context);
  }
};
thread_local KeptContexts kept;
}  // namespace

ZstdContext::ZstdContext() {
  if (kept.free.empty()) {
    context_ = ZSTD_createDCtx();
    if (!context_) throw std::bad_alloc();
  } else {
    context_ = kept.free.back();
    kept.free.pop_back();
  }
}

ZstdContext::~ZstdContext() {
  ZSTD_DCtx_reset(context_, ZSTD_reset_session_and_parameters);
  try {
    kept.free.push_back(context_);
  } catch (const std::bad_alloc&) {
    ZSTD_freeDCtx(context_);
  }
}

}  // namespace tabvora::internal
