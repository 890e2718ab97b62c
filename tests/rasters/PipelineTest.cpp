// The pipelines images are resampled through, run by PROJ: where the core's own map puts
// a point at towns across Spain, and where EPSG's published transformations do.
#include <proj.h>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "geo/Utm.h"
#include "rasters/Georeference.h"
#include "rasters/Pipeline.h"

namespace {

using rasters::RasterSystem;
using rasters::XY;
using Datum = RasterSystem::Datum;
using Set = core::ParameterSet;

core::Grids& TestGrids() {
    static core::Grids grids(TALPOR_DATA_DIR, "");
    return grids;
}

// x, y through the PROJ operation `operation` (a PROJ string or an EPSG code); nullopt
// when PROJ cannot make or run it.
std::optional<XY> Proj(const std::string& operation, XY in, PJ_DIRECTION direction = PJ_FWD) {
    PJ_CONTEXT* context = proj_context_create();
    PJ* op = proj_create(context, operation.c_str());
    std::optional<XY> out;
    if (op != nullptr) {
        const PJ_COORD c = proj_trans(op, direction, proj_coord(in.x, in.y, 0, 0));
        if (proj_errno(op) == 0 && std::isfinite(c.v[0])) out = XY{c.v[0], c.v[1]};
        proj_destroy(op);
    }
    proj_context_destroy(context);
    return out;
}

struct Place {
    const char* name;
    double lat, lon;  // degrees, on whichever datum the case converts from
};
constexpr Place kMadrid{"Madrid", 40.4168, -3.7038}, kCoruna{"A Coruña", 43.3623, -8.4115},
    kBarcelona{"Barcelona", 41.3874, 2.1686}, kSevilla{"Sevilla", 37.3891, -5.9845}, kPalma{"Palma", 39.5696, 2.6502},
    kValencia{"Valencia", 39.4699, -0.3763};

// The point of `place` in `system`: easting and northing, or PROJ's latitude, longitude.
XY PointIn(const Place& place, const RasterSystem& system) {
    if (system.zone == 0) return {place.lat, place.lon};
    const geo::UTMPoint u = geo::GeoToUTMInZone(
        place.lat, place.lon, static_cast<std::int16_t>(system.zone),
        core::SourceEllipsoid(system.datum == Datum::ED50 ? core::Direction::ED50ToWGS84 : core::Direction::WGS84ToED50));
    return {u.E, u.N};
}

// Each method both ways, between UTM systems, geographic ones and into the next zone: PROJ
// puts the point where the core does, to 0,1 mm (1e-9 degrees), which only rounding parts;
// to 0,5 mm a UTM point 3º from its central meridian, where the core's projection series
// leaves PROJ's exact one by 0,25 mm. PROJ's helmert with the sets' own rotations would miss
// by up to 0,4 mm. For Helmert the case's set is the one the core gives the place, but at
// A Coruña converted with EST99, as an image centred in EST99's area that reaches into
// ZNW99's is.
TEST(WarpPipeline, PROJPutsEveryPointWhereTheCoreDoes) {
    const struct Case {
        Place place;
        Set set;
        RasterSystem from, to;
        std::optional<Set> placeSet;  // HelmertSetOf at the place, for Helmert
    } cases[] = {
        {kMadrid, Set::SPED2ETV2, {Datum::ED50, 30}, {Datum::ETRS89, 30}, {}},
        {kMadrid, Set::SPED2ETV2, {Datum::ETRS89, 30}, {Datum::ED50, 30}, {}},
        {kBarcelona, Set::SPED2ETV2, {Datum::ED50, 0}, {Datum::ETRS89, 0}, {}},
        {kSevilla, Set::SPED2ETV2, {Datum::WGS84, 0}, {Datum::ED50, 0}, {}},
        {kValencia, Set::SPED2ETV2, {Datum::ED50, 30}, {Datum::ETRS89, 31}, {}},
        {kMadrid, Set::EST99, {Datum::ED50, 30}, {Datum::ETRS89, 30}, Set::EST99},
        {kSevilla, Set::EST99, {Datum::ETRS89, 30}, {Datum::ED50, 30}, Set::EST99},
        {kCoruna, Set::ZNW99, {Datum::ED50, 29}, {Datum::ETRS89, 29}, Set::ZNW99},
        {kCoruna, Set::ZNW99, {Datum::WGS84, 0}, {Datum::ED50, 0}, Set::ZNW99},
        {kPalma, Set::BAL99, {Datum::ED50, 0}, {Datum::ETRS89, 31}, Set::BAL99},
        {kPalma, Set::BAL99, {Datum::ETRS89, 31}, {Datum::ED50, 0}, Set::BAL99},
        {kCoruna, Set::EST99, {Datum::ED50, 29}, {Datum::ETRS89, 29}, Set::ZNW99},
        {kValencia, Set::EST99, {Datum::ETRS89, 30}, {Datum::ED50, 31}, Set::EST99},
        {kMadrid, Set::IGN, {Datum::ED50, 0}, {Datum::WGS84, 0}, {}},
        {kMadrid, Set::IGN, {Datum::ED50, 30}, {Datum::WGS84, 30}, {}},
        {kBarcelona, Set::IGN, {Datum::WGS84, 31}, {Datum::ED50, 31}, {}},
        {kSevilla, Set::NIMA, {Datum::ED50, 30}, {Datum::WGS84, 30}, {}},
        {kCoruna, Set::NIMA, {Datum::WGS84, 0}, {Datum::ED50, 0}, {}},
        {kValencia, Set::NIMA, {Datum::ED50, 30}, {Datum::WGS84, 31}, {}},
    };
    for (const Case& c : cases) {
        const std::string pipeline = rasters::WarpPipeline(c.from, c.to, c.set, TestGrids());
        SCOPED_TRACE(std::string(c.place.name) + ": " + pipeline);
        // MethodMap takes and gives longitude first.
        const auto swap = [](const RasterSystem& s, XY p) { return s.zone == 0 ? XY{p.y, p.x} : p; };
        const XY in = PointIn(c.place, c.from), at = swap(c.from, in);
        if (c.placeSet) {
            // An image of one pixel centred on the point.
            EXPECT_EQ(rasters::HelmertSetOf(c.from, {{at.x - 0.5, 1, 0, at.y + 0.5, 0, -1}}, 1, 1), c.placeSet);
        }
        const std::optional<XY> core =
            rasters::MethodMap(c.from, c.to, c.set, TestGrids(), rasters::HelmertSets::Given)(at.x, at.y);
        const std::optional<XY> proj = Proj(pipeline, in);
        ASSERT_TRUE(core && proj);
        const XY expected = swap(c.to, *core);
        const bool farFromMeridian = c.to.zone != 0 && std::abs(c.place.lon - (6 * c.to.zone - 183)) > 2;
        const double tolerance = c.to.zone == 0 ? 1e-9 : farFromMeridian ? 0.0005 : 0.0001;
        EXPECT_NEAR(proj->x, expected.x, tolerance);
        EXPECT_NEAR(proj->y, expected.y, tolerance);
    }
}

// The Helmert sets and NIMA's translation as EPSG publishes them, both ways. EPSG rounds the
// sets to decimetres and thousandths of a second, which leaves up to 7 cm; a rotation of the
// other convention would be tens of metres off. EPSG applies NIMA's translation exactly,
// through geocentric coordinates: Molodensky's formulas stay within a few millimetres of it.
TEST(WarpPipeline, HelmertAndMolodenskyLandWhereEPSGsTransformationsDo) {
    const struct Case {
        Place place;
        Set set;
        const char* epsg;
        PJ_DIRECTION direction;
        double metres;
    } cases[] = {
        {kMadrid, Set::EST99, "1632", PJ_FWD, 0.1},   // ED50 to ETRS89 (7)
        {kSevilla, Set::EST99, "1632", PJ_INV, 0.1},
        {kCoruna, Set::ZNW99, "1634", PJ_FWD, 0.1},   // ED50 to ETRS89 (8)
        {kPalma, Set::BAL99, "1630", PJ_INV, 0.1},    // ED50 to ETRS89 (6)
        {kSevilla, Set::NIMA, "1145", PJ_FWD, 0.01},  // ED50 to WGS 84 (13), a geocentric translation
        {kMadrid, Set::NIMA, "1145", PJ_INV, 0.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.place.name) + " EPSG:" + c.epsg);
        const bool ed50 = c.direction == PJ_FWD;
        const RasterSystem from{ed50 ? Datum::ED50 : Datum::ETRS89, 0}, to{ed50 ? Datum::ETRS89 : Datum::ED50, 0};
        const std::optional<XY> ours = Proj(rasters::WarpPipeline(from, to, c.set, TestGrids()), {c.place.lat, c.place.lon});
        const std::optional<XY> epsg =
            Proj(std::string("urn:ogc:def:coordinateOperation:EPSG::") + c.epsg, {c.place.lat, c.place.lon}, c.direction);
        ASSERT_TRUE(ours && epsg);
        const double metres = std::hypot((ours->x - epsg->x) * 111e3, (ours->y - epsg->y) * 111e3 * std::cos(c.place.lat * M_PI / 180));
        EXPECT_LT(metres, c.metres);
    }
}

}  // namespace
