#include "model/row_block.hpp"

namespace tabvora::internal {

void RowBlock::clear() {
  rows_ = 0;
  cells_.clear();
  bytes_.clear();
}

void RowBlock::append(const RowView& row) {
  ++rows_;
  for (std::size_t j = 0; j < columns_; ++j) {
    Cell cell;
    cell.kind = row.kind(j);
    switch (cell.kind) {
      case CellValue::Kind::integer: cell.integer = row.integer(j); break;
      case CellValue::Kind::real: cell.real = row.real(j); break;
      case CellValue::Kind::text:
      case CellValue::Kind::blob: {
        const std::string_view bytes = row.bytes(j);
        cell.offset = bytes_.size();
        cell.size = bytes.size();
        bytes_ += bytes;
        break;
      }
      default: break;
    }
    cells_.push_back(cell);
  }
}

}  // namespace tabvora::internal
