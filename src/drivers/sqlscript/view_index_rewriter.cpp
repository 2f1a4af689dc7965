#include "drivers/sqlscript/view_index_rewriter.hpp"

#include <stdexcept>

namespace tabvora::SQLDialectNormalizer {

std::string rewriteViewStatement(std::string_view) { throw std::logic_error("rewriteViewStatement: not implemented yet"); }
std::string rewriteIndexStatement(std::string_view) { throw std::logic_error("rewriteIndexStatement: not implemented yet"); }

}  // namespace tabvora::SQLDialectNormalizer
