#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/delimited/delimited_driver.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {

using Rows = std::vector<std::vector<std::string>>;
using Names = std::vector<std::string>;
using testing::errorOf;

// The encodings a delimited file is read in, by name.
inline std::string encodingName(TextEncoding encoding) {
  const char* names[] = {"UTF-8", "UTF-16LE", "UTF-16BE", "other", "other", "Windows-1252", "other", "other", "other", "Latin 1", "other"};
  return names[static_cast<int>(encoding)];
}

// A driver over files written into a fresh folder.
class DelimitedDriverTest : public ::testing::Test {
 protected:
  std::filesystem::path write(std::string_view name, std::string_view bytes) { return dir_.write(name, bytes); }

  DataTable all(DelimitedDriver& driver) { return driver.fetchTableData(driver.primaryTableName()); }

  // Each row as the raw text of its values (NULL as empty).
  Rows texts(DelimitedDriver& driver) {
    Rows rows;
    for (const DataRow& row : all(driver).rows) {
      std::vector<std::string> cells;
      for (const CellValue& v : row.values) cells.push_back(v.rawValueString());
      rows.push_back(std::move(cells));
    }
    return rows;
  }

  Names columnNames(const DelimitedDriver& driver) {
    Names names;
    for (const DataColumn& c : driver.allColumns()) names.push_back(c.name);
    return names;
  }

  testing::TempDir dir_;
};

}  // namespace tabvora::internal
