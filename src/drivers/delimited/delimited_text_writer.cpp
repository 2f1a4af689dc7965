#include "drivers/delimited/delimited_text_writer.hpp"

#include "platform/delimited_quoting.hpp"

namespace tabvora::internal {

void DelimitedTextWriter::field(std::string_view text) {
  if (!atRecordStart_) text_ += delimiter_;
  atRecordStart_ = false;
  appendDelimitedField(text_, text, delimiter_);
}

void DelimitedTextWriter::endRecord() {
  endDelimitedRecord(text_, recordStart_, lineEnd_);
  atRecordStart_ = true;
  recordStart_ = text_.size();
}

}  // namespace tabvora::internal
