#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "drivers/json/json_columns.hpp"
#include "drivers/json/schema_accumulator.hpp"
#include "drivers/json/staged_rows.hpp"

namespace tabvora {

// The records of an opened file, split into units of work that can be read on any thread.
// Units are read twice: once for the schema, once to stage the rows.
class JSONRecordSource {
 public:
  virtual ~JSONRecordSource() = default;

  virtual std::size_t unitCount() const = 0;
  // The text the column order is taken from (the start of the file).
  virtual std::string_view orderingText() const = 0;

  // A reader of units for one thread: adds every record of a unit to an accumulator.
  using SchemaReader = std::function<void(std::size_t unit, JSONDriver::SchemaAccumulator& schema)>;
  virtual SchemaReader makeSchemaReader() const = 0;
  // A reader of units for one thread: converts every record of a unit into staged rows.
  using RowReader = std::function<void(std::size_t unit, StagedRows& rows)>;
  virtual RowReader makeRowReader(const std::vector<JSONColumn>& columns, const JSONKeyIndex& index) const = 0;
};

}  // namespace tabvora
