#include "tabvora/open_options.hpp"

#include "platform/text_converter.hpp"

namespace tabvora {

bool isTextEncodingName(std::string_view name) { return internal::TextConverter::isKnown(name); }

std::vector<std::string> textEncodingNames() { return internal::TextConverter::names(); }

}  // namespace tabvora
