// Feeds arbitrary bytes to the XML readers of the XLSX driver. A ZIP archive has its shared
// strings, styles and first worksheet read as a workbook would; any other input is read
// directly as a worksheet, a shared-string table and a styles part. Every worksheet is read
// whole and again as two halves on two threads, which must agree. Beyond not crashing,
// the worksheet's grid must keep its promises: no empty row, no row past the highest
// column, no column past the last, and nothing but UTF-8 text.

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/xlsx_date_styles.hpp"
#include "drivers/spreadsheet/xlsx_shared_strings_reader.hpp"
#include "drivers/spreadsheet/xlsx_sheet_reader.hpp"
#include "drivers/spreadsheet/zip_archive_reader.hpp"
#include "fuzz/fuzz_support.hpp"
#include "platform/byte_buffer.hpp"
#include "platform/unicode_text.hpp"

namespace {

using tabvora::ByteBuffer;
using tabvora::XLSXSheetReader;
using tabvora::fuzzing::check;

// What a reading shows: its rows and whether a limit cut them short.
struct SheetReading {
  std::vector<std::vector<std::string>> grid;
  bool reachedLimit;
  bool operator==(const SheetReading&) const = default;
};

SheetReading readSheet(std::span<const std::uint8_t> part, const std::vector<std::string>& sharedStrings,
                       const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates, bool split) {
  XLSXSheetReader reader(sharedStrings, dateStyles, uses1904Dates);
  if (split) reader.setSplitPartBytes(0);
  reader.parse(part);
  SheetReading reading{reader.grid(), reader.reachedLimit()};
  check(reader.maxColIndex() >= 0 && reader.maxColIndex() <= XLSXSheetReader::kMaxColumnIndex);
  for (const std::vector<std::string>& row : reading.grid) {
    check(!row.empty() && static_cast<std::int64_t>(row.size()) <= reader.maxColIndex() + 1);
    for (const std::string& cell : row) check(tabvora::isValidUTF8(cell));
  }
  return reading;
}

// Reading a part in two halves must give exactly what reading it whole does.
void readSheetBothWays(std::span<const std::uint8_t> part, const std::vector<std::string>& sharedStrings,
                       const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates) {
  check(readSheet(part, sharedStrings, dateStyles, uses1904Dates, false) ==
        readSheet(part, sharedStrings, dateStyles, uses1904Dates, true));
}

std::vector<std::string> readSharedStrings(std::span<const std::uint8_t> part) {
  std::vector<std::string> strings = tabvora::XLSXSharedStringsReader::read(part);
  for (const std::string& text : strings) check(tabvora::isValidUTF8(text));
  return strings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  ByteBuffer buffer;
  if (size > 0) std::memcpy(buffer.reserveTail(size), data, size);
  buffer.commit(size);
  std::optional<tabvora::ZipArchiveReader> archive = tabvora::ZipArchiveReader::fromBytes(std::move(buffer));
  if (!archive) {
    const std::vector<std::string> strings = readSharedStrings(input);
    const std::unordered_set<std::int64_t> dateStyles = tabvora::readXLSXDateStyles(input);
    readSheetBothWays(input, strings, dateStyles, size % 2 == 1);
    return 0;
  }
  std::vector<std::string> strings;
  if (const std::optional<ByteBuffer> part = archive->data("xl/sharedStrings.xml")) strings = readSharedStrings(part->bytes());
  std::unordered_set<std::int64_t> dateStyles;
  if (const std::optional<ByteBuffer> part = archive->data("xl/styles.xml")) dateStyles = tabvora::readXLSXDateStyles(part->bytes());
  if (const std::optional<ByteBuffer> part = archive->data("xl/worksheets/sheet1.xml")) {
    readSheetBothWays(part->bytes(), strings, dateStyles, false);
    readSheetBothWays(part->bytes(), strings, dateStyles, true);
  }
  return 0;
}
