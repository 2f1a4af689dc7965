#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabvora {

// One condition on one column of a table view. Two filters are equal only when their ids
// are equal too: a copy is the same filter, a new one with the same condition is not.
class ColumnFilter {
 public:
  class Operator {
   public:
    enum Value : std::uint8_t {
      contains, notContains, equals, notEquals, greater, greaterOrEqual,
      less, lessOrEqual, startsWith, endsWith, isEmpty, isNotEmpty,
    };
    static constexpr Value allCases[] = {contains, notContains, equals, notEquals, greater, greaterOrEqual,
                                         less, lessOrEqual, startsWith, endsWith, isEmpty, isNotEmpty};

    constexpr Operator(Value v = contains) : value_(v) {}
    constexpr operator Value() const { return value_; }

    // "contains", "does not contain", "=", "≠", ">", "≥", "<", "≤", "starts with",
    // "ends with", "is empty", "is not empty" (UTF-8); also the id and the label.
    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    // False only for isEmpty and isNotEmpty, which test the cell alone.
    bool needsValue() const { return value_ != isEmpty && value_ != isNotEmpty; }
    static std::optional<Operator> fromRawValue(std::string_view raw);

   private:
    Value value_;
  };

  // A new filter with a fresh random id.
  explicit ColumnFilter(std::string column = {}, Operator op = Operator::contains, std::string value = {});

  const std::string& id() const { return id_; }
  // Whether the filter takes part in filtering: always for an operator that needs no
  // value, otherwise only once a value has been entered.
  bool isActive() const { return !op.needsValue() || !value.empty(); }

  std::string column;
  Operator op;
  std::string value;

  friend bool operator==(const ColumnFilter&, const ColumnFilter&) = default;

 private:
  std::string id_;
};

}  // namespace tabvora
