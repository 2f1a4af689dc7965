#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tabvora::internal {

// Unicode general categories L* (letters) and N* (numbers).
bool isUnicodeLetter(char32_t c);
bool isUnicodeNumber(char32_t c);
// Unicode general category M* (combining marks), which belong to the character before them.
bool isUnicodeMark(char32_t c);
// Unicode white space and line breaks: category Z* plus U+0009-000D and U+0085.
bool isWhitespaceOrNewline(char32_t c);
// Unicode white space without line breaks: category Zs plus the tab.
bool isWhitespace(char32_t c);

// Trims Unicode white space and line breaks from both ends of UTF-8 text.
std::string_view trimWhitespaceAndNewlines(std::string_view text);
// Trims Unicode white space without line breaks (spaces, tabs, no-break spaces ...).
std::string_view trimWhitespace(std::string_view text);

std::string toUpperUnicode(std::string_view text);
std::string toLowerUnicode(std::string_view text);
// Full Unicode case folding, for comparing texts without regard to case ("Straße" and
// "STRASSE" fold alike).
std::string foldCase(std::string_view text);
// Canonical composition (NFC), so canonically equivalent texts compare equal byte for byte.
std::string toNFC(std::string_view text);

// Whether the bytes are well-formed UTF-8 (no overlongs, surrogates or code points past
// U+10FFFF). Vectorised; an empty buffer is valid.
bool isValidUTF8(std::span<const std::uint8_t> bytes);
bool isValidUTF8(std::string_view bytes);
// The text with every invalid UTF-8 sequence replaced by U+FFFD, one per maximal subpart.
std::string repairUTF8(std::string_view bytes);

// Decodes one code point of valid-or-not UTF-8 at `pos`, advancing it; U+FFFD for a bad
// sequence (one byte consumed). At or past the end it returns 0 and leaves `pos` alone.
char32_t decodeUTF8(std::string_view text, std::size_t& pos);
void appendUTF8(std::string& out, char32_t c);
// Where to cut text at most `limit` bytes long without splitting a UTF-8 character: the
// whole text when it is no longer, else `limit` less the continuation bytes (at most three,
// as many as a character has) that would be cut from the character they belong to.
std::size_t utf8PrefixLength(std::string_view text, std::size_t limit);
// The length of bytes that a read limit may have cut, less a character cut short at their
// end: a lead byte of a two- to four-byte sequence followed by fewer continuation bytes than
// it needs. Whatever else is wrong at the end stays in, to be found invalid.
std::size_t utf8CompleteLength(std::string_view bytes);
// Bytes of the UTF-8 character a lead byte starts (1 to 4); 0 for a byte that starts none.
std::size_t utf8SequenceLength(std::uint8_t lead);
inline std::size_t utf8CompleteLength(std::span<const std::uint8_t> bytes) {
  return utf8CompleteLength(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace tabvora::internal
