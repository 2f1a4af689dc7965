#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "drivers/json/json_driver.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;

// A JSON driver opened on a file written into a temporary folder.
struct OpenedJSON {
  std::unique_ptr<JSONDriver> driver;
  DatabaseMetadata metadata;
  std::filesystem::path path;

  // Every staged row, in row-id order.
  DataTable table() const { return driver->fetchTableData(metadata.tables.at(0).name); }
  std::vector<std::string> columnTypes() const { return schemaLines(*driver, metadata.tables.at(0).name); }
};

inline OpenedJSON openJSONFile(const std::filesystem::path& path, std::optional<std::int64_t> limit = std::nullopt) {
  OpenedJSON opened;
  opened.path = path;
  opened.driver = std::make_unique<JSONDriver>(DatabaseFormat::fromURL(path));
  opened.driver->previewRowLimit = limit;
  opened.metadata = opened.driver->open(path);
  return opened;
}

inline OpenedJSON openJSON(const TempDir& dir, std::string_view name, std::string_view content,
                           std::optional<std::int64_t> limit = std::nullopt) {
  return openJSONFile(dir.write(name, content), limit);
}

// The DriverError an open of this content throws.
inline DriverError openError(const TempDir& dir, std::string_view name, std::string_view content) {
  JSONDriver driver(DatabaseFormat::fromURL(dir / name));
  return errorOf([&] { driver.open(dir.write(name, content)); });
}

}  // namespace tabvora::testing
