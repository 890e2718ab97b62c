// "Bursa Wolf 7p" on both conversion tabs, driven on the control model.
#include <gtest/gtest.h>

#include <string>

#include "ConversionTabFixture.h"

using convert_test::CaptionDegrees;
using convert_test::CaptionNumber;
using convert_test::ConversionTab;
using convert_test::kSecondsPerMm;
using mGeo::HelmertZone;

namespace {}  // namespace

using HelmertClick = ConversionTab;

TEST_F(HelmertClick, MadridOnTab1FillsTheUtmFrameAndShowsWgs84) {
    TypeGeographic(1, {"40", "25", "0,0000"}, {"3", "42", "0,0000"}, true, "650,0");
    mGeo::HelmertParamsZone = HelmertZone::None;

    convert::CmdWGS84Helmert_Click(form, platform);

    EXPECT_TRUE(platform.msgBoxes.empty());
    EXPECT_EQ(C("CmbUsos2").ListText(), "30");
    EXPECT_EQ(mGeo::HelmertParamsZone, HelmertZone::EST99);
    EXPECT_EQ(Text("TxtWGSg", 25), "650,0");  // the UTM frame's height takes the typed text
    // Tab 1 sets no tooltips.
    EXPECT_EQ(C("TxtWGSg", 7).toolTip, "");
    EXPECT_EQ(C("TxtWGSg", 16).toolTip, "");

    // Reference values, PROJ 9.1.1 (development time only):
    //   echo "-3.7 40.41666666666667 650 0" | cct -d 6 +proj=utm +zone=30 +ellps=intl
    //     -> 440610.039615 4474317.253326
    //   echo "-3.7 40.41666666666667 650 0" | cct -d 12 +proj=pipeline
    //     +step +proj=unitconvert +xy_in=deg +xy_out=rad +step +proj=cart +ellps=intl
    //     +step +proj=helmert +x=-131.032 +y=-100.251 +z=-163.354 +rx=-1.2438 +ry=-0.0195
    //           +rz=-1.1436 +s=9.39 +convention=position_vector
    //     +step +inv +proj=cart +ellps=WGS84
    //     +step +proj=unitconvert +xy_in=rad +xy_out=deg (or +step +proj=utm +zone=30 +ellps=WGS84)
    //     -> -3.701304527884 40.415486530404 721.958475338295; 440501.015571 4474109.904259
    // PROJ's Helmert is the same linearised position-vector rotation; it scales the
    // rotation terms too, which moves the point by less than 0.5 mm here, and its UTM
    // series differs from ours by less than 0.1 mm in this part of the zone. So the
    // labels must agree with PROJ to their rounding (half the last digit) plus 1 mm.
    EXPECT_NEAR(CaptionNumber(Text("TxtUTMe")), 440610.039615, 0.005 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("TxtUTMn")), 4474317.253326, 0.005 + 0.001);
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLat", 1)) * 3600, 40.415486530404 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLon", 1)) * 3600, -3.701304527884 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionNumber(Text("LblLat", 24)), 721.958475, 0.05 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 6)), 440501.015571, 0.005 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 7)), 4474109.904259, 0.005 + 0.001);

    // How the labels are written.
    EXPECT_EQ(Text("TxtUTMe"), "440.610,04");
    EXPECT_EQ(Text("TxtUTMn"), "4.474.317,25");
    EXPECT_EQ(Text("LblGeoLat", 1), "40º 24' 55,7515\" N");
    EXPECT_EQ(Text("LblGeoLon", 1), "3º 42' 4,6963\" W");
    EXPECT_EQ(Text("LblLat", 24), "Altura sobre el elipsoide = 722,0  ±1,5m");
    EXPECT_EQ(Text("LblUTM", 6), "E= 440.501,02  ±1,5m");
    EXPECT_EQ(Text("LblUTM", 7), "N= 4.474.109,90  ±1,5m");
    EXPECT_EQ(Text("LblUTM", 8), "Huso= 30T");
}

TEST_F(HelmertClick, Tab0GeographicAgreesWithProjsExactInverse) {
    // The initial point of tab 0: 38º 16' N, 1º 22' W, 600 m.
    convert::CmdED50Helmert_Click(form, platform);

    // PROJ 9.1.1: the pipeline above with +ellps=WGS84 first, "+step +inv +proj=helmert ...",
    // then "+step +inv +proj=cart +ellps=intl", input "-1.3666666666666667 38.266666666666666 600"
    //   -> -1.365438741876 38.267892379237 526.289668697864; UTM 30 intl 642997.452838
    //   4236872.955793
    // PROJ inverts the transformation exactly; the click applies the same set backwards
    // to first order. The neglected terms (scale times rotation, squares of rotation
    // and scale, times 6400 km) stay below 1 mm; here the difference is 0.6 mm in the
    // height and under 0.1 mm in position.
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLat", 0)) * 3600, 38.267892379237 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionDegrees(Text("LblGeoLon", 0)) * 3600, -1.365438741876 * 3600,
                0.00005 + kSecondsPerMm);
    EXPECT_NEAR(CaptionNumber(Text("LblLat", 20)), 526.289669, 0.05 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 0)), 642997.452838, 0.005 + 0.001);
    EXPECT_NEAR(CaptionNumber(Text("LblUTM", 1)), 4236872.955793, 0.005 + 0.001);
    EXPECT_EQ(Text("LblUTM", 2), "Huso= 30S");

    // The UTM frame shows the WGS84 projection, rounded to centimetres.
    EXPECT_EQ(Text("TxtUTMx"), "642.886,02");
    EXPECT_EQ(Text("TxtUTMy"), "4.236.664,44");
    EXPECT_EQ(Text("TxtWGSg", 8), "600,0");
}

TEST_F(HelmertClick, ParameterSetFollowsTheTypedPoint) {
    // Points of the regional sets and the zone list item their longitude selects.
    struct Case {
        const char* what;
        convert_test::Dms lat, lon;
        bool west;
        HelmertZone zone;
        const char* listText;
        const char* lonEnds;
    } cases[] = {
        {"Madrid", {"40", "25", "0"}, {"3", "42", "0"}, true, HelmertZone::EST99, "30", "\" W"},
        {"Galicia", {"43", "30", "0"}, {"7", "0", "0"}, true, HelmertZone::ZNW99, "29", "\" W"},
        {"Mallorca", {"39", "30", "0"}, {"2", "40", "0"}, false, HelmertZone::BAL99, "31", "\" E"},
        {"zone 29 at 43º N 8º 30' W",
         {"43", "0", "0"},
         {"8", "30", "0"},
         true,
         HelmertZone::ZNW99,
         "29",
         "\" W"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int tab : {0, 1}) {
            SCOPED_TRACE(tab);
            mGeo::HelmertParamsZone = HelmertZone::None;
            TypeGeographic(tab, c.lat, c.lon, c.west, "100,0");
            Helmert(tab)(form, platform);
            EXPECT_EQ(mGeo::HelmertParamsZone, c.zone);
            EXPECT_EQ(C(tab == 0 ? "CmbHuso" : "CmbUsos2").ListText(), c.listText);
            const std::string lon = Text("LblGeoLon", tab);
            EXPECT_EQ(lon.substr(lon.size() - 3), c.lonEnds);
            EXPECT_EQ(Text("LblUTM", tab == 0 ? 2 : 8).substr(0, 8),
                      std::string("Huso= ") + c.listText);
        }
    }
    EXPECT_TRUE(platform.msgBoxes.empty());
}

TEST_F(HelmertClick, UtmRuleInZone30DisagreesWithTheGeographicRule) {
    // Easting 350000 in zone 30 lies west of the line 374900 but far south of 41º 30'.
    TypeUtm(0, "350.000,00", "4.400.000,00", 1, "0,0");
    convert::CmdED50Helmert_Click(form, platform);
    EXPECT_EQ(mGeo::HelmertParamsZone, HelmertZone::ZNW99);
    const auto viaUtm = Results(0);

    // The same point, now typed geographically (the click has written it into the
    // geographic frame), is judged by the geographic rule.
    EXPECT_EQ(Text("TxtWGSg", 0), "39");
    EXPECT_TRUE(C("OptLng", 0).value);
    Select("OptUTM", 0);
    convert::CmdED50Helmert_Click(form, platform);
    EXPECT_EQ(mGeo::HelmertParamsZone, HelmertZone::EST99);
    EXPECT_NE(Results(0), viaUtm);
    EXPECT_TRUE(platform.msgBoxes.empty());
}

TEST_F(HelmertClick, UtmInputFillsTheGeographicFrame) {
    struct Case {
        const char* what;
        int tab;
        const char* E;
        const char* N;
        int zoneItem;
        bool west;            // the hemisphere button the mirror selects
        const char* lonEnds;  // of the result
    } cases[] = {
        {"tab 0, zone 30, west", 0, "440.000,00", "4.474.000,00", 1, true, "\" W"},
        {"tab 0, zone 31, east", 0, "450.000,00", "4.400.000,00", 2, false, "\" E"},
        {"tab 1, zone 30, west", 1, "440.000,00", "4.474.000,00", 1, true, "\" W"},
        {"tab 1, zone 31, east", 1, "450.000,00", "4.400.000,00", 2, false, "\" E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TabInputs& t = InputsOf(c.tab);
        // Start from the other hemisphere so that the mirror must change it.
        Select("OptLng", c.west ? t.west + 1 : t.west);
        Text("TxtWGSg", t.geoHeight) = "0,0";
        TypeUtm(c.tab, c.E, c.N, c.zoneItem, "123,4");
        Helmert(c.tab)(form, platform);
        EXPECT_EQ(C("OptLng", t.west).value, c.west);
        EXPECT_EQ(C("OptLng", t.west + 1).value, !c.west);
        EXPECT_EQ(Text("TxtWGSg", t.geoHeight), "123,4");
        // Degrees and minutes as plain whole numbers, seconds with four decimals.
        const std::string sec = Text("TxtWGSg", t.lat[2]);
        EXPECT_EQ(sec.size() - sec.find(','), 5u) << sec;
        EXPECT_EQ(Text("TxtWGSg", t.lat[0]).find_first_not_of("0123456789"), std::string::npos);
        const std::string lon = Text("LblGeoLon", c.tab);
        EXPECT_EQ(lon.substr(lon.size() - 3), c.lonEnds);
    }
}

TEST_F(HelmertClick, TypedSecondsAreRoundedToFourDecimals) {
    // 0,00005" rounds half to even to 0, so the click converts exactly 40º 25' N 3º 42' W.
    TypeGeographic(1, {"40", "25", "0"}, {"3", "42", "0"}, true, "650,0");
    convert::CmdWGS84Helmert_Click(form, platform);
    const auto exact = Results(1);
    const std::string exactE = Text("TxtUTMe");
    TypeGeographic(1, {"40", "25", "0,00005"}, {"3", "42", "0,00005"}, true, "650,0");
    convert::CmdWGS84Helmert_Click(form, platform);
    EXPECT_EQ(Results(1), exact);
    EXPECT_EQ(Text("TxtUTMe"), exactE);
}
