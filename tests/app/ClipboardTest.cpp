// Pasting into each point's fields and copying from each result, each refusal and results
// of a changed point (the real clipboard, tab 0 mostly: ClipboardWindow in qt_tests).
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Started.h"
#include "num/Number.h"
#include "support/DataFile.h"

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

namespace {

// The fields of a point of tabs 0, 1 and 2 (point 1), as PastePoint fills them.
struct PointFields {
    int lat[3], lon[3];
    int south, west;  // OptLng of the negative hemispheres; -1: northern latitudes only
    int height;       // TxtWGSg; -1: none
    const char *utmE, *utmN, *zoneList;
};
constexpr PointFields kPointFields[] = {
    {{0, 1, 2}, {3, 4, 5}, -1, 0, 6, "TxtUTMx", "TxtUTMy", "CmbHuso"},
    {{7, 14, 15}, {16, 17, 18}, -1, 4, 26, "TxtUTMe", "TxtUTMn", "CmbUsos2"},
    {{9, 10, 11}, {12, 13, 27}, 9, 3, -1, "", "", ""},
};

// A field's number as the window shows it: "4.474.447,20" is 4474447.2.
double Shown(const std::string& text) {
    std::string plain;
    for (char c : text)
        if (c != '.') plain += c == ',' ? '.' : c;
    return std::stod(plain);
}

}  // namespace

// Every text of tests/data/pastes.txt (phones, web maps, GPS units, spreadsheets, survey
// listings, limits and refusals) pasted into its field, and the point it gives or the
// sentence that refuses it.
TEST(Paste, EachTextAsPeoplePasteItGivesItsPointOrItsRefusal) {
    for (const auto& r : testing_support::ReadDataFile("pastes.txt")) {
        SCOPED_TRACE(r.where + ": " + r[2]);
        const int tab = std::stoi(r[0]);
        const PointFields& f = kPointFields[tab];
        Started s;
        if (tab > 0) s.window.ChangeTab(tab);
        if (tab == 1) s.window.Click("OptCoord", 1);
        const auto before = Snapshot(s);
        const bool handled = Paste(s, "TxtWGSg", std::stoi(r[1]), r[2].c_str());
        if (r[3] == "-" || r[3].starts_with("! ")) {
            EXPECT_EQ(handled, r[3] != "-");
            EXPECT_EQ(Snapshot(s), before);
            EXPECT_EQ(s.platform.msgBoxes.empty() ? "-" : "! " + s.platform.LastMsgBox().text, r[3]);
            continue;
        }
        EXPECT_TRUE(handled);
        EXPECT_EQ(s.platform.msgBoxes.size(), 0u) << s.platform.LastMsgBox().text;
        std::istringstream want(r[3]);
        if (r[3].starts_with("UTM ")) {
            std::string utm;
            int zone = 0;
            double E = 0, N = 0;
            want >> utm >> zone >> E >> N;
            EXPECT_EQ(s.Get(f.zoneList).listIndex + 29, zone);
            EXPECT_NEAR(Shown(s.Text(f.utmE)), E, 0.005);
            EXPECT_NEAR(Shown(s.Text(f.utmN)), N, 0.005);
            EXPECT_TRUE(s.Get(f.utmE).enabled);  // UTM input
            continue;
        }
        const auto angle = [&](const int (&i)[3], int negative) {
            const double v = Shown(s.Text("TxtWGSg", i[0])) + Shown(s.Text("TxtWGSg", i[1])) / 60 +
                             Shown(s.Text("TxtWGSg", i[2])) / 3600;
            return negative >= 0 && s.Get("OptLng", negative).value ? -v : v;
        };
        double lat = 0, lon = 0, altitude = 0;
        want >> lat >> lon;
        const double halfOfTheLastDigit = 0.00005 / 3600 + 1e-12;
        EXPECT_NEAR(angle(f.lat, f.south), lat, halfOfTheLastDigit);
        EXPECT_NEAR(angle(f.lon, f.west), lon, halfOfTheLastDigit);
        if (f.height < 0) continue;
        // A whole point empties the height; one with its altitude fills it, as an altitude.
        const bool whole = std::stoi(r[1]) != f.lat[0] && std::stoi(r[1]) != f.lon[0];
        const std::string height = want >> altitude ? num::Format(altitude, "#,##0.0") : "";
        if (whole) EXPECT_EQ(s.Text("TxtWGSg", f.height), height);
        EXPECT_EQ(s.Get("OptAltura", 2 * tab + 1).value, !height.empty());
    }
}

TEST(Paste, AnAltitudePastedWithThePointIsConvertedAsAnAltitude) {
    Started s;
    ASSERT_TRUE(Paste(s, "TxtWGSg", 0, "40.4168, -3.7038, 650"));
    s.window.Click("CmdED50Helmert");
    EXPECT_EQ(s.Text("LblAltitud", 0), "Altitud (EGM08-REDNAP) = 650,0 m");
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

// UTM is defined from 80º S to 84º N, both included: beyond them "Copiar UTM" of a utility
// point says so in a box and gives nothing to copy. At the edges, PROJ's figures:
//   echo "-1.56666666666667 84" | proj +proj=utm +zone=30 +ellps=WGS84 -f %.4f
//   516725.4372	9328301.9006
//   echo "-2.36666666666667 -80" | proj +proj=utm +zone=30 +south +ellps=WGS84 -f %.4f
//   512277.3929	1118347.3585
TEST(Copy, UtmOfAUtilityPointOnlyFrom80SouthTo84North) {
    const struct {
        int frame, deg, min, sec, south;  // Frame1's index, TxtWGSg of the latitude, OptLng of south
        const char *degrees, *seconds, *utm;  // "": refused
    } cases[] = {
        {2, 9, 10, 11, -1, "84", "0", "30X 516725.44 9328301.90"},
        {2, 9, 10, 11, -1, "84", "0,1", ""},
        {3, 33, 32, 31, 10, "80", "0", "30C 512277.39 1118347.36"},
        {3, 33, 32, 31, 10, "80", "0,1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.degrees) + "º 0' " + c.seconds + "\"" + (c.south < 0 ? " N" : " S"));
        Started s;
        s.window.ChangeTab(2);
        s.Text("TxtWGSg", c.deg) = c.degrees;
        s.Text("TxtWGSg", c.min) = "0";
        s.Text("TxtWGSg", c.sec) = c.seconds;
        if (c.south >= 0) s.window.Form().SelectOption(s.Get("OptLng", c.south));
        EXPECT_EQ(s.window.CopyUtm(Copy(s, "Frame1", c.frame)), c.utm);
        EXPECT_EQ(s.platform.msgBoxes.empty() ? "" : s.platform.OnlyBox("Talpor", MsgIcon::Exclamation),
                  *c.utm ? "" : "Este punto no tiene coordenadas UTM: la proyección UTM solo abarca de 80º S a 84º N.");
    }
}
