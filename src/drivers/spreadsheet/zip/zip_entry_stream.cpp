#include "drivers/spreadsheet/zip/zip_entry_stream.hpp"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <new>

namespace tabvora::internal {

using Failure = ZipArchiveReader::Failure;

void ZipEntryStream::InflaterDeleter::operator()(z_stream_s* inflater) const {
  inflateEnd(inflater);  // harmless on a stream whose initialisation failed
  delete inflater;
}

ZipEntryStream::ZipEntryStream(const ZipArchiveReader& archive, std::string_view name, std::int64_t maxBytes)
    : location_(archive.locate(name, maxBytes)), failure_(location_.failure) {}

ZipEntryStream::~ZipEntryStream() = default;
ZipEntryStream::ZipEntryStream(ZipEntryStream&&) noexcept = default;

std::span<const std::uint8_t> ZipEntryStream::next() {
  if (failure_ != Failure::none || atEnd_) return {};
  return location_.method == ZipArchiveReader::kStored ? nextStored() : nextInflated();
}

std::span<const std::uint8_t> ZipEntryStream::nextStored() {
  const std::size_t count = std::min(kChunkBytes, location_.stored.size() - consumed_);
  const std::span<const std::uint8_t> chunk = location_.stored.subspan(consumed_, count);
  consumed_ += count;
  return handOut(chunk, consumed_ == location_.stored.size());
}

std::span<const std::uint8_t> ZipEntryStream::nextInflated() {
  if (!inflater_) {
    // As extract: an entry recorded as empty is not inflated.
    if (location_.size == 0) return handOut({}, true);
    try {
      buffer_.reset(new std::uint8_t[kChunkBytes]);
      std::unique_ptr<z_stream_s, InflaterDeleter> inflater(new z_stream{});
      if (inflateInit2(inflater.get(), -MAX_WBITS) != Z_OK) return fail(Failure::tooLarge);
      inflater_ = std::move(inflater);
    } catch (const std::bad_alloc&) {
      return fail(Failure::tooLarge);
    }
  }
  z_stream& inflater = *inflater_;
  // Room for one byte more than the entry has left: inflating past its recorded size shows
  // in that byte, and goes no further.
  const std::int64_t left = location_.size - produced_;
  inflater.next_out = buffer_.get();
  inflater.avail_out = static_cast<uInt>(std::min<std::int64_t>(kChunkBytes, left + 1));
  bool ended = false;
  while (inflater.avail_out > 0) {
    if (inflater.avail_in == 0 && consumed_ < location_.stored.size()) {
      const std::size_t count = std::min(kInputChunkBytes, location_.stored.size() - consumed_);
      inflater.next_in = location_.stored.data() + consumed_;
      inflater.avail_in = static_cast<uInt>(count);
      consumed_ += count;
    }
    // Without input, zlib may still have output of its own to give; Z_BUF_ERROR says it
    // has none, so the stored bytes end before the DEFLATE stream does.
    const int result = inflate(&inflater, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ended = true;
      break;
    }
    if (result != Z_OK) return fail(result == Z_MEM_ERROR ? Failure::tooLarge : Failure::sizeMismatch);
  }
  return handOut({buffer_.get(), static_cast<std::size_t>(inflater.next_out - buffer_.get())}, ended);
}

std::span<const std::uint8_t> ZipEntryStream::handOut(std::span<const std::uint8_t> chunk, bool last) {
  const std::int64_t produced = produced_ + static_cast<std::int64_t>(chunk.size());
  if (produced > location_.size || (last && produced != location_.size)) return fail(Failure::sizeMismatch);
  const std::uint32_t crc32 = ZipArchiveReader::crc32Of(crc32_, chunk);
  if (last && crc32 != location_.crc32) return fail(Failure::checksumMismatch);
  produced_ = produced;
  crc32_ = crc32;
  if (last) {
    atEnd_ = true;
    inflater_.reset();  // the buffer still holds the chunk
  }
  return chunk;
}

std::span<const std::uint8_t> ZipEntryStream::fail(Failure failure) {
  failure_ = failure;
  inflater_.reset();
  buffer_.reset();
  return {};
}

}  // namespace tabvora::internal
