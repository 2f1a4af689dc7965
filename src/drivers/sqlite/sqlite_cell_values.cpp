#include "drivers/sqlite/sqlite_cell_values.hpp"

#include <sqlite3.h>

#include <climits>

#include "model/driver_error.hpp"
#include "platform/iso8601.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {
[[noreturn]] void failOutOfMemory() { throw DriverError("SQLiteDriver", SQLITE_NOMEM, "out of memory"); }
}  // namespace

CellValue readCellValue(sqlite3_stmt* statement, int column, std::size_t textByteLimit) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER: return CellValue::integer(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT: return CellValue::real(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      if (!text) failOutOfMemory();
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
      return CellValue::text(std::string(text, utf8PrefixLength({text, size}, textByteLimit)));
    }
    case SQLITE_BLOB: {
      // A zero-length blob comes back as a null pointer, so the size decides first.
      const void* bytes = sqlite3_column_blob(statement, column);
      int size = sqlite3_column_bytes(statement, column);
      if (size == 0) return CellValue::blob({});
      if (!bytes) failOutOfMemory();
      const auto* begin = static_cast<const std::uint8_t*>(bytes);
      return CellValue::blob(Bytes(begin, begin + size));
    }
    default: return CellValue::null();
  }
}

namespace {
int bindText(sqlite3_stmt* statement, int parameter, const std::string& text) {
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return SQLITE_TOOBIG;
  return sqlite3_bind_text(statement, parameter, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}
}  // namespace

int bindCellValue(sqlite3_stmt* statement, int parameter, const CellValue& value) {
  switch (value.kind()) {
    case CellValue::Kind::integer: return sqlite3_bind_int64(statement, parameter, value.integerValue());
    case CellValue::Kind::real: return sqlite3_bind_double(statement, parameter, value.realValue());
    case CellValue::Kind::text:
    case CellValue::Kind::json: return bindText(statement, parameter, value.stringValue());
    case CellValue::Kind::boolean: return sqlite3_bind_int(statement, parameter, value.booleanValue() ? 1 : 0);
    case CellValue::Kind::date:
      return bindText(statement, parameter, formatISO8601(value.dateValue().secondsSince1970, false));
    case CellValue::Kind::blob: {
      const Bytes& bytes = value.blobValue();
      if (bytes.empty()) return sqlite3_bind_zeroblob(statement, parameter, 0);
      if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return SQLITE_TOOBIG;
      return sqlite3_bind_blob(statement, parameter, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    }
    case CellValue::Kind::null: break;
  }
  return sqlite3_bind_null(statement, parameter);
}

}  // namespace tabvora::internal
