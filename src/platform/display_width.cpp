#include "platform/display_width.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kEmojiPresentationSelector = 0xFE0F;
constexpr char32_t kSoftHyphen = 0x00AD;

bool isPrintableASCII(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::size_t codePointWidth(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
  if (c == kSoftHyphen) return 1;  // format character, but terminals print it
  const auto cp = static_cast<UChar32>(c);
  if ((U_GET_GC_MASK(cp) & (U_GC_MN_MASK | U_GC_ME_MASK | U_GC_CF_MASK)) != 0) return 0;
  // Hangul medial vowels and final consonants join the leading consonant's two columns.
  if ((c >= 0x1160 && c <= 0x11FF) || (c >= 0xD7B0 && c <= 0xD7FF)) return 0;
  const auto eastAsianWidth = u_getIntPropertyValue(cp, UCHAR_EAST_ASIAN_WIDTH);
  if (eastAsianWidth == U_EA_WIDE || eastAsianWidth == U_EA_FULLWIDTH) return 2;
  return u_hasBinaryProperty(cp, UCHAR_EMOJI_PRESENTATION) ? 2 : 1;
}

// A cluster is as wide as its widest code point (a base and its marks; a ZWJ sequence of
// emoji; a flag's two regional indicators), or 2 when U+FE0F asks for an emoji's picture.
std::size_t clusterWidth(std::string_view cluster) {
  std::size_t width = 0;
  bool emojiBase = false;
  std::size_t pos = 0;
  for (bool first = true; pos < cluster.size(); first = false) {
    const char32_t c = decodeUTF8(cluster, pos);
    if (first) emojiBase = u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_EMOJI);
    if (c == kEmojiPresentationSelector && emojiBase) return 2;
    width = std::max(width, codePointWidth(c));
  }
  return std::min<std::size_t>(width, 2);
}

// The grapheme cluster iterator of this thread; null when ICU cannot make one (no data).
icu::BreakIterator* clusterIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_FAILURE(status) ? nullptr : std::move(made);
  }();
  return iterator.get();
}

// Calls visit(cluster) for each grapheme cluster of valid UTF-8 `text` in order until it
// returns false. Without an ICU iterator (or past the 2 GiB its offsets reach) a cluster is
// a code point followed by the zero-width ones that attach to it, which covers combining
// marks and ZWJ sequences though not flags.
template <typename Visit>
void forEachCluster(std::string_view text, Visit visit) {
  icu::BreakIterator* iterator = clusterIterator();
  if (iterator != nullptr && text.size() <= static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    iterator->setText(utext, status);  // keeps its own shallow clone of `utext`
    utext_close(utext);
    if (U_SUCCESS(status)) {
      int32_t start = iterator->first();
      for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; start = end, end = iterator->next()) {
        if (!visit(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)))) break;
      }
      return;
    }
  }
  std::size_t start = 0;
  std::size_t pos = 0;
  char32_t previous = 0;
  while (pos < text.size()) {
    const std::size_t at = pos;
    const char32_t c = decodeUTF8(text, pos);
    const bool joins = at > start && (codePointWidth(c) == 0 || previous == kZeroWidthJoiner) && c >= 0x20;
    if (!joins && at > start) {
      if (!visit(text.substr(start, at - start))) return;
      start = at;
    }
    previous = c;
  }
  if (pos > start) visit(text.substr(start, pos - start));
}

}  // namespace

std::size_t displayWidth(std::string_view text) {
  if (isPrintableASCII(text)) return text.size();
  const std::string repaired = isValidUTF8(text) ? std::string() : repairUTF8(text);
  std::size_t width = 0;
  forEachCluster(repaired.empty() ? text : repaired, [&](std::string_view cluster) {
    width += clusterWidth(cluster);
    return true;
  });
  return width;
}

std::string cutToWidth(std::string_view text, std::size_t maxColumns) {
  if (isPrintableASCII(text)) {
    if (text.size() <= maxColumns) return std::string(text);
    return maxColumns == 0 ? std::string() : std::string(text.substr(0, maxColumns - 1)).append(kCutMark);
  }
  const std::string repaired = isValidUTF8(text) ? std::string() : repairUTF8(text);
  const std::string_view valid = repaired.empty() ? text : repaired;
  // Walks while the text fits; remembers where the prefix that leaves room for the mark ends.
  std::size_t width = 0;
  std::size_t end = 0;
  std::size_t markedEnd = 0;
  bool cut = false;
  forEachCluster(valid, [&](std::string_view cluster) {
    width += clusterWidth(cluster);
    if (width > maxColumns) {
      cut = true;
      return false;
    }
    end = static_cast<std::size_t>(cluster.data() - valid.data()) + cluster.size();
    if (width < maxColumns) markedEnd = end;
    return true;
  });
  if (!cut) return std::string(valid);
  if (maxColumns == 0) return {};
  return std::string(valid.substr(0, markedEnd)).append(kCutMark);
}

}  // namespace tabvora::internal
