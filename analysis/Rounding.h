#pragma once

// Rounding of computed values into 32-bit integer fields.

#include <climits>
#include <cmath>
#include <cstdint>

// Rounds half away from zero; values beyond the range of int32 are held at
// its limits, and NaN gives 0.
inline int32_t RoundToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    if (value <= static_cast<double>(INT32_MIN))
        return INT32_MIN;
    return static_cast<int32_t>(std::lround(value));
}
