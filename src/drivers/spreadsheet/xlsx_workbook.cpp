#include "drivers/spreadsheet/xlsx_workbook.hpp"

#include "drivers/spreadsheet/xml_document.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

std::optional<XLSXWorkbook> XLSXWorkbook::read(std::span<const std::uint8_t> workbookPart) {
  const std::optional<XMLDocument> document = XMLDocument::parse(workbookPart, XMLDocument::Mode::strict);
  if (!document) return std::nullopt;
  const std::optional<std::vector<XMLNode>> sheetNodes = document->query("//*[local-name()='sheet']");
  if (!sheetNodes) return std::nullopt;

  XLSXWorkbook workbook;
  for (std::size_t i = 0; i < sheetNodes->size(); ++i) {
    const XMLNode& node = (*sheetNodes)[i];
    if (!node.isElement()) continue;
    const std::string position = std::to_string(i + 1);
    workbook.sheets.push_back({node.attribute("name").value_or("Sheet" + position),
                               node.attribute("sheetId").value_or(position),
                               node.attribute("r:id").value_or("rId" + position)});
  }
  if (workbook.sheets.empty()) workbook.sheets.push_back({"Sheet1", "1", "rId1"});

  if (const auto properties = document->query("//*[local-name()='workbookPr']"); properties && !properties->empty()) {
    const XMLNode& first = properties->front();
    if (first.isElement()) {
      const std::optional<std::string> flag = first.attribute("date1904");
      workbook.uses1904Dates = flag && (*flag == "1" || toLowerUnicode(*flag) == "true");
    }
  }
  return workbook;
}

std::unordered_map<std::string, std::string> XLSXWorkbook::readRelationships(std::span<const std::uint8_t> part) {
  std::unordered_map<std::string, std::string> targets;
  const std::optional<XMLDocument> document = XMLDocument::parse(part, XMLDocument::Mode::strict);
  if (!document) return targets;
  const std::optional<std::vector<XMLNode>> nodes = document->query("//*[local-name()='Relationship']");
  if (!nodes) return targets;
  for (const XMLNode& node : *nodes) {
    std::optional<std::string> id = node.attribute("Id"), target = node.attribute("Target");
    if (node.isElement() && id && target) targets.insert_or_assign(std::move(*id), std::move(*target));
  }
  return targets;
}

std::string XLSXWorkbook::partPath(std::size_t position) const {
  const SheetInfo& sheet = sheets.at(position);
  if (auto target = relationships.find(sheet.rId); target != relationships.end()) {
    const std::string& path = target->second;
    return path.starts_with('/') ? path.substr(1) : "xl/" + path;
  }
  return "xl/worksheets/sheet" + std::to_string(position + 1) + ".xml";
}

}  // namespace tabvora
