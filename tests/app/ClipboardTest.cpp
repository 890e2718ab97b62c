// Pasting into each point's fields and copying from each result, each refusal and results
// of a changed point (the real clipboard, tab 0 mostly: ClipboardWindow in qt_tests).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Started.h"
#include "text/FieldLimits.h"

using namespace app;
using namespace form;
using testing_support::Started;

namespace {

// Pastes into a field that has the focus, as the user does.
bool Paste(Started& s, std::string_view name, int index, const char* text) {
    Control& field = s.Get(name, index);
    EXPECT_TRUE(s.window.MoveFocus(&field)) << field.id.Text();
    return s.window.Paste(field, text);
}

// Texts, options, lists and enabled states of every control: what a paste may change.
std::vector<std::string> Snapshot(Started& s) {
    std::vector<std::string> all;
    for (const auto& c : s.window.Form().Controls())
        all.push_back(c->id.Text() + c->text + (c->value ? "*" : "") +
                      std::to_string(c->listIndex) + (c->enabled ? "" : "-"));
    return all;
}

// The angle's degree, minute and second fields and its selected hemisphere button.
std::string Angle(Started& s, int deg, int min, int sec, int positive, int negative) {
    const auto selected = [&](int option) { return option >= 0 && s.Get("OptLng", option).value; };
    return s.Text("TxtWGSg", deg) + " " + s.Text("TxtWGSg", min) + " " + s.Text("TxtWGSg", sec) +
           (selected(negative)   ? " -"
            : selected(positive) ? " +"
                                 : " ?");
}

// What the copy menu of a control offers.
frmTalpor::CopyChoices Copy(Started& s, std::string_view name, int index = -1) {
    auto choices = s.window.CopyChoicesOf(s.Get(name, index));
    EXPECT_TRUE(choices.has_value()) << name << " " << index;
    return choices.value_or(frmTalpor::CopyChoices{});
}

}  // namespace

// Each point of the window, pasted in one of the forms the point reader takes.
TEST(Paste, AGeographicPointFillsEachPointOfTheWindow) {
    const struct {
        int tab;
        const char* field;  // pasted into TxtWGSg(index), or the named field
        int index;
        const char* text;
        int lat[3], lon[3];
        int north, south, east, west;
    } points[] = {
        {0, "TxtUTMy", -1, "40.4168N 3.7038W", {0, 1, 2}, {3, 4, 5}, -1, -1, 1, 0},
        {1, "TxtUTMe", -1, "40°25'0.48\"N 3°42'13.68\"W", {7, 14, 15}, {16, 17, 18}, -1, -1, 5, 4},
        {2, "TxtWGSg", 10, "N40 25.008 W3 42.228", {9, 10, 11}, {12, 13, 27}, 8, 9, 2, 3},
        {2, "TxtWGSg", 28, "40,4168 -3,7038", {33, 32, 31}, {30, 29, 28}, 11, 10, 7, 6},
    };
    for (const auto& p : points) {
        SCOPED_TRACE(testing::Message() << p.field << "(" << p.index << ") <- " << p.text);
        Started s;
        if (p.tab > 0) s.window.ChangeTab(p.tab);
        if (p.tab == 0 && p.index < 0) s.window.Click("OptUTM", 1);  // UTM input first
        ASSERT_TRUE(Paste(s, p.field, p.index, p.text));
        EXPECT_TRUE(s.platform.msgBoxes.empty());
        const std::string lat = Angle(s, p.lat[0], p.lat[1], p.lat[2], p.north, p.south);
        EXPECT_EQ(lat, p.north < 0 ? "40 25 0,4800 ?" : "40 25 0,4800 +");
        EXPECT_EQ(Angle(s, p.lon[0], p.lon[1], p.lon[2], p.east, p.west), "3 42 13,6800 -");
        // A conversion tab now shows its geographic frame enabled.
        EXPECT_TRUE(p.tab != 0 || (s.Get("Frame1", 0).enabled && s.Get("OptUTM", 0).value));
        EXPECT_TRUE(p.tab != 1 || (s.Get("Frame9", 1).enabled && s.Get("OptCoord", 1).value));
    }
}

// (Tab 0's mode switched by a UTM paste: ClipboardWindow in qt_tests.)
TEST(Paste, UtmFillsTheUtmFrameOrTheUtilityPointsLatitudeAndLongitude) {
    Started s;
    ASSERT_TRUE(Paste(s, "TxtWGSg", 0, "30S 440.721,5 4.474.447,2"));  // tab 0 in geographic input
    EXPECT_EQ(s.window.Form().focused, &s.Get("TxtUTMx"));  // its old frame is greyed
    EXPECT_EQ(s.Text("TxtUTMx"), "440721,50");              // has the focus: no points
    EXPECT_EQ(s.Text("TxtWGSg", 0), "38");                  // the geographic fields stay
    s.window.ChangeTab(1);
    ASSERT_TRUE(Paste(s, "TxtUTMn", -1, "31T 440721 4474447"));
    EXPECT_EQ(s.Get("CmbUsos2").ListText(), "31");
    s.window.ChangeTab(2);
    ASSERT_TRUE(Paste(s, "TxtWGSg", 9, "440721 4474447 30"));
    EXPECT_EQ(Angle(s, 9, 10, 11, 8, 9).substr(0, 6), "40 25 ");
    EXPECT_EQ(Angle(s, 12, 13, 27, 2, 3).substr(0, 5), "3 41 ");
    EXPECT_TRUE(s.Get("OptLng", 3).value);  // west
}

TEST(Paste, DecimalDegreesFillOneAngleAndHemisphere) {
    Started s;
    ASSERT_TRUE(Paste(s, "TxtWGSg", 0, "40.4166667"));
    EXPECT_EQ(Angle(s, 0, 1, 2, 1, 0).substr(0, 12), "40 25 0,0001");
    ASSERT_TRUE(Paste(s, "TxtWGSg", 3, "3.7038E"));
    EXPECT_EQ(Angle(s, 3, 4, 5, 1, 0), "3 42 13,6800 +");
    s.window.ChangeTab(2);
    ASSERT_TRUE(Paste(s, "TxtWGSg", 12, "-3,5"));
    EXPECT_EQ(Angle(s, 12, 13, 27, 2, 3), "3 30 0,0000 -");
    ASSERT_TRUE(Paste(s, "TxtWGSg", 9, "12.25S"));
    EXPECT_EQ(Angle(s, 9, 10, 11, 8, 9), "12 15 0,0000 -");
    EXPECT_TRUE(s.platform.msgBoxes.empty());
    // Not a whole point nor decimal degrees: left to the field's own rules.
    const auto before = Snapshot(s);
    EXPECT_FALSE(Paste(s, "TxtWGSg", 11, "3.5"));
    EXPECT_FALSE(Paste(s, "TxtWGSg", 9, "40"));
    EXPECT_FALSE(Paste(s, "TxtWGSg", 10, "40.5"));  // a minutes field
    EXPECT_EQ(Snapshot(s), before);
}

// A whole point pasted comes without a height: the tab's height fields are emptied (and
// stay so when left), and the results have no height nor altitude until one is typed;
// the point is converted at 0 m, as talpor-lote converts an empty height cell.
TEST(Paste, AWholePointComesWithoutHeightAndItsResultsHaveNone) {
    Started s;
    s.window.ChangeTab(1);
    ASSERT_TRUE(Paste(s, "TxtUTMe", -1, "30T 440721 4474447"));
    s.window.MoveFocus("TxtWGSg", 25);
    s.window.Click("CmdWGS84Helmert");
    EXPECT_EQ(s.Text("TxtWGSg", 25) + "|" + s.Text("TxtWGSg", 26), "|");
    EXPECT_EQ(s.Text("LblGeoLat", 1) + "|" + s.Text("LblLat", 24) + "|" + s.Text("LblAltitud", 2),
              "40º 24' 59,9873\" N|Altura sobre el elipsoide: sin altura|"
              "Altitud (EGM08-REDNAP): sin altura");
    EXPECT_TRUE(s.platform.msgBoxes.empty());
    s.window.MoveFocus("TxtWGSg", 25);
    s.window.Type(s.Get("TxtWGSg", 25), "650");
    s.window.Click("CmdWGS84Helmert");
    EXPECT_EQ(s.Text("LblLat", 24), "Altura sobre el elipsoide = 722,0  ±1,5m");
}

// What phones and web maps copy: WGS84 degrees, with the altitude where there is one,
// which the tab then takes as an altitude above the sea.
TEST(Paste, APointAsPhonesAndWebMapsGiveIt) {
    for (const char* text : {"40.4168, -3.7038, 650", "40,4168; -3,7038; 650", "geo:40.4168,-3.7038,650;u=35",
                             "GEO:40.4168,-3.7038", "https://www.openstreetmap.org/?mlat=40.4168&mlon=-3.7038#map=12/41/-4",
                             "https://www.openstreetmap.org/#map=17/40.4168/-3.7038",
                             "https://www.google.com/maps/search/?api=1&query=40.4168%2C-3.7038",
                             "https://www.google.com/maps/search/?api=1&query=40.4168,%20-3.7038",
                             "https://www.google.com/maps/search/?api=1&query=40.4168, -3.7038",
                             "https://www.google.es/maps/place/Sol/@40.4168,-3.7038,17z/data=!3m1",
                             "https://www.google.com/maps/place/Puerta+del+Sol/@40.4169019,-3.7056721,17z/"
                             "data=!3m1!4b1!4m6!3m5!1s0xd42287e!8m2!3d40.4168!4d-3.7038!16zL20vMDJ3OWo?entry=ttu",
                             "https://maps.apple.com/?ll=40.4168,-3.7038&z=15", "https://bing.com/maps?cp=40.4168~-3.7038",
                             // The marked place, not the centre of the view around it.
                             "https://maps.apple.com/?center=40.5,-3.5&ll=40.4168,-3.7038&q=Sol",
                             "https://www.bing.com/maps?cp=40.5~-3.5&lvl=15&sp=point.40.4168_-3.7038_Sol",
                             "https://www.google.com/maps/@40.5,-3.5,15z?q=40.4168,-3.7038"}) {
        SCOPED_TRACE(text);
        Started s;
        ASSERT_TRUE(Paste(s, "TxtWGSg", 1, text));
        EXPECT_EQ(s.Text("TxtWGSg", 0) + " " + s.Text("TxtWGSg", 1) + " " + s.Text("TxtWGSg", 2) + " " +
                      s.Text("TxtWGSg", 3) + " " + s.Text("TxtWGSg", 4) + " " + s.Text("TxtWGSg", 5),
                  "40 25 0,4800 3 42 13,6800");
        EXPECT_TRUE(s.Get("OptLng", 0).value);  // west
        const bool altitude = std::string_view(text).find("650") != std::string_view::npos;
        EXPECT_EQ(s.Text("TxtWGSg", 6), altitude ? "650,0" : "");
        EXPECT_EQ(s.Get("OptAltura", 1).value, altitude);
        EXPECT_TRUE(s.platform.msgBoxes.empty());
    }
    Started s;
    ASSERT_TRUE(Paste(s, "TxtWGSg", 0, "40.4168, -3.7038, 650"));
    s.window.Click("CmdED50Helmert");
    EXPECT_EQ(s.Text("LblAltitud", 0), "Altitud (EGM08-REDNAP) = 650,0 m");
}

// A point is taken whole or not at all: a broken one, or one with any part beyond the
// limits of the fields it would fill, is refused in one message and changes nothing.
TEST(Paste, ABrokenPointOrOneOutsideTheFieldsIsRefusedAndChangesNothing) {
    const std::string cannot = "No se puede pegar la coordenada: ";
    const std::string outside = "El punto pegado está fuera del área de Talpor: ";
    const std::string latitudes = "; se admiten de 35º a 44º N (península y Baleares)";
    const struct {
        int tab;
        int index;
        std::string text;
        std::string message;
    } cases[] = {
        {0, 0, "40 75 0 N 3 42 13 W", cannot + "minutos fuera de rango (75)"},
        {0, 6, "-33.8688, 151.2093", cannot + "esta pestaña solo admite latitudes norte"},
        {1, 7, "-33.8688", cannot + "esta pestaña solo admite latitudes norte"},
        {0, 1, "30T " + std::string(400, '9') + " 4474447", cannot + "coordenada fuera de rango (99999999999999999999…)"},
        {1, 7, "34.99999, 12.5",
         outside + "latitud 34º 59' N" + latitudes + "; longitud 12º 30' E; se admiten hasta 10º W y 5º E"},
        {0, 3, "40.4, -12.5", outside + "longitud 12º 30' W; se admiten hasta 10º W y 5º E"},
        {1, 16, "6.5", outside + "longitud 6º 30' E; se admiten hasta 10º W y 5º E"},
        {0, 0, "30T 100000 4474447", outside + "coordenada Este 100.000,00 m; se admiten de 186.062 a 813.939 m"},
        {0, 0, "hola", cannot + "«hola» no es un punto ni un número."},
        {1, 7, "https://www.openstreetmap.org/about", cannot + "la dirección no lleva la latitud y la longitud de un punto"},
        {0, 1, "http://a b", cannot + "la dirección no lleva la latitud y la longitud de un punto"},
        {0, 4, "geo:40.4,-3.7;crs=etrs89", cannot + "enlace geo: en el sistema «etrs89»; se admite wgs84"},
        {0, 0, "40.4168, -3.7038, 4500", outside + "altitud 4.500,00 m; se admiten " + text::HeightRangeText()},
        {0, 2, "28.2916, -16.6291",
         "El punto pegado está en las islas Canarias, donde no se usa ED50 (su sistema es REGCAN95): Talpor "
         "convierte puntos de la península y Baleares."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Started s;
        if (c.tab > 0) s.window.ChangeTab(c.tab);
        if (c.tab == 1) s.window.Click("OptCoord", 1);
        const auto before = Snapshot(s);
        EXPECT_TRUE(Paste(s, "TxtWGSg", c.index, c.text.c_str()));
        EXPECT_EQ(Snapshot(s), before);
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.LastMsgBox().text, c.message);
        EXPECT_EQ(s.platform.LastMsgBox().icon, MsgIcon::Exclamation);
    }
}

// A point written longitude first ("-3.7038, 40.4168", as GIS layers and some programs
// write it) is outside read as latitude and longitude, and inside the other way round:
// the box asks, "Sí" pastes it swapped, "No" pastes nothing.
TEST(Paste, ALongitudeWrittenFirstIsOfferedTheOtherWayRound) {
    for (const form::MsgResult answer : {form::MsgResult::Yes, form::MsgResult::No}) {
        Started s;
        s.platform.answer = answer;
        const auto before = Snapshot(s);
        const bool yes = answer == form::MsgResult::Yes;
        EXPECT_TRUE(Paste(s, "TxtWGSg", 0, "-3.7038, 40.4168"));
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.msgBoxes[0].text,
                  "¿Está la longitud antes que la latitud? Leído como latitud y longitud, el punto pegado cae fuera "
                  "del área de Talpor.\r\n¿Pegar el punto con la longitud primero: latitud 40º 25' N, longitud "
                  "3º 42' W?");
        EXPECT_EQ(s.platform.msgBoxes[0].buttons, form::MsgButtons::YesNo);
        if (!yes) EXPECT_EQ(Snapshot(s), before);
        if (yes)
            EXPECT_EQ(s.Text("TxtWGSg", 0) + " " + s.Text("TxtWGSg", 2) + " " + s.Text("TxtWGSg", 3) + " " +
                          s.Text("TxtWGSg", 5) + (s.Get("OptLng", 0).value ? " W" : " E"),
                      "40 0,4800 3 13,6800 W");
    }
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
        [](Started& s) {  // the zone, in UTM input
            s.window.Click("OptCoord", 0);
            s.window.Click("CmdWGS84Helmert");
            s.window.SelectListItem(s.Get("CmbUsos2"), 2);
        },
        [](Started& s) { s.window.Click("OptCoord", 0); },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        Started s;
        s.window.ChangeTab(1);
        s.window.Click("OptCoord", 1);
        s.window.Click("CmdWGS84Helmert");
        changes[i](s);
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
}

// "Utilidades": a point as typed and as numbers; a result until its own data change (the
// date is the sun's alone, point 2 the distance's alone).
TEST(Copy, UtilityPointsAndTheirResultsUntilTheirOwnDataChange) {
    Started s;
    s.window.ChangeTab(2);
    const auto p1 = Copy(s, "LblLat", 28);  // a label of point 1's frame: 38º 25' N, 1º 34' W
    EXPECT_EQ(p1.result, "Latitud 38º 25' 0,0000\" N\nLongitud 1º 34' 0,0000\" W");
    EXPECT_EQ(p1.decimalDegrees, "38.41666667, -1.56666667");
    EXPECT_EQ(p1.utm.substr(0, 4), "30S ");
    for (const char* name : {"Command15", "CmbUTC"})
        EXPECT_FALSE(s.window.CopyChoicesOf(s.Get(name)).has_value()) << name;
    s.window.Click("Command3");
    s.window.Click("Command4");
    const auto sunrise = Copy(s, "LblOrto");
    EXPECT_EQ(sunrise.underMouse, s.Get("LblOrto").text);
    EXPECT_EQ(sunrise.result, s.Get("LblOrto").text + "\n" + s.Get("LblOrto").toolTip);
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
