#pragma once

#include <string>
#include <string_view>

namespace tabvora::internal::SQLDialectNormalizer {

// Statement-level rewrites applied to the decoded (UTF-8) text of a rewritten statement.
// Both look only at the first kStatementRewriteWindowBytes bytes and copy the rest; bytes
// that are not valid UTF-8 are kept as they are.

// A CREATE VIEW head with MySQL/PostgreSQL clauses (OR REPLACE, ALGORITHM=, DEFINER=,
// SQL SECURITY, RECURSIVE) becomes "CREATE VIEW " or "CREATE TEMP VIEW " (TEMP/TEMPORARY
// kept as written). Any other text is returned unchanged.
std::string rewriteViewStatement(std::string_view statement);

// CREATE MATERIALIZED VIEW [IF NOT EXISTS] name ... AS query [WITH [NO] DATA] becomes
// CREATE VIEW [IF NOT EXISTS] name ... AS query: the view computes what the materialized
// one would hold once refreshed. Any other text is returned unchanged.
std::string rewriteMaterializedViewStatement(std::string_view statement);

// CREATE INDEX: every " ON ONLY " becomes " ON ", then the first "USING method" clause is
// removed (with the white space before it).
std::string rewriteIndexStatement(std::string_view statement);

}  // namespace tabvora::internal::SQLDialectNormalizer
