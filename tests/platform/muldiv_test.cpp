#include "platform/muldiv.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Case {
    win::INT number;
    win::INT numerator;
    win::INT denominator;
    win::INT expected;
};

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero) {
    constexpr win::INT kMax = std::numeric_limits<win::INT>::max();
    constexpr win::INT kMin = std::numeric_limits<win::INT>::min();
    const Case cases[] = {
        {16, 6, 4, 24},            // exact
        {62, 13, 8, 101},          // 100.75
        {29, 13, 8, 47},           // 47.125
        {1, 6, 4, 2},              // 1.5 rounds up
        {281, 6, 4, 422},          // 421.5 rounds up
        {-1, 6, 4, -2},            // -1.5 rounds away from zero, not towards it
        {1, -6, 4, -2},            //
        {1, 6, -4, -2},            //
        {-1, -6, 4, 2},            // two negatives make a positive
        {7, 1, 3, 2},              // 2.33
        {5, 1, 3, 2},              // 1.67
        {0, 5, -3, 0},             //
        {kMax, 2, 2, kMax},        // the product needs more than 32 bits
        {kMax, kMax, kMax, kMax},  //
        {kMin, 1, 1, kMin},        // the most negative result still fits
        {kMax, 2, 1, -1},          // too large
        {kMin, -1, 1, -1},         // too large: 2^31
        {5, 1, 0, -1},             // no divisor
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win::MulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

}  // namespace
