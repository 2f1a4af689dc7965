// Feeds arbitrary bytes to the JSON driver as a JSON document and as JSON Lines, each opened
// for a preview and in full. A full open that succeeds is saved and opened again: saving
// must succeed or refuse cleanly, and what it wrote must open with the same rows.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "drivers/json/json_driver.hpp"
#include "fuzz/fuzz_support.hpp"
#include "model/driver_error.hpp"

namespace {

using tabvora::internal::DatabaseFormat;
using tabvora::internal::DriverError;
using tabvora::internal::JSONDriver;

std::optional<std::int64_t> openAndFetch(JSONDriver& driver, const std::filesystem::path& path) {
  std::optional<std::int64_t> rows;
  tabvora::fuzzing::refusalAllowed([&] {
    const auto metadata = driver.open(path);
    driver.fetchTableData(metadata.tables.at(0).name, 50);
    rows = metadata.tables.at(0).rowCount;
  });
  return rows;
}

void exercise(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  const DatabaseFormat format = DatabaseFormat::fromURL(path);
  tabvora::fuzzing::writeBytes(path, data, size);
  {
    JSONDriver preview(format);
    preview.previewRowLimit = 200;
    openAndFetch(preview, path);
  }
  JSONDriver full(format);
  const std::optional<std::int64_t> rows = openAndFetch(full, path);
  if (!rows) return;
  try {
    full.saveChanges();
  } catch (const DriverError& error) {
    tabvora::fuzzing::check(error.code() == -2);  // only a refusal may stop a save
    return;
  }
  JSONDriver reopened(format);
  tabvora::fuzzing::check(openAndFetch(reopened, path) == rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  exercise(tabvora::fuzzing::privateFolder() / "input.json", data, size);
  exercise(tabvora::fuzzing::privateFolder() / "input.jsonl", data, size);
  return 0;
}
