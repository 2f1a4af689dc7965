#pragma once

#include <string>
#include <vector>

#include "command_line.hpp"
#include "output_target.hpp"

namespace tabvora::cli {

// Exit statuses of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // unreadable input, or output that could not be written
constexpr int kExitUsage = 2;

// How a command ended: its exit status and, on failure, the reason as one line without the
// program's name.
struct CommandOutcome {
  int exitStatus = kExitSuccess;
  std::string failure;
  // Said on standard error in any case, each as "FILE: warning".
  std::vector<std::string> warnings{};
};

// Each runs one command, writing its output to `out` as it goes; the caller finishes the
// output after a success. OutputFailure propagates.
CommandOutcome runPreview(const Invocation& invocation, OutputTarget& out);
CommandOutcome runTables(const Invocation& invocation, OutputTarget& out);
CommandOutcome runQuery(const Invocation& invocation, OutputTarget& out);
CommandOutcome runStats(const Invocation& invocation, OutputTarget& out);
CommandOutcome runExport(const Invocation& invocation, OutputTarget& out);

}  // namespace tabvora::cli
