#pragma once

#include <filesystem>
#include <string_view>

namespace tabvora {

// Parquet rows come from the DuckDB command-line program: `program` is tried before
// /opt/homebrew/bin/duckdb, /usr/local/bin/duckdb and /usr/bin/duckdb (an empty path
// forgets it). Call before opening files; without DuckDB a Parquet file lists its columns.
void preferDuckDBAt(const std::filesystem::path& program);

// The library's version, "MAJOR.MINOR.PATCH".
std::string_view version();

}  // namespace tabvora
