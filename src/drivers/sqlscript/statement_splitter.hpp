#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "drivers/sqlscript/sql_dialect.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

// One statement of a script.
struct SplitStatement {
  // The statement's bytes without its delimiter, comments and the markers of MySQL
  // conditional comments (their content stays). It starts at its first byte that is
  // neither white space nor in a comment, so the COPY, DELIMITER and trigger checks are not
  // misled by a comment line before a statement, and ends without trailing white space.
  std::string text;
  // For a COPY ... FROM STDIN statement ended by its delimiter: the data lines that follow
  // it, up to (not including) the line "\." or the end of the script. A view into the
  // script given to the splitter.
  std::optional<std::string_view> copyData;
  // A client meta-command line (not in MySQL mode), such as "\connect db": `text` is the
  // line without its line end. It is no SQL.
  bool metaCommand = false;
};

// Splits a script into statements, one call of next() at a time, in one pass over its
// bytes: time is linear in the script's size and memory in the largest statement.
// Quotes, backslash escapes (MySQL; E-strings elsewhere), comments, dollar quotes (not
// MySQL), DELIMITER lines, client meta-command lines (not MySQL; each is returned as one
// statement) and generic CREATE TRIGGER bodies are honoured. Executable comments
// ("/*!", "/*M!") keep their content when they carry no version or one at most
// kEmulatedServerVersion; with a later version they are dropped like any comment. A
// DELIMITER line naming a delimiter longer than kMaxDelimiterBytes is skipped without
// effect. Unterminated quotes and comments run to the end of the script. Any bytes are
// accepted.
//
// The script is not copied: it must outlive the splitter and every copyData view.
class StatementSplitter {
 public:
  StatementSplitter(std::string_view script, SQLDialect dialect);

  // The mode the next statements are split in; may change between calls of next().
  void setDialect(SQLDialect dialect) { dialect_ = dialect; }
  SQLDialect dialect() const { return dialect_; }

  // The next non-empty statement, or nothing at the end of the script.
  std::optional<SplitStatement> next();

  // Bytes of the script consumed so far.
  std::size_t position() const { return position_; }

 private:
  // The data block after a COPY statement ended at position_; moves position_ past it.
  std::string_view readCopyData();

  std::string_view script_;
  SQLDialect dialect_;
  std::size_t position_ = 0;
  std::string delimiter_ = ";";
  std::size_t conditionalDepth_ = 0;
};

}  // namespace tabvora::internal::SQLDialectNormalizer
