#include "platform/decompressing_stream.hpp"

#include <bzlib.h>
#include <lzma.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/byte_count.hpp"

namespace tabvora::internal {

namespace {

// Compressed bytes read from the descriptor at a time.
constexpr std::size_t kInputChunk = std::size_t{256} << 10;
// The largest dictionary an xz stream may ask for (xz -9 uses 64 MiB) and the largest zstd
// window (zstd's own default limit): a crafted header cannot make the codec take more.
constexpr std::uint64_t kXzMemoryLimit = std::uint64_t{256} << 20;
constexpr int kZstdWindowLogMax = 27;

bool hasPrefix(std::span<const std::uint8_t> bytes, std::string_view magic) {
  return bytes.size() >= magic.size() &&
         std::equal(magic.begin(), magic.end(), bytes.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::string byteCountText(std::uint64_t bytes) { return formatByteCount(static_cast<std::int64_t>(bytes)); }

}  // namespace

Compression sniffCompression(std::span<const std::uint8_t> bytes) {
  using namespace std::string_view_literals;
  if (hasPrefix(bytes, "\x1F\x8B\x08"sv)) return Compression::gzip;
  if (hasPrefix(bytes,
                "\xFD"
                "7zXZ\x00"sv))
    return Compression::xz;
  if (hasPrefix(bytes, "\x28\xB5\x2F\xFD"sv)) return Compression::zstd;
  if (bytes.size() >= 10 && hasPrefix(bytes, "BZh"sv) && bytes[3] >= '1' && bytes[3] <= '9' &&
      (hasPrefix(bytes.subspan(4), "\x31\x41\x59\x26\x53\x59"sv) ||
       hasPrefix(bytes.subspan(4), "\x17\x72\x45\x38\x50\x90"sv)))
    return Compression::bzip2;
  return Compression::none;
}

std::string_view compressionName(Compression compression) {
  switch (compression) {
    case Compression::gzip: return "gzip";
    case Compression::bzip2: return "bzip2";
    case Compression::xz: return "xz";
    case Compression::zstd: return "zstd";
    case Compression::none: break;
  }
  return "uncompressed";
}

bool isCompressionExtension(std::string_view extension) {
  for (std::string_view known : {".gz", ".gzip", ".bz2", ".xz", ".zst", ".zstd"}) {
    if (extension == known) return true;
  }
  return false;
}

// One codec's state. run() decodes from `in` into `out` and says how much of each it used;
// atBoundary() is true between members (frames, streams), where the input may end.
struct DecompressingStream::Codec {
  struct Step {
    std::size_t consumed = 0;
    std::size_t produced = 0;
  };
  virtual ~Codec() = default;
  // Throws a plain message (the stream adds the input's name) for damaged data.
  virtual Step run(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool inputEnded) = 0;
  virtual bool atBoundary() const = 0;
  // Called at a boundary with more input to come: the next member starts.
  virtual void nextMember() {}
};

namespace {

using Codec = DecompressingStream::Codec;

struct Failure {
  std::string reason;
};

class Identity final : public Codec {
 public:
  Step run(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool) override {
    const std::size_t n = std::min(in.size(), out.size());
    std::copy_n(in.begin(), n, out.begin());
    return {n, n};
  }
  bool atBoundary() const override { return true; }
};

class Gzip final : public Codec {
 public:
  Gzip() {
    if (inflateInit2(&stream_, 15 + 16) != Z_OK) throw std::bad_alloc();
  }
  ~Gzip() override { inflateEnd(&stream_); }
  Step run(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool) override {
    stream_.next_in = const_cast<Bytef*>(in.data());
    stream_.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT32_MAX));
    stream_.next_out = out.data();
    stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size(), UINT32_MAX));
    const int result = inflate(&stream_, Z_NO_FLUSH);
    const Step step{in.size() - stream_.avail_in, out.size() - stream_.avail_out};
    if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      throw Failure{stream_.msg ? stream_.msg : "invalid data"};
    }
    return step;
  }
  bool atBoundary() const override { return ended_; }
  void nextMember() override {
    inflateReset(&stream_);
    ended_ = false;
  }

 private:
  z_stream stream_{};
  bool ended_ = false;
};

class Bzip2 final : public Codec {
 public:
  Bzip2() { start(); }
  ~Bzip2() override { BZ2_bzDecompressEnd(&stream_); }
  Step run(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool) override {
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
    stream_.avail_in = static_cast<unsigned>(std::min<std::size_t>(in.size(), UINT32_MAX));
    stream_.next_out = reinterpret_cast<char*>(out.data());
    stream_.avail_out = static_cast<unsigned>(std::min<std::size_t>(out.size(), UINT32_MAX));
    const int result = BZ2_bzDecompress(&stream_);
    const Step step{in.size() - stream_.avail_in, out.size() - stream_.avail_out};
    if (result == BZ_STREAM_END) {
      ended_ = true;
    } else if (result == BZ_MEM_ERROR) {
      throw std::bad_alloc();
    } else if (result != BZ_OK) {
      throw Failure{"invalid data"};
    }
    return step;
  }
  bool atBoundary() const override { return ended_; }
  void nextMember() override {
    BZ2_bzDecompressEnd(&stream_);
    start();
  }

 private:
  void start() {
    stream_ = bz_stream{};
    if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw std::bad_alloc();
    ended_ = false;
  }
  bz_stream stream_{};
  bool ended_ = false;
};

class Xz final : public Codec {
 public:
  Xz() {
    if (lzma_stream_decoder(&stream_, kXzMemoryLimit, LZMA_CONCATENATED) != LZMA_OK) throw std::bad_alloc();
  }
  ~Xz() override { lzma_end(&stream_); }
  Step run(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool inputEnded) override {
    stream_.next_in = in.data();
    stream_.avail_in = in.size();
    stream_.next_out = out.data();
    stream_.avail_out = out.size();
    const lzma_ret result = lzma_code(&stream_, inputEnded ? LZMA_FINISH : LZMA_RUN);
    const Step step{in.size() - stream_.avail_in, out.size() - stream_.avail_out};
    switch (result) {
      case LZMA_OK:
      case LZMA_BUF_ERROR: break;
      case LZMA_STREAM_END: ended_ = true; break;
      case LZMA_MEM_ERROR: throw std::bad_alloc();
      case LZMA_MEMLIMIT_ERROR:
        throw Failure{"its dictionary needs more than " + byteCountText(kXzMemoryLimit) + " of memory"};
      default: throw Failure{"invalid data"};
    }
    return step;
  }
  bool atBoundary() const override { return ended_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
  bool ended_ = false;
};

class Zstd final : public Codec {
 public:
  Zstd() : stream_(ZSTD_createDStream()) {
    if (!stream_) throw std::bad_alloc();
    ZSTD_DCtx_setParameter(stream_, ZSTD_d_windowLogMax, kZstdWindowLogMax);
  }
  ~Zstd() override { ZSTD_freeDStream(stream_); }
  Step run(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool) override {
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    const std::size_t result = ZSTD_decompressStream(stream_, &output, &input);
    if (ZSTD_isError(result)) throw Failure{ZSTD_getErrorName(result)};
    // 0: a frame is complete and flushed; the next byte may start another.
    frameComplete_ = result == 0;
    return {input.pos, output.pos};
  }
  bool atBoundary() const override { return frameComplete_; }

 private:
  ZSTD_DStream* stream_;
  bool frameComplete_ = false;
};

std::unique_ptr<Codec> makeCodec(Compression compression) {
  switch (compression) {
    case Compression::gzip: return std::make_unique<Gzip>();
    case Compression::bzip2: return std::make_unique<Bzip2>();
    case Compression::xz: return std::make_unique<Xz>();
    case Compression::zstd: return std::make_unique<Zstd>();
    case Compression::none: break;
  }
  return std::make_unique<Identity>();
}

}  // namespace

DecompressingStream::DecompressingStream(int fd, std::vector<std::uint8_t> alreadyRead, Compression compression,
                                         const Bounds& bounds, std::string what)
    : fd_(fd),
      input_(std::move(alreadyRead)),
      inputEnd_(input_.size()),
      compression_(compression),
      bounds_(bounds),
      what_(std::move(what)),
      codec_(makeCodec(compression)) {
  consumed_ = 0;
}

DecompressingStream::~DecompressingStream() = default;

void DecompressingStream::refill() {
  input_.resize(kInputChunk);
  inputBegin_ = 0;
  inputEnd_ = 0;
  for (;;) {
    const ssize_t got = ::read(fd_, input_.data(), input_.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw DecompressionError(what_ + " cannot be read: " + std::strerror(errno));
    if (got == 0) inputEnded_ = true;
    inputEnd_ = static_cast<std::size_t>(got);
    return;
  }
}

void DecompressingStream::checkBounds() const {
  if (produced_ > bounds_.maxOutput) {
    throw DecompressionError(what_ + " holds more than " + byteCountText(bounds_.maxOutput) +
                             (compression_ == Compression::none ? "" : " once decompressed") +
                             ", the most that is read");
  }
  if (compression_ != Compression::none && produced_ > bounds_.ratioFloor &&
      produced_ / std::max<std::uint64_t>(consumed_, 1) > bounds_.maxRatio) {
    throw DecompressionError(what_ + " expands more than " + std::to_string(bounds_.maxRatio) +
                             " times when decompressed; it is refused as a decompression bomb");
  }
}

std::size_t DecompressingStream::read(std::span<std::uint8_t> out) {
  const std::string form(compressionName(compression_));
  std::size_t produced = 0;
  while (produced == 0 && !finished_ && !out.empty()) {
    if (inputBegin_ == inputEnd_ && !inputEnded_) refill();
    const bool inputEnded = inputBegin_ == inputEnd_ && inputEnded_;
    if (codec_->atBoundary()) {
      if (inputEnded) {
        finished_ = true;
        break;
      }
      codec_->nextMember();
    }
    Codec::Step step;
    try {
      step = codec_->run(std::span(input_).subspan(inputBegin_, inputEnd_ - inputBegin_), out, inputEnded);
    } catch (const Failure& failure) {
      throw DecompressionError(what_ + " is not valid " + form + " data (" + failure.reason + ")");
    }
    inputBegin_ += step.consumed;
    consumed_ += step.consumed;
    produced = step.produced;
    produced_ += produced;
    if (inputEnded && step.consumed == 0 && produced == 0 && !codec_->atBoundary())
      throw DecompressionError(what_ + " is truncated: its " + form + " data ends before its end mark");
  }
  checkBounds();
  return produced;
}

}  // namespace tabvora::internal
