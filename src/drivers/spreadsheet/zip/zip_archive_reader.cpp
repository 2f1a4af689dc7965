#include "drivers/spreadsheet/zip/zip_archive_reader.hpp"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "platform/ascii_case.hpp"
#include "platform/byte_cursor.hpp"
#include "platform/file_reader.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

// Record sizes and signatures ("PK" followed by the record kind).
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kMaxCommentSize = 65535;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;

std::string foldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    c = c == '\\' ? '/' : asciiLower(c);
  }
  return folded;
}

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

std::optional<ZipArchiveReader> ZipArchiveReader::open(const std::filesystem::path& path) {
  try {
    return fromBytes(FileReader(path).readAll());
  } catch (const FileReadError&) {
    return std::nullopt;
  }
}

std::optional<ZipArchiveReader> ZipArchiveReader::fromBytes(ByteBuffer data) {
  if (data.size() < kEndRecordSize) return std::nullopt;
  ZipArchiveReader reader(std::move(data));
  if (!reader.index() || reader.entries_.empty()) return std::nullopt;
  return reader;
}

bool ZipArchiveReader::index() {
  const ByteCursor file(data_.bytes());
  // The end record sits at the end, after a comment of at most 65,535 bytes.
  const std::size_t last = file.size() - kEndRecordSize;
  const std::size_t first = last > kMaxCommentSize ? last - kMaxCommentSize : 0;
  std::optional<std::size_t> end;
  for (std::size_t p = last + 1; p-- > first;) {
    ByteCursor cursor;
    std::uint32_t signature = 0;
    if (file.at(p, cursor) && cursor.readU32LE(signature) && signature == kEndSignature) {
      end = p;
      break;
    }
  }
  if (!end) return false;

  // End record: entry count at +10, directory offset at +16.
  ByteCursor record;
  std::uint16_t count = 0;
  std::uint32_t directoryOffset = 0;
  if (!file.at(*end + 10, record) || !record.readU16LE(count) || !record.skip(4) || !record.readU32LE(directoryOffset))
    return false;

  ByteCursor walk;
  if (!file.at(directoryOffset, walk)) return false;
  for (std::uint16_t i = 0; i < count; ++i) {
    // Central header: signature, then flags at +8, method at +10, CRC-32 at +16, sizes at +20
    // and +24, name, extra and comment lengths at +28..+33, local header offset at +42, the
    // name at +46.
    const std::size_t start = walk.position();
    std::uint32_t signature = 0, crc = 0, compressed = 0, uncompressed = 0, localOffset = 0;
    std::uint16_t flags = 0, method = 0, nameLength = 0, extraLength = 0, commentLength = 0;
    std::span<const std::uint8_t> name;
    if (!walk.readU32LE(signature) || signature != kCentralSignature) return false;
    if (!walk.seek(start + 8) || !walk.readU16LE(flags) || !walk.readU16LE(method) || !walk.seek(start + 16) ||
        !walk.readU32LE(crc) || !walk.readU32LE(compressed) || !walk.readU32LE(uncompressed) ||
        !walk.readU16LE(nameLength) || !walk.readU16LE(extraLength) || !walk.readU16LE(commentLength) ||
        !walk.seek(start + 42) || !walk.readU32LE(localOffset) || !walk.readBytes(nameLength, name))
      return false;
    const std::string_view nameText(reinterpret_cast<const char*>(name.data()), name.size());
    Entry entry{method, flags, compressed, uncompressed, localOffset, crc};
    entries_.insert_or_assign(isValidUTF8(nameText) ? std::string(nameText) : repairUTF8(nameText), entry);
    // A directory whose lengths run past the end stops the walk at the next entry's check.
    if (!walk.skip(std::uint64_t{extraLength} + commentLength)) {
      if (i + 1 < count) return false;
    }
  }
  for (const auto& [name, entry] : entries_) foldedNames_.try_emplace(foldedName(name), &entry);
  return true;
}

const ZipArchiveReader::Entry* ZipArchiveReader::find(std::string_view name) const {
  if (auto exact = entries_.find(std::string(name)); exact != entries_.end()) return &exact->second;
  const auto folded = foldedNames_.find(foldedName(name));
  return folded == foldedNames_.end() ? nullptr : folded->second;
}

std::string ZipArchiveReader::describe(Failure failure, std::uint16_t method) {
  switch (failure) {
    case Failure::none: return "was read";
    case Failure::missing: return "is missing from the package";
    case Failure::damaged: return "lies outside the archive (the package is damaged)";
    case Failure::tooLarge: return "is too large to extract";
    case Failure::sizeMismatch: return "does not inflate to its recorded size (the package is damaged)";
    case Failure::checksumMismatch: return "does not match its recorded checksum (the package is damaged)";
    case Failure::unsupportedMethod:
      return "is compressed with method " + std::to_string(method) + ", which is not supported";
    case Failure::encrypted: return "is encrypted";
  }
  return {};
}

ZipArchiveReader::Location ZipArchiveReader::locate(std::string_view name, std::int64_t maxBytes) const {
  Location location;
  const Entry* entry = find(name);
  if (!entry) {
    location.failure = Failure::missing;
    return location;
  }
  location.method = entry->method;
  location.crc32 = entry->crc32;
  auto failed = [&](Failure failure) {
    location.failure = failure;
    return location;
  };
  if ((entry->flags & 1) != 0) return failed(Failure::encrypted);
  if (entry->method != kStored && entry->method != kDeflated) return failed(Failure::unsupportedMethod);

  // Local header: signature, name and extra lengths at +26 and +28; the data follows.
  const ByteCursor file(data_.bytes());
  ByteCursor local;
  std::uint32_t signature = 0;
  std::uint16_t nameLength = 0, extraLength = 0;
  if (!file.at(static_cast<std::uint64_t>(entry->localHeaderOffset), local) || !local.readU32LE(signature) ||
      signature != kLocalSignature || !local.skip(22) || !local.readU16LE(nameLength) || !local.readU16LE(extraLength))
    return failed(Failure::damaged);
  const std::uint64_t start =
      static_cast<std::uint64_t>(entry->localHeaderOffset) + kLocalHeaderSize + nameLength + extraLength;
  if (!file.slice(start, static_cast<std::uint64_t>(entry->compressedSize), location.stored))
    return failed(Failure::damaged);

  const auto storedSize = static_cast<std::int64_t>(location.stored.size());
  location.size = entry->method == kStored ? storedSize : entry->uncompressedSize;
  maxBytes = std::min(maxBytes, kMaxEntryBytes);
  if (entry->uncompressedSize > maxBytes || location.size > maxBytes) return failed(Failure::tooLarge);
  if (entry->method == kDeflated && location.size > storedSize * kMaxDeflateRatio + kMaxDeflateRatio)
    return failed(Failure::sizeMismatch);
  return location;
}

ZipArchiveReader::Extraction ZipArchiveReader::extract(std::string_view name, std::int64_t maxBytes) {
  const Location location = locate(name, maxBytes);
  auto failed = [&](Failure failure) { return Extraction{std::nullopt, failure, location.method}; };
  if (location.failure != Failure::none) return failed(location.failure);
  if (location.size > kMaxExtractedBytes - extractedBytes_) return failed(Failure::tooLarge);
  const auto size = static_cast<std::size_t>(location.size);
  ByteBuffer out;
  try {
    std::uint8_t* target = out.reserveTail(size);
    if (location.method == kStored) {
      if (size > 0) std::memcpy(target, location.stored.data(), size);
    } else if (size > 0) {
      std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
      if (!decompressor) return failed(Failure::tooLarge);
      std::size_t produced = 0;
      const libdeflate_result result = libdeflate_deflate_decompress(decompressor.get(), location.stored.data(),
                                                                     location.stored.size(), target, size, &produced);
      if (result != LIBDEFLATE_SUCCESS || produced != size) return failed(Failure::sizeMismatch);
    }
    if (crc32Of(0, {target, size}) != location.crc32) return failed(Failure::checksumMismatch);
    out.commit(size);
    extractedBytes_ += location.size;
    return {std::move(out)};
  } catch (const std::bad_alloc&) {
    return failed(Failure::tooLarge);
  }
}

std::uint32_t ZipArchiveReader::crc32Of(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  return bytes.empty() ? crc : libdeflate_crc32(crc, bytes.data(), bytes.size());
}

}  // namespace tabvora::internal
