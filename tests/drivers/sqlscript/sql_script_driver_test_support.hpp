#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drivers/sqlscript/sql_script_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;

// A script driver over files in a temporary folder, its warnings kept.
class SQLScriptTest : public ::testing::Test {
 protected:
  SQLScriptTest() {
    driver.warningSink = [this](const std::string& line) { warnings.push_back(line); };
  }

  DatabaseMetadata open(std::string_view script, const std::string& name = "script.sql") {
    return driver.open(dir.write(name, script));
  }

  std::vector<std::string> rows(const std::string& sql) { return queryRows(driver, sql); }

  TempDir dir;
  SQLScriptDriver driver;
  std::vector<std::string> warnings;
};

}  // namespace tabvora::testing
