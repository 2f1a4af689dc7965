#pragma once

// The bounds of one open of a workbook, both forms, in one place. Each has a test at its
// edge, except the largest full budget, which tests lower (WorkbookDriver::memoryBudgetBytes)
// rather than fill 2 GB.

#include <cstddef>
#include <cstdint>

namespace tabvora::internal::workbook_limits {

// Memory one open may take to read and stage a workbook (see WorkbookBudget): a preview
// shows a few rows (limits::kPreviewShownRows) of one sheet and gets the smaller budget; any other open, which may
// query every row, one in proportion to the file's size on disk (fullBudgetBytes). Shared strings, styles and sheets
// are charged as they are read, a sheet's grid until it is staged, staged rows for good. An XLSX preview reads each
// sheet only as far as the rows it stages, and no more of a sheet's part than its budget (XLSXDriver); the shared
// strings it reads whole. What is uncounted (a vector's growth) roughly doubles the charge at worst, which keeps a
// refused preview near 512 MB.
inline constexpr std::int64_t kPreviewBudgetBytes = std::int64_t{256} << 20;
// A full open's budget: kFullBudgetBytesPerFileByte bytes for each byte of the file, at
// least the preview's budget and at most kFullBudgetBytes, in whole megabytes. Real workbooks
// are counted at 4 to 11 bytes for each byte of their file (packages of 100,000 and 1,000,000
// rows), far inside; a file of nearly identical rows compresses far better (a test file of
// 1,048,576 one-cell rows is counted at 750 times its 67 KB), which the least budget covers
// up to 1 MB. A workbook that asks for hundreds is made to amplify, and is refused early.
inline constexpr std::int64_t kFullBudgetBytes = std::int64_t{2} << 30;
inline constexpr std::int64_t kFullBudgetBytesPerFileByte = 256;

constexpr std::int64_t fullBudgetBytes(std::int64_t fileBytes, std::int64_t leastBytes = kPreviewBudgetBytes) {
  constexpr std::int64_t kMB = std::int64_t{1} << 20;
  if (fileBytes >= kFullBudgetBytes / kFullBudgetBytesPerFileByte) return kFullBudgetBytes;
  const std::int64_t proportional = fileBytes * kFullBudgetBytesPerFileByte / kMB * kMB;
  return proportional < leastBytes ? leastBytes : proportional;
}

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
