#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tabvora::internal {

// The file formats, in declaration order (also the search order of fromURL).
class DatabaseFormat {
 public:
  enum Value : std::uint8_t { sqlite, xlsx, parquet, csv, tsv, json, jsonl, sql, unknown };
  static constexpr Value allCases[] = {sqlite, xlsx, parquet, csv, tsv, json, jsonl, sql, unknown};

  constexpr DatabaseFormat(Value v = unknown) : value_(v) {}
  constexpr operator Value() const { return value_; }

  std::string_view rawValue() const;  // also the id: "SQLite", "Excel (XLSX)", ...
  std::string_view id() const { return rawValue(); }
  std::string_view displayName() const;  // "SQLite", "Excel", ...
  std::string_view iconName() const;
  std::string_view badgeColor() const;
  std::span<const std::string_view> fileExtensions() const;

  static std::optional<DatabaseFormat> fromRawValue(std::string_view raw);
  // First format whose extensions hold the path's lower-cased extension; unknown otherwise.
  static DatabaseFormat fromURL(const std::filesystem::path& url);
  // The path's extension without its dot, lower-cased by Unicode rules: the one spelling
  // every extension comparison uses. Empty when the name has none or ends in ".".
  static std::string lowerCasedExtension(const std::filesystem::path& url);

 private:
  Value value_;
};

}  // namespace tabvora::internal
