#include "opening/table_name_match.hpp"

#include "model/driver_error.hpp"
#include "platform/ascii_case.hpp"

namespace tabvora::internal {

std::string matchTableName(const std::vector<TableMetadata>& tables, const std::string& wanted) {
  for (const TableMetadata& table : tables) {
    if (table.name == wanted) return table.name;
  }
  for (const TableMetadata& table : tables) {
    if (equalsIgnoringASCIICase(table.name, wanted)) return table.name;
  }
  std::string names;
  for (const TableMetadata& table : tables) names += (names.empty() ? "" : ", ") + table.name;
  throw DriverError("TableChoice", ErrorCode::invalidArgument, -1,
                    "no table named \"" + wanted + "\" (tables: " + names + ")");
}

}  // namespace tabvora::internal
