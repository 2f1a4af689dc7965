#pragma once

#include <string>
#include <utility>
#include <vector>

#include "drivers/spreadsheet/xls/xls_test_workbook.hpp"
#include "drivers/spreadsheet/zip/zip_test_archive.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;

// A document type declaring nine levels of entities, each ten of the one below ("lol"):
// append "]>" and a root that names &l9;.
inline std::string entityBombPrologue(const std::string& root) {
  std::string out = "<!DOCTYPE " + root + " [<!ENTITY l0 \"lol\">";
  for (int level = 1; level <= 9; ++level) {
    out += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) out += "&l" + std::to_string(level - 1) + ";";
    out += "\">";
  }
  return out;
}

// Sheets written by the tests: rows of cells, each "" (no cell), "#n" (the number n), "@n"
// (shared string n) or text.
using CellRows = std::vector<std::vector<std::string>>;
using TestSheets = std::vector<std::pair<std::string, CellRows>>;

constexpr const char* kSpreadsheetML = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// The workbook part listing `sheets`, each (name, relationship id).
inline std::string workbookXML(const std::vector<std::pair<std::string, std::string>>& sheets) {
  std::string xml = std::string("<workbook xmlns=\"") + kSpreadsheetML +
                    "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>";
  for (const auto& [name, rId] : sheets) xml += "<sheet name=\"" + name + "\" sheetId=\"1\" r:id=\"" + rId + "\"/>";
  return xml + "</sheets></workbook>";
}

inline std::string sheetXML(const CellRows& rows) {
  std::string xml = std::string("<worksheet xmlns=\"") + kSpreadsheetML + "\"><sheetData>";
  for (const auto& row : rows) {
    xml += "<row>";
    for (std::size_t i = 0; i < row.size(); ++i) {
      const std::string ref = "r=\"" + std::string(1, static_cast<char>('A' + i)) + "1\"";
      if (row[i].empty()) continue;
      if (row[i][0] == '#') xml += "<c " + ref + "><v>" + row[i].substr(1) + "</v></c>";
      else if (row[i][0] == '@') xml += "<c " + ref + " t=\"s\"><v>" + row[i].substr(1) + "</v></c>";
      else xml += "<c " + ref + " t=\"inlineStr\"><is><t>" + row[i] + "</t></is></c>";
    }
    xml += "</row>";
  }
  return xml + "</sheetData></worksheet>";
}

// An XLSX package of the sheets (parts xl/worksheets/sheet1.xml, ...) and shared strings.
inline std::string xlsxBook(const TestSheets& sheets, const std::vector<std::string>& shared = {}) {
  ZipTestArchive archive;
  std::vector<std::pair<std::string, std::string>> listed;
  for (std::size_t i = 1; i <= sheets.size(); ++i) listed.emplace_back(sheets[i - 1].first, "rId" + std::to_string(i));
  archive.stored("xl/workbook.xml", workbookXML(listed));
  std::string strings = "<sst>";
  for (const std::string& text : shared) strings += "<si><t>" + text + "</t></si>";
  archive.deflated("xl/sharedStrings.xml", strings + "</sst>");
  for (std::size_t i = 1; i <= sheets.size(); ++i)
    archive.deflated("xl/worksheets/sheet" + std::to_string(i) + ".xml", sheetXML(sheets[i - 1].second));
  return archive.bytes();
}

// The same as an XLS workbook (BIFF8 in a compound file).
inline std::string xlsBook(const TestSheets& sheets, const std::vector<std::string>& shared = {}) {
  std::vector<biff::Sheet> streams;
  for (const auto& [name, rows] : sheets) {
    Bytes records;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      for (std::size_t c = 0; c < rows[r].size(); ++c) {
        const std::string& cell = rows[r][c];
        const auto row = static_cast<std::uint16_t>(r), column = static_cast<std::uint16_t>(c);
        if (cell.empty()) continue;
        if (cell[0] == '#') records = concat({records, biff::number(row, column, std::stod(cell.substr(1)))});
        else if (cell[0] == '@') records = concat({records, biff::labelSST(row, column, std::stoul(cell.substr(1)))});
        else records = concat({records, biff::label(row, column, cell)});
      }
    }
    streams.push_back({name, records});
  }
  const Bytes file = compoundFileWith("Workbook", biff::workbook(shared.empty() ? Bytes{} : biff::sst(shared), streams));
  return std::string(file.begin(), file.end());
}

}  // namespace tabvora::testing
