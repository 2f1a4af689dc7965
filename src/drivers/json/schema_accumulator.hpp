#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <simdjson.h>

#include "drivers/json/json_driver.hpp"

namespace tabvora::internal {

// Hash of std::string keys that also accepts string_views, so a key read from a record is
// looked up without building a string.
struct TransparentStringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

// The schema of a set of records: every key in order of first sight, and the merged type
// of each key's non-null values. A key's type is the fold of mergedType over its values;
// a key that only ever held null has none.
struct JSONDriver::SchemaAccumulator {
  // Type of one value, absent for null. Integers that fit in 64 bits signed are integer;
  // every other number (fraction, exponent, or an integer beyond that range) is real.
  static std::optional<ColumnType> valueType(const simdjson::dom::element& value);
  // Equal types stay, integer with real gives real, every other pair gives text.
  static ColumnType mergedType(ColumnType a, ColumnType b);

  std::vector<std::string> keyOrder;
  std::int64_t recordCount = 0;
  // Records that are not valid JSON, and records that are valid but not objects.
  std::int64_t invalidRecords = 0;
  std::int64_t nonObjectRecords = 0;

  // Adds one object. When a key occurs twice in it, the last value counts.
  void add(const simdjson::dom::object& record);
  // Merges the schema of records that come after this one's.
  void absorb(const SchemaAccumulator& other);

  // The merged type of a key; absent for a key seen only with null, or never seen.
  std::optional<ColumnType> keyType(std::string_view key) const;

 private:
  // The type cache: one lookup per value, and no further work while a key's type stays.
  struct KnownType {
    std::optional<ColumnType> type;
    bool fresh = true;            // added by the record being read, not yet typed
    std::uint32_t lastField = 0;  // position of the key's last occurrence in that record
  };
  std::unordered_map<std::string, KnownType, TransparentStringHash, std::equal_to<>> knownTypes_;
  std::vector<KnownType*> fieldScratch_;
};

}  // namespace tabvora::internal
