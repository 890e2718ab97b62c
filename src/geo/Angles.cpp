#include "geo/Angles.h"

#include <cmath>

#include "num/Number.h"
#include "num/RuntimeError.h"

namespace geo {

double Sec(double x) { return num::Div(1, std::cos(x)); }

DMS DegToDMSParts(double value) {
    num::Finite(value, "DegToDMS");
    double s = std::fabs(value);
    DMS r;
    r.deg = num::CInt(num::Int(s));
    r.min = num::CInt(num::Int((s - r.deg) * 60));
    r.sec = ((s - r.deg) * 60 - r.min) * 60;
    // Carry the seconds that round to 60 at the four decimals the results and the fields
    // show, the rounding noise of values such as 40.99999999; 59,9995" stays.
    if (r.sec >= 59.9999 && num::Round(r.sec, 4) == 60) {
        r.sec = 0;
        r.min = static_cast<std::int16_t>(r.min + 1);
    }
    if (r.min == 60) {
        r.min = 0;
        if (r.deg == 32767) throw num::Overflow("DegToDMS");
        r.deg = static_cast<std::int16_t>(r.deg + 1);
    }
    return r;
}

DMS DegToDMS(double value) {
    DMS r = DegToDMSParts(value);
    r.text = (value < 0 ? "-" : "") + num::Format(r.deg, "00º ") + num::Format(r.min, "00' ") +
             num::Format(num::Round(r.sec, 2), "00.00''");
    return r;
}

}  // namespace geo
