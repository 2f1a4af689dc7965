#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "tabvora/progress.hpp"

namespace tabvora {

// How a file is opened, decided once by the caller and handed to the format's driver, which
// takes the fields it understands and leaves the rest.
struct OpenOptions {
  // Set for a preview: the text formats stage at most this many rows (the table's count is
  // then a lower bound when rows remain), workbooks and scripts get the preview's smaller
  // memory and time budgets. Absent for a full open.
  std::optional<std::int64_t> previewRowLimit;
  // Databases are only inspected: the file, its folder and its sidecar files stay exactly
  // as they are, and statements that would write are refused. Clear it to edit a database
  // in place (saveChanges then writes to it).
  bool readOnlyInspection = true;
  // Databases, while inspected: every statement is interrupted after this long.
  std::optional<std::chrono::milliseconds> statementTimeLimit;
  // Databases: text values longer than this many bytes are cut as they are read (a page
  // that shows only the start of each value).
  std::optional<std::size_t> cellByteLimit;
  // The name the staged table is made from (before it becomes a safe identifier); the
  // file's stem when empty. Set when the path says nothing useful about the data.
  std::string tableStem;
  // Told how the open reads and stages the file (delimited text and JSON report bytes), and
  // how exports and statistics of the opened file go through their rows; none when empty.
  ProgressCallback progress;
};

}  // namespace tabvora
