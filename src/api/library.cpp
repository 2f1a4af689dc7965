#include "tabvora/library.hpp"

#include "drivers/parquet/parquet_driver.hpp"
#include "drivers/sqlite/private_copy_registry.hpp"

namespace tabvora {

// The API is built from the internals below it.
using namespace internal;

void preferDuckDBAt(const std::filesystem::path& program) { ParquetDriver::preferDuckDBAt(program); }

void installSignalCleanup() { PrivateCopyRegistry::installSignalCleanup(); }

std::string_view version() { return TABVORA_VERSION; }

}  // namespace tabvora
