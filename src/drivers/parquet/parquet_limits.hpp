#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tabvora::internal::parquet_limits {

// The file's first and last 4 bytes.
constexpr std::string_view kMagic = "PAR1";
// Magic, a footer of at least one byte, its 4-byte length and the closing magic.
constexpr std::uint64_t kSmallestFileWithFooter = 13;
// Footer lengths of this or more are not read: the file is shown as having no footer.
constexpr std::uint64_t kFooterLengthLimit = 64'000'001;
// Nesting of Thrift structs, lists, sets and maps the footer decoder follows.
constexpr int kDeepestThriftNesting = 32;
// Columns listed in the table shown when DuckDB cannot read the file.
constexpr std::size_t kMostSchemaRows = 500;

// Rows asked from DuckDB (the query's LIMIT).
constexpr int kDuckDBRowLimit = 5000;
// DuckDB runs at most this long, and what it prints is read up to this many bytes (5000
// wide rows of JSON fit); past either, the footer table is shown instead.
constexpr std::chrono::milliseconds kDuckDBTimeLimit{10'000};
constexpr std::size_t kDuckDBOutputLimit = 256u << 20;
constexpr std::size_t kDuckDBErrorLimit = 4096;

}  // namespace tabvora::internal::parquet_limits
