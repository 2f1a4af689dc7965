#pragma once

#include <filesystem>
#include <string_view>

namespace tabvora {

// Parquet rows come from the DuckDB command-line program: `program` is tried before
// /opt/homebrew/bin/duckdb, /usr/local/bin/duckdb and /usr/bin/duckdb (an empty path
// forgets it). Call before opening files; without DuckDB a Parquet file lists its columns.
void preferDuckDBAt(const std::filesystem::path& program);

// For programs (a library never installs signal handlers on its own): on SIGINT, SIGTERM,
// SIGHUP and SIGQUIT, the temporary files the library made (private copies of databases,
// unfinished atomic writes) are removed before the process ends as the signal would have
// ended it.
void installSignalCleanup();

// The library's version, "MAJOR.MINOR.PATCH".
std::string_view version();

}  // namespace tabvora
