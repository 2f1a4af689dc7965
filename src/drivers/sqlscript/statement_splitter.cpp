#include "drivers/sqlscript/statement_splitter.hpp"

#include <stdexcept>

namespace tabvora::SQLDialectNormalizer {

StatementSplitter::StatementSplitter(std::string_view script, SQLDialect dialect) : script_(script), dialect_(dialect) {}

std::optional<SplitStatement> StatementSplitter::next() { throw std::logic_error("StatementSplitter: not implemented yet"); }

}  // namespace tabvora::SQLDialectNormalizer
