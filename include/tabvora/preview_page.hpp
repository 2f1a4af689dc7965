#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tabvora {

// The self-contained HTML page (no script, no external resource) showing the first rows of
// the file's first table, or the error page naming the reason when the file cannot be
// read. Never throws for anything about the file; the file stays as it was.
std::string previewPage(const std::filesystem::path& path);

// The error page for `message` (escaped here).
std::string errorPage(std::string_view message);

}  // namespace tabvora
