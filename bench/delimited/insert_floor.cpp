// The floor of a delimited load: the rows of a CSV file, split and converted beforehand (not
// timed), inserted on one thread into an in-memory table made by DDL, as the staging store
// does it: prepared INSERTs of 32 rows, one transaction, empty fields NULL, numeric columns given
// integers where the text is one of at most 18 digits, REAL columns given reals where the text
// has a decimal point or an exponent, everything else text.
//   insert_floor DDL FILE   prints the seconds from BEGIN to COMMIT
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// RFC 4180 records: quoted fields with doubled quotes, line breaks inside quotes.
std::vector<std::vector<std::string>> readRecords(const std::string& text) {
  std::vector<std::vector<std::string>> records(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().push_back(std::move(field)), field.clear();
    } else if (c == '\n') {
      records.back().push_back(std::move(field)), field.clear();
      records.emplace_back();
    } else if (c != '\r') {
      field += c;
    }
  }
  if (!field.empty() || !records.back().empty()) records.back().push_back(field);
  else records.pop_back();
  return records;
}

std::optional<long long> integer(const std::string& text) {
  const std::size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == sign || text.size() - sign > 18) return std::nullopt;
  for (std::size_t i = sign; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  return std::stoll(text);
}

void check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: insert_floor DDL FILE\n"), 2;
  std::ifstream in(argv[2], std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const auto records = readRecords(buffer.str());

  sqlite3* db = nullptr;
  check(sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr), db);
  check(sqlite3_exec(db, argv[1], nullptr, nullptr, nullptr), db);
  std::vector<bool> numeric, real;
  sqlite3_stmt* info = nullptr;
  check(sqlite3_prepare_v2(db, "SELECT type FROM pragma_table_info((SELECT name FROM sqlite_master))", -1, &info,
                           nullptr), db);
  while (sqlite3_step(info) == SQLITE_ROW) {
    const std::string type = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
    numeric.push_back(type == "INTEGER" || type == "REAL");
    real.push_back(type == "REAL");
  }
  sqlite3_finalize(info);
  sqlite3_stmt* name = nullptr;
  check(sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master", -1, &name, nullptr), db);
  sqlite3_step(name);
  std::string sql = std::string("INSERT INTO \"") + reinterpret_cast<const char*>(sqlite3_column_text(name, 0)) + "\" VALUES (";
  sqlite3_finalize(name);
  for (std::size_t i = 0; i < numeric.size(); ++i) sql += i ? ", ?" : "?";
  sql += ")";

  // Converted ahead: per cell an integer, a real, a text or nothing.
  struct Cell {
    std::optional<long long> value;
    std::optional<double> number;
    const std::string* text = nullptr;
  };
  std::vector<Cell> cells;
  for (std::size_t r = 1; r < records.size(); ++r) {
    for (std::size_t i = 0; i < numeric.size(); ++i) {
      Cell cell;
      if (i < records[r].size() && !records[r][i].empty()) {
        if (numeric[i]) cell.value = integer(records[r][i]);
        if (!cell.value && real[i] && records[r][i].find_first_of(".eE") != std::string::npos)
          cell.number = std::stod(records[r][i]);
        if (!cell.value && !cell.number) cell.text = &records[r][i];
      }
      cells.push_back(cell);
    }
  }

  // Rows go in kRows to a statement, as the staging store puts them; the last ones singly.
  constexpr int kRows = 32;
  std::string batchSQL = sql;
  for (int r = 1; r < kRows; ++r) {
    batchSQL += ", (";
    for (std::size_t i = 0; i < numeric.size(); ++i) batchSQL += i ? ", ?" : "?";
    batchSQL += ")";
  }
  const auto started = std::chrono::steady_clock::now();
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* batch = nullptr;
  check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
  check(sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr), db);
  check(sqlite3_prepare_v2(db, batchSQL.c_str(), -1, &batch, nullptr), db);
  const int columns = static_cast<int>(numeric.size());
  for (std::size_t c = 0; c < cells.size();) {
    sqlite3_stmt* statement = cells.size() - c >= static_cast<std::size_t>(columns * kRows) ? batch : insert;
    const int parameters = statement == batch ? columns * kRows : columns;
    for (int i = 1; i <= parameters; ++i, ++c) {
      if (cells[c].value) sqlite3_bind_int64(statement, i, *cells[c].value);
      else if (cells[c].number) sqlite3_bind_double(statement, i, *cells[c].number);
      else if (cells[c].text) sqlite3_bind_text(statement, i, cells[c].text->data(), static_cast<int>(cells[c].text->size()), SQLITE_STATIC);
      else sqlite3_bind_null(statement, i);
    }
    check(sqlite3_step(statement), db);
    sqlite3_reset(statement);
  }
  sqlite3_finalize(batch);
  sqlite3_finalize(insert);
  check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
  std::printf("%.3f\n", seconds.count());
  sqlite3_close(db);
}
