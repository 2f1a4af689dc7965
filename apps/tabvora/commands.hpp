#pragma once

#include <string>

#include "command_line.hpp"

namespace tabvora::cli {

// Exit statuses of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // unreadable input, or output that could not be written
constexpr int kExitUsage = 2;

// What a command produced: the whole of its output, or why it failed.
struct CommandOutcome {
  int exitStatus = kExitSuccess;
  std::string output;   // for standard output or OUT; empty on failure
  std::string failure;  // on failure, the reason as one line without the program's name
};

// Each runs one command without writing anything; the caller delivers the output.
CommandOutcome runPreview(const Invocation& invocation);
CommandOutcome runTables(const Invocation& invocation);
CommandOutcome runQuery(const Invocation& invocation);

}  // namespace tabvora::cli
