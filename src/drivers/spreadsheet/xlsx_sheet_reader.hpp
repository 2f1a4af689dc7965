#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/spreadsheetml_stream_parser.hpp"

namespace tabvora {

// Reads one worksheet part in a single streaming pass into a grid of cell texts: one row
// per `row` element that had a cell (row numbers are ignored, so blank rows leave no gap),
// each as long as its own last cell. Cell texts are resolved on the way: shared-string
// indexes to their strings, booleans to TRUE/FALSE, date-styled serial numbers to dates;
// formulas are never read, only their cached values. One reader reads one part.
class XLSXSheetReader : public SpreadsheetMLStreamParser::Delegate {
 public:
  // Excel's last column, XFD. A cell whose reference (or, without one, whose place after
  // the previous cell) lies beyond it is dropped: it bounds the padding of a row.
  static constexpr std::int64_t kMaxColumnIndex = 16'383;
  // Cells the grid may hold, counting the empty ones that pad each row to its last cell.
  static constexpr std::int64_t kMaxGridCells = 50'000'000;
  // Bytes of cell text the grid may hold: a short reference to a long shared string would
  // otherwise copy it into every cell.
  static constexpr std::int64_t kMaxGridTextBytes = 2'000'000'000;

  // The shared strings and date styles are referred to, not copied: both must outlive the
  // reader. `dateStyles` holds indexes into the styles' cell-format list.
  XLSXSheetReader(const std::vector<std::string>& sharedStrings, const std::unordered_set<std::int64_t>& dateStyles,
                  bool uses1904Dates);
  XLSXSheetReader(std::vector<std::string>&&, const std::unordered_set<std::int64_t>&, bool) = delete;
  XLSXSheetReader(const std::vector<std::string>&, std::unordered_set<std::int64_t>&&, bool) = delete;

  // Replaces kMaxGridCells and kMaxGridTextBytes for this reader.
  void setLimits(std::int64_t maxGridCells, std::int64_t maxGridTextBytes);

  // False when the parse stopped on an XML error, a document type declaration or a grid
  // limit; the rows completed before the stop stay in the grid.
  bool parse(std::span<const std::uint8_t> part);

  const std::vector<std::vector<std::string>>& grid() const { return grid_; }
  std::vector<std::vector<std::string>> takeGrid() { return std::move(grid_); }
  // The highest 0-based column of any cell kept, 0 when there was none.
  std::int64_t maxColIndex() const { return maxColIndex_; }
  // Whether the parse stopped at kMaxGridCells or kMaxGridTextBytes.
  bool reachedLimit() const { return reachedLimit_; }

  void startElement(SpreadsheetMLStreamParser::Name name, const SpreadsheetMLStreamParser::Attributes& attributes) override;
  void endElement(SpreadsheetMLStreamParser::Name name) override;
  void characters(std::string_view text) override;

 private:
  enum class CellType { number, sharedString, boolean, text };

  void startRow();
  void endRow();
  void startCell(const SpreadsheetMLStreamParser::Attributes& attributes);
  void endCell();
  std::string_view resolvedCellText();
  void stopAtLimit();

  const std::vector<std::string>* sharedStrings_;
  const std::unordered_set<std::int64_t>* dateStyles_;
  bool uses1904Dates_;
  std::int64_t maxGridCells_ = kMaxGridCells;
  std::int64_t maxGridTextBytes_ = kMaxGridTextBytes;

  std::vector<std::vector<std::string>> grid_;
  std::int64_t maxColIndex_ = 0;
  std::int64_t gridCells_ = 0;
  std::int64_t gridTextBytes_ = 0;
  bool reachedLimit_ = false;

  // The row being read: its cells by column. Only the first rowWidth_ (the highest column
  // set + 1, 0 while none is) can be non-empty; the vector keeps its strings' capacity
  // from row to row.
  std::vector<std::string> rowValues_;
  std::int64_t rowWidth_ = 0;
  std::int64_t rowTextBytes_ = 0;
  std::int64_t nextColIndex_ = 0;  // column of a cell without a reference

  // The cell being read.
  std::int64_t cellCol_ = 0;  // kMaxColumnIndex + 1 for any column beyond the last
  CellType cellType_ = CellType::number;
  std::int64_t cellStyle_ = -1;
  std::string cellValue_;
  std::string dateText_;  // scratch for a resolved date
  bool capturing_ = false;
  bool inInlineString_ = false;
  int phoneticDepth_ = 0;
};

}  // namespace tabvora
