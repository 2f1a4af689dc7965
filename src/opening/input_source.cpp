#include "opening/input_source.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "model/driver_error.hpp"
#include "opening/leading_bytes.hpp"
#include "platform/anonymous_file.hpp"
#include "platform/ascii_case.hpp"
#include "platform/text_converter.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "InputSource";
// Content bytes one step reads.
constexpr std::size_t kStepBytes = std::size_t{1} << 20;
// Content held back for a line break at most; beyond, it is written as it is.
constexpr std::size_t kMostCarried = std::size_t{16} << 20;
// Bytes of the raw input read to tell its compression.
constexpr std::size_t kSniffBytes = 16;

[[noreturn]] void fail(const std::string& message) { throw DriverError(kDomain, -1, message); }

// Up to `count` bytes from a descriptor that may be a pipe, fewer only at its end.
std::vector<std::uint8_t> readUpTo(int fd, std::size_t count, const std::string& what) {
  std::vector<std::uint8_t> bytes(count);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::read(fd, bytes.data() + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) fail(what + " cannot be read: " + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace

InputSource::InputSource(const std::filesystem::path& path, const OpenOptions& options) : path_(path) {
  std::string what;
  int fd = -1;
  if (isStandardInput(path)) {
    displayName_ = "stdin";
    what = "Standard input";
    fd = STDIN_FILENO;
  } else {
    displayName_ = path.filename().string();
    what = "\"" + displayName_ + "\"";
    formatName_ = path.filename();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return;  // the driver's checks say why
    if (S_ISREG(info.st_mode)) {
      fileSize_ = static_cast<std::int64_t>(info.st_size);
      auto first = readLeadingBytes(path, kLeadingBytes);
      if (!first) return;
      compression_ = sniffCompression(*first);
      if (compression_ == Compression::none && options.textEncoding.empty()) {
        leading_ = std::move(*first);
        tableStem_ = options.tableStem.empty() ? formatName_.stem().string() : options.tableStem;
        return;
      }
    } else if (!S_ISFIFO(info.st_mode)) {
      return;  // a folder, device or socket: refused as such
    }
    // A FIFO waits here for its writer, as any reader of one does.
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail(what + " cannot be opened: " + std::strerror(errno));
    ownedFd_ = fd;
  }
  std::vector<std::uint8_t> raw = readUpTo(fd, kSniffBytes, what);
  compression_ = sniffCompression(raw);
  if (compression_ != Compression::none) {
    const std::string extension = asciiLowered(formatName_.extension().string());
    if (isCompressionExtension(extension)) formatName_ = formatName_.stem();
  }
  const std::filesystem::path stemSource = isStandardInput(path) ? std::filesystem::path("stdin") : formatName_;
  tableStem_ = options.tableStem.empty() ? stemSource.stem().string() : options.tableStem;

  const DecompressingStream::Bounds bounds{options.maxContentBytes, OpenOptions::kBombFloorBytes,
                                           OpenOptions::kBombRatio};
  stream_ = std::make_unique<DecompressingStream>(fd, std::move(raw), compression_, bounds, what);
  try {
    spool_ = std::make_unique<AnonymousFile>("tabvora-content");
  } catch (const std::system_error& error) {
    fail(error.what());
  }
  // The first bytes as they are, for choosing the format; kept until the encoding is known.
  while (!finished_ && carry_.size() < kLeadingBytes) readStep();
}

void InputSource::convertFrom(const std::string& encoding) {
  try {
    converter_ = std::make_unique<TextConverter>(encoding);
  } catch (const TextConverter::Failure& failure) {
    throw DriverError(kDomain, ErrorCode::invalidArgument, -1, failure.what());
  }
  std::vector<std::uint8_t> raw;
  raw.swap(carry_);
  convert(raw, finished_);
}

void InputSource::convert(std::span<const std::uint8_t> bytes, bool last) {
  try {
    converted_.clear();
    converter_->convert(bytes, last, converted_);
  } catch (const TextConverter::Failure& failure) {
    fail((isStandardInput(path_) ? std::string("Standard input") : "\"" + displayName_ + "\"") +
         " cannot be read as chosen: " + failure.what());
  }
  carry_.insert(carry_.end(), converted_.begin(), converted_.end());
}

InputSource::~InputSource() {
  stream_.reset();
  if (ownedFd_ >= 0) ::close(ownedFd_);
}

const std::filesystem::path& InputSource::readPath() const { return spool_ ? spool_->path() : path_; }

std::int64_t InputSource::displaySize() const {
  if (fileSize_ >= 0) return fileSize_;
  return stream_ ? static_cast<std::int64_t>(stream_->compressedBytes()) : 0;
}

std::uint64_t InputSource::spooledBytes() const { return spool_ ? spool_->size() : 0; }

bool InputSource::readStep() {
  chunk_.resize(kStepBytes);
  std::size_t got = 0;
  try {
    got = stream_->read(chunk_);
  } catch (const DecompressionError& error) {
    fail(error.what());
  }
  chunk_.resize(got);
  if (leading_.size() < kLeadingBytes) {
    const std::size_t n = std::min(got, kLeadingBytes - leading_.size());
    leading_.insert(leading_.end(), chunk_.begin(), chunk_.begin() + static_cast<std::ptrdiff_t>(n));
  }
  if (got == 0) finished_ = true;
  if (converter_) {
    convert(chunk_, got == 0);
  } else {
    carry_.insert(carry_.end(), chunk_.begin(), chunk_.end());
  }
  return got != 0;
}

void InputSource::fill(std::uint64_t bytes) {
  if (!spool_) return;
  // UTF-16 text (after its mark) has its line breaks in two-byte units.
  const bool utf16LE = !converter_ && leading_.size() >= 2 && leading_[0] == 0xFF && leading_[1] == 0xFE;
  const bool utf16BE = !converter_ && leading_.size() >= 2 && leading_[0] == 0xFE && leading_[1] == 0xFF;
  auto write = [&](bool all) {
    std::size_t cut = all ? carry_.size() : 0;
    for (std::size_t i = carry_.size(); !all && i-- > 0;) {
      if (carry_[i] != '\n') continue;
      const std::uint64_t at = spool_->size() + i;
      if (utf16LE && (at % 2 != 0 || i + 1 >= carry_.size() || carry_[i + 1] != 0)) continue;
      if (utf16BE && at % 2 != 1) continue;
      cut = utf16LE ? i + 2 : i + 1;
      break;
    }
    if (cut == 0 && carry_.size() >= kMostCarried) cut = carry_.size() - carry_.size() % 2;
    try {
      spool_->append(std::span(carry_).first(cut));
    } catch (const std::system_error& error) {
      fail(error.what());
    }
    carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(cut));
  };
  while (!finished_ && spool_->size() + carry_.size() < bytes) {
    readStep();
    if (carry_.size() >= kStepBytes * 4) write(false);
  }
  write(finished_);
}

}  // namespace tabvora::internal
