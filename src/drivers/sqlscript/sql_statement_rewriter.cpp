#include "drivers/sqlscript/sql_statement_rewriter.hpp"

#include <algorithm>
#include <cstdint>

#include "drivers/sqlscript/sql_escapes.hpp"
#include "drivers/sqlscript/sql_script_limits.hpp"
#include "drivers/sqlscript/sql_tokens.hpp"
#include "platform/ascii_case.hpp"
#include "platform/sql_quoting.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isWordStart(unsigned char c) { return isIdentifierByte(c) && c != '$'; }

// The decoded content of a single-quoted literal and where it ends.
struct Literal {
  std::string content;
  std::size_t end = 0;  // past the closing quote, or the end of the input
  bool terminated = false;
};

// A literal with backslash escapes starting at s[start] == '\''; doubled quotes give one
// apostrophe. `unescape(s, i, content)` appends what the escape whose letter is s[i]
// stands for and returns where the escape ends.
template <typename Unescape>
Literal decodeEscapedLiteral(std::string_view s, std::size_t start, Unescape unescape) {
  Literal literal;
  std::size_t i = start + 1;
  const std::size_t n = s.size();
  while (i < n) {
    const char c = s[i];
    if (c == '\'') {
      if (i + 1 < n && s[i + 1] == '\'') {
        literal.content += '\'';
        i += 2;
        continue;
      }
      literal.terminated = true;
      ++i;
      break;
    }
    if (c != '\\') {
      literal.content += c;
      ++i;
    } else if (i + 1 == n) {
      literal.content += '\\';
      ++i;
    } else {
      i = unescape(s, i + 1, literal.content);
    }
  }
  literal.end = i;
  return literal;
}

std::size_t unescapeMySQL(std::string_view s, std::size_t i, std::string& content) {
  const char escaped = s[i];
  if (const std::optional<char> byte = letterEscape(kMySQLLetterEscapes, escaped)) {
    content += *byte;
  } else if (escaped == '%' || escaped == '_') {
    // Kept for LIKE patterns.
    content += '\\';
    content += escaped;
  } else {
    // Any other byte, NUL and bytes of multi-byte characters included, stands for itself.
    content += escaped;
  }
  return i + 1;
}

// PostgreSQL E-string escapes. Octal and hexadecimal escapes give raw bytes (several of
// them make one multi-byte character); \u and \U give a code point in UTF-8.
std::size_t unescapePostgres(std::string_view s, std::size_t i, std::string& content) {
  const char escaped = s[i++];
  if (const std::optional<char> byte = letterEscape(kPostgresLetterEscapes, escaped)) {
    content += *byte;
  } else if (const std::optional<char> byte = numericEscape(s, i, escaped)) {
    content += *byte;
  } else if (escaped == 'u' || escaped == 'U') {
    const std::size_t width = escaped == 'u' ? 4 : 8;
    if (i + width > s.size() || !std::all_of(s.begin() + i, s.begin() + i + width, isHexDigit)) {
      content += escaped;
      return i;
    }
    std::uint32_t codePoint = 0;
    for (std::size_t k = 0; k < width; ++k) codePoint = codePoint * 16 + hexValue(s[i + k]);
    i += width;
    if ((codePoint < 0xD800 || codePoint > 0xDFFF) && codePoint <= 0x10FFFF) appendUTF8(content, codePoint);
  } else {
    content += escaped;
  }
  return i;
}

// Writes decoded literal content as an SQLite literal.
void appendLiteral(std::string& out, const Literal& literal) {
  out += '\'';
  appendSQLStringContent(out, literal.content);
  if (literal.terminated) out += '\'';
}

// A literal written the standard way: copied, doubled quotes kept, NUL bytes written in
// the NUL form. Returns where it ends.
std::size_t copyStandardLiteral(std::string& out, std::string_view s, std::size_t start) {
  std::size_t i = start + 1;
  out += '\'';
  while (i < s.size()) {
    const char c = s[i++];
    if (c == '\0') {
      out += kSQLNulJoin;
      continue;
    }
    out += c;
    if (c == '\'') {
      if (i < s.size() && s[i] == '\'') {
        out += s[i++];
        continue;
      }
      break;
    }
  }
  return i;
}

// Where the quoted run starting at s[start] ends (past its closing quote, or the end).
std::size_t quotedRunEnd(std::string_view s, std::size_t start, bool backslashEscapes) {
  const char quote = s[start];
  std::size_t i = start + 1;
  while (i < s.size() && s[i] != quote) i += (backslashEscapes && s[i] == '\\') ? 2 : 1;
  return i < s.size() ? i + 1 : s.size();
}

// The target of a "::" cast starting at s[start] (just after the "::"): its end, or
// `start` when no type name follows.
std::size_t castTargetEnd(std::string_view s, std::size_t start) {
  const std::size_t n = s.size();
  auto byteAt = [&](std::size_t at) { return static_cast<unsigned char>(s[at]); };
  auto skipSpaces = [&](std::size_t at) {
    while (at < n && isSQLWhiteSpace(byteAt(at))) ++at;
    return at;
  };
  // A name part: identifier bytes, or a double-quoted name.
  auto namePartEnd = [&](std::size_t at) {
    if (at < n && s[at] == '"') return quotedRunEnd(s, at, false);
    while (at < n && isIdentifierByte(byteAt(at))) ++at;
    return at;
  };
  // Past the word `lower` after optional white space, or `at` when it is not there.
  auto wordAfter = [&](std::size_t at, std::string_view lower) {
    const std::size_t wordStart = skipSpaces(at);
    const std::size_t wordEnd = namePartEnd(wordStart);
    return equalsIgnoringASCIICase(s.substr(wordStart, wordEnd - wordStart), lower) ? wordEnd : at;
  };
  auto modifierEnd = [&](std::size_t at) {
    if (at >= n || s[at] != '(') return at;
    std::size_t depth = 0;
    for (std::size_t k = at; k < n; ++k) {
      if (s[k] == '(') ++depth;
      if (s[k] == ')' && --depth == 0) return k + 1;
    }
    return n;
  };

  const std::size_t nameStart = skipSpaces(start);
  std::size_t i = namePartEnd(nameStart);
  if (i == nameStart) return start;
  std::string_view name = s.substr(nameStart, i - nameStart);
  while (i + 1 < n && s[i] == '.' && (s[i + 1] == '"' || isIdentifierByte(byteAt(i + 1)))) {
    const std::size_t partStart = i + 1;
    i = namePartEnd(partStart);
    name = s.substr(partStart, i - partStart);
  }
  // A modifier may stand before the multi-word part too: timestamp(6) with time zone.
  const std::size_t beforeModifier = i;
  i = modifierEnd(i);
  const bool modified = i != beforeModifier;
  if (equalsIgnoringASCIICase(name, "national")) {
    std::size_t next = wordAfter(i, "character");
    if (next == i) next = wordAfter(i, "char");
    i = wordAfter(next, "varying");
  } else if (equalsIgnoringASCIICase(name, "character") || equalsIgnoringASCIICase(name, "char") ||
             equalsIgnoringASCIICase(name, "bit")) {
    i = wordAfter(i, "varying");
  } else if (equalsIgnoringASCIICase(name, "double")) {
    i = wordAfter(i, "precision");
  } else if (equalsIgnoringASCIICase(name, "time") || equalsIgnoringASCIICase(name, "timestamp")) {
    std::size_t with = wordAfter(i, "with");
    if (with == i) with = wordAfter(i, "without");
    if (with != i) {
      const std::size_t time = wordAfter(with, "time");
      const std::size_t zone = time != with ? wordAfter(time, "zone") : time;
      if (zone != time) i = zone;
    }
  }
  if (!modified) i = modifierEnd(i);
  while (i < n && s[i] == '[') {
    std::size_t k = i + 1;
    while (k < n && isDigit(byteAt(k))) ++k;
    if (k >= n || s[k] != ']') break;
    i = k + 1;
  }
  return i;
}

// The INSERT/REPLACE head rules, fed one word at a time.
class InsertHead {
 public:
  enum class Action { keep, drop, orIgnore };

  bool examining() const { return examining_; }

  Action take(std::string_view word) {
    const Action action = decide(words_++, word);
    // Words an OVERRIDING clause drops go even past the last examined word.
    if (words_ >= kInsertHeadWords && overridingWords_ == 0) examining_ = false;
    return action;
  }

 private:
  Action decide(std::size_t index, std::string_view word) {
    if (index == 0) {
      if (!equalsIgnoringASCIICase(word, "insert") && !equalsIgnoringASCIICase(word, "replace")) examining_ = false;
      return Action::keep;
    }
    if (overridingWords_ > 0) {
      --overridingWords_;
      return Action::drop;
    }
    // IGNORE may follow a priority modifier too (INSERT LOW_PRIORITY IGNORE INTO).
    const bool modifierPlace = index == 1 || (index == 2 && priorityDropped_);
    if (modifierPlace && equalsIgnoringASCIICase(word, "ignore")) return Action::orIgnore;
    if (index == 1 && (equalsIgnoringASCIICase(word, "delayed") || equalsIgnoringASCIICase(word, "low_priority") ||
                       equalsIgnoringASCIICase(word, "high_priority"))) {
      priorityDropped_ = true;
      return Action::drop;
    }
    if (equalsIgnoringASCIICase(word, "overriding")) {
      overridingWords_ = 2;
      return Action::drop;
    }
    if (equalsIgnoringASCIICase(word, "set") || equalsIgnoringASCIICase(word, "with") ||
        equalsIgnoringASCIICase(word, "values") || equalsIgnoringASCIICase(word, "select")) {
      examining_ = false;
    }
    return Action::keep;
  }

  bool examining_ = true;
  std::size_t words_ = 0;
  std::size_t overridingWords_ = 0;
  bool priorityDropped_ = false;
};

bool isSchemaName(std::string_view name, const std::set<std::string>& schemas) {
  if (schemas.empty() || name.size() > kMaxSchemaNameBytes) return false;
  return schemas.count(asciiLowered(name)) > 0;
}

}  // namespace

std::string rewriteStatement(std::string_view s, SQLDialect dialect, const std::set<std::string>& schemas) {
  const bool mysql = dialect == SQLDialect::mysql;
  const std::size_t n = s.size();
  auto byteAt = [&](std::size_t at) { return static_cast<unsigned char>(s[at]); };
  std::string out;
  out.reserve(n + n / 16);
  InsertHead head;
  std::size_t i = 0;

  while (i < n) {
    const char c = s[i];
    if (c == '\'') {
      if (mysql) {
        const Literal literal = decodeEscapedLiteral(s, i, unescapeMySQL);
        appendLiteral(out, literal);
        i = literal.end;
      } else {
        i = copyStandardLiteral(out, s, i);
      }
      continue;
    }
    if (c == '"') {
      const std::size_t end = quotedRunEnd(s, i, mysql);
      const std::size_t innerEnd = end > i + 1 && s[end - 1] == '"' ? end - 1 : end;
      if (end < n && s[end] == '.' && isSchemaName(s.substr(i + 1, innerEnd - i - 1), schemas)) {
        i = end + 1;
        continue;
      }
      out.append(s, i, end - i);
      i = end;
      continue;
    }
    if (c == ':' && !mysql && i + 1 < n && s[i + 1] == ':') {
      const std::size_t end = castTargetEnd(s, i + 2);
      if (end == i + 2) {
        out += "::";
      }
      i = end;
      continue;
    }
    if (c == '`') {
      out += '"';
      std::size_t k = i + 1;
      for (; k < n; ++k) {
        if (s[k] == '`') {
          if (k + 1 < n && s[k + 1] == '`') {
            out += '`';
            ++k;
            continue;
          }
          out += '"';
          ++k;
          break;
        }
        if (s[k] == '"') out += '"';
        out += s[k];
      }
      i = k;
      continue;
    }
    if (!isWordStart(byteAt(i))) {
      out += c;
      ++i;
      continue;
    }

    std::size_t end = i + 1;
    while (end < n && isIdentifierByte(byteAt(end))) ++end;
    const std::string_view word = s.substr(i, end - i);
    const bool quoteFollows = end < n && s[end] == '\'';

    if (quoteFollows && word.size() == 1 && asciiLower(word[0]) == 'b') {
      std::size_t k = end + 1;
      std::uint64_t value = 0;
      while (k < n && (s[k] == '0' || s[k] == '1') && k - end - 1 < kMaxBinaryLiteralDigits) {
        value = value * 2 + static_cast<std::uint64_t>(s[k] - '0');
        ++k;
      }
      if (k > end + 1 && k < n && s[k] == '\'') {
        out += std::to_string(value);
        i = k + 1;
        continue;
      }
    }
    if (quoteFollows && word.size() == 1 && asciiLower(word[0]) == 'n') {
      i = end;
      continue;
    }
    if (quoteFollows && word.size() == 1 && asciiLower(word[0]) == 'e') {
      const Literal literal = decodeEscapedLiteral(s, end, unescapePostgres);
      appendLiteral(out, literal);
      i = literal.end;
      continue;
    }
    if (mysql && word[0] == '_') {
      std::size_t k = end;
      while (k < n && s[k] == ' ') ++k;
      if (k < n && s[k] == '\'') {
        if (equalsIgnoringASCIICase(word, "_binary")) {
          const Literal literal = decodeEscapedLiteral(s, k, unescapeMySQL);
          appendSQLBlobLiteral(out, literal.content);
          i = literal.end;
        } else {
          i = end;
        }
        continue;
      }
    }
    if (mysql && word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
      const std::string_view digits = word.substr(2);
      bool hex = true;
      for (char d : digits) hex = hex && isHexDigit(d);
      if (hex) {
        out += "X'";
        if (digits.size() % 2 == 1) out += '0';
        out += digits;
        out += '\'';
        i = end;
        continue;
      }
    }
    if (end < n && s[end] == '.' && isSchemaName(word, schemas)) {
      i = end + 1;
      continue;
    }
    i = end;
    if (head.examining()) {
      switch (head.take(word)) {
        case InsertHead::Action::keep: out += word; break;
        case InsertHead::Action::drop: break;
        case InsertHead::Action::orIgnore: out += "OR IGNORE"; break;
      }
      continue;
    }
    out += word;
  }
  return out;
}

}  // namespace tabvora::internal::SQLDialectNormalizer
