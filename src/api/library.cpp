#include "tabvora/library.hpp"

#include "drivers/parquet/parquet_driver.hpp"

namespace tabvora {

void preferDuckDBAt(const std::filesystem::path& program) { ParquetDriver::preferDuckDBAt(program); }

std::string_view version() { return TABVORA_VERSION; }

}  // namespace tabvora
