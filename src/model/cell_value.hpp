#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "model/column_type.hpp"

namespace tabvora::internal {

// A point in time: seconds since 1970-01-01T00:00:00Z.
struct Date {
  double secondsSince1970 = 0;
  friend bool operator==(const Date&, const Date&) = default;
  friend auto operator<=>(const Date&, const Date&) = default;
};

using Bytes = std::vector<std::uint8_t>;

// One cell, everywhere in the system. A plain value: copied on assignment, equal only to a
// value of the same kind with an equal payload (integer 1 never equals real 1.0).
class CellValue {
 public:
  enum class Kind : std::uint8_t { integer, real, text, boolean, date, blob, json, null };

  CellValue() = default;  // null
  static CellValue integer(std::int64_t v) { return CellValue(Kind::integer, v); }
  static CellValue real(double v) { return CellValue(Kind::real, v); }
  static CellValue text(std::string v) { return CellValue(Kind::text, std::move(v)); }
  static CellValue boolean(bool v) { return CellValue(Kind::boolean, v); }
  static CellValue date(Date v) { return CellValue(Kind::date, v); }
  static CellValue blob(Bytes v) { return CellValue(Kind::blob, std::move(v)); }
  static CellValue json(std::string v) { return CellValue(Kind::json, std::move(v)); }
  static CellValue null() { return CellValue(); }

  Kind kind() const { return kind_; }
  bool isNull() const { return kind_ == Kind::null; }
  bool isNumeric() const { return kind_ == Kind::integer || kind_ == Kind::real; }
  std::optional<double> numericValue() const;

  // Payload accessors; each requires the matching kind.
  std::int64_t integerValue() const { return std::get<std::int64_t>(payload_); }
  double realValue() const { return std::get<double>(payload_); }
  bool booleanValue() const { return std::get<bool>(payload_); }
  Date dateValue() const { return std::get<Date>(payload_); }
  const Bytes& blobValue() const { return std::get<Bytes>(payload_); }
  // The string of a text or json value.
  const std::string& stringValue() const { return std::get<std::string>(payload_); }

  std::string displayString() const;
  std::string rawValueString() const;
  std::string csvEscaped() const;
  nlohmann::json jsonObject() const;

  static CellValue parse(std::string_view string, ColumnType targetType);

  friend bool operator==(const CellValue& a, const CellValue& b);
  friend bool operator<(const CellValue& a, const CellValue& b);
  friend bool operator>(const CellValue& a, const CellValue& b) { return b < a; }
  friend bool operator<=(const CellValue& a, const CellValue& b) { return !(b < a); }
  friend bool operator>=(const CellValue& a, const CellValue& b) { return !(a < b); }

  std::size_t hash() const;

 private:
  using Payload = std::variant<std::monostate, std::int64_t, double, std::string, bool, Date, Bytes>;
  template <typename T>
  CellValue(Kind kind, T&& payload) : kind_(kind), payload_(std::forward<T>(payload)) {}

  Kind kind_ = Kind::null;
  Payload payload_;
};

}  // namespace tabvora::internal

template <>
struct std::hash<tabvora::internal::CellValue> {
  std::size_t operator()(const tabvora::internal::CellValue& v) const noexcept { return v.hash(); }
};
