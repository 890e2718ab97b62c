// The batch conversions against the one-point calls: every value of every answer, bit
// for bit, over random points in and around Spain with a few that fail, for both
// methods, both directions and both input forms.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include "convert/Core.h"
#include "geo/mGeo.h"

namespace {

using convert::Direction;
using convert::GeographicInput;
using convert::MolodenskySet;
using convert::PointResult;
using convert::UtmInput;

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Every value of the batch answer `b` against the one-point answer `r`.
testing::AssertionResult Same(const convert::Result& r, const PointResult& b) {
    auto differs = [](const char* what) { return testing::AssertionFailure() << what << " differs"; };
    if (r.status != b.status) return differs("status");
    if (r.set.has_value() != b.hasSet || (r.set && *r.set != b.set)) return differs("set");
    if (r.point.has_value() != b.hasPoint) return differs("point");
    if (r.point && (Bits(r.point->lat) != Bits(b.point.lat) || Bits(r.point->lon) != Bits(b.point.lon) ||
                    Bits(r.point->h) != Bits(b.point.h)))
        return differs("point");
    if (r.utm.has_value() != b.hasUtm) return differs("utm");
    if (r.utm && (Bits(r.utm->E) != Bits(b.E) || Bits(r.utm->N) != Bits(b.N) ||
                  r.utm->zone != b.zone || r.utm->zoneText != convert::ZoneText(b)))
        return differs("utm");
    if (r.error.has_value() != (b.error != 0) || (r.error && r.error->Number() != b.error))
        return differs("error");
    return testing::AssertionSuccess();
}

// Points in and around Spain (outside the zones and the Helmert area too), and every
// 500th one that fails or takes the slow zone test.
std::vector<GeographicInput> GeographicPoints(std::size_t n, std::mt19937_64& random) {
    std::uniform_real_distribution<double> lat(26, 46), lon(-20, 8), h(-100, 3500);
    const double nan = std::nan("");
    const GeographicInput odd[] = {{40, -3, 1e300}, {nan, -3, 0}, {1e308, -3, 0}, {40, 361.5, 0},
                                   {-91, -3, 0},    {40.4, -3.7, -6.4e6}};
    std::vector<GeographicInput> v;
    for (std::size_t i = 0; i < n; ++i)
        v.push_back(i % 500 == 7 ? odd[i / 500 % std::size(odd)]
                                 : GeographicInput{lat(random), lon(random), h(random)});
    return v;
}

std::vector<UtmInput> UtmPoints(std::size_t n, std::mt19937_64& random) {
    std::uniform_real_distribution<double> E(150000, 850000), N(3800000, 4950000), h(-100, 3500);
    std::uniform_int_distribution<int> zone(28, 32);
    const UtmInput odd[] = {{500000, 4400000, 32767, 0}, {1e300, 4400000, 30, 0},
                            {500000, 4400000, 30, 1e300}};
    std::vector<UtmInput> v;
    for (std::size_t i = 0; i < n; ++i)
        v.push_back(i % 500 == 7 ? odd[i / 500 % std::size(odd)]
                                 : UtmInput{E(random), N(random),
                                            static_cast<std::int16_t>(zone(random)), h(random)});
    return v;
}

}  // namespace

// 106,000 points in all: 40,000 through the Helmert batch that ships geographic WGS84
// points in two threads, 6,000 through each of the other eleven.
TEST(ConversionBatch, EveryAnswerEqualsTheOnePointCallBitForBit) {
    std::mt19937_64 random(20240613);
    for (const Direction direction : {Direction::WGS84ToED50, Direction::ED50ToWGS84}) {
        for (const char* method : {"Helmert", "IGN", "NIMA"}) {
            SCOPED_TRACE(testing::Message() << method << ", tab " << int(direction));
            const bool helmert = method[0] == 'H';
            const MolodenskySet set = method[0] == 'I' ? MolodenskySet::IGN : MolodenskySet::NIMA;
            const bool large = helmert && direction == Direction::WGS84ToED50;

            const auto geographic = GeographicPoints(large ? 40000 : 6000, random);
            std::vector<PointResult> out(geographic.size());
            if (helmert) convert::Helmert(geographic, direction, out, large ? 2 : 1);
            else convert::Molodensky(geographic, direction, set, out);
            int converted = 0;
            for (std::size_t i = 0; i < geographic.size(); ++i) {
                const auto one = helmert ? convert::Helmert(geographic[i], direction)
                                         : convert::Molodensky(geographic[i], direction, set);
                ASSERT_TRUE(Same(one, out[i])) << "geographic point " << i;
                converted += one.status == convert::Status::Converted;
            }
            EXPECT_GT(converted, int(geographic.size()) / 4);

            const auto utm = UtmPoints(6000, random);
            out.assign(utm.size(), PointResult{});
            if (helmert) convert::Helmert(utm, direction, out, 1);
            else convert::Molodensky(utm, direction, set, out, 1);
            for (std::size_t i = 0; i < utm.size(); ++i) {
                const auto one = helmert ? convert::Helmert(utm[i], direction)
                                         : convert::Molodensky(utm[i], direction, set);
                ASSERT_TRUE(Same(one, out[i])) << "UTM point " << i;
            }
        }
    }
    std::vector<PointResult> shorter(1);
    EXPECT_THROW(convert::Helmert(std::vector<GeographicInput>(2), Direction::WGS84ToED50, shorter),
                 std::invalid_argument);
}
