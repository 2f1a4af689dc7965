#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drivers/sqlscript/sql_script_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {

// A script driver over files in a temporary folder, its warnings kept.
class SQLScriptTest : public ::testing::Test {
 protected:
  SQLScriptTest() {
    driver.warningSink = [this](const std::string& line) { warnings.push_back(line); };
  }

  DatabaseMetadata open(std::string_view script, const std::string& name = "script.sql") {
    writeFile(dir / name, script);
    return driver.open(dir / name);
  }

  // Each row of the result as "value|value|...", NULL for null.
  std::vector<std::string> rows(const std::string& sql) {
    std::vector<std::string> out;
    for (const DataRow& row : driver.query(sql).rows) {
      std::string line;
      for (std::size_t i = 0; i < row.values.size(); ++i)
        line += (i ? "|" : "") + (row.values[i].isNull() ? std::string("NULL") : row.values[i].rawValueString());
      out.push_back(line);
    }
    return out;
  }

  TempDir dir;
  SQLScriptDriver driver;
  std::vector<std::string> warnings;
};

}  // namespace tabvora::testing
