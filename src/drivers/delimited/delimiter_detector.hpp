#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "model/database_format.hpp"

namespace tabvora::internal {

// Chooses the delimiter of a text file: the tab for text opened as TSV (opening decides the
// format, from an extension such as .tsv or .tab), otherwise the candidate among ",", ";", tab and "|"
// whose smallest per-line count over the first lines with content is highest (ties keep the
// earlier candidate; a file without any is comma-separated).
//
// The sample is walked as characters: a code point together with the combining marks after
// it, and CR LF as one character. That matches user-perceived characters for everything a
// delimiter or quote can touch; rarer cluster rules (emoji joiners, Hangul syllables) only
// ever join letters, which count the same either way.
class DelimiterDetector {
 public:
  // Bytes of the file looked at; a sample this long may end in a partial line.
  static constexpr std::size_t kSampleBytes = 20000;
  // Lines with content that decide a candidate's score.
  static constexpr int kLinesScored = 5;

  // The delimiter of text in `format`: a tab for TSV, otherwise the best-scoring of comma,
  // semicolon, tab and pipe (comma when none scores).
  static char detect(std::string_view sampleUTF8, DatabaseFormat format);
  // The candidate's score over the sample: the smallest count of it outside quotes on the
  // scored lines; absent when no line counted.
  static std::optional<std::size_t> score(std::string_view sampleUTF8, char32_t candidate);
};

}  // namespace tabvora::internal
