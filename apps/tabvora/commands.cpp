#include "commands.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "export/block_pipeline.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/column_statistics.hpp"
#include "opening/driver_manager.hpp"
#include "preview/html_grid_generator.hpp"
#include "preview/preview_provider.hpp"
#include "opening/table_reader.hpp"
#include "preview/text_grid_generator.hpp"
#include "statistics_report.hpp"
#include "tabvora/document.hpp"
#include "tabvora/preview_page.hpp"
#include "export/table_export_writer.hpp"

namespace tabvora::cli {

namespace {

constexpr std::size_t kDefaultTerminalWidth = 80;
// Memory all columns' exact distinct counts of `stats` may take together.
constexpr std::size_t kStatisticsDistinctBytes = std::size_t{256} << 20;

// The system's reason a file cannot be read (no such file, permission denied, is a
// directory), or nothing. Only a regular file is opened to learn it: opening a device or
// FIFO can act on it (a tape rewinds, a writer sees a reader), and the file probe refuses
// those anyway.
std::optional<std::string> systemReason(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return std::nullopt;
}

// A failure about the file, said as "FILE: reason".
CommandOutcome fileFailure(const std::filesystem::path& file, const std::string& reason) {
  return CommandOutcome{kExitFailure, file.string() + ": " + reason};
}

// A driver for the file, opened so that nothing about the file can change.
std::unique_ptr<DatabaseDriver> openDriver(const std::filesystem::path& file, DatabaseMetadata& metadata) {
  std::unique_ptr<DatabaseDriver> driver = DriverManager::shared().checkedDriver(file);
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

// Runs `body` on a file the system lets us read. Failures become "FILE: reason" and status
// 1; output that cannot be written propagates.
template <typename Body>
CommandOutcome failuresOfFile(const Invocation& invocation, Body body) {
  try {
    if (auto reason = systemReason(invocation.file)) return fileFailure(invocation.file, *reason);
    body();
    return CommandOutcome{};
  } catch (const OutputFailure&) {
    throw;
  } catch (const std::exception& error) {
    return fileFailure(invocation.file, error.what());
  } catch (...) {
    return fileFailure(invocation.file, "the file could not be read");
  }
}

// Runs `body` with the file's driver open (and closes it on every path).
template <typename Body>
CommandOutcome withOpenDriver(const Invocation& invocation, Body body) {
  return failuresOfFile(invocation, [&] {
    DatabaseMetadata metadata;
    std::unique_ptr<DatabaseDriver> driver = openDriver(invocation.file, metadata);
    struct Closing {
      DatabaseDriver& driver;
      ~Closing() { driver.close(); }
    } closing{*driver};
    body(*driver, metadata);
  });
}

// The table a command reads: the one named, else the first.
std::string chosenTable(const Invocation& invocation, const DatabaseMetadata& metadata) {
  if (invocation.table) {
    for (const TableMetadata& table : metadata.tables) {
      if (table.name == *invocation.table) return table.name;
    }
    std::string names;
    for (const TableMetadata& table : metadata.tables) names += (names.empty() ? "" : ", ") + table.name;
    throw std::runtime_error("no table named \"" + *invocation.table + "\" (tables: " + names + ")");
  }
  if (metadata.tables.empty()) throw std::runtime_error("the file holds no table");
  return metadata.tables.front().name;
}

// Columns and lines of the terminal on standard output, when it is one.
struct TerminalSize {
  std::optional<std::size_t> columns;
  std::optional<std::size_t> lines;
};
TerminalSize terminalSize(const OutputTarget& out) {
  TerminalSize size;
  winsize window{};
  if (out.isTerminal() && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0) {
    if (window.ws_col > 0) size.columns = window.ws_col;
    if (window.ws_row > 0) size.lines = window.ws_row;
  }
  if (!size.columns) {
    // A shell's own idea of the width, for output piped to a pager.
    if (const char* columns = std::getenv("COLUMNS")) {
      char* end = nullptr;
      const long value = std::strtol(columns, &end, 10);
      if (end != columns && *end == '\0' && value > 0 && value < 100000) size.columns = static_cast<std::size_t>(value);
    }
  }
  return size;
}

bool colorWanted(const Invocation& invocation, const OutputTarget& out) {
  switch (invocation.color) {
    case Invocation::Color::always: return true;
    case Invocation::Color::never: return false;
    case Invocation::Color::automatic: {
      const char* noColor = std::getenv("NO_COLOR");
      const char* term = std::getenv("TERM");
      return out.isTerminal() && !(noColor && *noColor) && !(term && std::string_view(term) == "dumb");
    }
  }
  return false;
}

CommandOutcome runTextPreview(const Invocation& invocation, OutputTarget& out) {
  if (auto reason = systemReason(invocation.file)) return fileFailure(invocation.file, *reason);
  PreviewProvider::Content content =
      PreviewProvider::readContent(invocation.file, invocation.filters, invocation.combination);
  if (!content.metadata) return fileFailure(invocation.file, content.failure);
  const TerminalSize terminal = terminalSize(out);
  TextGridOptions options;
  options.width = invocation.width.value_or(terminal.columns.value_or(kDefaultTerminalWidth));
  options.height = invocation.height ? invocation.height : terminal.lines;
  options.color = colorWanted(invocation, out);
  out.write(TextGridGenerator::generateText(*content.metadata, content.tableName, content.data, options));
  return CommandOutcome{};
}

}  // namespace

CommandOutcome runPreview(const Invocation& invocation, OutputTarget& out) {
  if (invocation.text) return runTextPreview(invocation, out);
  if (invocation.filters.empty()) {
    out.write(previewPage(invocation.file));
    return CommandOutcome{};
  }
  PreviewProvider::Content content =
      PreviewProvider::readContent(invocation.file, invocation.filters, invocation.combination);
  out.write(content.metadata ? HTMLGridGenerator::generateHTML(*content.metadata, content.tableName, content.data)
                             : PreviewProvider::errorPage(content.failure));
  return CommandOutcome{};
}

// Every table, readable or not; what could not be read goes to standard error. A file none
// of whose tables can be read fails.
CommandOutcome runTables(const Invocation& invocation, OutputTarget& out) {
  std::vector<std::string> warnings;
  bool nothingReadable = false;
  CommandOutcome outcome = failuresOfFile(invocation, [&] {
    const Document document = Document::open(invocation.file);
    const std::vector<TableInfo> tables = document.tables();
    for (const TableInfo& table : tables) {
      out.write(escapeField(table.name) + '\t' + table.kind + '\t' + countText(table.rowCount) + '\t' +
                countText(table.columnCount) + '\n');
    }
    warnings = document.warnings();
    const bool noneRead = std::all_of(tables.begin(), tables.end(), [](const TableInfo& t) { return t.unreadableReason; });
    nothingReadable = !tables.empty() && noneRead;
  });
  if (outcome.exitStatus == kExitSuccess && nothingReadable)
    outcome = fileFailure(invocation.file, "none of its tables can be read");
  outcome.warnings = std::move(warnings);
  return outcome;
}

CommandOutcome runQuery(const Invocation& invocation, OutputTarget& out) {
  return withOpenDriver(invocation, [&](DatabaseDriver& driver, const DatabaseMetadata&) {
    DataTable result = driver.query(invocation.sql, invocation.limit, std::nullopt);
    auto writer = TableExportWriter::make(ExportFormat::csv, result.name, result.columns);
    out.write(writer->begin());
    out.write(writer->rows(result));
  });
}

CommandOutcome runStats(const Invocation& invocation, OutputTarget& out) {
  return withOpenDriver(invocation, [&](DatabaseDriver& driver, const DatabaseMetadata& metadata) {
    TableReader reader(driver, chosenTable(invocation, metadata), invocation.filters, invocation.combination);
    // The exact distinct counts of all columns share one bound; past it they are estimated.
    const std::size_t distinctBytes =
        std::min(DistinctCounter::kExactBytes, kStatisticsDistinctBytes / std::max<std::size_t>(1, reader.columns().size()));
    std::vector<ColumnStatistics::Accumulator> accumulators;
    for (const DataColumn& column : reader.columns()) accumulators.emplace_back(column, distinctBytes);
    reader.forEachPage(std::nullopt, [&](const DataTable& page) {
      for (const DataRow& row : page.rows) {
        for (std::size_t j = 0; j < accumulators.size(); ++j) {
          if (j < row.values.size()) {
            accumulators[j].add(row.values[j]);
          } else {
            accumulators[j].addMissing();
          }
        }
      }
      return true;
    });
    std::vector<ColumnStatistics> statistics;
    for (const auto& accumulator : accumulators) statistics.push_back(accumulator.result());
    out.write(invocation.json ? StatisticsReport::json(statistics) : StatisticsReport::text(statistics));
  });
}

CommandOutcome runExport(const Invocation& invocation, OutputTarget& out) {
  return withOpenDriver(invocation, [&](DatabaseDriver& driver, const DatabaseMetadata& metadata) {
    TableReader reader(driver, chosenTable(invocation, metadata), invocation.filters, invocation.combination);
    auto writer = TableExportWriter::make(invocation.format, reader.table(), reader.columns());
    std::string text;
    writer->writeBegin(text);
    // This thread reads the rows out of SQLite; a second one writes them as text.
    BlockPipeline pipeline(reader.columns().size(), [&](const RowBlock& block) {
      block.forEachRow([&](const RowView& row) { writer->writeRow(row, text); });
      out.write(text);
      text.clear();
    });
    reader.forEachRow(invocation.limit, [&](const RowView& row) {
      pipeline.filling().append(row);
      return !pipeline.filling().full() || pipeline.handOver();
    });
    pipeline.finish();
    writer->writeEnd(text);
    out.write(text);
  });
}

}  // namespace tabvora::cli
