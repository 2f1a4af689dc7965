#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tabvora/atomic_file.hpp"

namespace tabvora::cli {

// Output that could not be delivered, with the exit status it ends the program with. The
// message is one line, or empty when the reader went away (a closed pipe): that end is quiet.
class OutputFailure : public std::runtime_error {
 public:
  OutputFailure(int exitStatus, const std::string& message) : std::runtime_error(message), exitStatus_(exitStatus) {}
  int exitStatus() const { return exitStatus_; }

 private:
  int exitStatus_;
};

// Where a command's output goes, following symbolic links:
//   standard output                        written as it is (also for OUT "-")
//   a character device or a FIFO           written in place, never replaced
//   a regular file, or a name not in use   replaced atomically once the whole output is
//                                          written; left as it was when the command fails
// Anything else (a directory, block device or socket) is refused with exit status 2.
// Output is written as it comes, in buffered blocks, so a command streams however much it
// writes.
class OutputTarget {
 public:
  // Standard output when `path` is absent. A device or FIFO is opened here, without
  // waiting: a FIFO that no process reads fails at once instead of blocking.
  // Throws OutputFailure.
  static OutputTarget open(const std::optional<std::filesystem::path>& path);

  OutputTarget(OutputTarget&& other) noexcept;
  OutputTarget& operator=(OutputTarget&&) = delete;
  ~OutputTarget();

  // Whether the output shows on a terminal.
  bool isTerminal() const;
  // From now on, text written is shown as visibleOnTerminal shows it (for text from a file
  // reaching a terminal). Each write must then end on a character boundary.
  void showVisibly() { visibly_ = true; }

  // Throws OutputFailure.
  void write(std::string_view text);
  // Writes what is buffered, then closes the target (or puts the file in place) and checks
  // that too. Call once, after the last write. Throws OutputFailure.
  void finish();

 private:
  OutputTarget(std::optional<std::filesystem::path> path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string destination() const;  // as a message names it
  void flush();

  std::optional<std::filesystem::path> path_;  // absent: standard output
  int fd_;                                     // -1 for a file replaced atomically
  std::unique_ptr<AtomicFileWriter> file_;     // a file replaced atomically
  std::string buffer_;
  bool visibly_ = false;
};

}  // namespace tabvora::cli
