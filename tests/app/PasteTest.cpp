// Pasting whole points and decimal degrees into the fields of the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Started.h"

using namespace app;
using testing_support::Started;

namespace {

// Pastes into a field that has the focus, as the user does.
bool Paste(Started& s, std::string_view name, int index, const char* text) {
    Control& field = s.Get(name, index);
    EXPECT_TRUE(s.window.MoveFocus(&field)) << field.id.Text();
    return s.window.Paste(field, text);
}

// Texts and selections of every control: what a paste may change.
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
        {0, "TxtWGSg", 6, "40.4168, -3.7038", {0, 1, 2}, {3, 4, 5}, -1, -1, 1, 0},
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

TEST(Paste, UtmFillsTheUtmFrameOrTheUtilityPointsLatitudeAndLongitude) {
    Started s;
    ASSERT_TRUE(Paste(s, "TxtWGSg", 0, "30S 440.721,5 4.474.447,2"));  // tab 0 in geographic input
    EXPECT_TRUE(s.Get("OptUTM", 1).value);
    EXPECT_TRUE(s.Get("Frame7").enabled);
    EXPECT_FALSE(s.Get("Frame1", 0).enabled);
    EXPECT_EQ(s.Text("TxtUTMx"), "440721,50");  // has the focus: no points
    EXPECT_EQ(s.Text("TxtUTMy"), "4.474.447,20");
    EXPECT_EQ(s.Get("CmbHuso").ListText(), "30");
    EXPECT_EQ(s.window.Form().focused, &s.Get("TxtUTMx"));  // its old frame is greyed
    EXPECT_EQ(s.Text("TxtWGSg", 0), "38");                  // the geographic fields stay

    Started u;
    u.window.ChangeTab(2);
    ASSERT_TRUE(Paste(u, "TxtWGSg", 9, "440721 4474447 30"));
    EXPECT_EQ(Angle(u, 9, 10, 11, 8, 9).substr(0, 6), "40 25 ");
    EXPECT_EQ(Angle(u, 12, 13, 27, 2, 3).substr(0, 5), "3 41 ");
    EXPECT_TRUE(u.Get("OptLng", 3).value);  // west

    Started t;
    t.window.ChangeTab(1);
    ASSERT_TRUE(Paste(t, "TxtUTMn", -1, "31T 440721 4474447"));
    EXPECT_EQ(t.Get("CmbUsos2").ListText(), "31");
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
    EXPECT_FALSE(Paste(s, "Command3", -1, "40.5 3.5"));
    EXPECT_EQ(Snapshot(s), before);
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
        {2, 9, "95.5, -3.7", cannot + "latitud fuera de rango (95.5)"},
        {0, 1, std::string(309, '9') + ", -3.7", cannot + "latitud fuera de rango (99999999999999999999…)"},
        {0, 1, "30T " + std::string(400, '9') + " 4474447", cannot + "coordenada fuera de rango (99999999999999999999…)"},
        {0, 6, "50.1, -3.7", outside + "latitud 50º 6' N" + latitudes},
        {1, 7, "34.99999, 12.5",
         outside + "latitud 34º 59' N" + latitudes + "; longitud 12º 30' E; se admiten hasta 10º W y 5º E"},
        {0, 3, "40.4, -12.5", outside + "longitud 12º 30' W; se admiten hasta 10º W y 5º E"},
        {1, 16, "6.5", outside + "longitud 6º 30' E; se admiten hasta 10º W y 5º E"},
        {0, 0, "30T 100000 4474447", outside + "coordenada Este 100.000,00 m; se admiten de 186.062 a 813.939 m"},
        {0, 2, "28.2916, -16.6291",
         "El punto pegado está en las islas Canarias, donde no se usa ED50 (su sistema es REGCAN95): Talpor "
         "convierte puntos de la península y Baleares."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Started s;
        if (c.tab > 0) s.window.ChangeTab(c.tab);
        if (c.tab == 1) s.window.Click("OptCoord", 1);
        Control& field = s.Get("TxtWGSg", c.index);
        ASSERT_TRUE(s.window.MoveFocus(&field));
        const auto before = Snapshot(s);
        EXPECT_TRUE(s.window.Paste(field, c.text));
        EXPECT_EQ(Snapshot(s), before);
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.LastMsgBox().text, c.message);
        EXPECT_EQ(s.platform.LastMsgBox().icon, MsgIcon::Exclamation);
    }
}

