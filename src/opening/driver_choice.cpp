#include "opening/driver_choice.hpp"

namespace tabvora::internal {

std::string_view driverName(DriverKind kind) {
  switch (kind) {
    case DriverKind::sqlite: return "SQLiteDriver";
    case DriverKind::xlsx: return "XLSXDriver";
    case DriverKind::xls: return "XLSDriver";
    case DriverKind::parquet: return "ParquetDriver";
    case DriverKind::delimited: return "DelimitedDriver";
    case DriverKind::json: return "JSONDriver";
    case DriverKind::sqlScript: return "SQLScriptDriver";
  }
  return "UnknownDriver";
}

}  // namespace tabvora::internal
