#include "geo/DegMin.h"

#include <gtest/gtest.h>

#include "geo/Angles.h"
#include "num/RuntimeError.h"

using namespace mGeo;

TEST(DegToDegMin, PacksDegreesAndMinutesWithTheSign) {
    EXPECT_EQ(DegToDegMin(DMSToDeg(38, 25, 0, false), 0), 3825.0);
    EXPECT_EQ(DegToDegMin(DMSToDeg(1, 34, 0, true), 0), -134.0);
    EXPECT_EQ(DegToDegMin(DMSToDeg(0, 0, 30, true), 0), -0.5);
    EXPECT_EQ(DegToDegMin(DMSToDeg(12, 34, 56.7891, false), 0), 1234.9465);
    EXPECT_EQ(DegToDegMin(0, 0), 0);
}

TEST(DegToDegMin, MinutesAndTheirSumAreSinglePrecision) {
    // The double sum would be 1234.9464836; in single precision it is 1234.9465332.
    EXPECT_EQ(DegToDegMin(DMSToDeg(12, 34, 56.7891, false), 6), 1234.946533);
    EXPECT_EQ(DegToDegMin(DMSToDeg(12, 34, 56.7891, false), 2), 1234.95);
}

TEST(DegToDegMin, DegreesOf328OrMoreOverflow) {
    auto number = [](double v) {
        try {
            DegToDegMin(v, 0);
        } catch (const num::RuntimeError& e) {
            return e.Number();
        }
        return 0;
    };
    EXPECT_EQ(number(327.99), 0);
    EXPECT_EQ(number(328), 6);
    EXPECT_EQ(number(-328.5), 6);
    EXPECT_EQ(number(40000), 6);
}
