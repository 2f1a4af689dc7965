// The tabvora command: previews a tabular data file as one HTML page, lists its tables,
// or runs a query against it.

#include <iostream>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "commands.hpp"

int main(int argc, char** argv) {
  using namespace tabvora::cli;
  std::ios::sync_with_stdio(false);

  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  Invocation invocation;
  try {
    invocation = parseCommandLine(arguments);
  } catch (const UsageError& error) {
    // The message may quote an argument; it still has to stay on one line.
    std::string message = error.what();
    for (char& c : message) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    std::cerr << "tabvora: " << message << " (see tabvora --help)\n";
    return kExitUsage;
  }

  switch (invocation.command) {
    case Invocation::Command::help: std::cout << helpText(); return kExitSuccess;
    case Invocation::Command::version: std::cout << "tabvora " << TABVORA_VERSION << '\n'; return kExitSuccess;
    case Invocation::Command::preview: return runPreview(invocation, std::cout, std::cerr);
    case Invocation::Command::tables: return runTables(invocation, std::cout, std::cerr);
    case Invocation::Command::query: return runQuery(invocation, std::cout, std::cerr);
  }
  return kExitUsage;
}
