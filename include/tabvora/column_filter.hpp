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
      contains,
      notContains,
      equals,
      notEquals,
      greater,
      greaterOrEqual,
      less,
      lessOrEqual,
      startsWith,
      endsWith,
      isEmpty,
      isNotEmpty,
    };
    static constexpr Value allCases[] = {contains, notContains, equals,     notEquals, greater, greaterOrEqual,
                                         less,     lessOrEqual, startsWith, endsWith,  isEmpty, isNotEmpty};

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

  friend bool operator==(const ColumnFilter& a, const ColumnFilter& b) {
    return a.column == b.column && a.op == b.op && a.value == b.value && a.id_ == b.id_;
  }
  friend bool operator!=(const ColumnFilter& a, const ColumnFilter& b) { return !(a == b); }

 private:
  std::string id_;
};

// How the active filters of a table combine: every one must hold, or any one.
class FilterCombination {
 public:
  enum Value : std::uint8_t { all, any };
  static constexpr Value allCases[] = {all, any};

  constexpr FilterCombination(Value v = all) : value_(v) {}
  constexpr operator Value() const { return value_; }

  // "All", "Any"; also the id and the label.
  constexpr std::string_view rawValue() const { return value_ == all ? "All" : "Any"; }
  constexpr std::string_view id() const { return rawValue(); }
  static constexpr std::optional<FilterCombination> fromRawValue(std::string_view raw) {
    if (raw == "All") return FilterCombination(all);
    if (raw == "Any") return FilterCombination(any);
    return std::nullopt;
  }

 private:
  Value value_;
};

}  // namespace tabvora
