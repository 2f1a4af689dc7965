#pragma once

#include "tabvora/error.hpp"

namespace tabvora::internal {

// The one error type of the whole system, under the name the drivers know it by: the public
// API's Error, so a failure reaches a library user as it was thrown.
using DriverError = Error;

}  // namespace tabvora::internal
