#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabvora/column_filter.hpp"
#include "tabvora/open_options.hpp"

namespace tabvora {

// The self-contained HTML page (no script, no external resource) showing the first rows of
// the file's first table, or the error page naming the reason when the file cannot be
// read. Never throws for anything about the file; the file stays as it was.
std::string previewPage(const std::filesystem::path& path);
// The same page for the rows `filters` keep, combined by `combination`: the file is then
// read whole, for the filters to see every row, and the page counts the rows they keep. A
// filter naming a column the table lacks gets the error page listing its columns.
std::string previewPage(const std::filesystem::path& path, const std::vector<ColumnFilter>& filters,
                        FilterCombination combination = FilterCombination::all);

// What a preview shows beyond the defaults: the rows the filters keep (the file is then
// read whole), a table other than the first (its name matched exactly, else ignoring ASCII
// case), and how the file is opened (OpenOptions' input fields; the preview sets its own
// limits). A table the file lacks is a failure listing the tables.
struct PreviewOptions {
  std::vector<ColumnFilter> filters;
  FilterCombination combination = FilterCombination::all;
  std::optional<std::string> table;
  OpenOptions open;
};
std::string previewPage(const std::filesystem::path& path, const PreviewOptions& options);

// The error page for `message` (escaped here).
std::string errorPage(std::string_view message);

// How the text grid is laid out.
struct TextGridOptions {
  std::size_t width = 80;             // terminal columns every line fits in
  std::optional<std::size_t> height;  // lines in all; none: every rendered row
  bool color = false;                 // SGR bold column names and dim NULLs; no escape at all when off
};

// The same preview as plain lines for a terminal or a file manager's preview pane: a
// header (format, file name, size, table count, and the table shown when there are
// several), the column names, a rule, as many rows as the height leaves room for, and a
// footer "Showing n of N rows". Throws Error with the reason when the file cannot be read.
std::string previewText(const std::filesystem::path& path, const TextGridOptions& options,
                        const std::vector<ColumnFilter>& filters = {},
                        FilterCombination combination = FilterCombination::all);
// The same for the choices of `preview`. Throws Error with ErrorCode::invalidArgument when
// they ask for what the file has not (a table, an encoding of another format).
std::string previewText(const std::filesystem::path& path, const TextGridOptions& options,
                        const PreviewOptions& preview);

}  // namespace tabvora
