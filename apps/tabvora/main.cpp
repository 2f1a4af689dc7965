// The tabvora command: previews a tabular data file as an HTML page or a text grid, lists
// its tables, runs a query, describes its columns or exports a table.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command_line.hpp"
#include "commands.hpp"
#include "tabvora/library.hpp"
#include "tabvora/open_options.hpp"
#include "output_target.hpp"
#include "tabvora/terminal_text.hpp"
#include "open_command.hpp"
#include "view_command.hpp"

namespace {

using namespace tabvora::cli;

// A descriptor 0-2 that the caller closed would be handed to the next file opened, and
// output meant for standard output written into it. Holding each on a read-only
// descriptor makes writes to a closed standard output fail (EBADF) instead.
void holdStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = ::open("/", O_RDONLY | O_DIRECTORY);  // the lowest free number: `fd`
    if (held >= 0 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

// A message may quote an argument or a file's text; it still has to stay on one line, and
// on a terminal its control characters show as escapes rather than act.
void report(std::string message) {
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  if (::isatty(STDERR_FILENO) == 1) message = tabvora::visibleOnTerminal(message);
  std::cerr << "tabvora: " << message << '\n';
}

CommandOutcome run(const Invocation& invocation, OutputTarget& out) {
  if (invocation.listEncodings) {
    for (const std::string& name : tabvora::textEncodingNames()) out.write(name + '\n');
    return {};
  }
  switch (invocation.command) {
    case Invocation::Command::help: out.write(helpText(invocation.helpTopic)); return {};
    case Invocation::Command::version: out.write("tabvora " + std::string(tabvora::version()) + '\n'); return {};
    case Invocation::Command::preview: return runPreview(invocation, out);
    case Invocation::Command::tables: return runTables(invocation, out);
    case Invocation::Command::query: return runQuery(invocation, out);
    case Invocation::Command::stats: return runStats(invocation, out);
    case Invocation::Command::exportTable: return runExport(invocation, out);
    case Invocation::Command::view: return runView(invocation);
    case Invocation::Command::open: return runOpen(invocation);
  }
  return {kExitUsage, "unknown command"};
}

// Whether OUT is the file being read (the same file by device and inode, whatever the
// names): writing there would replace the input.
bool outputIsTheInput(const Invocation& invocation) {
  if (!invocation.output || invocation.file.empty() || invocation.file == "-") return false;
  struct stat input {
  }, output{};
  return ::stat(invocation.file.c_str(), &input) == 0 && ::stat(invocation.output->c_str(), &output) == 0 &&
         input.st_dev == output.st_dev && input.st_ino == output.st_ino;
}

// Whether the command writes names and values from the file as they are: on a terminal
// they are shown visibly. (The text grid escapes them itself; the HTML page escapes only
// what HTML needs, so its cell bytes reach a terminal raw without this.)
bool writesFileText(const Invocation& invocation) {
  using Command = Invocation::Command;
  return invocation.command == Command::tables || invocation.command == Command::query ||
         invocation.command == Command::stats || invocation.command == Command::exportTable ||
         (invocation.command == Command::preview && !invocation.text);
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that went away shows as EPIPE from write, which ends the program quietly.
  std::signal(SIGPIPE, SIG_IGN);
  // Ignored SIGCHLD is inherited from the parent and would leave no exit status to wait for.
  std::signal(SIGCHLD, SIG_DFL);
  // An interrupted or terminated run still removes the private copies it made.
  tabvora::installSignalCleanup();
  holdStandardDescriptors();
  // A DuckDB program of the user's choice is tried before the usual places.
  if (const char* duckDB = std::getenv("TABVORA_DUCKDB"); duckDB != nullptr && *duckDB != '\0')
    tabvora::preferDuckDBAt(duckDB);
  std::ios::sync_with_stdio(false);

  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  Invocation invocation;
  try {
    invocation = parseCommandLine(arguments);
  } catch (const UsageError& error) {
    report(std::string(error.what()) + " (see tabvora --help)");
    return kExitUsage;
  }

  if (outputIsTheInput(invocation)) {
    report("the output file is the file being read; choose another OUT");
    return kExitUsage;
  }
  try {
    OutputTarget target = OutputTarget::open(invocation.output);
    if (writesFileText(invocation) && target.isTerminal()) target.showVisibly();
    CommandOutcome outcome = run(invocation, target);
    for (const std::string& warning : outcome.warnings) report(invocation.file.string() + ": " + warning);
    if (outcome.exitStatus != kExitSuccess) {
      report(outcome.failure);
      return outcome.exitStatus;
    }
    target.finish();
    return kExitSuccess;
  } catch (const OutputFailure& failure) {
    if (*failure.what() != '\0') report(failure.what());
    return failure.exitStatus();
  }
}
