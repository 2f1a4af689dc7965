#pragma once

// The bounds of one open of a workbook, both forms, in one place. Each has a test at its
// edge, except the full budget, which tests lower (WorkbookDriver::memoryBudgetBytes) rather
// than fill 2 GB.

#include <cstddef>
#include <cstdint>

namespace tabvora::internal::workbook_limits {

// Memory one open may take to read and stage a workbook (see WorkbookBudget): a preview
// shows a few rows (limits::kPreviewShownRows) of one sheet and gets the smaller budget; any other open, which may
// query every row, the larger one. Shared strings, styles and sheets are charged as they are read, a sheet's grid until
// it is staged, staged rows for good. An XLSX preview reads each sheet only as far as the rows it stages, and no more
// of a sheet's part than its budget (XLSXDriver); the shared strings it reads whole. What is uncounted (a vector's
// growth) roughly doubles the charge at worst, which keeps a refused preview near 512 MB.
inline constexpr std::int64_t kPreviewBudgetBytes = std::int64_t{256} << 20;
inline constexpr std::int64_t kFullBudgetBytes = std::int64_t{2} << 30;

// What the budget charges besides the text bytes themselves: a string or a table entry
// (its bookkeeping, even when empty); a cell of a grid or of the staging database; a row of
// either.
inline constexpr std::int64_t kEntryOverheadBytes = 32;
inline constexpr std::int64_t kCellOverheadBytes = 8;
inline constexpr std::int64_t kRowOverheadBytes = 16;

// The workbook, styles and relationships parts inflate to at most this many bytes (a few
// hundred kilobytes in any real workbook); a larger one fails the open.
inline constexpr std::int64_t kMaxSmallPartBytes = std::int64_t{64} << 20;

// Sheets a workbook part may list: as many as can be staged. A longer list is refused
// before any sheet is read.
inline constexpr std::size_t kMaxListedSheets = 1024;

}  // namespace tabvora::internal::workbook_limits
