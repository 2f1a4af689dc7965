#include "tabvora/column_layout.hpp"

#include <nlohmann/json.hpp>

#include "model/view_state/table_column_layout.hpp"

namespace tabvora {

std::string TableColumnLayout::toJSONText() const {
  return internal::TableColumnLayout{widths, hidden}.toJSON().dump(-1, ' ', false,
                                                                   nlohmann::json::error_handler_t::replace);
}

TableColumnLayout TableColumnLayout::fromJSONText(std::string_view text) {
  internal::TableColumnLayout layout = internal::TableColumnLayout::fromJSONText(text);
  return {std::move(layout.widths), std::move(layout.hidden)};
}

}  // namespace tabvora
