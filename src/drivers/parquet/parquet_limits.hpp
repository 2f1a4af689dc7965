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
// The native reader refuses a footer with more schema elements, or more column chunks
// over all row groups, than this: each costs about 100 bytes decoded, so a footer of empty
// structs cannot make the decoded metadata hundreds of times its own size.
constexpr std::size_t kMostSchemaElements = 100'000;
constexpr std::size_t kMostColumnChunks = 1'000'000;
// A column chunk (the compressed bytes of one column of one row group, read whole) and a
// page once decompressed are refused past these sizes: they bound what one column of one
// row group may take in memory whatever the metadata declares.
constexpr std::uint64_t kLargestColumnChunk = 1ull << 30;
constexpr std::uint64_t kLargestPage = 1ull << 30;
// Decoded values of all columns of one row group held at once (bytes of text and numbers);
// a row group that decodes larger is refused.
constexpr std::uint64_t kLargestDecodedRowGroup = 2ull << 30;

// Columns listed in the table shown when DuckDB cannot read the file.
constexpr std::size_t kMostSchemaRows = 500;

// Rows staged for a preview by either route (the DuckDB query's LIMIT).
constexpr std::int64_t kDuckDBRowLimit = 5000;
// Rows one DuckDB run gives a full open (LIMIT and OFFSET): its output stays within
// kDuckDBOutputLimit for rows of up to about 2.5 KB of JSON (a wider file fails the route
// and the native reader is asked). Each run costs DuckDB's start, so batches are large.
constexpr std::int64_t kDuckDBBatchRows = 100'000;
// DuckDB runs at most this long, and what it prints is read up to this many bytes (5000
// wide rows of JSON fit); past either, the footer table is shown instead.
constexpr std::chrono::milliseconds kDuckDBTimeLimit{10'000};
constexpr std::size_t kDuckDBOutputLimit = 256u << 20;
constexpr std::size_t kDuckDBErrorLimit = 4096;

}  // namespace tabvora::internal::parquet_limits
