#include "drivers/json/json_file_text.hpp"

#include <cstdint>
#include <cstring>

#include <simdjson.h>

#include "model/driver_error.hpp"
#include "platform/byte_count.hpp"

namespace tabvora::internal {

namespace {

constexpr std::size_t kPadding = simdjson::SIMDJSON_PADDING;

[[noreturn]] void fail(const std::string& message) { throw DriverError("JSONDriver", -1, message); }

std::string cannotRead(const std::filesystem::path& url) { return "Failed to read file at " + url.string(); }

FileReader openReader(const std::filesystem::path& url) {
  try {
    return FileReader(url);
  } catch (const FileReadError& error) {
    if (error.reason() == FileReadError::Reason::cannotOpen) fail(cannotRead(url));
    fail(error.what());
  }
}

// Spaces in the padding after a buffer's bytes: the parser reads them, and they must not
// be left uninitialised.
void pad(ByteBuffer& buffer) { std::memset(buffer.reserveTail(kPadding), ' ', kPadding); }

}  // namespace

JSONFileText::JSONFileText(const std::filesystem::path& url) : url_(url), reader_(openReader(url)) {
  pad(raw_);
  text_ = raw_.text();
}

void JSONFileText::failRead(const FileReadError& error) const {
  if (error.reason() == FileReadError::Reason::cannotOpen) fail(cannotRead(url_));
  fail(error.what());
}

void JSONFileText::append(std::uint64_t count) {
  try {
    // Room for the padding is taken with the bytes, so padding never moves the buffer.
    raw_.reserveTailInLargePages(static_cast<std::size_t>(count) + kPadding);
    reader_.readAt(raw_.size(), static_cast<std::size_t>(count), raw_);
  } catch (const FileReadError& error) {
    failRead(error);
  } catch (const std::bad_alloc&) {
    fail("Not enough memory to read " + formatByteCount(static_cast<std::int64_t>(count)) + " of the file");
  }
  bytesRead_ = raw_.size();
  pad(raw_);
}

void JSONFileText::readPrefix(std::uint64_t byteCount) {
  byteCount = std::min(byteCount, fileSize());
  if (byteCount <= bytesRead_ && textReady_) return;
  if (byteCount > bytesRead_) append(byteCount - bytesRead_);
  if (!encodingKnown_ && (raw_.size() >= 4 || complete())) {
    encoding_ = JSONTextEncoding::detect(raw_.bytes());
    encodingKnown_ = true;
  }
  if (encoding_.form == JSONTextEncoding::Form::utf8) {
    const std::size_t mark = std::min(encoding_.markLength, raw_.size());
    text_ = raw_.text().substr(mark);
  } else {
    decode();
  }
  textReady_ = true;
}

void JSONFileText::decode() {
  const std::span<const std::uint8_t> bytes = raw_.bytes().subspan(std::min(encoding_.markLength, raw_.size()));
  decoded_ = ByteBuffer();
  try {
    decoded_.reserveTail(bytes.size() / 2 * 3 + 4 + kPadding);
  } catch (const std::bad_alloc&) {
    fail("Not enough memory to decode " + formatByteCount(static_cast<std::int64_t>(bytes.size())) + " of " +
         std::string(encoding_.name()) + " text");
  }
  if (!encoding_.decode(bytes, complete(), decoded_))
    fail("The file starts like " + std::string(encoding_.name()) + " text but is not valid " +
         std::string(encoding_.name()));
  pad(decoded_);
  text_ = decoded_.text();
  // The whole file is decoded: its bytes are not needed again.
  if (complete()) raw_ = ByteBuffer();
}

void JSONFileText::release() {
  raw_ = ByteBuffer();
  decoded_ = ByteBuffer();
  text_ = {};
  textReady_ = false;
}

}  // namespace tabvora::internal
