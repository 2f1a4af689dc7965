#include "command_line.hpp"

#include <charconv>
#include <string_view>

namespace tabvora::cli {

namespace {

std::int64_t parseLimit(const std::string& text) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) {
    throw UsageError("--limit needs a whole number of rows, 0 or more, not \"" + text + "\"");
  }
  return value;
}

struct Split {
  std::vector<std::string> positional;
  std::optional<std::string> output;
  std::optional<std::string> limit;
};

// Separates options with a value from positional arguments.
Split split(const std::vector<std::string>& arguments) {
  Split result;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument == "-" || !argument.starts_with("-")) {
      result.positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string>* slot = nullptr;
    if (argument == "-o" || argument == "--output") slot = &result.output;
    if (argument == "--limit") slot = &result.limit;
    if (!slot) throw UsageError("unknown option " + argument);
    if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
    if (*slot) throw UsageError(argument + " is given twice");
    *slot = arguments[++i];
  }
  return result;
}

}  // namespace

Invocation parseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) throw UsageError("no command given");
  const std::string& command = arguments.front();
  Invocation invocation;
  if (command == "--help" || command == "-h" || command == "help") {
    invocation.command = Invocation::Command::help;
    return invocation;
  }
  if (command == "--version") {
    invocation.command = Invocation::Command::version;
    return invocation;
  }

  Split parts = split({arguments.begin() + 1, arguments.end()});
  std::size_t expected = 0;
  if (command == "preview") {
    invocation.command = Invocation::Command::preview;
    expected = 1;
    if (parts.limit) throw UsageError("--limit belongs to the query command");
    if (parts.output) {
      if (parts.output->empty()) throw UsageError("-o needs a file name");
      if (*parts.output != "-") invocation.output = *parts.output;
    }
  } else if (command == "tables" || command == "query") {
    invocation.command = command == "tables" ? Invocation::Command::tables : Invocation::Command::query;
    expected = command == "tables" ? 1 : 2;
    if (parts.output) throw UsageError("-o belongs to the preview command");
    if (parts.limit && command == "tables") throw UsageError("--limit belongs to the query command");
    if (parts.limit) invocation.limit = parseLimit(*parts.limit);
  } else {
    throw UsageError("unknown command \"" + command + "\"");
  }

  if (parts.positional.empty()) throw UsageError(command + " needs a FILE");
  if (parts.positional.size() < expected) throw UsageError(command + " needs an SQL statement after FILE");
  if (parts.positional.size() > expected) throw UsageError("unexpected argument \"" + parts.positional[expected] + "\"");
  if (parts.positional[0].empty()) throw UsageError("FILE must not be empty");
  invocation.file = parts.positional[0];
  if (expected == 2) invocation.sql = parts.positional[1];
  return invocation;
}

std::string helpText() {
  return R"(Usage:
  tabvora preview FILE [-o OUT]
  tabvora tables FILE
  tabvora query FILE SQL [--limit N]
  tabvora --help | --version

Previews tabular data files (SQLite databases, CSV/TSV text, JSON and JSON Lines,
XLSX and XLS workbooks, Parquet files, SQL scripts and MySQL/PostgreSQL dumps) as
one self-contained HTML page.

Commands:
  preview   Writes the HTML preview page of FILE to standard output, or to OUT.
            A file that cannot be read still gets a page, the error page naming
            the reason; the exit status is 0 for both.
  tables    Lists the tables of FILE, one line each, fields separated by tabs:
              NAME  TYPE  ROWS  COLUMNS
            TYPE is Table, View, Sheet or Virtual; a count that is not known
            prints as "-". Tabs, line breaks and backslashes inside a name are
            written as \t, \n, \r and \\.
  query     Runs SQL against FILE and prints the result as CSV: a header line of
            column names, then one line per row. --limit N prints at most N rows.

Output:
  OUT "-" is standard output (write ./- for a file of that name). An existing
  character device or FIFO is written in place; a FIFO that no process reads
  fails at once instead of waiting. A regular file or a new name is replaced
  atomically, keeping the file's permissions and any symbolic link to it. A
  directory, block device or socket is refused.
  On a terminal, tables and query show control characters and bidirectional
  overrides in names and values as escapes (\x1b, \u009b, \u202e); files and
  pipes get the exact bytes.

Inspecting a file never changes it: databases are opened read-only. A SQL script
runs in a private in-memory database where no statement can reach a file; the
statements that fail are counted, and the first 20 are named on standard error.

Parquet files are read through the DuckDB command-line program: the one named by
the environment variable TABVORA_DUCKDB, else /opt/homebrew/bin/duckdb,
/usr/local/bin/duckdb or /usr/bin/duckdb. Without it (or when it fails) a
Parquet file shows its column names and types instead of its rows.

Exit status:
  0  success; for preview also when the page is the error page
  1  FILE cannot be read, or the output could not be written in full (one line
     on standard error); when the reader of a pipe goes away the program ends
     quietly, with no message
  2  usage error, or an OUT that is FILE itself or cannot take a page
)";
}

}  // namespace tabvora::cli
