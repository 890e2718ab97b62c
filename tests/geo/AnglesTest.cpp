#include "geo/Angles.h"

#include "geo/DegMin.h"
#include "geo/GeoTest.h"

using namespace geo;
using namespace geotest;

TEST(DegToDMS, CarriesRoundingNoiseAndKeepsTheSignInTheTextOnly) {
    const DMS carried = DegToDMS(40.99999999), negative = DegToDMS(-0.5);
    EXPECT_EQ(std::tuple(carried.deg, carried.min, carried.sec), std::tuple(41, 0, 0.0));
    EXPECT_EQ(std::tuple(negative.deg, negative.min, negative.sec), std::tuple(0, 30, 0.0));
    EXPECT_NEAR(DegToDMS(-3.70255).sec, 9.18, 1e-9);  // unrounded seconds
    EXPECT_EQ(carried.text, "41º 00' 00,00''");
    EXPECT_EQ(negative.text, "-00º 30' 00,00''");
    EXPECT_EQ(DegToDMS(0).text, "00º 00' 00,00''");
    EXPECT_EQ(DegToDMS(-3.70255).text, "-03º 42' 09,18''");
    EXPECT_EQ(ErrorNumber([] { DegToDMS(32768.0); }), 6);
    EXPECT_EQ(ErrorNumber([] { DegToDMS(32767.99999999); }), 6);  // the carry leaves 16 bits
}

TEST(DegToDegMin, PacksDegreesAndSinglePrecisionMinutesWithTheSign) {
    const double odd = DMSToDeg(12, 34, 56.7891, false);
    // In double the sum would be 1234.9464836; in single precision it is 1234.9465332.
    const std::tuple<double, std::int16_t, double> cases[] = {
        {DMSToDeg(38, 25, 0, false), 0, 3825.0},
        {DMSToDeg(1, 34, 0, true), 0, -134.0},
        {DMSToDeg(0, 0, 30, true), 0, -0.5},
        {odd, 0, 1234.9465},
        {odd, 6, 1234.946533},
        {odd, 2, 1234.95}};
    for (const auto& [v, n, packed] : cases) EXPECT_EQ(DegToDegMin(v, n), packed) << v << " " << n;
    EXPECT_EQ(ErrorNumber([] { DegToDegMin(327.99, 0); }), 0);
    EXPECT_EQ(ErrorNumber([] { DegToDegMin(328, 0); }), 6);  // degrees × 100 leaves 16 bits
    EXPECT_EQ(ErrorNumber([] { DegToDegMin(-328.5, 0); }), 6);
}
