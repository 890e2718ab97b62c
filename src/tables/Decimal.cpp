#include "tables/Decimal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "num/Number.h"

namespace batch {
namespace {

constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

// |x| rounded to a whole number of 10^-decimals, as the 15-digit rounding decides it;
// nullopt near a half, where only the 15-digit form can tell (and where halves to even
// and away from zero part), and for large values.
// The 15-digit form lies within 5e-14 |t| of t = |x| 10^decimals, and t itself is
// computed within 2^-53 |t|: farther than 1e-12 |t| from a half, both round alike.
std::optional<std::int64_t> Units(double x, int decimals) {
    const double t = std::fabs(x) * kPow10[decimals];
    if (!(t < 1e9)) return std::nullopt;
    const double whole = std::floor(t);
    const double fraction = t - whole;
    const double margin = 1e-12 * std::max(t, 1.0);
    if (std::fabs(fraction - 0.5) <= margin) return std::nullopt;
    return static_cast<std::int64_t>(whole) + (fraction > 0.5 ? 1 : 0);
}

}  // namespace

double Round(double x, int decimals) {
    if (x == 0) return x;  // num::Round keeps the sign of a zero
    const std::optional<std::int64_t> q = Units(x, decimals);
    if (!q) return num::Round(x, decimals);
    if (*q == 0) return 0.0;
    // Both numbers are exact in binary, so the quotient is the double nearest to
    // q 10^-decimals, as num::Round reads its digits back.
    const double v = static_cast<double>(*q) / kPow10[decimals];
    return x < 0 ? -v : v;
}

void AppendRounded(std::string& out, double x, int decimals, char decimalSign) {
    const std::optional<std::int64_t> q = Units(x, decimals);
    if (!q) {
        num::Separators separators;
        separators.decimal = std::string(1, decimalSign);
        separators.thousands.clear();
        out += num::Format(num::Round(x, decimals), "0." + std::string(static_cast<std::size_t>(decimals), '0'),
                           separators);
        return;
    }
    // Written backwards into a buffer, then appended at once.
    char text[32];
    char* p = text + sizeof text;
    std::int64_t v = *q;
    for (int i = 0; i < decimals; ++i, v /= 10) *--p = static_cast<char>('0' + v % 10);
    *--p = decimalSign;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (*q != 0 && x < 0) *--p = '-';
    out.append(p, static_cast<std::size_t>(text + sizeof text - p));
}

}  // namespace batch
