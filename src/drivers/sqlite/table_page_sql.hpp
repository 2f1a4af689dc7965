#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tabvora::internal {

// The SQL of one page of a table, in three strategies that return the same rows in the
// same order. Plain pages with LIMIT/OFFSET; on tables whose row identities are
// contiguous a seek turns the offset into a range on the identity; a reverse scan reads a
// page in the second half of the table from its end, so the OFFSET it skips stays short.
// Seek and reverse need the row-identity alias; callers use them only without a filter.
class TablePageSQL {
 public:
  // `table` is the unquoted table name; `alias` one of rowid/_rowid_/oid, or nothing.
  TablePageSQL(const std::string& table, std::optional<std::string> alias);

  // "SELECT COUNT(*) FROM t" and the filter's WHERE clause when there is one.
  std::string count(const std::optional<std::string>& filter) const;
  std::string identityRange() const;  // MIN and MAX of the alias
  std::string seek(std::int64_t firstIdentity, std::int64_t pageSize) const;
  // Rows come back last first; the caller puts them back in order.
  std::string reverse(const std::optional<std::string>& sortColumn, bool ascending, std::int64_t limit,
                      std::int64_t offset) const;
  std::string plain(const std::optional<std::string>& filter, const std::optional<std::string>& sortColumn,
                    bool ascending, std::optional<std::int64_t> limit, std::int64_t offset) const;

  // LIMIT and OFFSET of the reverse scan for the page at `offset` of a `total`-row table.
  struct Window {
    std::int64_t limit;
    std::int64_t offset;
  };
  static Window reverseWindow(std::int64_t total, std::int64_t offset, std::int64_t pageSize);

 private:
  std::string quotedTable_;
  std::optional<std::string> alias_;
  std::string selectList_;  // "*", or the alias as __tabvora_rowid first
};

}  // namespace tabvora::internal
