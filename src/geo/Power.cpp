// Fast path for whole powers, bit-identical to the run-time power function.
//
// x^k is formed exactly enough (double-double with fused multiply-add, relative error
// below 2^-100) to know how far it lies from the nearest double r. When it lies within
// 0.44 ulp of r, any pow whose error stays below 0.54 ulp (the worst case glibc states
// for its pow, which is not correctly rounded, so x * x is not the same thing) must
// return r, since every other double is more than 0.56 ulp away. Otherwise, and for
// arguments whose powers could leave the normal range, num::Pow itself is called.
// About one power in eight takes that slow path.
#include "geo/Power.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "num/Number.h"

namespace mGeo::detail {
namespace {

// The fused multiply-add is a single instruction where the processor has it and an
// exact library routine elsewhere; the result is the same either way.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define TALPOR_FMA_CLONES __attribute__((target_clones("fma", "default")))
#else
#define TALPOR_FMA_CLONES
#endif

// True when the double-double value hi + lo (|lo| <= ulp(hi)) rounds to r = hi + lo
// with the exact value safely away from the midpoints around r.
inline bool SafelyRounded(double r, double t) {
    std::uint64_t bits;
    std::memcpy(&bits, &r, sizeof bits);
    const std::uint64_t exponent = bits & 0x7ff0000000000000ULL;
    // A power of two has a closer neighbour below it: leave it to the slow path.
    if ((bits & 0x000fffffffffffffULL) == 0) return false;
    double ulp;
    const std::uint64_t ulpBits = exponent - (52ULL << 52);
    std::memcpy(&ulp, &ulpBits, sizeof ulp);
    return std::fabs(t) < 0.44 * ulp;
}

TALPOR_FMA_CLONES void Powers(double x, int maxN, double* out) {
    const double ax = std::fabs(x);
    // Keeps x^7 and the error terms of the products normal.
    if (!(ax >= 0x1p-100 && ax <= 0x1p100)) {
        for (int k = 2; k <= maxN; ++k) out[k] = num::Pow(x, k);
        return;
    }
    double hi = x, lo = 0;
    for (int k = 2; k <= maxN; ++k) {
        const double p = hi * x;
        const double e = __builtin_fma(hi, x, -p);  // exact error of the product
        const double l = __builtin_fma(lo, x, e);
        const double r = p + l;
        const double t = (p - r) + l;  // exact remainder, |l| is tiny next to |p|
        hi = r;
        lo = t;
        out[k] = SafelyRounded(r, t) ? r : num::Pow(x, k);
    }
}

}  // namespace

void IntPowers(double x, int maxN, double* out) {
    Powers(x, maxN, out);
}

double SquareByPow(double x) { return num::Pow(x, 2); }

}  // namespace mGeo::detail
