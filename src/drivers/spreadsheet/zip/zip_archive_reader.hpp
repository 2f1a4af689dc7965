#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/byte_buffer.hpp"

namespace tabvora::internal {

// Random access to the entries of a ZIP archive held whole in memory, as an XLSX package
// needs: one disk, 16-bit counts, 32-bit sizes and offsets, stored or deflated entries
// (ZIP64 records, data descriptors and encryption are not understood; their sizes are
// taken as recorded and then fail the bounds checks). Never writes. Failures are silent:
// construction yields no reader, extraction yields nothing; the caller words the error.
// An entry is read whole by extract, or a chunk at a time by a ZipEntryStream; both make
// the same checks, and both accept an entry only when it yields exactly its recorded size
// with its recorded CRC-32.
class ZipArchiveReader {
 public:
  // One central-directory record. Offsets are relative to the start of the file.
  struct Entry {
    std::uint16_t method = 0;  // 0 stored, 8 deflate; others are listed but not extracted
    std::uint16_t flags = 0;   // general-purpose flags; bit 0: encrypted
    std::int64_t compressedSize = 0;
    std::int64_t uncompressedSize = 0;
    std::int64_t localHeaderOffset = 0;
    std::uint32_t crc32 = 0;  // of the uncompressed bytes
  };

  // An entry inflating to more than this is never extracted.
  static constexpr std::int64_t kMaxEntryBytes = 2'000'000'000;
  // DEFLATE cannot expand its input by more than about 1032 times (a 258-byte match per
  // two bits); a recorded size beyond that is a lie, refused before any allocation.
  static constexpr std::int64_t kMaxDeflateRatio = 1032;
  // Bytes all extractions of one reader may produce together, so an archive of many large
  // entries cannot exhaust memory.
  static constexpr std::int64_t kMaxExtractedBytes = std::int64_t{4} << 30;

  // Reads the file and indexes its central directory; nothing when the file cannot be
  // read, is shorter than an end record, or lists no entry.
  static std::optional<ZipArchiveReader> open(const std::filesystem::path& path);
  static std::optional<ZipArchiveReader> fromBytes(ByteBuffer data);

  // Why an entry yields no bytes.
  enum class Failure {
    none,
    missing,            // no entry of that name
    damaged,            // its local header or data lie outside the archive
    tooLarge,           // past kMaxEntryBytes, kMaxExtractedBytes, or memory to be had
    sizeMismatch,       // its data does not inflate to its recorded size
    checksumMismatch,   // its bytes do not have its recorded CRC-32
    unsupportedMethod,  // neither stored nor deflated
    encrypted,
  };
  struct Extraction {
    std::optional<ByteBuffer> bytes;  // present exactly when failure is none
    Failure failure = Failure::none;
    std::uint16_t method = 0;
  };
  // The extracted bytes of the entry stored under `name`, or else of one whose stored
  // name, with backslashes as slashes, equals it ignoring ASCII case (the first such in
  // name order); otherwise why not.
  // An entry that would inflate to more than `maxBytes` is too large.
  Extraction extract(std::string_view name, std::int64_t maxBytes = kMaxEntryBytes);
  std::optional<ByteBuffer> data(std::string_view name) { return extract(name).bytes; }
  // Why an entry could not be extracted, as the end of a sentence about it ("is
  // encrypted"); `method` is the entry's.
  static std::string describe(Failure failure, std::uint16_t method);
  static std::string describe(const Extraction& extraction) { return describe(extraction.failure, extraction.method); }

  // Where the entry extract would read lies, after the checks every reading makes before it
  // inflates anything (encryption, method, the local header and the data within the
  // archive, the recorded size within `maxBytes`, kMaxEntryBytes and what DEFLATE can
  // reach): its stored bytes, a view into the archive, and the size and CRC-32 its reading
  // must end with; otherwise why not (in `failure`).
  struct Location {
    std::span<const std::uint8_t> stored;
    std::int64_t size = 0;
    std::uint32_t crc32 = 0;
    std::uint16_t method = 0;
    Failure failure = Failure::none;
  };
  Location locate(std::string_view name, std::int64_t maxBytes = kMaxEntryBytes) const;
  static constexpr std::uint16_t kStored = 0;
  static constexpr std::uint16_t kDeflated = 8;
  // The CRC-32 of `bytes` continued from `crc` (0 to start).
  static std::uint32_t crc32Of(std::uint32_t crc, std::span<const std::uint8_t> bytes);

  const std::map<std::string, Entry>& entries() const { return entries_; }

 private:
  explicit ZipArchiveReader(ByteBuffer data) : data_(std::move(data)) {}
  bool index();
  const Entry* find(std::string_view name) const;

  ByteBuffer data_;
  std::map<std::string, Entry> entries_;  // by the name as stored, invalid UTF-8 repaired
  // By the name with backslashes as slashes and ASCII letters in lower case: the first
  // entry of entries_ with that form.
  std::unordered_map<std::string, const Entry*> foldedNames_;
  std::int64_t extractedBytes_ = 0;
};

}  // namespace tabvora::internal
