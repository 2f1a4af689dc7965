#pragma once

// Every bound of the SQL script readers, in one place. Each has a test at its edge.

#include <cstddef>
#include <cstdint>

namespace tabvora::internal::SQLDialectNormalizer {

// detectDialect looks at this many leading bytes only.
inline constexpr std::size_t kDialectScanBytes = 262'144;

// leadingWords reads at most this many bytes and returns at most this many words.
inline constexpr std::size_t kLeadingWordsScanBytes = 400;
inline constexpr std::size_t kMaxLeadingWords = 12;

// A DELIMITER line naming a longer delimiter is skipped and the delimiter stays: a long
// delimiter would make every byte of the script a long comparison.
inline constexpr std::size_t kMaxDelimiterBytes = 32;

// The server whose executable comments run: MariaDB 10.6.11. "/*!NNNNN ... */" and
// "/*M!NNNNNN ... */" run when the version is at most this, as they would on that server
// (MySQL's five-digit versions, 50700 for 5.7 or 80016 for 8.0.16, included); later ones,
// such as the "/*M!999999 ... */" a MariaDB dump starts with, are dropped. The version is
// read from at most this many digits.
inline constexpr std::uint32_t kEmulatedServerVersion = 100611;
inline constexpr std::size_t kMaxCommentVersionDigits = 6;

// A COPY ... FROM STDIN statement is longer than this.
inline constexpr std::size_t kMinCopyStatementBytes = 16;

// rewriteStatement: an INSERT head is examined for at most this many words; schema names
// and binary literals longer than these are left as written.
inline constexpr std::size_t kInsertHeadWords = 400;
inline constexpr std::size_t kMaxSchemaNameBytes = 64;
inline constexpr std::size_t kMaxBinaryLiteralDigits = 63;

// The VIEW and INDEX rewrites look for their clauses in this many leading bytes of a
// statement: the clauses stand in its head, and a bounded window keeps the regular
// expressions from backtracking over a huge statement.
inline constexpr std::size_t kStatementRewriteWindowBytes = 16'384;

// parseCreateTable gives up (the statement then runs as text) on longer statements, whose
// tokens would take several times their size in memory.
inline constexpr std::size_t kMaxCreateTableBytes = 4u << 20;

// copyToInserts: a batch is sent when it holds this many rows or its text is longer than
// this many bytes.
inline constexpr std::size_t kCopyBatchRows = 500;
inline constexpr std::size_t kCopyBatchMaxBytes = 0x3F'FFFF;

}  // namespace tabvora::internal::SQLDialectNormalizer
