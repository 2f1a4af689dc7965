#include "support/test_support.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <algorithm>

namespace tabvora::testing {
using namespace tabvora::internal;

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tabvora-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(std::string_view name, std::string_view bytes, std::uintmax_t size) const {
  writeFile(path_ / name, bytes);
  if (size > bytes.size()) std::filesystem::resize_file(path_ / name, size);
  return path_ / name;
}

std::filesystem::path TempDir::copy(std::string_view relative, std::string_view name) const {
  std::filesystem::copy_file(testData(relative), path_ / name);
  return path_ / name;
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) before_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() { before_ ? ::setenv(name_, before_->c_str(), 1) : ::unsetenv(name_); }

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::vector<std::string> listDirectory(const std::filesystem::path& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool makeCharacterDevice(const std::filesystem::path& path, unsigned major, unsigned minor) {
  if (::geteuid() != 0 || ::mknod(path.c_str(), S_IFCHR | 0666, makedev(major, minor)) != 0) return false;
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::filesystem::path testData(std::string_view relative) {
  return std::filesystem::path(TABVORA_TEST_DATA) / relative;
}

namespace {
std::string drain(int fd) {
  std::string text;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

// Runs the binary with standard output on `outputFd` (closed when negative) and standard
// error collected; `outPath`, when given, is read into `out` afterwards.
CommandResult runWith(const std::vector<std::string>& arguments, int outputFd, const std::string& outPath,
                      bool errorsToOutput = false) {
  std::filesystem::path dir = std::filesystem::temp_directory_path();
  std::string errPath =
      (dir / ("tabvora-err-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()))).string();
  pid_t pid = fork();
  if (pid == 0) {
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (outputFd >= 0) {
      dup2(outputFd, 1);
    } else {
      close(1);
    }
    dup2(errorsToOutput && outputFd >= 0 ? outputFd : err, 2);
    std::vector<char*> argv;
    std::string binary = TABVORA_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = arguments;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  CommandResult result;
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  int outFd = outPath.empty() ? -1 : ::open(outPath.c_str(), O_RDONLY);
  int errFd = ::open(errPath.c_str(), O_RDONLY);
  if (outFd >= 0) { result.out = drain(outFd); ::close(outFd); }
  if (errFd >= 0) { result.err = drain(errFd); ::close(errFd); }
  unlink(errPath.c_str());
  return result;
}
}  // namespace

CommandResult runTabvora(const std::vector<std::string>& arguments) {
  std::filesystem::path dir = std::filesystem::temp_directory_path();
  std::string outPath = (dir / ("tabvora-out-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()))).string();
  int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  CommandResult result = runWith(arguments, out, outPath);
  ::close(out);
  unlink(outPath.c_str());
  return result;
}

CommandResult runTabvoraWritingTo(const std::vector<std::string>& arguments, int outputFd, bool errorsToo) {
  return runWith(arguments, outputFd, {}, errorsToo);
}

}  // namespace tabvora::testing
