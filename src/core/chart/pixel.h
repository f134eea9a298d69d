#pragma once

#include <cmath>

namespace tev {

// Chart positions are worked out in fractions of a pixel and truncated toward zero. Values
// from the records file can be anything, so a position far off the window or not a number is
// pinned to a bound before the conversion to int, which would otherwise be undefined.
inline constexpr double kPixelLimit = 1.0e6;

inline int toPixel(double position) {
    if (std::isnan(position)) return 0;
    if (position > kPixelLimit) return static_cast<int>(kPixelLimit);
    if (position < -kPixelLimit) return static_cast<int>(-kPixelLimit);
    return static_cast<int>(position);
}

}  // namespace tev
