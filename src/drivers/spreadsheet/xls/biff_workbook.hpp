#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/spreadsheet/xls/biff_number_format.hpp"
#include "drivers/spreadsheet/sheet/sheet_grid.hpp"
#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "platform/text_encoding.hpp"

namespace tabvora::internal {

class BIFFSegmentedBody;

// Parser of a legacy workbook's record stream (BIFF5/7 as Excel 5 to 95 wrote it, BIFF8 as
// Excel 97 to 2003 did). parseGlobals reads the sheet list, the shared strings, the number
// and cell formats, the date system and the code page; parseSheet then reads one
// worksheet's cells into a grid of the texts a user sees: numbers printed, dates as
// "yyyy-mm-dd[ hh:mm:ss]" text by their number format, booleans and errors as words.
// Embedded charts and other sub-streams of a sheet are skipped whole.
//
// Records are read in place; every offset and length is checked before use. Errors are
// DriverError("XLSDriver", -1, ...) with one of the messages below.
class BIFFWorkbook {
 public:
  static constexpr const char* kOldVersionMessage = "Workbooks saved by Excel 4.0 or older are not supported";
  static constexpr const char* kUnknownStreamMessage = "The Excel workbook stream is not in a supported format";
  static constexpr const char* kUnsupportedVersionMessage = "Unsupported Excel workbook version";
  static constexpr const char* kEncryptedMessage = "This workbook is password-protected and cannot be opened";
  static constexpr const char* kDamagedMessage = "The Excel workbook is damaged or incomplete";

  // Cells from this column on are not read (the widest sheet the formats know).
  static constexpr std::uint16_t kMaxColumns = 256;
  // Sheets may not, together, walk more than this many times the stream: sheets of a
  // sound workbook are disjoint runs of records, whereas sheets that overlap (offsets
  // into each other's records, nested BOFs) could make the work grow with their square.
  static constexpr std::uint64_t kMaxSheetWalksPerStream = 2;
  struct Sheet {
    std::string name;
    std::uint64_t offset = 0;  // of the sheet's BOF record in the stream
  };

  // One worksheet as read: rows in row order (row 0, the header, first; rows without
  // cells left out), `width` columns, and per column whether every data cell in it (the
  // header not counted) shows a date or time, with at least one such cell. The grid's
  // shared-string cells point into the workbook, which must outlive it.
  struct SheetContents {
    SheetGrid grid;
    std::size_t width = 0;
    std::vector<bool> dateColumns;
    WorkbookBudget::Account account;  // what the grid is charged
  };

  // `stream`, and `budget` when given, must outlive the workbook. With a budget, the shared
  // strings (for the workbook's life) and each sheet's cells while they are read, then its
  // grid (for the contents' life) are charged to it; running out throws its failure.
  explicit BIFFWorkbook(std::span<const std::uint8_t> stream, WorkbookBudget* budget = nullptr)
      : data_(stream), budget_(budget), sharedStringsAccount_(budget) {}

  // Reads the globals, up to their EOF. Throws DriverError.
  void parseGlobals();
  // Reads the worksheet whose BOF is at `offset`; an empty sheet gives an empty grid.
  // Throws DriverError; running out of the budget names the sheet `name` (or its offset).
  SheetContents parseSheet(std::uint64_t offset, std::string_view name = {});

  const std::vector<Sheet>& sheets() const { return sheets_; }
  const std::vector<std::string>& sharedStrings() const { return sharedStrings_; }
  bool uses1904Dates() const { return uses1904Dates_; }
  bool isBIFF8() const { return isBIFF8_; }
  TextEncoding byteStringEncoding() const { return byteStringEncoding_; }
  // What the number format of cell format (XF) `xfIndex` makes of a number; none for an
  // index past the workbook's cell formats.
  BIFFDateKind dateKind(std::size_t xfIndex) const;

 private:
  struct Record {
    std::uint16_t id = 0;
    std::span<const std::uint8_t> body;
    std::uint64_t next = 0;  // offset of the record after it
  };
  // The record at `offset`; false at the end of the stream (fewer than 4 bytes left).
  // Throws when the header or body does not fit.
  bool recordAt(std::uint64_t offset, Record& record) const;
  // The body of `record` from `from` on, continued by the CONTINUE records after it; sets
  // `next` past the last of them.
  BIFFSegmentedBody continued(const Record& record, std::size_t from, std::uint64_t& next) const;
  void readSharedStrings(BIFFSegmentedBody& body);
  void readString(BIFFSegmentedBody& body, int countBytes, std::string& out) const;
  // Appends the text of a number in cell format `xfIndex`; true when it is a date.
  bool appendNumberText(std::string& out, double value, std::uint16_t xfIndex) const;

  std::span<const std::uint8_t> data_;
  std::vector<Sheet> sheets_;
  std::vector<std::string> sharedStrings_;
  std::map<int, std::string> customFormats_;
  std::vector<std::uint16_t> xfFormatIDs_;
  std::vector<BIFFDateKind> xfDateKinds_;  // per XF, from its format id
  bool uses1904Dates_ = false;
  bool isBIFF8_ = true;
  TextEncoding byteStringEncoding_ = TextEncoding::windows1252;
  std::uint64_t sheetBytesWalked_ = 0;
  WorkbookBudget* budget_;
  WorkbookBudget::Account sharedStringsAccount_;
};

}  // namespace tabvora::internal
