#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "model/data_table.hpp"
#include "model/database_metadata.hpp"
#include "preview/html_grid_generator.hpp"
#include "tabvora/preview_page.hpp"  // TextGridOptions

namespace tabvora::internal {

// The preview of one table as plain lines for a terminal or a file manager's preview pane:
//   a header (format, file name, size, table count, and the table shown when there are several),
//   the column names, a rule, as many rows as the height leaves room for,
//   a footer "Showing n of N rows" (", +k columns" when columns were left off).
// Columns take their natural width (the widest of name and shown cells, at most
// kMaxColumnWidth); when they do not fit, the widest shrink first, down to kMinColumnWidth,
// then columns on the right are left off. Cells are cut with "…"; numbers are right-aligned.
// Every line takes at most `width` columns and there are at most `height` lines, for any
// width and height; with little height the rows go first, then the rule, the names, the
// footer. Text from the file reaches the output only through visibleOnTerminal, with line
// breaks and tabs made spaces, so no name or cell can move the cursor. Cannot fail.
class TextGridGenerator {
 public:
  static constexpr std::size_t kMaxRenderedRows = HTMLGridGenerator::kMaxRenderedRows;
  static constexpr std::size_t kMaxColumnWidth = 40;
  static constexpr std::size_t kMinColumnWidth = 6;
  // Only this many leading bytes of a name or cell are looked at; a longer text is shown
  // as cut. Far more than a column can show, so this only bounds the work.
  static constexpr std::size_t kMaxCellBytes = 1024;

  static std::string generateText(const DatabaseMetadata& metadata, const std::string& tableName, const DataTable& data,
                                  const TextGridOptions& options);
};

}  // namespace tabvora::internal
