#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

struct ZSTD_DCtx_s;

namespace tabvora::internal {

// The compression codecs of Parquet pages, by their number in the metadata: 0
// UNCOMPRESSED, 1 SNAPPY, 2 GZIP, 4 BROTLI, 5 LZ4 (the Hadoop framing: blocks each led by
// their big-endian decompressed and compressed lengths; a bare LZ4 block is also taken, as
// some writers put one), 6 ZSTD, 7 LZ4_RAW. LZO (3) and unknown numbers are not supported.
class ParquetCodec {
 public:
  static bool isSupported(std::int32_t codec);
  static std::string_view name(std::int32_t codec);

  // Decompresses `input` into `out`, which must then hold exactly `size` bytes (the page's
  // declared size; callers bound it before). Throws DriverError naming the codec when the
  // data does not decompress to that size.
  static void decompress(std::int32_t codec, std::span<const std::uint8_t> input, std::size_t size,
                         std::vector<std::uint8_t>& out);
};

// A ZSTD decompression context, one of those kept for reuse on this thread: a context
// holds some 100 KB, which taken afresh for each page (its memory mapped, touched and given
// back) cost a preview more than decompressing its first blocks. Several may be in use at
// once (a dictionary page and a data page read in part). Throws std::bad_alloc.
class ZstdContext {
 public:
  ZstdContext();
  ~ZstdContext();
  ZstdContext(const ZstdContext&) = delete;
  ZstdContext& operator=(const ZstdContext&) = delete;
  // Reset: no frame begun, no parameter set.
  ZSTD_DCtx_s* get() const { return context_; }

 private:
  ZSTD_DCtx_s* context_;
};

}  // namespace tabvora::internal
