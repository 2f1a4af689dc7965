#include "drivers/spreadsheet/sheet/sheet_grid.hpp"

#include <algorithm>
#include <cstring>

#include "platform/number_parsing.hpp"

namespace tabvora::internal {

namespace {

// Rows are packed into blocks of this size; a row needing more than a quarter of one gets
// a block of its own, so little of a block is left unused.
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

}  // namespace

void SheetGrid::RowBuilder::clear() {
  std::fill(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(width_), Slot{});
  text_.clear();
  width_ = 0;
  packedBytes_ = 0;
  textBytes_ = 0;
}

void SheetGrid::RowBuilder::setText(std::size_t column, std::string_view text) { set(column, text, false); }

void SheetGrid::RowBuilder::setSharedString(std::size_t column, std::string_view indexText) {
  set(column, indexText, true);
}

void SheetGrid::RowBuilder::set(std::size_t column, std::string_view text, bool shared) {
  if (column >= width_) {
    if (slots_.size() <= column) slots_.resize(column + 1);
    width_ = column + 1;
  }
  Slot& slot = slots_[column];
  packedBytes_ -= slot.size;
  if (!slot.shared) textBytes_ -= static_cast<std::int64_t>(slot.size);
  slot = {text_.size(), text.size(), shared};
  text_.append(text);
  packedBytes_ += text.size();
  if (!shared) textBytes_ += static_cast<std::int64_t>(text.size());
}

std::int64_t SheetGrid::RowBuilder::gridBytes() const {
  return static_cast<std::int64_t>(sizeof(Row) + width_ * sizeof(Cell) + packedBytes_);
}

SheetGrid::SheetGrid() = default;
SheetGrid::~SheetGrid() = default;
SheetGrid::SheetGrid(SheetGrid&&) noexcept = default;
SheetGrid& SheetGrid::operator=(SheetGrid&&) noexcept = default;

std::byte* SheetGrid::allocate(std::size_t bytes) {
  bytes = (bytes + alignof(Cell) - 1) & ~(alignof(Cell) - 1);
  if (bytes > freeBytes_) {
    if (bytes > kBlockBytes / 4) {
      blocks_.push_back(std::unique_ptr<std::byte[]>(new std::byte[bytes]));
      return blocks_.back().get();
    }
    blocks_.push_back(std::unique_ptr<std::byte[]>(new std::byte[kBlockBytes]));
    free_ = blocks_.back().get();
    freeBytes_ = kBlockBytes;
  }
  std::byte* room = free_;
  free_ += bytes;
  freeBytes_ -= bytes;
  return room;
}

bool SheetGrid::append(const RowBuilder& row) {
  const std::size_t width = row.width_;
  if (width == 0 || row.packedBytes_ > kMaxRowTextBytes) return false;
  auto* cells = reinterpret_cast<Cell*>(allocate(width * sizeof(Cell) + row.packedBytes_));
  char* text = reinterpret_cast<char*>(cells + width);
  std::uint32_t offset = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const RowBuilder::Slot& slot = row.slots_[i];
    const auto size = static_cast<std::uint32_t>(slot.size);
    cells[i] = {offset | (slot.shared ? kPendingShared : 0), size};
    std::memcpy(text + offset, row.text_.data() + slot.start, size);
    offset += size;
    pendingShared_ += slot.shared ? 1 : 0;
  }
  rows_.push_back({cells, static_cast<std::uint32_t>(width)});
  maxWidth_ = std::max(maxWidth_, width);
  return true;
}

void SheetGrid::append(SheetGrid&& other, std::size_t rows) {
  rows = std::min(rows, other.rows_.size());
  rows_.insert(rows_.end(), other.rows_.begin(), other.rows_.begin() + static_cast<std::ptrdiff_t>(rows));
  blocks_.insert(blocks_.end(), std::make_move_iterator(other.blocks_.begin()),
                 std::make_move_iterator(other.blocks_.end()));
  for (auto row = rows_.end() - static_cast<std::ptrdiff_t>(rows); row != rows_.end(); ++row)
    maxWidth_ = std::max<std::size_t>(maxWidth_, row->width);
  pendingShared_ += other.pendingShared_;
  other = SheetGrid();
}

std::string_view SheetGrid::cell(std::size_t row, std::size_t column) const {
  const Row& entry = rows_[row];
  if (column >= entry.width) return {};
  const Cell cell = entry.cells[column];
  if ((cell.size & kResolvedShared) != 0) return (*strings_)[cell.start];
  const char* text = reinterpret_cast<const char*>(entry.cells + entry.width);
  return {text + (cell.start & ~kPendingShared), cell.size};
}

std::int64_t SheetGrid::textBytes(std::size_t row) const {
  std::int64_t bytes = 0;
  for (std::size_t column = 0; column < rows_[row].width; ++column) {
    if ((rows_[row].cells[column].start & kPendingShared) == 0)
      bytes += static_cast<std::int64_t>(cell(row, column).size());
  }
  return bytes;
}

void SheetGrid::resolveSharedStrings(const std::vector<std::string>& strings) {
  strings_ = &strings;
  if (pendingShared_ == 0) return;
  for (const Row& row : rows_) {
    const char* text = reinterpret_cast<const char*>(row.cells + row.width);
    for (Cell* cell = row.cells; cell != row.cells + row.width; ++cell) {
      if ((cell->start & kPendingShared) == 0) continue;
      cell->start &= ~kPendingShared;
      const std::optional<std::int64_t> index = parseInt64({text + cell->start, cell->size});
      if (index && *index >= 0 && static_cast<std::uint64_t>(*index) < strings.size())
        *cell = {static_cast<std::uint32_t>(*index), kResolvedShared};
    }
  }
  pendingShared_ = 0;
}

std::size_t SheetGrid::rowsWithinTextBytes(std::int64_t maxTextBytes) const {
  std::int64_t bytes = 0;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    bytes += textBytes(row);
    if (bytes > maxTextBytes) return row;
  }
  return rows_.size();
}

void SheetGrid::truncate(std::size_t rows) {
  if (rows >= rows_.size()) return;
  rows_.resize(rows);
  maxWidth_ = 0;
  for (const Row& row : rows_) maxWidth_ = std::max<std::size_t>(maxWidth_, row.width);
}

std::vector<std::vector<std::string>> SheetGrid::toStrings() const {
  std::vector<std::vector<std::string>> rows(rows_.size());
  for (std::size_t row = 0; row < rows.size(); ++row) {
    for (std::size_t column = 0; column < rows_[row].width; ++column) rows[row].emplace_back(cell(row, column));
  }
  return rows;
}

}  // namespace tabvora::internal
