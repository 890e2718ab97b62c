#include "core/Places.h"

#include <algorithm>
#include <cmath>

#include "geo/Utm.h"

namespace core {
namespace {

std::string CountryName(const std::string& code) {
    if (code == "ES") return "España";
    if (code == "PT") return "Portugal";
    if (code == "FR") return "Francia";
    if (code == "AD") return "Andorra";
    if (code == "MA") return "Marruecos";
    if (code == "DZ") return "Argelia";
    if (code == "GI") return "Gibraltar (Reino Unido)";
    return code;
}

// The Spanish rings of the map's data that have a name of their own, each by a point on
// it.
struct Named {
    const char* article;  // "las " in "en las islas Columbretes"
    const char* name;
    double lat, lon;
};
constexpr Named kIslands[] = {
    {"", "Mallorca", 39.62, 2.95},
    {"", "Menorca", 39.95, 4.05},
    {"", "Ibiza", 38.98, 1.43},
    {"", "Formentera", 38.70, 1.45},
    {"", "Cabrera", 39.145, 2.945},
    {"", "Ceuta", 35.89, -5.33},
    {"", "Melilla", 35.29, -2.94},
    {"", "Llívia", 42.465, 1.98},
    {"la ", "isla de Perejil", 35.913, -5.418},
    {"la ", "isla de Alborán", 35.9394, -3.0353},
    {"las ", "islas Columbretes", 39.8967, 0.6858},
    {"las ", "islas Chafarinas", 35.1824, -2.4318},
    {"el ", "peñón de Alhucemas", 35.2152, -3.903},
    {"el ", "peñón de Vélez de la Gomera", 35.1725, -4.3003},
};

struct Sea {
    const char* article;
    const char* name;
};

// The sea around the peninsula a point at sea is in.
Sea SeaOf(double lat, double lon) {
    if (lat >= 43.2 && lon >= -7.7) return {"el ", "mar Cantábrico"};
    if (lon <= -5.6 || lat >= 43.2) return {"el ", "océano Atlántico"};
    // North of the line from Punta Carnero to Europa Point, between Algeciras and Gibraltar.
    if (lat >= 36.07 && lat <= 36.2 && lon >= -5.46 && lon <= -5.345) return {"la ", "bahía de Algeciras"};
    if (lon < -1.3 && lat < 37.0) return {"el ", "mar de Alborán"};
    return {"el ", "mar Mediterráneo"};
}

// Whole kilometres from 1 km on; below, to the 100 m ("a 300 m"), and "a menos de 100 m"
// closer than that.
std::string Km(double km) {
    const long hectometres = std::lround(km * 10);
    if (hectometres >= 10) return "a " + std::to_string(std::max(std::lround(km), 1L)) + " km";
    return km < 0.1 ? "a menos de 100 m" : "a " + std::to_string(hectometres * 100) + " m";
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
        const Sea sea = SeaOf(lat, lon);
        text += sea.article + std::string(sea.name) + ", " + DistanceToCoast(places, lat, lon);
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

std::optional<PlaceName> NameOfPlace(const geo::PlaceMap& places, double lat, double lon) {
    if (places.Empty() || places.Of(lat, lon).kind == geo::Place::Kind::Unknown) return std::nullopt;
    // Within what the outlines may be off by, neither side is sure.
    if (places.KmToBorder(lat, lon, geo::kOutlineMarginKm) <= geo::kOutlineMarginKm)
        return PlaceName{false, "la frontera", "junto a la frontera"};
    if (places.KmToCoast(lat, lon) <= geo::kOutlineMarginKm) return PlaceName{false, "la costa", "en la costa"};
    const std::string country = places.LandAt(lat, lon);
    if (country.empty()) {
        const Sea sea = SeaOf(lat, lon);
        return PlaceName{true, sea.name, "en " + std::string(sea.article) + sea.name};
    }
    if (country == "ES") {
        const int ring = places.RingAt(lat, lon, "ES");
        for (const Named& n : kIslands)
            if (ring >= 0 && ring == places.RingAt(n.lat, n.lon, "ES"))
                return PlaceName{false, n.name, "en " + std::string(n.article) + n.name};
    }
    const std::string name = CountryName(country);
    return PlaceName{false, name, "en " + name};
}

std::string DistanceToCoast(const geo::PlaceMap& places, double lat, double lon) {
    return Km(places.KmToCoast(lat, lon)) + " de la costa";
}

}  // namespace core
