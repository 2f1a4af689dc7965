#include "drivers/sqlscript/view_index_rewriter.hpp"

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"
#include "drivers/sqlscript/sql_tokens.hpp"
#include "platform/ascii_case.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

std::unique_ptr<icu::RegexPattern> compile(const char* pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError;
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), UREGEX_CASE_INSENSITIVE, parseError, status));
  if (U_FAILURE(status) || !compiled) throw std::logic_error(std::string("bad statement rewrite pattern: ") + pattern);
  return compiled;
}

const icu::RegexPattern& viewHeadPattern() {
  static const std::unique_ptr<icu::RegexPattern> pattern = compile(
      "^\\s*CREATE\\s+(?:OR\\s+REPLACE\\s+)?(?:ALGORITHM\\s*=\\s*\\w+\\s+)?(?:DEFINER\\s*=\\s*\\S+\\s+)?"
      "(?:SQL\\s+SECURITY\\s+\\w+\\s+)?((?:TEMP|TEMPORARY)\\s+)?(?:RECURSIVE\\s+)?VIEW\\s+");
  return *pattern;
}

const icu::RegexPattern& materializedViewHeadPattern() {
  static const std::unique_ptr<icu::RegexPattern> pattern = compile("^\\s*CREATE\\s+MATERIALIZED\\s+VIEW\\s+");
  return *pattern;
}

const icu::RegexPattern& onOnlyPattern() {
  static const std::unique_ptr<icu::RegexPattern> pattern = compile("\\sON\\s+ONLY\\s");
  return *pattern;
}

// The leftmost match of \s+USING\s+\w+ always starts where a run of white space starts;
// the look-behind only spares the matcher from retrying inside long runs.
const icu::RegexPattern& usingPattern() {
  static const std::unique_ptr<icu::RegexPattern> pattern = compile("(?<!\\s)\\s+USING\\s+\\w+");
  return *pattern;
}

struct Span {
  std::size_t start;
  std::size_t end;
};

// Runs a pattern over the window of the text (as UTF-8, invalid bytes matching as
// U+FFFD) and reports byte offsets. A match reaching the end of a cut window is not
// trusted, as it may go on past it.
class WindowMatcher {
 public:
  WindowMatcher(const icu::RegexPattern& pattern, std::string_view text)
      : window_(text.substr(0, std::min(text.size(), kStatementRewriteWindowBytes))),
        cut_(window_.size() < text.size()) {
    UErrorCode status = U_ZERO_ERROR;
    utext_ = utext_openUTF8(nullptr, window_.data(), static_cast<std::int64_t>(window_.size()), &status);
    matcher_.reset(pattern.matcher(status));
    if (U_FAILURE(status) || !matcher_) throw std::runtime_error("cannot start a statement rewrite");
    matcher_->reset(utext_);
  }
  ~WindowMatcher() {
    matcher_.reset();
    utext_close(utext_);
  }
  WindowMatcher(const WindowMatcher&) = delete;
  WindowMatcher& operator=(const WindowMatcher&) = delete;

  // The next match (or, anchored, the match at the start) and its first group.
  std::optional<std::pair<Span, std::optional<Span>>> next(bool anchored) {
    UErrorCode status = U_ZERO_ERROR;
    const bool found = anchored ? matcher_->lookingAt(status) : matcher_->find(status);
    if (U_FAILURE(status) || !found) return std::nullopt;
    const Span whole{static_cast<std::size_t>(matcher_->start64(status)),
                     static_cast<std::size_t>(matcher_->end64(status))};
    if (cut_ && whole.end >= window_.size()) return std::nullopt;
    std::optional<Span> group;
    if (matcher_->groupCount() >= 1 && matcher_->start64(1, status) >= 0) {
      group = Span{static_cast<std::size_t>(matcher_->start64(1, status)),
                   static_cast<std::size_t>(matcher_->end64(1, status))};
    }
    if (U_FAILURE(status)) return std::nullopt;
    return std::make_pair(whole, group);
  }

 private:
  std::string_view window_;
  bool cut_;
  UText* utext_ = nullptr;
  std::unique_ptr<icu::RegexMatcher> matcher_;
};

}  // namespace

std::string rewriteViewStatement(std::string_view statement) {
  WindowMatcher matcher(viewHeadPattern(), statement);
  const auto match = matcher.next(true);
  if (!match) return std::string(statement);
  std::string out = "CREATE ";
  if (match->second) out.append(statement.substr(match->second->start, match->second->end - match->second->start));
  out += "VIEW ";
  out.append(statement.substr(match->first.end));
  return out;
}

std::string rewriteMaterializedViewStatement(std::string_view statement) {
  WindowMatcher matcher(materializedViewHeadPattern(), statement);
  const auto match = matcher.next(true);
  if (!match) return std::string(statement);
  // The trailing WITH [NO] DATA, read word by word from the end.
  std::string_view body = statement.substr(match->first.end);
  auto dropLastWord = [&](std::string_view upper) {
    std::size_t end = body.size();
    while (end > 0 && isSQLWhiteSpace(static_cast<unsigned char>(body[end - 1]))) --end;
    if (end < upper.size() + 1 || !isSQLWhiteSpace(static_cast<unsigned char>(body[end - upper.size() - 1])))
      return false;
    if (!equalsIgnoringASCIICase(body.substr(end - upper.size(), upper.size()), upper)) return false;
    body = body.substr(0, end - upper.size());
    return true;
  };
  const std::string_view whole = body;
  if (dropLastWord("DATA")) {
    dropLastWord("NO");
    if (!dropLastWord("WITH")) body = whole;
  }
  return "CREATE VIEW " + std::string(body);
}

std::string rewriteIndexStatement(std::string_view statement) {
  std::string withoutOnly;
  {
    WindowMatcher matcher(onOnlyPattern(), statement);
    std::size_t copied = 0;
    while (const auto match = matcher.next(false)) {
      withoutOnly.append(statement.substr(copied, match->first.start - copied));
      withoutOnly += " ON ";
      copied = match->first.end;
    }
    withoutOnly.append(statement.substr(copied));
  }
  WindowMatcher matcher(usingPattern(), withoutOnly);
  const auto match = matcher.next(false);
  if (!match) return withoutOnly;
  return withoutOnly.substr(0, match->first.start) + withoutOnly.substr(match->first.end);
}

}  // namespace tabvora::internal::SQLDialectNormalizer
