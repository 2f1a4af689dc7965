#include "drivers/sqlscript/statement_splitter.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "drivers/sqlscript/sql_script_limits.hpp"
#include "drivers/sqlscript/sql_tokens.hpp"
#include "platform/ascii_case.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

bool containsIgnoringCase(std::string_view text, std::string_view lowerWord) {
  for (std::size_t k = 0; k + lowerWord.size() <= text.size(); ++k) {
    if (startsWithIgnoringASCIICase(text.substr(k), lowerWord)) return true;
  }
  return false;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void trimTrailingWhiteSpace(std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && isSQLWhiteSpace(static_cast<unsigned char>(text[end - 1]))) --end;
  text.resize(end);
}

// Room a statement's text starts with; a row INSERT of a dump is a few hundred bytes.
constexpr std::size_t kStatementReserveBytes = 512;

// Bytes that may start something other than plain statement text.
constexpr std::array<bool, 256> kSpecialBytes = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view("'\"`#-/*$")) table[c] = true;
  return table;
}();

// A CREATE [TEMP] TRIGGER statement with a BEGIN: its ";" may belong to the body.
bool isTriggerWithBody(std::string_view text) {
  if (!startsWithIgnoringASCIICase(text, "create")) return false;
  const std::vector<std::string> words = leadingWords(text);
  const bool trigger = (words.size() > 1 && words[1] == "TRIGGER") ||
                       (words.size() > 2 && (words[1] == "TEMP" || words[1] == "TEMPORARY") && words[2] == "TRIGGER");
  return trigger && containsIgnoringCase(text, "begin");
}

// Where `tag` ("$name$") next occurs from `from` on. Candidates are compared byte by byte
// up to the first difference; the bytes a failed comparison matched hold no "$", so the
// next candidate lies past them and the search is linear however long the tag.
std::size_t findDollarTag(std::string_view script, std::string_view tag, std::size_t from) {
  while (true) {
    const std::size_t at = script.find('$', from);
    if (at == std::string_view::npos || script.size() - at < tag.size()) return std::string_view::npos;
    std::size_t matched = 1;
    while (matched < tag.size() && script[at + matched] == tag[matched]) ++matched;
    if (matched == tag.size()) return at;
    from = at + 1;
  }
}

bool isCopyFromStdin(std::string_view text) {
  return text.size() > kMinCopyStatementBytes && startsWithIgnoringASCIICase(text, "copy") &&
         isSQLWhiteSpace(static_cast<unsigned char>(text[4])) && endsWithIgnoringASCIICase(text, "stdin");
}

}  // namespace

StatementSplitter::StatementSplitter(std::string_view script, SQLDialect dialect)
    : script_(script), dialect_(dialect) {}

std::optional<SplitStatement> StatementSplitter::next() {
  const char* const s = script_.data();
  const std::size_t n = script_.size();
  std::size_t i = position_;
  std::string text;
  text.reserve(kStatementReserveBytes);  // most statements of a dump fit: one allocation each
  // Inside a generic trigger body: where the text after the last ";" starts. Each piece of
  // the body is given to sqlite3_complete once, so long bodies stay linear.
  std::optional<std::size_t> triggerPieceStart;

  auto byteAt = [&](std::size_t at) { return static_cast<unsigned char>(s[at]); };
  auto precededByIdentifier = [&](std::size_t at) { return at > 0 && isIdentifierByte(byteAt(at - 1)); };
  auto skipLine = [&](std::size_t from) {
    const std::size_t lineEnd = script_.find('\n', from);
    return lineEnd == std::string_view::npos ? n : lineEnd + 1;
  };

  // Whether a ";" reached here belongs to a generic trigger's body rather than ending it.
  auto semicolonContinuesTrigger = [&]() {
    if (dialect_ != SQLDialect::generic || delimiter_.size() != 1) return false;
    std::string probe;
    if (!triggerPieceStart) {
      if (!isTriggerWithBody(text)) return false;
      probe = text + ";";
    } else {
      // sqlite3_complete's state after an incomplete ";" of a trigger is the one
      // "CREATE TRIGGER;" leaves; the rest of the text continues from there.
      probe = "CREATE TRIGGER;" + text.substr(*triggerPieceStart) + ";";
    }
    if (sqlite3_complete(probe.c_str()) != 0) return false;
    text += ';';
    triggerPieceStart = text.size();
    return true;
  };

  while (i < n) {
    const char c = s[i];
    if (text.empty()) {
      if (isSQLWhiteSpace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
    }

    if (c == delimiter_[0] && script_.compare(i, delimiter_.size(), delimiter_) == 0) {
      if (semicolonContinuesTrigger()) {
        ++i;
        continue;
      }
      i += delimiter_.size();
      trimTrailingWhiteSpace(text);
      if (text.empty()) continue;
      SplitStatement statement{std::move(text), std::nullopt, false};
      position_ = i;
      if (isCopyFromStdin(statement.text)) statement.copyData = readCopyData();
      return statement;
    }

    if (c == '\'' || c == '"' || c == '`') {
      const bool eString = c == '\'' && i > 0 && asciiLower(s[i - 1]) == 'e' &&
                           (i == 1 || (byteAt(i - 2) < 0x80 && !isIdentifierByte(byteAt(i - 2))));
      const bool escapes = (dialect_ == SQLDialect::mysql && c != '`') || eString;
      std::size_t j = i + 1;
      if (!escapes) {
        const std::size_t close = script_.find(c, j);
        j = close == std::string_view::npos ? n : close + 1;
      } else {
        while (j < n && s[j] != c) j += (s[j] == '\\') ? 2 : 1;
        j = j < n ? j + 1 : n;
      }
      text.append(s + i, j - i);
      i = j;
      continue;
    }

    if ((c == '#' && dialect_ == SQLDialect::mysql) || (c == '-' && i + 1 < n && s[i + 1] == '-')) {
      i = std::min(script_.find('\n', i), n);
      continue;
    }

    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      // An executable comment, "/*!" or MariaDB's "/*M!", with an optional version: its
      // content runs when the version is one the emulated server has reached.
      std::size_t bang = i + 2;
      if (bang + 1 < n && s[bang] == 'M' && s[bang + 1] == '!') ++bang;
      if (bang < n && s[bang] == '!') {
        std::size_t j = bang + 1;
        std::uint32_t version = 0;
        while (j < n && isDigit(s[j]) && j - bang <= kMaxCommentVersionDigits) {
          version = version * 10 + static_cast<std::uint32_t>(s[j] - '0');
          ++j;
        }
        if (j == bang + 1 || version <= kEmulatedServerVersion) {
          i = j;
          ++conditionalDepth_;
          continue;
        }
      }
      const std::size_t close = script_.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
      continue;
    }

    if (c == '*' && conditionalDepth_ > 0 && i + 1 < n && s[i + 1] == '/') {
      --conditionalDepth_;
      i += 2;
      continue;
    }

    if (c == '$' && dialect_ != SQLDialect::mysql && !precededByIdentifier(i)) {
      std::size_t j = i + 1;
      if (j < n && !isDigit(s[j])) {
        while (j < n && s[j] != '$' && isIdentifierByte(byteAt(j))) ++j;
      }
      if (j < n && s[j] == '$') {
        const std::size_t tagSize = j + 1 - i;
        const std::size_t close = findDollarTag(script_, script_.substr(i, tagSize), j + 1);
        const std::size_t end = close == std::string_view::npos ? n : close + tagSize;
        text.append(s + i, end - i);
        i = end;
        continue;
      }
    }

    if (text.empty()) {
      if (startsWithIgnoringASCIICase(script_.substr(i), "delimiter") && i + 9 < n &&
          (s[i + 9] == ' ' || s[i + 9] == '\t')) {
        std::size_t j = i + 9;
        while (j < n && (s[j] == ' ' || s[j] == '\t')) ++j;
        const std::size_t start = j;
        while (j < n && !isSQLWhiteSpace(byteAt(j))) ++j;
        if (j > start && j - start <= kMaxDelimiterBytes) delimiter_.assign(s + start, j - start);
        i = skipLine(j);
        continue;
      }
      if (c == '\\' && dialect_ != SQLDialect::mysql) {
        position_ = skipLine(i);
        SplitStatement line{std::string(script_.substr(i, position_ - i)), std::nullopt, true};
        trimTrailingWhiteSpace(line.text);
        return line;
      }
    }

    // Plain bytes up to the next one that may start something else.
    std::size_t j = i + 1;
    const unsigned char delimiterStart = static_cast<unsigned char>(delimiter_[0]);
    while (j < n && !kSpecialBytes[byteAt(j)] && byteAt(j) != delimiterStart) ++j;
    text.append(s + i, j - i);
    i = j;
  }

  position_ = n;
  trimTrailingWhiteSpace(text);
  if (text.empty()) return std::nullopt;
  return SplitStatement{std::move(text), std::nullopt, false};
}

std::string_view StatementSplitter::readCopyData() {
  const std::size_t n = script_.size();
  const std::size_t statementLineEnd = script_.find('\n', position_);
  if (statementLineEnd == std::string_view::npos) {
    position_ = n;
    return script_.substr(n);
  }
  const std::size_t start = statementLineEnd + 1;
  std::size_t line = start;
  while (line < n) {
    const std::size_t end = std::min(script_.find('\n', line), n);
    std::string_view text = script_.substr(line, end - line);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (text == "\\.") {
      position_ = end < n ? end + 1 : n;
      return script_.substr(start, line - start);
    }
    line = end + 1;
  }
  position_ = n;
  return script_.substr(start);
}

}  // namespace tabvora::internal::SQLDialectNormalizer
