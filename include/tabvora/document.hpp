#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tabvora/column_filter.hpp"
#include "tabvora/column_statistics.hpp"
#include "tabvora/export_format.hpp"
#include "tabvora/open_options.hpp"
#include "tabvora/value.hpp"

namespace tabvora {

// Which rows of a table a page holds: the rows the filters keep (all when there are none)
// and, when `search` is not empty, in which some column contains it (ignoring case, as the
// "contains" filter); in the table's order or sorted by one column, from `offset` on, at
// most `limit`.
struct PageRequest {
  std::int64_t limit = 50;  // 0 to Document::kMaxRows
  std::int64_t offset = 0;  // 0 or more
  std::optional<std::string> sortColumn;
  bool ascending = true;
  std::vector<ColumnFilter> filters;
  FilterCombination combination = FilterCombination::all;
  std::string search{};
  // Cleared, the first page of a filter or search in the table's order comes without
  // counting every row kept when that count is not known yet: totalRowCount is then the
  // rows given and one more when more follow, with totalRowCountIsLowerBound set. The same
  // request with it set counts them, once.
  bool countRows = true;
};

// Which rows of a table an export or statistics read: the rows the filters and `search`
// keep (as for a page), in the table's order or sorted by `sortColumn` (exports), at most
// `limit` when given.
struct RowSelection {
  std::vector<ColumnFilter> filters;
  FilterCombination combination = FilterCombination::all;
  std::optional<std::int64_t> limit;
  std::optional<std::string> sortColumn{};
  bool ascending = true;
  std::string search{};
};

// Receives text as it is produced, in order; what it throws ends the call and propagates.
using TextSink = std::function<void(std::string_view text)>;

// One file opened with the driver its extension or first bytes call for.
// Opening and reading never change the file, its folder or its sidecar files: by default a
// database is opened read-only and statements that would write to it are refused ("not
// authorized"); other formats are staged in a private in-memory database, which a query or
// an edit may change and saveChanges writes back where the format's driver can. A database
// opened for editing (OpenOptions::readOnlyInspection cleared) takes each edit at once. A
// private copy made of a database with pending journal pages is removed at close.
// Every call that fails throws tabvora::Error. One thread at a time per Document.
class Document {
 public:
  // The most rows one page or query returns; a larger limit is refused.
  static constexpr std::int64_t kMaxRows = 1'000'000;

  // Throws Error for a file that is missing, not a regular file, or not readable as its format.
  static Document open(const std::filesystem::path& path, const OpenOptions& options = {});

  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  ~Document();  // closes

  // The format's display name: "SQLite", "Excel", "Parquet", "CSV", "TSV", "JSON",
  // "JSON Lines" or "SQL".
  std::string format() const;
  // In the file's order; the preview page shows the first.
  std::vector<TableInfo> tables() const;
  // What the open met without failing (a sheet it could not read, rows it left out), one
  // sentence each.
  std::vector<std::string> warnings() const;

  // Up to `limit` rows of `table` (0 to kMaxRows), from row `offset` (0 or more).
  Rows page(const std::string& table, std::int64_t limit, std::int64_t offset = 0);
  // The rows `request` asks for; totalRowCount counts the rows the filters keep. A filter or
  // sort column the table lacks fails, listing its columns.
  Rows page(const std::string& table, const PageRequest& request);
  // Up to `limit` rows (0 to kMaxRows) of what `sql` selects.
  Rows query(const std::string& sql, std::int64_t limit);
  // The same for exactly one statement that changes nothing, whatever the format: anything
  // else (an UPDATE of the staged data, two statements) is refused. totalRowCount counts
  // the rows returned; totalRowCountIsLowerBound says more were left out.
  Rows select(const std::string& sql, std::int64_t limit);
  // Stops the statement this Document is running: the call running it (a query, a page,
  // statistics, an export) fails as interrupted, and the Document stays usable. Nothing
  // happens when none runs. The one call that may come from another thread while one uses
  // the Document (not while it is moved or destroyed).
  void cancel() noexcept;

  // The CREATE statement the file's database holds for `table`, where it has one.
  std::optional<std::string> createStatement(const std::string& table);

  // Statistics of each column over the selected rows, read a page at a time: memory stays
  // bounded whatever the table (distinct counts become estimates past their exact limit).
  std::vector<ColumnStatistics> statistics(const std::string& table, const RowSelection& selection = {});
  // The selected rows of `table` in `format`, handed to `sink` a block at a time as they
  // are written (a table of any size streams through).
  void exportTable(const std::string& table, ExportFormat format, const TextSink& sink,
                   const RowSelection& selection = {});
  // What `sql` selects, in `format`: every row, or at most `limit` (0 or more).
  void exportQuery(const std::string& sql, ExportFormat format, const TextSink& sink,
                   std::optional<std::int64_t> limit = std::nullopt);

  // Edits of the staged or opened data, located by a row of a page this Document returned
  // (its storage identity, its primary key, or all its values; a row that cannot be told
  // apart from another is refused).
  void updateCell(const std::string& table, const Rows& page, std::size_t row, const std::string& column,
                  const Value& value);
  void deleteRow(const std::string& table, const Rows& page, std::size_t row);
  // Column name and value pairs; columns left out take their default.
  void insertRow(const std::string& table, const std::vector<std::pair<std::string, Value>>& values);
  // Writes the staged data back to the file, atomically where the format allows; a driver
  // that cannot (a workbook, a preview's partial read, rows it could not read whole)
  // refuses with ErrorCode::writeRefused and leaves the file as it was.
  void saveChanges();

 private:
  struct State;
  explicit Document(std::unique_ptr<State> state);
  State& state() const;  // throws Error once moved from

  std::unique_ptr<State> state_;
};

}  // namespace tabvora
