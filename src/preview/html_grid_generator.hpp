#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/data_table.hpp"
#include "model/database_metadata.hpp"
#include "platform/limits.hpp"

namespace tabvora::internal {

// Builds the self-contained preview page of one table: a header with the format badge,
// file name, size and table count; one pill per table when there are several; the grid
// with a sticky header row and a row-number column; and a footer with the row counts.
// No script, no external resource. Cannot fail.
class HTMLGridGenerator {
 public:
  // Rows past this many are never rendered, however many the table holds.
  static constexpr std::size_t kMaxRenderedRows = limits::kPreviewShownRows;
  // A cell shows at most this many characters (Unicode scalar values) of its value, then
  // kCutMark; this bounds the page of a file whose cells hold hundreds of megabytes.
  static constexpr std::size_t kMaxCellCharacters = limits::kPreviewCellCharacters;
  static constexpr std::string_view kCutMark = "\u2026";
  static constexpr std::string_view kProductLabel = "Tabvora Quick Look";

  // The page for `data`, a page of the rows of `tableName` in the file `metadata`
  // describes. Always well-formed UTF-8: invalid bytes in names or cells become U+FFFD.
  static std::string generateHTML(const DatabaseMetadata& metadata, const std::string& tableName,
                                  const DataTable& data);
};

}  // namespace tabvora::internal
