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

#include "progress_line.hpp"
#include "tabvora/document.hpp"
#include "tabvora/error.hpp"
#include "tabvora/preview_page.hpp"

namespace tabvora::cli {

namespace {

constexpr std::size_t kDefaultTerminalWidth = 80;

// The system's reason a file cannot be read (no such file, permission denied, is a
// directory), or nothing. Only a regular file is opened to learn it: opening a device or
// FIFO can act on it (a tape rewinds, a writer sees a reader), and the file probe refuses
// those anyway.
std::optional<std::string> systemReason(const std::filesystem::path& file) {
  if (file == "-") return std::nullopt;  // standard input
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

std::string countText(const std::optional<std::int64_t>& count) { return count ? std::to_string(*count) : "-"; }

// How the invocation asks FILE to be read.
OpenOptions openOptions(const Invocation& invocation) {
  OpenOptions options;
  options.inputFormat = invocation.inputFormat;
  options.textEncoding = invocation.encoding;
  return options;
}

PreviewOptions previewOptions(const Invocation& invocation) {
  return PreviewOptions{invocation.filters, invocation.combination, invocation.table, openOptions(invocation)};
}

// Whether a failure is the caller's request that the file cannot meet (an unknown table, an
// encoding for a format without one): a usage error, status 2.
bool isUsageFailure(const Error& error) {
  return error.errorCode() == ErrorCode::invalidArgument &&
         (error.domain() == "TableChoice" || error.domain() == "InputSource" || error.domain() == "PreviewProvider");
}

// Runs `body` on a file the system lets us read. Failures become "FILE: reason" and status
// 1 (2 for a usage failure); output that cannot be written propagates.
template <typename Body>
CommandOutcome failuresOfFile(const Invocation& invocation, Body body) {
  try {
    if (auto reason = systemReason(invocation.file)) return fileFailure(invocation.file, *reason);
    body();
    return CommandOutcome{};
  } catch (const OutputFailure&) {
    throw;
  } catch (const Error& error) {
    CommandOutcome outcome = fileFailure(invocation.file, error.what());
    if (isUsageFailure(error)) outcome.exitStatus = kExitUsage;
    return outcome;
  } catch (const std::exception& error) {
    return fileFailure(invocation.file, error.what());
  } catch (...) {
    return fileFailure(invocation.file, "the file could not be read");
  }
}

// How a command opens its file: as the invocation reads it, with the progress line when it shows.
OpenOptions openOptions(const Invocation& invocation, ProgressLine& progress) {
  OpenOptions options = openOptions(invocation);
  options.progress = progress.callback();
  return options;
}

// Runs `body` with the file open (and closed on every path), and a progress line unless
// the output streams to the terminal the line would show on. `statistics`: whole tables'
// statistics will be asked for.
template <typename Body>
CommandOutcome withOpenDocument(const Invocation& invocation, const OutputTarget& out, bool streams, Body body,
                                bool statistics = false) {
  ProgressLine progress(ProgressLine::wanted(invocation.quiet) && !(streams && out.isTerminal()));
  return failuresOfFile(invocation, [&] {
    OpenOptions options = openOptions(invocation, progress);
    options.gatherStatistics = statistics;
    Document document = Document::open(invocation.file, options);
    body(document, progress);
  });
}

bool equalIgnoringASCIICase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
  });
}

// The table a command reads: the one named (exactly, else ignoring ASCII case, as preview
// matches it), else the first.
std::string chosenTable(const Invocation& invocation, const Document& document) {
  const std::vector<TableInfo> tables = document.tables();
  if (invocation.table) {
    for (const TableInfo& table : tables) {
      if (table.name == *invocation.table) return table.name;
    }
    for (const TableInfo& table : tables) {
      if (equalIgnoringASCIICase(table.name, *invocation.table)) return table.name;
    }
    std::string names;
    for (const TableInfo& table : tables) names += (names.empty() ? "" : ", ") + table.name;
    throw Error("TableChoice", ErrorCode::invalidArgument, -1,
                "no table named \"" + *invocation.table + "\" (tables: " + names + ")");
  }
  if (tables.empty()) throw std::runtime_error("the file holds no table");
  return tables.front().name;
}

// The rows a command reads.
RowSelection selection(const Invocation& invocation) {
  return RowSelection{invocation.filters, invocation.combination, invocation.limit};
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
  const TerminalSize terminal = terminalSize(out);
  TextGridOptions options;
  options.width = invocation.width.value_or(terminal.columns.value_or(kDefaultTerminalWidth));
  options.height = invocation.height ? invocation.height : terminal.lines;
  options.color = colorWanted(invocation, out);
  std::string grid;
  try {
    grid = previewText(invocation.file, options, previewOptions(invocation));
  } catch (const Error& error) {
    CommandOutcome outcome = fileFailure(invocation.file, error.message());
    if (isUsageFailure(error)) outcome.exitStatus = kExitUsage;
    return outcome;
  }
  out.write(grid);
  return CommandOutcome{};
}

}  // namespace

CommandOutcome runPreview(const Invocation& invocation, OutputTarget& out) {
  if (invocation.text) return runTextPreview(invocation, out);
  out.write(previewPage(invocation.file, previewOptions(invocation)));
  return CommandOutcome{};
}

// Every table, readable or not; what could not be read goes to standard error. A file none
// of whose tables can be read fails.
CommandOutcome runTables(const Invocation& invocation, OutputTarget& out) {
  std::vector<std::string> warnings;
  bool nothingReadable = false;
  ProgressLine progress(ProgressLine::wanted(invocation.quiet));
  CommandOutcome outcome = failuresOfFile(invocation, [&] {
    const Document document = Document::open(invocation.file, openOptions(invocation, progress));
    const std::vector<TableInfo> tables = document.tables();
    progress.erase();
    for (const TableInfo& table : tables) {
      out.write(escapeField(table.name) + '\t' + table.kind + '\t' + countText(table.rowCount) + '\t' +
                countText(table.columnCount) + '\n');
    }
    warnings = document.warnings();
    const bool noneRead =
        std::all_of(tables.begin(), tables.end(), [](const TableInfo& t) { return t.unreadableReason; });
    nothingReadable = !tables.empty() && noneRead;
  });
  if (outcome.exitStatus == kExitSuccess && nothingReadable)
    outcome = fileFailure(invocation.file, "none of its tables can be read");
  outcome.warnings = std::move(warnings);
  return outcome;
}

CommandOutcome runQuery(const Invocation& invocation, OutputTarget& out) {
  return withOpenDocument(invocation, out, false, [&](Document& document, ProgressLine& progress) {
    document.exportQuery(
        invocation.sql, ExportFormat::csv,
        [&](std::string_view text) {
          progress.erase();
          out.write(text);
        },
        invocation.limit);
  });
}

CommandOutcome runStats(const Invocation& invocation, OutputTarget& out) {
  return withOpenDocument(
      invocation, out, false,
      [&](Document& document, ProgressLine& progress) {
        const std::vector<ColumnStatistics> statistics =
            document.statistics(chosenTable(invocation, document), {invocation.filters, invocation.combination, {}});
        progress.erase();
        const std::optional<std::size_t> width = invocation.width ? invocation.width : terminalSize(out).columns;
        out.write(invocation.json
                      ? statisticsJSON(statistics)
                      : statisticsText(statistics, out.isTerminal() || invocation.width ? width : std::nullopt));
      },
      invocation.filters.empty());
}

CommandOutcome runExport(const Invocation& invocation, OutputTarget& out) {
  return withOpenDocument(invocation, out, true, [&](Document& document, ProgressLine&) {
    document.exportTable(
        chosenTable(invocation, document), invocation.format, [&](std::string_view text) { out.write(text); },
        selection(invocation));
  });
}

}  // namespace tabvora::cli
