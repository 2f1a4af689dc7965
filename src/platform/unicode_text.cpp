#include "platform/unicode_text.hpp"

#include <simdjson.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/locid.h>

namespace tabvora::internal {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool isASCII(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Start of the code point that ends at `end` (exclusive), looking back over at most three
// continuation bytes.
std::size_t previousCodePointStart(std::string_view text, std::size_t end) {
  std::size_t start = end - 1;
  int continuation = 0;
  while (start > 0 && continuation < 3 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
    --start;
    ++continuation;
  }
  return start;
}

template <typename Predicate>
std::string_view trimCodePoints(std::string_view text, Predicate isTrimmed) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = begin;
    if (!isTrimmed(decodeUTF8(text, next))) break;
    begin = next;
  }
  std::size_t end = text.size();
  while (end > begin) {
    const std::size_t start = previousCodePointStart(text, end);
    std::size_t next = start;
    const char32_t c = decodeUTF8(text, next);
    // A malformed tail decodes as U+FFFD over fewer bytes; it is never trimmed.
    if (next != end || !isTrimmed(c)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

std::string fromUnicodeString(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

}  // namespace

bool isUnicodeLetter(char32_t c) {
  return c <= kMaxCodePoint && (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_L_MASK) != 0;
}

bool isUnicodeNumber(char32_t c) {
  return c <= kMaxCodePoint && (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_N_MASK) != 0;
}

bool isUnicodeMark(char32_t c) {
  return c <= kMaxCodePoint && (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_M_MASK) != 0;
}

bool isWhitespaceOrNewline(char32_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85) return true;
  if (c < 0x80 || c > kMaxCodePoint) return false;
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_Z_MASK) != 0;
}

bool isWhitespace(char32_t c) {
  if (c == 0x09 || c == 0x20) return true;
  if (c < 0x80 || c > kMaxCodePoint) return false;
  return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  return trimCodePoints(text, isWhitespaceOrNewline);
}

std::string_view trimWhitespace(std::string_view text) { return trimCodePoints(text, isWhitespace); }

namespace {
// Root-locale case mapping; plain ASCII is mapped byte by byte, which ICU would do alike.
std::string changeCase(std::string_view text, bool upper) {
  if (isASCII(text)) {
    std::string out(text);
    const char from = upper ? 'a' : 'A';
    const char to = upper ? 'A' : 'a';
    for (char& c : out) {
      if (c >= from && c <= from + 25) c = static_cast<char>(c - from + to);
    }
    return out;
  }
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  return fromUnicodeString(upper ? s.toUpper(icu::Locale::getRoot()) : s.toLower(icu::Locale::getRoot()));
}
}  // namespace

std::string toUpperUnicode(std::string_view text) { return changeCase(text, true); }

std::string toLowerUnicode(std::string_view text) { return changeCase(text, false); }

std::string foldCase(std::string_view text) {
  if (isASCII(text)) return changeCase(text, false);
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  return fromUnicodeString(s.foldCase());
}

std::string toNFC(std::string_view text) {
  if (isASCII(text)) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::string(text);
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  icu::UnicodeString normalized = nfc->normalize(s, status);
  if (U_FAILURE(status)) return std::string(text);
  return fromUnicodeString(normalized);
}

bool isValidUTF8(std::span<const std::uint8_t> bytes) {
  return simdjson::validate_utf8(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool isValidUTF8(std::string_view bytes) { return simdjson::validate_utf8(bytes.data(), bytes.size()); }

namespace {

bool isContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8SequenceLength(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

std::size_t utf8PrefixLength(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t end = limit;
  // A continuation byte at the cut belongs to the character before it: cut before that one.
  for (int back = 0; back < 3 && end > 0 && isContinuationByte(text[end]); ++back) --end;
  return end;
}

std::size_t utf8CompleteLength(std::string_view bytes) {
  const std::size_t n = bytes.size();
  std::size_t start = n;
  for (int back = 0; back < 4 && start > 0; ++back) {
    --start;
    if (isContinuationByte(bytes[start])) continue;
    return utf8SequenceLength(static_cast<std::uint8_t>(bytes[start])) > n - start ? start : n;
  }
  return n;
}

// Each maximal subpart of an ill-formed sequence becomes one U+FFFD (the replacement
// practice of the Unicode standard, chapter 3): a truncated three-byte sequence E2 82
// gives one U+FFFD, while a stray continuation byte or an impossible lead byte gives one
// per byte.
std::string repairUTF8(std::string_view bytes) {
  if (isValidUTF8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  auto byteAt = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < n) {
    const unsigned char lead = byteAt(i);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    int needed = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      needed = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      needed = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      needed = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      appendUTF8(out, kReplacementCharacter);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int got = 0;
    while (got < needed && j < n) {
      const unsigned char b = byteAt(j);
      const bool ok = got == 0 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
      if (!ok) break;
      ++j;
      ++got;
    }
    if (got == needed) {
      out.append(bytes.substr(i, j - i));
    } else {
      appendUTF8(out, kReplacementCharacter);
    }
    i = j;
  }
  return out;
}

char32_t decodeUTF8(std::string_view text, std::size_t& pos) {
  if (pos >= text.size()) return 0;
  auto byteAt = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byteAt(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int needed;
  char32_t c;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1, c = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2, c = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3, c = lead & 0x07, minimum = 0x10000;
  } else {
    ++pos;
    return kReplacementCharacter;
  }
  if (pos + static_cast<std::size_t>(needed) >= text.size()) {  // truncated at the end
    ++pos;
    return kReplacementCharacter;
  }
  for (int k = 1; k <= needed; ++k) {
    const unsigned char b = byteAt(pos + static_cast<std::size_t>(k));
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return kReplacementCharacter;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > kMaxCodePoint || (c >= 0xD800 && c <= 0xDFFF)) {
    ++pos;
    return kReplacementCharacter;
  }
  pos += static_cast<std::size_t>(needed) + 1;
  return c;
}

void appendUTF8(std::string& out, char32_t c) {
  if (c > kMaxCodePoint || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacementCharacter;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace tabvora::internal
