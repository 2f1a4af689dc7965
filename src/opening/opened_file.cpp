#include "opening/opened_file.hpp"

#include <exception>

#include "model/driver_error.hpp"
#include "opening/driver_manager.hpp"
#include "opening/opening_refusal.hpp"
#include "platform/binary_content.hpp"

namespace tabvora::internal {

namespace {

// Content bytes a streamed preview reads first; each further part is this many times larger.
constexpr std::uint64_t kFirstPart = std::uint64_t{1} << 20;
constexpr std::uint64_t kGrowth = 4;

// Whether a first part holds what a preview shows: the driver stopped at its row limit, or
// (a script, which has no such limit) staged that many rows in its first table.
bool previewIsStaged(const DatabaseMetadata& metadata, DriverKind kind, std::int64_t rowLimit) {
  if (metadata.tables.empty()) return false;
  const TableMetadata& first = metadata.tables.front();
  if (first.rowCountIsLowerBound) return true;
  return kind == DriverKind::sqlScript && first.rowCount && *first.rowCount >= rowLimit;
}

}  // namespace

OpenedFile OpenedFile::open(const std::filesystem::path& path, const OpenOptions& options) {
  OpenedFile opened;
  opened.input = std::make_unique<InputSource>(path, options);
  InputSource& input = *opened.input;
  const std::optional<DriverChoice> named = DriverManager::chooseFormat(options.inputFormat);

  if (!input.streamed()) {
    const DriverChoice choice = named.value_or(DriverManager::choose(path, input.leadingBytes()));
    if (auto refusal = openingRefusal(path, choice.kind)) throw DriverError("DriverManager", -1, *refusal);
    opened.driver = DriverManager::makeDriver(choice);
    opened.metadata = opened.driver->open(path, options);
    return opened;
  }

  const DriverChoice choice = named.value_or(DriverManager::choose(input.formatName(), input.leadingBytes()));
  const std::string name =
      InputSource::isStandardInput(path) ? std::string("Standard input") : "\"" + input.displayName() + "\"";
  if (!options.textEncoding.empty() && choice.kind != DriverKind::delimited && choice.kind != DriverKind::sqlScript) {
    throw DriverError("InputSource", ErrorCode::invalidArgument, -1,
                      "A text encoding can be chosen for delimited text and SQL scripts only; " + name +
                          " is read as " + std::string(DatabaseFormat(choice.format).displayName()));
  }
  if (input.complete() && input.spooledBytes() == 0) throw DriverError("InputSource", -1, name + " is empty");
  if (readsTextFormat(choice.kind)) {
    if (auto what = binaryContentName(input.leadingBytes())) {
      throw DriverError("DriverManager", -1,
                        name + " is not a tabular data file (" +
                            (input.compression() == Compression::none ? "" : "once decompressed, ") + "it holds " +
                            std::string(*what) + ")");
    }
  }

  if (!options.textEncoding.empty()) input.convertFrom(options.textEncoding);
  OpenOptions driverOptions = options;
  driverOptions.tableStem = input.tableStem();
  const bool partial = readsTextFormat(choice.kind) && options.previewRowLimit.has_value();
  input.fill(partial ? kFirstPart : UINT64_MAX);
  for (;;) {
    opened.driver = DriverManager::makeDriver(choice);
    try {
      opened.metadata = opened.driver->open(input.readPath(), driverOptions);
    } catch (const std::exception&) {
      // A part that ends inside a document or statement is not the content's failure.
      opened.driver->close();
      if (input.complete()) throw;
      input.fill(input.bytesRead() * kGrowth);
      continue;
    }
    if (input.complete()) break;
    if (previewIsStaged(opened.metadata, choice.kind, *options.previewRowLimit)) {
      for (TableMetadata& table : opened.metadata.tables) table.rowCountIsLowerBound = true;
      break;
    }
    opened.driver->close();
    input.fill(input.bytesRead() * kGrowth);
  }
  opened.metadata.name = input.displayName();
  opened.metadata.fileURL = path;
  opened.metadata.fileSize = input.displaySize();
  return opened;
}

}  // namespace tabvora::internal
