#include "drivers/sqlite/declared_column_type.hpp"

#include <initializer_list>
#include <string>

#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {
bool containsAny(const std::string& text, std::initializer_list<std::string_view> needles) {
  for (std::string_view needle : needles)
    if (text.find(needle) != std::string::npos) return true;
  return false;
}
}  // namespace

ColumnType schemaColumnType(std::string_view declaredType) {
  const std::string type = toUpperUnicode(declaredType);
  if (containsAny(type, {"INT"})) return ColumnType::integer;
  if (containsAny(type, {"CHAR", "TEXT", "CLOB"})) return ColumnType::text;
  if (containsAny(type, {"BLOB"})) return ColumnType::blob;
  if (containsAny(type, {"REAL", "FLOA", "DOUB", "NUM", "DEC"})) return ColumnType::real;
  if (containsAny(type, {"BOOL"})) return ColumnType::boolean;
  if (containsAny(type, {"DATE", "TIME"})) return ColumnType::date;
  if (containsAny(type, {"JSON"})) return ColumnType::json;
  return ColumnType::unknown;
}

ColumnType resultColumnType(std::string_view declaredType) {
  const std::string type = toUpperUnicode(declaredType);
  if (containsAny(type, {"INT"})) return ColumnType::integer;
  if (containsAny(type, {"REAL", "FLOA", "DOUB"})) return ColumnType::real;
  if (containsAny(type, {"BLOB"})) return ColumnType::blob;
  if (containsAny(type, {"BOOL"})) return ColumnType::boolean;
  return ColumnType::text;
}

}  // namespace tabvora::internal
