#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tabvora/column_layout.hpp"

namespace tabvora::workspace {

// The column layouts a user saved for the tables of one file, kept under
// $XDG_STATE_HOME/tabvora/layouts/ (default ~/.local/state/tabvora/layouts/): one JSON file
// per data file, named by a hash of its absolute path, holding {"file": PATH, "tables":
// {TABLE: LAYOUT}} with each layout in its coded form. A file that cannot be read, or
// names another path, counts as no layouts.
class ColumnLayoutStore {
 public:
  // The folder for $XDG_STATE_HOME or, when unset, $HOME; none when neither is set.
  static std::optional<std::filesystem::path> defaultFolder();

  ColumnLayoutStore(std::optional<std::filesystem::path> folder, const std::filesystem::path& dataFile);

  TableColumnLayout load(const std::string& table) const;
  // Replaces the table's layout (an empty one is forgotten), atomically; throws
  // std::runtime_error when there is nowhere to keep it or it cannot be written.
  void save(const std::string& table, const TableColumnLayout& layout) const;

 private:
  std::optional<std::filesystem::path> path_;
  std::string dataFile_;
};

}  // namespace tabvora::workspace
