#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "model/database_driver.hpp"
#include "model/driver_error.hpp"

namespace tabvora::testing {

// Tests look inside the library: its internals are in scope wherever the helpers are.
using namespace tabvora::internal;

// A fresh directory under the system temp folder, removed with everything in it when the
// object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
  // The file `name` here holding `bytes`, then zeros up to `size` bytes when that is larger
  // (a sparse file, which uses no disk).
  std::filesystem::path write(std::string_view name, std::string_view bytes, std::uintmax_t size = 0) const;
  // A copy of tests/data/<relative> here, named `name`.
  std::filesystem::path copy(std::string_view relative, std::string_view name) const;

 private:
  std::filesystem::path path_;
};

inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
inline bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

void writeFile(const std::filesystem::path& path, std::string_view bytes);
std::string readFile(const std::filesystem::path& path);
// Names of the entries of a folder, sorted.
std::vector<std::string> listDirectory(const std::filesystem::path& path);

// Sets an environment variable until the end of the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> before_;
};

// Makes a character device node with the given numbers (1,3 acts as a null device, 1,5 as
// a zero source, 1,7 as a full disk) for tests of device handling, never touching the
// system's own nodes. False where nodes cannot be made or opened: not root, or a folder on
// a file system mounted without devices.
bool makeCharacterDevice(const std::filesystem::path& path, unsigned major, unsigned minor);

// A copy of tests/data/<relative>.
std::filesystem::path testData(std::string_view relative);

struct CommandResult {
  int exitStatus = -1;
  std::string out;
  std::string err;
};
// Runs the tabvora binary built alongside the tests with the given arguments (no shell).
CommandResult runTabvora(const std::vector<std::string>& arguments);
// The same with standard output on `outputFd` instead (closed when negative), and standard
// error too with `errorsToo`; the result's `out` stays empty. The caller reads what went to
// the descriptor.
CommandResult runTabvoraWritingTo(const std::vector<std::string>& arguments, int outputFd, bool errorsToo = false);

// Each row `sql` gives as "value|value|...", NULL for a null.
inline std::vector<std::string> queryRows(DatabaseDriver& driver, const std::string& sql) {
  std::vector<std::string> lines;
  for (const DataRow& row : driver.query(sql).rows) {
    std::string line;
    for (std::size_t i = 0; i < row.values.size(); ++i)
      line += (i ? "|" : "") + (row.values[i].isNull() ? std::string("NULL") : row.values[i].rawValueString());
    lines.push_back(std::move(line));
  }
  return lines;
}
// The staged tables' names; one row's cell texts ("NULL" for a null); the columns' names
// and declared types.
inline std::vector<std::string> tableNames(const DatabaseMetadata& metadata) {
  std::vector<std::string> names;
  for (const TableMetadata& table : metadata.tables) names.push_back(table.name);
  return names;
}
inline std::vector<std::string> rowTexts(DatabaseDriver& driver, const std::string& table, std::int64_t offset = 0) {
  std::vector<std::string> texts;
  const DataTable page = driver.fetchTableData(table, 1, offset);
  for (const CellValue& value : page.rows.at(0).values)
    texts.push_back(value.isNull() ? "NULL" : value.rawValueString());
  return texts;
}
inline std::vector<std::string> columnNames(DatabaseDriver& driver, const std::string& table) {
  std::vector<std::string> names;
  for (const DataColumn& column : driver.fetchSchema(table)) names.push_back(column.name);
  return names;
}
inline std::vector<std::string> columnTypes(DatabaseDriver& driver, const std::string& table) {
  std::vector<std::string> types;
  for (const DataColumn& column : driver.fetchSchema(table)) types.emplace_back(column.type.rawValue());
  return types;
}
// "name TYPE" for each column of a table, as staged.
inline std::vector<std::string> schemaLines(DatabaseDriver& driver, const std::string& table) {
  std::vector<std::string> columns;
  for (const DataColumn& column : driver.fetchSchema(table))
    columns.push_back(column.name + " " + std::string(column.type.rawValue()));
  return columns;
}

// The DriverError an operation throws; a test failure when it throws none.
// The lines of a text, each without its line end.
inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

template <typename Operation>
DriverError errorOf(Operation&& operation) {
  try {
    operation();
  } catch (const DriverError& error) {
    return error;
  }
  ADD_FAILURE() << "the operation threw no DriverError";
  return DriverError("", 0, "");
}

}  // namespace tabvora::testing
