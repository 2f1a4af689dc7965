#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tabvora::internal {

// Bytes a text reader looks at before it reads a file as text.
inline constexpr std::size_t kBinarySniffLength = 4096;

// What the first bytes of a file show it to be when that is not text: a known signature
// (compressed streams, archives, executables, images, documents) or, failing that, NUL
// bytes that UTF-16 or UTF-32 text does not explain. Names read after "it holds", such as
// "gzip-compressed data" or "an ELF executable". Absent for text (any encoding with a
// byte-order mark, UTF-16/UTF-32 without one, and every byte stream free of NULs).
std::optional<std::string_view> binaryContentName(std::span<const std::uint8_t> leadingBytes);

}  // namespace tabvora::internal
