#include "drivers/spreadsheet/xlsx/xlsx_shared_strings_reader.hpp"

#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_escaped_text.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

std::vector<std::string> XLSXSharedStringsReader::read(std::span<const std::uint8_t> part,
                                                       WorkbookBudget::Account& account) {
  const std::int64_t before = account.bytes();
  for (const bool recovering : {false, true}) {
    XLSXSharedStringsReader reader(account, recovering);
    const bool parsed = SpreadsheetMLStreamParser::parse(part, reader, recovering);
    if (recovering && reader.itemOpen_) reader.finishItem();  // the part ends inside an item
    if (reader.outOfBudget_) throw account.budget()->exceeded(std::string("part \"") + kPartName + "\"");
    if (parsed || recovering) return std::move(reader.strings_);
    // The strings of the failed pass are let go before the second is read.
    reader.strings_ = {};
    account.release(account.bytes() - before - reader.currentBytes_);
  }
  return {};
}

SpreadsheetMLStreamParser::Name XLSXSharedStringsReader::local(SpreadsheetMLStreamParser::Name name) const {
  return anyPrefix_ ? name.local() : name;
}

void XLSXSharedStringsReader::startElement(SpreadsheetMLStreamParser::Name qualified,
                                           const SpreadsheetMLStreamParser::Attributes&) {
  const SpreadsheetMLStreamParser::Name name = local(qualified);
  if (name == "si") {
    // A recovering parse may lose an item's end tag: the next item's start ends it.
    if (anyPrefix_ && itemOpen_) finishItem();
    itemOpen_ = true;
    current_.clear();
    account_.release(currentBytes_);
    currentBytes_ = 0;
  } else if (name == "rPh") {
    ++phoneticDepth_;
  } else if (name == "t") {
    inText_ = phoneticDepth_ == 0;
  }
}

void XLSXSharedStringsReader::endElement(SpreadsheetMLStreamParser::Name qualified) {
  const SpreadsheetMLStreamParser::Name name = local(qualified);
  if (name == "t") {
    inText_ = false;
  } else if (name == "rPh") {
    if (phoneticDepth_ > 0) --phoneticDepth_;
  } else if (name == "si") {
    finishItem();
  }
}

void XLSXSharedStringsReader::finishItem() {
  itemOpen_ = false;
  decodeXLSXEscapes(current_);
  // A recovering parse passes damaged bytes through; a string is always UTF-8.
  if (!isValidUTF8(current_)) current_ = repairUTF8(current_);
  if (outOfBudget_) return;
  if (!account_.tryCharge(static_cast<std::int64_t>(current_.size()) + workbook_limits::kEntryOverheadBytes)) {
    outOfBudget_ = true;
    return stopParsing();
  }
  strings_.push_back(current_);
}

void XLSXSharedStringsReader::characters(std::string_view text) {
  if (!inText_ || outOfBudget_) return;
  if (!account_.tryCharge(static_cast<std::int64_t>(text.size()))) {
    outOfBudget_ = true;
    return stopParsing();
  }
  currentBytes_ += static_cast<std::int64_t>(text.size());
  current_ += text;
}

}  // namespace tabvora::internal
