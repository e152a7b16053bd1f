// Rounding to the nearest integer with halves going to the even neighbour,
// the rounding every floating-point step of the model and of the instrument
// panel ends in. Built from floor and exact differences only, so it gives
// the same result whatever floating-point rounding mode is in force.
#pragma once

#include <cmath>
#include <cstdint>

namespace k58 {

inline std::int32_t RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    double result = lower;
    if (fraction > 0.5)
        result = lower + 1.0;
    else if (fraction == 0.5)
        result = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
    return static_cast<std::int32_t>(result);
}

} // namespace k58
