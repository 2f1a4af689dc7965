#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabvora::internal {

// The type of a column: declared by a source, inferred from sample text, and written as
// the type name of every staged CREATE TABLE. Usable like an enum (`ColumnType::integer`,
// `switch`), with the operations of the type attached.
class ColumnType {
 public:
  enum Value : std::uint8_t { integer, real, text, boolean, date, blob, json, null, unknown };
  static constexpr Value allCases[] = {integer, real, text, boolean, date, blob, json, null, unknown};

  constexpr ColumnType(Value v = text) : value_(v) {}
  constexpr operator Value() const { return value_; }

  // "INTEGER", "REAL", "TEXT", "BOOLEAN", "DATETIME", "BLOB", "JSON", "NULL", "UNKNOWN".
  std::string_view rawValue() const;
  std::string_view id() const { return rawValue(); }
  std::string_view iconName() const;
  std::string_view badgeColor() const;
  // Exactly the nine raw values, case-sensitively.
  static std::optional<ColumnType> fromRawValue(std::string_view raw);

  // Type of one text value: null, boolean, integer, real, json or text.
  static ColumnType infer(std::string_view text);
  // Type of a column from sample texts: only integer, real or text.
  static ColumnType inferColumn(const std::vector<std::string>& samples);
  static ColumnType inferColumn(const std::vector<std::string_view>& samples);
  // The SQL literal for raw text in a column of this type (NULL, a number, or a quoted string).
  std::string sqlLiteral(std::string_view raw) const;

 private:
  Value value_;
};

// Column inference fed one sample at a time, giving what inferColumn gives over the same
// samples: integer when every non-blank sample is integer text, real when they are all
// numeric with at least one real, text otherwise (also with no non-blank sample).
class ColumnTypeInference {
 public:
  void add(std::string_view sample);
  // True once the result is text: no later sample can change it.
  bool settled() const { return settled_; }
  ColumnType result() const;

 private:
  bool kept_ = false;
  bool sawReal_ = false;
  bool settled_ = false;
};

// Numeric-literal test shared by inference: integer, real, or nothing (not numeric).
std::optional<ColumnType> numericLiteralType(std::string_view trimmed);

}  // namespace tabvora::internal
