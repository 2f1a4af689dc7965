#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tabvora::internal {

// Checks that bytes handed over in pieces, cut anywhere, are well-formed UTF-8 (the rules of
// isValidUTF8). A character cut by the end of a piece is held back and checked with the next.
class UTF8StreamValidator {
 public:
  // False once any byte so far is not UTF-8; a character cut by the end of `bytes` is not
  // judged yet.
  bool feed(std::span<const std::uint8_t> bytes);
  // Whether everything fed is UTF-8, with no character left unfinished.
  bool finish() const { return valid_ && pendingLength_ == 0; }
  // Bytes at the end of what was fed that start a character not finished yet (0 to 3).
  std::size_t pendingBytes() const { return pendingLength_; }

 private:
  bool valid_ = true;
  std::array<std::uint8_t, 4> pending_{};
  std::size_t pendingLength_ = 0;
};

// Decodes UTF-16 of one byte order (the mark already removed) handed over in pieces, cut
// anywhere. Well-formed means whole code units and every surrogate in a high-low pair.
class UTF16StreamDecoder {
 public:
  explicit UTF16StreamDecoder(bool bigEndian) : bigEndian_(bigEndian) {}

  // Appends the text of the code points completed by `bytes` to `out` as UTF-8 (when `out` is
  // not null); false once the bytes so far are not well-formed.
  bool feed(std::span<const std::uint8_t> bytes, std::string* out);
  // Whether everything fed is well-formed, with no code point left unfinished.
  bool finish() const { return valid_ && pendingBytes() == 0; }
  // Bytes at the end of what was fed that start a code point not finished yet (0 to 3).
  std::size_t pendingBytes() const { return (oddByte_ ? 1 : 0) + (highSurrogate_ != 0 ? 2 : 0); }

 private:
  bool bigEndian_;
  bool valid_ = true;
  bool oddByte_ = false;
  std::uint8_t firstByte_ = 0;
  char16_t highSurrogate_ = 0;  // 0 when none waits for its low half
};

}  // namespace tabvora::internal
