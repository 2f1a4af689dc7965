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
  text_ += lineEnd_;
  atRecordStart_ = true;
}

}  // namespace tabvora
