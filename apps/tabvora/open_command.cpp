#include "open_command.hpp"

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "view_command.hpp"
#include "workspace_module.hpp"

namespace tabvora::cli {

namespace {

// The module's entry point, or why it could not be had.
WorkspaceEntryPoint loadWorkspace(std::string& failure) {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    failure = "the program's own folder cannot be found: " + error.message();
    return nullptr;
  }
  const std::filesystem::path folder = program.parent_path();
  for (const std::filesystem::path& module :
       {folder / kWorkspaceModuleName, (folder / TABVORA_WORKSPACE_MODULE_FROM_PROGRAM).lexically_normal()}) {
    if (!std::filesystem::is_regular_file(module, error)) continue;
    // Local: the module's symbols serve it alone. Now: a symbol missing fails here, not later.
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      failure = "the workspace module " + module.string() + " cannot be loaded: " + (reason ? reason : "unknown error");
      return nullptr;
    }
    // Kept loaded until the program ends: the server's threads run its code.
    if (void* entry = ::dlsym(handle, kWorkspaceEntryPoint)) return reinterpret_cast<WorkspaceEntryPoint>(entry);
    failure =
        "the workspace module " + module.string() + " is not this program's (it lacks " + kWorkspaceEntryPoint + ")";
    return nullptr;
  }
  failure = "the workspace module " + std::string(kWorkspaceModuleName) + " is not installed beside the program (" +
            folder.string() + ") nor in " +
            (folder / TABVORA_WORKSPACE_MODULE_FROM_PROGRAM).lexically_normal().parent_path().string();
  return nullptr;
}

}  // namespace

CommandOutcome runOpen(const Invocation& invocation) {
  std::string failure;
  const WorkspaceEntryPoint open = loadWorkspace(failure);
  if (open == nullptr) return {kExitFailure, failure};
  CommandOutcome outcome;
  open(invocation, &startOpener, outcome);
  return outcome;
}

}  // namespace tabvora::cli
