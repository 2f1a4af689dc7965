#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivers/spreadsheet/sheet/workbook_budget.hpp"

namespace tabvora::internal {

// What the workbook part and its relationships say: the sheets in workbook order, where
// each sheet's part lives, and the date system. Both parts are streamed, their elements
// found by local name whatever their prefix; what is kept is charged to the account given
// (which must outlive the result), and running out of its budget throws the budget's
// failure naming the part.
struct XLSXWorkbook {
  // One `sheet` element of the workbook part.
  struct SheetInfo {
    std::string name;
    std::string sheetId;
    std::string rId;
  };

  std::vector<SheetInfo> sheets;  // never empty: "Sheet1" when the part lists none
  bool uses1904Dates = false;
  std::unordered_map<std::string, std::string> relationships;  // id -> target

  // Nothing when the workbook part is not well-formed XML. A part listing more than
  // workbook_limits::kMaxListedSheets sheets throws DriverError("XLSXDriver", -1, ...)
  // saying so.
  static std::optional<XLSXWorkbook> read(std::span<const std::uint8_t> workbookPart, WorkbookBudget::Account& account);
  // Relationship id -> target from the workbook's relationships part; empty when it is not
  // well-formed XML.
  static std::unordered_map<std::string, std::string> readRelationships(std::span<const std::uint8_t> part,
                                                                        WorkbookBudget::Account& account);

  // The archive path of the sheet at 0-based `position`: its relationship's target under
  // "xl/" (or without the leading "/" of an absolute target), else
  // "xl/worksheets/sheet<position + 1>.xml".
  std::string partPath(std::size_t position) const;
};

}  // namespace tabvora::internal
