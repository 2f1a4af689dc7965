#include "progress_line.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <sys/ioctl.h>

namespace tabvora::cli {

namespace {

constexpr std::string_view kEraseLine = "\r\x1b[K";
// Columns kept free at the line's end, so the cursor never wraps to the next line.
constexpr std::size_t kSpareColumns = 1;

void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written <= 0) return;  // a progress line is not worth a failure
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

// 1234567 as "1,234,567".
std::string grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t i = digits.size(); i > 3; i -= 3)
    digits.insert(digits.begin() + static_cast<std::ptrdiff_t>(i - 3), ',');
  return digits;
}

std::string megabytes(std::uint64_t bytes) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return buffer;
}

std::string percent(std::uint64_t done, std::uint64_t total) {
  return std::to_string(done >= total ? 100 : done * 100 / total) + "%";
}

std::chrono::milliseconds configuredDelay() {
  const char* text = std::getenv("TABVORA_PROGRESS_DELAY");
  unsigned value = 0;
  if (text == nullptr || *text == '\0') return ProgressLine::kDelay;
  const std::string_view digits(text);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return ProgressLine::kDelay;
  return std::chrono::milliseconds(value);
}

}  // namespace

bool ProgressLine::wanted(bool quiet, int fd) {
  const char* term = std::getenv("TERM");
  return !quiet && ::isatty(fd) == 1 && !(term && std::string_view(term) == "dumb");
}

ProgressLine::ProgressLine(bool enabled, int fd)
    : enabled_(enabled), fd_(fd), started_(std::chrono::steady_clock::now()), delay_(configuredDelay()) {}

ProgressLine::~ProgressLine() { erase(); }

ProgressCallback ProgressLine::callback() {
  if (!enabled_) return {};
  return [this](const Progress& progress) { update(progress); };
}

std::string ProgressLine::text(const Progress& progress) {
  std::string line = "tabvora: ";
  if (progress.unit == Progress::Unit::bytes) {
    line += "staged ";
    if (progress.total == 0) return line + megabytes(progress.done);
    return line + percent(progress.done, progress.total) + " (" + megabytes(progress.done) + " of " +
           megabytes(progress.total) + ")";
  }
  line += grouped(progress.done);
  if (progress.total == 0) return line + " rows";
  return line + " of " + grouped(progress.total) + " rows (" + percent(progress.done, progress.total) + ")";
}

void ProgressLine::update(const Progress& progress) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - started_ < delay_) return;
  if (drawn_ && now - *drawn_ < kRedraw) return;
  drawn_ = now;
  std::string line = text(progress);
  winsize window{};
  if (::ioctl(fd_, TIOCGWINSZ, &window) == 0 && window.ws_col > kSpareColumns)
    line.resize(std::min<std::size_t>(line.size(), window.ws_col - kSpareColumns));  // the text is ASCII
  writeAll(fd_, std::string(kEraseLine) + line);
  shown_ = true;
}

void ProgressLine::erase() {
  if (!shown_) return;
  writeAll(fd_, kEraseLine);
  shown_ = false;
  drawn_.reset();
}

}  // namespace tabvora::cli
