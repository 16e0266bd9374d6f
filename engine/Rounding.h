#pragma once
// Conversions from real numbers to device integers.
#include <cmath>

namespace varimark {

// The nearest integer, a value exactly halfway going to the even neighbour (the default
// rounding mode; lrintl rounds in it without saving and restoring the floating-point
// environment as nearbyintl does).
inline int Nearest(long double z) {
    return static_cast<int>(std::lrintl(z));
}

} // namespace varimark
