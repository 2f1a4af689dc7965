#include "commands.hpp"

#include <exception>
#include <memory>
#include <string>
#include <system_error>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "preview/driver_manager.hpp"
#include "preview/preview_provider.hpp"
#include "platform/file_probe.hpp"

namespace tabvora::cli {

namespace {

// A driver for the file, opened so that nothing about the file can change.
std::unique_ptr<DatabaseDriver> openDriver(const std::filesystem::path& file, DatabaseMetadata& metadata) {
  if (auto refusal = FileProbe::of(file).refusal(file)) throw std::runtime_error(*refusal);
  std::unique_ptr<DatabaseDriver> driver = DriverManager::shared().driver(file);
  if (auto* sqlite = dynamic_cast<SQLiteDriver*>(driver.get())) sqlite->previewReadOnly = true;
  metadata = driver->open(file);
  return driver;
}

// Keeps a name on its line of tab-separated output.
std::string escapeField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::string countText(const std::optional<std::int64_t>& count) {
  return count ? std::to_string(*count) : "-";
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

CommandOutcome failure(int exitStatus, std::string reason) {
  return CommandOutcome{exitStatus, {}, std::move(reason)};
}

// Runs `body` with the driver open; its text is the output. Failures become one line and
// status 1.
template <typename Body>
CommandOutcome withOpenDriver(const Invocation& invocation, Body body) {
  std::unique_ptr<DatabaseDriver> driver;
  try {
    DatabaseMetadata metadata;
    driver = openDriver(invocation.file, metadata);
    std::string text = body(*driver, metadata);
    driver->close();
    return CommandOutcome{kExitSuccess, std::move(text), {}};
  } catch (const std::exception& error) {
    if (driver) driver->close();
    return failure(kExitFailure, error.what());
  } catch (...) {
    if (driver) driver->close();
    return failure(kExitFailure, "the file could not be read");
  }
}

// Drivers that do not count columns when listing still describe each table's schema.
std::optional<std::int64_t> columnCount(DatabaseDriver& driver, const TableMetadata& table) {
  if (table.columnCount) return table.columnCount;
  try {
    return static_cast<std::int64_t>(driver.fetchSchema(table.name).size());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

CommandOutcome runPreview(const Invocation& invocation) {
  if (invocation.output && sameFile(*invocation.output, invocation.file)) {
    return failure(kExitUsage, "the output file is the file being previewed; choose another OUT");
  }
  return CommandOutcome{kExitSuccess, PreviewProvider().providePreview(invocation.file).data, {}};
}

CommandOutcome runTables(const Invocation& invocation) {
  return withOpenDriver(invocation, [&](DatabaseDriver& driver, const DatabaseMetadata& metadata) {
    std::string text;
    for (const TableMetadata& table : metadata.tables) {
      text += escapeField(table.name) + '\t' + std::string(table.type.rawValue()) + '\t' + countText(table.rowCount) +
              '\t' + countText(columnCount(driver, table)) + '\n';
    }
    return text;
  });
}

CommandOutcome runQuery(const Invocation& invocation) {
  return withOpenDriver(invocation, [&](DatabaseDriver& driver, const DatabaseMetadata&) {
    DataTable result = driver.query(invocation.sql, invocation.limit, std::nullopt);
    std::string text;
    for (std::size_t j = 0; j < result.columns.size(); ++j) {
      if (j > 0) text += ',';
      text += CellValue::text(result.columns[j].name).csvEscaped();
    }
    text += '\n';
    for (const DataRow& row : result.rows) {
      for (std::size_t j = 0; j < result.columns.size(); ++j) {
        if (j > 0) text += ',';
        text += row[static_cast<std::ptrdiff_t>(j)].csvEscaped();
      }
      text += '\n';
    }
    return text;
  });
}

}  // namespace tabvora::cli
