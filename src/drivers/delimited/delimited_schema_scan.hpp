#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drivers/delimited/delimited_byte_parser.hpp"
#include "model/data_column.hpp"

namespace tabvora::internal {

// The first pass over a delimited file: the first record is the header, every later record
// widens the column list and refines the kind of each column. Passed to
// DelimitedByteParser::parse as the record consumer.
class DelimitedSchemaScan {
 public:
  using ColumnKind = DelimitedByteParser::ColumnKind;

  // Data rows wider than the header add columns up to limits::kMaxColumns; the header
  // alone is not capped here (the driver refuses a wider one).

  // With a row limit the header and at most that many data records are examined; the next
  // record ends the pass, so rows past the limit are never classified.
  explicit DelimitedSchemaScan(std::optional<std::int64_t> rowLimit) : rowLimit_(rowLimit) {}

  bool operator()(const DelimitedByteParser::Record& record);

  bool foundHeader() const { return foundHeader_; }
  // Columns of the staged table: the wider of the header and the grown kind list.
  std::size_t columnCount() const;
  const std::vector<ColumnKind>& kinds() const { return kinds_; }
  // Unique, non-empty names (empty ones become col_N; case-insensitive duplicates get _1,
  // _2, ...), each with the column type of its kind.
  std::vector<DataColumn> columns() const;
  // A data record held a non-empty field past the last column, so staging leaves it out.
  bool droppedContent() const { return droppedContent_; }

 private:
  std::optional<std::int64_t> rowLimit_;
  std::int64_t recordsSeen_ = 0;  // the header included
  bool foundHeader_ = false;
  std::size_t headerFieldCount_ = 0;
  std::vector<std::string> headerNames_;
  std::vector<ColumnKind> kinds_;
  bool droppedContent_ = false;
};

}  // namespace tabvora::internal
