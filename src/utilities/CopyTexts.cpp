#include "utilities/CopyTexts.h"

#include <cmath>

#include "fields/Fields.h"
#include "geo/Ellipsoid.h"
#include "geo/Utm.h"
#include "num/RuntimeError.h"
#include "utilities/PointFields.h"

namespace utilities {
namespace {

std::string AngleLine(const form::FormModel& form, const char* what, SexagesimalFields f,
                      const char* hemisphere) {
    auto text = [&](int index) { return form.Get("TxtWGSg", index).text; };
    return std::string(what) + " " + text(f.deg) + "º " + text(f.min) + "' " + text(f.sec) + "\" " +
           hemisphere;
}

text::CopyTexts PointTexts(const form::FormModel& form, bool one) {
    const SexagesimalFields lat = one ? kPoint1Latitude : kPoint2Latitude;
    const SexagesimalFields lon = one ? kPoint1Longitude : kPoint2Longitude;
    const bool south = one ? Point1IsSouth(form) : Point2IsSouth(form);
    const bool west = one ? Point1IsWest(form) : Point2IsWest(form);
    text::CopyTexts t;
    t.datum = "WGS84";
    t.result = AngleLine(form, "Latitud", lat, south ? "S" : "N") + "\n" +
               AngleLine(form, "Longitud", lon, west ? "W" : "E");
    // The point only from fields whose checks it has passed, and only when the whole
    // angles are angles (90º 30' passes each field's check and is no latitude).
    for (const SexagesimalFields& f : {lat, lon})
        for (int index : {f.deg, f.min, f.sec})
            if (!fields::HoldsCheckedValue(form, form.Get("TxtWGSg", index))) return t;
    try {
        const double latDeg = ReadAngle(form, lat, south);
        const double lonDeg = ReadAngle(form, lon, west);
        if (std::fabs(latDeg) > 90 || std::fabs(lonDeg) > 180) return t;
        text::SetDegreesTexts(t, latDeg, lonDeg);
        const geo::UTMPoint u = geo::GeoToUTM(latDeg, lonDeg, geo::Ellipsoids[geo::kWGS84]);
        text::SetUtmText(t, latDeg, u.zoneText, u.E, u.N);
    } catch (const num::RuntimeError&) {
        // A field that cannot be read: only the lines as shown.
    }
    return t;
}

}  // namespace

std::optional<text::CopyTexts> UtilitiesCopyTexts(form::FormModel& form, const form::Control& control) {
    for (const form::Control* c = &control; c != nullptr; c = form.Container(*c)) {
        const std::string frame = c->id.Text();
        if (frame == "Frame1(2)" || frame == "Frame1(3)") return PointTexts(form, frame == "Frame1(2)");
    }
    const std::string& n = control.id.name;
    if (n == "LblDist" || n == "LblGeodesica" || n == "LblOrto" || n == "LblCulmin" ||
        n == "LblOcaso") {
        text::CopyTexts t;
        if (control.stale) return t;
        t.result = control.text + (control.toolTip.empty() ? "" : "\n" + control.toolTip);
        return t;
    }
    return std::nullopt;
}

}  // namespace utilities
