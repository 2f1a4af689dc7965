#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace tabvora::internal {

// The column widths and hidden columns a user saved for one table.
struct TableColumnLayout {
  std::map<std::string, double> widths;  // column name -> width
  std::set<std::string> hidden;          // column names

  bool isEmpty() const { return widths.empty() && hidden.empty(); }

  // {"widths": {name: width, ...}, "hidden": [name, ...]}; names in sorted order.
  nlohmann::json toJSON() const;
  // The coded form above. Both keys are required, widths must be numbers and hidden names
  // strings; other keys are ignored. Anything else throws DriverError (domain
  // "TableColumnLayout", code -1) saying what was expected and what was found.
  static TableColumnLayout fromJSON(const nlohmann::json& coded);
  // The same from JSON text; text that is not JSON is refused in the same way.
  static TableColumnLayout fromJSONText(std::string_view text);

  friend bool operator==(const TableColumnLayout&, const TableColumnLayout&) = default;
};

}  // namespace tabvora::internal
