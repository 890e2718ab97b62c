#include "geo/Power.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "num/Number.h"

using mGeo::detail::IntPowers;

// The fast whole powers must give the very doubles of the run-time power function,
// over the ranges the formulas feed them: sines and cosines, tangents, longitude
// differences in radians, eastings from the central meridian, radii and coordinates
// in metres, and the third flattening.
TEST(Power, WholePowersEqualTheRunTimePowerFunctionBitForBit) {
    const double ranges[][2] = {{-1, 1},     {-60, 60},       {-0.2, 0.2},     {-6e5, 6e5},
                                {6.3e6, 6.5e6}, {-7e6, 7e6}, {1.6e-3, 1.8e-3}, {1e-40, 1e40}};
    std::mt19937_64 random(20240601);
    for (const auto& range : ranges) {
        std::uniform_real_distribution<double> pick(range[0], range[1]);
        for (int i = 0; i < 40000; ++i) {
            const double x = pick(random);
            double out[8];
            IntPowers(x, 7, out);
            for (int k = 2; k <= 7; ++k) {
                ASSERT_EQ(out[k], num::Pow(x, k)) << x << "^" << k;
            }
        }
    }
}

// Squares whose exact value lies next to a rounding midpoint, where the run-time power
// function and x * x part ways: the fast path must hand these to the slow one.
TEST(Power, SquaresNextToAMidpointFollowThePowerFunctionNotTheProduct) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> pick(1, 2);
    int found = 0;
    for (int i = 0; i < 2000000 && found < 50; ++i) {
        const double x = pick(random);
        const double power = num::Pow(x, 2);
        if (power == x * x) continue;
        ++found;
        EXPECT_EQ(mGeo::detail::Square(x), power) << x;
    }
    EXPECT_GT(found, 0);
}

TEST(Power, HugeOrTinyArgumentsTakeThePowerFunctionWithItsErrors) {
    double out[8];
    IntPowers(1e-200, 7, out);
    EXPECT_EQ(out[7], num::Pow(1e-200, 7));
    EXPECT_EQ(out[2], 0);
    EXPECT_THROW(IntPowers(1e200, 2, out), std::exception);  // overflow, as num::Pow
}
