#include "drivers/sqlite/sqlite_test_database.hpp"

#include <stdexcept>

#include "platform/file_info.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {

RawConnection::RawConnection(const std::filesystem::path& path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "open failed";
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error(message);
  }
}

RawConnection::~RawConnection() {
  if (db_) sqlite3_close(db_);
}

void RawConnection::exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "exec failed";
    sqlite3_free(error);
    throw std::runtime_error(message + " in: " + sql);
  }
}

std::int64_t RawConnection::scalar(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(db_));
  std::int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
  sqlite3_finalize(statement);
  return value;
}

void RawConnection::closeLeavingWal() {
  int persist = 1;
  sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close(db_);
  db_ = nullptr;
}

void makeDatabase(const std::filesystem::path& path, const std::string& sql) {
  RawConnection connection(path);
  connection.exec(sql);
}

FileState captureState(const std::filesystem::path& file) {
  return FileState{readFile(file), modificationDateOf(file), listDirectory(file.parent_path())};
}

}  // namespace tabvora::testing
