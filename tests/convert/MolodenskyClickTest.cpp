// "Molodensky 3p" on both conversion tabs, driven on the control model.
#include <gtest/gtest.h>

#include <string>

#include "ConversionTabFixture.h"
#include "num/RuntimeError.h"

using convert_test::CaptionDegrees;
using convert_test::CaptionNumber;
using convert_test::ConversionTab;

namespace {

// Arc-seconds of latitude or longitude per millimetre are at most 0.001 / 23.
constexpr double kSecondsPerMm = 0.001 / 23;

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
    TypeGeographicTab1({"40", "25", "0"}, {"3", "42", "0"}, true, "650,0");
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
        if (c.tab == 0) {
            TypeGeographicTab0({"40", "25", "0"}, {"3", "42", "0"}, true, "650,0");
            convert::CmdED50Molodensky_Click(form, platform);
        } else {
            TypeGeographicTab1({"40", "25", "0"}, {"3", "42", "0"}, true, "650,0");
            convert::CmdWGS84Molodensky_Click(form, platform);
        }
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

TEST_F(MolodenskyClick, Tab1WritesTheMirrorWithoutRounding) {
    // Found by search: this easting unprojects on the International ellipsoid to
    // longitude seconds of 19.71165 exactly in fifteen digits. Tab 1's Molodensky click
    // formats them directly, so they show 19,7117; its Helmert click rounds them half
    // to even first and shows 19,7116.
    TypeUtmTab1("440145,48335532908", "4474321,04", 1, "0,0");
    convert::CmdWGS84Molodensky_Click(form, platform);
    EXPECT_EQ(Text("TxtWGSg", 18), "19,7117");
    convert::CmdWGS84Helmert_Click(form, platform);
    EXPECT_EQ(Text("TxtWGSg", 18), "19,7116");

    // The same longitude from the WGS84 easting on tab 0 is rounded first.
    TypeUtmTab0("440148,81219344953", "4474321,04", 1, "0,0");
    convert::CmdED50Molodensky_Click(form, platform);
    EXPECT_EQ(Text("TxtWGSg", 5), "19,7116");

    // Found by search: 40º 25' 0,0028" N, 3º 42' 19,7702" W projects on the
    // International ellipsoid to a northing of 4474321.045 in fifteen digits. Tab 1's
    // Molodensky click writes it without rounding (,05); its Helmert click rounds it
    // half to even (,04).
    TypeGeographicTab1({"40", "25", "0,0028"}, {"3", "42", "19,7702"}, true, "0,0");
    convert::CmdWGS84Molodensky_Click(form, platform);
    EXPECT_EQ(Text("TxtUTMn"), "4.474.321,05");
    convert::CmdWGS84Helmert_Click(form, platform);
    EXPECT_EQ(Text("TxtUTMn"), "4.474.321,04");
}

TEST_F(MolodenskyClick, ResultLongitudeOfExactlyZeroIsEast) {
    // Found by iterating s = −dLonSec(40º 0' 1" N, s" E, 650 m, NIMA) to its fixed
    // point: the ED50 longitude 0º 0' s" E shifts to a WGS84 longitude of exactly 0
    // when the shift becomes degrees as ((s / 60) + 0) / 60 + 0, the way the typed
    // seconds do. (As s / 3600 it would come out as −2.2e-19, a west longitude.)
    Select("OptMED50", 3);
    TypeGeographicTab1({"40", "0", "1"}, {"0", "0", "4,5101410473732058"}, false, "650,0");
    convert::CmdWGS84Molodensky_Click(form, platform);
    EXPECT_EQ(Text("LblGeoLon", 1), "0º 0' 0,0000\" E");
    // Longitude 0 is zone 31; the latitude moves about 4" south, below 40º: band S.
    EXPECT_EQ(Text("LblUTM", 8), "Huso= 31S");
}

TEST_F(MolodenskyClick, TooltipsOnTab0GeographicInputOnly) {
    convert::CmdED50Molodensky_Click(form, platform);
    // 38º 16' N and 1º 22' W as the general number-to-text writes them.
    EXPECT_EQ(C("TxtWGSg", 0).toolTip, "38,2666666666667");
    EXPECT_EQ(C("TxtWGSg", 3).toolTip, "-1,36666666666667");

    TypeGeographicTab1({"40", "25", "0"}, {"3", "42", "0"}, true, "650,0");
    convert::CmdWGS84Molodensky_Click(form, platform);
    EXPECT_EQ(C("TxtWGSg", 7).toolTip, "");
    EXPECT_EQ(C("TxtWGSg", 16).toolTip, "");
}

TEST_F(MolodenskyClick, ZonesOutside29To31AreOutOfArea) {
    struct Case {
        int tab;
        const char* resetE;
        const char* resetZone;
    } cases[] = {{0, "E= 0,0 ±1,5", "Huso= ?"}, {1, "E= 0,0", "Huso="}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tab);
        platform.msgBoxes.clear();
        const int heightLabel = c.tab == 0 ? 20 : 24;
        Text("LblLat", heightLabel) = "Altura sobre el elipsoide = 1,0  ±3,0m";
        C(c.tab == 0 ? "CmbHuso" : "CmbUsos2").listIndex = 0;
        // Canary Islands, zone 28.
        if (c.tab == 0) {
            TypeGeographicTab0({"28", "0", "0"}, {"15", "30", "0"}, true, "0,0");
            convert::CmdED50Molodensky_Click(form, platform);
        } else {
            TypeGeographicTab1({"28", "0", "0"}, {"15", "30", "0"}, true, "0,0");
            convert::CmdWGS84Molodensky_Click(form, platform);
        }
        EXPECT_EQ(Text("LblGeoLat", c.tab), "00º 00' 0,0000\"");
        EXPECT_EQ(Text("LblGeoLon", c.tab), "00º 00' 0,0000\"");
        EXPECT_EQ(Text("LblUTM", c.tab == 0 ? 0 : 6), c.resetE);
        EXPECT_EQ(Text("LblUTM", c.tab == 0 ? 2 : 8), c.resetZone);
        EXPECT_EQ(Text("LblLat", heightLabel), "Altura sobre el elipsoide = 1,0  ±3,0m");
        EXPECT_EQ(C(c.tab == 0 ? "CmbHuso" : "CmbUsos2").ListText(), "30");
        ASSERT_EQ(platform.msgBoxes.size(), 1u);
        EXPECT_EQ(platform.LastMsgBox().text,
                  "Transformación válida solamente para la península y Baleares");
        EXPECT_EQ(platform.LastMsgBox().icon, app::MsgIcon::Exclamation);
    }
}

TEST_F(MolodenskyClick, NoAreaTestBeyondTheZone) {
    // Zone 29 at 43º N 8º 30' W converts; so does a UTM point far outside the Helmert
    // area (the Molodensky sets are not regional), and the Helmert set is not touched.
    mGeo::HelmertParamsZone = mGeo::HelmertZone::None;
    TypeGeographicTab0({"43", "0", "0"}, {"8", "30", "0"}, true, "0,0");
    convert::CmdED50Molodensky_Click(form, platform);
    EXPECT_EQ(C("CmbHuso").ListText(), "29");
    EXPECT_EQ(Text("LblUTM", 2), "Huso= 29T");

    TypeUtmTab1("400.000,00", "5.500.000,00", 0, "0,0");  // 49º 38' 36" N, 10º 23' W
    convert::CmdWGS84Molodensky_Click(form, platform);
    EXPECT_EQ(Text("LblUTM", 8), "Huso= 29U");
    EXPECT_TRUE(platform.msgBoxes.empty());
    EXPECT_EQ(mGeo::HelmertParamsZone, mGeo::HelmertZone::None);
}

TEST_F(MolodenskyClick, PressingTwiceGivesTheSameResult) {
    for (int tab : {0, 1}) {
        for (bool utm : {false, true}) {
            SCOPED_TRACE(testing::Message() << "tab " << tab << (utm ? " UTM" : " geographic"));
            if (tab == 0) Select("OptUTM", utm ? 1 : 0);
            else Select("OptCoord", utm ? 0 : 1);
            auto click = [&] {
                if (tab == 0) convert::CmdED50Molodensky_Click(form, platform);
                else convert::CmdWGS84Molodensky_Click(form, platform);
            };
            click();
            const auto results = Results(tab);
            const auto inputs = Inputs(tab);
            click();
            EXPECT_EQ(Results(tab), results);
            EXPECT_EQ(Inputs(tab), inputs);
        }
    }
}

TEST_F(MolodenskyClick, OverflowingDegreesLeaveTheResultsUnwritten) {
    struct Case {
        int tab;
        int field;
    } cases[] = {{0, 0}, {0, 4}, {1, 7}, {1, 17}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        if (c.tab == 0) TypeGeographicTab0({"40", "0", "0"}, {"3", "0", "0"}, true, "0,0");
        else TypeGeographicTab1({"40", "0", "0"}, {"3", "0", "0"}, true, "0,0");
        Text("TxtWGSg", c.field) = "99999";
        const auto results = Results(c.tab);
        try {
            if (c.tab == 0) convert::CmdED50Molodensky_Click(form, platform);
            else convert::CmdWGS84Molodensky_Click(form, platform);
            ADD_FAILURE() << "no error";
        } catch (const num::RuntimeError& e) {
            EXPECT_EQ(e.Number(), num::RuntimeError::kOverflow);
            EXPECT_EQ(e.Description(), "Desbordamiento");
        }
        EXPECT_EQ(Results(c.tab), results);
    }
}
