#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tabvora::internal {

// An SQLite "file:" URI for a local path, the path percent-encoded as a URL path (so "?",
// "#", "%" and spaces in names cannot be read as URI syntax), then "?" and `query` when
// the query is not empty. Relative paths are made absolute first.
std::string sqliteFileURI(const std::filesystem::path& path, std::string_view query);

}  // namespace tabvora::internal
