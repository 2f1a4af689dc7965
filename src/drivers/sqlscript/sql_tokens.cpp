#include "drivers/sqlscript/sql_tokens.hpp"

#include <algorithm>
#include <array>

#include "drivers/sqlscript/sql_script_limits.hpp"
#include "platform/ascii_case.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

bool isASCIILetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool isIdentifierByte(unsigned char c) { return isASCIILetter(c) || isDigit(c) || c == '$' || c == '_' || c >= 0x80; }

bool isSQLWhiteSpace(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

bool Token::isWord(std::string_view upper) const { return kind == Kind::word && equalsIgnoringASCIICase(text, upper); }

std::vector<Token> tokenize(std::string_view s, std::size_t maxTokens) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  const std::size_t n = s.size();
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(s[at]); };
  while (i < n && tokens.size() < maxTokens) {
    const unsigned char c = byte(i);
    if (isSQLWhiteSpace(c)) {
      ++i;
    } else if (c == '\'' || c == '"') {
      // A doubled quote stays inside; an unterminated literal runs to the end.
      const char quote = static_cast<char>(c);
      std::string inner;
      std::size_t j = i + 1;
      while (j < n) {
        const std::size_t close = std::min(s.find(quote, j), n);
        if (quote == '"') inner.append(s, j, close - j);
        j = close + 1;
        if (close == n || j == n || s[j] != quote) break;
        if (quote == '"') inner += quote;
        ++j;
      }
      j = std::min(j, n);
      if (quote == '\'') {
        tokens.push_back({Token::Kind::string, std::string(s.substr(i, j - i))});
      } else {
        tokens.push_back({Token::Kind::quoted, std::move(inner)});
      }
      i = j;
    } else if (isDigit(c)) {
      std::size_t j = i + 1;
      while (j < n && (isIdentifierByte(byte(j)) || (s[j] == '.' && j + 1 < n && isDigit(byte(j + 1))))) ++j;
      tokens.push_back({Token::Kind::word, std::string(s.substr(i, j - i))});
      i = j;
    } else if (isIdentifierByte(c)) {
      std::size_t j = i + 1;
      while (j < n && isIdentifierByte(byte(j))) ++j;
      tokens.push_back({Token::Kind::word, std::string(s.substr(i, j - i))});
      i = j;
    } else {
      tokens.push_back({Token::Kind::punct, std::string(1, s[i])});
      ++i;
    }
  }
  return tokens;
}

std::vector<std::string> leadingWords(std::string_view statement) {
  const std::string_view head = statement.substr(0, std::min(statement.size(), kLeadingWordsScanBytes));
  std::vector<std::string> words;
  words.reserve(kMaxLeadingWords);
  std::string word;
  for (char c : head) {
    const bool separator = isSQLWhiteSpace(static_cast<unsigned char>(c)) || c == '(' || c == ';';
    if (!separator) {
      word += asciiUpper(c);
      continue;
    }
    if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
      if (words.size() == kMaxLeadingWords) return words;
    }
    if (c == '(') return words;
  }
  if (!word.empty() && words.size() < kMaxLeadingWords) words.push_back(std::move(word));
  return words;
}

std::optional<std::string> objectKind(const std::vector<std::string>& words) {
  static constexpr std::array<std::string_view, 19> kModifiers = {
      "OR",        "REPLACE",    "TEMP",    "TEMPORARY",  "GLOBAL",   "LOCAL",   "UNLOGGED",
      "UNIQUE",    "FULLTEXT",   "SPATIAL", "SQL",        "SECURITY", "DEFINER", "INVOKER",
      "RECURSIVE", "CONSTRAINT", "TRUSTED", "PROCEDURAL", "DEFAULT"};
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.find('=') != std::string::npos || word.find('@') != std::string::npos) continue;
    if (std::find(kModifiers.begin(), kModifiers.end(), word) != kModifiers.end()) continue;
    return word;
  }
  return std::nullopt;
}

}  // namespace tabvora::internal::SQLDialectNormalizer
