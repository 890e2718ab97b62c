// The conversion core against PROJ on the reference points of tests/data (a point typed in
// UTM gets what its degrees get), being out of area or failing as answers, and the batch
// calls bit for bit.
#include "core/Core.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "geo/mGeo.h"
#include "support/DataFile.h"

using core::Direction;
using core::MolodenskySet;
using core::Status;

namespace {

// A record of tests/data/helmert.txt or molodensky.txt (their opening comments say what
// each field is).
struct Reference {
    std::string where, set;  // the set's name, "outside-area" or "outside-zones"
    Direction direction = Direction::ED50ToWGS84;
    bool utmToo = false;  // typed "both": converted typed in UTM too
    core::GeographicInput typed;
    core::UtmInput typedUtm;  // the mirror
    std::string zone, toZone;
    double lat = 0, lon = 0, h = 0, toE = 0, toN = 0;  // the result, when converted
};

std::vector<Reference> ReferencesOf(const char* file) {
    std::vector<Reference> out;
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile(file)) {
        if ((r[0] != "ED50-WGS84" && r[0] != "WGS84-ED50") ||
            (r[1] != "both" && r[1] != "degrees"))
            throw std::runtime_error(r.where + ": no direction or form " + r[0] + " " + r[1]);
        Reference c;
        c.where = r.where, c.set = r[5], c.utmToo = r[1] == "both";
        c.direction = r[0] == "ED50-WGS84" ? Direction::ED50ToWGS84 : Direction::WGS84ToED50;
        c.typed = {r.Number(2), r.Number(3), r.Number(4)};
        c.zone = r[6];
        c.typedUtm = {r.Number(7), r.Number(8), static_cast<std::int16_t>(std::stoi(r[6])), c.typed.h};
        if (c.set != "outside-area" && c.set != "outside-zones") {
            c.lat = r.Number(9), c.lon = r.Number(10), c.h = r.Number(11);
            c.toZone = r[12], c.toE = r.Number(13), c.toN = r.Number(14);
        }
        out.push_back(c);
    }
    return out;
}

// How far the core may be from PROJ: the degrees, the height and the easting and
// northing of the results (PROJ scales the Helmert rotations too and inverts the Helmert
// and Molodensky steps its own way); the mirror, the projection alone, within 1 mm.
struct Tolerance {
    double degrees, height, metres;
};

void ExpectResult(const core::Result& r, const Reference& c, Tolerance t) {
    if (c.set == "outside-zones" || c.set == "outside-area") {
        EXPECT_EQ(r.status, c.set == "outside-zones" ? Status::OutsideZones : Status::OutsideArea);
        EXPECT_FALSE(r.set || r.point || r.utm || r.error);
        return;
    }
    ASSERT_EQ(r.status, Status::Converted);
    ASSERT_TRUE(r.set && r.point && r.utm);
    EXPECT_EQ(core::NameOf(*r.set), c.set);
    EXPECT_NEAR(r.point->lat, c.lat, t.degrees);
    EXPECT_NEAR(r.point->lon, c.lon, t.degrees);
    EXPECT_NEAR(r.point->h, c.h, t.height);
    EXPECT_EQ(r.utm->zoneText, c.toZone);
    EXPECT_NEAR(r.utm->E, c.toE, t.metres);
    EXPECT_NEAR(r.utm->N, c.toN, t.metres);
}

// The core's one-point and batch calls of "Bursa Wolf 7p", or of "Molodensky 3p" with
// the set a record names.
struct Method {
    bool helmert;
    static MolodenskySet SetOf(const std::string& set) {
        return set == "IGN" ? MolodenskySet::IGN : MolodenskySet::NIMA;
    }
    template <typename Input>
    auto One(const Input& p, Direction d, const std::string& set) const {
        return helmert ? core::Helmert(p, d) : core::Molodensky(p, d, SetOf(set));
    }
    template <typename Input>
    std::vector<core::Result> Batch(const std::vector<Input>& p, Direction d,
                                       const std::string& set) const {
        std::vector<core::PointResult> out(p.size());
        helmert ? core::Helmert(p, d, out) : core::Molodensky(p, d, SetOf(set), out);
        std::vector<core::Result> results;
        for (const auto& r : out) results.push_back(core::ResultOf(r));
        return results;
    }
};

// Every record of `file`, typed in degrees and, where it says so, in UTM (PROJ's
// projection of the typed point), one point at a time and in batches of the records of
// one direction (and Molodensky set): the status, set, mirror, point and projection PROJ
// gives.
void ExpectMeetsProj(const char* file, Method method, Tolerance t) {
    const std::vector<Reference> references = ReferencesOf(file);
    std::map<std::pair<Direction, MolodenskySet>, std::vector<const Reference*>> batches;
    for (const Reference& c : references) {
        SCOPED_TRACE(c.where);
        batches[{c.direction, Method::SetOf(c.set)}].push_back(&c);
        const auto g = method.One(c.typed, c.direction, c.set);
        ASSERT_TRUE(g.mirror);
        EXPECT_EQ(g.mirror->zoneText, c.zone);
        EXPECT_NEAR(g.mirror->E, c.typedUtm.E, 0.001);
        EXPECT_NEAR(g.mirror->N, c.typedUtm.N, 0.001);
        ExpectResult(g, c, t);
        if (!c.utmToo) continue;
        SCOPED_TRACE("typed in UTM");
        const auto u = method.One(c.typedUtm, c.direction, c.set);
        ASSERT_TRUE(u.mirror);
        EXPECT_NEAR(u.mirror->lat, c.typed.lat, 1e-8);
        EXPECT_NEAR(u.mirror->lon, c.typed.lon, 1e-8);
        ExpectResult(u, c, t);
    }
    for (const auto& [key, batch] : batches) {
        std::vector<core::GeographicInput> g;
        std::vector<core::UtmInput> u;
        std::vector<const Reference*> inUtm;
        for (const Reference* c : batch) {
            g.push_back(c->typed);
            if (c->utmToo) u.push_back(c->typedUtm), inUtm.push_back(c);
        }
        const std::string& set = batch.front()->set;
        const auto gr = method.Batch(g, key.first, set), ur = method.Batch(u, key.first, set);
        for (std::size_t i = 0; i < g.size(); ++i) {
            SCOPED_TRACE(batch[i]->where + ", batch");
            ExpectResult(gr[i], *batch[i], t);
        }
        for (std::size_t i = 0; i < u.size(); ++i) {
            SCOPED_TRACE(inUtm[i]->where + ", batch typed in UTM");
            ExpectResult(ur[i], *inUtm[i], t);
        }
    }
}

}  // namespace

// tests/data/helmert.txt: "Bursa Wolf 7p" against PROJ's Helmert with the IGN's regional
// sets, at places of Spain and Baleares, at the ends of each set's area and 0,1 m either
// side of its lines, where the result falls in the next zone, and outside (Canarias, the
// sea beyond the area). The linear Helmert and its first-order inverse stay within a
// millimetre of PROJ in position, 3 mm in height.
TEST(ConversionCore, HelmertMeetsProjOnEveryReferencePoint) {
    ExpectMeetsProj("helmert.txt", Method{true}, {1e-8, 0.005, 0.001});
}

// tests/data/molodensky.txt: "Molodensky 3p" against PROJ's standard Molodensky with the
// IGN and NIMA sets, both ways, at places of Spain, outside the Helmert sets' area and
// where the result falls in the next zone, within half a millimetre; outside zones 29-31
// nothing is converted.
TEST(ConversionCore, MolodenskyMeetsProjOnEveryReferencePoint) {
    ExpectMeetsProj("molodensky.txt", Method{false}, {5e-9, 0.0001, 0.001});
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
