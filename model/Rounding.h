#pragma once
// Storing a floating-point value into an integer rounds to the nearest integer, halves to
// the even neighbour (2.5 -> 2, 3.5 -> 4), as the current rounding mode does by default.
// Never std::round, which sends halves away from zero.

#include <cmath>
#include <cstdint>
#include <limits>

namespace metro {

inline double roundHalfEven(double value) {
    return std::nearbyint(value);
}

// Rounded into a 16-bit signed integer. A value outside the 16-bit range (a pointer held
// captured far outside the window) saturates at the nearer end instead of overflowing.
inline std::int16_t toInt16(double value) {
    if (std::isnan(value))
        return 0;
    const double r = roundHalfEven(value);
    if (r <= std::numeric_limits<std::int16_t>::min())
        return std::numeric_limits<std::int16_t>::min();
    if (r >= std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(r);
}

} // namespace metro
