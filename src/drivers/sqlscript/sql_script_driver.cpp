#include "drivers/sqlscript/sql_script_driver.hpp"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>
#include <iostream>

#include "drivers/sqlite/inspection_limits.hpp"
#include "drivers/sqlscript/copy_data_converter.hpp"
#include "drivers/sqlscript/create_table_rewriter.hpp"
#include "drivers/sqlscript/sql_script_text.hpp"
#include "drivers/sqlscript/sql_statement_rewriter.hpp"
#include "drivers/sqlscript/sql_tokens.hpp"
#include "drivers/sqlscript/statement_splitter.hpp"
#include "drivers/sqlscript/table_namespaces.hpp"
#include "drivers/sqlscript/view_index_rewriter.hpp"
#include "model/driver_error.hpp"
#include "platform/ascii_case.hpp"
#include "platform/byte_order_mark.hpp"
#include "platform/file_reader.hpp"
#include "platform/sql_quoting.hpp"
#include "tabvora/terminal_text.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace N = SQLDialectNormalizer;

namespace {

constexpr const char* kDomain = "SQLScriptDriver";

// Statements in one staging transaction at most. A statement stopped by a bound (or out
// of memory) may roll back the whole transaction it ran in, so outside a transaction the
// script opened itself transactions are kept short: every statement that is not an INSERT
// or REPLACE (a CREATE TABLE, say) runs in a transaction of its own, so rows that later
// fill the heap do not take the table with them.
constexpr int kStatementsPerTransaction = 1000;

// Qualifiers the statement rewriter drops; those of tables are left to TableNamespaces.
const std::set<std::string> kCatalogSchemas = {"pg_catalog"};

[[noreturn]] void fail(int code, const std::string& message) { throw DriverError(kDomain, code, message); }

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// "INSERT" and a blank, in any case: a row INSERT, the commonest statement of a script.
bool isPlainInsert(std::string_view statement) {
  constexpr std::string_view kInsert = "INSERT";
  if (statement.size() <= kInsert.size() || !startsWithIgnoringASCIICase(statement, kInsert)) return false;
  const char next = statement[kInsert.size()];
  return next == ' ' || next == '\t' || next == '\n' || next == '\r';
}

std::string_view word(const std::vector<std::string>& words, std::size_t index) {
  return index < words.size() ? std::string_view(words[index]) : std::string_view();
}

// Statements that only make sense in another dialect. The strict test applies before a
// statement is run, the lenient one (which adds statements SQLite may or may not accept)
// after it failed.
bool isIgnorable(const std::vector<std::string>& words, SQLDialect dialect, bool lenient) {
  const std::string_view first = word(words, 0);
  // A materialized view is staged as a view of its query: REFRESH has nothing to do.
  if (isOneOf(first, {"SET", "LOCK", "UNLOCK", "USE", "GRANT", "REVOKE", "COMMENT", "DELIMITER", "FLUSH", "SHOW",
                      "RESET", "OPTIMIZE", "CALL", "DO", "SECURITY", "REFRESH"}))
    return true;
  if (first == "CREATE") {
    const std::string kind = N::objectKind(words).value_or("");
    if (isOneOf(kind,
                {"SEQUENCE",  "EXTENSION", "SCHEMA",     "TYPE",       "FUNCTION",    "PROCEDURE",    "DOMAIN",
                 "AGGREGATE", "OPERATOR",  "RULE",       "POLICY",     "PUBLICATION", "SUBSCRIPTION", "ROLE",
                 "USER",      "DATABASE",  "EVENT",      "COLLATION",  "CAST",        "LANGUAGE",     "SERVER",
                 "FOREIGN",   "TEXT",      "TABLESPACE", "STATISTICS", "ACCESS",      "CONVERSION",   "TRANSFORM"}))
      return true;
    if (kind == "TRIGGER" && dialect != SQLDialect::generic) return true;
  }
  return lenient && isOneOf(first, {"ALTER", "SELECT", "DROP", "ANALYZE", "TRUNCATE", "REINDEX", "CLUSTER",
                                    "CHECKPOINT", "DISCARD", "LISTEN", "NOTIFY", "PREPARE", "EXECUTE", "DEALLOCATE"});
}

// A serial column as written does not fill itself in SQLite (SERIAL NOT NULL has no
// default); the table rebuilt as PostgreSQL's makes a serial key an INTEGER PRIMARY KEY,
// which does.
bool declaresSerialColumn(std::string_view createTable) {
  const std::vector<N::Token> tokens = N::tokenize(createTable.substr(0, N::kMaxCreateTableBytes));
  return std::any_of(tokens.begin(), tokens.end(), [](const N::Token& token) {
    return token.isWord("SERIAL") || token.isWord("BIGSERIAL") || token.isWord("SMALLSERIAL") ||
           token.isWord("SERIAL2") || token.isWord("SERIAL4") || token.isWord("SERIAL8");
  });
}

std::string durationText(std::chrono::milliseconds time) {
  if (time.count() % 1000 == 0) return std::to_string(time.count() / 1000) + " s";
  return std::to_string(time.count()) + " ms";
}

// The database a psql "\connect" or "\c" line names: its first argument that is not an
// option, or the dbname of a connection string ("dbname='a b'"). Nothing for other lines.
std::optional<std::string> connectedDatabase(std::string_view line) {
  std::vector<std::string> arguments;
  for (std::size_t i = 1; i < line.size();) {
    if (N::isSQLWhiteSpace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    std::string argument;
    for (bool quoted = false; i < line.size() && (quoted || !N::isSQLWhiteSpace(static_cast<unsigned char>(line[i])));
         ++i) {
      if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') argument += line[++i];
        quoted = !quoted;
      } else {
        argument += line[i];
      }
    }
    arguments.push_back(std::move(argument));
  }
  if (arguments.empty() || (arguments[0] != "connect" && arguments[0] != "c")) return std::nullopt;
  for (std::size_t k = 1; k < arguments.size(); ++k) {
    const std::string& argument = arguments[k];
    if (argument.starts_with("-")) continue;
    if (!argument.starts_with("dbname=")) return argument;
    std::string name;
    const std::string_view value = std::string_view(argument).substr(7);
    for (std::size_t j = 0; j < value.size(); ++j) {
      if (value[j] != '\'') {
        name += value[j];
      } else if (j + 1 < value.size() && value[j + 1] == '\'') {
        name += value[++j];
      }
    }
    return name;
  }
  return std::nullopt;
}

// The first bytes of a statement for a warning line: cut before a character the limit
// would split, and with control characters (line ends, escape sequences a terminal would
// obey) shown as spaces.
std::string warningExcerpt(std::string_view statement) {
  const std::size_t cut = utf8PrefixLength(statement, SQLScriptDriver::kWarningStatementBytes);
  std::string text = SQLScriptText::decode(statement.substr(0, cut));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

}  // namespace

// One open's pass over the script: runs each statement by its kind and dialect, and keeps
// the driver's counts.
class SQLScriptDriver::Run {
 public:
  Run(SQLScriptDriver& driver, std::chrono::steady_clock::time_point started, std::chrono::milliseconds budget)
      : driver_(driver),
        staging_(driver.internalSQLite),
        deadline_(started + budget),
        budget_(budget),
        namespaces_(driver.dialect_ == SQLDialect::postgres ? "public" : "") {}

  void runScript(std::string_view script) {
    if (ByteOrderMark::sniff(script).isUTF8()) script.remove_prefix(kUTF8ByteOrderMark.size());
    N::StatementSplitter splitter(script, driver_.dialect_);
    executeIgnoringError("BEGIN;");
    while (true) {
      splitter.setDialect(driver_.dialect_);
      std::optional<N::SplitStatement> statement = splitter.next();
      if (!statement) break;
      if (std::chrono::steady_clock::now() >= deadline_) {
        stopAtDeadline();
        break;
      }
      lastErrorCode_ = SQLITE_OK;
      lastErrorRefused_ = false;
      if (statement->metaCommand) {
        if (std::optional<std::string> database = connectedDatabase(statement->text)) namespaces_.connect(*database);
      } else if (statement->copyData) {
        handleCopy(statement->text, *statement->copyData);
      } else {
        handleStatement(statement->text);
      }
    }
    executeIgnoringError("COMMIT;");
    leaveOutUnreadableViews();
  }

 private:
  // Runs SQL on the staging database. The failure of a statement of the script (not
  // `driversOwn`, as the driver's BEGIN, COMMIT and DROP are) is kept for boundReason and
  // the warning.
  bool execute(const std::string& sql, bool driversOwn = false) {
    try {
      std::lock_guard guard(staging_.mutex());
      staging_.executeRawSQL(sql);
      return true;
    } catch (const DriverError& error) {
      if (driversOwn) return false;
      lastErrorCode_ = error.code() & 0xFF;
      lastErrorRefused_ = error.message().starts_with("not authorized");
      lastErrorMessage_ = error.message();
      return false;
    }
  }

  // Whether the statement failed at a bound of the staging connection (a refused action,
  // the time limit, a value or statement too big, the heap limit) rather than at syntax
  // SQLite does not know: such a statement is never one to skip quietly.
  bool stoppedByBound() const { return boundReason().has_value(); }

  // The bound that stopped the statement, as its warning names it.
  std::optional<std::string> boundReason() const {
    // A refused function fails with a plain error code; only its message tells.
    if (lastErrorRefused_ || lastErrorCode_ == SQLITE_AUTH) return "not authorized";
    if (lastErrorCode_ == SQLITE_INTERRUPT) {
      if (std::chrono::steady_clock::now() >= deadline_)
        return "stopped at the script's limit of " + durationText(budget_);
      return "stopped after " + durationText(driver_.limits.statementTime);
    }
    if (lastErrorCode_ == SQLITE_TOOBIG) return "string, blob or statement too big";
    if (lastErrorCode_ == SQLITE_NOMEM) return "out of memory";
    return std::nullopt;
  }

  void executeIgnoringError(const std::string& sql) { execute(sql, true); }

  void beginTransactionAgain() {
    executeIgnoringError("COMMIT;");
    executeIgnoringError("BEGIN;");
    statementsInTransaction_ = 0;
  }

  // Runs a statement of the script: a failure that rolled back the driver's transaction
  // (an interrupt or a lack of memory can) starts a new one for the statements after it.
  bool executeStatement(const std::string& sql) {
    const bool ran = execute(sql);
    if (!ran && !staging_.inTransaction()) beginTransactionAgain();
    return ran;
  }

  void handleStatement(const std::string& bytes) {
    // Row INSERTs are most of a script; their leading words matter only when one fails.
    if (driver_.dialect_ == SQLDialect::generic && isPlainInsert(bytes)) {
      if (!inScriptTransaction_ && ++statementsInTransaction_ >= kStatementsPerTransaction) beginTransactionAgain();
      if (!runGeneric(bytes)) handleGenericFailure(bytes, N::leadingWords(bytes));
      return;
    }
    const std::vector<std::string> words = N::leadingWords(bytes);
    if (words.empty()) return;
    const std::string_view first = word(words, 0);

    // The script's own transaction control must not end the driver's transaction.
    if (isOneOf(first, {"BEGIN", "COMMIT", "END"}) || (first == "START" && word(words, 1) == "TRANSACTION")) {
      beginTransactionAgain();
      inScriptTransaction_ = first == "BEGIN" || first == "START";
      return;
    }
    if (first == "ROLLBACK" && word(words, 1) != "TO" && word(words, 2) != "TO") {
      executeIgnoringError("ROLLBACK;");
      executeIgnoringError("BEGIN;");
      statementsInTransaction_ = 0;
      inScriptTransaction_ = false;
      return;
    }
    if (first == "PRAGMA" || first == "VACUUM") {
      executeIgnoringError("COMMIT;");
      if (!execute(SQLScriptText::decode(bytes))) recordFailure(bytes);
      executeIgnoringError("BEGIN;");
      statementsInTransaction_ = 0;
      return;
    }
    const bool insertsRows = isOneOf(first, {"INSERT", "REPLACE"});
    if (!inScriptTransaction_ && (++statementsInTransaction_ >= kStatementsPerTransaction || !insertsRows)) {
      beginTransactionAgain();
      // The next statement commits this one.
      if (!insertsRows) statementsInTransaction_ = kStatementsPerTransaction - 1;
    }

    if (driver_.dialect_ == SQLDialect::generic) {
      if (first == "CREATE" && N::objectKind(words) == "TABLE" && declaresSerialColumn(bytes) &&
          convert(bytes, words, false))
        return;
      if (!runGeneric(bytes)) handleGenericFailure(bytes, words);
      return;
    }

    trackNamespace(bytes, words);
    // MySQL dumps declare their text with SET NAMES (utf8 or utf8mb4 unless told otherwise).
    if (first == "SET" && word(words, 1) == "NAMES") declaredUTF8_ = word(words, 2).starts_with("UTF8");
    if (isIgnorable(words, driver_.dialect_, false)) return recordSkip();
    if (convert(bytes, words, false)) return;
    if (!stoppedByBound() && isIgnorable(words, driver_.dialect_, true)) return recordSkip();
    recordFailure(bytes);
  }

  // Runs a statement of a script taken for plain SQLite SQL as it stands.
  bool runGeneric(const std::string& bytes) {
    return isValidUTF8(bytes) ? executeStatement(bytes) : executeStatement(SQLScriptText::decode(bytes));
  }

  // A statement that failed as plain SQLite SQL may be another dialect's, or one to skip.
  void handleGenericFailure(const std::string& bytes, const std::vector<std::string>& words) {
    if (stoppedByBound()) return recordFailure(bytes);
    if (isIgnorable(words, driver_.dialect_, true)) return recordSkip();
    if (std::optional<SQLDialect> found = N::detectDialect(bytes)) adoptDialect(*found);
    if (!convert(bytes, words, true)) recordFailure(bytes);
  }

  // Runs a statement in SQLite syntax: a parsed CREATE TABLE is re-created, anything else
  // runs as rewritten text. Whether the statement now stands in the database.
  bool convert(const std::string& bytes, const std::vector<std::string>& words, bool retry) {
    const SQLDialect dialect = driver_.dialect_ == SQLDialect::generic ? SQLDialect::postgres : driver_.dialect_;
    const bool namespaced = driver_.dialect_ != SQLDialect::generic;
    std::string rewritten = N::rewriteStatement(bytes, dialect, namespaced ? kCatalogSchemas : driver_.schemas_);
    const std::string kind = N::objectKind(words).value_or("");
    const bool creates = word(words, 0) == "CREATE" && isOneOf(kind, {"TABLE", "VIEW", "MATERIALIZED", "INDEX"});
    std::optional<N::TableNamespaces::Definition> defines;
    if (namespaced) {
      N::TableNamespaces::Rewrite named = namespaces_.rewrite(std::move(rewritten), creates);
      rewritten = std::move(named.text);
      defines = std::move(named.defines);
    }
    auto ran = [&](bool success) {
      if (success && defines) namespaces_.define(*defines);
      return success;
    };

    if (word(words, 0) == "CREATE" && kind == "TABLE") {
      if (std::optional<N::ParsedTable> table = N::parseCreateTable(rewritten, dialect)) {
        for (N::CreateTableLevel level :
             {N::CreateTableLevel::full, N::CreateTableLevel::keysOnly, N::CreateTableLevel::columnsOnly}) {
          if (!ran(executeStatement(N::createTableSQL(*table, level) + ";"))) continue;
          RebuiltColumns columns;
          for (const N::ParsedColumn& column : table->columns) columns.emplace_back(column.name, column.type);
          driver_.rebuiltTables_[asciiLowered(table->name)] = std::move(columns);
          driver_.dialectConverted_ = true;
          return true;
        }
      }
    }

    std::string text = textOf(rewritten);
    if (kind == "VIEW") text = N::rewriteViewStatement(text);
    if (kind == "MATERIALIZED") text = N::rewriteMaterializedViewStatement(text);
    if (kind == "INDEX") text = N::rewriteIndexStatement(text);
    const bool changed = text != bytes;

    if (kind == "INDEX") {
      const bool indexed = ran(executeStatement(text));
      if (!indexed) ++driver_.skippedStatementCount_;
      if (!indexed || changed) driver_.dialectConverted_ = true;
      return true;
    }
    if (retry && kind != "VIEW" && kind != "MATERIALIZED" && rewritten == bytes) return false;
    if (!ran(executeStatement(text))) return false;
    if (changed) driver_.dialectConverted_ = true;
    return true;
  }

  // A rewritten statement as text for SQLite. In a dump that declared UTF-8, literals of
  // other bytes are binary values, written as blobs so the rest keeps its characters.
  std::string textOf(const std::string& rewritten) const {
    if (isValidUTF8(rewritten)) return rewritten;
    if (declaredUTF8_) {
      std::string blobs = SQLScriptText::withBinaryLiteralsAsBlobs(rewritten);
      if (isValidUTF8(blobs)) return blobs;
    }
    return SQLScriptText::decode(rewritten);
  }

  // A statement with a COPY data block: its rows go in as INSERT batches.
  void handleCopy(const std::string& bytes, std::string_view data) {
    driver_.dialectConverted_ = true;
    if (driver_.dialect_ == SQLDialect::generic) adoptDialect(SQLDialect::postgres);
    if (!inScriptTransaction_) beginTransactionAgain();

    const std::vector<N::Token> tokens =
        N::tokenize(namespaces_.rewrite(N::rewriteStatement(bytes, SQLDialect::postgres, kCatalogSchemas), false).text);
    std::size_t at = 1;
    if (tokens.size() <= 3 || !tokens[0].isWord("COPY") || !tokens[1].isName()) return recordFailure(bytes);
    std::string table = tokens[at++].text;
    while (at + 1 < tokens.size() && tokens[at].isPunct('.') && tokens[at + 1].isName()) {
      table = tokens[at + 1].text;
      at += 2;
    }
    std::vector<std::string> columns;
    if (at < tokens.size() && tokens[at].isPunct('(')) {
      bool closed = false;
      for (++at; at < tokens.size() && !closed; ++at) {
        if (!tokens[at].isName()) return recordFailure(bytes);
        columns.push_back(tokens[at].text);
        if (at + 1 < tokens.size() && tokens[at + 1].isPunct(',')) {
          ++at;
        } else if (at + 1 < tokens.size() && tokens[at + 1].isPunct(')')) {
          closed = true;
          ++at;
        } else {
          return recordFailure(bytes);
        }
      }
      if (!closed) return recordFailure(bytes);
    }

    const auto rebuilt = driver_.rebuiltTables_.find(asciiLowered(table));
    const auto types =
        N::copyColumnTypes(rebuilt == driver_.rebuiltTables_.end() ? nullptr : &rebuilt->second, columns);
    const bool anyFailed = N::forEachCopyInsert(data, table, columns, types, N::kCopyBatchRows,
                                                [&](const std::string& sql) { return executeStatement(sql); });
    if (anyFailed) recordFailure(bytes);
  }

  // Statements that name the databases or schemas of the script's tables and which of
  // them unqualified names belong to: CREATE SCHEMA and CREATE DATABASE, USE, and the
  // search_path set by SET or set_config.
  void trackNamespace(const std::string& bytes, const std::vector<std::string>& words) {
    const std::string_view first = word(words, 0);
    const std::string kind = first == "CREATE" ? N::objectKind(words).value_or("") : "";
    const bool creates = kind == "SCHEMA" || kind == "DATABASE";
    const bool setsPath = (first == "SET" && word(words, 1).starts_with("SEARCH_PATH")) ||
                          (first == "SELECT" && word(words, 1).ends_with("SET_CONFIG"));
    if (!creates && first != "USE" && !setsPath) return;
    constexpr std::size_t kHeadTokens = 64;
    const std::vector<N::Token> tokens =
        N::tokenize(N::rewriteStatement(bytes, driver_.dialect_, kCatalogSchemas), kHeadTokens);
    auto name = [&](std::size_t at) { return at < tokens.size() && tokens[at].isName(); };
    auto add = [&](const std::string& schema) {
      driver_.schemas_.insert(asciiLowered(schema));
      namespaces_.add(schema);
    };
    if (creates) {
      std::size_t at = 0;
      while (at < tokens.size() && !tokens[at].isWord(kind)) ++at;
      ++at;
      if (at + 2 < tokens.size() && tokens[at].isWord("IF") && tokens[at + 1].isWord("NOT") &&
          tokens[at + 2].isWord("EXISTS"))
        at += 3;
      if (name(at) && !tokens[at].isWord("AUTHORIZATION")) add(tokens[at].text);
      return;
    }
    if (first == "USE") {
      if (name(1)) {
        add(tokens[1].text);
        namespaces_.use(tokens[1].text);
      }
      return;
    }
    // SET search_path = a, "b" / TO 'a'; SELECT set_config('search_path', 'a, b', false):
    // the first schema that is not "$user" or pg_catalog, else the default one.
    std::vector<std::string> path;
    const bool setConfig = first == "SELECT";
    bool inPath = false;
    for (std::size_t at = 0; at < tokens.size(); ++at) {
      const N::Token& token = tokens[at];
      if (!inPath) {
        inPath = setConfig ? token.kind == N::Token::Kind::string && token.text == "'search_path'"
                           : token.isPunct('=') || token.isWord("TO");
        if (setConfig && inPath) at += 1;  // the ","
        continue;
      }
      if (setConfig) {
        if (token.kind != N::Token::Kind::string) break;
        for (const N::Token& item : N::tokenize(token.text.substr(1, token.text.size() - 2)))
          if (item.isName()) path.push_back(item.text);
        break;
      }
      if (token.isName()) path.push_back(token.text);
      if (token.kind == N::Token::Kind::string) path.push_back(token.text.substr(1, token.text.size() - 2));
    }
    for (const std::string& schema : path) {
      if (schema == "$user" || asciiLowered(schema) == "pg_catalog") continue;
      add(schema);
      namespaces_.use(schema);
      return;
    }
    namespaces_.useDefault();
  }

  void adoptDialect(SQLDialect dialect) {
    driver_.dialect_ = dialect;
    if (dialect == SQLDialect::postgres) {
      driver_.schemas_.insert({"public", "pg_catalog"});
      namespaces_ = N::TableNamespaces("public");
    }
  }

  // A view is computed when it is read: one whose first row cannot be read (a bound, a
  // table or function SQLite lacks) would list as a table that fails when opened. Each is
  // reported, counted as a statement that could not be run, and dropped, in the order the
  // script made them (so views built on a dropped one go too).
  void leaveOutUnreadableViews() {
    std::vector<std::string> views;
    try {
      staging_.withPreparedStatement("SELECT name FROM sqlite_master WHERE type = 'view' ORDER BY rowid;",
                                     [&](sqlite3_stmt* list) {
                                       while (sqlite3_step(list) == SQLITE_ROW) {
                                         const auto* name = sqlite3_column_text(list, 0);
                                         if (name) views.emplace_back(reinterpret_cast<const char*>(name));
                                       }
                                     });
    } catch (const DriverError&) {
      return;
    }
    for (const std::string& view : views) {
      if (std::chrono::steady_clock::now() >= deadline_) return;
      lastErrorCode_ = SQLITE_OK;
      lastErrorRefused_ = false;
      if (execute("SELECT * FROM " + quoteIdentifier(view) + " LIMIT 1;")) continue;
      // A view interrupted by the end of the script's time is left as it is; one that failed
      // on its own (too big, out of memory) goes even when that took the rest of the time.
      if (lastErrorCode_ == SQLITE_INTERRUPT && std::chrono::steady_clock::now() >= deadline_) return;
      const std::string reason = boundReason().value_or(lastErrorMessage_);
      executeIgnoringError("DROP VIEW " + quoteIdentifier(view) + ";");
      if (++driver_.failedStatementCount_ <= kReportedFailures)
        driver_.warn("SQL warning: view " + warningExcerpt(view) + " cannot be read (" + reason + "); it was left out");
    }
  }

  void recordSkip() {
    ++driver_.skippedStatementCount_;
    driver_.dialectConverted_ = true;
  }

  void recordFailure(std::string_view statement) {
    if (++driver_.failedStatementCount_ > kReportedFailures) return;
    const std::optional<std::string> bound = boundReason();
    driver_.warn("SQL warning: could not run statement" + (bound ? " (" + *bound + ")" : std::string()) + ": " +
                 warningExcerpt(statement) + "...");
  }

  void stopAtDeadline() {
    ++driver_.failedStatementCount_;
    driver_.warn("SQL warning: the script ran longer than " + durationText(budget_) + "; the rest of it was not run");
  }

  SQLScriptDriver& driver_;
  SQLiteDriver& staging_;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::milliseconds budget_;
  N::TableNamespaces namespaces_;
  int statementsInTransaction_ = 0;
  int lastErrorCode_ = SQLITE_OK;
  bool lastErrorRefused_ = false;
  std::string lastErrorMessage_;
  bool declaredUTF8_ = false;
  // Between the script's own BEGIN and its COMMIT or ROLLBACK, transactions are not cut
  // short: its ROLLBACK must undo all it did since its BEGIN.
  bool inScriptTransaction_ = false;
};

SQLScriptDriver::SQLScriptDriver() = default;

SQLScriptDriver::~SQLScriptDriver() { close(); }

void SQLScriptDriver::warn(const std::string& line) const {
  if (warningSink) {
    warningSink(line);
  } else {
    // A warning quotes the script: on a terminal its control characters show as escapes.
    std::cerr << (::isatty(STDERR_FILENO) == 1 ? visibleOnTerminal(line) : line) << '\n';
  }
}

DatabaseMetadata SQLScriptDriver::open(const std::filesystem::path& url) {
  close();
  currentURL_ = url;
  const auto started = std::chrono::steady_clock::now();

  ByteBuffer data;
  std::uint64_t fileSize = 0;
  try {
    FileReader reader(url);
    fileSize = reader.size();
    data = reader.readAll(kMaxScriptBytes);
  } catch (const FileReadError& error) {
    if (error.reason() == FileReadError::Reason::cannotOpen) fail(-1, "Failed to read SQL script at " + url.string());
    fail(-1, error.what());
  }

  std::string converted;
  std::string_view script = data.text();
  if (SQLScriptText::hasUTF16Mark(script)) {
    std::optional<std::string> text = SQLScriptText::fromUTF16(script);
    if (!text) fail(-1, "Unsupported text encoding in SQL script");
    converted = std::move(*text);
    data = ByteBuffer();
    script = converted;
  }

  const std::chrono::milliseconds budget = previewRowLimit ? limits.previewOpenTime : limits.openTime;
  {
    std::lock_guard guard(internalSQLite.mutex());
    const std::int64_t heapBytes =
        previewRowLimit ? limits.previewHeapBytes
                        : std::max<std::int64_t>(limits.minHeapBytes,
                                                 kHeapBytesPerScriptByte * static_cast<std::int64_t>(script.size()));
    internalSQLite.openInMemoryForScript(limits.statementTime, heapBytes);
    internalSQLite.limitRunUntil(started + budget);
  }

  dialect_ = N::detectDialect(script).value_or(SQLDialect::generic);
  if (dialect_ == SQLDialect::postgres) schemas_ = {"public", "pg_catalog"};
  Run(*this, started, budget).runScript(script);
  // Reads after the open (queries, pages) keep the bound per statement only.
  internalSQLite.limitRunUntil(std::chrono::steady_clock::time_point::max());

  DatabaseMetadata metadata;
  metadata.name = url.filename().string();
  metadata.format = DatabaseFormat::sql;
  metadata.fileURL = url;
  metadata.fileSize = static_cast<std::int64_t>(fileSize);
  metadata.tables = fetchTables();
  metadata.schemaDDL = getDDL(std::nullopt);
  if (!metadata.schemaDDL || metadata.schemaDDL->empty())
    metadata.schemaDDL = script.size() <= kScriptAsSchemaMaxBytes ? SQLScriptText::decode(script) : std::string();
  return metadata;
}

void SQLScriptDriver::resetState() noexcept {
  failedStatementCount_ = 0;
  skippedStatementCount_ = 0;
  dialectConverted_ = false;
  dialect_ = SQLDialect::generic;
  schemas_.clear();
  rebuiltTables_.clear();
}

void SQLScriptDriver::close() noexcept {
  {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.close();
  }
  resetState();
}

}  // namespace tabvora::internal
