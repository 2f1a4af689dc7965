#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tabvora {

// The formats a table can be exported to.
class ExportFormat {
 public:
  enum Value : std::uint8_t { csv, tsv, json, markdown, sqlInsert };
  static constexpr Value allCases[] = {csv, tsv, json, markdown, sqlInsert};

  constexpr ExportFormat(Value v = csv) : value_(v) {}
  constexpr operator Value() const { return value_; }

  // "CSV (.csv)", "TSV (.tsv)", "JSON (.json)", "Markdown (.md)", "SQL Inserts (.sql)";
  // also the id and the label.
  std::string_view rawValue() const;
  std::string_view id() const { return rawValue(); }
  // Without the dot: "csv", "tsv", "json", "md", "sql".
  std::string_view fileExtension() const;
  std::string_view mimeType() const;
  static std::optional<ExportFormat> fromRawValue(std::string_view raw);

 private:
  Value value_;
};

}  // namespace tabvora
