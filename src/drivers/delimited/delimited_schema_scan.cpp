#include "drivers/delimited/delimited_schema_scan.hpp"

#include <algorithm>

#include "model/table_naming.hpp"
#include "platform/limits.hpp"

namespace tabvora::internal {

bool DelimitedSchemaScan::operator()(const DelimitedByteParser::Record& record) {
  if (rowLimit_ && *rowLimit_ < recordsSeen_) return false;
  ++recordsSeen_;

  if (!foundHeader_) {
    foundHeader_ = true;
    headerFieldCount_ = record.fieldCount();
    headerNames_.reserve(record.size());
    for (std::size_t i = 0; i < record.size(); ++i) headerNames_.push_back(record.text(i));
    kinds_.assign(record.size(), ColumnKind::empty);
    return true;
  }

  const std::size_t n = record.size();
  if (kinds_.size() < n || record.overflowHasContent()) {
    // Trailing empty fields do not widen the table.
    std::size_t effectiveWidth = n;
    while (effectiveWidth > 0 && record.field(effectiveWidth - 1).start == record.field(effectiveWidth - 1).end) {
      --effectiveWidth;
    }
    if (kinds_.size() < limits::kMaxColumns && kinds_.size() < effectiveWidth) {
      kinds_.resize(std::min(effectiveWidth, limits::kMaxColumns), ColumnKind::empty);
    }
    if (effectiveWidth > columnCount() || record.overflowHasContent()) droppedContent_ = true;
  }

  const std::size_t shared = std::min(kinds_.size(), n);
  for (std::size_t i = 0; i < shared; ++i) {
    if (kinds_[i] == ColumnKind::text) continue;
    kinds_[i] = DelimitedByteParser::merge(kinds_[i], DelimitedByteParser::classify(record.bytes(i)));
  }
  return true;
}

std::size_t DelimitedSchemaScan::columnCount() const { return std::max(headerFieldCount_, kinds_.size()); }

std::vector<DataColumn> DelimitedSchemaScan::columns() const {
  std::vector<DataColumn> columns;
  columns.reserve(kinds_.size());
  ColumnNamer namer;
  for (std::size_t i = 0; i < kinds_.size(); ++i) {
    const std::string raw = i < headerNames_.size() ? headerNames_[i] : std::string();
    DataColumn column;
    column.name = namer.accept(raw, i + 1);
    column.type = DelimitedByteParser::columnType(kinds_[i]);
    column.index = static_cast<int>(i);
    columns.push_back(std::move(column));
  }
  return columns;
}

}  // namespace tabvora::internal
