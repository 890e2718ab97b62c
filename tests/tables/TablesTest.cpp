// Text tables: every text of a converted row against the window's own for the same
// point typed the same way, the exact rounding and reading shortcuts against the
// functions they stand for, the layout found in sample files, fields and quotes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/frmTalpor.h"
#include "tables/Decimal.h"
#include "tables/PointRow.h"
#include "tables/TextTable.h"
#include "text/PointText.h"
#include "geo/Ellipsoid.h"
#include "num/Number.h"
#include "support/FakePlatform.h"

namespace {

using tables::Conversion;
using tables::Method;
using core::Direction;

// --- The window ----------------------------------------------------------------------

// The texts the window shows for a point pasted into a conversion tab, its height typed,
// and a conversion button pressed: the six result captions with the set's tooltip and
// the copy menu's decimal degrees, or the message box it showed instead.
struct WindowTexts {
    std::vector<std::string> captions;  // latitude, longitude, height, E, N, zone, altitude
    std::string setTip, decimalDegrees, message;
};

WindowTexts InWindow(const std::string& point, const std::string& height, Direction d, Method m) {
    testing_support::FakePlatform platform;
    app::frmTalpor window{platform};
    window.Form_Load();
    window.Activate();
    form::FormModel& form = window.Form();
    const int tab = d == Direction::WGS84ToED50 ? 0 : 1;
    if (tab == 1) window.ChangeTab(1);
    // Paste into whichever frame the tab shows enabled; the paste switches the input mode.
    form::Control& geo = form.Get("TxtWGSg", tab == 0 ? 0 : 7);
    form::Control& field = form.IsUsable(geo) ? geo : form.Get(tab == 0 ? "TxtUTMx" : "TxtUTMe");
    window.MoveFocus(&field);
    window.Paste(field, point);
    WindowTexts out;
    if (!platform.msgBoxes.empty()) {
        out.message = platform.msgBoxes[0].text;
        return out;
    }
    const bool utm = form.IsUsable(form.Get(tab == 0 ? "TxtUTMx" : "TxtUTMe"));
    form::Control& h = form.Get("TxtWGSg", tab == 0 ? (utm ? 8 : 6) : (utm ? 25 : 26));
    window.MoveFocus(&h);
    window.EditText(h, height);
    if (m != Method::Helmert) window.Click(tab == 0 ? "OptMWGS84" : "OptMED50", (tab == 0 ? 0 : 2) + (m == Method::MolodenskyNIMA));
    window.Click(m == Method::Helmert ? (tab == 0 ? "CmdED50Helmert" : "CmdWGS84Helmert")
                 : m == Method::Grid  ? (tab == 0 ? "CmdED50Rejilla" : "CmdWGS84Rejilla")
                                      : (tab == 0 ? "CmdED50Molodensky" : "CmdWGS84Molodensky"));
    if (!platform.msgBoxes.empty()) {
        out.message = platform.msgBoxes[0].text;
        return out;
    }
    const int u = tab == 0 ? 0 : 6;
    for (form::Control* c : {&form.Get("LblGeoLat", tab), &form.Get("LblGeoLon", tab), &form.Get("LblLat", tab == 0 ? 20 : 24),
                            &form.Get("LblUTM", u), &form.Get("LblUTM", u + 1), &form.Get("LblUTM", u + 2),
                            &form.Get("LblAltitud", tab == 1 ? 2 : utm ? 1 : 0)})
        out.captions.push_back(c->text);
    out.setTip = form.Get("LblLat", tab == 0 ? 20 : 24).toolTip;
    out.decimalDegrees = window.CopyChoicesOf(form.Get("LblGeoLat", tab))->decimalDegrees;
    return out;
}

// The number of a caption as the batch writes it: after "= ", up to the accuracy, without
// thousands points ("E= 440.501,02  ±1,5m" gives "440501,02").
std::string CaptionNumber(const std::string& caption) {
    std::string n = caption.substr(caption.find("= ") + 2);
    n = n.substr(0, n.find(' '));
    std::erase(n, '.');
    return n;
}

struct BatchTexts {
    std::vector<std::string> texts;  // dms ×2, degrees ×2, zone, E, N, height, set
    std::string error;
};

core::Grids& TestGrids() {
    static core::Grids grids(TALPOR_DATA_DIR, "");
    return grids;
}

// All the result columns, the height where the method transforms it.
tables::Outputs AllOutputs(Method m) { return {true, true, true, tables::TransformsHeight(m), true, true}; }

// Points converted together through the batch calls a run converts its chunks with, so
// that Helmert's latitudes go four at a time.
using Typed = std::pair<std::string, std::string>;  // point, height
std::vector<BatchTexts> InBatch(const std::vector<Typed>& points, Direction d, Method m) {
    Conversion c;
    c.direction = d;
    c.method = m;
    c.grids = &TestGrids();
    c.altitude = true;
    std::vector<tables::RowPoint> read;
    for (const auto& [point, height] : points) read.push_back(tables::ReadPoint(point, height, c));
    std::vector<tables::RowResult> results;
    tables::ConvertPoints(read, c, results);
    std::vector<BatchTexts> out(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        out[i].error = results.at(i).error;
        if (out[i].error.empty()) tables::SetResultTexts(results[i], AllOutputs(m), ',', out[i].texts);
    }
    return out;
}

// Every text of the batch is the window's for the same point, or both refuse it.
void ExpectSameTexts(const std::vector<Typed>& points, Direction d, Method m) {
    const std::vector<BatchTexts> batched = InBatch(points, d, m);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto& [point, height] = points[i];
        SCOPED_TRACE(point + " h=" + height + (d == Direction::WGS84ToED50 ? " WGS84->ED50" : " ED50->WGS84") +
                     " method " + std::to_string(static_cast<int>(m)));
        const WindowTexts w = InWindow(point, height, d, m);
        const BatchTexts& b = batched[i];
        if (!w.message.empty()) {
            EXPECT_FALSE(b.error.empty()) << "the window said: " << w.message;
            continue;
        }
        ASSERT_EQ(b.error, "");
        std::string degrees = w.decimalDegrees;
        std::replace(degrees.begin(), degrees.end(), '.', ',');
        std::vector<std::string> expected = {
            w.captions[0], w.captions[1], degrees.substr(0, degrees.find(", ")), degrees.substr(degrees.find(", ") + 2),
            w.captions[5].substr(w.captions[5].find(' ') + 1), CaptionNumber(w.captions[3]),
            CaptionNumber(w.captions[4])};
        // A row without height (the window types 0 for it) has no height results.
        const bool typed = !height.empty();
        if (tables::TransformsHeight(m)) expected.push_back(typed ? CaptionNumber(w.captions[2]) : "");
        const std::string set = w.setTip.substr(w.setTip.find(": ") + 2);
        expected.push_back(set.substr(0, set.find('.')));
        // The altitude of the WGS84 side; the window has none of a grid's WGS84 result.
        const std::string& altitude = w.captions[6];
        expected.push_back(typed && altitude.find(" = ") != std::string::npos ? CaptionNumber(altitude) : "");
        EXPECT_EQ(b.texts, expected);
    }
}

constexpr Direction kToED50 = Direction::WGS84ToED50, kToWGS84 = Direction::ED50ToWGS84;

TEST(BatchWindow, EachPointGivesTheWindowsTextsOrBothRefuseIt) {
    struct Case {
        const char* point;
        const char* height;
        Direction direction;
        Method method;
    } cases[] = {
        // The three Helmert sets, typed in degrees and in UTM, both directions; Mulhacén.
        {"40.4168, -3.7038", "650", kToED50, Method::Helmert},            // EST99, Madrid
        {"43.2 -8.5", "100,5", kToED50, Method::Helmert},                 // ZNW99, Galicia
        {"39.5 2.8", "12.25", kToED50, Method::Helmert},                  // BAL99, Mallorca
        {"40°25'0.5\"N 3°42'13\"W", "-500", kToWGS84, Method::Helmert},  // the lowest height taken
        {"N 40º 25' 00,5'' O 3º 42' 13''", "", kToED50, Method::Helmert},
        {"N40 25.008 W3 42.228", "2999,96", kToWGS84, Method::Helmert},
        {"30T 440721 4474447", "650", kToED50, Method::Helmert},
        {"29T 540.747,2 4.783.360,1", "0", kToWGS84, Method::Helmert},
        {"482897.67 4372488.98 31", "3", kToED50, Method::Helmert},
        {"37.0533 -3.3114", "3530", kToWGS84, Method::Helmert},
        // Molodensky with either set: the ED50 -> WGS84 button reads its seconds unrounded.
        {"41,38 2,17", "20", kToED50, Method::MolodenskyIGN},
        {"41.38 2.17", "20", kToWGS84, Method::MolodenskyIGN},
        {"36.72 -4.42 ", "1500", kToED50, Method::MolodenskyNIMA},
        {"40 59 59.99996 N 0 0 0.00004 W", "0", kToWGS84, Method::MolodenskyNIMA},  // carries to 41º
        {"30S 500000 4000000", "0", kToWGS84, Method::MolodenskyNIMA},
        // Refused by both: out of the method's area, a broken point, beyond a field's limit.
        {"44.5 -3.0", "0", kToED50, Method::MolodenskyIGN},  // 44º is a latitude the fields take
        {"30T 440721 4900000", "0", kToWGS84, Method::Helmert},
        {"40 75 0 N 3 0 0 W", "0", kToED50, Method::Helmert},
        {"40.5 -11.5", "0", kToWGS84, Method::MolodenskyNIMA},
        {"40.5 -3.7", "4000,1", kToED50, Method::Helmert},
        {"30T 900000 4474447", "0", kToED50, Method::MolodenskyIGN},
        // The IGN grid, geographic and UTM, both ways; out of the grid; the sea, out of the geoid.
        {"40.4168 -3.7038", "650", kToED50, Method::Grid},
        {"30T 440721 4474447", "650", kToWGS84, Method::Grid},
        {"39.57 2.65", "12", kToWGS84, Method::Grid},
        {"36.1 -9.9", "0", kToED50, Method::Grid},
        {"38.0 -9.9", "0", kToED50, Method::Helmert},
    };
    for (const Case& c : cases) ExpectSameTexts({{c.point, c.height}}, c.direction, c.method);
}

// Random points over peninsular Spain and the Balearic Islands, with 4 to 9 decimals as
// files and receivers write them, and random UTM points, converted together as a run
// converts them: no rounding edge the table above misses goes unseen, and no point
// takes another's place or values in the batch.
TEST(BatchWindow, RandomPointsGiveTheWindowsTexts) {
    std::mt19937 random(15);
    std::uniform_real_distribution<double> lat(36.0, 43.7), lon(-9.3, 4.3), h(-100, 2900), e(190000, 810000),
        n(3900000, 4850000);
    std::uniform_int_distribution<int> decimals(4, 9), zone(29, 31);
    for (Method m : {Method::Helmert, Method::MolodenskyIGN, Method::MolodenskyNIMA, Method::Grid}) {
        for (Direction d : {kToED50, kToWGS84}) {
            std::vector<Typed> points;
            for (int i = 0; i < 15; ++i) {
                char point[96], height[32];
                if (i % 4 == 3) {
                    std::snprintf(point, sizeof point, "%d %.3f %.3f", zone(random), e(random), n(random));
                } else {
                    const int k = decimals(random);
                    std::snprintf(point, sizeof point, i % 2 ? "%.*f %.*f" : "%.*f, %.*f", k, lat(random), k, lon(random));
                }
                std::snprintf(height, sizeof height, "%.2f", h(random));
                points.emplace_back(point, height);
            }
            ExpectSameTexts(points, d, m);
        }
    }
}

// --- Shortcuts against what they stand for ---------------------------------------------

TEST(BatchDecimal, RoundsAsNumRoundAndWritesAsNumFormat) {
    // Halves of the 15-digit form (0.135 is 0.13500000000000001 in binary), values that
    // round to zero with a sign, carries, and the metres and seconds the batch rounds.
    const double table[] = {0.135,     2.675,   1.005,   -1.005,    -0.00004, -0.0004,  59.99995, 59.999949,
                            0.00005,   12.5,    -12.5,   440501.025, 440501.015, 4474464.745, 3000, -500.05,
                            0.1 + 0.2, 1e-20,   -0.0,    123456789.125};
    for (double x : table) {
        for (int d : {1, 2, 4}) {
            SCOPED_TRACE(std::to_string(x) + " to " + std::to_string(d));
            const double r = tables::Round(x, d);
            const double expected = num::Round(x, d);
            EXPECT_TRUE(r == expected && std::signbit(r) == std::signbit(expected)) << r << " " << expected;
            std::string text;
            tables::AppendRounded(text, x, d, ',');
            EXPECT_EQ(text, num::Format(num::Round(x, d), "0." + std::string(static_cast<std::size_t>(d), '0')));
        }
    }
}

// --- Text tables -------------------------------------------------------------------------

TEST(BatchTable, SplitsFields) {
    struct Case {
        const char* line;
        tables::Separator separator;
        std::vector<std::string> fields;
    } cases[] = {
        {"a;b;;c;", tables::Separator::Semicolon, {"a", "b", "", "c", ""}},
        {"\"Torre, norte\",40.5,-3.5", tables::Separator::Comma, {"Torre, norte", "40.5", "-3.5"}},
        {"\"dice \"\"hola\"\"\";x", tables::Separator::Semicolon, {"dice \"hola\"", "x"}},
        {"40°25'0.5\"N;3°42'13\"W", tables::Separator::Semicolon, {"40°25'0.5\"N", "3°42'13\"W"}},
        {"  P1  40,5\t-3,5  ", tables::Separator::Blanks, {"P1", "40,5", "-3,5"}},
        {"\"Casa del monte\" 40.5 -3.5", tables::Separator::Blanks, {"Casa del monte", "40.5", "-3.5"}},
        {"\"sin cerrar;x", tables::Separator::Semicolon, {"\"sin cerrar", "x"}},
        {"\"Casa\r\ndel monte\";x", tables::Separator::Semicolon, {"Casa\r\ndel monte", "x"}},
        {"", tables::Separator::Tab, {""}},
    };
    std::vector<std::string> fields;
    for (const Case& c : cases) {
        tables::SplitFields(c.line, c.separator, fields);
        EXPECT_EQ(fields, c.fields) << c.line;
    }
}

TEST(BatchTable, ReadsOtherEncodingsAsWindows1252) {
    EXPECT_TRUE(tables::IsUtf8("40º 25' N; año €"));
    EXPECT_FALSE(tables::IsUtf8("40\xBA 25'"));
    EXPECT_FALSE(tables::IsUtf8("\xC0\x80"));          // overlong
    EXPECT_FALSE(tables::IsUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(tables::IsUtf8("abcdefgh\xE2\x82"));  // cut short
    EXPECT_EQ(tables::FromWindows1252("40\xBA 25\x92 3\x94 \x81"), "40º 25’ 3” \xEF\xBF\xBD");
}

TEST(BatchTable, FindsTheSeparatorTheHeaderAndThePoint) {
    struct Case {
        std::vector<std::string> lines;
        tables::Separator separator;
        std::size_t header;
        std::vector<std::size_t> point;
        std::size_t columns;
        int zone = 0;  // of eastings and northings without one
    } cases[] = {
        {{"Punto;Latitud WGS84;Longitud WGS84;Cota", "P1;40,4168;-3,7038;650", "P2;41,5;2,1;12"},
         tables::Separator::Semicolon, 1, {1, 2}, 4},
        {{"No,Latitude,Longitude,Name", "1,40.41,-3.70,WPT001", "2,40.42,-3.71,WPT002"}, tables::Separator::Comma, 1, {1, 2}, 4},
        {{"17 40,4168 -3,7038", "18 40,5 -3,8"}, tables::Separator::Blanks, 0, {1, 2}, 3},
        {{"id\tE\tN\tHuso", "a\t440721\t4474447\t30"}, tables::Separator::Tab, 1, {1, 2, 3}, 4},
        {{"", "P1 30T 440721 4474447 650", "P2 30T 440722 4474448 651"}, tables::Separator::Blanks, 0, {1, 2, 3}, 5},
        {{"40°25'0.5\"N 3°42'13\"W"}, tables::Separator::Blanks, 0, {0, 1}, 2},
        // A broken first row is a row, not a header; the others vote for the columns.
        {{"40 75 0,5 N;3 42 13 W", "40 25 0,5 N;3 42 13 W", "41 0 0 N;2 0 0 E"}, tables::Separator::Semicolon, 0, {0, 1}, 2},
        // The rows with a point count their columns, not broken lines nor a header's trailing ";".
        {{"id;Latitud;Longitud;cota", "1;40.1;-3.2;5", "nota;x", "nota;y"}, tables::Separator::Semicolon, 1, {1, 2}, 4},
        {{"id;lat;lon;", "1;40.1;-3.2", "2;40.2;-3.3"}, tables::Separator::Semicolon, 1, {1, 2}, 3},
        // Surveyors' short names are a header; a row of numbers, even a broken one, never is.
        {{"Vértice;X;Y;Cota", "V1;440721,00;4474447,00;650,2"}, tables::Separator::Semicolon, 1, {1, 2}, 4, 30},
        {{"Punto\tx (m)\tY\tZ", "1\t440721.5\t4474447.5\t650"}, tables::Separator::Tab, 1, {1, 2}, 4, 30},
        {{"E N H", "440721 4474447 650"}, tables::Separator::Blanks, 1, {0, 1}, 3, 30},
        {{"E;N;H"}, tables::Separator::Semicolon, 1, {}, 3},  // a header alone
        {{"99440721;4474447;650", "440721;4474447;650"}, tables::Separator::Semicolon, 0, {0, 1}, 3, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back());
        Conversion conversion;
        conversion.zone = c.zone;
        const tables::Layout l = tables::FindLayout(c.lines, {}, conversion);
        EXPECT_EQ(l.separator, c.separator);
        EXPECT_EQ(l.headerLine, c.header);
        EXPECT_EQ(l.pointColumns, c.point);
        EXPECT_EQ(l.columns, c.columns);
    }
    // Columns by name, the height column, and what cannot be.
    tables::LayoutChoice named;
    named.pointColumns = {"e", "N", "huso"};
    named.heightColumn = "4";
    const tables::Layout l = tables::FindLayout({"E;N;Huso;H", "440721;4474447;30;650"}, named, {});
    EXPECT_EQ(l.pointColumns, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(l.heightColumn, 3u);
    EXPECT_EQ(l.headerLine, 1u);
    const std::pair<std::vector<std::string>, const char*> failures[] = {
        {{"hola;mundo", "adiós;mundo"}, "no se encuentra ningún punto en las 2 primeras filas"},
        {{"P1;40 75 0 N;3 0 0 W", "P2;40 61 0 N;3 0 0 W"}, "(fila 1: minutos fuera de rango (75))"},
    };
    for (const auto& [lines, message] : failures) {
        try {
            tables::FindLayout(lines, {}, {});
            ADD_FAILURE() << message;
        } catch (const tables::LayoutError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    named.pointColumns = {"Latitud"};
    EXPECT_THROW(tables::FindLayout({"E;N;Huso;H"}, named, {}), tables::LayoutError);
    named.pointColumns = {"1", "2"};
    named.heightColumn = "7";
    EXPECT_THROW(tables::FindLayout({"1;2;3"}, named, {}), tables::LayoutError);
}

}  // namespace
