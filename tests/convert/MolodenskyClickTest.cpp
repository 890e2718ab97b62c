// "Molodensky 3p" on both conversion tabs, driven on the control model.
#include <gtest/gtest.h>

#include <string>

#include "ConversionTabFixture.h"

using convert_test::CaptionDegrees;
using convert_test::CaptionNumber;
using convert_test::ConversionTab;
using convert_test::kSecondsPerMm;

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Δf of the shifts, 1/298.257223563 − 1/297, for PROJ's +df.
//   python3 -c "print(repr(1/298.257223563 - 1/297))" -> -1.4192702255886366e-05
// Reference pipelines, PROJ 9.1.1 (development time only):
//   M="+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad
//      +step [+inv] +proj=molodensky +ellps=intl +dx=.. +dy=.. +dz=.. +da=-251
//      +df=-1.4192702255886366e-05"
//   echo "lon lat h 0" | cct -d 12 $M +step +proj=unitconvert +xy_in=rad +xy_out=deg
//   echo "lon lat h 0" | cct -d 6  $M +step +proj=utm +zone=30 +ellps=WGS84 (or intl)
// PROJ's molodensky is the standard (not abridged) form with the same terms, and its
// inverse evaluates the shift at the given point and subtracts it, as tab 0 does. The
// only differences are the last bits of the ellipsoid constants (the stored E2) and
// of the UTM series, far below a millimetre: the labels must agree with PROJ to their
// rounding plus 1 mm.

}  // namespace

using MolodenskyClick = ConversionTab;

TEST_F(MolodenskyClick, Tab0InitialPointWithNima) {
    // The initial point of tab 0 (38º 16' N, 1º 22' W, 600 m) and the initial NIMA set.
    convert::CmdED50Molodensky_Click(form, platform);

    EXPECT_TRUE(platform.msgBoxes.empty());
    EXPECT_EQ(Text("TxtUTMx"), "642.886,02");
    EXPECT_EQ(Text("TxtUTMy"), "4.236.664,44");
    EXPECT_EQ(C("CmbHuso").ListText(), "30");
    EXPECT_EQ(Text("TxtWGSg", 8), "600,0");

    // PROJ, NIMA (+dx=-84 +dy=-107 +dz=-120), +inv, input -1.3666666666666667
    // 38.266666666666666 600 -> -1.365421625073 38.267860903988 522.221730669760;
    // UTM 30 intl 642999.012106 4236869.489427.
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLat", 0)) * 3600, 38.267860903988 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLon", 0)) * 3600, -1.365421625073 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionNumber(Text("LblLat", 20)), 522.221731, 0.05 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 0)), 642999.012106, 0.005 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 1)), 4236869.489427, 0.005 + 0.001);

    EXPECT_EQ(Text("LblGeoLat", 0), "38º 16' 4,2993\" N");
    EXPECT_EQ(Text("LblGeoLon", 0), "1º 21' 55,5179\" W");
    EXPECT_EQ(Text("LblLat", 20), "Altura sobre el elipsoide = 522,2  ±3,0m");
    EXPECT_EQ(Text("LblUTM", 0), "E= 642.999,01  ±5,0m");
    EXPECT_EQ(Text("LblUTM", 1), "N= 4.236.869,49  ±6,0m");
    EXPECT_EQ(Text("LblUTM", 2), "Huso= 30S");
}

TEST_F(MolodenskyClick, MadridOnTab1WithNima) {
    TypeGeographic(1, {"40", "25", "0"}, {"3", "42", "0"}, true, "650,0");
    convert::CmdWGS84Molodensky_Click(form, platform);

    // PROJ, NIMA, forward, input -3.7 40.41666666666667 650 -> -3.701321760293
    // 40.415481261862 726.303044583564; UTM 30 WGS84 440499.548913 4474109.331056.
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLat", 1)) * 3600, 40.415481261862 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLon", 1)) * 3600, -3.701321760293 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionNumber(Text("LblLat", 24)), 726.303045, 0.05 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 6)), 440499.548913, 0.005 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 7)), 4474109.331056, 0.005 + 0.001);
    EXPECT_EQ(Text("LblUTM", 8), "Huso= 30T");
    EXPECT_EQ(Text("TxtWGSg", 25), "650,0");
    EXPECT_EQ(C("CmbUsos2").ListText(), "30");
}

TEST_F(MolodenskyClick, AccuracySuffixesFollowTheChosenSet) {
    struct Case {
        const char* what;
        int tab;
        const char* option;
        int index;
        const char* precX;
        const char* precY;
    } cases[] = {
        {"tab 0 IGN", 0, "OptMWGS84", 0, "  ±3,5m", "  ±2,5m"},
        {"tab 0 NIMA", 0, "OptMWGS84", 1, "  ±5,0m", "  ±6,0m"},
        {"tab 1 IGN", 1, "OptMED50", 2, "  ±3,5m", "  ±2,5m"},
        {"tab 1 NIMA", 1, "OptMED50", 3, "  ±5,0m", "  ±6,0m"},
    };
    std::string previousE[2];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Select(c.option, c.index);
        TypeGeographic(c.tab, {"40", "25", "0"}, {"3", "42", "0"}, true, "650,0");
        Molodensky(c.tab)(form, platform);
        const int u = c.tab == 0 ? 0 : 6;
        EXPECT_TRUE(EndsWith(Text("LblGeoLat", c.tab), "\" N"));
        EXPECT_TRUE(EndsWith(Text("LblGeoLon", c.tab), "\" W"));
        EXPECT_TRUE(EndsWith(Text("LblLat", c.tab == 0 ? 20 : 24), "  ±3,0m"));
        EXPECT_TRUE(EndsWith(Text("LblUTM", u), c.precX)) << Text("LblUTM", u);
        EXPECT_TRUE(EndsWith(Text("LblUTM", u + 1), c.precY)) << Text("LblUTM", u + 1);
        EXPECT_EQ(Text("LblUTM", u + 2), "Huso= 30T");
        // The two sets differ by metres, so the eastings do too.
        EXPECT_NE(Text("LblUTM", u), previousE[c.tab]);
        previousE[c.tab] = Text("LblUTM", u);
    }
}

TEST_F(MolodenskyClick, Tab0UtmInputWritesTheGeographicFrameFirst) {
    // The initial UTM values of tab 0 (636800, 4234900, zone 30, 600,0).
    Select("OptUTM", 1);
    Select("OptLng", 1);
    Text("TxtWGSg", 6) = "0,0";
    convert::CmdED50Molodensky_Click(form, platform);

    // PROJ 9.1.1: echo "636800 4234900 0 0" | cct -d 12 -I +proj=utm +zone=30 +ellps=WGS84
    //   -> -1.436552442729 38.251718276762, that is 38º 15' 6,185796" N, 1º 26' 11,588794" W.
    EXPECT_EQ(Text("TxtWGSg", 0), "38");
    EXPECT_EQ(Text("TxtWGSg", 1), "15");
    EXPECT_EQ(Text("TxtWGSg", 2), "6,1858");
    EXPECT_EQ(Text("TxtWGSg", 3), "1");
    EXPECT_EQ(Text("TxtWGSg", 4), "26");
    EXPECT_EQ(Text("TxtWGSg", 5), "11,5888");
    EXPECT_TRUE(C("OptLng", 0).value);
    EXPECT_FALSE(C("OptLng", 1).value);
    EXPECT_EQ(Text("TxtWGSg", 6), "600,0");
    EXPECT_EQ(C("TxtWGSg", 0).toolTip, "");  // no tooltips for UTM input
    EXPECT_TRUE(EndsWith(Text("LblUTM", 0), "  ±5,0m"));
}

TEST_F(MolodenskyClick, ResultLongitudeOfExactlyZeroIsEast) {
    // Found by iterating s = −dLonSec(40º 0' 1" N, s" E, 650 m, NIMA) to its fixed
    // point: the ED50 longitude 0º 0' s" E shifts to a WGS84 longitude of exactly 0
    // when the shift becomes degrees as ((s / 60) + 0) / 60 + 0, the way the typed
    // seconds do. (As s / 3600 it would come out as −2.2e-19, a west longitude.)
    Select("OptMED50", 3);
    TypeGeographic(1, {"40", "0", "1"}, {"0", "0", "4,5101410473732058"}, false, "650,0");
    convert::CmdWGS84Molodensky_Click(form, platform);
    EXPECT_EQ(Text("LblGeoLon", 1), "0º 0' 0,0000\" E");
    // Longitude 0 is zone 31; the latitude moves about 4" south, below 40º: band S.
    EXPECT_EQ(Text("LblUTM", 8), "Huso= 31S");
}

TEST_F(MolodenskyClick, NoAreaTestBeyondTheZone) {
    // Zone 29 at 43º N 8º 30' W converts; so does a UTM point far outside the Helmert
    // area (the Molodensky sets are not regional), and the Helmert set is not touched.
    mGeo::HelmertParamsZone = mGeo::HelmertZone::None;
    TypeGeographic(0, {"43", "0", "0"}, {"8", "30", "0"}, true, "0,0");
    convert::CmdED50Molodensky_Click(form, platform);
    EXPECT_EQ(C("CmbHuso").ListText(), "29");
    EXPECT_EQ(Text("LblUTM", 2), "Huso= 29T");

    TypeUtm(1, "400.000,00", "5.500.000,00", 0, "0,0");  // 49º 38' 36" N, 10º 23' W
    convert::CmdWGS84Molodensky_Click(form, platform);
    EXPECT_EQ(Text("LblUTM", 8), "Huso= 29U");
    EXPECT_TRUE(platform.msgBoxes.empty());
    EXPECT_EQ(mGeo::HelmertParamsZone, mGeo::HelmertZone::None);
}
