#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/text_encoding.hpp"

namespace tabvora {

struct DecodedDelimitedText {
  std::string utf8;  // NUL characters removed
  TextEncoding encoding;
};

// Decodes a delimited file that is not plain UTF-8, trying in order: UTF-8 after a UTF-8
// byte-order mark; UTF-16 when the bytes begin with its byte-order mark (endianness from
// the mark); then the whole buffer as UTF-8, Windows-1252 and ISO Latin 1. Absent when
// nothing fits. Saving decodes the file the same way to recover the text of its cells.
std::optional<DecodedDelimitedText> decodeDelimitedText(std::span<const std::uint8_t> bytes);

}  // namespace tabvora
