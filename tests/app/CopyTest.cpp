// What the copy menus of the window give: results and typed points as shown, as decimal
// degrees and as UTM.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Started.h"

using namespace app;
using testing_support::Started;

namespace {

frmTalpor::CopyChoices Copy(Started& s, std::string_view name, int index = -1) {
    auto choices = s.window.CopyChoicesOf(s.Get(name, index));
    EXPECT_TRUE(choices.has_value()) << name << " " << index;
    return choices.value_or(frmTalpor::CopyChoices{});
}

}  // namespace

TEST(Copy, AResultAsShownAsDecimalDegreesAndAsUtm) {
    Started s;  // Madrid, 40º 25' N 3º 42' W, 650 m, typed on tab 1 in geographic input
    s.window.ChangeTab(1);
    s.window.Click("OptCoord", 1);
    for (auto [index, text] :
         {std::pair{7, "40"}, {14, "25"}, {15, "0"}, {16, "3"}, {17, "42"}, {18, "0"}, {26, "650"}})
        s.Text("TxtWGSg", index) = text;
    // Nothing converted yet: the captions as shown, no numbers to give.
    const auto before = Copy(s, "Frame4");
    EXPECT_EQ(before.decimalDegrees, "");
    EXPECT_EQ(before.utm, "");

    s.window.Click("CmdWGS84Helmert");
    // PROJ: -3.701304527884 40.415486530404; 440501.016 4474109.904 (see convert_tests).
    for (auto [name, index] :
         {std::pair{"LblGeoLat", 1}, {"Frame1", 1}, {"LblUTM", 7}, {"Frame4", -1}}) {
        const auto c = Copy(s, name, index);
        EXPECT_EQ(c.result,
                  "Latitud Ø = 40º 24' 55,7515\" N\nLongitud λ= 3º 42' 4,6963\" W\n"
                  "Altura sobre el elipsoide = 722,0  ±1,5m\nE= 440.501,02  ±1,5m\n"
                  "N= 4.474.109,90  ±1,5m\nHuso= 30T\nParámetros regionales: EST99");
        EXPECT_EQ(c.decimalDegrees, "40.41548653, -3.70130453");
        EXPECT_EQ(c.utm, "30T 440501.02 4474109.90");
    }
    EXPECT_EQ(Copy(s, "LblGeoLat", 1).underMouse, "40º 24' 55,7515\" N");
    EXPECT_EQ(Copy(s, "Frame4").underMouse, "");

    // The typed point, from either input frame: the geographic one is enabled.
    for (auto [name, index] : {std::pair{"Frame9", 1}, {"TxtWGSg", 14}, {"Frame2", -1}}) {
        const auto c = Copy(s, name, index);
        EXPECT_EQ(c.decimalDegrees, "40.41666667, -3.70000000");
        EXPECT_EQ(c.utm, "30T 440610.04 4474317.25");  // PROJ: 440610.039615 4474317.253326
    }
    EXPECT_EQ(Copy(s, "Frame9", 1).result,
              "Latitud 40º 25' 0\" N\nLongitud 3º 42' 0\" W\nAltura (m)= 650");

    // Out of the area the numbers go with the captions.
    s.Get("TxtWGSg", 7).text = "44";
    s.Get("TxtWGSg", 14).text = "30";
    s.window.Click("CmdWGS84Helmert");
    EXPECT_EQ(Copy(s, "Frame4").utm, "");
    EXPECT_EQ(Copy(s, "Frame1", 1).decimalDegrees, "");
}

TEST(Copy, UtilityPointsAndResults) {
    Started s;
    s.window.ChangeTab(2);
    const auto p1 = Copy(s, "LblLat", 28);  // a label of point 1's frame: 38º 25' N, 1º 34' W
    EXPECT_EQ(p1.result, "Latitud 38º 25' 0,0000\" N\nLongitud 1º 34' 0,0000\" W");
    EXPECT_EQ(p1.decimalDegrees, "38.41666667, -1.56666667");
    EXPECT_EQ(p1.utm.substr(0, 4), "30S ");
    s.window.Click("Command3");
    const auto sunrise = Copy(s, "LblOrto");
    EXPECT_EQ(sunrise.underMouse, s.Get("LblOrto").text);
    EXPECT_EQ(sunrise.result, s.Get("LblOrto").text + "\n" + s.Get("LblOrto").toolTip);
    EXPECT_FALSE(s.window.CopyChoicesOf(s.Get("Command15")).has_value());
    EXPECT_FALSE(s.window.CopyChoicesOf(s.Get("CmbUTC")).has_value());
}

// After any change to the typed point the results are the previous point's: marked stale
// (greyed, with a tooltip that says so) and not copied until a method converts again.
TEST(Copy, AChangedPointLeavesItsResultsStaleAndUncopied) {
    const std::string staleTip = "Resultado del punto anterior: pulse un método para convertir el punto escrito";
    const std::function<void(Started&)> changes[] = {
        [](Started& s) {
            s.window.MoveFocus("TxtWGSg", 7);
            s.window.Type(s.Get("TxtWGSg", 7), "41");
        },
        [](Started& s) { s.window.Paste(s.Get("TxtWGSg", 14), "40.5, -3.7"); },
        [](Started& s) { s.window.Click("OptLng", 5); },
        [](Started& s) {  // the zone, in UTM input
            s.window.Click("OptCoord", 0);
            s.window.Click("CmdWGS84Helmert");
            s.window.SelectListItem(s.Get("CmbUsos2"), 2);
        },
        [](Started& s) { s.window.Click("OptCoord", 0); },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        const auto& change = changes[i];
        Started s;
        s.window.ChangeTab(1);
        s.window.Click("OptCoord", 1);
        s.window.Click("CmdWGS84Helmert");
        ASSERT_FALSE(Copy(s, "Frame4").utm.empty());
        change(s);
        for (auto [name, index] : {std::pair{"LblGeoLat", 1}, {"LblUTM", 8}, {"LblAltitud", 2}}) {
            EXPECT_TRUE(s.Get(name, index).stale) << name;
            EXPECT_EQ(ShownToolTip(s.Get(name, index)), staleTip);
        }
        const auto stale = Copy(s, "LblGeoLat", 1);
        EXPECT_EQ(stale.underMouse + stale.result + stale.decimalDegrees + stale.utm, "");
        s.window.Click("CmdWGS84Helmert");
        EXPECT_FALSE(s.Get("LblGeoLat", 1).stale);
        EXPECT_FALSE(Copy(s, "Frame4").utm.empty());
    }

    // "Utilidades": the date is the sun's alone, point 2 the distance's alone.
    Started s;
    s.window.ChangeTab(2);
    s.window.Click("Command3");
    s.window.Click("Command4");
    s.window.SetDate(s.Get("MonthView1"), {2026, 6, 21});
    EXPECT_TRUE(s.Get("LblOrto").stale);
    EXPECT_FALSE(s.Get("LblDist").stale);
    EXPECT_EQ(Copy(s, "LblOrto").result, "");
    s.window.SelectListItem(s.Get("CmbHS"), 1 - s.Get("CmbHS").listIndex);
    EXPECT_FALSE(s.Get("LblDist").stale);
    s.window.Click("Command3");
    s.window.Click("OptLng", 7);
    EXPECT_FALSE(s.Get("LblOrto").stale);
    EXPECT_TRUE(s.Get("LblDist").stale);
}
