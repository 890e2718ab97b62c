#include "core/Captions.h"

#include <cmath>

#include "geo/Angles.h"
#include "geo/Molodensky.h"
#include "num/Number.h"

namespace core {
namespace {

// The EUREF accuracy of the regional Helmert sets, the same on every axis.
constexpr std::string_view kHelmertAccuracy = "  ±1,5m";
// The EPSG accuracy of the three IGN grids.
constexpr std::string_view kGridAccuracy = "  ±0,2m";

constexpr std::string_view kAltitude = "Altitud (EGM08-REDNAP)";

// The parts in one string, sized once: a caption outgrows the small-string buffer
// at most once.
template <typename... Parts>
std::string Joined(const Parts&... parts) {
    std::string s;
    s.reserve((std::string_view(parts).size() + ...));
    (s.append(parts), ...);
    return s;
}

// 40º 25' 3,1234" followed by the hemisphere (degrees and minutes never negative).
void AppendDMS(std::string& out, double value, std::string_view hemisphere) {
    const geo::DMS d = geo::DegToDMSParts(value);
    const num::Separators& separators = num::RegionalSeparators();
    // Format(deg, "#,##0º "), Format(min, "#,##0' ") and Format(Round(sec, 4), kSecondsPattern).
    num::AppendRounded(out, std::abs(d.deg), 0, separators.decimal, separators.thousands);
    out += "º ";
    num::AppendRounded(out, d.min, 0, separators.decimal, separators.thousands);
    out += "' ";
    num::AppendRounded(out, d.sec, 4, separators.decimal, separators.thousands);
    out += hemisphere;
}

}  // namespace

Accuracy AccuracyOf(ParameterSet set) {
    switch (set) {
        case ParameterSet::IGN:
            return {geo::IGN.PrecX, geo::IGN.PrecY, geo::IGN.PrecZ};
        case ParameterSet::NIMA:
            return {geo::NIMA.PrecX, geo::NIMA.PrecY, geo::NIMA.PrecZ};
        case ParameterSet::SPED2ETV2:
        case ParameterSet::PENR2009:
        case ParameterSet::BALR2009:
            return {kGridAccuracy, kGridAccuracy, ""};
        case ParameterSet::EST99:
        case ParameterSet::ZNW99:
        case ParameterSet::BAL99:
            break;
    }
    return {kHelmertAccuracy, kHelmertAccuracy, kHelmertAccuracy};
}

void AppendLatitudeCaption(std::string& out, double lat) { AppendDMS(out, lat, "\" N"); }

void AppendLongitudeCaption(std::string& out, double lon) { AppendDMS(out, lon, lon < 0 ? "\" W" : "\" E"); }

std::string LatitudeCaption(double lat) {
    std::string s;
    AppendLatitudeCaption(s, lat);
    return s;
}

std::string LongitudeCaption(double lon) {
    std::string s;
    AppendLongitudeCaption(s, lon);
    return s;
}

std::string HeightCaption(double h, std::string_view accuracy) {
    return Joined(std::string_view("Altura sobre el elipsoide = "),
                  num::Format(num::Round(h, 1), "#,##0.0"), accuracy);
}

std::string UntransformedHeightCaption(double h) {
    return Joined(std::string_view("Altura sin transformar = "),
                  num::Format(num::Round(h, 1), "#,##0.0"), std::string_view(" m"));
}

std::string EastingCaption(double E, std::string_view accuracy) {
    return Joined(std::string_view("E= "), num::Format(num::Round(E, 2), kMetresPattern), accuracy);
}

std::string NorthingCaption(double N, std::string_view accuracy) {
    return Joined(std::string_view("N= "), num::Format(num::Round(N, 2), kMetresPattern), accuracy);
}

std::string ZoneCaption(std::string_view zoneText) {
    return Joined(std::string_view("Huso= "), zoneText);
}

std::string SetToolTip(ParameterSet set) {
    if (IsGrid(set))
        return Joined(std::string_view("Rejilla IGN: "), NameOf(set),
                      std::string_view(". La rejilla desplaza solo la latitud y la longitud: la "
                                       "altura es la escrita, sin transformar"));
    const bool helmert = set != ParameterSet::IGN && set != ParameterSet::NIMA;
    return Joined(std::string_view(helmert ? "Parámetros regionales: " : "Parámetros: "), NameOf(set));
}

std::string AltitudeCaption(const Altitude& altitude) {
    switch (altitude.answer) {
        case geo::GridAnswer::Done:
            return Joined(kAltitude, std::string_view(" = "),
                          num::Format(num::Round(altitude.H, 1), "#,##0.0"),
                          std::string_view(" m"));
        case geo::GridAnswer::Outside:
            return Joined(kAltitude, std::string_view(": fuera del geoide"));
        case geo::GridAnswer::Unavailable:
            break;
    }
    return Joined(kAltitude, std::string_view(": no disponible"));
}

std::string AltitudeToolTip(const Altitude& altitude, std::string_view problem) {
    switch (altitude.answer) {
        case geo::GridAnswer::Done:
            return Joined(std::string_view("Ondulación del geoide N = "),
                          num::Format(num::Round(altitude.N, 2), "#,##0.00"),
                          std::string_view(" m; altitud sobre el nivel medio del mar en Alicante "
                                           "= altura sobre el elipsoide WGS84 − N"));
        case geo::GridAnswer::Outside:
            return "El punto queda fuera de la rejilla del geoide EGM08-REDNAP (España "
                   "peninsular y Baleares)";
        case geo::GridAnswer::Unavailable:
            break;
    }
    return std::string(problem);
}

std::string GridFactorsToolTip(const geo::GridFactors& factors) {
    // Whole seconds first, so that 59,6" carries into the minutes.
    const double total = std::round(std::fabs(factors.convergence) * 3600);
    const double deg = std::floor(total / 3600);
    const double min = std::floor((total - deg * 3600) / 60);
    const double sec = total - deg * 3600 - min * 60;
    const std::string sign = factors.convergence < 0 && total > 0 ? "-" : "";
    return Joined(std::string_view("Convergencia de meridianos = "), sign, num::Format(deg, "0º "),
                  num::Format(min, "0' "), num::Format(sec, "0"),
                  std::string_view("\"; factor de escala = "), num::Format(factors.scale, "0.0000000"));
}

}  // namespace core
