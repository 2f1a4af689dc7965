#include "drivers/spreadsheet/xlsx/xlsx_sheet_split.hpp"

#include <algorithm>
#include <string_view>

#include "platform/ascii_case.hpp"
#include "platform/byte_order_mark.hpp"

namespace tabvora::internal {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The offset of the ">" ending the tag that starts at `start`, skipping quoted attribute
// values (which may hold ">"); npos when the text ends first.
std::size_t tagEnd(std::string_view text, std::size_t start) {
  char quote = 0;
  for (std::size_t i = start + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i;
    }
  }
  return std::string_view::npos;
}

// Whether a start tag of `name` begins at `start`, and is no empty-element tag.
bool isOpeningTag(std::string_view text, std::size_t start, std::string_view name, std::size_t end) {
  const std::size_t after = start + 1 + name.size();
  return text.compare(start + 1, name.size(), name) == 0 && after <= end &&
         (isSpace(text[after]) || text[after] == '>') && text[end - 1] != '/';
}

// Whether an XML declaration names no encoding, or UTF-8 (in any letter case, with or
// without the hyphen).
bool declaresUTF8OrNothing(std::string_view declaration) {
  const std::size_t key = declaration.find("encoding");
  if (key == std::string_view::npos) return true;
  const std::size_t open = declaration.find_first_of("\"'", key);
  if (open == std::string_view::npos) return false;
  const std::size_t close = declaration.find(declaration[open], open + 1);
  if (close == std::string_view::npos) return false;
  std::string name;
  for (char c : declaration.substr(open + 1, close - open - 1)) {
    if (c != '-') name += asciiLower(c);
  }
  return name == "utf8";
}

}  // namespace

std::optional<XLSXSheetSplit> XLSXSheetSplit::find(std::span<const std::uint8_t> part, std::size_t near) {
  const std::string_view text(reinterpret_cast<const char*>(part.data()), part.size());
  std::size_t position = ByteOrderMark::sniff(part).isUTF8() ? kUTF8ByteOrderMark.size() : 0;
  std::size_t declarationEnd = position;
  if (text.compare(position, 5, "<?xml") == 0) {
    const std::size_t end = text.find("?>", position);
    if (end == std::string_view::npos) return std::nullopt;
    // The cut is found on raw bytes, which mean what they say only in UTF-8: a part that
    // declares any other encoding (or a misspelt one, which libxml2 answers in its own way)
    // is read whole.
    if (!declaresUTF8OrNothing(text.substr(position, end - position))) return std::nullopt;
    declarationEnd = position = end + 2;
  }
  // Comments and processing instructions may come before the root; a document type may not.
  for (;;) {
    position = text.find('<', position);
    if (position == std::string_view::npos) return std::nullopt;
    std::size_t end = std::string_view::npos;
    if (text.compare(position, 4, "<!--") == 0) {
      end = text.find("-->", position + 4);
      if (end != std::string_view::npos) end += 3;
    } else if (text.compare(position, 2, "<?") == 0) {
      end = text.find("?>", position + 2);
      if (end != std::string_view::npos) end += 2;
    } else if (text.compare(position, 2, "<!") == 0) {
      return std::nullopt;
    } else {
      break;
    }
    if (end == std::string_view::npos) return std::nullopt;
    position = end;
  }

  const std::size_t worksheetStart = position;
  const std::size_t worksheetEnd = tagEnd(text, worksheetStart);
  if (worksheetEnd == std::string_view::npos) return std::nullopt;
  const std::size_t nameEnd = text.find_first_of(" \t\r\n/>", worksheetStart + 1);
  const std::string_view name = text.substr(worksheetStart + 1, nameEnd - worksheetStart - 1);
  const std::size_t colon = name.find(':');
  const std::string prefix(colon == std::string_view::npos ? std::string_view() : name.substr(0, colon + 1));
  if (name.substr(prefix.size()) != "worksheet" || !isOpeningTag(text, worksheetStart, name, worksheetEnd))
    return std::nullopt;

  const std::string sheetDataName = prefix + "sheetData";
  const std::size_t sheetDataStart = text.find("<" + sheetDataName, worksheetEnd);
  if (sheetDataStart == std::string_view::npos) return std::nullopt;
  const std::size_t sheetDataEnd = tagEnd(text, sheetDataStart);
  if (sheetDataEnd == std::string_view::npos || !isOpeningTag(text, sheetDataStart, sheetDataName, sheetDataEnd))
    return std::nullopt;

  const std::string rowEnd = "</" + prefix + "row>";
  const std::size_t rowEndStart = text.find(rowEnd, std::max(near, sheetDataEnd));
  if (rowEndStart == std::string_view::npos) return std::nullopt;

  XLSXSheetSplit split;
  split.cut = rowEndStart + rowEnd.size();
  split.prefix.append(text.substr(0, declarationEnd))
      .append(text.substr(worksheetStart, worksheetEnd + 1 - worksheetStart))
      .append(text.substr(sheetDataStart, sheetDataEnd + 1 - sheetDataStart));
  split.worksheetTagEnd = static_cast<std::int64_t>(worksheetEnd);
  split.sheetDataTagEnd = static_cast<std::int64_t>(sheetDataEnd);
  split.rowEndTag = rowEnd;
  split.prefixWorksheetTagEnd = static_cast<std::int64_t>(declarationEnd + worksheetEnd - worksheetStart);
  return split;
}

bool XLSXSheetSplit::holdsFor(const SpreadsheetMLStreamParser& firstHalf) const {
  return firstHalf.consumedBytes() == static_cast<std::int64_t>(cut) && firstHalf.depth() == 2 &&
         firstHalf.startTagEnd(1) == worksheetTagEnd && firstHalf.startTagEnd(2) == sheetDataTagEnd;
}

std::optional<std::size_t> XLSXSheetSplit::nextCut(std::string_view text, std::size_t near) const {
  const std::size_t rowEndStart = text.find(rowEndTag, near);
  if (rowEndStart == std::string_view::npos) return std::nullopt;
  return rowEndStart + rowEndTag.size();
}

bool XLSXSheetSplit::holdsAfterPrefix(const SpreadsheetMLStreamParser& segment, std::size_t bytes) const {
  return segment.consumedBytes() == static_cast<std::int64_t>(prefix.size() + bytes) && segment.depth() == 2 &&
         segment.startTagEnd(1) == prefixWorksheetTagEnd &&
         segment.startTagEnd(2) == static_cast<std::int64_t>(prefix.size()) - 1;
}

}  // namespace tabvora::internal
