#pragma once

#include <string_view>

#include "model/column_type.hpp"

namespace tabvora::internal {

// The two readings of an SQLite declared type (case-insensitive substring rules).
// A table's schema knows the full affinity vocabulary and says `unknown` when nothing
// matches (also for an empty type); a query result only separates numbers, blobs and
// booleans from everything else, which it shows as text.
ColumnType schemaColumnType(std::string_view declaredType);
ColumnType resultColumnType(std::string_view declaredType);

}  // namespace tabvora::internal
