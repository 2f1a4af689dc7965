#include "preview/html_grid_generator.hpp"

#include <algorithm>

#include "platform/byte_count.hpp"
#include "platform/unicode_text.hpp"
#include "preview/grid_style_sheet.hpp"
#include "preview/html_escaping.hpp"

namespace tabvora::internal {

namespace {

void appendHeaderCells(std::string& out, const DataTable& data) {
  out += "<th>#</th>";
  for (const DataColumn& column : data.columns) {
    out += "<th><span class=\"col-name\">";
    out += escapeHTML(column.name);
    out += "</span><span class=\"col-type\">";
    out += column.type.rawValue();
    out += "</span></th>";
  }
}

// Byte length of the first `limit` characters of `text`; a byte that is not part of valid
// UTF-8 counts as one character, as it becomes one U+FFFD on the page.
std::size_t prefixLength(std::string_view text, std::size_t limit) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < limit && pos < text.size(); ++count) decodeUTF8(text, pos);
  return pos;
}

void appendShownText(std::string& out, std::string_view text) {
  const std::size_t shown = prefixLength(text, HTMLGridGenerator::kMaxCellCharacters);
  out += escapeHTML(text.substr(0, shown));
  if (shown < text.size()) out += HTMLGridGenerator::kCutMark;
}

void appendCellContent(std::string& out, const CellValue& value) {
  switch (value.kind()) {
    case CellValue::Kind::boolean:
      out +=
          value.booleanValue() ? "<span class=\"badge-true\">TRUE</span>" : "<span class=\"badge-false\">FALSE</span>";
      return;
    case CellValue::Kind::null: out += "<span class=\"badge-null\">NULL</span>"; return;
    default: appendShownText(out, value.displayString());
  }
}

// Alignment follows the column's declared type, not the value: a text value in a real
// column is right-aligned like its neighbours.
std::string_view alignmentClass(const DataColumn& column) {
  bool numeric = column.type == ColumnType::integer || column.type == ColumnType::real;
  return numeric ? "align-right mono" : "align-left";
}

void appendBodyRows(std::string& out, const DataTable& data, std::size_t renderedRows) {
  static const CellValue kMissing = CellValue::null();
  for (std::size_t i = 0; i < renderedRows; ++i) {
    const DataRow& row = data.rows[i];
    out += i % 2 == 0 ? "<tr class=\"even\">" : "<tr class=\"odd\">";
    out += "<td class=\"row-num\">";
    out += std::to_string(i + 1);
    out += "</td>";
    // One cell per column: a short row is padded with NULL, extra values are not shown.
    for (std::size_t j = 0; j < data.columns.size(); ++j) {
      const CellValue& value = j < row.values.size() ? row.values[j] : kMissing;
      out += "<td class=\"";
      out += alignmentClass(data.columns[j]);
      out += "\">";
      appendCellContent(out, value);
      out += "</td>";
    }
    out += "</tr>";
  }
}

void appendTablePills(std::string& out, const DatabaseMetadata& metadata, const std::string& tableName) {
  bool first = true;
  for (const TableMetadata& table : metadata.tables) {
    if (!first) out += ' ';
    first = false;
    out += "<span class=\"table-pill ";
    if (table.name == tableName) out += "active";
    out += "\">";
    out += escapeHTML(table.name);
    if (table.rowCount) {
      out += " (";
      out += std::to_string(*table.rowCount);
      if (table.rowCountIsLowerBound) out += '+';
      out += ")";
    }
    out += "</span>";
  }
}

std::string tableCountText(std::size_t count) { return std::to_string(count) + (count == 1 ? " table" : " tables"); }

}  // namespace

std::string HTMLGridGenerator::generateHTML(const DatabaseMetadata& metadata, const std::string& tableName,
                                            const DataTable& data) {
  std::size_t renderedRows = std::min(data.rows.size(), kMaxRenderedRows);

  std::string page;
  page.reserve(kGridStyleSheet.size() + 2048 + renderedRows * (64 + data.columns.size() * 48));
  page += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<style>\n";
  page += kGridStyleSheet;
  page +=
      "</style>\n</head>\n<body>\n  <div class=\"header\">\n    <div class=\"file-info\">\n"
      "      <span class=\"format-badge\">";
  page += metadata.format.displayName();
  page += "</span>\n      <span class=\"filename\">";
  page += escapeHTML(metadata.name);
  page += "</span>\n      <span class=\"meta-text\">\u2022 ";
  page += formatByteCount(metadata.fileSize);
  page += "</span>\n    </div>\n    <div class=\"meta-text\">\n      ";
  page += tableCountText(metadata.tables.size());
  page += "\n    </div>\n  </div>\n\n  ";
  if (metadata.tables.size() > 1) {
    page += "<div class=\"tables-bar\">";
    appendTablePills(page, metadata, tableName);
    page += "</div>";
  }
  page += "\n\n  <div class=\"table-container\">\n    <table>\n      <thead>\n        <tr>";
  appendHeaderCells(page, data);
  page += "</tr>\n      </thead>\n      <tbody>\n        ";
  appendBodyRows(page, data, renderedRows);
  page += "\n      </tbody>\n    </table>\n  </div>\n\n  <div class=\"footer\">\n    <span>Showing ";
  page += std::to_string(renderedRows);
  page += " of ";
  page += std::to_string(data.totalRowCount);
  if (data.totalRowCountIsLowerBound) page += '+';
  page += " rows</span>\n    <span class=\"brand\">";
  page += kProductLabel;
  page += "</span>\n  </div>\n</body>\n</html>";

  // Names and texts from a file may hold bytes that are not UTF-8; the page must not.
  if (!isValidUTF8(page)) page = repairUTF8(page);
  return page;
}

}  // namespace tabvora::internal
