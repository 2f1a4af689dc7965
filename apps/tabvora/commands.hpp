#pragma once

#include <ostream>

#include "command_line.hpp"

namespace tabvora::cli {

// Exit statuses of the program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // unreadable input, or output that could not be written
constexpr int kExitUsage = 2;

// Each runs one command, printing results to `out` and one-line failures to `err`, and
// returns the exit status.
int runPreview(const Invocation& invocation, std::ostream& out, std::ostream& err);
int runTables(const Invocation& invocation, std::ostream& out, std::ostream& err);
int runQuery(const Invocation& invocation, std::ostream& out, std::ostream& err);

}  // namespace tabvora::cli
