// The conversion core against the window: for the same typed point the core's values
// make the captions each button writes, the mirror is the point written into the other
// input frame, and being out of area or failing are answers.
#include "convert/Core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ConversionTab.h"
#include "convert/Captions.h"
#include "geo/mGeo.h"

namespace {

using convert::Direction;
using convert::MolodenskySet;
using convert::Status;
using testing_support::Click;
using testing_support::ConversionTab;
using testing_support::kGrid;
using testing_support::kHelmert;
using testing_support::kMolodensky;

// A field's number: thousands points dropped, decimal comma. The points typed below
// have short binary fractions, so this reads them exactly as the window does.
double Number(std::string text) {
    std::erase(text, '.');
    std::replace(text.begin(), text.end(), ',', '.');
    return std::stod(text);
}

// "40 25 12,5" or "3 42 0,25 W" as decimal degrees.
double Degrees(const std::string& dms) {
    std::istringstream in(dms);
    std::string d, m, s, hemisphere;
    in >> d >> m >> s >> hemisphere;
    const double v = Number(d) + Number(m) / 60 + Number(s) / 3600;
    return hemisphere == "W" ? -v : v;
}

// The latitude or longitude fields of a tab's geographic frame as "40 25 12,5" or
// "3 42 0,25 W".
std::string WrittenDMS(app::FormModel& form, int tab, bool longitude) {
    const int fields[2][6] = {{0, 1, 2, 3, 4, 5}, {7, 14, 15, 16, 17, 18}};
    const int* f = fields[tab] + (longitude ? 3 : 0);
    std::string dms;
    for (int i = 0; i < 3; ++i) dms += form.Get("TxtWGSg", f[i]).text + " ";
    if (longitude) dms += form.Get("OptLng", tab == 0 ? 0 : 4).value ? "W" : "E";
    return dms;
}

// The captions the core's values make, in the order of ConversionTab::Results.
std::vector<std::string> Captions(const convert::Result& r) {
    const convert::Accuracy a = convert::AccuracyOf(*r.set);
    const std::string height = convert::IsGrid(*r.set)
                                   ? convert::UntransformedHeightCaption(r.point->h)
                                   : convert::HeightCaption(r.point->h, a.z);
    return {convert::LatitudeCaption(r.point->lat),  convert::LongitudeCaption(r.point->lon),
            height,                                  convert::EastingCaption(r.utm->E, a.x),
            convert::NorthingCaption(r.utm->N, a.y), convert::ZoneCaption(r.utm->zoneText)};
}

}  // namespace

TEST_F(ConversionTab, CoreGivesWhatEachButtonShowsAndWritesIntoTheOtherFrame) {
    struct Case {
        const char* what;
        const char *lat, *lon;  // geographic input ("3 42 0,25 W"), or nullptr
        const char *E, *N;      // UTM input in zone 29 + zoneItem
        int zoneItem;
        const char* helmertSet;  // nullptr: outside the Helmert area
        bool inZones;            // false: outside zones 29-31, for every method
        bool inGrid;             // false: outside the grid
    } cases[] = {
        {"Madrid", "40 25 12,5", "3 42 0,25 W", nullptr, nullptr, 0, "EST99", true, true},
        {"Galicia", "43 30 0", "7 0 0 W", nullptr, nullptr, 0, "ZNW99", true, true},
        {"Mallorca", "39 30 0", "2 40 0 E", nullptr, nullptr, 0, "BAL99", true, true},
        {"north of 44º", "44 30 0", "3 0 0 W", nullptr, nullptr, 0, nullptr, true, false},
        {"Madrid, UTM", nullptr, nullptr, "440610,5", "4474317,25", 1, "EST99", true, true},
        // 4º 45' W, 39º 45' N: west of 4º 30' but south of 41º 30', EST99 as in degrees.
        {"zone 30 west, UTM", nullptr, nullptr, "350000", "4400000", 1, "EST99", true, true},
        // 10º 10' 57" W: just inside the grid, whose nodes end at 10º 11' W.
        {"zone 29 west of 10º W", nullptr, nullptr, "400000", "4500000", 0, nullptr, true, true},
    };
    for (const Case& c : cases) {
        for (int tab : {0, 1}) {
            const Direction direction = tab == 0 ? Direction::WGS84ToED50 : Direction::ED50ToWGS84;
            for (const std::string method : {"Helmert", "NIMA", "IGN", "Grid"}) {
                SCOPED_TRACE(testing::Message() << c.what << ", tab " << tab << ", " << method);
                const bool helmert = method == "Helmert";
                const bool grid = method == "Grid";
                const MolodenskySet set =
                    method == "IGN" ? MolodenskySet::IGN : MolodenskySet::NIMA;
                Select(tab == 0 ? "OptMWGS84" : "OptMED50",
                       (tab == 0 ? 0 : 2) + (set == MolodenskySet::NIMA ? 1 : 0));
                platform.msgBoxes.clear();
                const Click click = (helmert ? kHelmert : grid ? kGrid : kMolodensky)[tab];

                convert::Result r;
                if (c.lat) {
                    TypeGeographic(tab, c.lat, c.lon, "650,5");
                    const convert::GeographicInput p{Degrees(c.lat), Degrees(c.lon), 650.5};
                    const auto g = helmert ? convert::Helmert(p, direction)
                                   : grid  ? convert::IgnGrid(p, direction, grids.Shift())
                                           : convert::Molodensky(p, direction, set);
                    r = g;
                    click(form, platform, grids);
                    ASSERT_TRUE(g.mirror);
                    EXPECT_EQ(convert::InZones(*g.mirror), c.inZones);
                    // The UTM fields show the mirror to the centimetre.
                    EXPECT_NEAR(Number(Text(tab == 0 ? "TxtUTMx" : "TxtUTMe")), g.mirror->E, 0.005);
                    EXPECT_NEAR(Number(Text(tab == 0 ? "TxtUTMy" : "TxtUTMn")), g.mirror->N, 0.005);
                    if (c.inZones) {
                        EXPECT_EQ(form.Get(tab == 0 ? "CmbHuso" : "CmbUsos2").ListText(),
                                  std::to_string(g.mirror->zone));
                    }
                } else {
                    TypeUtm(tab, c.E, c.N, c.zoneItem, "650,5");
                    const convert::UtmInput p{Number(c.E), Number(c.N),
                                              static_cast<std::int16_t>(29 + c.zoneItem), 650.5};
                    const auto u = helmert ? convert::Helmert(p, direction)
                                   : grid  ? convert::IgnGrid(p, direction, grids.Shift())
                                           : convert::Molodensky(p, direction, set);
                    r = u;
                    click(form, platform, grids);
                    ASSERT_TRUE(u.mirror);
                    // The degree fields show the mirror to 0,0001 of a second.
                    EXPECT_NEAR(Degrees(WrittenDMS(form, tab, false)), u.mirror->lat,
                                0.6e-4 / 3600);
                    EXPECT_NEAR(Degrees(WrittenDMS(form, tab, true)), u.mirror->lon, 0.6e-4 / 3600);
                }

                if (!c.inZones || (helmert && !c.helmertSet) || (grid && !c.inGrid)) {
                    EXPECT_EQ(r.status, c.inZones ? Status::OutsideArea : Status::OutsideZones);
                    EXPECT_FALSE(r.set || r.point || r.utm || r.error);
                    EXPECT_EQ(platform.msgBoxes.size(), 1u);
                    EXPECT_EQ(Results(tab)[0], "00º 00' 0,0000\"");
                    continue;
                }
                ASSERT_EQ(r.status, Status::Converted);
                ASSERT_TRUE(r.set && r.point && r.utm && !r.error);
                EXPECT_EQ(convert::NameOf(*r.set),
                          helmert ? c.helmertSet : grid ? "SPED2ETV2" : method);
                EXPECT_EQ(Captions(r), Results(tab));
                EXPECT_TRUE(platform.msgBoxes.empty());
            }
        }
    }
}

// Typed in UTM, a point gets the Helmert set, the area and the result of its mirror, the
// same point in degrees: 0,1 m either side of the lines of ZNW99 (41º 30' N, 4º 30' W),
// BAL99 (40º 30' N, 1º E) and the box, and at random points of zones 29-31.
TEST(ConversionCore, UtmInputGetsTheHelmertSetAndPointOfItsDegrees) {
    auto same = [](const convert::UtmInput& p, Direction direction, const char* set) {
        const auto u = convert::Helmert(p, direction);
        ASSERT_TRUE(u.mirror);
        const auto g =
            convert::Helmert(convert::GeographicInput{u.mirror->lat, u.mirror->lon, p.h}, direction);
        ASSERT_EQ(u.status == Status::Converted, g.status == Status::Converted);
        if (set) {
            ASSERT_EQ(u.set ? convert::NameOf(*u.set) : "none", set);
        }
        if (u.status != Status::Converted) return;
        ASSERT_EQ(*u.set, *g.set);
        ASSERT_TRUE(u.point->lat == g.point->lat && u.point->lon == g.point->lon &&
                    u.point->h == g.point->h && u.utm->E == g.utm->E && u.utm->N == g.utm->N);
    };
    constexpr double d = 1e-6;  // degrees
    const std::tuple<double, double, const char*> lines[] = {
        {41.5 + d, -5, "ZNW99"},  {41.5 - d, -5, "EST99"}, {42, -4.5 - d, "ZNW99"},
        {42, -4.5 + d, "EST99"},  {40.5 - d, 2, "BAL99"},  {40.5 + d, 2, "EST99"},
        {39.5, 1 + d, "BAL99"},   {39.5, 1 - d, "EST99"},  {35 + d, -3, "EST99"},
        {35 - d, -3, "none"},     {44 - d, -3, "EST99"},   {44 + d, -3, "none"},
        {43, -10 + d, "ZNW99"},   {43, -10 - d, "none"},   {39, 6 - d, "BAL99"},
        {39, 6 + d, "none"}};
    for (const Direction direction : {Direction::WGS84ToED50, Direction::ED50ToWGS84}) {
        for (const auto& [lat, lon, set] : lines) {
            SCOPED_TRACE(testing::Message() << lat << " " << lon << ", tab " << int(direction));
            const mGeo::UTMPoint m = convert::MirrorOf(convert::GeographicInput{lat, lon}, direction);
            same({m.E, m.N, m.zone, 650.5}, direction, set);
        }
        std::mt19937_64 random(20240701);
        std::uniform_real_distribution<double> E(186062, 813939), N(3800000, 4950000), h(-500, 4000);
        std::uniform_int_distribution<int> zone(29, 31);
        for (int i = 0; i < 10000; ++i) {
            const convert::UtmInput p{E(random), N(random), static_cast<std::int16_t>(zone(random)),
                                      h(random)};
            SCOPED_TRACE(testing::Message() << p.E << " " << p.N << " " << p.zone);
            same(p, direction, nullptr);
        }
    }
}

TEST(ConversionCore, RunTimeErrorIsAnAnswerWithTheValuesComputedBeforeIt) {
    // A zone whose central meridian leaves 16 bits: no mirror, nothing after it.
    const auto zone = convert::Molodensky(convert::UtmInput{500000, 4400000, 32767, 0},
                                          Direction::ED50ToWGS84, MolodenskySet::NIMA);
    EXPECT_EQ(zone.status, Status::Failed);
    ASSERT_TRUE(zone.error);
    EXPECT_EQ(zone.error->Number(), num::RuntimeError::kOverflow);
    EXPECT_FALSE(zone.mirror || zone.set || zone.point || zone.utm);

    // 1e300 m above Madrid: the set is chosen, the geocentric distance overflows.
    const auto high = convert::Helmert(convert::GeographicInput{40.4, -3.7, 1e300},
                                       Direction::WGS84ToED50);
    EXPECT_EQ(high.status, Status::Failed);
    ASSERT_TRUE(high.error && high.mirror && high.set);
    EXPECT_EQ(high.error->Number(), num::RuntimeError::kOverflow);
    EXPECT_EQ(convert::NameOf(*high.set), "EST99");
    EXPECT_FALSE(high.point || high.utm);
}
