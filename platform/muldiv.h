// MulDiv: a 32-bit product divided by a 32-bit divisor through a 64-bit intermediate, rounded
// to the nearest integer, halves away from zero, as the platform does it.
#pragma once

#include <cstdint>
#include <limits>

#include "platform/wintypes.h"

namespace win {

// number * numerator / denominator, rounded half away from zero. -1 when the denominator is 0
// or the result does not fit in a 32-bit signed integer.
inline constexpr INT MulDiv(INT number, INT numerator, INT denominator) {
    if (denominator == 0) {
        return -1;
    }
    const std::int64_t product = std::int64_t{number} * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const std::uint64_t magnitude =
        product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
    const std::uint64_t divisor = denominator < 0 ? 0 - static_cast<std::uint64_t>(denominator)
                                                  : static_cast<std::uint64_t>(denominator);
    const std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
    // The most negative result has no positive counterpart.
    const std::uint64_t limit = std::uint64_t{std::numeric_limits<INT>::max()} + (negative ? 1 : 0);
    if (quotient > limit) {
        return -1;
    }
    return negative ? static_cast<INT>(-static_cast<std::int64_t>(quotient))
                    : static_cast<INT>(quotient);
}

}  // namespace win
