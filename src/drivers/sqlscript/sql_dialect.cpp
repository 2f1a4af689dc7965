#include "drivers/sqlscript/sql_dialect.hpp"

#include <algorithm>
#include <array>

#include "drivers/sqlscript/sql_script_limits.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

bool containsAny(std::string_view text, std::initializer_list<std::string_view> signs) {
  return std::any_of(signs.begin(), signs.end(),
                     [&](std::string_view sign) { return text.find(sign) != std::string_view::npos; });
}

}  // namespace

std::optional<SQLDialect> detectDialect(std::string_view script) {
  const std::string_view head = script.substr(0, std::min(script.size(), kDialectScanBytes));
  if (containsAny(head, {"PostgreSQL database dump"})) return SQLDialect::postgres;
  if (containsAny(head, {"MySQL dump", "MariaDB dump", "phpMyAdmin SQL Dump"})) return SQLDialect::mysql;
  if (containsAny(head, {"/*!40", "/*!50", "ENGINE=", "engine=", "AUTO_INCREMENT", "auto_increment", "LOCK TABLES",
                         "SET NAMES", "SET FOREIGN_KEY_CHECKS", "/*M!"})) {
    return SQLDialect::mysql;
  }
  if (containsAny(
          head, {"pg_catalog", "FROM stdin", "SET statement_timeout", "SET client_encoding", "SET search_path",
                 "::regclass", " OWNER TO ", "character varying", "nextval(", "timestamp with", "timestamp without"})) {
    return SQLDialect::postgres;
  }
  return std::nullopt;
}

}  // namespace tabvora::internal::SQLDialectNormalizer
