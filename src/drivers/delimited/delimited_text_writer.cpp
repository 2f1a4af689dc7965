#include "drivers/delimited/delimited_text_writer.hpp"

namespace tabvora {

bool DelimitedTextWriter::needsQuotes(std::string_view text, char delimiter) {
  for (char c : text) {
    if (c == delimiter || c == '"' || c == '\n' || c == '\r') return true;
  }
  return false;
}

void DelimitedTextWriter::field(std::string_view text) {
  if (!atRecordStart_) text_ += delimiter_;
  atRecordStart_ = false;
  if (!needsQuotes(text, delimiter_)) {
    text_ += text;
    return;
  }
  text_ += '"';
  for (char c : text) {
    if (c == '"') text_ += '"';
    text_ += c;
  }
  text_ += '"';
}

void DelimitedTextWriter::endRecord() {
  // A record that came out empty (one empty field) would be a blank line, which readers
  // skip: its field is written quoted instead.
  if (text_.size() == recordStart_) text_ += "\"\"";
  text_ += lineEnd_;
  atRecordStart_ = true;
  recordStart_ = text_.size();
}

}  // namespace tabvora
