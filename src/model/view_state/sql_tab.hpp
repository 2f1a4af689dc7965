#pragma once

#include <optional>
#include <string>
#include <utility>

#include "model/data_table.hpp"

namespace tabvora::internal {

// One tab of the SQL console: a query, and the outcome of its last run.
class SQLTab {
 public:
  SQLTab(std::string id, std::string title, std::string queryText, std::optional<DataTable> resultData,
         std::optional<double> executionTimeMs, std::optional<std::string> errorMessage, bool isExecuting)
      : title(std::move(title)),
        queryText(std::move(queryText)),
        resultData(std::move(resultData)),
        executionTimeMs(executionTimeMs),
        errorMessage(std::move(errorMessage)),
        isExecuting(isExecuting),
        id_(std::move(id)) {}
  // A new, empty tab with a fresh random id.
  explicit SQLTab(std::string title, std::string queryText = {})
      : SQLTab(makeUUID(), std::move(title), std::move(queryText), std::nullopt, std::nullopt, std::nullopt, false) {}

  const std::string& id() const { return id_; }

  std::string title;
  std::string queryText;
  std::optional<DataTable> resultData;
  std::optional<double> executionTimeMs;
  std::optional<std::string> errorMessage;
  bool isExecuting = false;

  // Everything but the result rows: a tab is unchanged by having its result (re)loaded.
  friend bool operator==(const SQLTab& a, const SQLTab& b) {
    return a.id_ == b.id_ && a.title == b.title && a.queryText == b.queryText &&
           a.executionTimeMs == b.executionTimeMs && a.errorMessage == b.errorMessage && a.isExecuting == b.isExecuting;
  }

 private:
  std::string id_;
};

}  // namespace tabvora::internal
