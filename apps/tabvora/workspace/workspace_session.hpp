#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "column_layout_store.hpp"
#include "grid_request.hpp"
#include "tabvora/document.hpp"

namespace tabvora::workspace {

// The opened file behind a workspace and everything the page asks of it, each answer as
// JSON. Calls may come from several threads; they take turns on the one Document.
// Refusals throw RequestError, failures of the file or a statement tabvora::Error.
class WorkspaceSession {
 public:
  // The most bytes of the file the raw view shows, and rows a console statement returns.
  static constexpr std::size_t kRawBytes = 64 * 1024;
  static constexpr std::int64_t kQueryRows = 10'000;

  // Opens the file whole (throws tabvora::Error). Editing is off when `readOnly`, and for
  // databases, which the workspace only inspects (their edits would be written at once).
  // Column layouts are kept in `layoutFolder` (ColumnLayoutStore), or not at all.
  WorkspaceSession(std::filesystem::path file, bool readOnly,
                   std::optional<std::filesystem::path> layoutFolder = std::nullopt);

  // {"file", "name", "format", "size", "editable", "editRefusal", "dirty", "warnings"}
  nlohmann::json info();
  // [{"name", "kind", "rows", "columns", "unreadable"}]
  nlohmann::json tables();
  nlohmann::json rows(const GridRequest& request);
  // The statistics of every column over the rows the request's filters and search keep,
  // as JSON text (an array of one object per column).
  std::string statistics(const GridRequest& request);
  // {"table", "columns": [{"name", "type"}], "create": TEXT or null}
  nlohmann::json schema(const std::string& table);
  // {"text", "hex": BOOL, "cut": BOOL, "size"}: the file's first kRawBytes, as hexadecimal
  // lines for a binary format.
  nlohmann::json raw();
  // {"columns", "rows", "total", "totalIsLowerBound", "ms"} of one statement that changes
  // nothing.
  nlohmann::json query(const std::string& sql);
  // Checks the request names a table and columns it has, before a response starts.
  void checkExport(const GridRequest& request);
  void exportTable(const GridRequest& request, ExportFormat format, const TextSink& sink);

  // The table's saved column layout in its coded form, and {"table", "layout"} to save one.
  nlohmann::json layout(const std::string& table);
  void saveLayout(const nlohmann::json& body);

  // Edits, each from a JSON body: {"table", "row": ROW, "column", "value"} changes a cell,
  // {"table", "values": {COLUMN: TEXT}} inserts a row, {"table", "rows": [ROW...]} deletes.
  nlohmann::json updateCell(const nlohmann::json& body);
  nlohmann::json insertRow(const nlohmann::json& body);
  nlohmann::json deleteRows(const nlohmann::json& body);
  // Writes the edits back to the file, unless it changed on disk since it was opened.
  nlohmann::json save();

 private:
  struct FileIdentity {
    std::uintmax_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::uint64_t inode = 0;
    std::uint64_t device = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
  };
  static FileIdentity identityOf(const std::filesystem::path& file);
  void requireEditable() const;
  // Refuses (404) a table the file does not have.
  void requireTable(const std::string& table) const;
  std::string columnType(const std::string& table, const std::string& column);

  std::mutex mutex_;
  std::filesystem::path file_;
  Document document_;
  bool readOnly_;
  std::string editRefusal_;
  bool dirty_ = false;
  FileIdentity opened_;
  ColumnLayoutStore layouts_;
  std::vector<std::string> tableNames_;
};

}  // namespace tabvora::workspace
