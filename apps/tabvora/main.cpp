// The tabvora command: previews a tabular data file as one HTML page, lists its tables,
// or runs a query against it.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "command_line.hpp"
#include "drivers/parquet/parquet_driver.hpp"
#include "drivers/sqlite/private_copy_registry.hpp"
#include "commands.hpp"
#include "output_target.hpp"
#include "platform/terminal_text.hpp"

namespace {

using namespace tabvora::cli;
using tabvora::visibleOnTerminal;

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

// A message may quote an argument or a file's text; it still has to stay on one line.
void report(std::string message) {
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::cerr << "tabvora: " << message << '\n';
}

CommandOutcome run(const Invocation& invocation) {
  switch (invocation.command) {
    case Invocation::Command::help: return {kExitSuccess, helpText(), {}};
    case Invocation::Command::version: return {kExitSuccess, std::string("tabvora ") + TABVORA_VERSION + '\n', {}};
    case Invocation::Command::preview: return runPreview(invocation);
    case Invocation::Command::tables: return runTables(invocation);
    case Invocation::Command::query: return runQuery(invocation);
  }
  return {kExitUsage, {}, "unknown command"};
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that went away shows as EPIPE from write, which ends the program quietly.
  std::signal(SIGPIPE, SIG_IGN);
  // Ignored SIGCHLD is inherited from the parent and would leave no exit status to wait for.
  std::signal(SIGCHLD, SIG_DFL);
  // An interrupted or terminated run still removes the private copies it made.
  tabvora::PrivateCopyRegistry::installSignalCleanup();
  holdStandardDescriptors();
  // A DuckDB program of the user's choice is tried before the usual places.
  if (const char* duckDB = std::getenv("TABVORA_DUCKDB"); duckDB != nullptr && *duckDB != '\0')
    tabvora::ParquetDriver::preferDuckDBAt(duckDB);
  std::ios::sync_with_stdio(false);

  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  Invocation invocation;
  try {
    invocation = parseCommandLine(arguments);
  } catch (const UsageError& error) {
    report(std::string(error.what()) + " (see tabvora --help)");
    return kExitUsage;
  }

  try {
    OutputTarget target = OutputTarget::open(invocation.output);
    CommandOutcome outcome = run(invocation);
    if (outcome.exitStatus != kExitSuccess) {
      report(outcome.failure);
      return outcome.exitStatus;
    }
    // Names and values from a file reach a terminal only as visible text; files and pipes
    // get the exact bytes.
    const bool fromFile =
        invocation.command == Invocation::Command::tables || invocation.command == Invocation::Command::query;
    target.deliver(fromFile && target.isTerminal() ? visibleOnTerminal(outcome.output) : outcome.output);
    return kExitSuccess;
  } catch (const OutputFailure& failure) {
    if (*failure.what() != '\0') report(failure.what());
    return failure.exitStatus();
  }
}
