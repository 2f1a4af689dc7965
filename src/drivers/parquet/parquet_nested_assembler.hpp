#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "drivers/parquet/parquet_cell_format.hpp"
#include "drivers/parquet/parquet_column_reader.hpp"
#include "drivers/parquet/parquet_schema_node.hpp"

namespace tabvora::internal {

// Rebuilds the values of nested fields (lists, maps, structs, repeated fields) of one row
// group from their leaves' definition and repetition levels, as the JSON text the DuckDB
// route stages for them: a list as [a,b], a struct as {"name":value,...} in field order,
// a map as {"key":value,...} with each key's text, a repeated field outside a LIST as a
// list; leaf values as ParquetCellFormat::appendJSON writes them, absent ones as null.
// No spaces are written. Levels that do not describe whole rows throw DriverError.
class ParquetNestedAssembler {
 public:
  // `data` and `formats` by leaf index; both must outlive the assembler.
  ParquetNestedAssembler(const std::vector<ParquetColumnData>& data,
                         const std::vector<const ParquetCellFormat*>& formats, const std::vector<int>& maxDefinition);

  // The value of top-level `field` in the next row: false when it is null, else true with
  // its JSON in `out` (replaced).
  bool nextValue(const ParquetSchemaNode& field, std::string& out);

 private:
  struct Cursor {
    std::size_t level = 0;
    std::size_t value = 0;
  };

  int definitionAt(std::size_t leaf) const;
  int repetitionAt(std::size_t leaf) const;
  void skipAbsent(const ParquetSchemaNode& node);
  void appendField(const ParquetSchemaNode& node, std::string& out);
  void appendPresent(const ParquetSchemaNode& node, std::string& out);
  // The elements of repeated `node` as a list, each read by `element`.
  template <class Element>
  void appendList(const ParquetSchemaNode& node, std::string& out, Element&& element);

  const std::vector<ParquetColumnData>& data_;
  const std::vector<const ParquetCellFormat*>& formats_;
  const std::vector<int>& maxDefinition_;
  std::vector<Cursor> cursors_;
  std::string scratch_;
  std::string key_;
};

}  // namespace tabvora::internal
