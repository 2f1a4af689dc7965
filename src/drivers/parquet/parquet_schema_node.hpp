#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "drivers/parquet/parquet_metadata.hpp"

namespace tabvora::internal {

// One field of a Parquet schema as a tree, with what reading its levels needs: the
// definition and repetition levels a value of it has when present (counting the optional
// and repeated fields on its path, itself included) and the leaves (column chunks, by
// index among all leaves in schema order) under it. A group's shape says how its value
// reads: a LIST (one repeated child; the element is that child's single child, or the
// child itself in the older two-level forms), a MAP (one repeated child holding a key and
// a value) or a STRUCT (every other group).
struct ParquetSchemaNode {
  enum class Shape : std::uint8_t { leaf, structure, list, map };

  const ParquetMetadata::SchemaElement* element = nullptr;
  Shape shape = Shape::leaf;
  std::vector<ParquetSchemaNode> children;
  int definitionLevel = 0;
  int repetitionLevel = 0;
  std::size_t firstLeaf = 0;
  std::size_t leafCount = 0;

  bool isRepeated() const { return element->repetition == ParquetMetadata::Repetition::repeated; }
  bool isOptional() const { return element->repetition == ParquetMetadata::Repetition::optional; }
  bool isNested() const { return shape != Shape::leaf || isRepeated(); }
  // A LIST's or MAP's repeated child; a list element's node (see above).
  const ParquetSchemaNode& repeatedChild() const { return children.front(); }
  const ParquetSchemaNode& listElement() const;

  // The tree of a flattened schema (children after their parent, depth first): the root's
  // children in order. Throws DriverError when the child counts do not add up, a group has
  // no children, nesting is deeper than 32 levels, or a LIST or MAP is malformed.
  static std::vector<ParquetSchemaNode> build(const std::vector<ParquetMetadata::SchemaElement>& schema);
};

}  // namespace tabvora::internal
