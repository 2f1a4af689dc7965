// Opens arbitrary bytes as a database the way a preview does, with an optional sidecar:
// the first byte picks none (0), a rollback journal (1) or a WAL (2); for a sidecar the next
// four bytes (little-endian) give the database's length and the rest is the sidecar.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tabvora;
  using namespace tabvora::internal;
  if (size < 1) return 0;
  const std::filesystem::path database = fuzzing::privateFolder() / "fuzz.db";
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::filesystem::remove(database.string() + suffix);

  const std::uint8_t mode = data[0] % 3;
  ++data;
  --size;
  if (mode == 0 || size < 4) {
    fuzzing::writeBytes(database, data, size);
  } else {
    std::uint32_t length = 0;
    std::memcpy(&length, data, 4);
    data += 4;
    size -= 4;
    length = static_cast<std::uint32_t>(std::min<std::size_t>(length, size));
    fuzzing::writeBytes(database, data, length);
    fuzzing::writeBytes(database.string() + (mode == 1 ? "-journal" : "-wal"), data + length, size - length);
  }

  SQLiteDriver driver;
  driver.previewReadOnly = true;
  driver.statementTimeLimit = std::chrono::milliseconds(200);
  driver.cellByteLimit = 40001;
  fuzzing::refusalAllowed([&] {
    DatabaseMetadata metadata = driver.open(database);
    if (!metadata.tables.empty()) driver.fetchTableData(metadata.tables.front().name, 50, 0);
  });
  driver.close();
  return 0;
}
