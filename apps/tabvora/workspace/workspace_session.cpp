#include "workspace_session.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include "cell_json.hpp"
#include "request_error.hpp"
#include "tabvora/error.hpp"

namespace tabvora::workspace {

namespace {

// Formats whose files are not text: the raw view shows them in hexadecimal.
bool binaryFormat(const std::string& format) { return format == "SQLite" || format == "Excel" || format == "Parquet"; }

// Formats whose database holds the CREATE statement the file itself gives.
bool formatHasCreateStatements(const std::string& format) { return format == "SQLite" || format == "SQL"; }

std::string hexDump(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t line = 0; line < bytes.size(); line += 16) {
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(line >> shift) & 0xf];
    text += "  ";
    std::string shown;
    for (std::size_t i = line; i < line + 16; ++i) {
      if (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xf];
        text += ' ';
        shown += byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '.';
      } else {
        text += "   ";
      }
      if (i == line + 7) text += ' ';
    }
    text += " |" + shown + "|\n";
  }
  return text;
}

const nlohmann::json& field(const nlohmann::json& body, const char* key) {
  if (!body.is_object() || !body.contains(key))
    throw RequestError(400, std::string("The request has no \"") + key + "\".");
  return body[key];
}

std::string textField(const nlohmann::json& body, const char* key) {
  const nlohmann::json& value = field(body, key);
  if (!value.is_string()) throw RequestError(400, std::string("\"") + key + "\" must be text.");
  return value.get<std::string>();
}

bool isSQLiteDatabase(const std::filesystem::path& file) {
  static constexpr char kHeader[] = "SQLite format 3";  // and its NUL: 16 bytes
  std::ifstream in(file, std::ios::binary);
  char head[sizeof kHeader] = {};
  return in.read(head, sizeof head) && std::equal(head, head + sizeof head, kHeader);
}

}  // namespace

WorkspaceSession::FileIdentity WorkspaceSession::identityOf(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return {};
  return {static_cast<std::uintmax_t>(info.st_size),
          static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
          static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_dev)};
}

OpenOptions WorkspaceSession::openOptions(const std::filesystem::path& file, bool readOnly, bool firstRows) {
  OpenOptions options;
  options.statementTimeLimit = std::chrono::seconds(30);
  // Staged formats keep what saving needs only when opened for editing; a database stays
  // inspected (its edits would reach the file at once, not at Save).
  options.readOnlyInspection = readOnly || isSQLiteDatabase(file);
  if (firstRows) options.previewRowLimit = kFirstRows;
  return options;
}

WorkspaceSession::WorkspaceSession(std::filesystem::path file, bool readOnly,
                                   std::optional<std::filesystem::path> layoutFolder, bool inBackground)
    : file_(std::move(file)),
      opened_(identityOf(file_)),
      databaseCopy_([&]() -> std::optional<PrivateDatabaseCopy> {
        if (readOnly || !isSQLiteDatabase(file_) || PrivateDatabaseCopy::hasJournal(file_)) return std::nullopt;
        try {
          return std::optional<PrivateDatabaseCopy>(std::in_place, file_);
        } catch (const std::exception&) {
          return std::nullopt;  // then only inspected
        }
      }()),
      document_([&] {
        if (databaseCopy_) {
          inBackground = false;  // a database is not staged: open at once
          OpenOptions options = openOptions(file_, readOnly, false);
          options.readOnlyInspection = false;
          return Document::open(databaseCopy_->path(), options);
        }
        // Only a file that can be read twice is opened twice; a database needs no staging.
        std::error_code ignored;
        inBackground = inBackground && std::filesystem::is_regular_file(file_, ignored) && !isSQLiteDatabase(file_);
        if (inBackground) {
          try {
            return Document::open(file_, openOptions(file_, readOnly, true));
          } catch (const Error&) {
            // The first rows' smaller budgets may refuse what a whole open takes: open it whole.
            inBackground = false;
          }
        }
        return Document::open(file_, openOptions(file_, readOnly, false));
      }()),
      readOnly_(readOnly),
      layouts_(std::move(layoutFolder), file_) {
  for (const TableInfo& table : document_.tables()) tableNames_.push_back(table.name);
  if (readOnly_) {
    editRefusal_ = "The workspace was opened read-only (--read-only).";
  } else if (document_.format() == "SQLite" && !databaseCopy_) {
    editRefusal_ =
        PrivateDatabaseCopy::hasJournal(file_)
            ? "The database has a journal beside it (another program may be changing it): it is only inspected."
            : "No private copy of the database could be made to edit: it is only inspected.";
  }
  if (inBackground) {
    loadingWhole_ = true;
    // The signals that stop the program are taken by the thread that serves (see
    // WorkspaceServer::run), never by this one.
    sigset_t stopping, previous;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopping, &previous);
    try {
      loader_ = std::thread([this] { loadWhole(); });
    } catch (...) {
      pthread_sigmask(SIG_SETMASK, &previous, nullptr);
      throw;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
}

WorkspaceSession::~WorkspaceSession() {
  abandon_ = true;
  if (loader_.joinable()) loader_.join();
}

void WorkspaceSession::loadWhole() {
  // Thrown through the open by the progress callback when the session ends.
  struct Abandoned {};
  std::string failure;
  try {
    OpenOptions options = openOptions(file_, readOnly_, false);
    options.progress = [this](const Progress& progress) {
      if (abandon_) throw Abandoned{};
      if (progress.unit != Progress::Unit::bytes) return;
      std::lock_guard guard(loadMutex_);
      loadedBytes_ = progress.done;
      totalBytes_ = progress.total;
    };
    Document whole = Document::open(file_, options);
    std::vector<std::string> names;
    for (const TableInfo& table : whole.tables()) names.push_back(table.name);
    std::lock_guard guard(mutex_);
    document_ = std::move(whole);
    tableNames_ = std::move(names);
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "The file could not be read whole.";
  }
  std::lock_guard guard(loadMutex_);
  loadingWhole_ = false;
  if (!failure.empty() && !abandon_) {
    loadFailure_ = "Only the first rows could be loaded: " + failure;
    loadedBytes_ = 0;
  } else if (totalBytes_ != 0) {
    loadedBytes_ = totalBytes_;
  }
}

nlohmann::json WorkspaceSession::loading() {
  std::lock_guard guard(loadMutex_);
  return {{"loading", loadingWhole_},
          {"done", loadedBytes_},
          {"total", totalBytes_},
          {"failed", loadFailure_.empty() ? nlohmann::json(nullptr) : nlohmann::json(loadFailure_)}};
}

void WorkspaceSession::requireWhole(const std::string& what) {
  std::lock_guard guard(loadMutex_);
  if (loadingWhole_) throw RequestError(409, "The file is still loading: " + what + " once it is loaded.");
}

nlohmann::json WorkspaceSession::cancelQuery() {
  std::lock_guard guard(cancelMutex_);
  if (running_ == nullptr) return {{"cancelled", false}};
  cancelled_ = true;
  running_->cancel();
  return {{"cancelled", true}};
}

void WorkspaceSession::requireTable(const std::string& table) const {
  if (std::find(tableNames_.begin(), tableNames_.end(), table) == tableNames_.end())
    throw RequestError(404, "The file has no table \"" + table + "\".");
}

void WorkspaceSession::requireEditable() {
  if (!editRefusal_.empty()) throw RequestError(403, editRefusal_);
  requireWhole("editing starts");
  std::lock_guard guard(loadMutex_);
  if (!loadFailure_.empty()) throw RequestError(409, loadFailure_ + " Editing is off.");
}

nlohmann::json WorkspaceSession::info() {
  std::lock_guard guard(mutex_);
  // Editable once loaded whole; the page asks again when the loading ends.
  const nlohmann::json loaded = loading();
  std::string refusal = editRefusal_;
  if (refusal.empty() && loaded["loading"].get<bool>())
    refusal = "The file is still loading: editing starts once it is loaded.";
  if (refusal.empty() && !loaded["failed"].is_null())
    refusal = loaded["failed"].get<std::string>() + " Editing is off.";
  return {{"file", file_.string()}, {"name", file_.filename().string()}, {"format", document_.format()},
          {"size", opened_.size},   {"editable", refusal.empty()},       {"editRefusal", refusal},
          {"dirty", dirty_},        {"warnings", document_.warnings()},  {"loading", loaded["loading"]}};
}

nlohmann::json WorkspaceSession::tables() {
  std::lock_guard guard(mutex_);
  const nlohmann::json loaded = loading();
  const bool whole = !loaded["loading"].get<bool>() && loaded["failed"].is_null();
  nlohmann::json list = nlohmann::json::array();
  for (const TableInfo& table : document_.tables()) {
    nlohmann::json entry = {
        {"name", table.name}, {"kind", table.kind}, {"rows", nullptr}, {"columns", nullptr}, {"unreadable", nullptr}};
    if (table.rowCount) entry["rows"] = *table.rowCount;
    entry["rowsIsLowerBound"] = !whole;
    if (table.columnCount) entry["columns"] = *table.columnCount;
    if (table.unreadableReason) entry["unreadable"] = *table.unreadableReason;
    list.push_back(std::move(entry));
  }
  return list;
}

nlohmann::json WorkspaceSession::rows(const GridRequest& request) {
  std::lock_guard guard(mutex_);
  requireTable(request.table);
  const Rows rows = document_.page(request.table, request.page);
  nlohmann::json page = rowsJSON(rows);
  page["offset"] = request.page.offset;
  // Left to count: the same request without count=later counts.
  page["uncounted"] = !request.page.countRows && rows.totalRowCountIsLowerBound;
  // Counted over the first rows only: the whole file has these and maybe more.
  const nlohmann::json loaded = loading();
  if (loaded["loading"].get<bool>() || !loaded["failed"].is_null()) page["totalIsLowerBound"] = true;
  return page;
}

std::string WorkspaceSession::statistics(const GridRequest& request) {
  std::lock_guard guard(mutex_);
  requireWhole("statistics are counted");
  requireTable(request.table);
  return statisticsJSON(document_.statistics(request.table, request.selection()));
}

nlohmann::json WorkspaceSession::schema(const std::string& table) {
  std::lock_guard guard(mutex_);
  requireTable(table);
  const Rows none = document_.page(table, 0);
  nlohmann::json columns = nlohmann::json::array();
  for (const Column& column : none.columns) columns.push_back({{"name", column.name}, {"type", column.type}});
  nlohmann::json create = nullptr;
  if (formatHasCreateStatements(document_.format())) {
    if (std::optional<std::string> statement = document_.createStatement(table)) create = *statement;
  }
  return {{"table", table}, {"columns", std::move(columns)}, {"create", std::move(create)}};
}

nlohmann::json WorkspaceSession::raw() {
  std::string format;
  {
    std::lock_guard guard(mutex_);
    format = document_.format();
  }
  std::ifstream in(file_, std::ios::binary);
  if (!in) throw RequestError(409, "The file can no longer be read.");
  std::string bytes(kRawBytes + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  const bool cut = bytes.size() > kRawBytes;
  if (cut) bytes.resize(kRawBytes);
  const bool hex = binaryFormat(format);
  return {{"text", hex ? hexDump(bytes) : bytes}, {"hex", hex}, {"cut", cut}, {"size", identityOf(file_).size}};
}

nlohmann::json WorkspaceSession::query(const std::string& sql) {
  std::lock_guard guard(mutex_);
  requireWhole("statements run");
  {
    std::lock_guard running(cancelMutex_);
    running_ = &document_;
    cancelled_ = false;
  }
  const auto start = std::chrono::steady_clock::now();
  nlohmann::json result;
  try {
    result = rowsJSON(document_.select(sql, kQueryRows));
  } catch (...) {
    std::lock_guard running(cancelMutex_);
    running_ = nullptr;
    if (cancelled_) throw RequestError(409, "The statement was cancelled.");
    throw;
  }
  {
    std::lock_guard running(cancelMutex_);
    running_ = nullptr;
  }
  result["ms"] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return result;
}

void WorkspaceSession::checkExport(const GridRequest& request) {
  std::lock_guard guard(mutex_);
  requireWhole("exports start");
  requireTable(request.table);
  PageRequest none = request.page;
  none.limit = 0;
  none.offset = 0;
  document_.page(request.table, none);
}

void WorkspaceSession::exportTable(const GridRequest& request, ExportFormat format, const TextSink& sink) {
  std::lock_guard guard(mutex_);
  document_.exportTable(request.table, format, sink, request.selection());
}

nlohmann::json WorkspaceSession::layout(const std::string& table) {
  std::lock_guard guard(mutex_);
  return nlohmann::json::parse(layouts_.load(table).toJSONText());
}

void WorkspaceSession::saveLayout(const nlohmann::json& body) {
  const std::string table = textField(body, "table");
  TableColumnLayout layout;
  try {
    layout = TableColumnLayout::fromJSONText(field(body, "layout").dump());
  } catch (const Error& error) {
    throw RequestError(400, error.message());
  }
  std::lock_guard guard(mutex_);
  try {
    layouts_.save(table, layout);
  } catch (const std::exception& error) {
    throw RequestError(409, error.what());
  }
}

std::string WorkspaceSession::columnType(const std::string& table, const std::string& column) {
  requireTable(table);
  for (const Column& known : document_.page(table, 0).columns) {
    if (known.name == column) return known.type;
  }
  throw RequestError(400, "The table \"" + table + "\" has no column \"" + column + "\".");
}

nlohmann::json WorkspaceSession::updateCell(const nlohmann::json& body) {
  std::lock_guard guard(mutex_);
  requireEditable();
  const std::string table = textField(body, "table");
  const std::string column = textField(body, "column");
  const Rows row = rowFromJSON(field(body, "row"));
  const Value value = enteredValue(columnType(table, column), field(body, "value"));
  document_.updateCell(table, row, 0, column, value);
  dirty_ = true;
  return {{"dirty", true}, {"cell", cellJSON(value)}};
}

nlohmann::json WorkspaceSession::insertRow(const nlohmann::json& body) {
  std::lock_guard guard(mutex_);
  requireEditable();
  const std::string table = textField(body, "table");
  requireTable(table);
  std::vector<std::pair<std::string, Value>> values;
  if (body.contains("values")) {
    if (!body["values"].is_object()) throw RequestError(400, "\"values\" must map column names to values.");
    for (const auto& [column, input] : body["values"].items())
      values.emplace_back(column, enteredValue(columnType(table, column), input));
  }
  document_.insertRow(table, values);
  dirty_ = true;
  return {{"dirty", true}};
}

nlohmann::json WorkspaceSession::deleteRows(const nlohmann::json& body) {
  std::lock_guard guard(mutex_);
  requireEditable();
  const std::string table = textField(body, "table");
  requireTable(table);
  const nlohmann::json& list = field(body, "rows");
  if (!list.is_array() || list.empty()) throw RequestError(400, "\"rows\" must list the rows to delete.");
  std::vector<Rows> rows;
  for (const nlohmann::json& row : list) rows.push_back(rowFromJSON(row));
  std::size_t deleted = 0;
  for (const Rows& row : rows) {
    document_.deleteRow(table, row, 0);
    ++deleted;
    dirty_ = true;
  }
  return {{"dirty", dirty_}, {"deleted", deleted}};
}

nlohmann::json WorkspaceSession::save() {
  std::lock_guard guard(mutex_);
  requireEditable();
  if (!(identityOf(file_) == opened_))
    throw RequestError(409, "The file changed on disk since it was opened; it was not saved. Reopen it to edit it.");
  if (databaseCopy_) {
    if (PrivateDatabaseCopy::hasJournal(file_))
      throw RequestError(
          409, "The database has a journal beside it now (another program is changing it); it was not saved.");
    // Everything the copy took is moved into its own file, which then replaces the file.
    document_.query("PRAGMA wal_checkpoint(TRUNCATE)", 1);
    databaseCopy_->writeBack(file_);
  } else {
    document_.saveChanges();
  }
  opened_ = identityOf(file_);
  dirty_ = false;
  return {{"dirty", false}, {"saved", true}};
}

}  // namespace tabvora::workspace
