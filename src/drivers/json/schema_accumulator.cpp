#include "drivers/json/schema_accumulator.hpp"

namespace tabvora::internal {

std::optional<ColumnType> JSONDriver::SchemaAccumulator::valueType(const simdjson::dom::element& value) {
  using simdjson::dom::element_type;
  switch (value.type()) {
    case element_type::STRING: return ColumnType::text;
    case element_type::BOOL: return ColumnType::boolean;
    case element_type::INT64: return ColumnType::integer;
    case element_type::UINT64:  // 2^63 and above: beyond 64-bit signed
    case element_type::DOUBLE: return ColumnType::real;
    case element_type::ARRAY:
    case element_type::OBJECT: return ColumnType::json;
    case element_type::NULL_VALUE: break;
  }
  return std::nullopt;
}

ColumnType JSONDriver::SchemaAccumulator::mergedType(ColumnType a, ColumnType b) {
  if (a == b) return a;
  bool numeric =
      (a == ColumnType::integer || a == ColumnType::real) && (b == ColumnType::integer || b == ColumnType::real);
  return numeric ? ColumnType::real : ColumnType::text;
}

void JSONDriver::SchemaAccumulator::add(const simdjson::dom::object& record) {
  ++recordCount;
  // First sweep: find every key's cache entry and the position of its last occurrence.
  fieldScratch_.clear();
  std::uint32_t position = 0;
  for (auto field : record) {
    auto it = knownTypes_.find(field.key);
    if (it == knownTypes_.end()) {
      it = knownTypes_.emplace(std::string(field.key), KnownType{}).first;
      keyOrder.push_back(it->first);
    }
    it->second.lastField = position++;
    fieldScratch_.push_back(&it->second);
  }
  // Second sweep: type the values that count.
  position = 0;
  for (auto field : record) {
    KnownType& known = *fieldScratch_[position];
    if (known.lastField != position++) continue;
    std::optional<ColumnType> type = valueType(field.value);
    if (known.fresh) {
      known.fresh = false;
      known.type = type;
    } else if (type && known.type != type) {
      known.type = known.type ? mergedType(*known.type, *type) : *type;
    }
  }
}

void JSONDriver::SchemaAccumulator::absorb(const SchemaAccumulator& other) {
  recordCount += other.recordCount;
  invalidRecords += other.invalidRecords;
  nonObjectRecords += other.nonObjectRecords;
  for (const std::string& key : other.keyOrder) {
    const KnownType& theirs = other.knownTypes_.find(key)->second;
    auto [it, inserted] = knownTypes_.emplace(key, KnownType{});
    KnownType& ours = it->second;
    if (inserted) keyOrder.push_back(key);
    if (inserted || ours.fresh) {
      ours = KnownType{theirs.type, false, 0};
    } else if (theirs.type) {
      ours.type = ours.type ? mergedType(*ours.type, *theirs.type) : *theirs.type;
    }
  }
}

std::optional<ColumnType> JSONDriver::SchemaAccumulator::keyType(std::string_view key) const {
  auto it = knownTypes_.find(key);
  return it == knownTypes_.end() ? std::nullopt : it->second.type;
}

}  // namespace tabvora::internal
