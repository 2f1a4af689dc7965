#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "drivers/spreadsheet/xml/spreadsheetml_stream_parser.hpp"

namespace tabvora::internal {

// Where a large worksheet part can be cut in two, so that two parsers read the halves at
// once. The second half is read as a document of its own: the part's XML declaration and
// the start tags of its `worksheet` root and `sheetData` element, as written (namespaces
// are bound alike), then the part's bytes from the cut on. The cut is a guess made on the
// raw bytes, just after a row's end tag; it holds only when the parser of the first half,
// fed exactly the bytes before the cut, has read all of them and has just those two
// elements open, their start tags ending where the guess found them. Then the events of
// the second document after its two start tags are the events of the part after the cut,
// and a reader of the second half starts as a reader of the whole would stand there.
// The second half can be cut again the same way, and so on (nextCut, holdsAfterPrefix);
// `cut` may be moved on to a later row end of the part (holdsFor checks where it is).
struct XLSXSheetSplit {
  std::size_t cut = 0;
  std::string prefix;                // read before the bytes from the cut on
  std::int64_t worksheetTagEnd = 0;  // offsets of the ">" ending those start tags
  std::int64_t sheetDataTagEnd = 0;
  std::string rowEndTag;                   // "</row>", with the part's prefix
  std::int64_t prefixWorksheetTagEnd = 0;  // where the worksheet start tag ends in the prefix

  // The cut just after the first row end tag from `near` on. Nothing when the part does
  // not start (after a UTF-8 byte order mark, an XML declaration, comments and processing
  // instructions) with a `worksheet` start tag followed by a `sheetData` start tag, both
  // unprefixed or with the same prefix, or when no row ends from `near` on.
  static std::optional<XLSXSheetSplit> find(std::span<const std::uint8_t> part, std::size_t near);

  // Whether `firstHalf`, a parse still running after being fed exactly the bytes before the
  // cut, stands where the cut needs it.
  bool holdsFor(const SpreadsheetMLStreamParser& firstHalf) const;

  // The cut just after the first row end tag in `text` (bytes from a cut on) from `near` on.
  std::optional<std::size_t> nextCut(std::string_view text, std::size_t near) const;
  // Whether `segment`, a parse still running after being fed the prefix and then exactly
  // `bytes` bytes from a cut that held up to the next cut, stands where that cut needs it.
  bool holdsAfterPrefix(const SpreadsheetMLStreamParser& segment, std::size_t bytes) const;
};

}  // namespace tabvora::internal
