#include "drivers/parquet/parquet_schema_node.hpp"

#include <string_view>

#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

constexpr int kDeepestNesting = 32;
// Converted types and logical types naming groups.
constexpr std::int32_t kConvertedMap = 1, kConvertedMapKeyValue = 2, kConvertedList = 3;

[[noreturn]] void throwMalformed() { throw DriverError("ParquetDriver", -1, "The Parquet file's schema is damaged"); }

struct Builder {
  const std::vector<ParquetMetadata::SchemaElement>& schema;
  std::size_t next = 1;
  std::size_t leaves = 0;

  ParquetSchemaNode node(int depth, int definition, int repetition) {
    if (depth > kDeepestNesting || next >= schema.size()) throwMalformed();
    ParquetSchemaNode node;
    node.element = &schema[next++];
    const ParquetMetadata::SchemaElement& element = *node.element;
    node.definitionLevel = definition + (element.repetition != ParquetMetadata::Repetition::required ? 1 : 0);
    node.repetitionLevel = repetition + (element.repetition == ParquetMetadata::Repetition::repeated ? 1 : 0);
    node.firstLeaf = leaves;
    if (element.numChildren < 0) throwMalformed();
    if (element.numChildren == 0) {
      if (!element.type) throwMalformed();
      ++leaves;
      node.leafCount = 1;
      return node;
    }
    for (std::int32_t i = 0; i < element.numChildren; ++i)
      node.children.push_back(this->node(depth + 1, node.definitionLevel, node.repetitionLevel));
    node.leafCount = leaves - node.firstLeaf;
    const std::int16_t logical = element.logicalType.kind;
    const std::int32_t converted = element.convertedType.value_or(-1);
    const bool oneRepeatedChild = node.children.size() == 1 && node.children[0].isRepeated();
    if (logical == parquet_logical::kList || (logical == 0 && converted == kConvertedList)) {
      if (!oneRepeatedChild) throwMalformed();
      node.shape = ParquetSchemaNode::Shape::list;
    } else if (logical == parquet_logical::kMap ||
               (logical == 0 && (converted == kConvertedMap || converted == kConvertedMapKeyValue))) {
      if (!oneRepeatedChild || node.children[0].children.empty() || node.children[0].children.size() > 2)
        throwMalformed();
      node.shape = ParquetSchemaNode::Shape::map;
    } else {
      node.shape = ParquetSchemaNode::Shape::structure;
    }
    return node;
  }
};

}  // namespace

const ParquetSchemaNode& ParquetSchemaNode::listElement() const {
  const ParquetSchemaNode& repeated = repeatedChild();
  // The older forms: a repeated leaf, a repeated group of several fields, or one named
  // "array" or "<list>_tuple", is itself the element.
  if (repeated.children.size() != 1) return repeated;
  const std::string_view name = repeated.element->name;
  if (name == "array" || name.ends_with("_tuple")) return repeated;
  return repeated.children.front();
}

std::vector<ParquetSchemaNode> ParquetSchemaNode::build(const std::vector<ParquetMetadata::SchemaElement>& schema) {
  if (schema.empty() || schema[0].numChildren < 0) throwMalformed();
  Builder builder{schema};
  std::vector<ParquetSchemaNode> fields;
  for (std::int32_t i = 0; i < schema[0].numChildren; ++i) fields.push_back(builder.node(1, 0, 0));
  if (builder.next != schema.size()) throwMalformed();
  return fields;
}

}  // namespace tabvora::internal
