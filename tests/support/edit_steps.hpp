#pragma once

// Edits given as the steps of a case table, one a line, applied to an opened driver:
//   update <row> <column> <kind>:<value>   a cell (kind integer, real, text, json, date in
//                                          seconds or blob of the text's bytes; rows from 0)
//   insert <column>=<kind>:<value> ...     a row
//   delete <row>                           a row
//   sql <statement>                        a statement run through the driver
//   save                                   the changes, into the file
//   touch                                  the file, as someone else's change would

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "model/database_driver.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;

inline CellValue stepValue(const std::string& word) {
  const std::size_t colon = word.find(':');
  const std::string kind = word.substr(0, colon), text = word.substr(colon + 1);
  if (kind == "integer") return CellValue::integer(std::stoll(text));
  if (kind == "real") return CellValue::real(std::stod(text));
  if (kind == "json") return CellValue::json(text);
  if (kind == "date") return CellValue::date({std::stod(text)});
  return kind == "blob" ? CellValue::blob(Bytes(text.begin(), text.end())) : CellValue::text(text);
}

inline void applyStep(DatabaseDriver& driver, const std::string& table, const std::filesystem::path& file,
                      const std::string& line) {
  const std::size_t space = line.find(' ');
  const std::string verb = line.substr(0, space), rest = space == std::string::npos ? "" : line.substr(space + 1);
  const auto rowAt = [&](const std::string& index) { return driver.fetchTableData(table).rows.at(std::stoul(index)); };
  if (verb == "save") driver.saveChanges();
  else if (verb == "touch") std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) - std::chrono::seconds(10));
  else if (verb == "delete") driver.deleteRow(table, rowAt(rest));
  else if (verb == "sql") driver.query(rest);
  else if (verb == "insert") {
    ColumnValues values;  // pairs separated by spaces; a value may hold other white space
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
      const std::string pair = rest.substr(start, (end = rest.find(' ', start)) - start);
      values.emplace_back(pair.substr(0, pair.find('=')), stepValue(pair.substr(pair.find('=') + 1)));
    }
    driver.insertRow(table, values);
  } else if (verb == "update") {
    const std::size_t second = rest.find(' '), third = rest.find(' ', second + 1);
    const std::string name = rest.substr(second + 1, third - second - 1);
    bool found = false;
    for (const DataColumn& column : driver.fetchTableData(table).columns)
      if (column.name == name && !found) found = true, driver.updateCell(table, rowAt(rest.substr(0, second)), column, stepValue(rest.substr(third + 1)));
    EXPECT_TRUE(found) << "no column " << name;
  } else {
    ADD_FAILURE() << "unknown step: " << line;
  }
}

}  // namespace tabvora::testing
