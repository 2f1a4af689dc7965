#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tabvora::internal {

// Runs an external program to its end and collects what it writes, never through a shell:
// the program gets the argument vector as given, standard input from /dev/null, standard
// output and standard error on pipes of their own, no other descriptor of this process,
// the default disposition of every signal, and a process group of its own. Whatever
// happens, the program and anything it started in its group are killed and reaped before
// `run` returns, so a program that hangs, floods its output or leaves children behind
// costs at most the time limit and the output limit.
class ChildProcess {
 public:
  struct Limits {
    std::chrono::milliseconds timeLimit{10'000};
    std::size_t outputLimit = 256u << 20;  // bytes of standard output kept
    std::size_t errorLimit = 4096;         // bytes of standard error kept; the rest is read and dropped
  };

  enum class Ending {
    exited,          // ended by itself; `exitStatus` holds its status
    signalled,       // killed by a signal it did not catch, `signal` holds it; or ended
                     // unseen (this process ignores SIGCHLD), `signal` 0
    timedOut,        // still running at the time limit: killed
    outputTooLarge,  // wrote more than the output limit: killed
  };

  struct Result {
    Ending ending = Ending::exited;
    int exitStatus = 0;
    int signal = 0;
    std::string output;     // standard output, at most the output limit
    std::string errorText;  // the start of standard error, at most the error limit

    bool succeeded() const { return ending == Ending::exited && exitStatus == 0; }
  };

  // Throws std::system_error when the program cannot be started (missing, not executable,
  // not a program) or the pipes cannot be made.
  static Result run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    const Limits& limits);
};

}  // namespace tabvora::internal
