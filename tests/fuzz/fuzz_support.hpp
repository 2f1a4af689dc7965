#pragma once

// What the fuzz targets share: a failed promise ends the run, and targets that go through
// files get a folder of their own and a way to put the input there.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/driver_error.hpp"

namespace tabvora::fuzzing {

// A promise the code under test broke: abort, so the fuzzer keeps the input.
inline void check(bool condition) {
  if (!condition) std::abort();
}

// A folder of this process's own under the temporary folder, made on first use and
// removed with everything in it when the process exits.
inline const std::filesystem::path& privateFolder() {
  struct Folder {
    std::filesystem::path path;
    Folder() {
      std::string pattern = (std::filesystem::temp_directory_path() / "tabvora-fuzz-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) std::abort();
      path = pattern;
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

// Runs the operation; a DriverError, a clean refusal, ends it quietly. Whether it finished.
template <typename Operation>
bool refusalAllowed(Operation&& operation) {
  try {
    operation();
    return true;
  } catch (const tabvora::internal::DriverError&) {
    return false;
  }
}

// Replaces the file's contents with the bytes.
inline void writeBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace tabvora::fuzzing
