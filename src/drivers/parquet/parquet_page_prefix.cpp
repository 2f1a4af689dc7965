#include "drivers/parquet/parquet_page_prefix.hpp"

// For ZSTD_d_stableOutBuffer, an advanced parameter: refused by a library without it.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "drivers/parquet/parquet_codec.hpp"
#include "model/driver_error.hpp"
#include "platform/byte_cursor.hpp"

namespace tabvora::internal {

namespace {

// Compressed bytes are read in pieces of this size at first, each next piece twice the last.
constexpr std::uint64_t kFirstPiece = 16 * 1024;
constexpr std::size_t kLeastRoom = std::size_t{4} << 20;

}  // namespace

struct ParquetPagePrefix::Zstd {
  ZstdContext context;
  ZSTD_DStream* stream = context.get();
};

ParquetPagePrefix::ParquetPagePrefix(std::int32_t codec, std::uint64_t compressedSize, std::size_t size, Reader read,
                                     ByteBuffer& input, ByteBuffer& output)
    : codec_(codec), compressedSize_(compressedSize), size_(size), read_(std::move(read)), input_(input) {
  input_.shrink(0);
  output.shrink(0);
  // Room is taken for a page of at least kLeastRoom, so that the next pages of a preview
  // (each a column's first) mostly fit in it: only what is written of it is touched, and
  // new room would be touched afresh.
  output_ = output.reserveTail(std::max(size, kLeastRoom));
  if (codec_ == 0 && compressedSize_ != size_) throwDamaged();
}

ParquetPagePrefix::~ParquetPagePrefix() = default;

void ParquetPagePrefix::throwDamaged() const {
  throw DriverError(
      "ParquetDriver", -1,
      "A page compressed with " + std::string(ParquetCodec::name(codec_)) + " does not decompress to its stated size");
}

bool ParquetPagePrefix::readMore() {
  if (inputRead_ == compressedSize_) return false;
  const std::uint64_t piece = std::min(compressedSize_ - inputRead_, std::max(kFirstPiece, inputRead_));
  const std::span<const std::uint8_t> bytes = read_(inputRead_, piece);
  if (bytes.size() != piece) throwDamaged();
  std::memcpy(input_.reserveTail(bytes.size()), bytes.data(), bytes.size());
  input_.commit(bytes.size());
  inputRead_ += piece;
  return true;
}

std::span<const std::uint8_t> ParquetPagePrefix::grow(std::size_t count) {
  const std::size_t target = std::min(count, size_);
  if (produced_ < target || (target == size_ && !whole_)) {
    switch (codec_) {
      case 0: copyStored(target); break;
      case 1: snappy(target); break;
      case 6: zstd(target); break;
      default: throwDamaged();
    }
    started_ = true;
  }
  return {output_, produced_};
}

void ParquetPagePrefix::copyStored(std::size_t target) {
  while (produced_ < target) {
    if (consumed_ == input_.size() && !readMore()) throwDamaged();
    const std::size_t n = std::min(target - produced_, input_.size() - consumed_);
    std::memcpy(output_ + produced_, input_.bytes().data() + consumed_, n);
    consumed_ += n;
    produced_ += n;
  }
  whole_ = produced_ == size_;
}

// Snappy's format: the decompressed length as a varint, then elements, each a tag byte
// whose low two bits say what follows: 0 a literal (its length in the tag's upper six bits,
// or in the 1 to 4 bytes after it), 1 a copy of 4 to 11 bytes from up to 2047 back (11 bits
// of offset), 2 and 3 a copy of 1 to 64 bytes from a 2- or 4-byte offset back. An element
// is taken only once all its bytes are read; a copy reaches only bytes already made.
void ParquetPagePrefix::snappy(std::size_t target) {
  while (!started_) {
    ByteCursor cursor(input_.bytes());
    std::uint64_t length = 0;
    if (cursor.readVarint64(length)) {
      if (cursor.position() > 5 || length != size_) throwDamaged();
      consumed_ = cursor.position();
      break;
    }
    if (!readMore()) throwDamaged();
  }
  while (produced_ < target || (target == size_ && !whole_)) {
    if (produced_ == size_) {
      // All made: the compressed bytes must end here.
      if (consumed_ != input_.size() || inputRead_ != compressedSize_) throwDamaged();
      whole_ = true;
      return;
    }
    ByteCursor cursor(input_.bytes().subspan(consumed_));
    std::uint8_t tag = 0;
    bool element = cursor.readU8(tag);
    std::uint64_t length = 0;
    std::uint64_t offset = 0;
    std::span<const std::uint8_t> literal;
    const bool isLiteral = (tag & 3) == 0;
    switch (tag & 3) {
      case 0: {
        length = (tag >> 2) + 1u;
        if (length > 60) {
          const std::uint64_t extra = length - 60;
          std::span<const std::uint8_t> bytes;
          element = element && cursor.readBytes(extra, bytes);
          if (element) {
            length = 0;
            for (std::size_t i = 0; i < bytes.size(); ++i) length |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
            ++length;
          }
        }
        element = element && cursor.readBytes(length, literal);
        break;
      }
      case 1: {
        std::uint8_t low = 0;
        element = element && cursor.readU8(low);
        length = ((tag >> 2) & 7) + 4u;
        offset = static_cast<std::uint64_t>(tag >> 5) << 8 | low;
        break;
      }
      case 2: {
        std::uint16_t value = 0;
        element = element && cursor.readU16LE(value);
        length = (tag >> 2) + 1u;
        offset = value;
        break;
      }
      default: {
        std::uint32_t value = 0;
        element = element && cursor.readU32LE(value);
        length = (tag >> 2) + 1u;
        offset = value;
      }
    }
    if (!element) {
      if (readMore()) continue;
      throwDamaged();  // an element cut short
    }
    if (length > size_ - produced_) throwDamaged();
    if (isLiteral) {
      std::memcpy(output_ + produced_, literal.data(), literal.size());
    } else {
      if (offset == 0 || offset > produced_) throwDamaged();
      // The bytes copied may overlap those being written (a run repeated): byte by byte.
      const std::uint8_t* from = output_ + produced_ - offset;
      std::uint8_t* to = output_ + produced_;
      if (offset >= length) {
        std::memcpy(to, from, length);
      } else {
        for (std::uint64_t i = 0; i < length; ++i) to[i] = from[i];
      }
    }
    produced_ += length;
    consumed_ += cursor.position();
  }
}

void ParquetPagePrefix::zstd(std::size_t target) {
  if (!zstd_) {
    zstd_ = std::make_unique<Zstd>();
    if (ZSTD_isError(ZSTD_initDStream(zstd_->stream))) throw std::bad_alloc();
    // The page's room never moves: decompressed into it directly, with no window of the
    // stream's own to fill and copy out of (where the library allows).
    ZSTD_DCtx_setParameter(zstd_->stream, ZSTD_d_stableOutBuffer, 1);
  }
  for (;;) {
    // Between frames with every byte made and read, the page is whole (as it is when empty).
    if (betweenFrames_ && produced_ == size_ && consumed_ == input_.size() && inputRead_ == compressedSize_) {
      whole_ = true;
      return;
    }
    if (produced_ >= target && target < size_) return;
    if (consumed_ == input_.size() && !readMore()) throwDamaged();
    // The input is given a step at a time (a frame's first bytes, a block's header, a
    // block), so that a call stops after the block that reaches the target: well-compressed
    // pages hold many blocks in a few bytes.
    // (The size of the next step is what the last call returned.)
    const std::size_t next = betweenFrames_ ? ZSTD_FRAMEHEADERSIZE_PREFIX(ZSTD_f_zstd1) : zstdNext_;
    ZSTD_inBuffer in{input_.bytes().data() + consumed_, std::min(input_.size() - consumed_, next), 0};
    ZSTD_outBuffer out{output_, size_, produced_};
    const std::size_t status = ZSTD_decompressStream(zstd_->stream, &out, &in);
    if (ZSTD_isError(status) || (in.pos == 0 && out.pos == produced_ && status != 0)) throwDamaged();
    consumed_ += in.pos;
    produced_ = out.pos;
    betweenFrames_ = status == 0;
    zstdNext_ = status;
  }
}

}  // namespace tabvora::internal
