// Whole powers x^2 .. x^7 that return exactly what the run-time power function
// (num::Pow) returns, only faster. Private to the geodetic library.
//
// x^k is formed exactly enough (double-double, relative error below 2^-100) to know
// how far it lies from the nearest double r. When it lies within 0.44 ulp of r, any
// pow whose error stays below 0.54 ulp (the worst case glibc states for its pow,
// which is not correctly rounded, so x * x is not the same thing) must return r,
// since every other double is more than 0.56 ulp away. Otherwise, and for arguments
// whose powers could leave the normal range, num::Pow itself is called. About one
// power in eight takes that slow path.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// The fused multiply-add is a single instruction where the processor has it and an
// exact library routine elsewhere; the result is the same either way. Functions that
// form powers inline are compiled twice and the processor picks its version.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define TALPOR_FMA_CLONES __attribute__((target_clones("fma", "default")))
#else
#define TALPOR_FMA_CLONES
#endif

namespace geo::detail {

// out[k] = num::Pow(x, k) for k = 2..maxN (maxN <= 7); out[0], out[1] are untouched.
void IntPowers(double x, int maxN, double* out);

// num::Pow(x, y) itself: the slow path of the powers below.
double PowByRuntime(double x, double y);

// True when the double-double value r + t (|t| <= ulp(r)) lies within `within` ulp of r.
constexpr bool SafelyRounded(double r, double t, double within = 0.44) {
    const auto bits = std::bit_cast<std::uint64_t>(r);
    // A power of two has a closer neighbour below it: leave it to the slow path.
    if ((bits & 0x000fffffffffffffULL) == 0) return false;
    const double ulp = std::bit_cast<double>((bits & 0x7ff0000000000000ULL) - (52ULL << 52));
    return (t < 0 ? -t : t) < within * ulp;
}

// IntPowers for a fixed MaxN, inline, for callers compiled with TALPOR_FMA_CLONES
// (elsewhere each fused multiply-add is a library call).
template <int MaxN>
[[gnu::always_inline]] inline void IntPowersInline(double x, double* out) {
    static_assert(MaxN >= 2 && MaxN <= 7);
    const double ax = std::fabs(x);
    // Keeps x^7 and the error terms of the products normal.
    if (!(ax >= 0x1p-100 && ax <= 0x1p100)) [[unlikely]] {
        for (int k = 2; k <= MaxN; ++k) out[k] = PowByRuntime(x, k);
        return;
    }
    double hi = x, lo = 0;
    for (int k = 2; k <= MaxN; ++k) {
        const double p = hi * x;
        const double e = __builtin_fma(hi, x, -p);  // exact error of the product
        const double l = __builtin_fma(lo, x, e);
        const double r = p + l;
        const double t = (p - r) + l;  // exact remainder, |l| is tiny next to |p|
        hi = r;
        lo = t;
        out[k] = SafelyRounded(r, t) ? r : PowByRuntime(x, k);
    }
}

// num::Pow(x, 2), the same double. Inline because the latitude iterations square on
// every step: x * x is returned when its exact rounding error (Dekker's product of the
// Veltkamp halves of x, exact for 2^-100 <= |x| <= 2^100, no fused multiply-add
// needed) is below 0.44 ulp; otherwise, about one square in eight, the power
// function is asked.
inline double Square(double x) {
    const double p = x * x;
    const double ax = std::fabs(x);
    if (ax >= 0x1p-100 && ax <= 0x1p100) {
        const double c = 134217729.0 * x;  // 2^27 + 1
        const double hi = c - (c - x);
        const double lo = x - hi;
        const double err = lo * lo - (((p - hi * hi) - lo * hi) - hi * lo);
        if (SafelyRounded(p, err)) return p;
    }
    return PowByRuntime(x, 2);
}

// num::Pow(x, k) for k = 2 or 3 while the program is compiled: the double-double powers
// of IntPowersInline, with Dekker's exact product of Veltkamp halves for the fused
// multiply-add a constant expression cannot use (exact for 2^-100 <= |x| <= 2^100).
// With no slow path to fall back on, the bound is 0.45 ulp: every other double is then
// more than 0.55 ulp away, still beyond pow's 0.54 (GRS80's n³ lies 0.445 ulp from its
// double). A power farther from a double is pow's alone to round: it is no constant,
// and the program does not compile.
consteval double CompileTimePower(double x, int k) {
    const auto split = [](double v, double& hi, double& lo) {
        const double c = 134217729.0 * v;  // 2^27 + 1
        hi = c - (c - v);
        lo = v - hi;
    };
    double xh, xl;
    split(x, xh, xl);
    double hi = x, lo = 0;
    for (int j = 2; j <= k; ++j) {
        double hh, hl;
        split(hi, hh, hl);
        const double p = hi * x;
        const double e = hl * xl - (((p - hh * xh) - hl * xh) - hh * xl);
        const double l = lo * x + e;
        const double r = p + l;
        lo = (p - r) + l;
        hi = r;
    }
    const double ax = x < 0 ? -x : x;
    if (!(k >= 2 && k <= 3 && ax >= 0x1p-100 && ax <= 0x1p100 && SafelyRounded(hi, lo, 0.45)))
        throw "the power is not a compile-time constant";
    return hi;
}

// num::Pow(w, -0.5) and num::Pow(w, -1.5), the same doubles, for the radii of
// curvature (w = 1 − e² sin² φ), for callers compiled with TALPOR_FMA_CLONES. Both
// are formed from the square root: with s = √w rounded, y = 1 / s rounded and their
// exact residuals ρ = 1 − s y and ε = w − s² (fused multiply-adds), w^−½ is
// y (1 + ρ − ε y² / 2) and w^−3/2 is y³ (1 + 3 ρ − 3 ε y² / 2), each to a relative
// error below 2^−100. A value within 0.44 ulp of a double is that double, as for the
// whole powers above; otherwise, and for w outside 2^−100..2^100, the power function
// is asked.
[[gnu::always_inline]] inline void InverseRootPowers(double w, double& m05, double& m15) {
    if (!(w >= 0x1p-100 && w <= 0x1p100)) [[unlikely]] {
        m05 = PowByRuntime(w, -0.5);
        m15 = PowByRuntime(w, -1.5);
        return;
    }
    const double s = std::sqrt(w);
    const double y = 1 / s;
    const double rho = __builtin_fma(-s, y, 1);
    const double eps = __builtin_fma(-s, s, w);
    const double c = rho - 0.5 * eps * y * y;  // relative correction of y, |c| < 2^-50

    const double lo05 = y * c;
    const double r05 = y + lo05;
    const double t05 = (y - r05) + lo05;
    m05 = SafelyRounded(r05, t05) ? r05 : PowByRuntime(w, -0.5);

    // y³ as a double-double, then the correction 3 c.
    const double y2 = y * y;
    const double y2e = __builtin_fma(y, y, -y2);
    const double y3 = y2 * y;
    const double y3e = __builtin_fma(y2, y, -y3) + y2e * y;
    const double lo15 = y3e + y3 * (3 * c);
    const double r15 = y3 + lo15;
    const double t15 = (y3 - r15) + lo15;
    m15 = SafelyRounded(r15, t15) ? r15 : PowByRuntime(w, -1.5);
}

}  // namespace geo::detail
