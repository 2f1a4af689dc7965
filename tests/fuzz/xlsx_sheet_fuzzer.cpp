// Feeds arbitrary bytes to the XML readers of the XLSX driver. A ZIP archive has its shared
// strings, styles, workbook part and first worksheet read as a workbook would; any other
// input is read directly as a worksheet, a shared-string table, a styles part and a
// workbook and relationships part. Every worksheet is read whole and again as two halves
// on two threads, which must agree. Beyond not crashing, the worksheet's grid must keep its
// promises: no empty row, no row past the highest column, no column past the last, and
// nothing but UTF-8 text; and the memory its rows were charged is given back with the
// reader. seeds/xlsx_sheet/xlsx.dict holds the parts' tokens for libFuzzer's -dict=.

#include <cstdint>
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
#include "fuzz/fuzz_support.hpp"
#include "platform/byte_buffer.hpp"
#include "platform/unicode_text.hpp"

namespace {

using tabvora::ByteBuffer;
using tabvora::XLSXSheetReader;
using tabvora::fuzzing::check;

// Every reading has a budget of its own; running out of it is a clean failure.
constexpr std::int64_t kBudgetBytes = std::int64_t{256} << 20;

// What a reading shows: its rows and whether a limit cut them short.
struct SheetReading {
  std::vector<std::vector<std::string>> grid;
  bool reachedLimit = false;
  bool operator==(const SheetReading&) const = default;
};

SheetReading readSheet(std::span<const std::uint8_t> part, const std::vector<std::string>& sharedStrings,
                       const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates, bool split) {
  tabvora::WorkbookBudget budget(kBudgetBytes, "XLSXDriver");
  SheetReading reading;
  {
    XLSXSheetReader reader(sharedStrings, dateStyles, uses1904Dates);
    reader.setBudget(&budget);
    if (split) reader.setSplitPartBytes(0);
    reader.parse(part);
    reading = {reader.grid(), reader.reachedLimit()};
    check(reader.maxColIndex() >= 0 && reader.maxColIndex() <= XLSXSheetReader::kMaxColumnIndex);
    for (const std::vector<std::string>& row : reading.grid) {
      check(!row.empty() && static_cast<std::int64_t>(row.size()) <= reader.maxColIndex() + 1);
      for (const std::string& cell : row) check(tabvora::isValidUTF8(cell));
    }
  }
  check(budget.usedBytes() == 0);  // the rows' charges go with the reader, both halves'
  return reading;
}

// Reading a part in two halves must give exactly what reading it whole does.
void readSheetBothWays(std::span<const std::uint8_t> part, const std::vector<std::string>& sharedStrings,
                       const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates) {
  check(readSheet(part, sharedStrings, dateStyles, uses1904Dates, false) ==
        readSheet(part, sharedStrings, dateStyles, uses1904Dates, true));
}


std::vector<std::string> readSharedStrings(std::span<const std::uint8_t> part, tabvora::WorkbookBudget::Account& account) {
  std::vector<std::string> strings;
  try {
    strings = tabvora::XLSXSharedStringsReader::read(part, account);
  } catch (const tabvora::DriverError&) {
    return {};
  }
  for (const std::string& text : strings) check(tabvora::isValidUTF8(text));
  return strings;
}

std::unordered_set<std::int64_t> readDateStyles(std::span<const std::uint8_t> part, tabvora::WorkbookBudget::Account& account) {
  try {
    return tabvora::readXLSXDateStyles(part, account);
  } catch (const tabvora::DriverError&) {
    return {};
  }
}

// The workbook and relationships parts: a sheet list that is never empty, and never longer
// than the limit.
void readWorkbook(std::span<const std::uint8_t> part, tabvora::WorkbookBudget::Account& account) {
  try {
    if (const std::optional<tabvora::XLSXWorkbook> workbook = tabvora::XLSXWorkbook::read(part, account))
      check(!workbook->sheets.empty() && workbook->sheets.size() <= tabvora::workbook_limits::kMaxListedSheets);
    tabvora::XLSXWorkbook::readRelationships(part, account);
  } catch (const tabvora::DriverError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  ByteBuffer buffer;
  if (size > 0) std::memcpy(buffer.reserveTail(size), data, size);
  buffer.commit(size);
  std::optional<tabvora::ZipArchiveReader> archive = tabvora::ZipArchiveReader::fromBytes(std::move(buffer));
  tabvora::WorkbookBudget budget(kBudgetBytes, "XLSXDriver");
  tabvora::WorkbookBudget::Account account(&budget);
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
    const tabvora::ZipArchiveReader::Extraction part = archive->extract(name);
    check(part.bytes.has_value() == (part.failure == tabvora::ZipArchiveReader::Failure::none));
    check(!tabvora::ZipArchiveReader::describe(part).empty());
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
