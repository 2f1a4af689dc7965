#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/database_driver.hpp"
#include "preview/preview_reply.hpp"

namespace tabvora {

// Answers preview requests, one file each: picks a driver, opens the file read-only, reads
// the first rows of the first table, closes the driver and returns the grid page. Keeps
// nothing between requests.
class PreviewProvider {
 public:
  static constexpr std::int64_t kPreviewRowLimit = 200;  // rows staged by text drivers
  static constexpr std::int64_t kFetchedRows = 50;
  static constexpr std::string_view kFallbackTableName = "data";

  // Always a reply: a file that cannot be opened gets the error page with the reason.
  // Never throws; the previewed file, its folder and its sidecar files stay as they were.
  PreviewReply providePreview(const std::filesystem::path& fileURL) const noexcept;

  // The request with a driver already chosen: prepares it for previewing (row limit of the
  // text drivers, read-only SQLite), opens, reads, closes and builds the page. Never throws.
  static PreviewReply providePreview(DatabaseDriver& driver, const std::filesystem::path& fileURL) noexcept;

  // The error page for a message (escaped here).
  static std::string errorPage(std::string_view message);
};

}  // namespace tabvora
