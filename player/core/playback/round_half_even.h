// player: rounding to the nearest whole number, a half to the even one.
//
// The play position, the jumps of ten seconds and a seek in milliseconds
// all round so: 2.5 becomes 2, 3.5 becomes 4, -0.5 becomes 0. It is the
// rounding of the current floating-point mode (std::nearbyint), spelled
// out here so that no caller depends on that mode.
#pragma once

#include <cmath>

namespace player {

inline double RoundHalfEven(double value) {
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0)) rounded += 1;
    return rounded;
}

}  // namespace player
