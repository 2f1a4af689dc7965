#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/database_format.hpp"
#include "model/table_metadata.hpp"

namespace tabvora::internal {

// What a driver's open returns.
struct DatabaseMetadata {
  std::string name;  // display name of the file
  DatabaseFormat format;
  std::filesystem::path fileURL;
  std::int64_t fileSize = 0;
  std::vector<TableMetadata> tables;  // in the driver's order; a preview shows the first
  std::optional<std::string> schemaDDL;
};

}  // namespace tabvora::internal
