#include "model/database_driver.hpp"

#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

[[noreturn]] void refuseRowReading() {
  throw DriverError("DatabaseDriver", -1, "This file's driver cannot read a table row by row");
}

}  // namespace

void DatabaseDriver::streamRows(const std::string&, const std::vector<CellValue>&, std::int64_t,
                                const std::function<bool(const DataTable&)>&) {
  refuseRowReading();
}

void DatabaseDriver::readInTurns(const std::string&, const std::function<bool()>&) { refuseRowReading(); }

void DatabaseDriver::forEachRow(const std::string&, const std::vector<CellValue>&,
                                const std::function<bool(const RowView&)>&) {
  refuseRowReading();
}

}  // namespace tabvora::internal
