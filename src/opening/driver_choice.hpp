#pragma once

#include <string_view>

#include "model/database_format.hpp"

namespace tabvora::internal {

// The driver classes a file can be handed to.
enum class DriverKind { sqlite, xlsx, xls, parquet, delimited, json, sqlScript };

// The driver's type name, which is also the domain of its errors ("SQLiteDriver", ...).
std::string_view driverName(DriverKind kind);

// Whether the driver reads its file as text (delimited text, JSON, SQL scripts).
constexpr bool readsTextFormat(DriverKind kind) {
  return kind == DriverKind::delimited || kind == DriverKind::json || kind == DriverKind::sqlScript;
}

// Which driver reads a file and the format it is built with. Legacy workbooks report the
// workbook format (`xlsx`) like every Excel file; SQL scripts report `sql`.
struct DriverChoice {
  DriverKind kind;
  DatabaseFormat format;

  friend bool operator==(const DriverChoice& a, const DriverChoice& b) {
    return a.kind == b.kind && a.format == b.format;
  }
};

}  // namespace tabvora::internal
