#include "preview/preview_provider.hpp"

#include <chrono>
#include <exception>
#include <memory>
#include <optional>

#include "model/driver_error.hpp"
#include "platform/unicode_text.hpp"
#include "opening/driver_manager.hpp"
#include "opening/opened_file.hpp"
#include "opening/table_name_match.hpp"
#include "preview/html_escaping.hpp"
#include "preview/html_grid_generator.hpp"
#include "opening/table_reader.hpp"
#include "platform/file_probe.hpp"

namespace tabvora::internal {

namespace {

constexpr std::string_view kErrorPagePrologue =
    "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\">\n<style>\n"
    "  body { font-family: -apple-system, sans-serif; padding: 24px; color: #888; background: #1e1e1e; }\n"
    "  h3 { color: #f5f5f7; margin-bottom: 8px; }\n"
    "</style>\n</head>\n<body>\n  <h3>Unable to preview file in Quick Look</h3>\n  <p>";
constexpr std::string_view kErrorPageEpilogue = "</p>\n</body>\n</html>";
constexpr std::string_view kUnknownFailure = "The file could not be read.";
// A database statement run for a page stops after this long; the page then shows the
// table without rows, as for any table that cannot be read.
constexpr std::chrono::milliseconds kStatementTimeLimit{3000};
// Text values are read for the page only as far as it shows them. A cut keeps at least
// this many bytes less three (it ends on a character boundary), so at least one character
// more than the page shows, at up to four bytes each: the page still marks the value as cut.
constexpr std::size_t kPageCellBytes = 4 * (HTMLGridGenerator::kMaxCellCharacters + 1);

// What a preview opens with: the row limit (which also selects the smaller budgets of
// workbooks and scripts), and for databases inspection only, with time and cell limits.
// Filters need every row, so with filters a file is read whole.
OpenOptions previewOptions(bool filtered, OpenOptions options = {}) {
  if (!filtered) options.previewRowLimit = PreviewProvider::kPreviewRowLimit;
  options.readOnlyInspection = true;
  options.statementTimeLimit = kStatementTimeLimit;
  options.cellByteLimit = kPageCellBytes;
  return options;
}

PreviewReply reply(ContentSize size, std::string page) {
  PreviewReply answer;
  answer.contentSize = size;
  answer.data = std::move(page);
  return answer;
}

PreviewReply errorReply(std::string_view message) {
  return reply(PreviewReply::kErrorPageSize, PreviewProvider::errorPage(message));
}

PreviewReply pageFor(const PreviewProvider::Content& content) {
  if (!content.metadata) return errorReply(content.failure);
  return reply(PreviewReply::kGridPageSize,
               HTMLGridGenerator::generateHTML(*content.metadata, content.tableName, content.data));
}

// Reads the page's table of an open driver, then closes it; failures of reading come back
// as the content's failure.
void readTable(DatabaseDriver& driver, PreviewProvider::Content& content, const PreviewProvider::Request& request) {
  const std::vector<TableMetadata>& tables = content.metadata->tables;
  content.tableName = tables.empty() ? std::string(PreviewProvider::kFallbackTableName) : tables.front().name;
  auto fail = [&](std::string message, bool usage) {
    content.metadata.reset();
    content.failure = std::move(message);
    content.failureIsUsage = usage;
    driver.close();
  };
  if (request.table) {
    try {
      content.tableName = matchTableName(tables, *request.table);
    } catch (const std::exception& error) {
      return fail(error.what(), true);
    }
  }
  // A table listed but unreadable (a damaged sheet) is the page's failure, not an empty grid.
  if (auto reason = driver.unreadableReason(content.tableName)) return fail(*reason, false);
  if (!request.filters.empty()) {
    // A condition the table cannot take (a column it lacks) is the caller's mistake, said
    // as the failure, not an empty grid.
    try {
      content.data = TableReader(driver, content.tableName, request.filters, request.combination)
                         .firstRows(PreviewProvider::kFetchedRows);
    } catch (const std::exception& error) {
      return fail(error.what(), false);
    }
    driver.close();
    return;
  }
  try {
    content.data =
        driver.fetchTableData(content.tableName, PreviewProvider::kFetchedRows, 0, std::nullopt, true, std::nullopt);
    // A limited open counted what it staged: the total is only a lower bound then.
    for (const TableMetadata& table : tables) {
      if (table.name == content.tableName) content.data.totalRowCountIsLowerBound = table.rowCountIsLowerBound;
    }
  } catch (...) {
    // A table that cannot be read still gets its header and pills, with no rows.
  }
  driver.close();
}

// Everything after choosing the driver; failures of open come back as the content's
// failure, anything else thrown propagates.
PreviewProvider::Content contentWithDriver(DatabaseDriver& driver, const std::filesystem::path& fileURL,
                                           const std::vector<ColumnFilter>& filters, FilterCombination combination) {
  PreviewProvider::Content content;
  if (auto refusal = FileProbe::of(fileURL).refusal(fileURL)) {
    driver.close();
    content.failure = *refusal;
    return content;
  }
  try {
    content.metadata = driver.open(fileURL, previewOptions(!filters.empty()));
  } catch (const std::exception& error) {
    content.failure = error.what();
  } catch (...) {
    content.failure = kUnknownFailure;
  }
  if (!content.metadata) {
    driver.close();
    return content;
  }
  readTable(driver, content, {filters, combination, std::nullopt, {}});
  return content;
}

PreviewProvider::Content failedContent(std::string message) {
  PreviewProvider::Content content;
  content.failure = std::move(message);
  return content;
}

}  // namespace

std::string PreviewProvider::errorPage(std::string_view message) {
  std::string page(kErrorPagePrologue);
  page += escapeHTMLText(message);
  page += kErrorPageEpilogue;
  if (!isValidUTF8(page)) page = repairUTF8(page);
  return page;
}

PreviewReply PreviewProvider::providePreview(DatabaseDriver& driver, const std::filesystem::path& fileURL) noexcept {
  try {
    return pageFor(contentWithDriver(driver, fileURL, {}, FilterCombination::all));
  } catch (const std::exception& error) {
    return errorReply(error.what());
  } catch (...) {
    return errorReply(kUnknownFailure);
  }
}

PreviewReply PreviewProvider::providePreview(const std::filesystem::path& fileURL) const noexcept {
  return pageFor(readContent(fileURL));
}

PreviewProvider::Content PreviewProvider::readContent(const std::filesystem::path& fileURL,
                                                      const std::vector<ColumnFilter>& filters,
                                                      FilterCombination combination) noexcept {
  return readContent(fileURL, Request{filters, combination, std::nullopt, {}});
}

PreviewProvider::Content PreviewProvider::readContent(const std::filesystem::path& fileURL,
                                                      const Request& request) noexcept {
  try {
    Content content;
    OpenedFile opened;
    try {
      opened = OpenedFile::open(fileURL, previewOptions(!request.filters.empty(), request.open));
    } catch (const Error& error) {
      content.failure = error.what();
      content.failureIsUsage = error.errorCode() == ErrorCode::invalidArgument;
      return content;
    }
    content.metadata = std::move(opened.metadata);
    readTable(*opened.driver, content, request);
    return content;
  } catch (const std::exception& error) {
    return failedContent(error.what());
  } catch (...) {
    return failedContent(std::string(kUnknownFailure));
  }
}

}  // namespace tabvora::internal
