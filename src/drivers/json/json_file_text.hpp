#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "drivers/json/json_text_encoding.hpp"
#include "platform/byte_buffer.hpp"
#include "platform/file_reader.hpp"

namespace tabvora::internal {

// The text of a JSON or JSON Lines file as UTF-8, without its byte-order mark: read with
// FileReader (never mapped, so a file truncated meanwhile is reported, not a crash) and
// decoded when the file is UTF-16 or UTF-32. All of it or a growing prefix may be read.
// The text is always followed by simdjson::SIMDJSON_PADDING readable bytes, so any range
// of it can be parsed in place. Failures are DriverErrors of domain "JSONDriver", code -1:
//   "Failed to read file at <path>"             the file cannot be opened or read
//   the probe's refusal                         a folder, pipe, socket or device
//   FileReader::kChangedMessage                  the file ends before its reported size
//   "Not enough memory to read ..."             the buffer cannot grow
//   "The file looks like <encoding> text ..."   it is not valid in the encoding it starts in
class JSONFileText {
 public:
  explicit JSONFileText(const std::filesystem::path& url);

  // Bytes of the file as reported when it was opened; nothing past them is ever read.
  std::uint64_t fileSize() const { return reader_.size(); }
  JSONTextEncoding encoding() const { return encoding_; }

  // Makes the text hold (at least) the file's first `byteCount` bytes, cut at its size.
  // Bytes read before are kept. In UTF-16 or UTF-32 a character cut by the end of the
  // prefix is left out.
  void readPrefix(std::uint64_t byteCount);
  void readAll() { readPrefix(fileSize()); }
  std::uint64_t bytesRead() const { return bytesRead_; }
  bool complete() const { return bytesRead_ == fileSize(); }

  std::string_view text() const { return text_; }
  // Frees the text; text() is empty afterwards.
  void release();

 private:
  void append(std::uint64_t count);
  void decode();
  [[noreturn]] void failRead(const FileReadError& error) const;

  std::filesystem::path url_;
  FileReader reader_;
  JSONTextEncoding encoding_;
  bool encodingKnown_ = false;
  std::uint64_t bytesRead_ = 0;
  bool textReady_ = false;  // text_ holds the bytes read so far
  ByteBuffer raw_;          // the bytes read, followed by padding when UTF-8
  ByteBuffer decoded_;      // UTF-16 and UTF-32: the UTF-8 text, followed by padding
  std::string_view text_;
};

}  // namespace tabvora::internal
