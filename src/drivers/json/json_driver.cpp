#include "drivers/json/json_driver.hpp"

#include "model/driver_error.hpp"

namespace tabvora {

JSONDriver::JSONDriver(DatabaseFormat format) : format_(format) {}
JSONDriver::~JSONDriver() { close(); }

DatabaseMetadata JSONDriver::open(const std::filesystem::path&) {
  throw DriverError("JSONDriver", -1, "JSON is not supported yet");
}
void JSONDriver::saveChanges() {}
void JSONDriver::close() noexcept { internalSQLite.close(); }

}  // namespace tabvora
