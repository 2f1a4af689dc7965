// Feeds arbitrary bytes to the legacy workbook readers. Input that starts like a compound
// file is opened as one and its workbook stream parsed; any other input is parsed as a
// workbook stream directly, so the record parser is reached without a container. Beyond
// not crashing, every sheet read must keep its promises: rows no wider than the sheet, at
// most 256 columns, one date flag per column, and nothing but UTF-8 text; and all the
// memory charged to the workbook's budget is given back when it is gone. seeds/xls/xls.dict
// holds record ids for libFuzzer's -dict=.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "drivers/spreadsheet/xls/biff_workbook.hpp"
#include "drivers/spreadsheet/ole2/compound_file.hpp"
#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "fuzz/fuzz_support.hpp"
#include "platform/unicode_text.hpp"

namespace {

using tabvora::internal::BIFFWorkbook;
using tabvora::fuzzing::check;
using tabvora::fuzzing::refusalAllowed;

void readWorkbook(std::span<const std::uint8_t> stream, tabvora::internal::WorkbookBudget& budget) {
  BIFFWorkbook workbook(stream, &budget);
  if (!refusalAllowed([&] { workbook.parseGlobals(); })) return;
  for (const std::string& text : workbook.sharedStrings()) check(tabvora::internal::isValidUTF8(text));
  for (const BIFFWorkbook::Sheet& sheet : workbook.sheets()) {
    check(tabvora::internal::isValidUTF8(sheet.name));
    const bool read = refusalAllowed([&] {
      const BIFFWorkbook::SheetContents contents = workbook.parseSheet(sheet.offset);
      check(contents.width <= BIFFWorkbook::kMaxColumns);
      check(contents.grid.empty() || contents.dateColumns.size() == contents.width);
      for (std::size_t row = 0; row < contents.grid.rowCount(); ++row) {
        check(contents.grid.width(row) >= 1 && contents.grid.width(row) <= contents.width);
        for (std::size_t column = 0; column < contents.grid.width(row); ++column)
          check(tabvora::internal::isValidUTF8(contents.grid.cell(row, column)));
      }
    });
    if (!read) return;  // a damaged sheet ends the workbook
  }
}

// Every byte charged to the budget is released once the workbook and its sheets are gone.
void readWorkbook(std::span<const std::uint8_t> stream) {
  tabvora::internal::WorkbookBudget budget(std::int64_t{256} << 20, "XLSDriver");
  readWorkbook(stream, budget);
  check(budget.usedBytes() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  constexpr std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0};
  if (size < sizeof kSignature || !std::equal(std::begin(kSignature), std::end(kSignature), data)) {
    readWorkbook(input);
    return 0;
  }
  std::optional<std::vector<std::uint8_t>> stream;
  refusalAllowed([&] {
    const tabvora::internal::CompoundFile container(input);
    for (const auto& entry : container.entries()) check(entry.size <= size);
    stream = container.stream("Workbook");
    if (!stream) stream = container.stream("Book");
  });
  if (stream) {
    check(stream->size() <= size);
    readWorkbook(*stream);
  }
  return 0;
}
