#include "drivers/parquet/parquet_nested_assembler.hpp"

#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

[[noreturn]] void throwDamaged() {
  throw DriverError("ParquetDriver", -1, "The levels of a nested column of the Parquet file are damaged");
}

void require(bool condition) {
  if (!condition) throwDamaged();
}

}  // namespace

ParquetNestedAssembler::ParquetNestedAssembler(const std::vector<ParquetColumnData>& data,
                                               const std::vector<const ParquetCellFormat*>& formats,
                                               const std::vector<int>& maxDefinition)
    : data_(data), formats_(formats), maxDefinition_(maxDefinition), cursors_(data.size()) {}

int ParquetNestedAssembler::definitionAt(std::size_t leaf) const {
  const ParquetColumnData& column = data_[leaf];
  require(cursors_[leaf].level < column.slots);
  return column.definitionLevels.empty() ? maxDefinition_[leaf] : column.definitionLevels[cursors_[leaf].level];
}

int ParquetNestedAssembler::repetitionAt(std::size_t leaf) const {
  const ParquetColumnData& column = data_[leaf];
  if (cursors_[leaf].level >= column.slots) return -1;
  return column.repetitionLevels.empty() ? 0 : column.repetitionLevels[cursors_[leaf].level];
}

// A field absent here (null, or an empty list) holds one level entry in each leaf under it.
void ParquetNestedAssembler::skipAbsent(const ParquetSchemaNode& node) {
  for (std::size_t leaf = node.firstLeaf; leaf < node.firstLeaf + node.leafCount; ++leaf) {
    require(definitionAt(leaf) < node.definitionLevel);
    ++cursors_[leaf].level;
  }
}

template <class Element>
void ParquetNestedAssembler::appendList(const ParquetSchemaNode& node, std::string& out, Element&& element) {
  if (definitionAt(node.firstLeaf) < node.definitionLevel) {
    skipAbsent(node);
    out += "[]";
    return;
  }
  out += '[';
  for (bool first = true;; first = false) {
    if (!first) out += ',';
    element();
    if (repetitionAt(node.firstLeaf) != node.repetitionLevel) break;
  }
  out += ']';
}

void ParquetNestedAssembler::appendField(const ParquetSchemaNode& node, std::string& out) {
  if (node.isRepeated()) {
    appendList(node, out, [&] { appendPresent(node, out); });
    return;
  }
  if (node.isOptional() && definitionAt(node.firstLeaf) < node.definitionLevel) {
    skipAbsent(node);
    out += "null";
    return;
  }
  appendPresent(node, out);
}

void ParquetNestedAssembler::appendPresent(const ParquetSchemaNode& node, std::string& out) {
  switch (node.shape) {
    case ParquetSchemaNode::Shape::leaf: {
      const std::size_t leaf = node.firstLeaf;
      require(definitionAt(leaf) == maxDefinition_[leaf] && cursors_[leaf].value < data_[leaf].values.size());
      formats_[leaf]->appendJSON(data_[leaf].values, cursors_[leaf].value++, out, scratch_);
      ++cursors_[leaf].level;
      return;
    }
    case ParquetSchemaNode::Shape::structure: {
      out += '{';
      for (std::size_t i = 0; i < node.children.size(); ++i) {
        if (i > 0) out += ',';
        ParquetCellFormat::appendJSONString(node.children[i].element->name, out);
        out += ':';
        appendField(node.children[i], out);
      }
      out += '}';
      return;
    }
    case ParquetSchemaNode::Shape::list: {
      const ParquetSchemaNode& repeated = node.repeatedChild();
      const ParquetSchemaNode& element = node.listElement();
      appendList(repeated, out, [&] {
        if (&element == &repeated)
          appendPresent(repeated, out);
        else
          appendField(element, out);
      });
      return;
    }
    case ParquetSchemaNode::Shape::map: {
      const ParquetSchemaNode& entries = node.repeatedChild();
      if (definitionAt(entries.firstLeaf) < entries.definitionLevel) {
        skipAbsent(entries);
        out += "{}";
        return;
      }
      out += '{';
      for (bool first = true;; first = false) {
        if (!first) out += ',';
        // The key as text: a JSON string's contents, any other JSON as written.
        key_.clear();
        appendField(entries.children[0], key_);
        if (key_.size() >= 2 && key_.front() == '"') {
          out += key_;
        } else {
          ParquetCellFormat::appendJSONString(key_, out);
        }
        out += ':';
        if (entries.children.size() > 1)
          appendField(entries.children[1], out);
        else
          out += "null";
        if (repetitionAt(entries.firstLeaf) != entries.repetitionLevel) break;
      }
      out += '}';
      return;
    }
  }
}

bool ParquetNestedAssembler::nextValue(const ParquetSchemaNode& field, std::string& out) {
  out.clear();
  require(repetitionAt(field.firstLeaf) == 0);
  appendField(field, out);
  // The row ends in every leaf of the field together.
  for (std::size_t leaf = field.firstLeaf; leaf < field.firstLeaf + field.leafCount; ++leaf) {
    const int next = repetitionAt(leaf);
    require(next <= 0);
  }
  return out != "null";
}

}  // namespace tabvora::internal
