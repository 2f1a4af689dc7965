#include "model/database_format.hpp"

#include <string>

#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::string_view kSQLiteExtensions[] = {"sqlite", "db", "sqlite3", "db3", "s3db", "sl3"};
constexpr std::string_view kXLSXExtensions[] = {"xlsx", "xlsm", "xls"};
constexpr std::string_view kParquetExtensions[] = {"parquet", "parq"};
constexpr std::string_view kCSVExtensions[] = {"csv"};
constexpr std::string_view kTSVExtensions[] = {"tsv", "tab"};
constexpr std::string_view kJSONExtensions[] = {"json"};
constexpr std::string_view kJSONLinesExtensions[] = {"jsonl", "ndjson"};
constexpr std::string_view kSQLExtensions[] = {"sql", "ddl", "dump"};

struct FormatInfo {
  std::string_view rawValue;
  std::string_view displayName;
  std::string_view iconName;
  std::string_view badgeColor;
  std::span<const std::string_view> fileExtensions;
};

// Indexed by DatabaseFormat::Value.
constexpr FormatInfo kInfo[] = {
    {"SQLite", "SQLite", "cylinder.split.1x2", "blue", kSQLiteExtensions},
    {"Excel (XLSX)", "Excel", "tablecells", "green", kXLSXExtensions},
    {"Parquet", "Parquet", "square.stack.3d.down.right", "purple", kParquetExtensions},
    {"CSV", "CSV", "doc.text", "orange", kCSVExtensions},
    {"TSV", "TSV", "doc.plaintext", "teal", kTSVExtensions},
    {"JSON", "JSON", "curlybraces", "yellow", kJSONExtensions},
    {"JSON Lines", "JSON Lines", "list.bullet.indent", "indigo", kJSONLinesExtensions},
    {"SQL Script", "SQL Script", "chevron.left.forwardslash.chevron.right", "cyan", kSQLExtensions},
    {"Unknown", "Unknown", "doc", "gray", {}},
};

}  // namespace

std::string_view DatabaseFormat::rawValue() const { return kInfo[value_].rawValue; }
std::string_view DatabaseFormat::displayName() const { return kInfo[value_].displayName; }
std::string_view DatabaseFormat::iconName() const { return kInfo[value_].iconName; }
std::string_view DatabaseFormat::badgeColor() const { return kInfo[value_].badgeColor; }
std::span<const std::string_view> DatabaseFormat::fileExtensions() const { return kInfo[value_].fileExtensions; }

std::optional<DatabaseFormat> DatabaseFormat::fromRawValue(std::string_view raw) {
  for (Value v : allCases) {
    if (kInfo[v].rawValue == raw) return DatabaseFormat(v);
  }
  return std::nullopt;
}

std::string DatabaseFormat::lowerCasedExtension(const std::filesystem::path& url) {
  const std::string extension = url.extension().string();
  if (extension.size() <= 1) return {};
  return toLowerUnicode(std::string_view(extension).substr(1));  // drop the dot
}

DatabaseFormat DatabaseFormat::fromURL(const std::filesystem::path& url) {
  const std::string extension = lowerCasedExtension(url);
  if (extension.empty()) return unknown;
  for (Value v : allCases) {
    for (std::string_view candidate : kInfo[v].fileExtensions) {
      if (candidate == extension) return DatabaseFormat(v);
    }
  }
  return unknown;
}

}  // namespace tabvora::internal
