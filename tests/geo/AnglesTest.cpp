#include "geo/Angles.h"

#include <gtest/gtest.h>

#include "geo/Ellipsoid.h"
#include "num/RuntimeError.h"

using namespace mGeo;

TEST(Ellipsoids, HoldTheThreeStoredRecordsInOrder) {
    InitEllipsoids();
    EXPECT_EQ(Ellipsoids[kWGS84].Name, "WGS84");
    EXPECT_EQ(Ellipsoids[kWGS84].E2, 0.00669437999014);
    EXPECT_EQ(Ellipsoids[kED50].A, 6378388);
    EXPECT_EQ(Ellipsoids[kED50].InvF, 297);
    EXPECT_EQ(Ellipsoids[kGRS80].E2, 0.0066943800229034);
}

TEST(DMSToDeg, SumsTheComponentsAndAppliesTheSign) {
    EXPECT_EQ(DMSToDeg(40, 30, 0, false), 40.5);
    EXPECT_EQ(DMSToDeg(40, 30, 0, true), -40.5);
    EXPECT_DOUBLE_EQ(DMSToDeg(0, 0, 3.6, false), 0.001);
    EXPECT_EQ(DMSToDeg(0, 75, 0, false), 1.25);  // no range check
    EXPECT_NEAR(RadToDeg(DegToRad(37.123456789)), 37.123456789, 1e-13);
    EXPECT_EQ(DegToRad(180), kPi);
}

TEST(DegToDMS, CarriesRoundingNoiseAndKeepsTheSignInTheTextOnly) {
    DMS a = DegToDMS(40.99999999);
    EXPECT_EQ(a.deg, 41);
    EXPECT_EQ(a.min, 0);
    EXPECT_EQ(a.sec, 0);
    EXPECT_EQ(a.text, "41º 00' 00,00''");

    DMS b = DegToDMS(-0.5);
    EXPECT_EQ(b.deg, 0);
    EXPECT_EQ(b.min, 30);
    EXPECT_EQ(b.text, "-00º 30' 00,00''");

    EXPECT_EQ(DegToDMS(0).text, "00º 00' 00,00''");
    EXPECT_EQ(DegToDMS(40.5).text, "40º 30' 00,00''");
    EXPECT_EQ(DegToDMS(-3.70255).text, "-03º 42' 09,18''");
    EXPECT_NEAR(DegToDMS(-3.70255).sec, 9.18, 1e-9);  // unrounded seconds

    EXPECT_THROW(DegToDMS(32768.0), num::RuntimeError);
    EXPECT_THROW(DegToDMS(32767.99999999), num::RuntimeError);  // the carry leaves 16 bits
}
