#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tabvora/column_filter.hpp"
#include "tabvora/export_format.hpp"
#include "tabvora/open_options.hpp"

namespace tabvora::cli {

// A command line that does not name a valid command; the message is one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One parsed invocation of the program.
struct Invocation {
  enum class Command { help, version, preview, tables, query, stats, exportTable, view, open };
  enum class Color { automatic, always, never };

  Command command = Command::help;
  std::optional<Command> helpTopic;  // help: the command asked about, if one was
  std::filesystem::path file;
  std::optional<std::filesystem::path> output;  // OUT; absent (also for "-o -"): standard output
  std::string sql;                              // query
  std::optional<std::int64_t> limit;            // query, export: most rows written
  std::optional<std::string> table;             // preview, stats, export: the table, else the first
  ExportFormat format = ExportFormat::csv;      // export
  bool json = false;                            // stats
  std::vector<ColumnFilter> filters;            // preview, stats, export
  FilterCombination combination = FilterCombination::all;
  bool text = false;                 // preview: a text grid instead of HTML
  std::optional<std::size_t> width;  // preview --text, stats
  std::optional<std::size_t> height;
  Color color = Color::automatic;
  std::optional<int> port;  // open: the port to listen on, else a free one
  bool noBrowser = false;   // open: print the address only
  bool readOnly = false;    // open: no editing
  bool quiet = false;  // tables, query, stats, export: no progress line
  // How FILE is read ("-": standard input): its format when the bytes cannot say, the
  // encoding of delimited text or a script; --encoding list asks for the names instead.
  InputFormat inputFormat = InputFormat::detect;
  std::string encoding;
  bool listEncodings = false;
};

// Parses the arguments after the program name. Options may stand before or after the
// positional arguments, as "--name value" or "--name=value"; "--" ends the options, so a
// file name may start with "-". Throws UsageError.
Invocation parseCommandLine(const std::vector<std::string>& arguments);

// The text --help prints: everything, or one command's part.
std::string helpText(std::optional<Invocation::Command> topic = std::nullopt);

// The export format a --format value names: a short name (csv, tsv, json, markdown or md,
// sql) or a format's full name ("CSV (.csv)").
std::optional<ExportFormat> exportFormatNamed(std::string_view name);

}  // namespace tabvora::cli
