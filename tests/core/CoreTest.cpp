// The conversion core: a point typed in UTM gets what its degrees get, and being out of
// area or failing are answers.
#include "core/Core.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>
#include <tuple>

#include "geo/mGeo.h"

using core::Direction;
using core::MolodenskySet;
using core::Status;

// Typed in UTM, a point gets the Helmert set, the area and the result of its mirror, the
// same point in degrees: 0,1 m either side of the lines of ZNW99 (41º 30' N, 4º 30' W),
// BAL99 (40º 30' N, 1º E) and the box, and at random points of zones 29-31.
TEST(ConversionCore, UtmInputGetsTheHelmertSetAndPointOfItsDegrees) {
    auto same = [](const core::UtmInput& p, Direction direction, const char* set) {
        const auto u = core::Helmert(p, direction);
        ASSERT_TRUE(u.mirror);
        const auto g =
            core::Helmert(core::GeographicInput{u.mirror->lat, u.mirror->lon, p.h}, direction);
        ASSERT_EQ(u.status == Status::Converted, g.status == Status::Converted);
        if (set) {
            ASSERT_EQ(u.set ? core::NameOf(*u.set) : "none", set);
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
            const geo::UTMPoint m = core::MirrorOf(core::GeographicInput{lat, lon}, direction);
            same({m.E, m.N, m.zone, 650.5}, direction, set);
        }
        std::mt19937_64 random(20240701);
        std::uniform_real_distribution<double> E(186062, 813939), N(3800000, 4950000), h(-500, 4000);
        std::uniform_int_distribution<int> zone(29, 31);
        for (int i = 0; i < 10000; ++i) {
            const core::UtmInput p{E(random), N(random), static_cast<std::int16_t>(zone(random)),
                                      h(random)};
            SCOPED_TRACE(testing::Message() << p.E << " " << p.N << " " << p.zone);
            same(p, direction, nullptr);
        }
    }
}

TEST(ConversionCore, RunTimeErrorIsAnAnswerWithTheValuesComputedBeforeIt) {
    // A zone whose central meridian leaves 16 bits: no mirror, nothing after it.
    const auto zone = core::Molodensky(core::UtmInput{500000, 4400000, 32767, 0},
                                          Direction::ED50ToWGS84, MolodenskySet::NIMA);
    EXPECT_EQ(zone.status, Status::Failed);
    ASSERT_TRUE(zone.error);
    EXPECT_EQ(zone.error->Number(), num::RuntimeError::kOverflow);
    EXPECT_FALSE(zone.mirror || zone.set || zone.point || zone.utm);

    // 1e300 m above Madrid: the set is chosen, the geocentric distance overflows.
    const auto high = core::Helmert(core::GeographicInput{40.4, -3.7, 1e300},
                                       Direction::WGS84ToED50);
    EXPECT_EQ(high.status, Status::Failed);
    ASSERT_TRUE(high.error && high.mirror && high.set);
    EXPECT_EQ(high.error->Number(), num::RuntimeError::kOverflow);
    EXPECT_EQ(core::NameOf(*high.set), "EST99");
    EXPECT_FALSE(high.point || high.utm);
}

// The batch calls talpor-lote converts its chunks with give, in every lane, the bits of
// the one-point calls, failures included: random points in and around Spain, both
// methods and directions, degrees and UTM (zones 28 and 32 too).
TEST(ConversionCore, TheBatchCallsGiveTheOnePointAnswersBitForBit) {
    const auto bits = [](const core::Result& r) {
        std::ostringstream s;
        s << std::hexfloat << int(r.status) << (r.set ? core::NameOf(*r.set) : "-");
        if (r.point) s << ' ' << r.point->lat << ' ' << r.point->lon << ' ' << r.point->h;
        if (r.utm) s << ' ' << r.utm->E << ' ' << r.utm->N << ' ' << r.utm->zoneText;
        if (r.error) s << " error " << r.error->Number();
        return s.str();
    };
    std::mt19937_64 random(20240613);
    std::uniform_real_distribution<double> lat(33, 46), lon(-12, 8), h(-100, 3500), E(150000, 850000),
        N(3800000, 4950000);
    std::uniform_int_distribution<int> zone(28, 32);
    for (const Direction d : {Direction::WGS84ToED50, Direction::ED50ToWGS84}) {
        for (const int method : {0, 1, 2}) {
            const MolodenskySet set = method == 1 ? MolodenskySet::IGN : MolodenskySet::NIMA;
            std::vector<core::GeographicInput> g(3000);
            std::vector<core::UtmInput> u(3000);
            for (auto& p : g) p = {lat(random), lon(random), h(random)};
            for (auto& p : u) p = {E(random), N(random), static_cast<std::int16_t>(zone(random)), h(random)};
            g[7].h = u[9].h = 1e300;  // an overflow amid the lanes
            std::vector<core::PointResult> bg(g.size()), bu(u.size());
            if (method == 0) core::Helmert(g, d, bg), core::Helmert(u, d, bu);
            else core::Molodensky(g, d, set, bg), core::Molodensky(u, d, set, bu);
            for (std::size_t i = 0; i < g.size(); ++i) {
                ASSERT_EQ(bits(core::ResultOf(bg[i])),
                          bits(method ? core::Molodensky(g[i], d, set) : core::Helmert(g[i], d)))
                    << "degrees " << i << ", method " << method;
                ASSERT_EQ(bits(core::ResultOf(bu[i])),
                          bits(method ? core::Molodensky(u[i], d, set) : core::Helmert(u[i], d)))
                    << "UTM " << i << ", method " << method;
            }
        }
    }
}
