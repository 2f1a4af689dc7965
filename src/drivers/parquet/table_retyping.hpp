#pragma once

#include <span>
#include <string>

#include "model/data_column.hpp"

namespace tabvora::internal {

class SQLiteDriver;

// Gives a staged table the declared types of `columns` (same names and order) when rows
// staged after it was created changed what the types merge to: the table is created again
// under a new name, its rows copied (each value converted by the new column's affinity, as
// it would have been had it been inserted there), the old one dropped and the new renamed.
// Nothing is done when every type is the one declared. Errors of the staging database
// propagate.
void retypeStagedTable(SQLiteDriver& staging, const std::string& table, std::span<const DataColumn> columns);

}  // namespace tabvora::internal
