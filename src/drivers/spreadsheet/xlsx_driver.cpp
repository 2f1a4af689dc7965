#include "drivers/spreadsheet/xlsx_driver.hpp"

#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "drivers/spreadsheet/sheet_staging.hpp"
#include "drivers/spreadsheet/xlsx_date_styles.hpp"
#include "drivers/spreadsheet/xlsx_shared_strings_reader.hpp"
#include "drivers/spreadsheet/xlsx_sheet_reader.hpp"
#include "drivers/spreadsheet/xlsx_workbook.hpp"
#include "drivers/spreadsheet/xml_parse_settings.hpp"
#include "drivers/spreadsheet/zip_archive_reader.hpp"
#include "model/driver_error.hpp"

namespace tabvora {

namespace {

constexpr const char* kDomain = "XLSXDriver";

std::span<const std::uint8_t> bytesOf(const std::optional<ByteBuffer>& part) {
  return part ? part->bytes() : std::span<const std::uint8_t>();
}

}  // namespace

XLSXDriver::~XLSXDriver() { close(); }

XLSXDriver::XLSXDriver() : WorkbookDriver(kDomain) {}

DatabaseMetadata XLSXDriver::open(const std::filesystem::path& url) {
  beginOpen(url);

  std::optional<ZipArchiveReader> archive = ZipArchiveReader::open(url);
  if (!archive) throw DriverError(kDomain, -1, "Failed to decompress XLSX archive");

  // The shared strings are read on a second thread while the sheets are; a sheet's grid
  // holds its references until then. The thread is joined on every way out of this scope.
  std::vector<std::string> sharedStrings;
  std::exception_ptr sharedStringsFailure;
  std::optional<ByteBuffer> sharedStringsPart = archive->data("xl/sharedStrings.xml");
  auto readSharedStrings = [&] {
    try {
      const ByteBuffer part = std::move(*sharedStringsPart);  // released once read
      sharedStrings = XLSXSharedStringsReader::read(part.bytes());
    } catch (...) {
      sharedStringsFailure = std::current_exception();
    }
  };
  std::jthread sharedStringsReading;
  if (sharedStringsPart) {
    XMLParseSettings::initialize();
    try {
      sharedStringsReading = std::jthread(readSharedStrings);
    } catch (const std::system_error&) {
      readSharedStrings();  // no thread to be had
    }
  }
  auto awaitSharedStrings = [&] {
    if (sharedStringsReading.joinable()) sharedStringsReading.join();
    if (sharedStringsFailure) std::rethrow_exception(std::exchange(sharedStringsFailure, nullptr));
  };
  std::unordered_set<std::int64_t> dateStyles;
  if (const std::optional<ByteBuffer> part = archive->data("xl/styles.xml"))
    dateStyles = readXLSXDateStyles(part->bytes());

  const std::optional<ByteBuffer> workbookPart = archive->data("xl/workbook.xml");
  std::optional<XLSXWorkbook> workbook;
  if (workbookPart) workbook = XLSXWorkbook::read(workbookPart->bytes());
  if (!workbook) throw DriverError(kDomain, -1, "Invalid XLSX workbook structure");
  workbook->relationships = XLSXWorkbook::readRelationships(bytesOf(archive->data("xl/_rels/workbook.xml.rels")));

  std::vector<TableMetadata> tables;
  {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.openInMemory();
    SheetStaging staging(internalSQLite);
    for (std::size_t k = 0; k < workbook->sheets.size(); ++k) {
      std::optional<ByteBuffer> part = archive->data(workbook->partPath(k));
      // The package is not needed once its last part is out.
      if (k + 1 == workbook->sheets.size()) archive.reset();
      if (!part) continue;
      XLSXSheetReader reader(dateStyles, workbook->uses1904Dates);
      // A sheet whose parse stops midway keeps the rows read before.
      reader.parse(part->bytes());
      part.reset();
      awaitSharedStrings();
      reader.resolveSharedStrings(sharedStrings);
      if (reader.sheetGrid().empty()) continue;
      tables.push_back(staging.stage(workbook->sheets[k].name, reader.sheetGrid(),
                                     static_cast<std::size_t>(reader.maxColIndex()) + 1));
    }
  }
  return finishOpen(url, std::move(tables));
}

}  // namespace tabvora
