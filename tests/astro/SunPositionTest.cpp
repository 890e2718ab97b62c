#include "astro/SunPosition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "astro/InverseTrig.h"
#include "astro/JulianDay.h"
#include "astro/Reduce.h"
#include "geo/Angles.h"
#include "num/RuntimeError.h"

using namespace mAAlgorit;

TEST(SunPosition, MatchesMeeusExample25a) {
    // Meeus, Astronomical Algorithms, example 25.a (1992 October 13.0) and 28.b
    // (equation of time +13m 42.7s on the same date).
    double T = JulianCentury(2448908.5);
    EXPECT_NEAR(T, -0.072183436, 1e-9);
    EXPECT_NEAR(SunMeanLongitude(T), 201.80720, 1e-5);
    EXPECT_NEAR(SunMeanAnomaly(T) + 7 * 360, 278.99397, 1e-5);
    EXPECT_NEAR(OrbitEccentricity(T), 0.016711668, 1e-9);
    EXPECT_NEAR(SunEquationOfCenter(T), -1.89732, 1e-5);
    EXPECT_NEAR(SunApparentLongitude(T), 199.90895, 2e-5);
    EXPECT_NEAR(MeanObliquity(T), 23.44023, 1e-5);
    EXPECT_NEAR(ApparentObliquity(T), 23.43999, 1e-5);
    EXPECT_NEAR(SunDeclination(T), -7.78507, 1e-5);
    EXPECT_NEAR(EquationOfTime(T), 13 + 42.7 / 60, 0.01);
}

TEST(SunPosition, MeanAnomalyIsNotReducedToOneTurn) {
    // In 2024 the anomaly has grown by about 24 turns since 2000.
    double M = SunMeanAnomaly(JulianCentury(JulianDay(2024, 3, 20.5)));
    EXPECT_GT(M, 9000);
    EXPECT_LT(M, 9200);
}

TEST(SunPosition, EquationOfTimeAndDeclinationOver2024HaveTheirKnownExtremes) {
    double maxEot = -100, minEot = 100, maxDecl = -100, minDecl = 100;
    int maxDay = 0, minDay = 0;
    double jan1 = JulianDay(2024, 1, 1);
    for (int d = 0; d < 366; ++d) {
        double T = JulianCentury(jan1 + d + 0.5);
        double eot = EquationOfTime(T), decl = SunDeclination(T);
        if (eot > maxEot) maxEot = eot, maxDay = d;
        if (eot < minEot) minEot = eot, minDay = d;
        maxDecl = std::max(maxDecl, decl);
        minDecl = std::min(minDecl, decl);
    }
    // Largest positive value in early November, largest negative in mid-February.
    EXPECT_GE(maxDay, JulianDay(2024, 11, 1) - jan1);
    EXPECT_LE(maxDay, JulianDay(2024, 11, 6) - jan1);
    EXPECT_GE(minDay, JulianDay(2024, 2, 8) - jan1);
    EXPECT_LE(minDay, JulianDay(2024, 2, 16) - jan1);
    EXPECT_NEAR(maxEot, 16.4, 0.2);
    EXPECT_NEAR(minEot, -14.2, 0.2);
    EXPECT_LT(std::max(maxEot, -minEot), 17);
    // Solstices: the declination reaches the obliquity, 23.44 degrees.
    EXPECT_NEAR(maxDecl, 23.44, 0.01);
    EXPECT_NEAR(minDecl, -23.44, 0.01);
}

TEST(SunPosition, AbsurdInstantsRaiseOverflowInsteadOfHangingOrReturningNaN) {
    // Far beyond any calendar, where a loop of 360-degree steps would never end.
    EXPECT_LE(SunMeanLongitude(1e12), 360);
    EXPECT_THROW(SunMeanLongitude(1e300), num::RuntimeError);
    EXPECT_THROW(EquationOfTime(-1e300), num::RuntimeError);
}

// The reductions stand for loops of whole-turn steps and must give the same bits.
static double LoopReduce(double x, double period, bool raiseNegative) {
    while (x > period || (raiseNegative && x < 0)) {
        if (x > period) x -= period;
        if (raiseNegative && x < 0) x += period;
    }
    return x;
}

TEST(Reduce, GivesExactlyWhatRepeatedStepsGive) {
    for (double x : {0.0, 360.0, 720.0, -720.0, 365.5, -5.5, -1e-20, -359.99999999999994}) {
        EXPECT_EQ(ReduceTo0To360(x), LoopReduce(x, 360, true)) << x;
        EXPECT_FALSE(std::signbit(ReduceTo0To360(x))) << x;
    }
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> u(-1e5, 1e5);
    for (int i = 0; i < 20000; ++i) {
        double x = u(gen);
        ASSERT_EQ(ReduceTo0To360(x), LoopReduce(x, 360, true)) << x;
        ASSERT_EQ(ReduceFromAbove(x, 1440), LoopReduce(x, 1440, false)) << x;
    }
}

TEST(ArcCosArcSin, AnswerTheEndpointsExactlyAndRejectArgumentsBeyondThem) {
    EXPECT_EQ(ArcCos(1), 0);
    EXPECT_EQ(ArcCos(-1), mGeo::kPi);
    EXPECT_EQ(ArcSin(1), mGeo::kPi / 2);
    EXPECT_EQ(ArcSin(-1), -mGeo::kPi / 2);
    for (double x : {-0.999999, -0.5, 0.0, 0.999999}) {
        EXPECT_NEAR(ArcCos(x), std::acos(x), 1e-12) << x;
        EXPECT_NEAR(ArcSin(x), std::asin(x), 1e-12) << x;
    }
    for (double x : {1.0000001, -1.5, std::nan("")}) {
        for (auto f : {ArcCos, ArcSin}) {
            try {
                f(x);
                ADD_FAILURE() << x;
            } catch (const num::RuntimeError& e) {
                EXPECT_EQ(e.Number(), num::RuntimeError::kInvalidCall);
            }
        }
    }
}
