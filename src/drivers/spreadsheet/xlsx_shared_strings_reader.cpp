#include "drivers/spreadsheet/xlsx_shared_strings_reader.hpp"

#include <optional>

#include "drivers/spreadsheet/xml_document.hpp"

namespace tabvora {

std::vector<std::string> XLSXSharedStringsReader::read(std::span<const std::uint8_t> part, std::int64_t maxTextBytes) {
  XLSXSharedStringsReader reader(maxTextBytes);
  if (SpreadsheetMLStreamParser::parse(part, reader)) return std::move(reader.strings_);
  return readDocument(part, maxTextBytes);
}

std::vector<std::string> XLSXSharedStringsReader::readDocument(std::span<const std::uint8_t> part,
                                                               std::int64_t maxTextBytes) {
  const std::optional<XMLDocument> document = XMLDocument::parse(part, XMLDocument::Mode::tolerant);
  if (!document) return {};
  const std::optional<std::vector<XMLNode>> items = document->query("//*[local-name()='si']");
  if (!items) return {};
  std::vector<std::string> strings;
  std::int64_t textBytes = 0;
  for (const XMLNode& item : *items) {
    std::string text;
    const std::optional<std::vector<XMLNode>> runs =
        document->query(".//*[local-name()='t'][not(ancestor::*[local-name()='rPh'])]", item);
    for (const XMLNode& run : runs.value_or(std::vector<XMLNode>{})) {
      text += run.stringValue();
      if (textBytes + static_cast<std::int64_t>(text.size()) > maxTextBytes) return strings;
    }
    textBytes += static_cast<std::int64_t>(text.size());
    strings.push_back(std::move(text));
  }
  return strings;
}

void XLSXSharedStringsReader::startElement(SpreadsheetMLStreamParser::Name name, const SpreadsheetMLStreamParser::Attributes&) {
  if (name == "si") {
    current_.clear();
  } else if (name == "rPh") {
    ++phoneticDepth_;
  } else if (name == "t") {
    inText_ = phoneticDepth_ == 0;
  }
}

void XLSXSharedStringsReader::endElement(SpreadsheetMLStreamParser::Name name) {
  if (name == "t") {
    inText_ = false;
  } else if (name == "rPh") {
    if (phoneticDepth_ > 0) --phoneticDepth_;
  } else if (name == "si") {
    textBytes_ += static_cast<std::int64_t>(current_.size());
    if (textBytes_ > maxTextBytes_) return stopParsing();
    strings_.push_back(current_);
  }
}

void XLSXSharedStringsReader::characters(std::string_view text) {
  if (inText_) current_ += text;
}

}  // namespace tabvora
