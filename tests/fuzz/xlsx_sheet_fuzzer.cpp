// Feeds arbitrary bytes to the XML readers of the XLSX driver. A ZIP archive has its shared
// strings, styles, workbook part and first worksheet read as a workbook would; any other
// input is read directly as a worksheet, a shared-string table, a styles part and a
// workbook and relationships part. Every worksheet is read in one pass and again cut into
// segments at every row read on threads of their own, which must agree, and with a row limit, which must keep the first rows of
// the whole. Beyond not crashing, the worksheet's grid must keep its promises: no empty
// row, no row past the highest column, no column past the last, and nothing but UTF-8
// text; and the memory its rows were charged is given back with the reader. An archive's
// entries read a chunk at a time yield what extraction does, and never more than their
// recorded size. seeds/xlsx_sheet/xlsx.dict holds the parts' tokens for libFuzzer's -dict=.

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_date_styles.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_shared_strings_reader.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_sheet_reader.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_workbook.hpp"
#include "drivers/spreadsheet/zip/zip_archive_reader.hpp"
#include "drivers/spreadsheet/zip/zip_entry_stream.hpp"
#include "fuzz/fuzz_support.hpp"
#include "platform/byte_buffer.hpp"
#include "platform/unicode_text.hpp"

namespace {

using namespace tabvora::internal;
using tabvora::fuzzing::check;
using tabvora::fuzzing::refusalAllowed;

// Every reading has a budget of its own; running out of it is a clean failure.
constexpr std::int64_t kBudgetBytes = std::int64_t{256} << 20;

// What a reading shows: its rows and whether a limit cut them short.
struct SheetReading {
  std::vector<std::vector<std::string>> grid;
  bool reachedLimit = false;
  bool operator==(const SheetReading&) const = default;
};

// Rows a limited reading keeps.
constexpr std::size_t kRowLimit = 3;

SheetReading readSheet(std::span<const std::uint8_t> part, const std::vector<std::string>& sharedStrings,
                       const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates, bool split,
                       bool limited = false) {
  WorkbookBudget budget(kBudgetBytes, "XLSXDriver");
  SheetReading reading;
  {
    XLSXSheetReader reader(sharedStrings, dateStyles, uses1904Dates);
    reader.setBudget(&budget);
    if (split) reader.setSplitPartBytes(0);
    if (limited) reader.setRowLimit(kRowLimit);
    reader.parse(part);
    reading = {reader.grid(), reader.reachedLimit()};
    check(reading.grid.size() <= kRowLimit || !limited);
    check(!reader.rowsRemain() || reading.grid.size() == kRowLimit);
    check(reader.maxColIndex() >= 0 && reader.maxColIndex() <= XLSXSheetReader::kMaxColumnIndex);
    for (const std::vector<std::string>& row : reading.grid) {
      check(!row.empty() && static_cast<std::int64_t>(row.size()) <= reader.maxColIndex() + 1);
      for (const std::string& cell : row) check(isValidUTF8(cell));
    }
  }
  check(budget.usedBytes() == 0);  // the rows' charges go with the reader, every segment'
  return reading;
}

// Reading a part in segments must give exactly what reading it in one pass does; reading it
// with a row limit, the first rows of that, unless the whole reading stopped at a limit.
void readSheetBothWays(std::span<const std::uint8_t> part, const std::vector<std::string>& sharedStrings,
                       const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates) {
  const SheetReading whole = readSheet(part, sharedStrings, dateStyles, uses1904Dates, false);
  check(whole == readSheet(part, sharedStrings, dateStyles, uses1904Dates, true));
  const SheetReading first = readSheet(part, sharedStrings, dateStyles, uses1904Dates, false, true);
  if (!whole.reachedLimit) {
    const std::size_t rows = std::min(whole.grid.size(), kRowLimit);
    check(first.grid == std::vector<std::vector<std::string>>(whole.grid.begin(), whole.grid.begin() + rows));
  }
}

// The entry read a chunk at a time: never more than its recorded size, and when both
// readings reach the end, the same bytes as extraction. (The two inflaters may disagree on
// which malformed streams they refuse.)
void streamEntry(const ZipArchiveReader& archive, const std::string& name, const ZipArchiveReader::Extraction& extraction) {
  ZipEntryStream stream(archive, name);
  std::string bytes;
  for (std::span<const std::uint8_t> chunk = stream.next(); !chunk.empty(); chunk = stream.next())
    bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
  check(static_cast<std::int64_t>(bytes.size()) <= archive.entries().at(name).uncompressedSize ||
        archive.entries().at(name).method == ZipArchiveReader::kStored);
  check(stream.atEnd() == (stream.failure() == ZipArchiveReader::Failure::none));
  if (stream.atEnd() && extraction.bytes) check(bytes == extraction.bytes->text());
}

std::vector<std::string> readSharedStrings(std::span<const std::uint8_t> part, WorkbookBudget::Account& account) {
  std::vector<std::string> strings;
  if (!refusalAllowed([&] { strings = XLSXSharedStringsReader::read(part, account); })) return {};
  for (const std::string& text : strings) check(isValidUTF8(text));
  return strings;
}

std::unordered_set<std::int64_t> readDateStyles(std::span<const std::uint8_t> part, WorkbookBudget::Account& account) {
  std::unordered_set<std::int64_t> styles;
  refusalAllowed([&] { styles = readXLSXDateStyles(part, account); });
  return styles;
}

// The workbook and relationships parts: a sheet list that is never empty, and never longer
// than the limit.
void readWorkbook(std::span<const std::uint8_t> part, WorkbookBudget::Account& account) {
  refusalAllowed([&] {
    if (const std::optional<XLSXWorkbook> workbook = XLSXWorkbook::read(part, account))
      check(!workbook->sheets.empty() && workbook->sheets.size() <= workbook_limits::kMaxListedSheets);
    XLSXWorkbook::readRelationships(part, account);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  ByteBuffer buffer;
  if (size > 0) std::memcpy(buffer.reserveTail(size), data, size);
  buffer.commit(size);
  std::optional<ZipArchiveReader> archive = ZipArchiveReader::fromBytes(std::move(buffer));
  WorkbookBudget budget(kBudgetBytes, "XLSXDriver");
  WorkbookBudget::Account account(&budget);
  if (!archive) {
    const std::vector<std::string> strings = readSharedStrings(input, account);
    const std::unordered_set<std::int64_t> dateStyles = readDateStyles(input, account);
    readWorkbook(input, account);
    readSheetBothWays(input, strings, dateStyles, size % 2 == 1);
    return 0;
  }
  // Every entry small enough yields its bytes or says why not.
  constexpr std::int64_t kLargestEntryTried = 16 << 20;
  for (const auto& [name, entry] : archive->entries()) {
    if (entry.uncompressedSize > kLargestEntryTried || entry.compressedSize > kLargestEntryTried) continue;
    const ZipArchiveReader::Extraction part = archive->extract(name);
    check(part.bytes.has_value() == (part.failure == ZipArchiveReader::Failure::none));
    check(!ZipArchiveReader::describe(part).empty());
    streamEntry(*archive, name, part);
  }
  std::vector<std::string> strings;
  if (const std::optional<ByteBuffer> part = archive->data("xl/sharedStrings.xml"))
    strings = readSharedStrings(part->bytes(), account);
  std::unordered_set<std::int64_t> dateStyles;
  if (const std::optional<ByteBuffer> part = archive->data("xl/styles.xml")) dateStyles = readDateStyles(part->bytes(), account);
  if (const std::optional<ByteBuffer> part = archive->data("xl/workbook.xml")) readWorkbook(part->bytes(), account);
  if (const std::optional<ByteBuffer> part = archive->data("xl/worksheets/sheet1.xml")) {
    readSheetBothWays(part->bytes(), strings, dateStyles, false);
    readSheetBothWays(part->bytes(), strings, dateStyles, true);
  }
  return 0;
}
