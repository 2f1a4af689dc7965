#include "command_line.hpp"

#include <array>
#include <charconv>
#include <map>
#include <string_view>

#include "filter_expression.hpp"

namespace tabvora::cli {

namespace {

using Command = Invocation::Command;

struct CommandName {
  std::string_view name;
  Command command;
  std::size_t positional;  // FILE, and SQL for query
};
constexpr std::array kCommands{
    CommandName{"preview", Command::preview, 1},    CommandName{"tables", Command::tables, 1},
    CommandName{"query", Command::query, 2},        CommandName{"stats", Command::stats, 1},
    CommandName{"export", Command::exportTable, 1}, CommandName{"view", Command::view, 1},
    CommandName{"open", Command::open, 1},
};

const CommandName* commandNamed(std::string_view name) {
  for (const CommandName& entry : kCommands) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::string_view nameOf(Command command) {
  for (const CommandName& entry : kCommands) {
    if (entry.command == command) return entry.name;
  }
  return "tabvora";
}

// Which commands take an option.
enum Use : unsigned {
  kPreview = 1,
  kTables = 2,
  kQuery = 4,
  kStats = 8,
  kExport = 16,
  kView = 32,
  kOpen = 64,
  kWriting = kPreview | kTables | kQuery | kStats | kExport,
  kReading = kWriting | kView,
  kFiltering = kPreview | kStats | kExport,
};

unsigned useOf(Command command) {
  switch (command) {
    case Command::preview: return kPreview;
    case Command::tables: return kTables;
    case Command::query: return kQuery;
    case Command::stats: return kStats;
    case Command::exportTable: return kExport;
    case Command::view: return kView;
    case Command::open: return kOpen;
    default: return 0;
  }
}

struct Option {
  std::string_view shortName;
  std::string_view longName;
  bool takesValue;
  unsigned usedBy;
};
constexpr std::array kOptions{
    Option{"-o", "--output", true, kWriting},
    Option{"", "--limit", true, kQuery | kExport},
    Option{"-t", "--table", true, kPreview | kStats | kExport},
    Option{"-f", "--format", true, kReading},
    Option{"", "--input-format", true, kReading},
    Option{"", "--encoding", true, kReading},
    Option{"", "--json", false, kStats},
    Option{"-w", "--where", true, kFiltering},
    Option{"", "--all", false, kFiltering},
    Option{"", "--any", false, kFiltering},
    Option{"", "--text", false, kPreview},
    Option{"", "--width", true, kPreview | kStats},
    Option{"", "--height", true, kPreview},
    Option{"", "--color", true, kPreview},
    Option{"", "--port", true, kOpen},
    Option{"", "--no-browser", false, kOpen},
    Option{"", "--read-only", false, kOpen},
    Option{"-q", "--quiet", false, kTables | kQuery | kStats | kExport},
};

const Option* optionNamed(std::string_view name) {
  for (const Option& option : kOptions) {
    if (name == option.longName || (!option.shortName.empty() && name == option.shortName)) return &option;
  }
  return nullptr;
}

std::int64_t parseCount(std::string_view option, const std::string& text, std::int64_t least) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < least) {
    throw UsageError(std::string(option) + " needs a whole number, " + std::to_string(least) + " or more, not \"" +
                     text + "\"");
  }
  return value;
}

struct Parsed {
  std::vector<std::string> positional;
  std::multimap<std::string_view, std::string> values;  // by long name; flags hold ""
  bool help = false;
};

Parsed split(const CommandName& command, const std::vector<std::string>& arguments) {
  Parsed result;
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
    if (argument == "-h" || argument == "--help") {
      result.help = true;
      continue;
    }
    const std::size_t equals = argument.starts_with("--") ? argument.find('=') : std::string::npos;
    const std::string name = argument.substr(0, equals);
    const Option* option = optionNamed(name);
    if (!option) throw UsageError("unknown option " + name);
    if (!(option->usedBy & useOf(command.command)))
      throw UsageError(std::string(option->longName) + " does not belong to the " + std::string(command.name) +
                       " command");
    std::string value;
    if (equals != std::string::npos) {
      if (!option->takesValue) throw UsageError(std::string(option->longName) + " takes no value");
      value = argument.substr(equals + 1);
    } else if (option->takesValue) {
      if (i + 1 >= arguments.size()) throw UsageError(name + " needs a value");
      value = arguments[++i];
    }
    if (option->longName != "--where" && result.values.count(option->longName))
      throw UsageError(std::string(option->longName) + " is given twice");
    result.values.emplace(option->longName, std::move(value));
  }
  return result;
}

std::optional<std::string> valueOf(const Parsed& parsed, std::string_view name) {
  auto found = parsed.values.find(name);
  if (found == parsed.values.end()) return std::nullopt;
  return found->second;
}

std::optional<InputFormat> inputFormatNamed(std::string_view name) {
  constexpr std::array<std::pair<std::string_view, InputFormat>, 9> kNames{{
      {"csv", InputFormat::csv},
      {"tsv", InputFormat::tsv},
      {"json", InputFormat::json},
      {"jsonl", InputFormat::jsonl},
      {"sql", InputFormat::sql},
      {"sqlite", InputFormat::sqlite},
      {"xlsx", InputFormat::xlsx},
      {"xls", InputFormat::xls},
      {"parquet", InputFormat::parquet},
  }};
  for (const auto& [known, format] : kNames) {
    if (known == name) return format;
  }
  return std::nullopt;
}

void applyInputOptions(const Parsed& parsed, Command command, Invocation& invocation) {
  // export's --format is the format it writes; --input-format names the format read.
  std::optional<std::string> format = valueOf(parsed, "--input-format");
  std::string_view option = "--input-format";
  if (command != Command::exportTable) {
    if (auto plain = valueOf(parsed, "--format")) {
      if (format) throw UsageError("--format and --input-format name the same thing; give one");
      format = plain;
      option = "--format";
    }
  }
  if (format) {
    auto named = inputFormatNamed(*format);
    if (!named)
      throw UsageError(std::string(option) + " \"" + *format +
                       "\" is not one of csv, tsv, json, jsonl, sql, sqlite, xlsx, xls, parquet");
    invocation.inputFormat = *named;
  }
  if (auto encoding = valueOf(parsed, "--encoding")) {
    if (*encoding == "list") {
      invocation.listEncodings = true;
    } else if (!isTextEncodingName(*encoding)) {
      throw UsageError("--encoding \"" + *encoding + "\" is not an encoding this program knows (see --encoding list)");
    }
    invocation.encoding = *encoding;
  }
}

void applyOptions(const Parsed& parsed, Invocation& invocation) {
  if (auto output = valueOf(parsed, "--output")) {
    if (output->empty()) throw UsageError("--output needs a file name");
    if (*output != "-") invocation.output = *output;
  }
  if (auto limit = valueOf(parsed, "--limit")) invocation.limit = parseCount("--limit", *limit, 0);
  if (auto table = valueOf(parsed, "--table")) {
    if (table->empty()) throw UsageError("--table needs a table name");
    invocation.table = *table;
  }
  applyInputOptions(parsed, invocation.command, invocation);
  if (auto format = valueOf(parsed, "--format"); format && invocation.command == Command::exportTable) {
    std::optional<ExportFormat> named = exportFormatNamed(*format);
    if (!named) throw UsageError("--format \"" + *format + "\" is not one of csv, tsv, json, markdown, sql");
    invocation.format = *named;
  }
  invocation.json = parsed.values.count("--json") > 0;
  for (auto [it, end] = parsed.values.equal_range("--where"); it != end; ++it)
    invocation.filters.push_back(parseFilterExpression(it->second));
  if (parsed.values.count("--all") && parsed.values.count("--any"))
    throw UsageError("--all and --any exclude each other");
  if (parsed.values.count("--any")) invocation.combination = FilterCombination::any;

  invocation.quiet = parsed.values.count("--quiet") > 0;
  invocation.text = parsed.values.count("--text") > 0;
  for (std::string_view gridOption : {"--width", "--height", "--color"}) {
    const bool statsWidth = gridOption == "--width" && invocation.command == Command::stats;
    if (parsed.values.count(gridOption) && !invocation.text && !statsWidth)
      throw UsageError(std::string(gridOption) + " belongs to preview --text");
  }
  if (auto width = valueOf(parsed, "--width"))
    invocation.width = static_cast<std::size_t>(parseCount("--width", *width, 1));
  if (auto height = valueOf(parsed, "--height"))
    invocation.height = static_cast<std::size_t>(parseCount("--height", *height, 1));
  if (auto color = valueOf(parsed, "--color")) {
    if (*color == "auto")
      invocation.color = Invocation::Color::automatic;
    else if (*color == "always")
      invocation.color = Invocation::Color::always;
    else if (*color == "never")
      invocation.color = Invocation::Color::never;
    else
      throw UsageError("--color needs auto, always or never, not \"" + *color + "\"");
  }
  if (auto port = valueOf(parsed, "--port")) {
    const std::int64_t number = parseCount("--port", *port, 1);
    if (number > 65535) throw UsageError("--port needs a port from 1 to 65535, not \"" + *port + "\"");
    invocation.port = static_cast<int>(number);
  }
  invocation.noBrowser = parsed.values.count("--no-browser") > 0;
  invocation.readOnly = parsed.values.count("--read-only") > 0;
}

}  // namespace

std::optional<ExportFormat> exportFormatNamed(std::string_view name) {
  if (name == "csv") return ExportFormat::csv;
  if (name == "tsv") return ExportFormat::tsv;
  if (name == "json") return ExportFormat::json;
  if (name == "markdown" || name == "md") return ExportFormat::markdown;
  if (name == "sql") return ExportFormat::sqlInsert;
  return ExportFormat::fromRawValue(name);
}

Invocation parseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) throw UsageError("no command given");
  const std::string& first = arguments.front();
  Invocation invocation;
  if (first == "--help" || first == "-h" || first == "help") {
    invocation.command = Command::help;
    if (first == "help" && arguments.size() > 1) {
      const CommandName* topic = commandNamed(arguments[1]);
      if (!topic) throw UsageError("no help for \"" + arguments[1] + "\": not a command");
      invocation.helpTopic = topic->command;
    }
    return invocation;
  }
  if (first == "--version" || first == "-V") {
    invocation.command = Command::version;
    return invocation;
  }
  const CommandName* command = commandNamed(first);
  if (!command) throw UsageError("unknown command \"" + first + "\"");

  Parsed parsed = split(*command, {arguments.begin() + 1, arguments.end()});
  if (parsed.help) {
    invocation.command = Command::help;
    invocation.helpTopic = command->command;
    return invocation;
  }
  invocation.command = command->command;
  applyOptions(parsed, invocation);

  const std::string name(command->name);
  if (invocation.listEncodings) return invocation;
  if (parsed.positional.empty()) throw UsageError(name + " needs a FILE");
  if (parsed.positional.size() < command->positional) throw UsageError(name + " needs an SQL statement after FILE");
  if (parsed.positional.size() > command->positional)
    throw UsageError("unexpected argument \"" + parsed.positional[command->positional] + "\"");
  if (parsed.positional[0].empty()) throw UsageError("FILE must not be empty");
  invocation.file = parsed.positional[0];
  if (command->positional == 2) invocation.sql = parsed.positional[1];
  return invocation;
}

namespace {

constexpr std::string_view kUsage = R"HELP(Usage:
  tabvora preview FILE [--table T] [-o OUT] [--where COND]... [--all | --any]
  tabvora preview --text FILE [--table T] [--width W] [--height H] [--color WHEN] [--where COND]...
  tabvora tables FILE [-o OUT] [-q]
  tabvora query FILE SQL [--limit N] [-o OUT] [-q]
  tabvora stats FILE [--table T] [--json] [--width W] [--where COND]... [-o OUT] [-q]
  tabvora export FILE --format FORMAT [--table T] [--limit N] [--where COND]... [-o OUT] [-q]
  tabvora view FILE
  tabvora open FILE [--port N] [--no-browser] [--read-only]
  Every command but open also takes [--format F | --input-format F] [--encoding NAME] for
  FILE (export: --input-format only), and FILE "-" for standard input.
  tabvora COMMAND --help | tabvora --help | tabvora --version (-V)

Previews tabular data files (SQLite databases, CSV/TSV text, JSON and JSON Lines,
XLSX and XLS workbooks, Parquet files, SQL scripts and MySQL/PostgreSQL dumps),
describes their columns and exports their tables.
)HELP";

struct CommandHelp {
  Command command;
  std::string_view text;
};

constexpr std::array kCommandHelp{
    CommandHelp{Command::preview, R"HELP(  preview   Writes the HTML preview page of FILE (its first table, first 50
            rows) to standard output, or to OUT. A file that cannot be read
            still gets a page, the error page naming the reason; the exit status
            is 0 for both.
            --text        a text grid for a terminal or a file manager's preview
                          pane instead: a header line (format, name, size,
                          tables), as many rows as fit, the footer "Showing n of
                          N rows". A file that cannot be read gives exit status 1
                          and one line on standard error.
            --width W     columns of the grid (default: the terminal's width,
                          else 80); cells are cut with "…"
            --height H    lines in all (default: the terminal's height when
                          writing to one, else room for 50 rows)
            --color WHEN  auto (on a terminal, unless NO_COLOR is set), always
                          or never: column names bold, NULL dimmed
            --table T     the table T instead of the first; an unknown name
                          gives the error page listing the tables (--text:
                          exit status 2)
)HELP"},
    CommandHelp{Command::tables, R"HELP(  tables    Lists the tables of FILE, one line each, fields separated by tabs:
              NAME  TYPE  ROWS  COLUMNS
            TYPE is Table, View, Sheet or Virtual; a count that is not known
            prints as "-". Tabs, line breaks and backslashes inside a name are
            written as \t, \n, \r and \\.
)HELP"},
    CommandHelp{Command::query, R"HELP(  query     Runs SQL against FILE and prints the result as CSV: a header line of
            column names, then one line per row.
            --limit N     at most N rows
)HELP"},
    CommandHelp{Command::stats, R"HELP(  stats     Describes every column of a table over all its rows: type, rows,
            nulls, null %, distinct values, min, max, average and median of the
            numbers, the 3 most frequent values held by more than one row with
            their counts, and up to 10 sample values, as an aligned table.
            Distinct values are counted exactly up to 100000 per column (16 MB
            of text, 256 MB for all columns together) and estimated past that,
            shown as ~N; the most frequent values are then those already
            frequent at that point. The median is exact up to 2 million numbers
            per column (128 MB for all columns together), then taken from an
            even spread of them, shown as ~N.
            --table T     the table T (default: the first)
            --json        a JSON array of one object per column instead
            --width W     lines of the table at most W columns wide (default:
                          the terminal's width when writing to one): samples
                          go first, then frequent values, then the line is cut
)HELP"},
    CommandHelp{Command::exportTable, R"HELP(  export    Writes a whole table, row by row as it is read:
            --format F    csv, tsv, json (an array of objects: numbers, booleans,
                          null; blobs as base64 text), markdown (md: a pipe
                          table) or sql (CREATE TABLE and INSERT statements that
                          sqlite3 reads back); the full names are accepted too:
                          "CSV (.csv)", "TSV (.tsv)", "JSON (.json)",
                          "Markdown (.md)", "SQL Inserts (.sql)"
            --table T     the table T (default: the first)
            --limit N     at most N rows
)HELP"},
    CommandHelp{Command::view, R"HELP(  view      Writes the preview page of FILE to a new private file (mode 0600 in
            a folder of its own under $TMPDIR or /tmp) and opens it with
            xdg-open. The page file is left for the browser to read; the
            system's cleaning of temporary files removes it.
)HELP"},
    CommandHelp{Command::open, R"HELP(  open      Opens FILE in the workspace, a page in the browser to browse every
            row, sort, filter, query, edit and save. Serves it on 127.0.0.1
            only, printing its address (with a fresh access token) as the first
            line of standard output and opening it with xdg-open; stops on
            Ctrl-C or SIGTERM, or 30 s after the page was closed. Nothing is
            written to FILE except by the page's Save, which refuses when FILE
            changed on disk meanwhile.
            --port N      listen on port N (default: a free port)
            --no-browser  only print the address
            --read-only   no editing
)HELP"},
};

constexpr std::string_view kFilters = R"HELP(
Filters (preview, stats, export):
  --where COND  keeps the rows where COND holds; COND is COLUMN OP VALUE with OP
                one of: contains, "does not contain", "starts with", "ends with"
                (ignoring case), = ≠ > ≥ < ≤ (or == != <> >= <=: numbers compare
                as numbers, other cells as text), "is empty", "is not empty"
                (no VALUE). Quote a column name holding spaces around an operator
                as "name"; quote a VALUE as '...' to keep spaces at its ends.
                Repeat --where for several conditions.
  --all, --any  every condition must hold (default), or any one.
  Values are passed to the database engine as parameters, never as SQL text.
  With filters a text file is read whole, also for preview.
)HELP";

constexpr std::string_view kCommon = R"HELP(
Every option that takes a value also takes it as --option=value.

Input (every command):
  FILE may be compressed with gzip, bzip2, xz or zstd (known by its first bytes,
  not its name); it is read decompressed, as a stream, and its format comes from
  the name without the compression extension (sales.csv.gz: CSV, table "sales")
  or from the decompressed bytes. A preview of delimited text, JSON Lines or a
  SQL script decompresses only as far as the rows it shows. FILE "-" reads
  standard input (table "stdin"); a FIFO and /dev/stdin are read the same way.
  Decompressed or piped content is held in a private in-memory file and may be
  at most 4 GiB; a compressed stream that has expanded past 256 MiB may not
  exceed 1000 times its compressed size (a decompression bomb). Past either
  bound FILE is refused with a message. Binary files that are none of the
  formats are refused as "not a tabular data file".
  --format F, --input-format F
                reads FILE as F whatever its name or bytes say: csv, tsv, json,
                jsonl, sql, sqlite, xlsx, xls or parquet (export takes
                --input-format only: its --format is the format it writes)
  --encoding NAME
                delimited text and SQL scripts: the bytes are in NAME, any ICU
                converter name or alias (shift_jis, cp932, gb18030, euc-kr,
                koi8-r, iso-8859-15, windows-1251...), instead of the detected
                encoding; bytes that are not text in NAME fail. --encoding list
                prints the names.

Output (-o OUT, --output=OUT):
  OUT "-" is standard output (write ./- for a file of that name). An existing
  character device or FIFO is written in place; a FIFO that no process reads
  fails at once instead of waiting. A regular file or a new name is replaced
  atomically once the whole output is written, keeping the file's permissions
  and any symbolic link to it; on a failure it is left as it was. A directory,
  block device or socket is refused, and so is OUT naming FILE itself. SIGINT,
  SIGTERM, SIGHUP and SIGQUIT remove the unfinished output.
  On a terminal, names and values from the file show control characters and
  bidirectional overrides as escapes (\x1b, \u009b, \u202e), in messages too;
  files and pipes get the exact bytes.

Progress: tables, query, stats and export show a line on standard error while
they read or go through a file for more than half a second (the share of the
file staged, or the rows gone through), erased when done; never when standard
error is not a terminal, when TERM is dumb, or with -q (--quiet).

Inspecting a file never changes it: databases are opened read-only. A SQL script
runs in a private in-memory database where no statement can reach a file; the
statements that fail are counted, and the first 20 are named on standard error.

Bounds: a preview stages 200 rows of a text file ("of 200+ rows" when there are
more) and stops each database statement after 3 s; a SQL script runs each
statement for at most 5 s and in all 120 s (3 s for a preview); a workbook may
take 256 bytes of memory for each byte of its file to read and stage, at least
256 MB and at most 2 GB (256 MB for a preview), its workbook, styles and
relationship parts 64 MB each; stats counts distinct values exactly up to
100000 per column and estimates past that.

Environment:
  TABVORA_DUCKDB  the DuckDB command-line program that reads Parquet files; else
                  /opt/homebrew/bin/duckdb, /usr/local/bin/duckdb or
                  /usr/bin/duckdb; "none" for none. Without it (or when it
                  fails) the built-in reader reads the rows; when neither can, a
                  preview lists the columns and the other commands fail.
  NO_COLOR        when set, --color auto gives no colour.
  TABVORA_PROGRESS_DELAY  milliseconds of work before the progress line shows
                  (default 500).

Exit status:
  0  success; for preview (HTML) also when the page is the error page
  1  FILE cannot be read ("tabvora: FILE: reason" on standard error), or the
     output could not be written in full; when the reader of a pipe goes away
     the program ends quietly, with no message
  2  usage error, an unknown --table or --encoding, or an OUT that is FILE
     itself or cannot take the output
)HELP";

}  // namespace

std::string helpText(std::optional<Invocation::Command> topic) {
  std::string text;
  if (!topic) {
    text = std::string(kUsage) + "\nCommands:\n";
    for (const CommandHelp& entry : kCommandHelp) text += entry.text;
    return text + std::string(kFilters) + std::string(kCommon);
  }
  for (const CommandHelp& entry : kCommandHelp) {
    if (entry.command == *topic) text = std::string(entry.text);
  }
  text = "tabvora " + std::string(nameOf(*topic)) + ":\n" + text;
  if (useOf(*topic) & kFiltering) text += kFilters;
  if (useOf(*topic) & kWriting) text += "\n  -o OUT, --output=OUT  where the output goes (see tabvora --help)\n";
  return text + "\nSee tabvora --help for output, environment and exit statuses.\n";
}

}  // namespace tabvora::cli
