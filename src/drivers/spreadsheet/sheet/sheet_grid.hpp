#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tabvora::internal {

// The cell texts of one sheet, row by row, as a workbook reader hands them to SheetStaging.
// A row is as wide as its last cell; a cell past a row's width, or never set, reads as "".
// Storage is compact: each row's cells and texts are packed into large blocks, nothing is
// allocated per cell, and a cell naming an entry of the workbook's shared-string table
// holds only that name until the table is resolved. Not copyable; movable.
class SheetGrid {
 public:
  // Bytes of text one row may pack, shared-string references counted by their index text.
  static constexpr std::size_t kMaxRowTextBytes = 0x7FFF'FFFF;

  // The row a reader is filling, reused from row to row: cells are set by column in any
  // order, a later text replacing an earlier one.
  class RowBuilder {
   public:
    void clear();
    void setText(std::size_t column, std::string_view text);
    // A reference to the shared-string table by the index text the file gives: once the
    // table is resolved, it reads as the table's string when the text is a decimal index
    // within the table, and as the text itself otherwise.
    void setSharedString(std::size_t column, std::string_view indexText);

    // One past the highest column set; 0 while none is.
    std::size_t width() const { return width_; }
    // Bytes of the texts the row holds, shared-string references not counted.
    std::int64_t textBytes() const { return textBytes_; }
    // Bytes the row takes in a grid, references by their index text.
    std::int64_t gridBytes() const;

   private:
    friend class SheetGrid;
    struct Slot {
      std::size_t start = 0;  // in text_
      std::size_t size = 0;
      bool shared = false;
    };
    void set(std::size_t column, std::string_view text, bool shared);

    std::vector<Slot> slots_;  // by column; only the first width_ may be set
    std::string text_;         // every text set since clear, replaced ones included
    std::size_t width_ = 0;
    std::size_t packedBytes_ = 0;  // the current texts, references included
    std::int64_t textBytes_ = 0;
  };

  SheetGrid();
  ~SheetGrid();
  SheetGrid(SheetGrid&&) noexcept;
  SheetGrid& operator=(SheetGrid&&) noexcept;

  // Adds a copy of `row` after the last row. False, adding nothing, for a row without
  // cells or one whose texts exceed kMaxRowTextBytes. Throws std::bad_alloc.
  bool append(const RowBuilder& row);
  // Moves the first `rows` rows of `other`, whose references must not be resolved yet,
  // after the last row, with the blocks that hold them; leaves `other` empty.
  void append(SheetGrid&& other, std::size_t rows);

  std::size_t rowCount() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  std::size_t width(std::size_t row) const { return rows_[row].width; }
  // The widest row's width, 0 without rows.
  std::size_t maxWidth() const { return maxWidth_; }
  // The text of a cell; valid while the grid (and a resolved table) lives unchanged.
  std::string_view cell(std::size_t row, std::size_t column) const;
  // Bytes of a row's cell texts, references not counted until they are resolved.
  std::int64_t textBytes(std::size_t row) const;

  // Resolves every shared-string reference against `strings`, which must then outlive the
  // grid (and has fewer than 2^32 entries, as any table read from a package part does).
  void resolveSharedStrings(const std::vector<std::string>& strings);
  // How many rows, from the first, fit together in `maxTextBytes` bytes of cell text (as
  // textBytes counts it).
  std::size_t rowsWithinTextBytes(std::int64_t maxTextBytes) const;
  // Drops the rows from `rows` on.
  void truncate(std::size_t rows);

  // Every row's cells as strings, for checks over small grids.
  std::vector<std::vector<std::string>> toStrings() const;

 private:
  // One cell of a packed row: `start` and `size` place its text in the row's text, unless
  // the size has kResolvedShared, when `start` is a shared-string index.
  struct Cell {
    std::uint32_t start;
    std::uint32_t size;
  };
  static constexpr std::uint32_t kPendingShared = 0x8000'0000;   // on start: an index text
  static constexpr std::uint32_t kResolvedShared = 0x8000'0000;  // on size: a table entry

  struct Row {
    Cell* cells;  // `width` cells, then the row's text
    std::uint32_t width;
  };

  std::byte* allocate(std::size_t bytes);

  std::vector<Row> rows_;
  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* free_ = nullptr;  // unused room of the current block
  std::size_t freeBytes_ = 0;
  std::size_t maxWidth_ = 0;
  std::size_t pendingShared_ = 0;  // references not yet resolved
  const std::vector<std::string>* strings_ = nullptr;
};

}  // namespace tabvora::internal
