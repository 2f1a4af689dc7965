#include "drivers/spreadsheet/xlsx/xlsx_driver.hpp"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "drivers/spreadsheet/sheet/sheet_staging.hpp"
#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_date_styles.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_shared_strings_reader.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_sheet_reader.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_workbook.hpp"
#include "drivers/spreadsheet/xml/spreadsheetml_stream_parser.hpp"
#include "drivers/spreadsheet/xml/xml_parse_settings.hpp"
#include "drivers/spreadsheet/zip/zip_archive_reader.hpp"
#include "drivers/spreadsheet/zip/zip_entry_stream.hpp"
#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "XLSXDriver";

std::span<const std::uint8_t> bytesOf(const std::optional<ByteBuffer>& part) {
  return part ? part->bytes() : std::span<const std::uint8_t>();
}

// A part read whole into a small table (styles, workbook, relationships): nothing when it
// is missing or cannot be extracted, as for a missing part; one past kMaxSmallPartBytes
// fails the open.
std::optional<ByteBuffer> smallPart(ZipArchiveReader& archive, const std::string& name) {
  ZipArchiveReader::Extraction part = archive.extract(name, workbook_limits::kMaxSmallPartBytes);
  if (part.failure == ZipArchiveReader::Failure::tooLarge)
    throw DriverError(kDomain, -1,
                      "The part " + name + " of the workbook is larger than " +
                          std::to_string(workbook_limits::kMaxSmallPartBytes >> 20) +
                          " MB, more than a workbook needs");
  return std::move(part.bytes);
}

// An inflated part is memory too: it is charged to `account` while it is held, and one
// that would not fit what is left of the budget is not inflated at all (the budget's
// failure naming `what`).
ZipArchiveReader::Extraction extractCharged(ZipArchiveReader& archive, const std::string& name, WorkbookBudget& budget,
                                            WorkbookBudget::Account& account, const std::string& what) {
  const std::int64_t room = budget.limitBytes() - budget.usedBytes();
  ZipArchiveReader::Extraction part = archive.extract(name, room);
  if (part.failure == ZipArchiveReader::Failure::tooLarge && room < ZipArchiveReader::kMaxEntryBytes)
    throw budget.exceeded(what);
  if (part.bytes && !account.tryCharge(static_cast<std::int64_t>(part.bytes->size()))) throw budget.exceeded(what);
  return part;
}

// How a sheet's part was read into its reader: why it could not be read at all, or whether
// its XML was read to its end and well-formed (a stop at the reader's row limit counts).
struct PartReading {
  std::optional<std::string> unreadable;
  bool parsed = false;
};

std::string unreadablePart(const std::string& path, ZipArchiveReader::Failure failure, std::uint16_t method) {
  return "its part " + path + " " + ZipArchiveReader::describe(failure, method);
}

// A part of the package inflated a chunk at a time, and again from its start when asked.
class EntrySource final : public XLSXSheetReader::Source {
 public:
  EntrySource(const ZipArchiveReader& archive, const std::string& path) : archive_(archive), path_(path) { rewind(); }
  std::span<const std::uint8_t> next() override { return stream_->next(); }
  void rewind() override { stream_.emplace(archive_, path_); }
  const ZipEntryStream& stream() const { return *stream_; }

 private:
  const ZipArchiveReader& archive_;
  const std::string& path_;
  std::optional<ZipEntryStream> stream_;
};

// The whole part, inflated a chunk at a time into the reader (which reads a large part as
// segments at once, holding a few). A part the reader reads to its end must be found whole,
// of its recorded size and checksum.
PartReading readWholePart(const ZipArchiveReader& archive, const std::string& path, WorkbookBudget& budget,
                          const std::string& what, XLSXSheetReader& reader) {
  EntrySource source(archive, path);
  if (source.stream().failure() != ZipArchiveReader::Failure::none)
    return {unreadablePart(path, source.stream().failure(), source.stream().method())};
  WorkbookBudget::Account account(&budget);
  if (!account.tryCharge(ZipEntryStream::kHeldBytes)) throw budget.exceeded(what);
  const bool parsed = reader.parse(source);
  if (!reader.reachedLimit() && source.stream().failure() != ZipArchiveReader::Failure::none)
    return {unreadablePart(path, source.stream().failure(), source.stream().method())};
  return {std::nullopt, parsed};
}

// The part inflated a chunk at a time into the reader, until the reader stops at its row
// limit: one chunk is held (and charged) at a time. The sheets of one open read no more than
// `bytesLeft` of XML together (their budget's worth): a part whose rows lie further on fails
// as a part that did not fit the budget did when parts were always inflated whole, since
// reading on could take seconds for nothing, and so could many such parts.
PartReading readFirstRows(const ZipArchiveReader& archive, const std::string& path, WorkbookBudget& budget,
                          const std::string& what, XLSXSheetReader& reader, std::int64_t& bytesLeft) {
  ZipEntryStream stream(archive, path);
  if (stream.failure() != ZipArchiveReader::Failure::none)
    return {unreadablePart(path, stream.failure(), stream.method())};
  WorkbookBudget::Account account(&budget);
  if (!account.tryCharge(ZipEntryStream::kHeldBytes)) throw budget.exceeded(what);
  SpreadsheetMLStreamParser parser(reader);
  bool fed = true;
  for (std::span<const std::uint8_t> chunk = stream.next(); fed && !chunk.empty(); chunk = stream.next()) {
    if (stream.producedBytes() > bytesLeft) throw budget.exceeded(what);
    fed = parser.feed(chunk);
  }
  bytesLeft -= stream.producedBytes();
  if (reader.rowsRemain()) return {std::nullopt, true};
  if (fed && stream.failure() != ZipArchiveReader::Failure::none)
    return {unreadablePart(path, stream.failure(), stream.method())};
  return {std::nullopt, fed && parser.finish()};
}

}  // namespace

XLSXDriver::~XLSXDriver() { close(); }

XLSXDriver::XLSXDriver() : WorkbookDriver(kDomain) {}

DatabaseMetadata XLSXDriver::open(const std::filesystem::path& url) {
  beginOpen(url);
  WorkbookBudget budget(budgetBytes(), kDomain, budgetSizedByFile());

  std::optional<ZipArchiveReader> archive = ZipArchiveReader::open(url);
  if (!archive) throw DriverError(kDomain, -1, "Failed to decompress XLSX archive");

  // The shared strings are read on a second thread while the sheets are; a sheet's grid
  // holds its references until then. The thread is joined on every way out of this scope.
  WorkbookBudget::Account sharedStringsAccount(&budget);
  std::vector<std::string> sharedStrings;
  std::exception_ptr sharedStringsFailure;
  const std::string stringsPartName(XLSXSharedStringsReader::kPartName);
  ZipArchiveReader::Extraction stringsPart =
      extractCharged(*archive, stringsPartName, budget, sharedStringsAccount, "part \"" + stringsPartName + "\"");
  // Without its strings every text cell would be wrong: a part that is there but cannot be
  // extracted fails the open.
  if (stringsPart.failure != ZipArchiveReader::Failure::none &&
      stringsPart.failure != ZipArchiveReader::Failure::missing)
    throw DriverError(kDomain, -1,
                      "The workbook's shared strings cannot be read: its part " + stringsPartName + " " +
                          ZipArchiveReader::describe(stringsPart));
  std::optional<ByteBuffer> sharedStringsPart = std::move(stringsPart.bytes);
  const std::int64_t sharedStringsPartBytes =
      sharedStringsPart ? static_cast<std::int64_t>(sharedStringsPart->size()) : 0;
  auto readSharedStrings = [&] {
    try {
      {
        const ByteBuffer part = std::move(*sharedStringsPart);  // released once read
        sharedStrings = XLSXSharedStringsReader::read(part.bytes(), sharedStringsAccount);
      }
      sharedStringsAccount.release(sharedStringsPartBytes);
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
  WorkbookBudget::Account partsAccount(&budget);
  std::unordered_set<std::int64_t> dateStyles;
  if (const std::optional<ByteBuffer> part = smallPart(*archive, "xl/styles.xml"))
    dateStyles = readXLSXDateStyles(part->bytes(), partsAccount);

  const std::optional<ByteBuffer> workbookPart = smallPart(*archive, "xl/workbook.xml");
  std::optional<XLSXWorkbook> workbook;
  if (workbookPart) workbook = XLSXWorkbook::read(workbookPart->bytes(), partsAccount);
  if (!workbook) throw DriverError(kDomain, -1, "Invalid XLSX workbook structure");
  workbook->relationships =
      XLSXWorkbook::readRelationships(bytesOf(smallPart(*archive, "xl/_rels/workbook.xml.rels")), partsAccount);

  std::vector<TableMetadata> tables;
  {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.openInMemory();
    SheetStaging staging(internalSQLite, &budget);
    // A preview keeps the first rows of each sheet, below the header row.
    const bool preview = previewRowLimit.has_value();
    const std::size_t rowLimit =
        preview ? static_cast<std::size_t>(std::max<std::int64_t>(*previewRowLimit, 0)) + 1 : 0;
    std::int64_t previewBytesLeft = budget.limitBytes();
    for (std::size_t k = 0; k < workbook->sheets.size(); ++k) {
      const std::string& name = workbook->sheets[k].name;
      const std::string path = workbook->partPath(k);
      const std::string what = "sheet \"" + name + "\"";
      const bool lastPart = k + 1 == workbook->sheets.size();
      XLSXSheetReader reader(dateStyles, workbook->uses1904Dates);
      reader.setBudget(&budget);
      if (preview) reader.setRowLimit(rowLimit);
      const PartReading part = preview ? readFirstRows(*archive, path, budget, what, reader, previewBytesLeft)
                                       : readWholePart(*archive, path, budget, what, reader);
      if (lastPart) archive.reset();
      if (part.unreadable) {
        listUnread(staging, tables, name, *part.unreadable);
        continue;
      }
      if (reader.outOfBudget()) throw budget.exceeded(what);
      awaitSharedStrings();
      reader.resolveSharedStrings(sharedStrings);
      const std::string damage = part.parsed || reader.reachedLimit() ? ""
                                 : reader.refusedDocumentType()
                                     ? "its part " + path + " holds a document type declaration, which no worksheet has"
                                     : "its part " + path + " is not well-formed worksheet XML";
      if (reader.sheetGrid().empty()) {
        if (!damage.empty()) listUnread(staging, tables, name, damage);
        continue;
      }
      tables.push_back(staging.stage(name, reader.sheetGrid(), static_cast<std::size_t>(reader.maxColIndex()) + 1));
      tables.back().rowCountIsLowerBound = reader.rowsRemain();
      const std::string shown = "The sheet \"" + name + "\" shows only its first " +
                                std::to_string(reader.sheetGrid().rowCount()) + " rows: ";
      if (!damage.empty()) {
        warn(shown + damage);
      } else if (reader.reachedLimit()) {
        warn(shown + "it holds more cells than can be staged");
      }
    }
  }
  awaitSharedStrings();
  return finishOpen(url, std::move(tables));
}

void XLSXDriver::listUnread(SheetStaging& staging, std::vector<TableMetadata>& tables, const std::string& sheetName,
                            const std::string& reason) {
  tables.push_back(staging.listUnread(sheetName));
  recordUnread(tables.back().name, "The sheet \"" + sheetName + "\" cannot be read: " + reason);
}

}  // namespace tabvora::internal
