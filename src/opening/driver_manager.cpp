#include "opening/driver_manager.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "drivers/delimited/delimited_driver.hpp"
#include "drivers/json/json_driver.hpp"
#include "drivers/parquet/parquet_driver.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_driver.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlscript/sql_script_driver.hpp"
#include "platform/byte_order_mark.hpp"
#include "platform/unicode_text.hpp"
#include "model/driver_error.hpp"
#include "opening/leading_bytes.hpp"
#include "opening/opening_refusal.hpp"

namespace tabvora::internal {

namespace {

using ByteSpan = std::span<const std::uint8_t>;

constexpr std::string_view kSQLiteHeader = "SQLite format 3";
constexpr std::array<std::uint8_t, 4> kParquetMagic = {0x50, 0x41, 0x52, 0x31};
constexpr std::array<std::uint8_t, 4> kZipLocalHeader = {0x50, 0x4B, 0x03, 0x04};
constexpr std::array<std::uint8_t, 8> kCompoundFileMagic = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Extensions that name a workbook without saying which of the two formats: its bytes decide.
constexpr std::string_view kWorkbookSniffExtensions[] = {"xls", "xlt"};

constexpr DriverChoice kSQLite{DriverKind::sqlite, DatabaseFormat::sqlite};
constexpr DriverChoice kXLSX{DriverKind::xlsx, DatabaseFormat::xlsx};
constexpr DriverChoice kXLS{DriverKind::xls, DatabaseFormat::xlsx};
constexpr DriverChoice kParquet{DriverKind::parquet, DatabaseFormat::parquet};
constexpr DriverChoice kCSV{DriverKind::delimited, DatabaseFormat::csv};
constexpr DriverChoice kTSV{DriverKind::delimited, DatabaseFormat::tsv};
constexpr DriverChoice kJSON{DriverKind::json, DatabaseFormat::json};
constexpr DriverChoice kJSONLines{DriverKind::json, DatabaseFormat::jsonl};

// Whether text that starts with "{" or "[" is JSON Lines: its first value closes on its
// first line and another value begins on a later one. A document spread over lines, or a
// first line longer than the text at hand, is taken for one JSON document.
bool looksLikeJSONLines(std::string_view text) {
  int depth = 0;
  bool inString = false;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
      else if (c == '\n') return false;
      continue;
    }
    if (c == '\n') return false;
    if (c == '"') inString = true;
    else if (c == '{' || c == '[') ++depth;
    else if ((c == '}' || c == ']') && --depth == 0) break;
  }
  if (i >= text.size()) return false;
  const std::string_view rest = text.substr(i + 1);
  const std::size_t lineEnd = rest.find('\n');
  if (lineEnd == std::string_view::npos || !trimWhitespaceAndNewlines(rest.substr(0, lineEnd)).empty()) return false;
  const std::string_view next = trimWhitespaceAndNewlines(rest.substr(lineEnd));
  return next.starts_with('{') || next.starts_with('[');
}
constexpr DriverChoice kSQLScript{DriverKind::sqlScript, DatabaseFormat::sql};

template <std::size_t N>
bool startsWith(ByteSpan bytes, const std::array<std::uint8_t, N>& magic) {
  return bytes.size() >= N && std::equal(magic.begin(), magic.end(), bytes.begin());
}

std::string_view asText(ByteSpan bytes) { return {reinterpret_cast<const char*>(bytes.data()), bytes.size()}; }

// The driver class that reads a format named by an extension.
DriverKind driverKindFor(DatabaseFormat format) {
  switch (format) {
    case DatabaseFormat::sqlite: return DriverKind::sqlite;
    case DatabaseFormat::xlsx: return DriverKind::xlsx;
    case DatabaseFormat::parquet: return DriverKind::parquet;
    case DatabaseFormat::csv:
    case DatabaseFormat::tsv: return DriverKind::delimited;
    case DatabaseFormat::json:
    case DatabaseFormat::jsonl: return DriverKind::json;
    case DatabaseFormat::sql: return DriverKind::sqlScript;
    case DatabaseFormat::unknown: break;
  }
  return DriverKind::sqlite;
}

}  // namespace

const DriverManager& DriverManager::shared() {
  static const DriverManager instance;
  return instance;
}

DriverChoice DriverManager::chooseWorkbook(std::optional<ByteSpan> leadingBytes) {
  if (leadingBytes && startsWith(*leadingBytes, kZipLocalHeader)) return kXLSX;
  return kXLS;
}

DriverChoice DriverManager::chooseByContent(std::optional<ByteSpan> leadingBytes) {
  if (!leadingBytes) return kSQLite;  // its open reports why the file cannot be read
  ByteSpan bytes = leadingBytes->first(std::min(leadingBytes->size(), kContentSniffLength));

  // Files shorter than the magic window are judged by their text alone.
  if (bytes.size() >= kMagicCheckLength) {
    ByteSpan header = bytes.first(kSQLiteHeader.size());
    if (isValidUTF8(header) && asText(header) == kSQLiteHeader) return kSQLite;
    if (startsWith(bytes, kParquetMagic)) return kParquet;
    if (startsWith(bytes, kZipLocalHeader)) return kXLSX;
    if (startsWith(bytes, kCompoundFileMagic)) return kXLS;
  }

  // A byte-order mark says nothing about the content, and a character cut by the read
  // limit does not make a text file binary.
  if (ByteOrderMark::sniff(bytes).isUTF8()) bytes = bytes.subspan(kUTF8ByteOrderMark.size());
  if (leadingBytes->size() >= kContentSniffLength) bytes = bytes.first(utf8CompleteLength(bytes));
  if (!isValidUTF8(bytes)) return kCSV;

  std::string_view text = asText(bytes);
  std::string_view trimmed = trimWhitespaceAndNewlines(text);
  if (trimmed.starts_with('[') || trimmed.starts_with('{')) return looksLikeJSONLines(trimmed) ? kJSONLines : kJSON;
  std::string upper = toUpperUnicode(trimmed);
  if (upper.starts_with("CREATE ") || upper.starts_with("INSERT ") || upper.starts_with("--")) return kSQLScript;
  if (text.find('\t') != std::string_view::npos) return kTSV;
  return kCSV;
}

DriverChoice DriverManager::choose(const std::filesystem::path& url) {
  const auto bytes = readLeadingBytes(url, kContentSniffLength);
  return bytes ? choose(url, ByteSpan(*bytes)) : choose(url, std::nullopt);
}

DriverChoice DriverManager::choose(const std::filesystem::path& url, std::optional<ByteSpan> bytes) {
  const std::string extension = DatabaseFormat::lowerCasedExtension(url);
  if (std::ranges::find(kWorkbookSniffExtensions, extension) != std::end(kWorkbookSniffExtensions))
    return chooseWorkbook(bytes);
  const DatabaseFormat format = DatabaseFormat::fromURL(url);
  if (format != DatabaseFormat::unknown) {
    const DriverChoice byName{driverKindFor(format), format};
    if (!readsTextFormat(byName.kind)) return byName;
    // A database, Parquet file or workbook under a text format's name (a renamed or
    // mislabelled download) is read as what its bytes say, not shown as garbled text.
    if (!bytes || bytes->size() < kMagicCheckLength) return byName;
    const DriverChoice byContent = chooseByContent(bytes->first(kMagicCheckLength));
    return readsTextFormat(byContent.kind) ? byName : byContent;
  }
  return chooseByContent(bytes);
}

std::optional<DriverChoice> DriverManager::chooseFormat(InputFormat format) {
  switch (format) {
    case InputFormat::detect: break;
    case InputFormat::csv: return kCSV;
    case InputFormat::tsv: return kTSV;
    case InputFormat::json: return kJSON;
    case InputFormat::jsonl: return DriverChoice{DriverKind::json, DatabaseFormat::jsonl};
    case InputFormat::sql: return kSQLScript;
    case InputFormat::sqlite: return kSQLite;
    case InputFormat::xlsx: return kXLSX;
    case InputFormat::xls: return kXLS;
    case InputFormat::parquet: return kParquet;
  }
  return std::nullopt;
}

std::unique_ptr<DatabaseDriver> DriverManager::makeDriver(DriverChoice choice) {
  switch (choice.kind) {
    case DriverKind::sqlite: return std::make_unique<SQLiteDriver>();
    case DriverKind::delimited: return std::make_unique<DelimitedDriver>(choice.format);
    case DriverKind::json: return std::make_unique<JSONDriver>(choice.format);
    case DriverKind::xlsx: return std::make_unique<XLSXDriver>();
    case DriverKind::xls: return std::make_unique<XLSDriver>();
    case DriverKind::sqlScript: return std::make_unique<SQLScriptDriver>();
    case DriverKind::parquet: return std::make_unique<ParquetDriver>();
  }
  return std::make_unique<SQLiteDriver>();
}

std::unique_ptr<DatabaseDriver> DriverManager::driver(const std::filesystem::path& url) const {
  return makeDriver(choose(url));
}

std::unique_ptr<DatabaseDriver> DriverManager::checkedDriver(const std::filesystem::path& url) const {
  const DriverChoice choice = choose(url);
  if (auto refusal = openingRefusal(url, choice.kind)) throw DriverError("DriverManager", -1, *refusal);
  return makeDriver(choice);
}

}  // namespace tabvora::internal
