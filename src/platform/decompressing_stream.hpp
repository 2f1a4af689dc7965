#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tabvora::internal {

// The compressed stream forms a file may be wrapped in; `none` is the content as it is.
enum class Compression { none, gzip, bzip2, xz, zstd };

// The form the first bytes of a file show, `none` for any other content. Needs the first
// 10 bytes (bzip2's block magic follows its header).
Compression sniffCompression(std::span<const std::uint8_t> leadingBytes);

// "gzip", "bzip2", "xz", "zstd", or "uncompressed".
std::string_view compressionName(Compression compression);

// Whether a lower-cased extension (".gz", ".bz2", ".xz", ".zst", ".zstd", ".gzip") names a
// compressed stream, so that the name without it says what the content is.
bool isCompressionExtension(std::string_view extension);

// Why a stream could not be read whole: damaged or truncated data, or content beyond the
// bounds. The message is a sentence a user can be shown.
class DecompressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a file descriptor (a regular file, a pipe or a FIFO) through a decompressor, as a
// stream: memory stays a few hundred kilobytes plus the codec's window, whatever the sizes.
// gzip and bzip2 files of several members and zstd files of several frames read as the
// concatenation of their parts, like their command-line tools read them; xz streams too.
class DecompressingStream {
 public:
  struct Bounds {
    // Content bytes at most; beyond, reading fails.
    std::uint64_t maxOutput;
    // Past this many content bytes, reading fails when the content exceeds maxRatio times
    // the compressed bytes read so far (a decompression bomb).
    std::uint64_t ratioFloor;
    std::uint64_t maxRatio;
  };

  // Reads `fd` (not owned; it stays open) after the bytes in `alreadyRead`, which were taken
  // from it to sniff the form. `what` names the input in messages ("\"sales.csv.gz\"").
  DecompressingStream(int fd, std::vector<std::uint8_t> alreadyRead, Compression compression, const Bounds& bounds,
                      std::string what);
  ~DecompressingStream();
  DecompressingStream(const DecompressingStream&) = delete;
  DecompressingStream& operator=(const DecompressingStream&) = delete;

  // Up to out.size() content bytes into `out`; 0 only at the end of the content. Throws
  // DecompressionError.
  std::size_t read(std::span<std::uint8_t> out);

  std::uint64_t contentBytes() const { return produced_; }
  std::uint64_t compressedBytes() const { return consumed_; }

  struct Codec;

 private:
  void refill();
  void checkBounds() const;

  int fd_;
  std::vector<std::uint8_t> input_;
  std::size_t inputBegin_ = 0;
  std::size_t inputEnd_ = 0;
  bool inputEnded_ = false;
  bool finished_ = false;
  std::uint64_t produced_ = 0;
  std::uint64_t consumed_ = 0;
  Compression compression_;
  Bounds bounds_;
  std::string what_;
  std::unique_ptr<Codec> codec_;
};

}  // namespace tabvora::internal
