#pragma once

// The bounds several readers and the preview share, each in one place. Bounds of one reader
// alone stay in that reader's own limits (workbook_limits.hpp, parquet_limits.hpp,
// sql_script_limits.hpp, InspectionLimits).

#include <cstddef>
#include <cstdint>

namespace tabvora::internal::limits {

// Columns of a table, SQLite's default limit: a delimited header, a JSON file's distinct
// keys or a sheet wider than this is refused naming it; rows of a delimited file add
// columns up to it; an inspection connection's tables and results stop at it.
inline constexpr std::size_t kMaxColumns = 2000;

// Rows a preview stages of a text file (delimited, JSON Lines, workbook sheets): the page
// says "of 200+ rows" when the file holds more.
inline constexpr std::int64_t kPreviewRows = 200;

// Rows a preview reads and shows, in the HTML page and the text grid alike.
inline constexpr std::size_t kPreviewShownRows = 50;

// Characters (Unicode scalar values) of a value a preview page shows before it marks the
// value as cut; this bounds a page whose cells hold hundreds of megabytes.
inline constexpr std::size_t kPreviewCellCharacters = 10'000;

}  // namespace tabvora::internal::limits
