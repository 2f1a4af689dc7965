#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/sqlite/staging_driver.hpp"
#include "platform/child_process.hpp"

namespace tabvora::internal {

class FileReader;

// Driver for Apache Parquet files. There is no Parquet decoder here: open asks the DuckDB
// command-line program, when one is found, for the first 5000 rows as JSON and stages them
// (see DuckDBRows) in a table named after the file. When there is no DuckDB, or it fails,
// times out, floods its output or prints anything but rows, the staged table instead
// lists the file's top-level columns and types from its footer (see ParquetFooter) with a
// summary row, or, without a readable footer, one row naming the format and the size.
// Reads and edits are answered by the staging database; the file is never written.
// Errors have the domain "ParquetDriver": -1 when the file cannot be read or lacks the
// leading magic, -2 for every saveChanges.
class ParquetDriver final : public StagingDriver {
 public:
  // Where a driver made without its own list looks for DuckDB, in order: the preferred
  // path (see preferDuckDBAt), then /opt/homebrew/bin, /usr/local/bin and /usr/bin. The
  // search path of the environment is not consulted.
  static std::vector<std::filesystem::path> defaultDuckDBLocations();
  // Puts `path` before the default locations; an empty path removes it. Meant for a host
  // at start-up, before drivers are made.
  static void preferDuckDBAt(std::filesystem::path path);

  // `duckDBLocations` are tried in order, now and at every open; the first executable
  // regular file is used.
  explicit ParquetDriver(std::vector<std::filesystem::path> duckDBLocations = defaultDuckDBLocations());
  ~ParquetDriver() override;

  DatabaseFormat format() const override { return DatabaseFormat::parquet; }
  DatabaseMetadata open(const std::filesystem::path& url) override;
  void saveChanges() override;
  void close() noexcept override;

  // The DuckDB program last found; kept when a later search finds none.
  const std::optional<std::filesystem::path>& duckDBPath() const { return duckDBPath_; }
  // The staged table's name: "parquet_data" until open names it after the file.
  const std::string& primaryTableName() const { return primaryTableName_; }

  // Bounds of one DuckDB run; past either the footer table is shown.
  ChildProcess::Limits duckDBLimits{parquet_limits::kDuckDBTimeLimit, parquet_limits::kDuckDBOutputLimit,
                                    parquet_limits::kDuckDBErrorLimit};

  // SELECT * FROM '<path with apostrophes doubled>' LIMIT 5000;
  static std::string duckDBQuery(const std::string& path);
  // Whether DuckDB would read exactly the file at `path`: not when the path holds
  // characters it expands as a glob (* ? [) or looks like a URL.
  static bool isPlainPathForDuckDB(const std::string& path);

 private:
  void locateDuckDB();
  // Throws when DuckDB cannot give the rows; the staging database may then hold part of them.
  void loadThroughDuckDB(const std::filesystem::path& url);
  void stageSchemaTable(const FileReader& file, std::uint64_t fileSize);

  std::vector<std::filesystem::path> duckDBLocations_;
  std::optional<std::filesystem::path> duckDBPath_;
  std::string primaryTableName_ = "parquet_data";
};

}  // namespace tabvora::internal
