#pragma once

#include <string>
#include <string_view>

namespace tabvora::internal {

// Builds delimited text one record at a time, quoted as delimited_quoting.hpp says. Every
// record, the last included, ends with the line end.
class DelimitedTextWriter {
 public:
  DelimitedTextWriter(char delimiter, bool crlf) : delimiter_(delimiter), lineEnd_(crlf ? "\r\n" : "\n") {}

  void field(std::string_view text);
  void endRecord();
  const std::string& text() const { return text_; }
  std::string takeText() {
    std::string out = std::move(text_);
    text_.clear();
    recordStart_ = 0;
    return out;
  }

 private:
  char delimiter_;
  std::string_view lineEnd_;
  bool atRecordStart_ = true;
  std::string text_;
  std::size_t recordStart_ = 0;  // where the current record's text begins
};

}  // namespace tabvora::internal
