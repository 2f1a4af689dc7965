#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "column_layout_store.hpp"
#include "grid_request.hpp"
#include "private_database_copy.hpp"
#include "tabvora/document.hpp"

namespace tabvora::workspace {

// The opened file behind a workspace and everything the page asks of it, each answer as
// JSON. Calls may come from several threads; they take turns on the one Document.
// Refusals throw RequestError, failures of the file or a statement tabvora::Error.
//
// Opened in the background, a file shows its first rows at once (the preview's limited
// open) while a second thread opens it whole; the whole open then takes the first one's
// place between two requests. Meanwhile pages, sorting, filters and search cover the rows
// loaded, and what needs every row (statistics, statements, export, edits, Save) is
// refused with a "loading" answer. A whole open that fails leaves the first rows shown,
// its message in loading(), and editing off.
class WorkspaceSession {
 public:
  // The most bytes of the file the raw view shows, and rows a console statement returns.
  static constexpr std::size_t kRawBytes = 64 * 1024;
  static constexpr std::int64_t kQueryRows = 10'000;
  // The rows a file opened in the background shows at first: one page of the grid.
  static constexpr std::int64_t kFirstRows = 500;

  // Opens the file whole (throws tabvora::Error). Editing is off when `readOnly`. A database
  // is edited in a private copy (its edits would otherwise reach the file at once), which
  // Save writes back; one with a journal beside it is only inspected.
  // Column layouts are kept in `layoutFolder` (ColumnLayoutStore), or not at all.
  // With `inBackground`, a regular file that is not a database is opened as said above;
  // standard input, FIFOs and databases are opened whole at once all the same.
  WorkspaceSession(std::filesystem::path file, bool readOnly,
                   std::optional<std::filesystem::path> layoutFolder = std::nullopt, bool inBackground = false);
  // Abandons a whole open still running, and waits for its thread.
  ~WorkspaceSession();
  WorkspaceSession(const WorkspaceSession&) = delete;
  WorkspaceSession& operator=(const WorkspaceSession&) = delete;

  // {"loading": BOOL, "done", "total" (bytes read and to read; total 0 when not known),
  // "failed": MESSAGE or null}. Never waits for another request.
  nlohmann::json loading();
  // Interrupts the console statement running, if one is: it then fails as "cancelled".
  // {"cancelled": BOOL}, whether one was running. Never waits for another request.
  nlohmann::json cancelQuery();

  // {"file", "name", "format", "size", "editable", "editRefusal", "dirty", "warnings", "loading"}
  nlohmann::json info();
  // [{"name", "kind", "rows", "rowsIsLowerBound", "columns", "unreadable"}]
  nlohmann::json tables();
  // A page as rowsJSON writes it, with "offset" and "uncounted" (true when count=later left
  // the total a lower bound that the same request without it makes exact).
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
  void requireEditable();
  // Refuses (404) a table the file does not have.
  void requireTable(const std::string& table) const;
  std::string columnType(const std::string& table, const std::string& column);
  // Refuses (409) while the whole file is still being opened: `what` waits for it.
  void requireWhole(const std::string& what);
  // The whole open on loader_, and its swap into document_.
  void loadWhole();
  static OpenOptions openOptions(const std::filesystem::path& file, bool readOnly, bool firstRows);

  std::mutex mutex_;
  std::filesystem::path file_;
  FileIdentity opened_;  // taken before the file is read
  // The database's private copy that edits reach; declared before the Document on it.
  std::optional<PrivateDatabaseCopy> databaseCopy_;
  Document document_;
  bool readOnly_;
  std::string editRefusal_;
  bool dirty_ = false;
  ColumnLayoutStore layouts_;
  std::vector<std::string> tableNames_;

  // The console statement running (under cancelMutex_, taken after mutex_ or alone).
  std::mutex cancelMutex_;
  Document* running_ = nullptr;
  bool cancelled_ = false;

  // The whole open's state (under loadMutex_, taken after mutex_ or alone).
  std::mutex loadMutex_;
  bool loadingWhole_ = false;
  std::uint64_t loadedBytes_ = 0;
  std::uint64_t totalBytes_ = 0;
  std::string loadFailure_;
  std::atomic<bool> abandon_{false};
  std::thread loader_;  // last: started once everything else is in place
};

}  // namespace tabvora::workspace
