#include "drivers/spreadsheet/xlsx_sheet_reader.hpp"

#include <algorithm>
#include <optional>

#include "drivers/spreadsheet/xlsx_serial_date.hpp"
#include "model/number_parsing.hpp"

namespace tabvora {

namespace {

constexpr std::int64_t kBeyondLastColumn = XLSXSheetReader::kMaxColumnIndex + 1;

// The 0-based column of a reference such as "B7" or "aa10": its leading letters read as a
// base-26 number with A = 1; 0 without letters; kBeyondLastColumn past the last column.
std::int64_t columnIndex(std::string_view reference) {
  std::int64_t value = 0;
  for (const char c : reference) {
    const int letter = static_cast<unsigned char>(c) & ~0x20;
    if (letter < 'A' || letter > 'Z') break;
    value = std::min(value * 26 + (letter - 'A' + 1), kBeyondLastColumn + 1);
  }
  return value == 0 ? 0 : value - 1;
}

}  // namespace

XLSXSheetReader::XLSXSheetReader(const std::vector<std::string>& sharedStrings,
                                 const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates)
    : sharedStrings_(&sharedStrings), dateStyles_(&dateStyles), uses1904Dates_(uses1904Dates) {}

void XLSXSheetReader::setLimits(std::int64_t maxGridCells, std::int64_t maxGridTextBytes) {
  maxGridCells_ = maxGridCells;
  maxGridTextBytes_ = maxGridTextBytes;
}

bool XLSXSheetReader::parse(std::span<const std::uint8_t> part) { return SpreadsheetMLStreamParser::parse(part, *this); }

void XLSXSheetReader::startElement(SpreadsheetMLStreamParser::Name name, const SpreadsheetMLStreamParser::Attributes& attributes) {
  if (name == "c") {
    startCell(attributes);
  } else if (name == "v") {
    capturing_ = true;
  } else if (name == "t") {
    capturing_ = inInlineString_ && phoneticDepth_ == 0;
  } else if (name == "row") {
    startRow();
  } else if (name == "is") {
    inInlineString_ = true;
  } else if (name == "rPh") {
    ++phoneticDepth_;
  }
}

void XLSXSheetReader::endElement(SpreadsheetMLStreamParser::Name name) {
  if (name == "v" || name == "t") {
    capturing_ = false;
  } else if (name == "c") {
    endCell();
  } else if (name == "row") {
    endRow();
  } else if (name == "is") {
    inInlineString_ = false;
  } else if (name == "rPh") {
    if (phoneticDepth_ > 0) --phoneticDepth_;
  }
}

void XLSXSheetReader::characters(std::string_view text) {
  if (capturing_) cellValue_ += text;
}

void XLSXSheetReader::startRow() {
  for (std::int64_t i = 0; i < rowWidth_; ++i) rowValues_[static_cast<std::size_t>(i)].clear();
  rowWidth_ = 0;
  rowTextBytes_ = 0;
  nextColIndex_ = 0;
}

void XLSXSheetReader::endRow() {
  if (rowWidth_ == 0) return;
  if (gridCells_ + rowWidth_ > maxGridCells_ || gridTextBytes_ + rowTextBytes_ > maxGridTextBytes_)
    return stopAtLimit();
  gridCells_ += rowWidth_;
  gridTextBytes_ += rowTextBytes_;
  grid_.emplace_back(rowValues_.begin(), rowValues_.begin() + rowWidth_);
}

void XLSXSheetReader::startCell(const SpreadsheetMLStreamParser::Attributes& attributes) {
  const std::optional<std::string_view> reference = attributes.value("r");
  cellCol_ = reference ? columnIndex(*reference) : nextColIndex_;
  const std::string_view type = attributes.value("t").value_or("");
  if (type == "s") {
    cellType_ = CellType::sharedString;
  } else if (type == "b") {
    cellType_ = CellType::boolean;
  } else if (type == "inlineStr" || type == "str" || type == "e" || type == "d") {
    cellType_ = CellType::text;
  } else {
    cellType_ = CellType::number;
  }
  const std::optional<std::string_view> style = attributes.value("s");
  cellStyle_ = style ? parseInt64(*style).value_or(-1) : -1;
  cellValue_.clear();
}

void XLSXSheetReader::endCell() {
  nextColIndex_ = std::min(cellCol_ + 1, kBeyondLastColumn);
  if (cellCol_ > kMaxColumnIndex) return;
  const std::string_view text = resolvedCellText();
  const auto column = static_cast<std::size_t>(cellCol_);
  if (cellCol_ >= rowWidth_) {
    if (rowValues_.size() <= column) rowValues_.resize(column + 1);
    rowWidth_ = cellCol_ + 1;
  }
  std::string& slot = rowValues_[column];
  const std::int64_t rowTextBytes =
      rowTextBytes_ - static_cast<std::int64_t>(slot.size()) + static_cast<std::int64_t>(text.size());
  if (gridTextBytes_ + rowTextBytes > maxGridTextBytes_) return stopAtLimit();
  rowTextBytes_ = rowTextBytes;
  slot.assign(text);
  maxColIndex_ = std::max(maxColIndex_, cellCol_);
}

std::string_view XLSXSheetReader::resolvedCellText() {
  switch (cellType_) {
    case CellType::sharedString: {
      const std::optional<std::int64_t> index = parseInt64(cellValue_);
      if (index && *index >= 0 && *index < static_cast<std::int64_t>(sharedStrings_->size()))
        return (*sharedStrings_)[static_cast<std::size_t>(*index)];
      return cellValue_;
    }
    case CellType::boolean:
      return cellValue_ == "1" ? "TRUE" : "FALSE";
    case CellType::text:
      return cellValue_;
    case CellType::number:
      break;
  }
  if (dateStyles_->empty() || !dateStyles_->contains(cellStyle_)) return cellValue_;
  // Whole-day serials are the common case; integer text reads to the same double as
  // through strtod, without its copy.
  std::optional<double> serial;
  if (const std::optional<std::int64_t> day = parseInt64(cellValue_)) {
    serial = static_cast<double>(*day);
  } else {
    serial = parseDouble(cellValue_);
  }
  if (serial && formatXLSXSerialDate(*serial, uses1904Dates_, dateText_)) return dateText_;
  return cellValue_;
}

void XLSXSheetReader::stopAtLimit() {
  reachedLimit_ = true;
  stopParsing();
}

}  // namespace tabvora
