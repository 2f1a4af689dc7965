#include "drivers/spreadsheet/xlsx/xlsx_sheet_reader.hpp"

#include <algorithm>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>

#include "drivers/spreadsheet/xlsx/xlsx_escaped_text.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_serial_date.hpp"
#include "drivers/spreadsheet/xml/xml_parse_settings.hpp"
#include "platform/ascii_case.hpp"
#include "platform/number_parsing.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::int64_t kBeyondLastColumn = XLSXSheetReader::kMaxColumnIndex + 1;

// The 0-based column of a reference such as "B7" or "aa10": its leading letters read as a
// base-26 number with A = 1; 0 without letters; kBeyondLastColumn past the last column.
std::int64_t columnIndex(std::string_view reference) {
  std::int64_t value = 0;
  for (const char c : reference) {
    const char letter = asciiUpper(c);
    if (letter < 'A' || letter > 'Z') break;
    value = std::min(value * 26 + (letter - 'A' + 1), kBeyondLastColumn + 1);
  }
  return value == 0 ? 0 : value - 1;
}

}  // namespace

XLSXSheetReader::XLSXSheetReader(const std::vector<std::string>& sharedStrings,
                                 const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates)
    : sharedStrings_(&sharedStrings), dateStyles_(&dateStyles), uses1904Dates_(uses1904Dates) {}

XLSXSheetReader::XLSXSheetReader(const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates)
    : dateStyles_(&dateStyles), uses1904Dates_(uses1904Dates) {}

void XLSXSheetReader::setLimits(std::int64_t maxGridCells, std::int64_t maxGridTextBytes) {
  maxGridCells_ = maxGridCells;
  maxGridTextBytes_ = maxGridTextBytes;
}

void XLSXSheetReader::setElementLimits(std::int64_t maxRowElements, std::int64_t maxCellElements) {
  maxRowElements_ = maxRowElements;
  maxCellElements_ = maxCellElements;
}

bool XLSXSheetReader::parse(std::span<const std::uint8_t> part) {
  const bool parsed = read(part);
  if (sharedStrings_ != nullptr && !resolveSharedStrings(*sharedStrings_)) return false;
  return parsed;
}

bool XLSXSheetReader::read(std::span<const std::uint8_t> part) {
  readInTwo_ = false;
  if (part.size() >= splitPartBytes_ && rowLimit_ == SIZE_MAX) {
    if (const std::optional<XLSXSheetSplit> split = XLSXSheetSplit::find(part, part.size() / 2))
      return readAsTwoHalves(part, *split);
  }
  return SpreadsheetMLStreamParser::parse(part, *this);
}

bool XLSXSheetReader::readAsTwoHalves(std::span<const std::uint8_t> part, const XLSXSheetSplit& split) {
  XMLParseSettings::initialize();
  Halves halves;
  XLSXSheetReader secondHalf(*dateStyles_, uses1904Dates_);
  secondHalf.setLimits(maxGridCells_, maxGridTextBytes_);
  secondHalf.setElementLimits(maxRowElements_, maxCellElements_);
  secondHalf.halves_ = &halves;
  secondHalf.secondHalf_ = true;
  secondHalf.setBudget(account_.budget());
  bool secondParsed = false;
  std::exception_ptr secondFailure;
  std::jthread secondReading;
  try {
    secondReading = std::jthread([&] {
      try {
        SpreadsheetMLStreamParser parser(secondHalf);
        parser.feed({reinterpret_cast<const std::uint8_t*>(split.prefix.data()), split.prefix.size()});
        parser.feed(part.subspan(split.cut));
        secondParsed = parser.finish();
      } catch (...) {
        secondFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    return SpreadsheetMLStreamParser::parse(part, *this);  // no thread to be had
  }
  // However this thread leaves, the second half stops soon after and this reader no
  // longer reports its use of the limits.
  halves_ = &halves;
  struct Abandon {
    XLSXSheetReader& reader;
    ~Abandon() {
      reader.halves_->abandoned = true;
      reader.halves_ = nullptr;
    }
  } abandon{*this};

  SpreadsheetMLStreamParser firstHalf(*this);
  if (firstHalf.feed(part.first(split.cut)) && split.holdsFor(firstHalf)) {
    secondReading.join();
    if (secondFailure) std::rethrow_exception(secondFailure);
    readInTwo_ = true;
    return adopt(secondHalf) && secondParsed;
  }
  halves.abandoned = true;
  secondReading.join();
  secondHalf.account_.releaseAll();
  firstHalf.feed(part.subspan(split.cut));
  return firstHalf.finish();
}

// Takes the second half's rows as if this reader had read them after its own, up to the
// first that would take the grid past a limit.
bool XLSXSheetReader::adopt(XLSXSheetReader& secondHalf) {
  const SheetGrid& rows = secondHalf.grid_;
  std::size_t kept = 0;
  for (; kept < rows.rowCount(); ++kept) {
    const auto width = static_cast<std::int64_t>(rows.width(kept));
    const std::int64_t textBytes = rows.textBytes(kept);
    const ElementsRead elements = secondHalf.elementsAtRowEnds_[kept];
    if (gridCells_ + width > maxGridCells_ || gridTextBytes_ + textBytes > maxGridTextBytes_ ||
        rowElements_ + elements.rows > maxRowElements_ || cellElements_ + elements.cells > maxCellElements_) {
      reachedLimit_ = true;
      break;
    }
    gridCells_ += width;
    gridTextBytes_ += textBytes;
  }
  grid_.append(std::move(secondHalf.grid_), kept);
  account_.adopt(secondHalf.account_);
  outOfBudget_ = outOfBudget_ || secondHalf.outOfBudget_;
  reachedLimit_ = reachedLimit_ || secondHalf.reachedLimit_ || outOfBudget_ ||
                  rowElements_ + secondHalf.rowElements_ > maxRowElements_ ||
                  cellElements_ + secondHalf.cellElements_ > maxCellElements_;
  return !reachedLimit_;
}

bool XLSXSheetReader::resolveSharedStrings(const std::vector<std::string>& sharedStrings) {
  grid_.resolveSharedStrings(sharedStrings);
  const std::size_t kept = grid_.rowsWithinTextBytes(maxGridTextBytes_);
  if (kept == grid_.rowCount()) return true;
  grid_.truncate(kept);
  reachedLimit_ = true;
  return false;
}

std::int64_t XLSXSheetReader::maxColIndex() const {
  return grid_.empty() ? 0 : static_cast<std::int64_t>(grid_.maxWidth()) - 1;
}

void XLSXSheetReader::startElement(SpreadsheetMLStreamParser::Name name,
                                   const SpreadsheetMLStreamParser::Attributes& attributes) {
  if (name == "c") {
    if (++cellElements_ + firstHalfElements_.cells > maxCellElements_) return stopAtLimit();
    startCell(attributes);
  } else if (name == "v") {
    capturing_ = true;
  } else if (name == "t") {
    capturing_ = inInlineString_ && phoneticDepth_ == 0;
  } else if (name == "row") {
    if (!countRowElement()) return;
    startRow();
  } else if (name == "is") {
    inInlineString_ = true;
    cellInline_ = true;
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
  row_.clear();
  nextColIndex_ = 0;
}

// Counts a row element and checks both element limits. While a part is read in two
// halves, the first half publishes its counts here, once a row, and the second adds the
// first's counts as of its own last row start: those only grow, so once over, the whole
// part is over too. (Per row, not per cell, so the halves rarely share a cache line.)
bool XLSXSheetReader::countRowElement() {
  ++rowElements_;
  if (halves_ != nullptr && !secondHalf_) {
    halves_->firstRowElements.store(rowElements_, std::memory_order_relaxed);
    halves_->firstCellElements.store(cellElements_, std::memory_order_relaxed);
  } else if (secondHalf_) {
    firstHalfElements_ = {halves_->firstRowElements.load(std::memory_order_relaxed),
                          halves_->firstCellElements.load(std::memory_order_relaxed)};
  }
  if (rowElements_ + firstHalfElements_.rows > maxRowElements_ ||
      cellElements_ + firstHalfElements_.cells > maxCellElements_) {
    stopAtLimit();
    return false;
  }
  return true;
}

bool XLSXSheetReader::abandoned() const { return secondHalf_ && halves_->abandoned.load(std::memory_order_relaxed); }

void XLSXSheetReader::endRow() {
  if (abandoned()) return stopParsing();
  const auto width = static_cast<std::int64_t>(row_.width());
  if (width == 0) return;
  if (grid_.rowCount() >= rowLimit_) {
    rowsRemain_ = true;
    return stopParsing();
  }
  // A second half's rows come after all of the first half's: once the first half's use so
  // far leaves no room for a row, the whole part leaves none either.
  std::int64_t cells = gridCells_ + width;
  std::int64_t textBytes = gridTextBytes_ + row_.textBytes();
  if (secondHalf_) {
    cells += halves_->firstCells.load(std::memory_order_relaxed);
    textBytes += halves_->firstTextBytes.load(std::memory_order_relaxed);
  }
  if (cells > maxGridCells_ || textBytes > maxGridTextBytes_) return stopAtLimit();
  if (!account_.tryCharge(row_.gridBytes())) {
    outOfBudget_ = true;
    return stopAtLimit();
  }
  if (!grid_.append(row_)) return stopAtLimit();
  gridCells_ += width;
  gridTextBytes_ += row_.textBytes();
  if (secondHalf_) elementsAtRowEnds_.push_back({rowElements_, cellElements_});
  if (halves_ != nullptr && !secondHalf_) {
    halves_->firstCells.store(gridCells_, std::memory_order_relaxed);
    halves_->firstTextBytes.store(gridTextBytes_, std::memory_order_relaxed);
  }
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
  cellInline_ = false;
}

void XLSXSheetReader::endCell() {
  if (abandoned()) return stopParsing();
  nextColIndex_ = std::min(cellCol_ + 1, kBeyondLastColumn);
  if (cellCol_ > kMaxColumnIndex) return;
  const auto column = static_cast<std::size_t>(cellCol_);
  if (cellType_ == CellType::sharedString) {
    row_.setSharedString(column, cellValue_);
  } else {
    row_.setText(column, resolvedCellText());
  }
}

std::string_view XLSXSheetReader::resolvedCellText() {
  switch (cellType_) {
    case CellType::boolean: return cellValue_ == "1" ? "TRUE" : "FALSE";
    case CellType::sharedString:  // resolved with the grid
      return cellValue_;
    case CellType::text:
      if (cellInline_) decodeXLSXEscapes(cellValue_);
      // A recovering parse passes damaged bytes through; a text cell is always UTF-8.
      if (!isValidUTF8(cellValue_)) cellValue_ = repairUTF8(cellValue_);
      return cellValue_;
    case CellType::number: break;
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

}  // namespace tabvora::internal
