#include "geo/Power.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "num/Number.h"
#include "num/RuntimeError.h"

// The fast powers must give the very doubles of num::Pow over what the formulas feed
// them (sines, tangents, radians, eastings, radii, coordinates, the third flattening),
// next to rounding midpoints, and for the radii's w^-1/2 and w^-3/2 over the values
// 1 - e² sin² takes; out of range they raise as num::Pow does.
TEST(Power, FastPowersEqualTheRunTimePowerFunctionBitForBit) {
    double out[8];
    const auto same = [&](double x) {
        geo::detail::IntPowers(x, 7, out);
        for (int k = 2; k <= 7; ++k) ASSERT_EQ(out[k], num::Pow(x, k)) << x << "^" << k;
        ASSERT_EQ(geo::detail::Square(x), out[2]) << x;
    };
    const auto sameRoots = [](double w) {
        double m05 = 0, m15 = 0;
        geo::detail::InverseRootPowers(w, m05, m15);
        ASSERT_EQ(m05, num::Pow(w, -0.5)) << w;
        ASSERT_EQ(m15, num::Pow(w, -1.5)) << w;
    };
    for (double x : {2.0, -0.5, 1e-200, -1e-35}) same(x);  // powers of two; below 2^-100
    for (double w : {1.0, 0.25, 4.0, 1e-200, 1e200}) sameRoots(w);
    const double ranges[][2] = {{-1, 1},        {-60, 60},   {-0.2, 0.2},      {-6e5, 6e5},
                                {6.3e6, 6.5e6}, {-7e6, 7e6}, {1.6e-3, 1.8e-3}, {1e-40, 1e40}};
    std::mt19937_64 random(20240601);
    for (const auto& range : ranges) {
        std::uniform_real_distribution<double> pick(range[0], range[1]);
        for (int i = 0; i < 2000; ++i) same(pick(random));
    }
    for (const auto& range : {std::pair{0.99, 1.0}, {0.5, 2.0}, {1e-20, 1e20}}) {
        std::uniform_real_distribution<double> pick(range.first, range.second);
        for (int i = 0; i < 20000; ++i) sameRoots(pick(random));
    }
    // Squares next to a rounding midpoint, where num::Pow and x * x part ways, and those
    // whose exact value lies 0.44 to 0.47 ulp from a double (within 2^-8..2^8 the fast
    // path takes them: pow's stated error is too small there to reach the other side).
    std::uniform_real_distribution<double> pick(-256, 256);
    int nearMidpoint = 0, inBand = 0;
    for (int i = 0; i < 2000000 && (nearMidpoint < 20 || inBand < 2000); ++i) {
        const double x = pick(random);
        const double p = x * x;
        const double err = std::fabs(std::fma(x, x, -p));
        const double ulp = std::nextafter(p, HUGE_VAL) - p;
        if (num::Pow(x, 2) != p) same(x), ++nearMidpoint;
        if (err >= 0.44 * ulp && err < 0.47 * ulp) same(x), ++inBand;
    }
    EXPECT_GT(nearMidpoint, 0);
    EXPECT_GE(inBand, 2000);
    EXPECT_THROW(geo::detail::IntPowers(1e200, 2, out), num::RuntimeError);
    double m05 = 0, m15 = 0;
    EXPECT_THROW(geo::detail::InverseRootPowers(0, m05, m15), num::RuntimeError);
    EXPECT_THROW(geo::detail::InverseRootPowers(-0.5, m05, m15), num::RuntimeError);
}
