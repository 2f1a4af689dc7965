#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace tabvora {

// The whole contents of a file, read once. A regular file is mapped read-only (private);
// anything else (a pipe, a special file) is read into memory. Throws std::system_error
// when the file cannot be opened or read (a directory included). Movable, not copyable;
// the bytes live as long as the object.
class MappedFile {
 public:
  static MappedFile read(const std::filesystem::path& path);

  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
  std::string_view text() const { return {reinterpret_cast<const char*>(data_), size_}; }
  std::size_t size() const { return size_; }

 private:
  MappedFile() = default;
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  void* mapping_ = nullptr;  // non-null when mapped
  std::vector<std::uint8_t> owned_;
};

}  // namespace tabvora
