#include "drivers/delimited/delimited_driver.hpp"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <system_error>

#include "drivers/delimited/delimited_byte_parser.hpp"
#include "drivers/delimited/delimited_row_loader.hpp"
#include "drivers/delimited/delimited_schema_scan.hpp"
#include "drivers/delimited/delimited_text_decoding.hpp"
#include "drivers/delimited/delimiter_detector.hpp"
#include "drivers/sqlite/sql_quoting.hpp"
#include "model/driver_error.hpp"
#include "model/table_naming.hpp"
#include "platform/file_info.hpp"
#include "platform/mapped_file.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

namespace {

constexpr const char* kDomain = "DelimitedDriver";

bool startsWithByteOrderMark(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return true;
  return bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
}

// Bytes 0x01-0x7F only: text every decoding reads identically (UTF-8, Windows-1252 and
// Latin 1 agree on them, and there is no NUL for decoding to remove).
bool isPlainASCII(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kChunk = 64;
  std::size_t i = 0;
  for (; i + kChunk <= bytes.size(); i += kChunk) {
    std::uint8_t any = 0, lowest = 0xFF;
    for (std::size_t j = 0; j < kChunk; ++j) {
      any |= bytes[i + j];
      lowest = std::min(lowest, bytes[i + j]);
    }
    if ((any & 0x80) != 0 || lowest == 0) return false;
  }
  for (; i < bytes.size(); ++i) {
    if (bytes[i] == 0 || bytes[i] >= 0x80) return false;
  }
  return true;
}

MappedFile readWholeFile(const std::filesystem::path& url) {
  try {
    return MappedFile::read(url);
  } catch (const std::exception&) {
    throw DriverError(kDomain, -1, "Failed to read file at " + url.string());
  }
}

}  // namespace

// The bytes the passes parse: the file's own bytes, or its text decoded to UTF-8.
struct DelimitedDriver::ParseInput {
  std::span<const std::uint8_t> fileBytes;
  std::optional<std::string> decoded;  // the file's text in UTF-8, when it was not UTF-8
  // The file's bytes taken as they are without checking their encoding; valid only when
  // everything the passes read turns out to be plain ASCII.
  bool unverified = false;

  std::span<const std::uint8_t> bytes() const {
    if (!decoded) return fileBytes;
    return {reinterpret_cast<const std::uint8_t*>(decoded->data()), decoded->size()};
  }
};

DelimitedDriver::DelimitedDriver(DatabaseFormat format) : format_(format) {}
DelimitedDriver::~DelimitedDriver() { close(); }

DelimitedDriver::ParseInput DelimitedDriver::settleEncoding(std::span<const std::uint8_t> fileBytes) {
  sourceEncoding_ = TextEncoding::utf8;
  ParseInput input{fileBytes, std::nullopt, false};
  if (isValidUTF8(fileBytes)) return input;
  std::optional<DecodedDelimitedText> decoded = decodeDelimitedText(fileBytes);
  if (!decoded) throw DriverError(kDomain, -1, "Unsupported text encoding");
  sourceEncoding_ = decoded->encoding;
  input.decoded = std::move(decoded->utf8);
  return input;
}

DatabaseMetadata DelimitedDriver::open(const std::filesystem::path& url) {
  internalSQLite.close();
  allColumns_.clear();
  totalRows_ = 0;
  currentURL_ = url;
  completeness_ = Completeness::openFailed;

  const MappedFile file = readWholeFile(url);
  const std::span<const std::uint8_t> fileBytes = file.bytes();
  // A negative limit stages nothing, like a limit of zero.
  const std::optional<std::int64_t> rowLimit =
      previewRowLimit ? std::optional<std::int64_t>(std::max<std::int64_t>(*previewRowLimit, 0)) : std::nullopt;

  // A limited open reads only the first records. When those bytes (and the delimiter
  // sample) are plain ASCII, every decoding yields the same records from them, so the rest
  // of a large file need not be validated or even touched. Otherwise the whole file is
  // settled first, as without a limit.
  ParseInput input;
  const std::size_t sampleLength = std::min(fileBytes.size(), DelimiterDetector::kSampleBytes);
  if (rowLimit && !startsWithByteOrderMark(fileBytes) && isPlainASCII(fileBytes.first(sampleLength))) {
    sourceEncoding_ = TextEncoding::utf8;
    input = ParseInput{fileBytes, std::nullopt, true};
  } else {
    input = settleEncoding(fileBytes);
  }

  lineIndexByRowid_.reset();
  hasUTF8BOM_ = fileBytes.size() >= 3 && fileBytes[0] == 0xEF && fileBytes[1] == 0xBB && fileBytes[2] == 0xBF;
  openedModificationDate_ = modificationDateOf(url);
  primaryTableName_ = stagedTableName(url.stem().string(), "t_");

  std::uint8_t delimiterByte = ',';
  std::optional<DelimitedSchemaScan> scan;
  // At most twice: a limited open whose first records turn out not to be plain ASCII starts
  // over on the settled text.
  for (;;) {
    const std::span<const std::uint8_t> parseBytes = input.bytes();
    const std::span<const std::uint8_t> sampleBytes =
        parseBytes.first(std::min(parseBytes.size(), DelimiterDetector::kSampleBytes));
    const std::string_view sample(reinterpret_cast<const char*>(sampleBytes.data()), sampleBytes.size());
    activeDelimiter_ = isValidUTF8(sample) ? DelimiterDetector::detect(sample, url)
                                           : DelimiterDetector::detect(repairUTF8(sample), url);
    usesCRLF_ = sample.find("\r\n") != std::string_view::npos;
    delimiterByte = static_cast<std::uint8_t>(activeDelimiter_);

    scan.emplace(rowLimit);
    const DelimitedByteParser::Result firstPass = DelimitedByteParser::parse(parseBytes, delimiterByte, *scan);
    if (!input.unverified) break;
    const std::size_t examined = std::max(sampleLength, firstPass.examinedEnd);
    if (isPlainASCII(fileBytes.first(std::min(examined, fileBytes.size())))) break;
    input = settleEncoding(fileBytes);
  }
  if (!scan->foundHeader()) throw DriverError(kDomain, -1, "File is empty");
  if (scan->columnCount() > kMaxStagedColumns) {
    throw DriverError(kDomain, -1,
                      "Too many columns: the file has " + std::to_string(scan->columnCount()) +
                          " and at most " + std::to_string(kMaxStagedColumns) + " can be loaded");
  }
  std::vector<DataColumn> columns = scan->columns();

  std::string ddl = "CREATE TABLE " + quoteIdentifier(primaryTableName_) + " (";
  std::string insert = "INSERT INTO " + quoteIdentifier(primaryTableName_) + " VALUES (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) {
      ddl += ", ";
      insert += ", ";
    }
    ddl += quoteIdentifier(columns[i].name);
    ddl += ' ';
    ddl += columns[i].type.rawValue();
    insert += '?';
  }
  ddl += ");";
  insert += ");";

  bool stoppedByLimit = false;
  std::int64_t rowsStaged = 0;
  {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.openInMemory();
    internalSQLite.executeRawSQL(ddl);
    internalSQLite.executeRawSQL("BEGIN TRANSACTION;");
    internalSQLite.withPreparedStatement(insert, [&](sqlite3_stmt* statement) {
      DelimitedRowLoader loader(internalSQLite, statement, scan->kinds(), rowLimit);
      stoppedByLimit = DelimitedByteParser::parse(input.bytes(), delimiterByte, loader).stopped;
      rowsStaged = loader.rowsInserted();
    });
    internalSQLite.executeRawSQL("COMMIT;");
  }
  totalRows_ = rowsStaged;
  rowsStagedAtOpen_ = rowsStaged;
  allColumns_ = columns;
  completeness_ = stoppedByLimit            ? Completeness::rowLimited
                  : scan->droppedContent() ? Completeness::fieldsDropped
                                           : Completeness::complete;

  const std::int64_t fileSize = fileSizeOf(url).value_or(static_cast<std::int64_t>(fileBytes.size()));
  TableMetadata table;
  table.name = primaryTableName_;
  table.type = TableType::table;
  table.rowCount = totalRows_;
  table.columnCount = static_cast<std::int64_t>(columns.size());
  table.sizeBytes = fileSize;
  table.sqlDDL = ddl;

  DatabaseMetadata metadata;
  metadata.name = url.filename().string();
  metadata.format = activeDelimiter_ == '\t' ? DatabaseFormat::tsv : DatabaseFormat::csv;
  metadata.fileURL = url;
  metadata.fileSize = fileSize;
  metadata.schemaDDL = ddl;
  metadata.tables.push_back(std::move(table));
  return metadata;
}

void DelimitedDriver::close() noexcept {
  internalSQLite.close();
  allColumns_.clear();
  totalRows_ = 0;
}

}  // namespace tabvora
