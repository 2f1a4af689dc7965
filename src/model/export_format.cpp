#include "model/export_format.hpp"

#include "model/raw_value_lookup.hpp"

namespace tabvora {

// Defines public types (include/tabvora/) with internal helpers.
using namespace internal;

namespace {

struct ExportFormatInfo {
  std::string_view rawValue;
  std::string_view fileExtension;
  std::string_view mimeType;
};

// Indexed by ExportFormat::Value.
constexpr ExportFormatInfo kInfo[] = {
    {"CSV (.csv)", "csv", "text/csv"},
    {"TSV (.tsv)", "tsv", "text/tab-separated-values"},
    {"JSON (.json)", "json", "application/json"},
    {"Markdown (.md)", "md", "text/markdown"},
    {"SQL Inserts (.sql)", "sql", "application/sql"},
};
static_assert(std::size(kInfo) == std::size(ExportFormat::allCases));

}  // namespace

std::string_view ExportFormat::rawValue() const { return kInfo[value_].rawValue; }
std::string_view ExportFormat::fileExtension() const { return kInfo[value_].fileExtension; }
std::string_view ExportFormat::mimeType() const { return kInfo[value_].mimeType; }

std::optional<ExportFormat> ExportFormat::fromRawValue(std::string_view raw) {
  return lookupRawValue<ExportFormat>(raw);
}

}  // namespace tabvora
