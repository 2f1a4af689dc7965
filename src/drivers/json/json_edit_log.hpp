#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "drivers/sqlite/sqlite_driver.hpp"

namespace tabvora::internal {

// How the staged table was edited since open, recorded by the staging database itself
// (temporary triggers, so every edit counts, whichever operation or SQL made it): the text
// each cell of the watched columns held before its first change, and the row ids that hold
// a row that was not staged from the file (inserted, deleted, or moved to another id).
// Saving compares a cell with the text it was staged with; without the log it could tell
// an edited cell from its staged text only by keeping every staged text.
class JSONEditLog {
 public:
  // Installs the log for the staged table; `columns` are (index, name) pairs. The caller
  // holds the staging database's lock. The temporary objects' names hold a space, which
  // staged table names never do.
  static void install(SQLiteDriver& db, const std::string& table,
                      const std::vector<std::pair<std::size_t, std::string>>& columns);
  // The log as it stands. The caller holds the staging database's lock.
  static JSONEditLog read(SQLiteDriver& db);

  bool holdsNewRow(std::int64_t row) const { return newRows_.count(row) != 0; }
  // The text of a cell before its first change; nothing when it never changed, or when it
  // held no text.
  const std::optional<std::string>* stagedText(std::int64_t row, std::size_t column) const;

 private:
  std::set<std::int64_t> newRows_;
  std::map<std::pair<std::int64_t, std::size_t>, std::optional<std::string>> stagedTexts_;
};

}  // namespace tabvora::internal
