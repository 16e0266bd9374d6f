#pragma once
// Conversions from real numbers to device integers.
#include <cmath>

// The nearest integer, a value exactly halfway going to the even neighbour.
inline int Nearest(long double z) {
    return static_cast<int>(std::nearbyintl(z));
}
