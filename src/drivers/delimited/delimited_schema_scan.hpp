#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
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

  // Texts at least this long are scanned in two halves side by side (see ofWholeText).
  static constexpr std::size_t kMinSplitBytes = 4'000'000;

  // The pass over all of `text`, on two threads when it is at least `minSplitBytes` long:
  // a second thread scans the records from the first line break past the middle on while
  // this one scans those before it. When that break lies inside a quoted field, this thread
  // goes on from the last record it ended and the second thread's work is dropped. The
  // result is that of one pass from the start (for headers within limits::kMaxColumns; a
  // wider one is refused anyway).
  static DelimitedSchemaScan ofWholeText(std::span<const std::uint8_t> text, std::uint8_t delimiter,
                                         std::size_t minSplitBytes = kMinSplitBytes);

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
  // A scan of records that follow the header: every record is data.
  static DelimitedSchemaScan ofDataRecords();
  // Adds what a scan of the records after those this one saw found.
  void absorb(const DelimitedSchemaScan& later);

  std::optional<std::int64_t> rowLimit_;
  std::int64_t recordsSeen_ = 0;  // the header included
  bool foundHeader_ = false;
  std::size_t headerFieldCount_ = 0;
  std::vector<std::string> headerNames_;
  std::vector<ColumnKind> kinds_;
  bool droppedContent_ = false;
};

}  // namespace tabvora::internal
