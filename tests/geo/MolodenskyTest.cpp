#include "geo/Molodensky.h"

#include <gtest/gtest.h>

#include "geo/Ellipsoid.h"
#include "num/RuntimeError.h"

using namespace mGeo;

// Reference: PROJ 9.1.1 standard (not abridged) Molodensky on the International
// ellipsoid, da = −251, df = 1/298.257223563 − 1/297, e.g. for IGN
//   echo "-3.7 40.4 600" | cct -d 10 +proj=molodensky +ellps=intl +dx=-87.835
//     +dy=-105.771 +dz=-122.5 +da=-251 +df=-1.4192702255886366e-05
// PROJ derives e² from 1/297 instead of the stored value (7e-15 apart) and works in
// radians rather than arc-seconds; both change the shift far below 1e-9 degrees.
TEST(Molodensky, ShiftsMatchProjForBothSets) {
    InitEllipsoids();
    struct Case {
        MolodenskyParams set;
        double lat, lon, h;
    } cases[] = {
        {IGN, 40.3988199572, -3.7013099147, 671.7462343786},
        {NIMA, 40.3988143032, -3.7013214446, 676.3413438657},
    };
    for (const Case& c : cases) {
        MolodenskyShifts s = MolodenskyShift(40.4, -3.7, 600, c.set);
        EXPECT_NEAR(40.4 + s.dLatSec / 3600, c.lat, 1e-9);
        EXPECT_NEAR(-3.7 + s.dLonSec / 3600, c.lon, 1e-9);
        EXPECT_NEAR(600 + s.dH, c.h, 1e-4);
    }
}

TEST(Molodensky, HeightCancellingARadiusRaisesTheDivisionError) {
    InitEllipsoids();
    const Ellipsoid& ed50 = Ellipsoids[kED50];
    auto number = [](double h) {
        try {
            MolodenskyShift(0, 0, h, IGN);
        } catch (const num::RuntimeError& e) {
            return e.Number();
        }
        return 0;
    };
    // At the equator M = a(1 − e²) and N = a exactly.
    EXPECT_EQ(number(-ed50.A * (1 - ed50.E2)), 11);
    EXPECT_EQ(number(-ed50.A), 11);
}
