#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "drivers/spreadsheet/zip/zip_archive_reader.hpp"

struct z_stream_s;

namespace tabvora::internal {

// One entry of a ZIP archive read a chunk at a time, for a reader that may stop early: a
// deflated entry's stored bytes are inflated (zlib, raw DEFLATE) a chunk at a time into one
// buffer of kChunkBytes, so no more than that of the entry is held; a stored entry is handed
// out as views of the archive. The checks are extract's (ZipArchiveReader::locate before
// anything is read; no more than the recorded size is ever produced; read to its end, the
// entry must yield exactly its recorded size with its recorded CRC-32), and a failed check
// ends the stream with the failure extract would report. The archive must outlive the
// stream.
class ZipEntryStream {
 public:
  // Inflated bytes handed out at a time, at most.
  static constexpr std::size_t kChunkBytes = 256 * 1024;
  // Stored bytes given to the inflater at a time.
  static constexpr std::size_t kInputChunkBytes = 64 * 1024;
  // What a stream holds while it lives, for a caller that charges it: its buffer, and about
  // what zlib allocates (its state and a 32 KB window).
  static constexpr std::int64_t kHeldBytes = kChunkBytes + 48 * 1024;

  // The entry stored under `name` (looked up as extract does), refused as extract would
  // refuse it before reading (then failure() says why and next() yields nothing).
  ZipEntryStream(const ZipArchiveReader& archive, std::string_view name,
                 std::int64_t maxBytes = ZipArchiveReader::kMaxEntryBytes);
  ~ZipEntryStream();
  ZipEntryStream(ZipEntryStream&&) noexcept;
  ZipEntryStream& operator=(ZipEntryStream&&) = delete;

  // The next bytes of the entry, valid until the next call or the stream's end; empty once
  // the entry is read whole (atEnd) or its reading has failed (failure).
  std::span<const std::uint8_t> next();

  // Why the entry could not be read (on): none while it can, and after its end.
  ZipArchiveReader::Failure failure() const { return failure_; }
  std::uint16_t method() const { return location_.method; }
  // Whether the whole entry was read, its size and CRC-32 found right.
  bool atEnd() const { return atEnd_; }
  // Bytes handed out so far.
  std::int64_t producedBytes() const { return produced_; }

 private:
  struct InflaterDeleter {
    void operator()(z_stream_s* inflater) const;
  };

  std::span<const std::uint8_t> nextStored();
  std::span<const std::uint8_t> nextInflated();
  // Hands `chunk` out unless it takes the entry past its size or, being the `last`, leaves
  // the entry short of its size or with another CRC-32; then the stream fails instead.
  std::span<const std::uint8_t> handOut(std::span<const std::uint8_t> chunk, bool last);
  std::span<const std::uint8_t> fail(ZipArchiveReader::Failure failure);

  ZipArchiveReader::Location location_;
  ZipArchiveReader::Failure failure_ = ZipArchiveReader::Failure::none;
  std::unique_ptr<z_stream_s, InflaterDeleter> inflater_;  // once the first chunk is inflated
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t consumed_ = 0;  // stored bytes read so far
  std::int64_t produced_ = 0;
  std::uint32_t crc32_ = 0;  // of the bytes handed out so far
  bool atEnd_ = false;
};

}  // namespace tabvora::internal
