#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tabvora::cli {

// A command line that does not name a valid command; the message is one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One parsed invocation of the program.
struct Invocation {
  enum class Command { help, version, preview, tables, query };

  Command command = Command::help;
  std::filesystem::path file;
  std::optional<std::filesystem::path> output;  // preview: OUT; absent (also for "-o -"): stdout
  std::string sql;                              // query
  std::optional<std::int64_t> limit;            // query: most rows printed
};

// Parses the arguments after the program name. Options may stand before or after the
// positional arguments; "--" ends the options, so a file name may start with "-".
// Throws UsageError.
Invocation parseCommandLine(const std::vector<std::string>& arguments);

// The text --help prints.
std::string helpText();

}  // namespace tabvora::cli
