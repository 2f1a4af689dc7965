#pragma once

#include <string>
#include <string_view>

namespace tabvora::internal {

// Text from a file made safe for element content and attribute values: "&", "<", ">",
// the double quote and the single quote become entities. "&" goes first, so the
// ampersand of an inserted entity is never escaped again.
std::string escapeHTML(std::string_view text);

// The lighter escaping of the error page, whose message only ever lands in element
// content: "&", "<" and ">" become entities; quotes stay as they are.
std::string escapeHTMLText(std::string_view text);

}  // namespace tabvora::internal
