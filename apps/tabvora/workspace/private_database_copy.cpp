#include "private_database_copy.hpp"

#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <stdlib.h>

#include "tabvora/atomic_file.hpp"

namespace tabvora::workspace {

namespace {

std::filesystem::path beside(const std::filesystem::path& file, const char* suffix) {
  std::filesystem::path sidecar = file;
  sidecar += suffix;
  return sidecar;
}

}  // namespace

PrivateDatabaseCopy::PrivateDatabaseCopy(const std::filesystem::path& file) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tabvora-edit-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(), "cannot make a private folder for the database's copy");
  folder_ = pattern;  // made 0700 by mkdtemp
  copy_ = folder_ / "database";
  try {
    std::filesystem::copy_file(file, copy_);
    std::filesystem::permissions(copy_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    throw;
  }
}

PrivateDatabaseCopy::~PrivateDatabaseCopy() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

bool PrivateDatabaseCopy::hasJournal(const std::filesystem::path& file) {
  for (const char* suffix : {"-journal", "-wal"}) {
    std::error_code error;
    const auto size = std::filesystem::file_size(beside(file, suffix), error);
    if (!error && size > 0) return true;
    // Anything there that is not a file, or cannot be looked at, is taken as a journal.
    if (error && error != std::errc::no_such_file_or_directory) return true;
  }
  return false;
}

void PrivateDatabaseCopy::writeBack(const std::filesystem::path& target) const {
  std::ifstream in(copy_, std::ios::binary);
  if (!in) throw std::system_error(errno, std::generic_category(), "cannot read the database's copy");
  AtomicFileWriter out(target);
  std::vector<char> block(1 << 20);
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    if (in.gcount() > 0) out.write(std::string_view(block.data(), static_cast<std::size_t>(in.gcount())));
  }
  if (in.bad()) throw std::system_error(EIO, std::generic_category(), "cannot read the database's copy");
  out.commit();
}

}  // namespace tabvora::workspace
