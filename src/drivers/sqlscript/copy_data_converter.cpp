#include "drivers/sqlscript/copy_data_converter.hpp"

#include <stdexcept>

namespace tabvora::SQLDialectNormalizer {

std::vector<std::optional<std::string>> copyColumnTypes(const std::vector<std::pair<std::string, std::string>>*,
                                                        const std::vector<std::string>&) {
  throw std::logic_error("copyColumnTypes: not implemented yet");
}
bool forEachCopyInsert(std::string_view, const std::string&, const std::vector<std::string>&,
                       const std::vector<std::optional<std::string>>&, std::size_t,
                       const std::function<bool(const std::string&)>&) {
  throw std::logic_error("forEachCopyInsert: not implemented yet");
}
bool copyToInserts(std::string_view, const std::string&, const std::vector<std::string>&,
                   const std::vector<std::optional<std::string>>&, SQLiteDriver&, std::size_t) {
  throw std::logic_error("copyToInserts: not implemented yet");
}

}  // namespace tabvora::SQLDialectNormalizer
