#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_set>

#include "drivers/spreadsheet/sheet/workbook_budget.hpp"

namespace tabvora::internal {

// The 0-based positions in the styles part's cell-format list (cellXfs) whose number format
// shows a date or a time: a custom format (numFmts) whose code is a date code, or else a
// built-in format id in 14–22, 27–36, 45–47 or 50–58. Elements are found by their local
// name, whatever their prefix. Empty when the part does not parse as well-formed XML. The
// part is streamed; what is kept is charged to `account` (which must outlive the set), and
// running out of its budget throws the budget's failure naming the part.
std::unordered_set<std::int64_t> readXLSXDateStyles(std::span<const std::uint8_t> stylesPart,
                                                    WorkbookBudget::Account& account);

// Whether a number format code shows a date or time part: a y, m, d, h or s (either case)
// outside quoted text, bracketed sections ("[Red]", "[h]") and characters escaped by a
// backslash.
bool isDateFormatCode(std::string_view code);

}  // namespace tabvora::internal
