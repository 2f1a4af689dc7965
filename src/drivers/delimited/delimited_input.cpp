#include "drivers/delimited/delimited_input.hpp"

#include <algorithm>
#include <new>
#include <string_view>

#include <sys/mman.h>
#include <unistd.h>

#include "drivers/delimited/delimited_encoding_stream.hpp"
#include "drivers/delimited/delimiter_detector.hpp"
#include "model/driver_error.hpp"
#include "platform/byte_count.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

static_assert(DelimitedInput::kPreviewLimits.firstRead >= 2 * DelimiterDetector::kSampleBytes + 8,
              "the first step of a preview holds the whole delimiter sample, even of UTF-16");

// Bytes 0x01-0x7F only: text every decoding reads identically (UTF-8, Windows-1252 and
// Latin 1 agree on them, and there is no NUL for decoding to remove).
bool isPlainASCII(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kBlock = 64;
  std::size_t i = 0;
  for (; i + kBlock <= bytes.size(); i += kBlock) {
    std::uint8_t any = 0, lowest = 0xFF;
    for (std::size_t j = 0; j < kBlock; ++j) {
      any |= bytes[i + j];
      lowest = std::min(lowest, bytes[i + j]);
    }
    if ((any & 0x80) != 0 || lowest == 0) return false;
  }
  for (; i < bytes.size(); ++i) {
    if (bytes[i] == 0 || bytes[i] >= 0x80) return false;
  }
  return true;
}

// Hands the file's bytes from `from` to its end to `accept` in chunks of `chunk` bytes, one
// buffer reused; stops early when `accept` returns false, and returns whether none did.
template <typename Accept>
bool everyChunk(const FileReader& reader, std::uint64_t from, std::size_t chunk, Accept&& accept) {
  ByteBuffer buffer;
  for (std::uint64_t offset = from; offset < reader.size();) {
    buffer.shrink(0);
    const std::size_t got = reader.readAt(offset, chunk, buffer);
    if (!accept(buffer.bytes())) return false;
    offset += got;
  }
  return true;
}

bool restIsUTF8(const FileReader& reader, std::uint64_t from, std::size_t chunk) {
  UTF8StreamValidator validator;
  return everyChunk(reader, from, chunk, [&](auto bytes) { return validator.feed(bytes); }) && validator.finish();
}

bool restIsUTF16(const FileReader& reader, std::uint64_t from, bool bigEndian, std::size_t chunk) {
  UTF16StreamDecoder decoder(bigEndian);
  return everyChunk(reader, from, chunk, [&](auto bytes) { return decoder.feed(bytes, nullptr); }) && decoder.finish();
}

bool restHasUndefinedInWindows1252(const FileReader& reader, std::uint64_t from, std::size_t chunk) {
  return !everyChunk(reader, from, chunk, [](auto bytes) { return !containsUndefinedInWindows1252(bytes); });
}

}  // namespace

std::span<const std::uint8_t> DelimitedInput::bytes() const {
  if (!decoding_.text) return fileBytes_.bytes().first(textEnd_);
  return {reinterpret_cast<const std::uint8_t*>(decoding_.text->data()), textEnd_};
}

void DelimitedInput::release(std::size_t offset) {
  const std::span<const std::uint8_t> text = bytes();
  offset = std::min(offset, text.size());
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  // Only pages that lie wholly inside the text, so no byte around it is touched.
  const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
  const std::uintptr_t from = (begin + released_ + page - 1) / page * page;
  const std::uintptr_t to = (begin + offset) / page * page;
  if (to <= from) return;
  // Advice only: where the system declines, the bytes simply stay.
  madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
  released_ = to - begin;
}

DelimitedInput DelimitedInput::read(const FileReader& reader, DatabaseFormat format,
                                    std::optional<std::int64_t> rowLimit, const Limits& limits) {
  DelimitedInput input;
  input.fileSize_ = reader.size();
  DelimitedRestFacts facts;
  const std::uint64_t largest = rowLimit ? std::min<std::uint64_t>(limits.maxRead, reader.size()) : reader.size();
  std::uint64_t step = rowLimit ? std::max<std::uint64_t>(limits.firstRead, 1) : largest;
  if (!rowLimit) {
    // The whole file at once, in large pages (a shortage of room is reported by the read).
    try {
      input.fileBytes_.reserveTailInLargePages(static_cast<std::size_t>(largest));
    } catch (const std::bad_alloc&) {
    }
  } else {
    // Room for the largest part at once, so growing never copies; pages not read into yet
    // are never touched, and so cost no memory. Without the room, the reads that need it
    // report the shortage.
    try {
      input.fileBytes_.reserveTail(static_cast<std::size_t>(largest));
    } catch (const std::bad_alloc&) {
    }
  }
  for (;;) {
    const std::uint64_t target = std::min(step, largest);
    if (input.fileBytes_.size() < target) {
      reader.readAt(input.fileBytes_.size(), static_cast<std::size_t>(target - input.fileBytes_.size()),
                    input.fileBytes_);
    }
    input.wholeFile_ = input.fileBytes_.size() == reader.size();
    const DelimitedByteParser::Result pass = input.settle(format, rowLimit, facts);
    if (input.wholeFile_) return input;

    // Complete: the part holds the whole delimiter sample, and the limited records and the
    // one after them, each ended by a line break.
    const bool complete = pass.stopped && input.sampleLength_ == DelimiterDetector::kSampleBytes;
    if (!complete && input.fileBytes_.size() < limits.maxRead) {
      step *= 2;
      continue;
    }
    // The part is final. When the rest of the file changes its decoding, decode it again.
    if (!input.restAgrees(reader, std::max(input.sampleLength_, pass.afterLastLineBreak), limits.restChunk, facts)) {
      continue;
    }
    // The text ends with the last record the part holds whole, which the first pass saw last.
    input.textEnd_ = pass.afterLastLineBreak;
    if (!input.scan_->foundHeader()) {
      const std::string cap = formatByteCount(static_cast<std::int64_t>(limits.maxRead));
      throw DriverError("DelimitedDriver", -1,
                        "The first record does not end within the first " + cap + "; a preview reads at most " + cap);
    }
    return input;
  }
}

DelimitedByteParser::Result DelimitedInput::settle(DatabaseFormat format, std::optional<std::int64_t> rowLimit,
                                                   const DelimitedRestFacts& facts) {
  decoding_.text.reset();  // before the next text is made, not after
  decoding_ = DelimitedDecoding::of(fileBytes_.bytes(), wholeFile_, facts);
  textEnd_ = decoding_.text ? decoding_.text->size() : fileBytes_.size();
  const std::span<const std::uint8_t> text = bytes();
  sampleLength_ = std::min(text.size(), DelimiterDetector::kSampleBytes);
  const std::string_view sample(reinterpret_cast<const char*>(text.data()), sampleLength_);
  delimiter_ = isValidUTF8(sample) ? DelimiterDetector::detect(sample, format)
                                   : DelimiterDetector::detect(repairUTF8(sample), format);
  usesCRLF_ = sample.find("\r\n") != std::string_view::npos;
  if (wholeFile_ && !rowLimit) {
    // What the pass returns matters only to a first part.
    scan_.emplace(DelimitedSchemaScan::ofWholeText(text, static_cast<std::uint8_t>(delimiter_)));
    return {};
  }
  scan_.emplace(rowLimit);
  return DelimitedByteParser::parse(text, static_cast<std::uint8_t>(delimiter_), *scan_, !wholeFile_);
}

bool DelimitedInput::restAgrees(const FileReader& reader, std::size_t stagedEnd, std::size_t chunk,
                                DelimitedRestFacts& facts) const {
  const std::span<const std::uint8_t> staged = bytes().first(std::min(stagedEnd, textEnd_));
  switch (decoding_.encoding) {
    case TextEncoding::utf8: {
      // Plain ASCII reads the same in every encoding the rest could still call for.
      const std::size_t markLength = std::min<std::size_t>(decoding_.utf8Mark ? 3 : 0, staged.size());
      if (isPlainASCII(staged.subspan(markLength)) || restIsUTF8(reader, decoding_.restFrom, chunk)) return true;
      facts.notUnicode = true;
      return false;
    }
    case TextEncoding::utf16LittleEndian:
    case TextEncoding::utf16BigEndian:
      if (restIsUTF16(reader, decoding_.restFrom, decoding_.encoding == TextEncoding::utf16BigEndian, chunk)) {
        return true;
      }
      facts.notUnicode = true;
      return false;
    case TextEncoding::windows1252: {
      const std::string_view text(reinterpret_cast<const char*>(staged.data()), staged.size());
      if (!differsFromLatin1(text) || !restHasUndefinedInWindows1252(reader, decoding_.restFrom, chunk)) return true;
      facts.undefinedInWindows1252 = true;
      return false;
    }
    default: return true;
  }
}

}  // namespace tabvora::internal
