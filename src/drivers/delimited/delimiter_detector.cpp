#include "drivers/delimited/delimiter_detector.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "model/database_format.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

struct Character {
  char32_t first = 0;
  bool composite = false;  // more than one scalar, so equal to no single-scalar candidate
};

std::vector<Character> characters(std::string_view text) {
  std::vector<Character> out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t c = decodeUTF8(text, pos);
    if (!out.empty() && isUnicodeMark(c)) {
      out.back().composite = true;
    } else if (!out.empty() && c == U'\n' && out.back().first == U'\r' && !out.back().composite) {
      out.back().composite = true;
    } else {
      out.push_back({c, false});
    }
  }
  return out;
}

bool isLineBreak(char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

}  // namespace

std::optional<std::size_t> DelimiterDetector::score(std::string_view sampleUTF8, char32_t candidate) {
  const std::vector<Character> chars = characters(sampleUTF8);
  std::optional<std::size_t> best;
  int linesCounted = 0;
  std::size_t count = 0;
  bool hasContent = false, atFieldStart = true, inQuotes = false;
  auto resetLine = [&] {
    count = 0;
    hasContent = false;
    atFieldStart = true;
    inQuotes = false;
  };
  auto countLine = [&] {
    best = best ? std::min(*best, count) : count;
    ++linesCounted;
  };

  for (std::size_t i = 0; i < chars.size() && linesCounted < kLinesScored; ++i) {
    const Character& ch = chars[i];
    const bool isQuote = ch.first == U'"' && !ch.composite;
    if (inQuotes) {
      if (isQuote) {
        if (i + 1 < chars.size() && chars[i + 1].first == U'"' && !chars[i + 1].composite) {
          ++i;  // an escaped quote
        } else {
          inQuotes = false;
        }
      }
      continue;
    }
    if (isLineBreak(ch.first)) {
      if (hasContent) countLine();
      resetLine();
    } else if (ch.first == candidate && !ch.composite) {
      ++count;
      hasContent = true;
      atFieldStart = true;
    } else if (isQuote && atFieldStart) {
      inQuotes = true;
      hasContent = true;
    } else if (ch.first == U' ' && !ch.composite) {
      // Spaces keep a field start a field start.
    } else {
      atFieldStart = false;
      if (!isWhitespaceOrNewline(ch.first)) hasContent = true;
    }
  }
  // A sample cut at the byte limit ends in a partial line, which is only trusted when it is
  // the only line there is.
  if (linesCounted < kLinesScored && hasContent && (linesCounted == 0 || sampleUTF8.size() < kSampleBytes)) {
    countLine();
  }
  return best;
}

char DelimiterDetector::detect(std::string_view sampleUTF8, DatabaseFormat format) {
  if (format == DatabaseFormat::tsv) return '\t';

  char chosen = ',';
  std::size_t bestScore = 0;
  for (char candidate : {',', ';', '\t', '|'}) {
    std::optional<std::size_t> s = score(sampleUTF8, static_cast<char32_t>(candidate));
    if (s && *s > bestScore) {
      bestScore = *s;
      chosen = candidate;
    }
  }
  return chosen;
}

}  // namespace tabvora::internal
