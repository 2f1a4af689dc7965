#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/sheet/sheet_grid.hpp"
#include "drivers/spreadsheet/xml/spreadsheetml_stream_parser.hpp"
#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_sheet_split.hpp"

namespace tabvora::internal {

// Reads one worksheet part in one streaming pass (a large part as segments read at once, see
// kSplitPartBytes) into a grid of cell texts: one row per `row` element that had a cell
// (row numbers are ignored, so blank rows leave no gap), each as long as its own last cell.
// Cell texts are resolved on the way: booleans to TRUE/FALSE, date-styled serial numbers to
// dates, inline strings with their "_xHHHH_" escapes decoded; formulas are never read, only
// their cached values. Shared-string indexes are resolved to their strings once the table
// is known: at the end of the parse when the reader was given it, else by
// resolveSharedStrings, so the table can be read while the sheet is. One reader reads one
// part.
class XLSXSheetReader : public SpreadsheetMLStreamParser::Delegate {
 public:
  // A part handed out a chunk at a time (an inflating entry of the package, say), which can
  // be read again from its start.
  class Source {
   public:
    virtual ~Source() = default;
    // The next bytes, valid until the next call; empty at the end (or where reading failed).
    virtual std::span<const std::uint8_t> next() = 0;
    // Starts again at the part's first byte.
    virtual void rewind() = 0;
  };

  // Excel's last column, XFD. A cell whose reference (or, without one, whose place after
  // the previous cell) lies beyond it is dropped: it bounds the padding of a row.
  static constexpr std::int64_t kMaxColumnIndex = 16'383;
  // Cells the grid may hold, counting the empty ones that pad each row to its last cell.
  static constexpr std::int64_t kMaxGridCells = 50'000'000;
  // Bytes of cell text the grid may hold, shared strings counted once per cell that names
  // them. A row that would take the grid past it is not kept, and ends the grid.
  static constexpr std::int64_t kMaxGridTextBytes = 2'000'000'000;
  // `row` and `c` elements a part may hold, empty or dropped ones included: Excel's last row,
  // and the most cells a grid may hold. They bound the work a small part of endlessly
  // repeated elements can cause; the parse stops at the first element past either, as it
  // does at the grid limits.
  static constexpr std::int64_t kMaxRowElements = 1'048'576;
  static constexpr std::int64_t kMaxCellElements = kMaxGridCells;

  // The shared strings and date styles are referred to, not copied: the date styles must
  // outlive the reader, the shared strings its grid. `dateStyles` holds indexes into the
  // styles' cell-format list.
  XLSXSheetReader(const std::vector<std::string>& sharedStrings, const std::unordered_set<std::int64_t>& dateStyles,
                  bool uses1904Dates);
  XLSXSheetReader(std::vector<std::string>&&, const std::unordered_set<std::int64_t>&, bool) = delete;
  XLSXSheetReader(const std::vector<std::string>&, std::unordered_set<std::int64_t>&&, bool) = delete;
  // A reader whose shared strings come later, through resolveSharedStrings.
  XLSXSheetReader(const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates);
  XLSXSheetReader(std::unordered_set<std::int64_t>&&, bool) = delete;

  // A part is read as segments of about this size, as the source hands it out: the first on
  // this thread as it comes, the others each on a thread of its own, a few at a time. Each is
  // cut just after a row's end found from this size on (see XLSXSheetSplit), the others read
  // as documents of their own, and each cut is checked by the segment before it. Their rows
  // are taken in order, within the limits, as a reader of the whole part would take them; an
  // error a segment meets is the part's. Where the first cut does not hold, or no row ends
  // within kMaxUncutBytes past this size (a single row that large, or no worksheet at all),
  // the part is read on in one pass; where a later cut does not hold, it is read again in one
  // pass. So the grid, the limits reached and whether the part is well-formed are the same
  // either way, and no more of the part is held than a few segments. A smaller part is read
  // in one pass, as it comes.
  static constexpr std::size_t kSplitPartBytes = std::size_t{4} << 20;
  static constexpr std::size_t kMaxUncutBytes = std::size_t{16} << 20;
  static constexpr std::size_t kSegmentsAtOnce = 4;

  // Replaces kMaxGridCells and kMaxGridTextBytes for this reader.
  void setLimits(std::int64_t maxGridCells, std::int64_t maxGridTextBytes);
  // Replaces kMaxRowElements and kMaxCellElements for this reader.
  void setElementLimits(std::int64_t maxRowElements, std::int64_t maxCellElements);
  // Replaces kSplitPartBytes for this reader.
  void setSplitPartBytes(std::size_t bytes) { splitPartBytes_ = bytes; }
  // Keeps no more than the first `rows` rows: the parse stops once another row with cells
  // ends after them (rowsRemain), without keeping it, and reports failure as for any stop.
  // A part read with a row limit is read in one pass.
  void setRowLimit(std::size_t rows) { rowLimit_ = rows; }
  // Charges every row kept to `budget` (its cells and texts as the grid holds them) until
  // the reader is destroyed; a row past the budget stops the parse (outOfBudget).
  void setBudget(WorkbookBudget* budget) { account_.reset(budget); }

  // False when the parse stopped on an XML error, a document type declaration or a grid
  // limit; the rows completed before the stop stay in the grid. The part, from a span or
  // from a source read to its end (or as far as the rows go).
  bool parse(std::span<const std::uint8_t> part);
  bool parse(Source& part);
  // Resolves the grid's shared-string references against `sharedStrings`, which must
  // outlive the grid, and then holds the grid to kMaxGridTextBytes. False when rows were
  // dropped for it.
  bool resolveSharedStrings(const std::vector<std::string>& sharedStrings);

  const SheetGrid& sheetGrid() const { return grid_; }
  // The grid's cells as strings, for checks over small sheets.
  std::vector<std::vector<std::string>> grid() const { return grid_.toStrings(); }
  // The highest 0-based column of any cell kept, 0 when there was none.
  std::int64_t maxColIndex() const;
  // Whether the parse stopped at a grid or element limit, or at the budget.
  bool reachedLimit() const { return reachedLimit_; }
  bool outOfBudget() const { return outOfBudget_; }
  // Whether the parse stopped at the row limit, rows with cells remaining.
  bool rowsRemain() const { return rowsRemain_; }
  // Whether the last parse cut the part into segments (even if it then read it again).
  bool readInSegments() const { return readInSegments_; }

  void startElement(SpreadsheetMLStreamParser::Name name,
                    const SpreadsheetMLStreamParser::Attributes& attributes) override;
  void endElement(SpreadsheetMLStreamParser::Name name) override;
  void characters(std::string_view text) override;

 private:
  enum class CellType { number, sharedString, boolean, text };

  struct Segment;
  class Segments;

  bool read(Source& part);
  bool readInOnePass(Source& part);
  bool adopt(XLSXSheetReader& segment);
  void forgetRows();
  bool abandoned() const;
  bool countRowElement();
  void startRow();
  void endRow();
  void startCell(const SpreadsheetMLStreamParser::Attributes& attributes);
  void endCell();
  std::string_view resolvedCellText();
  void stopAtLimit();

  const std::vector<std::string>* sharedStrings_ = nullptr;
  const std::unordered_set<std::int64_t>* dateStyles_;
  bool uses1904Dates_;
  std::int64_t maxGridCells_ = kMaxGridCells;
  std::int64_t maxGridTextBytes_ = kMaxGridTextBytes;
  std::int64_t maxRowElements_ = kMaxRowElements;
  std::int64_t maxCellElements_ = kMaxCellElements;
  std::size_t splitPartBytes_ = kSplitPartBytes;
  std::size_t rowLimit_ = SIZE_MAX;
  bool readInSegments_ = false;

  // Elements counted in a segment up to the end of each of its kept rows, so the reader
  // taking its rows can tell which of them lie within the element limits.
  struct ElementsRead {
    std::int64_t rows;
    std::int64_t cells;
  };
  const std::atomic<bool>* abandoned_ = nullptr;  // set while this reader reads a segment

  SheetGrid grid_;
  std::int64_t gridCells_ = 0;
  std::int64_t gridTextBytes_ = 0;  // shared strings not counted before they are resolved
  std::int64_t rowElements_ = 0;
  std::int64_t cellElements_ = 0;
  std::vector<ElementsRead> elementsAtRowEnds_;  // a segment's only
  bool reachedLimit_ = false;
  bool outOfBudget_ = false;
  bool rowsRemain_ = false;
  WorkbookBudget::Account account_;

  SheetGrid::RowBuilder row_;      // the row being read
  std::int64_t nextColIndex_ = 0;  // column of a cell without a reference

  // The cell being read.
  std::int64_t cellCol_ = 0;  // kMaxColumnIndex + 1 for any column beyond the last
  CellType cellType_ = CellType::number;
  std::int64_t cellStyle_ = -1;
  std::string cellValue_;
  std::string dateText_;  // scratch for a resolved date
  bool capturing_ = false;
  bool inInlineString_ = false;
  bool cellInline_ = false;  // the cell's text came from an inline string
  int phoneticDepth_ = 0;
};

}  // namespace tabvora::internal
