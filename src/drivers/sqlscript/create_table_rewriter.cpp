#include "drivers/sqlscript/create_table_rewriter.hpp"

#include <stdexcept>

namespace tabvora::SQLDialectNormalizer {

std::optional<ParsedTable> parseCreateTable(std::string_view, SQLDialect) {
  throw std::logic_error("parseCreateTable: not implemented yet");
}
std::string createTableSQL(const ParsedTable&, CreateTableLevel) {
  throw std::logic_error("createTableSQL: not implemented yet");
}
std::string sqliteType(const std::vector<std::string>&, const std::vector<std::string>&, bool, bool, SQLDialect) {
  throw std::logic_error("sqliteType: not implemented yet");
}

}  // namespace tabvora::SQLDialectNormalizer
