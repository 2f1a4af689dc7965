#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "model/column_filter.hpp"
#include "model/database_driver.hpp"
#include "model/filter_combination.hpp"
#include "platform/limits.hpp"
#include "preview/preview_reply.hpp"

namespace tabvora::internal {

// Answers preview requests, one file each: picks a driver, opens the file read-only, reads
// the first rows of the first table, closes the driver and returns the grid page. Keeps
// nothing between requests.
class PreviewProvider {
 public:
  static constexpr std::int64_t kPreviewRowLimit = limits::kPreviewRows;  // rows staged by text drivers
  static constexpr std::int64_t kFetchedRows = limits::kPreviewShownRows;
  static constexpr std::string_view kFallbackTableName = "data";

  // Always a reply: a file that cannot be opened gets the error page with the reason.
  // Never throws; the previewed file, its folder and its sidecar files stay as they were.
  PreviewReply providePreview(const std::filesystem::path& fileURL) const noexcept;

  // The request with a driver already chosen: prepares it for previewing (row limit of the
  // text drivers, read-only SQLite), opens, reads, closes and builds the page. Never throws.
  static PreviewReply providePreview(DatabaseDriver& driver, const std::filesystem::path& fileURL) noexcept;

  // The error page for a message (escaped here).
  static std::string errorPage(std::string_view message);

  // What a preview shows, read without building a page: the first rows of the first table
  // of the file, narrowed by the filters when there are any (a text file is then read
  // whole, for the filters to see every row). `metadata` is absent when the file cannot be
  // read, and `failure` says why. Never throws.
  struct Content {
    std::optional<DatabaseMetadata> metadata;
    std::string tableName;
    DataTable data = DataTable::empty();
    std::string failure;
    bool failureIsUsage = false;  // the request asked for what the file has not (a table, an encoding)
  };
  // What a preview is asked for beyond the file: filters, the table (else the first), and how
  // the file is opened (format, encoding, bounds; the preview adds its own limits).
  struct Request {
    std::vector<ColumnFilter> filters;
    FilterCombination combination = FilterCombination::all;
    std::optional<std::string> table;
    OpenOptions open;
  };
  static Content readContent(const std::filesystem::path& fileURL, const std::vector<ColumnFilter>& filters = {},
                             FilterCombination combination = FilterCombination::all) noexcept;
  static Content readContent(const std::filesystem::path& fileURL, const Request& request) noexcept;
};

}  // namespace tabvora::internal
