#include "core/Places.h"

#include <algorithm>
#include <cmath>

#include "geo/Distance.h"
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
// it. The islets are the squares scripts/mapdata.py adds at these centres where Natural
// Earth has no outline of the rock (no coast line of the data goes round them).
struct Named {
    const char* article;  // "las " in "en las islas Columbretes"
    const char* name;
    double lat, lon;
    bool islet;
};
constexpr Named kIslands[] = {
    {"", "Mallorca", 39.62, 2.95, false},
    {"", "Menorca", 39.95, 4.05, false},
    {"", "Ibiza", 38.98, 1.43, false},
    {"", "Formentera", 38.70, 1.45, false},
    {"", "Cabrera", 39.145, 2.945, false},
    {"", "Ceuta", 35.89, -5.33, false},
    {"", "Melilla", 35.29, -2.94, false},
    {"", "Llívia", 42.465, 1.98, false},
    {"la ", "isla de Perejil", 35.913, -5.418, false},
    {"la ", "isla de Alborán", 35.9394, -3.0353, true},
    {"las ", "islas Columbretes", 39.8967, 0.6858, true},
    {"las ", "islas Chafarinas", 35.1824, -2.4318, false},
    {"el ", "peñón de Alhucemas", 35.2152, -3.903, false},
    {"el ", "peñón de Vélez de la Gomera", 35.1725, -4.3003, false},
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

// "de las islas Columbretes", "del peñón de Alhucemas".
std::string OfName(const std::string& article, const std::string& name) {
    return article == "el " ? "del " + name : "de " + article + name;
}

std::string Km(double km) {
    return km < 1 ? "a menos de 1 km" : "a " + std::to_string(std::lround(km)) + " km";
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
    const double coast = places.KmToCoast(lat, lon);
    const Named* islet = nullptr;
    double nearest = coast - 1;
    for (const Named& n : kIslands) {
        // The islet's square is some 900 m across: its nearest side half of that nearer.
        const double km = n.islet ? std::max(0.0, geo::GeoDistance(lat, lon, n.lat, n.lon) - 0.45) : nearest;
        if (km < nearest) islet = &n, nearest = km;
    }
    const std::string text = Km(coast) + " de la costa";
    return islet == nullptr ? text : text + " (" + Km(nearest) + " " + OfName(islet->article, islet->name) + ")";
}

}  // namespace core
