#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/open_options.hpp"
#include "platform/decompressing_stream.hpp"

namespace tabvora::internal {

class AnonymousFile;
class TextConverter;

// Where a driver reads a file's content from. A plain regular file is read where it is.
// Content that has to be produced first (a compressed file, standard input, a FIFO, or
// text converted from a named encoding) is streamed into a private in-memory file
// (AnonymousFile), as far as it is asked for: a preview of a text format asks for a first
// part and more only when its rows are not in it yet; other opens ask for all of it.
// Failures are DriverError, domain "InputSource", code -1 (a usage error for an unknown
// encoding).
class InputSource {
 public:
  // Bytes of content kept for choosing the format and the binary test.
  static constexpr std::size_t kLeadingBytes = 4096;

  // `path` "-" is standard input. Reads the first bytes of content.
  InputSource(const std::filesystem::path& path, const OpenOptions& options);
  ~InputSource();
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  static bool isStandardInput(const std::filesystem::path& path) { return path == "-"; }

  // Whether the content goes through the private file; false: the file itself is read.
  bool streamed() const { return spool_ != nullptr; }
  // What a driver opens: the file itself, or the private file.
  const std::filesystem::path& readPath() const;
  // The name the format is chosen by: the file's name without a compression extension
  // ("sales.csv" for "sales.csv.gz"); empty for standard input.
  const std::filesystem::path& formatName() const { return formatName_; }
  // The first content bytes, up to kLeadingBytes (all of a shorter content), as read (before
  // any conversion).
  std::span<const std::uint8_t> leadingBytes() const { return leading_; }
  // The name a page shows ("sales.csv.gz", "stdin") and the staged table's stem ("sales",
  // "stdin").
  const std::string& displayName() const { return displayName_; }
  const std::string& tableStem() const { return tableStem_; }
  // The size a page shows: the file's own size, or the content's for standard input and FIFOs.
  std::int64_t displaySize() const;
  // The compression the file's first bytes show.
  Compression compression() const { return compression_; }

  // Streamed only: the content is text in `encoding` (an ICU name), converted to UTF-8 from
  // here on; call before the first fill. Throws DriverError, invalidArgument for an unknown
  // name.
  void convertFrom(const std::string& encoding);
  // Streamed only: whether the private file holds all the content.
  bool complete() const { return finished_ && carry_.empty(); }
  // Streamed only: makes the private file hold at least `bytes` of content, or all of it.
  // Unless it then holds all, it ends after a line break, so no character is cut.
  void fill(std::uint64_t bytes);
  void fillAll() { fill(UINT64_MAX); }
  std::uint64_t spooledBytes() const;
  // Content read so far, spooled or waiting for its line break.
  std::uint64_t bytesRead() const { return spooledBytes() + carry_.size(); }

 private:
  void openStream(int fd, std::vector<std::uint8_t> alreadyRead, const OpenOptions& options);
  // Reads one step of the stream; false at its end.
  bool readStep();
  void convert(std::span<const std::uint8_t> bytes, bool last);

  std::filesystem::path path_;
  std::filesystem::path formatName_;
  std::string displayName_;
  std::string tableStem_;
  std::int64_t fileSize_ = -1;  // of a regular file
  Compression compression_ = Compression::none;
  std::vector<std::uint8_t> leading_;

  int ownedFd_ = -1;
  std::unique_ptr<DecompressingStream> stream_;
  std::unique_ptr<TextConverter> converter_;
  std::unique_ptr<AnonymousFile> spool_;
  std::vector<std::uint8_t> carry_;  // content read after the last line break kept
  std::vector<std::uint8_t> chunk_;
  std::vector<std::uint8_t> converted_;
  bool finished_ = false;
};

}  // namespace tabvora::internal
