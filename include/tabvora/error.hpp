#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace tabvora {

// What kind of failure an Error is. The names and their meanings stay as they are from one
// version to the next; new kinds may be added.
enum class ErrorCode {
  unreadable,       // the file cannot be read, or not parsed as its format
  writeRefused,     // a write-back was refused; the file is as it was
  database,         // the database engine refused or failed a statement (a query's mistake)
  interrupted,      // a statement was stopped: a time bound, or an interrupt
  limitExceeded,    // a bound on memory or size was reached
  invalidArgument,  // the caller asked for something the file has not (a table, a column) or a value out of range
};

// What every failing call of the public API throws, and the one error of the whole system.
// The domain names the part that failed (a driver's type name such as "SQLiteDriver", or
// "Document" for a refused argument), the code is -1 for a file that cannot be read or
// parsed, -2 for a refused write-back, or an SQLite result code; the message is the
// complete text to show a user. errorCode() classifies it; file() and position() say where,
// when known.
class Error : public std::runtime_error {
 public:
  // Where in the file a failure was met: a line (from 1) and, when known, a column (from 1,
  // in bytes).
  struct Position {
    std::int64_t line = 0;
    std::optional<std::int64_t> column;
  };

  Error(std::string domain, int code, const std::string& message)
      : std::runtime_error(message), domain_(std::move(domain)), code_(code), errorCode_(classify(code)) {}
  Error(std::string domain, ErrorCode errorCode, int code, const std::string& message)
      : std::runtime_error(message), domain_(std::move(domain)), code_(code), errorCode_(errorCode) {}

  const std::string& domain() const noexcept { return domain_; }
  int code() const noexcept { return code_; }
  ErrorCode errorCode() const noexcept { return errorCode_; }
  std::string message() const { return what(); }
  // The file the failure is about; empty when none (an argument, a query of no file).
  const std::filesystem::path& file() const noexcept { return file_; }
  const std::optional<Position>& position() const noexcept { return position_; }

  Error& setFile(std::filesystem::path file) {
    file_ = std::move(file);
    return *this;
  }
  Error& setPosition(Position position) {
    position_ = position;
    return *this;
  }

  // The kind of a code: -2 a refused write, SQLite's result codes by their meaning, any
  // other an unreadable file.
  static constexpr ErrorCode classify(int code) {
    if (code == -2) return ErrorCode::writeRefused;
    if (code <= 0) return ErrorCode::unreadable;
    switch (code & 0xff) {  // SQLite's primary result code
      case 7:               // SQLITE_NOMEM
      case 13:              // SQLITE_FULL
      case 18:              // SQLITE_TOOBIG
        return ErrorCode::limitExceeded;
      case 9: return ErrorCode::interrupted;  // SQLITE_INTERRUPT
      case 8:                                 // SQLITE_READONLY
      case 23:                                // SQLITE_AUTH: an inspected database refuses every write
        return ErrorCode::writeRefused;
      case 11:  // SQLITE_CORRUPT
      case 14:  // SQLITE_CANTOPEN
      case 26:  // SQLITE_NOTADB
        return ErrorCode::unreadable;
      default: return ErrorCode::database;
    }
  }

 private:
  std::string domain_;
  int code_;
  ErrorCode errorCode_;
  std::filesystem::path file_;
  std::optional<Position> position_;
};

}  // namespace tabvora
