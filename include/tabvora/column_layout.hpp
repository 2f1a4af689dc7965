#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace tabvora {

// The column widths and hidden columns a user saved for one table.
struct TableColumnLayout {
  std::map<std::string, double> widths;  // column name -> width
  std::set<std::string> hidden;          // column names

  bool isEmpty() const { return widths.empty() && hidden.empty(); }

  // The coded form: {"widths": {name: width, ...}, "hidden": [name, ...]}, names sorted.
  std::string toJSONText() const;
  // The coded form read back: both keys are required, widths numbers and hidden names
  // text; other keys are ignored. Anything else throws Error (domain "TableColumnLayout",
  // code -1) saying what was expected and what was found.
  static TableColumnLayout fromJSONText(std::string_view text);

  friend bool operator==(const TableColumnLayout& a, const TableColumnLayout& b) {
    return a.widths == b.widths && a.hidden == b.hidden;
  }
  friend bool operator!=(const TableColumnLayout& a, const TableColumnLayout& b) { return !(a == b); }
};

}  // namespace tabvora
