#include "drivers/spreadsheet/xlsx/xlsx_workbook.hpp"

#include "drivers/spreadsheet/xml/spreadsheetml_stream_parser.hpp"
#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "model/driver_error.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

using workbook_limits::kEntryOverheadBytes;
using Parser = SpreadsheetMLStreamParser;

// The base of the two part readers: charges what they keep, stops when the budget runs out.
class ChargingReader : public Parser::Delegate {
 public:
  explicit ChargingReader(WorkbookBudget::Account& account) : account_(account) {}
  void endElement(Parser::Name) override {}
  void characters(std::string_view) override {}

  // Reads `part`; nothing when it is not well-formed. Throws when out of budget.
  bool read(std::span<const std::uint8_t> part, const char* partName) {
    const bool parsed = Parser::parse(part, *this);
    if (outOfBudget_) throw account_.budget()->exceeded(std::string("part \"") + partName + "\"");
    return parsed;
  }

 protected:
  bool charge(std::int64_t bytes) {
    if (account_.tryCharge(bytes)) return true;
    outOfBudget_ = true;
    stopParsing();
    return false;
  }

 private:
  WorkbookBudget::Account& account_;
  bool outOfBudget_ = false;
};

class WorkbookReader : public ChargingReader {
 public:
  using ChargingReader::ChargingReader;

  void startElement(Parser::Name qualified, const Parser::Attributes& attributes) override {
    const Parser::Name name = qualified.local();
    if (name == "sheet") {
      if (workbook.sheets.size() == workbook_limits::kMaxListedSheets) {
        tooManySheets = true;
        return stopParsing();
      }
      const std::string position = std::to_string(++sheetElements_);
      XLSXWorkbook::SheetInfo sheet{attributes.text("name").value_or("Sheet" + position),
                                    attributes.text("sheetId").value_or(position),
                                    attributes.text("r:id").value_or("rId" + position)};
      if (charge(static_cast<std::int64_t>(sheet.name.size() + sheet.sheetId.size() + sheet.rId.size()) +
                 3 * kEntryOverheadBytes))
        workbook.sheets.push_back(std::move(sheet));
    } else if (name == "workbookPr" && !sawProperties_) {
      sawProperties_ = true;
      const std::optional<std::string_view> flag = attributes.value("date1904");
      workbook.uses1904Dates = flag && (*flag == "1" || toLowerUnicode(*flag) == "true");
    }
  }

  XLSXWorkbook workbook;
  bool tooManySheets = false;

 private:
  std::size_t sheetElements_ = 0;
  bool sawProperties_ = false;
};

class RelationshipsReader : public ChargingReader {
 public:
  using ChargingReader::ChargingReader;

  void startElement(Parser::Name qualified, const Parser::Attributes& attributes) override {
    if (!(qualified.local() == "Relationship")) return;
    std::optional<std::string> id = attributes.text("Id"), target = attributes.text("Target");
    if (id && target && charge(static_cast<std::int64_t>(id->size() + target->size()) + 2 * kEntryOverheadBytes))
      targets.insert_or_assign(std::move(*id), std::move(*target));
  }

  std::unordered_map<std::string, std::string> targets;
};

}  // namespace

std::optional<XLSXWorkbook> XLSXWorkbook::read(std::span<const std::uint8_t> workbookPart,
                                               WorkbookBudget::Account& account) {
  WorkbookReader reader(account);
  const bool parsed = reader.read(workbookPart, "xl/workbook.xml");
  if (reader.tooManySheets)
    throw DriverError("XLSXDriver", -1,
                      "The workbook lists more than " + std::to_string(workbook_limits::kMaxListedSheets) +
                          " sheets, more than can be staged");
  if (!parsed) return std::nullopt;
  if (reader.workbook.sheets.empty()) reader.workbook.sheets.push_back({"Sheet1", "1", "rId1"});
  return std::move(reader.workbook);
}

std::unordered_map<std::string, std::string> XLSXWorkbook::readRelationships(std::span<const std::uint8_t> part,
                                                                             WorkbookBudget::Account& account) {
  RelationshipsReader reader(account);
  if (!reader.read(part, "xl/_rels/workbook.xml.rels")) return {};
  return std::move(reader.targets);
}

std::string XLSXWorkbook::partPath(std::size_t position) const {
  const SheetInfo& sheet = sheets.at(position);
  if (auto target = relationships.find(sheet.rId); target != relationships.end()) {
    const std::string& path = target->second;
    return path.starts_with('/') ? path.substr(1) : "xl/" + path;
  }
  return "xl/worksheets/sheet" + std::to_string(position + 1) + ".xml";
}

}  // namespace tabvora::internal
