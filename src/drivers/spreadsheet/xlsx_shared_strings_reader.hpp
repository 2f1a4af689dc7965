#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/spreadsheet/spreadsheetml_stream_parser.hpp"

namespace tabvora {

// Reads the shared-string table part (xl/sharedStrings.xml) into its list of strings, in
// item order: each `si` item is the concatenation of its `t` runs, phonetic guides (`rPh`)
// left out.
class XLSXSharedStringsReader : public SpreadsheetMLStreamParser::Delegate {
 public:
  // Text bytes one table may hold. A table never holds more text than its part spells out,
  // except when items are nested in items, which repeats their text once per level.
  static constexpr std::int64_t kMaxTextBytes = 2'000'000'000;

  // The table of a part: streamed; when the stream stops on an error, the part is parsed
  // again as a tolerant document and the items it still yields are taken; empty when that
  // fails too or finds no item. An item that would take the table past `maxTextBytes`
  // stops the stream there, and ends the document's table before it.
  static std::vector<std::string> read(std::span<const std::uint8_t> part, std::int64_t maxTextBytes = kMaxTextBytes);

  explicit XLSXSharedStringsReader(std::int64_t maxTextBytes = kMaxTextBytes) : maxTextBytes_(maxTextBytes) {}

  void startElement(SpreadsheetMLStreamParser::Name name, const SpreadsheetMLStreamParser::Attributes& attributes) override;
  void endElement(SpreadsheetMLStreamParser::Name name) override;
  void characters(std::string_view text) override;

  const std::vector<std::string>& strings() const { return strings_; }

 private:
  static std::vector<std::string> readDocument(std::span<const std::uint8_t> part, std::int64_t maxTextBytes);

  std::int64_t maxTextBytes_;
  std::int64_t textBytes_ = 0;  // held in strings_
  std::vector<std::string> strings_;
  std::string current_;    // the item being collected
  bool inText_ = false;    // character data goes to current_
  int phoneticDepth_ = 0;  // nesting depth of rPh elements
};

}  // namespace tabvora
