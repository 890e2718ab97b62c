// The conversion tabs on the window after start-up: "Bursa Wolf 7p" and "Molodensky 3p"
// on both tabs and the sheet of the grid's picture buttons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConversionTab.h"
#include "num/RuntimeError.h"

using testing_support::ConversionTab;
using testing_support::kHelmert;
using testing_support::kMolodensky;
using Click = testing_support::Click;

TEST_F(ConversionTab, AgreesWithProjToTheDigitsShown) {
    // The captions are PROJ 9.1.1's results rounded to the digits shown: cct -d 12 on
    // unitconvert deg->rad, cart on the source ellipsoid, T (+inv on tab 0), inverse cart
    // on the target, then unitconvert back or utm zone=30. T is EST99, +proj=helmert
    // +x=-131.032 +y=-100.251 +z=-163.354 +rx=-1.2438 +ry=-0.0195 +rz=-1.1436 +s=9.39
    // +convention=position_vector, or NIMA, without the cart steps, +proj=molodensky
    // +ellps=intl +dx=-84 +dy=-107 +dz=-120 +da=-251 +df=-1.4192702255886366e-05
    // (1/298.257223563 - 1/297). PROJ's Helmert also scales the rotations and inverts
    // exactly: under 1 mm here. Its Molodensky inverse subtracts the shift at the point.
    const char* lat[2] = {"38 16 0", "40 25 0"};  // tab 0: its initial point; tab 1: Madrid
    const char* lon[2] = {"1 22 0 W", "3 42 0 W"};
    const char* h[2] = {"600,0", "650,0"};
    // The typed point projected on its own datum (PROJ for Madrid: 440610.039615 4474317.253326).
    const char* mirror[2] = {"642.886,02 4.236.664,44", "440.610,04 4.474.317,25"};
    const std::vector<std::string> expected[] = {
        // Tab 0, EST99, PROJ: -1.365438741876 38.267892379237 526.290; 642997.453 4236872.956
        {"38º 16' 4,4126\" N", "1º 21' 55,5795\" W", "Altura sobre el elipsoide = 526,3  ±1,5m",
         "E= 642.997,45  ±1,5m", "N= 4.236.872,96  ±1,5m", "Huso= 30S"},
        // Tab 0, NIMA, PROJ: -1.365421625073 38.267860903988 522.222; 642999.012 4236869.489
        {"38º 16' 4,2993\" N", "1º 21' 55,5179\" W", "Altura sobre el elipsoide = 522,2  ±3,0m",
         "E= 642.999,01  ±5,0m", "N= 4.236.869,49  ±6,0m", "Huso= 30S"},
        // Tab 1, EST99, PROJ: -3.701304527884 40.415486530404 721.958; 440501.016 4474109.904
        {"40º 24' 55,7515\" N", "3º 42' 4,6963\" W", "Altura sobre el elipsoide = 722,0  ±1,5m",
         "E= 440.501,02  ±1,5m", "N= 4.474.109,90  ±1,5m", "Huso= 30T"},
        // Tab 1, NIMA, PROJ: -3.701321760293 40.415481261862 726.303; 440499.549 4474109.331
        {"40º 24' 55,7325\" N", "3º 42' 4,7583\" W", "Altura sobre el elipsoide = 726,3  ±3,0m",
         "E= 440.499,55  ±5,0m", "N= 4.474.109,33  ±6,0m", "Huso= 30T"},
    };
    for (int i = 0; i < 4; ++i) {
        const int tab = i / 2;
        const Click click = i % 2 == 0 ? kHelmert[tab] : kMolodensky[tab];
        Tip(0) = Tip(3) = "";
        TypeGeographic(tab, lat[tab], lon[tab], h[tab]);
        click(form, platform, grids);
        EXPECT_EQ(Results(tab), expected[i]);
        EXPECT_EQ(form.Get("LblLat", tab == 0 ? 20 : 24).toolTip,
                  i % 2 == 0 ? "Parámetros regionales: EST99" : "Parámetros: NIMA");
        // PROJ at the tab-1 EST99 result, proj -V +proj=utm +zone=30 +ellps=WGS84:
        // convergence -0d27'16.873", parallel scale 0.99964358.
        if (i == 2) {
            EXPECT_EQ(form.Get("LblUTM", 8).toolTip,
                      "Convergencia de meridianos = -0º 27' 17\"; factor de escala = 0,9996436");
        }
        // Tab 0 puts the typed point into the degree fields' tooltips (decimal comma, 15
        // significant digits); tab 1 sets none.
        EXPECT_EQ(Tip(tab == 0 ? 0 : 7) + " " + Tip(tab == 0 ? 3 : 16),
                  tab == 0 ? "38,2666666666667 -1,36666666666667" : " ");
        EXPECT_EQ(
            Text(tab == 0 ? "TxtUTMx" : "TxtUTMe") + " " + Text(tab == 0 ? "TxtUTMy" : "TxtUTMn"),
            mirror[tab]);
        EXPECT_EQ(form.Get(tab == 0 ? "CmbHuso" : "CmbUsos2").ListText(), "30");
        EXPECT_EQ(Text("TxtWGSg", tab == 0 ? 8 : 25), h[tab]);  // the UTM frame's height
        if (i % 2 == 0) continue;
        // The IGN set: its own accuracies, and results metres away from NIMA's.
        Select(tab == 0 ? "OptMWGS84" : "OptMED50", tab == 0 ? 0 : 2);
        click(form, platform, grids);
        const auto ign = Results(tab);
        EXPECT_TRUE(ign[2].ends_with("  ±3,0m") && ign[3].ends_with("  ±3,5m") &&
                    ign[4].ends_with("  ±2,5m") && ign[3] != expected[i][3])
            << ign[3];
    }
    EXPECT_TRUE(platform.msgBoxes.empty());
}

TEST_F(ConversionTab, HelmertSetFollowsTheTypedPoint) {
    // Córdoba in ED50 UTM, west of 4º 30' but south of 41º 30': EST99 typed in UTM as in
    // the degrees its mirror shows. PROJ 9.1.1, the pipeline above from inverse utm
    // zone=30 ellps=intl: -4.780711650132 37.886949940163 179.666; 343412.318 4194766.587.
    const std::vector<std::string> cordoba = {
        "37º 53' 13,0198\" N",    "4º 46' 50,5619\" W",     "Altura sobre el elipsoide = 179,7  ±1,5m",
        "E= 343.412,32  ±1,5m", "N= 4.194.766,59  ±1,5m", "Huso= 30S"};
    TypeUtm(1, "343.523,32", "4.194.972,57", 1, "100,0");
    kHelmert[1](form, platform, grids);
    EXPECT_EQ(Results(1), cordoba);
    EXPECT_EQ(form.Get("LblLat", 24).toolTip, "Parámetros regionales: EST99");
    EXPECT_TRUE(platform.msgBoxes.empty());
}

// Madrid's easting and northing typed with zone 29 land in the Atlantic: converted, with
// a line under the results that names zone 30; the line goes with the next point.
// Lisbon is Portugal's.
TEST_F(ConversionTab, APointThatLandsOutsideSpainIsSaidSo) {
    TypeUtm(1, "440.721,00", "4.474.447,00", 0, "0,0");
    kHelmert[1](form, platform, grids);
    EXPECT_EQ(Text("LblLugar", 1), "El punto cae en el océano Atlántico, a 72 km de la costa: ¿es correcto el huso "
                                   "29? Con el huso 30 caería en España");
    EXPECT_TRUE(platform.msgBoxes.empty());
    form.Get("CmbUsos2").listIndex = 1;
    kHelmert[1](form, platform, grids);
    EXPECT_EQ(Text("LblLugar", 1), "");
    TypeGeographic(0, "38 43 20", "9 8 21 W", "0,0");  // Lisbon
    kHelmert[0](form, platform, grids);
    EXPECT_EQ(Text("LblLugar", 0), "El punto cae en Portugal");
    // North of Gibraltar's runway (36.1538 N 5.3480 W), some 125 m from the border: told
    // where it is typed, on WGS84, not where its ED50 result lies, on the border.
    TypeGeographic(0, "36 9 13,68", "5 20 52,8 W", "0,0");
    kHelmert[0](form, platform, grids);
    EXPECT_EQ(Text("LblLugar", 0), "El punto cae en Gibraltar (Reino Unido)");
}

// A longitude of exactly 0 is east.
TEST_F(ConversionTab, LongitudeZeroIsEast) {
    // Found by iterating s = -dLonSec(40º 0' 1" N, s" E, 650 m, NIMA) to its fixed point:
    // the shift taken through the sexagesimal conversion, ((s / 60) + 0) / 60 + 0, as the
    // typed seconds are, gives exactly 0; as s / 3600 it would be -2.2e-19, a west longitude.
    TypeGeographic(1, "40 0 1", "0 0 4,5101410473732058 E", "650,0");
    kMolodensky[1](form, platform, grids);
    EXPECT_EQ(Results(1)[1], "0º 0' 0,0000\" E");
    EXPECT_EQ(Results(1)[5], "Huso= 31S");  // longitude 0 is zone 31; just south of 40º
}

TEST_F(ConversionTab, OutOfAreaResetsTheResultsOfItsTab) {
    struct Case {
        const char* what;
        bool helmertOnly;       // the Molodensky sets have no area: they convert these points
        const char *lat, *lon;  // geographic input; UTM input in zone 29 without them
    } cases[] = {{"north of 44º", true, "44 30 0", "3 0 0 W"},
                 {"zone 29 west of 10º W", true, nullptr, nullptr}};
    for (const Case& c : cases) {
        for (int tab : {0, 1}) {
            for (Click click : {kHelmert[tab], kMolodensky[tab]}) {
                SCOPED_TRACE(testing::Message() << c.what << ", tab " << tab);
                // A conversion before, with the Helmert set BAL99 and zone 31 listed.
                TypeGeographic(tab, "39 30 0", "2 40 0 E", "10,0");
                kHelmert[tab](form, platform, grids);
                auto expected = Results(tab);
                platform.msgBoxes.clear();
                if (c.lat) TypeGeographic(tab, c.lat, c.lon, "0,0");
                if (!c.lat) TypeUtm(tab, "400.000,00", "4.500.000,00", 0, "0,0");
                click(form, platform, grids);
                EXPECT_EQ(form.Get(tab == 0 ? "CmbHuso" : "CmbUsos2").ListText(),
                          c.lat ? "30" : "29");
                if (c.helmertOnly && click != kHelmert[tab]) {
                    EXPECT_EQ(Results(tab)[5], c.lat ? "Huso= 30T" : "Huso= 29T");
                    EXPECT_TRUE(platform.msgBoxes.empty());
                    continue;
                }
                expected[0] = expected[1] = "00º 00' 0,0000\"";
                expected[2] = "Altura sobre el elipsoide = 0,0 m";  // no height left beside them
                expected[3] = tab == 0 ? "E= 0,0 ±1,5" : "E= 0,0";
                expected[4] = tab == 0 ? "N= 0,0 ±1,5" : "N= 0,0";
                expected[5] = tab == 0 ? "Huso= ?" : "Huso=";
                EXPECT_EQ(Results(tab), expected);
                EXPECT_EQ(OnlyBox("Talpor", form::MsgIcon::Exclamation),
                          "Transformación válida solamente para la península y Baleares");
            }
        }
    }
}

TEST_F(ConversionTab, AFieldLeftUnreadableGetsItsCheckBeforeAnythingIsConverted) {
    // A text the field's check never saw: the click gives the field's message and
    // correction instead of converting ("1e999", "4x5"), leaving the labels of the
    // conversion before as they were, or converts what the check reads ("40.5" is 40,5).
    const struct {
        bool utm;
        const char* typed;
        const char* message;  // "" when the point converts
        const char* left;
    } cases[] = {{true, "1e999", "-500,0 < Altura sobre el elipsoide  <4.000,0", "4.000,0"},
                 {false, "4x5", "0,0000 < Segundos <60,0000", "4x5"},
                 {false, "40.5", "", "40,5000"}};
    for (int tab : {0, 1}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "tab " << tab << " " << c.typed);
            TypeGeographic(tab, "40 25 0", "3 42 40,5 W", "650,0");
            kMolodensky[tab](form, platform, grids);
            const auto converted = Results(tab);
            TypeGeographic(tab, "39 30 0", "2 40 0 E", "10,0");
            kHelmert[tab](form, platform, grids);
            const auto labels = Results(tab);
            if (c.utm) TypeUtm(tab, "440610,5", "4474317,25", 1, c.typed);
            if (!c.utm) TypeGeographic(tab, "40 25 0", std::string("3 42 ") + c.typed + " W", "650,0");
            const int field = c.utm ? (tab == 0 ? 8 : 25) : (tab == 0 ? 5 : 18);
            platform.msgBoxes.clear();
            kMolodensky[tab](form, platform, grids);
            EXPECT_EQ(Text("TxtWGSg", field), c.left);
            if (*c.message == 0) {
                EXPECT_EQ(Results(tab), converted);
                continue;
            }
            EXPECT_EQ(OnlyBox("Limitaciones", form::MsgIcon::Information), c.message);
            EXPECT_EQ(form.focusRequest, &form.Get("TxtWGSg", field));
            EXPECT_EQ(Results(tab), labels);
        }
    }
}

// The grid's sheet: the grid in use and its file, what it does not transform, and the
// attribution the IGN's licence asks for.
TEST_F(ConversionTab, TheGridsPictureButtonsShowItsSheet) {
    for (int index : {4, 5}) {
        platform.msgBoxes.clear();
        convert::Command1_Click(form, platform, index, grids);
        const std::string sheet =
            OnlyBox("Rejilla IGN ED50 <> WGS84 (ETRS89)", form::MsgIcon::Information);
        for (const std::string part :
             {"SPED2ETV2: España peninsular y Baleares\r\n    EPSG 15932, ED50 to ETRS89 (12); "
              "precisión 0,2 m\r\n    " TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif\r\n",
              "la altura pasa sin transformar", "WGS84 se toma como ETRS89",
              "Contiene datos derivados del Instituto Geográfico Nacional de España "
              "(www.ign.es),\r\nlicencia CC BY 4.0"})
            EXPECT_NE(sheet.find(part), std::string::npos) << part << "\n" << sheet;
    }
}

