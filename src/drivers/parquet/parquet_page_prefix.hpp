#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/byte_buffer.hpp"

namespace tabvora::internal {

// The first bytes of a compressed page, decompressed as far as they are asked for: what a
// preview reads of a page holding far more values than it shows. The compressed bytes are
// read from the file a piece at a time, as the decompression needs them, so neither the
// file's bytes past those nor the page's decompressed bytes past those are touched.
// Codecs that can stop early: UNCOMPRESSED (0), SNAPPY (1) and ZSTD (6) (see canStopEarly);
// other pages are decompressed whole by ParquetCodec.
class ParquetPagePrefix {
 public:
  // `read(offset, count)` gives the `count` compressed bytes from `offset` of the page
  // (offset + count <= compressedSize); the view stays valid until the next call.
  using Reader = std::function<std::span<const std::uint8_t>(std::uint64_t offset, std::uint64_t count)>;

  static bool canStopEarly(std::int32_t codec) { return codec == 0 || codec == 1 || codec == 6; }

  // `size` is the page's declared decompressed size, bounded by the caller. `input` and
  // `output` are room reused from page to page.
  ParquetPagePrefix(std::int32_t codec, std::uint64_t compressedSize, std::size_t size, Reader read, ByteBuffer& input,
                    ByteBuffer& output);
  ~ParquetPagePrefix();
  ParquetPagePrefix(const ParquetPagePrefix&) = delete;
  ParquetPagePrefix& operator=(const ParquetPagePrefix&) = delete;

  // Decompresses until at least `count` bytes of the page (or all of it) are ready, and
  // returns all that are. Throws DriverError naming the codec when the data does not
  // decompress, or does not decompress to the declared size.
  std::span<const std::uint8_t> grow(std::size_t count);
  // Whether the page is decompressed whole, found to have its declared size.
  bool whole() const { return whole_; }

 private:
  struct Zstd;
  // Appends the next piece of the compressed bytes to the input; false when all are read.
  bool readMore();
  [[noreturn]] void throwDamaged() const;
  // Each decompresses from the input toward `target` bytes of output.
  void copyStored(std::size_t target);
  void snappy(std::size_t target);
  void zstd(std::size_t target);

  std::int32_t codec_;
  std::uint64_t compressedSize_;
  std::size_t size_;
  Reader read_;
  ByteBuffer& input_;
  std::uint64_t inputRead_ = 0;  // bytes of the page read into input_ (from its start)
  std::size_t consumed_ = 0;     // bytes of input_ decompressed
  std::uint8_t* output_ = nullptr;
  std::size_t produced_ = 0;
  bool started_ = false;
  bool whole_ = false;
  bool betweenFrames_ = true;  // zstd: no frame begun and not ended
  std::size_t zstdNext_ = 0;   // zstd: the input its next step takes
  std::unique_ptr<Zstd> zstd_;
};

}  // namespace tabvora::internal
