#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <unistd.h>

#include "tabvora/progress.hpp"

namespace tabvora::cli {

// A one-line indicator of long work on standard error, for a person watching a terminal:
// shown once the work has taken kDelay (TABVORA_PROGRESS_DELAY milliseconds when set),
// redrawn at most every kRedraw, kept within the terminal's width and erased by erase(),
// before other output, and at destruction. Updated on one thread only.
class ProgressLine {
 public:
  static constexpr std::chrono::milliseconds kDelay{500};
  static constexpr std::chrono::milliseconds kRedraw{100};

  // Whether a line may be shown on `fd`: it is a terminal, TERM is not "dumb", and the
  // command was not asked to be quiet.
  static bool wanted(bool quiet, int fd = STDERR_FILENO);

  explicit ProgressLine(bool enabled, int fd = STDERR_FILENO);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // What the library is given to report through; empty when the line is not shown.
  ProgressCallback callback();
  void update(const Progress& progress);
  // Removes the line if it shows; the next update draws it again.
  void erase();

  // The line's text, e.g. "tabvora: staged 45% (32.1 MB of 71.4 MB)" or
  // "tabvora: 120,000 of 1,000,000 rows (12%)".
  static std::string text(const Progress& progress);

 private:
  bool enabled_;
  int fd_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point started_;
  std::chrono::milliseconds delay_;
  std::optional<std::chrono::steady_clock::time_point> drawn_;
};

}  // namespace tabvora::cli
