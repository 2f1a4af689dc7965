#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/text_encoding.hpp"

namespace tabvora::internal {

// What checks of the bytes past a file's leading ones found. Each only ever turns true.
struct DelimitedRestFacts {
  // The file is not in the Unicode form its leading bytes are (UTF-8, or UTF-16 after its mark).
  bool notUnicode = false;
  // A byte that Windows-1252 leaves undefined occurs in the file.
  bool undefinedInWindows1252 = false;
};

// The text of a delimited file's leading bytes (all of the file, or a first part of it). The
// encoding of a whole file is decided in this order:
//   1. after a UTF-8 mark (EF BB BF), UTF-8 when the bytes after the mark are UTF-8;
//   2. after a UTF-16 mark (FF FE little-, FE FF big-endian), UTF-16 when the bytes after it
//      are well-formed;
//   3. otherwise UTF-8 when all bytes are UTF-8, else Windows-1252 when none of its undefined
//      bytes occurs, else ISO Latin 1 (which always succeeds). After a UTF-8 mark these
//      single-byte encodings decode the bytes after it: the mark is never text.
// Decoded text holds no NUL characters.
//
// Of a first part, the Unicode forms (1, 2 and UTF-8 in 3) are only provisional: a character
// cut by the part's end is left for the rest, whose own check is the caller's (restFrom).
// Bytes that already break the form, and an undefined Windows-1252 byte, decide for the
// whole file. `facts` adds what checks of the rest found.
struct DelimitedDecoding {
  TextEncoding encoding = TextEncoding::utf8;
  bool utf8Mark = false;  // the bytes begin with EF BB BF
  // The text in UTF-8. Absent for UTF-8, whose bytes are parsed as they stand, mark included.
  std::optional<std::string> text;
  // Offset of the first byte the decoding has not vouched for: the rest of the file from
  // here must keep to a Unicode form; for a single-byte encoding, the end of the bytes.
  std::uint64_t restFrom = 0;

  static DelimitedDecoding of(std::span<const std::uint8_t> leading, bool wholeFile,
                              const DelimitedRestFacts& facts = {});
};

// The whole file's text (DelimitedDecoding::of of all its bytes) as UTF-8 without its mark or
// NUL characters, and its encoding. Saving decodes the file this way to recover cell texts.
struct DecodedDelimitedText {
  std::string utf8;
  TextEncoding encoding;
};
DecodedDelimitedText decodeDelimitedText(std::span<const std::uint8_t> bytes);

// Whether one of the bytes Windows-1252 leaves undefined occurs.
bool containsUndefinedInWindows1252(std::span<const std::uint8_t> bytes);
// Whether text decoded from Windows-1252 holds a character that Latin 1 would have decoded
// differently. Those come exactly from the bytes 0x80-0x9F, and are all past U+00FF, which
// the other bytes never decode to.
bool differsFromLatin1(std::string_view windows1252Text);

}  // namespace tabvora::internal
