#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabvora::internal::SQLDialectNormalizer {

// One lexical token of a (rewritten) statement.
struct Token {
  enum class Kind {
    word,    // identifier, keyword or number, as written
    quoted,  // double-quoted identifier: inner text, doubled quotes collapsed
    string,  // single-quoted literal, as written including its quotes
    punct,   // any other single ASCII byte
  };
  Kind kind;
  std::string text;

  // A word equal to `upper` ignoring ASCII case (`upper` given in upper case).
  bool isWord(std::string_view upper) const;
  bool isPunct(char c) const { return kind == Kind::punct && text.size() == 1 && text[0] == c; }
  // A word or a quoted identifier: something that names a table or column.
  bool isName() const { return kind == Kind::word || kind == Kind::quoted; }
};

// Identifier bytes: ASCII letters, digits, "$", "_" and every byte from 0x80 on.
bool isIdentifierByte(unsigned char c);
// 0x09 to 0x0D and space.
bool isSQLWhiteSpace(unsigned char c);

// The tokens of a statement, white space dropped; backslashes have no special meaning.
// Stops after `maxTokens` tokens, so a caller that needs only a statement's head does
// not pay for the rest.
std::vector<Token> tokenize(std::string_view statement,
                            std::size_t maxTokens = std::numeric_limits<std::size_t>::max());

// Up to kMaxLeadingWords words of the first kLeadingWordsScanBytes bytes, ASCII letters
// upper-cased; words end at white space, "(" and ";", and the scan stops at the first "(".
std::vector<std::string> leadingWords(std::string_view statement);

// The kind word of a CREATE/ALTER/DROP statement (TABLE, VIEW, INDEX, TRIGGER, ...) given
// its leading words: the first word after word 0 that is not a modifier (OR, REPLACE,
// TEMP, UNIQUE, DEFINER, ...) and contains neither "=" nor "@". Nothing when there is none.
std::optional<std::string> objectKind(const std::vector<std::string>& words);

}  // namespace tabvora::internal::SQLDialectNormalizer
