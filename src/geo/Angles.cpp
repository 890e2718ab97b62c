#include "geo/Angles.h"

#include <cmath>

#include "geo/Ellipsoid.h"
#include "geo/EllipsoidConstants.h"
#include "num/Number.h"
#include "num/RuntimeError.h"

namespace mGeo {

std::array<Ellipsoid, 3> Ellipsoids;

void InitEllipsoids() {
    Ellipsoids = {{
        {"WGS84", 6378137, 0.00669437999014, 298.257223563},
        {"International ED50", 6378388, 0.00672267002234, 297},
        {"GRS80", 6378137, 0.0066943800229034, 298.25722210088},
    }};
    detail::DeriveTableConstants();
}

double Sec(double x) { return num::Div(1, std::cos(x)); }

DMS DegToDMS(double value) {
    num::Finite(value, "DegToDMS");
    bool negative = value < 0;
    double s = std::fabs(value);
    DMS r;
    r.deg = num::CInt(num::Int(s));
    r.min = num::CInt(num::Int((s - r.deg) * 60));
    r.sec = ((s - r.deg) * 60 - r.min) * 60;
    // Carry the rounding noise of values such as 40.99999999.
    if (std::fabs(r.sec - 60) < 0.001) {
        r.sec = 0;
        r.min = static_cast<std::int16_t>(r.min + 1);
    }
    if (r.min == 60) {
        r.min = 0;
        if (r.deg == 32767) throw num::Overflow("DegToDMS");
        r.deg = static_cast<std::int16_t>(r.deg + 1);
    }
    r.text = (negative ? "-" : "") + num::Format(r.deg, "00º ") + num::Format(r.min, "00' ") +
             num::Format(num::Round(r.sec, 2), "00.00''");
    return r;
}

}  // namespace mGeo
