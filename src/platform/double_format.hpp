#pragma once

#include <string>

namespace tabvora::internal {

// The shortest decimal text that reads back to the same double, in the common form of a
// language's default Double printing: decimal with at least one fractional digit when
// 1e-4 <= |x| < 1e15 ("3.0", "0.0001", "123456789012345.0"), exponential with a signed,
// at least two-digit exponent otherwise ("1e+15", "1.5e-05", "5e-324"). Zero is "0.0" or
// "-0.0"; NaN is "nan", infinities "inf" and "-inf".
std::string shortestDoubleText(double value);

}  // namespace tabvora::internal
