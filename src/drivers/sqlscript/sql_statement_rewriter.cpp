#include "drivers/sqlscript/sql_statement_rewriter.hpp"

#include <stdexcept>

namespace tabvora::SQLDialectNormalizer {

std::string rewriteStatement(std::string_view, SQLDialect, const std::set<std::string>&) {
  throw std::logic_error("rewriteStatement: not implemented yet");
}

}  // namespace tabvora::SQLDialectNormalizer
