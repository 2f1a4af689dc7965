#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>

#include "platform/byte_buffer.hpp"
#include "platform/file_descriptor.hpp"
#include "platform/file_probe.hpp"

namespace tabvora::internal {

// Why a file could not be read. `what()` is a complete sentence a user can be shown, except
// for cannotOpen, whose readers report "Failed to read file at ..." in their own words.
class FileReadError : public std::runtime_error {
 public:
  enum class Reason { cannotOpen, notRegular, changed, tooLarge, outOfMemory };
  FileReadError(Reason reason, const std::string& message) : std::runtime_error(message), reason_(reason) {}
  Reason reason() const { return reason_; }

 private:
  Reason reason_;
};

// Reads a regular file with read(2), never through a mapping: a mapped file that another
// program truncates faults (SIGBUS) on the next touch of a lost page, whereas a read simply
// comes up short and is reported. Reads never go past the size reported when the file was
// opened, so a file that reports 0 bytes (those under /proc, say) reads as empty however
// much it would produce, and bytes appended meanwhile are ignored.
class FileReader {
 public:
  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
  static constexpr const char* kChangedMessage = "The file changed while it was being read";

  // Opens the file without blocking (a FIFO is refused, never waited on). Throws
  // FileReadError: cannotOpen (missing, no permission, ...) or notRegular (the probe's
  // refusal text: a folder, a pipe, a device).
  explicit FileReader(const std::filesystem::path& path);

  std::uint64_t size() const { return size_; }

  // Appends the bytes [offset, offset + count) of the file, cut at its reported size, to
  // `out`, and returns how many were appended. Throws FileReadError changed when the file
  // ends before its reported size, outOfMemory when the buffer cannot grow.
  std::size_t readAt(std::uint64_t offset, std::size_t count, ByteBuffer& out) const;

  // The whole file. Throws as readAt, and tooLarge (naming the limit) when its size is
  // above maxBytes.
  ByteBuffer readAll(std::size_t maxBytes = kNoLimit) const;

 private:
  std::filesystem::path path_;
  FileDescriptor fd_;
  std::uint64_t size_ = 0;
};

}  // namespace tabvora::internal
