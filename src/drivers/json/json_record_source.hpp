#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "drivers/json/json_columns.hpp"
#include "drivers/json/json_file_text.hpp"
#include "drivers/json/json_range.hpp"
#include "drivers/json/schema_accumulator.hpp"
#include "drivers/json/staged_rows.hpp"

namespace tabvora::internal {

// The records of an opened file, split into chunks (units of work) that can be read on any
// thread. Units are read twice: once for the schema, once to stage the rows; once every
// unit has been staged the file's text is freed, before the last rows are inserted.
class JSONRecordSource {
 public:
  explicit JSONRecordSource(const std::filesystem::path& url) : text_(url) {}
  virtual ~JSONRecordSource() = default;
  JSONRecordSource(const JSONRecordSource&) = delete;
  JSONRecordSource& operator=(const JSONRecordSource&) = delete;

  std::uint64_t fileSize() const { return text_.fileSize(); }
  std::uint64_t bytesRead() const { return text_.bytesRead(); }
  std::size_t unitCount() const { return chunks_.size(); }
  // The text the column order is taken from (the start of the file).
  std::string_view orderingText() const { return text_.text(); }

  // A reader of units for one thread: adds every record of a unit to an accumulator, and
  // counts those that are not valid JSON or not objects.
  using SchemaReader = std::function<void(std::size_t unit, JSONDriver::SchemaAccumulator& schema)>;
  SchemaReader makeSchemaReader() const;
  // A reader of units for one thread: converts every object record of a unit into staged
  // rows. With keepOriginals the rows carry what saving needs (see RecordRowBuilder).
  using RowReader = std::function<void(std::size_t unit, StagedRows& rows)>;
  RowReader makeRowReader(const std::vector<JSONColumn>& columns, const JSONKeyIndex& index, bool keepOriginals);

 protected:
  // The next record of a chunk at or after `pos`; false at the chunk's end.
  virtual bool nextRecord(const JSONRange& chunk, std::size_t& pos, JSONRange& record) const = 0;

  JSONFileText text_;
  std::vector<JSONRange> chunks_;

 private:
  std::atomic<std::size_t> unitsStaged_ = 0;
};

}  // namespace tabvora::internal
