#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace tabvora {

// Chooses the delimiter of a text file: the tab for files whose extension names the TSV
// format (.tsv, .tab, in any case), otherwise the candidate among ",", ";", tab and "|"
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

  static char detect(std::string_view sampleUTF8, const std::filesystem::path& url);
  // The candidate's score over the sample: the smallest count of it outside quotes on the
  // scored lines; absent when no line counted.
  static std::optional<std::size_t> score(std::string_view sampleUTF8, char32_t candidate);
};

}  // namespace tabvora
