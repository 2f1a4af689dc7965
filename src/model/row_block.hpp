#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/row_view.hpp"

namespace tabvora::internal {

// Rows copied out of the statement that read them, compactly: one cell record per value
// and all text and blob bytes in one buffer, so a block of rows can travel to another
// thread and be read there through RowView. Reused block after block without reallocating.
class RowBlock {
 public:
  // A block is handed on once it holds this many rows or bytes.
  static constexpr std::size_t kMaxRows = 2048;
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 20;

  explicit RowBlock(std::size_t columns) : columns_(columns) {}

  void clear();
  // Copies the first `columns` values of the row.
  void append(const RowView& row);
  std::size_t rows() const { return rows_; }
  bool full() const { return rows() >= kMaxRows || bytes_.size() >= kMaxBytes; }

  // Calls `body` with each row in order.
  template <typename Body>
  void forEachRow(Body&& body) const {
    for (std::size_t r = 0; r < rows(); ++r) body(Row(*this, r));
  }

 private:
  struct Cell {
    CellValue::Kind kind = CellValue::Kind::null;
    std::int64_t integer = 0;
    double real = 0;
    std::size_t offset = 0;  // text and blob bytes in bytes_
    std::size_t size = 0;
  };

  class Row final : public RowView {
   public:
    Row(const RowBlock& block, std::size_t row) : block_(block), first_(row * block.columns_) {}
    std::size_t size() const override { return block_.columns_; }
    CellValue::Kind kind(std::size_t column) const override {
      return column < block_.columns_ ? cell(column).kind : CellValue::Kind::null;
    }
    std::int64_t integer(std::size_t column) const override { return cell(column).integer; }
    double real(std::size_t column) const override { return cell(column).real; }
    std::string_view bytes(std::size_t column) const override {
      const Cell& c = cell(column);
      return std::string_view(block_.bytes_).substr(c.offset, c.size);
    }

   private:
    const Cell& cell(std::size_t column) const { return block_.cells_[first_ + column]; }
    const RowBlock& block_;
    std::size_t first_;
  };

  std::size_t columns_;
  std::size_t rows_ = 0;
  std::vector<Cell> cells_;
  std::string bytes_;
};

}  // namespace tabvora::internal
