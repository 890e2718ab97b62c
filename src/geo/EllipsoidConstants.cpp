#include "geo/EllipsoidConstants.h"

#include <cstring>

#include "geo/Power.h"
#include "num/Number.h"

namespace mGeo::detail {
namespace {

struct TableEntry {
    bool valid = false;
    double A = 0, E2 = 0, InvF = 0;  // the record the constants were derived from
    EllipsoidConstants c;
};

// Written only by DeriveTableConstants (start-up), read by every projection.
TableEntry table[3];

bool SameBits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

}  // namespace

EllipsoidConstants DeriveConstants(const Ellipsoid& ell) {
    EllipsoidConstants c;
    c.a = ell.A;
    c.e2 = ell.E2;
    const double f = num::Div(1, ell.InvF);
    c.b = c.a * (1 - f);
    c.n = num::Div(c.a - c.b, c.a + c.b);
    const double n = c.n;
    double pn[4];
    IntPowers(n, 3, pn);
    const double n2 = pn[2];
    const double n3 = pn[3];
    c.arc1 = 1 + n + 5.0 / 4 * n2 + 5.0 / 4 * n3;
    c.arc2 = 3 * n + 3 * n2 + 21.0 / 8 * n3;
    c.arc3 = 15.0 / 8 * n2 + 15.0 / 8 * n3;
    c.arc4 = 35.0 / 24 * n3;
    c.bk0 = c.b * kK0;
    c.ak0 = c.a * kK0;
    c.ak0e = c.a * kK0 * (1 - c.e2);
    return c;
}

void DeriveTableConstants() {
    for (std::size_t i = 0; i < Ellipsoids.size(); ++i) {
        const Ellipsoid& ell = Ellipsoids[i];
        table[i].valid = false;
        table[i].c = DeriveConstants(ell);
        table[i].A = ell.A;
        table[i].E2 = ell.E2;
        table[i].InvF = ell.InvF;
        table[i].valid = true;
    }
}

const EllipsoidConstants& ConstantsOf(const Ellipsoid& ell, EllipsoidConstants& scratch) {
    for (const TableEntry& e : table) {
        if (e.valid && SameBits(e.A, ell.A) && SameBits(e.E2, ell.E2) &&
            SameBits(e.InvF, ell.InvF))
            return e.c;
    }
    scratch = DeriveConstants(ell);
    return scratch;
}

}  // namespace mGeo::detail
