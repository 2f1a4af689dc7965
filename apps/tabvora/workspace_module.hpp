#pragma once

#include <string>

#include <sys/types.h>

#include "command_line.hpp"
#include "commands.hpp"

namespace tabvora::cli {

// The workspace (its HTTP server and the TLS libraries that come with it) lives in a module
// of its own, loaded by the open command alone, so that no other command pays for loading
// those libraries. The program looks for the module beside itself (the build tree), then in
// the library folder of its installed prefix (kWorkspaceModuleFromProgram, relative to the
// program's folder).
constexpr const char* kWorkspaceModuleName = "tabvora-workspace.so";
// The module's one entry point, by its C name: what runOpen does with the module loaded.
// `startOpener` starts the browser (view_command.hpp). Module and program come from the
// same build: the name carries the version of this interface.
constexpr const char* kWorkspaceEntryPoint = "tabvora_open_workspace_1";
using StartOpener = int (*)(const std::string& target, pid_t& pid);
using WorkspaceEntryPoint = void (*)(const Invocation& invocation, StartOpener startOpener, CommandOutcome& outcome);

}  // namespace tabvora::cli
