// Fast path for whole powers, bit-identical to the run-time power function (see
// Power.h for why the test is sound).
#include "geo/Power.h"

#include "num/Number.h"

namespace geo::detail {
namespace {

TALPOR_FMA_CLONES void Powers(double x, int maxN, double* out) {
    switch (maxN) {
        case 2: IntPowersInline<2>(x, out); break;
        case 3: IntPowersInline<3>(x, out); break;
        case 4: IntPowersInline<4>(x, out); break;
        case 5: IntPowersInline<5>(x, out); break;
        case 6: IntPowersInline<6>(x, out); break;
        case 7: IntPowersInline<7>(x, out); break;
        default: break;
    }
}

}  // namespace

void IntPowers(double x, int maxN, double* out) {
    Powers(x, maxN, out);
}

double PowByRuntime(double x, double y) { return num::Pow(x, y); }

}  // namespace geo::detail
