#include "convert/Captions.h"

#include <cmath>

#include "geo/Angles.h"
#include "geo/Molodensky.h"
#include "num/Number.h"

namespace convert {
namespace {

// The EUREF accuracy of the regional Helmert sets, the same on every axis.
constexpr std::string_view kHelmertAccuracy = "  ±1,5m";

// 40º 25' 3,1234 (degrees and minutes never negative; the caller appends the sign).
std::string DMSCaption(double value) {
    const mGeo::DMS d = mGeo::DegToDMS(value);
    return num::Format(std::abs(d.deg), "#,##0º ") + num::Format(d.min, "#,##0' ") +
           num::Format(num::Round(d.sec, 4), kSecondsPattern);
}

}  // namespace

Accuracy AccuracyOf(ParameterSet set) {
    switch (set) {
        case ParameterSet::IGN:
            return {mGeo::IGN.PrecX, mGeo::IGN.PrecY, mGeo::IGN.PrecZ};
        case ParameterSet::NIMA:
            return {mGeo::NIMA.PrecX, mGeo::NIMA.PrecY, mGeo::NIMA.PrecZ};
        case ParameterSet::EST99:
        case ParameterSet::ZNW99:
        case ParameterSet::BAL99:
            break;
    }
    return {kHelmertAccuracy, kHelmertAccuracy, kHelmertAccuracy};
}

std::string LatitudeCaption(double lat) {
    return DMSCaption(lat) + "\" N";
}

std::string LongitudeCaption(double lon) {
    return DMSCaption(lon) + (lon < 0 ? "\" W" : "\" E");
}

std::string HeightCaption(double h, std::string_view accuracy) {
    return "Altura sobre el elipsoide = " + num::Format(num::Round(h, 1), "#,##0.0") +
           std::string(accuracy);
}

std::string EastingCaption(double E, std::string_view accuracy) {
    return "E= " + num::Format(num::Round(E, 2), kMetresPattern) + std::string(accuracy);
}

std::string NorthingCaption(double N, std::string_view accuracy) {
    return "N= " + num::Format(num::Round(N, 2), kMetresPattern) + std::string(accuracy);
}

std::string ZoneCaption(std::string_view zoneText) {
    return "Huso= " + std::string(zoneText);
}

}  // namespace convert
