#include "drivers/spreadsheet/xlsx_date_styles.hpp"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivers/spreadsheet/xml_document.hpp"
#include "model/number_parsing.hpp"

namespace tabvora {

namespace {

struct IdRange {
  std::int64_t first;
  std::int64_t last;
};
// The built-in number formats that show dates and times.
constexpr IdRange kBuiltInDateFormats[] = {{14, 22}, {27, 36}, {45, 47}, {50, 58}};

bool isBuiltInDateFormat(std::int64_t id) {
  for (const IdRange& range : kBuiltInDateFormats) {
    if (id >= range.first && id <= range.last) return true;
  }
  return false;
}

std::optional<std::int64_t> formatId(const XMLNode& node) {
  const std::optional<std::string> id = node.attribute("numFmtId");
  return id ? parseInt64(*id) : std::nullopt;
}

}  // namespace

std::unordered_set<std::int64_t> readXLSXDateStyles(std::span<const std::uint8_t> stylesPart) {
  const std::optional<XMLDocument> document = XMLDocument::parse(stylesPart, XMLDocument::Mode::strict);
  if (!document) return {};
  std::unordered_map<std::int64_t, std::string> customCodes;
  const auto formats = document->query("//*[local-name()='numFmts']/*[local-name()='numFmt']");
  for (const XMLNode& format : formats.value_or(std::vector<XMLNode>{})) {
    const std::optional<std::int64_t> id = formatId(format);
    std::optional<std::string> code = format.attribute("formatCode");
    if (id && code) customCodes[*id] = std::move(*code);
  }
  std::unordered_set<std::int64_t> dateStyles;
  const auto cellFormats = document->query("//*[local-name()='cellXfs']/*[local-name()='xf']");
  const std::vector<XMLNode> nodes = cellFormats.value_or(std::vector<XMLNode>{});
  for (std::size_t position = 0; position < nodes.size(); ++position) {
    if (!nodes[position].isElement()) continue;
    const std::optional<std::int64_t> id = formatId(nodes[position]);
    if (!id) continue;
    const auto custom = customCodes.find(*id);
    if (custom != customCodes.end() ? isDateFormatCode(custom->second) : isBuiltInDateFormat(*id))
      dateStyles.insert(static_cast<std::int64_t>(position));
  }
  return dateStyles;
}

bool isDateFormatCode(std::string_view code) {
  char previous = ' ';
  bool quoted = false;
  bool bracketed = false;
  for (const char c : code) {
    const bool escaped = previous == '\\';
    previous = c;
    if (escaped) continue;
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '[') {
      bracketed = true;
    } else if (c == ']') {
      bracketed = false;
    } else if (!bracketed && std::string_view("ymdhsYMDHS").find(c) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace tabvora
