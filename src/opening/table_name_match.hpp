#pragma once

#include <string>
#include <vector>

#include "model/table_metadata.hpp"

namespace tabvora::internal {

// The listed table a name asks for: the one of exactly that name, else the one whose name
// differs only in ASCII letter case. Throws DriverError (invalidArgument) naming the tables
// when there is none: "no table named "x" (tables: a, b)".
std::string matchTableName(const std::vector<TableMetadata>& tables, const std::string& wanted);

}  // namespace tabvora::internal
