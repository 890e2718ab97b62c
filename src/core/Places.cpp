#include "core/Places.h"

#include <cmath>

#include "geo/Utm.h"

namespace core {
namespace {

std::string CountryName(const std::string& code) {
    if (code == "PT") return "Portugal";
    if (code == "FR") return "Francia";
    if (code == "AD") return "Andorra";
    if (code == "MA") return "Marruecos";
    if (code == "DZ") return "Argelia";
    if (code == "GI") return "Gibraltar (Reino Unido)";
    return code;
}

// The sea around the peninsula a point at sea is in.
std::string SeaName(double lat, double lon) {
    if (lat >= 43.2 && lon >= -7.7) return "el mar Cantábrico";
    if (lon <= -5.6 || lat >= 43.2) return "el océano Atlántico";
    if (lon < -1.3 && lat < 37.0) return "el mar de Alborán";
    return "el mar Mediterráneo";
}

}  // namespace

std::string PlaceWarning(const geo::PlaceMap& places, double lat, double lon, Direction direction,
                         const std::optional<UtmInput>& typed) {
    const geo::Place place = places.Of(lat, lon);
    if (place.kind == geo::Place::Kind::Spain || place.kind == geo::Place::Kind::Unknown) return "";
    std::string text = "El punto cae en ";
    if (place.kind == geo::Place::Kind::Country) {
        text += CountryName(place.country);
    } else {
        text += SeaName(lat, lon) + ", a " + std::to_string(std::lround(places.KmToCoast(lat, lon))) + " km de la costa";
    }
    if (!typed) return text;
    text += ": ¿es correcto el huso " + std::to_string(typed->zone) + "?";
    for (std::int16_t zone = 29; zone <= 31; ++zone) {
        if (zone == typed->zone) continue;
        const geo::LatLon other = geo::UTMToGeo(typed->E, typed->N, zone, SourceEllipsoid(direction), "N");
        if (places.OnSpanishLand(other.lat, other.lon))
            return text + " Con el huso " + std::to_string(zone) + " caería en España";
    }
    return text;
}

}  // namespace core
