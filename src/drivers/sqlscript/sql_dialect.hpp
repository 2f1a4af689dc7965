#pragma once

#include <optional>
#include <string_view>

namespace tabvora::internal {

// The SQL dialect of a script: `generic` is plain SQLite SQL.
enum class SQLDialect { generic, mysql, postgres };

namespace SQLDialectNormalizer {

// Recognises a MySQL/MariaDB or PostgreSQL dump by fixed byte strings (case-sensitive) in
// the first kDialectScanBytes bytes; MySQL signs are tested before PostgreSQL ones.
// Nothing when no sign is found (the caller then treats the script as generic).
std::optional<SQLDialect> detectDialect(std::string_view script);

}  // namespace SQLDialectNormalizer
}  // namespace tabvora::internal
