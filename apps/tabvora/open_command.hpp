#pragma once

#include "command_line.hpp"
#include "commands.hpp"

namespace tabvora::cli {

// Opens the file in the workspace: serves its page on 127.0.0.1, prints the address as
// the first line of standard output, opens it in the browser unless --no-browser, and
// returns once the server stopped (a signal, or the page closed).
CommandOutcome runOpen(const Invocation& invocation);

}  // namespace tabvora::cli
