#pragma once

#include <cstddef>
#include <limits>

#include "model/cell_value.hpp"

struct sqlite3_stmt;

namespace tabvora::internal {

// A result cell as a CellValue, by the value's storage class (never its declared type):
// INTEGER -> integer, FLOAT -> real, TEXT -> text, BLOB -> blob (zero bytes give an empty
// blob), NULL -> null. Text longer than `textByteLimit` bytes is cut to at most that many,
// at a character boundary. A value SQLite cannot materialise throws DriverError
// ("SQLiteDriver", SQLITE_NOMEM, "out of memory").
CellValue readCellValue(sqlite3_stmt* statement, int column,
                        std::size_t textByteLimit = std::numeric_limits<std::size_t>::max());

// Binds a value to the 1-based parameter; returns SQLite's result code. Booleans bind as
// 1/0, dates as ISO 8601 UTC text with whole seconds, text and blobs are copied by SQLite
// and an empty blob binds a zero-length blob, not NULL.
int bindCellValue(sqlite3_stmt* statement, int parameter, const CellValue& value);

}  // namespace tabvora::internal
