#pragma once

#include <cstddef>

namespace tabvora::internal {

// Rewrites, in place, every integer literal outside strings that does not fit in 64 bits
// (below -2^63 or above 2^64-1) as an exponent literal of the nearest double, padded with
// spaces to the same length: 18446744073709551616 becomes "18446744073709552e3 ". The JSON
// parser rejects such integers; rewritten, they parse as the real numbers they are.
// Literals too large for a double are left alone. Returns whether anything changed.
bool rewriteOversizedIntegers(char* text, std::size_t length);

}  // namespace tabvora::internal
