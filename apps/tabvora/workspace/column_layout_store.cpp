#include "column_layout_store.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "cell_json.hpp"
#include "tabvora/atomic_file.hpp"
#include "tabvora/error.hpp"

namespace tabvora::workspace {

namespace {

// The largest layouts file read back.
constexpr std::uintmax_t kMaxFileBytes = 4 << 20;

// FNV-1a: the same name for the same path from one run to the next.
std::string hashName(const std::string& text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name;
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xf];
  return name + ".json";
}

std::optional<std::filesystem::path> absoluteDirectory(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || *value != '/') return std::nullopt;
  return std::filesystem::path(value);
}

}  // namespace

std::optional<std::filesystem::path> ColumnLayoutStore::defaultFolder() {
  if (auto state = absoluteDirectory("XDG_STATE_HOME")) return *state / "tabvora" / "layouts";
  if (auto home = absoluteDirectory("HOME")) return *home / ".local" / "state" / "tabvora" / "layouts";
  return std::nullopt;
}

ColumnLayoutStore::ColumnLayoutStore(std::optional<std::filesystem::path> folder,
                                     const std::filesystem::path& dataFile) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(dataFile, error);
  dataFile_ = (error ? dataFile : absolute.lexically_normal()).string();
  if (folder) path_ = *folder / hashName(dataFile_);
}

namespace {

nlohmann::json readTables(const std::optional<std::filesystem::path>& path, const std::string& dataFile) {
  std::error_code error;
  if (!path || !std::filesystem::is_regular_file(*path, error) ||
      std::filesystem::file_size(*path, error) > kMaxFileBytes)
    return nlohmann::json::object();
  std::ifstream in(*path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  nlohmann::json stored = nlohmann::json::parse(text.str(), nullptr, false);
  if (stored.is_discarded() || !stored.is_object() || stored.value("file", "") != dataFile ||
      !stored.contains("tables") || !stored["tables"].is_object())
    return nlohmann::json::object();
  return stored["tables"];
}

}  // namespace

TableColumnLayout ColumnLayoutStore::load(const std::string& table) const {
  const nlohmann::json tables = readTables(path_, dataFile_);
  const auto found = tables.find(table);
  if (found == tables.end()) return {};
  try {
    return TableColumnLayout::fromJSONText(found->dump());
  } catch (const Error&) {
    return {};
  }
}

void ColumnLayoutStore::save(const std::string& table, const TableColumnLayout& layout) const {
  if (!path_)
    throw std::runtime_error("There is no folder to keep column layouts in (neither XDG_STATE_HOME nor HOME).");
  nlohmann::json tables = readTables(path_, dataFile_);
  if (layout.isEmpty()) {
    tables.erase(table);
  } else {
    tables[table] = nlohmann::json::parse(layout.toJSONText());
  }
  std::error_code error;
  std::filesystem::create_directories(path_->parent_path(), error);
  if (error) throw std::runtime_error("The column layout cannot be kept: " + error.message() + ".");
  AtomicFileWriter writer(*path_);
  writer.write(jsonText({{"file", dataFile_}, {"tables", std::move(tables)}}));
  writer.commit();
}

}  // namespace tabvora::workspace
