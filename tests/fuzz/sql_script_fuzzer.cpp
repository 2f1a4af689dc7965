// The SQL script readers on arbitrary bytes: the script is split in each dialect; every
// statement is rewritten, tokenized, given to the keyword helpers, the VIEW/INDEX rewrites
// and the table-name rewrite of two schemas holding a table of the same name, and parsed
// as a CREATE TABLE whose text is emitted at every level; every COPY block is converted
// into INSERT batches. Beyond not crashing, the splitter must keep its promises
// (statements non-empty and trimmed, a bounded count, position moving forward), a parsed
// table must have distinct column names, a COPY block no more batches than lines, and the
// table-name rewrite must change nothing while no name is taken.

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "drivers/sqlscript/copy_data_converter.hpp"
#include "drivers/sqlscript/create_table_rewriter.hpp"
#include "drivers/sqlscript/sql_dialect.hpp"
#include "drivers/sqlscript/sql_statement_rewriter.hpp"
#include "drivers/sqlscript/sql_tokens.hpp"
#include "drivers/sqlscript/statement_splitter.hpp"
#include "drivers/sqlscript/table_namespaces.hpp"
#include "drivers/sqlscript/view_index_rewriter.hpp"
#include "fuzz/fuzz_support.hpp"
#include "platform/ascii_case.hpp"

namespace {

using namespace tabvora;
using namespace tabvora::internal;
using namespace tabvora::internal::SQLDialectNormalizer;
using tabvora::fuzzing::check;

// archive.orders staged as "orders", public.orders as "public.orders".
const TableNamespaces& twoSchemas() {
  static const TableNamespaces spaces = [] {
    TableNamespaces made("public");
    made.add("archive");
    made.define({"archive", "orders", "orders"});
    made.define({"public", "orders", "public.orders"});
    return made;
  }();
  return spaces;
}

void readStatement(const std::string& text, SQLDialect dialect) {
  const std::set<std::string> schemas = {"public", "pg_catalog"};
  const std::string rewritten = rewriteStatement(text, dialect, schemas);
  check(TableNamespaces().rewrite(rewritten, true).text == rewritten);
  (void)twoSchemas().rewrite(rewritten, true);
  (void)rewriteMaterializedViewStatement(rewritten);
  const std::vector<std::string> words = leadingWords(rewritten);
  check(words.size() <= kMaxLeadingWords);
  (void)objectKind(words);
  (void)tokenize(rewritten);
  (void)rewriteViewStatement(rewritten);
  (void)rewriteIndexStatement(rewritten);
  if (const std::optional<ParsedTable> table = parseCreateTable(rewritten, dialect)) {
    check(!table->columns.empty());
    for (std::size_t i = 0; i < table->columns.size(); ++i) {
      for (std::size_t j = 0; j < i; ++j) check(!equalsIgnoringASCIICase(table->columns[i].name, table->columns[j].name));
    }
    for (CreateTableLevel level : {CreateTableLevel::full, CreateTableLevel::keysOnly, CreateTableLevel::columnsOnly}) {
      check(createTableSQL(*table, level).ends_with("\n)"));
    }
  }
}

void readCopyBlock(std::string_view data) {
  const std::size_t lines = static_cast<std::size_t>(std::count(data.begin(), data.end(), '\n')) + 1;
  std::size_t sent = 0;
  const bool failed = forEachCopyInsert(data, "t", {"a"}, {std::string("BLOB")}, 2, [&](const std::string& sql) {
    check(sql.starts_with("INSERT INTO \"t\" (\"a\") VALUES\n(") && sql.ends_with(");"));
    ++sent;
    return sent % 2 == 0;
  });
  check(sent <= lines);
  check(failed == (sent > 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view script(reinterpret_cast<const char*>(data), size);
  (void)detectDialect(script);
  for (SQLDialect dialect : {SQLDialect::generic, SQLDialect::mysql, SQLDialect::postgres}) {
    StatementSplitter splitter(script, dialect);
    std::size_t statements = 0;
    std::size_t position = 0;
    while (const std::optional<SplitStatement> statement = splitter.next()) {
      check(!statement->text.empty() && statement->text.size() <= size);
      check(!isSQLWhiteSpace(static_cast<unsigned char>(statement->text.front())) &&
            !isSQLWhiteSpace(static_cast<unsigned char>(statement->text.back())));
      check(splitter.position() > position || splitter.position() == size);
      check(++statements <= size);
      position = splitter.position();
      readStatement(statement->text, dialect == SQLDialect::mysql ? SQLDialect::mysql : SQLDialect::postgres);
      if (statement->copyData) readCopyBlock(*statement->copyData);
    }
    check(splitter.position() == size);
  }
  return 0;
}
