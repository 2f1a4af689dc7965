#include "support/test_support.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
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
// Runs the binary with standard output on `outputFd` (closed when negative) and standard
// error collected (or on the output too, with `errorsToOutput`).
CommandResult runWith(const std::vector<std::string>& arguments, int outputFd, bool errorsToOutput) {
  const TempDir dir;
  const std::string errPath = (dir / "err").string();
  const pid_t pid = fork();
  if (pid == 0) {
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    outputFd >= 0 ? dup2(outputFd, 1) : close(1);
    dup2(errorsToOutput && outputFd >= 0 ? outputFd : err, 2);
    std::vector<std::string> copies = arguments;
    copies.insert(copies.begin(), TABVORA_BINARY);
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  CommandResult result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (std::filesystem::exists(errPath)) result.err = readFile(errPath);
  return result;
}
}  // namespace

CommandResult runTabvora(const std::vector<std::string>& arguments) {
  const TempDir dir;
  const int out = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  CommandResult result = runWith(arguments, out, false);
  ::close(out);
  result.out = readFile(dir / "out");
  return result;
}

CommandResult runTabvoraWritingTo(const std::vector<std::string>& arguments, int outputFd, bool errorsToo) {
  return runWith(arguments, outputFd, errorsToo);
}

}  // namespace tabvora::testing
