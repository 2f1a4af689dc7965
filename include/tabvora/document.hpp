#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tabvora/value.hpp"

namespace tabvora {

// One file opened for reading with the driver its extension or first bytes call for.
// Opening and reading never change the file, its folder or its sidecar files: a database
// is opened read-only and statements that would write to it are refused ("not authorized");
// other formats are staged in a private in-memory database, which a query may change; a
// private copy made of a database with pending journal pages is removed at close.
// Every call that fails throws tabvora::Error. One thread at a time per Document.
class Document {
 public:
  // The most rows one page or query returns; a larger limit is refused.
  static constexpr std::int64_t kMaxRows = 1'000'000;

  // Throws Error for a file that is missing, not a regular file, or not readable as its format.
  static Document open(const std::filesystem::path& path);

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
  // Up to `limit` rows (0 to kMaxRows) of what `sql` selects.
  Rows query(const std::string& sql, std::int64_t limit);

 private:
  struct State;
  explicit Document(std::unique_ptr<State> state);
  State& state() const;  // throws Error once moved from

  std::unique_ptr<State> state_;
};

}  // namespace tabvora
