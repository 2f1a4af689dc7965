#include "drivers/delimited/delimited_driver.hpp"

#include "model/driver_error.hpp"

namespace tabvora {

DelimitedDriver::DelimitedDriver(DatabaseFormat format) : format_(format) {}
DelimitedDriver::~DelimitedDriver() { close(); }

DatabaseMetadata DelimitedDriver::open(const std::filesystem::path&) {
  throw DriverError("DelimitedDriver", -1, "Delimited text is not supported yet");
}
void DelimitedDriver::saveChanges() {}
void DelimitedDriver::close() noexcept { internalSQLite.close(); }

}  // namespace tabvora
