#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tabvora/progress.hpp"

namespace tabvora {

// The format a file is read as when its name and first bytes are not to decide: `detect`
// lets them; `xls` is the legacy workbook form.
enum class InputFormat { detect, csv, tsv, json, jsonl, sql, sqlite, xlsx, xls, parquet };

// How a file is opened, decided once by the caller and handed to the format's driver, which
// takes the fields it understands and leaves the rest.
struct OpenOptions {
  // Set for a preview: the text formats stage at most this many rows (the table's count is
  // then a lower bound when rows remain), workbooks and scripts get the preview's smaller
  // memory and time budgets. Absent for a full open.
  std::optional<std::int64_t> previewRowLimit;
  // Databases are only inspected: the file, its folder and its sidecar files stay exactly
  // as they are, and statements that would write are refused. Clear it to edit a database
  // in place (saveChanges then writes to it). A JSON file opened for inspection keeps
  // nothing a save would need and refuses saveChanges: clear it to edit and save one.
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
  // Set when statistics of whole tables will be asked for: delimited text then works them
  // out on a spare core while it stages the rows, and Document::statistics of the whole
  // table (no filter, search or limit) answers with them at once.
  bool gatherStatistics = false;

  // Input. A file compressed with gzip, bzip2, xz or zstd (known by its first bytes) is read
  // decompressed, as a stream; so is standard input (the path "-") and a FIFO, held in a
  // private in-memory file. Their content may be at most maxContentBytes, and a compressed
  // stream that has produced more than kBombFloorBytes may not exceed kBombRatio times the
  // compressed bytes read.
  static constexpr std::uint64_t kDefaultMaxContentBytes = std::uint64_t{4} << 30;
  static constexpr std::uint64_t kBombFloorBytes = std::uint64_t{256} << 20;
  static constexpr std::uint64_t kBombRatio = 1000;
  std::uint64_t maxContentBytes = kDefaultMaxContentBytes;
  // The format to read, whatever the name and first bytes say.
  InputFormat inputFormat = InputFormat::detect;
  // Delimited text and SQL scripts: the encoding of the bytes (an ICU converter name or
  // alias: "shift_jis", "gb18030", "koi8-r", "windows-1251"...) instead of the detected
  // one. Empty: detected.
  std::string textEncoding;
};

// Whether `name` is an encoding textEncoding accepts, and every name it accepts (canonical
// names, in ICU's order).
bool isTextEncodingName(std::string_view name);
std::vector<std::string> textEncodingNames();

}  // namespace tabvora
