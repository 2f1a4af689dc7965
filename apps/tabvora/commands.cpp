#include "commands.hpp"

#include <exception>
#include <memory>
#include <string>
#include <system_error>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "platform/atomic_file.hpp"
#include "preview/driver_manager.hpp"
#include "preview/preview_provider.hpp"
#include "preview/special_file.hpp"

namespace tabvora::cli {

namespace {

// A driver for the file, opened so that nothing about the file can change.
std::unique_ptr<DatabaseDriver> openDriver(const std::filesystem::path& file, DatabaseMetadata& metadata) {
  if (auto refusal = specialFileRefusal(file)) throw std::runtime_error(*refusal);
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

// Runs `body` with the driver open; failures become one line on `err` and status 1.
template <typename Body>
int withOpenDriver(const Invocation& invocation, std::ostream& err, Body body) {
  std::unique_ptr<DatabaseDriver> driver;
  try {
    DatabaseMetadata metadata;
    driver = openDriver(invocation.file, metadata);
    body(*driver, metadata);
    driver->close();
    return kExitSuccess;
  } catch (const std::exception& error) {
    if (driver) driver->close();
    err << "tabvora: " << error.what() << '\n';
    return kExitFailure;
  } catch (...) {
    if (driver) driver->close();
    err << "tabvora: the file could not be read\n";
    return kExitFailure;
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

int runPreview(const Invocation& invocation, std::ostream& out, std::ostream& err) {
  if (invocation.output && sameFile(*invocation.output, invocation.file)) {
    err << "tabvora: the output file is the file being previewed; choose another OUT\n";
    return kExitUsage;
  }
  PreviewReply reply = PreviewProvider().providePreview(invocation.file);
  if (!invocation.output) {
    out.write(reply.data.data(), static_cast<std::streamsize>(reply.data.size()));
    out.flush();
    if (!out) {
      err << "tabvora: could not write the page to standard output\n";
      return kExitFailure;
    }
    return kExitSuccess;
  }
  try {
    writeFileAtomically(*invocation.output, std::string_view(reply.data));
  } catch (const std::exception& error) {
    err << "tabvora: could not write " << invocation.output->string() << ": " << error.what() << '\n';
    return kExitFailure;
  }
  return kExitSuccess;
}

int runTables(const Invocation& invocation, std::ostream& out, std::ostream& err) {
  return withOpenDriver(invocation, err, [&](DatabaseDriver& driver, const DatabaseMetadata& metadata) {
    for (const TableMetadata& table : metadata.tables) {
      out << escapeField(table.name) << '\t' << table.type.rawValue() << '\t' << countText(table.rowCount) << '\t'
          << countText(columnCount(driver, table)) << '\n';
    }
  });
}

int runQuery(const Invocation& invocation, std::ostream& out, std::ostream& err) {
  return withOpenDriver(invocation, err, [&](DatabaseDriver& driver, const DatabaseMetadata&) {
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
    out << text;
  });
}

}  // namespace tabvora::cli
