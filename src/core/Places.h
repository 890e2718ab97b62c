// Points that land outside Spain: a converted point on another country's land or at sea
// beyond Spain's territorial sea is still converted, and said so, with the zone that
// would put a typed easting and northing in Spain where another one would. And the names
// the map gives places: countries, Spain's islands, seas.
#pragma once

#include <optional>
#include <string>

#include "core/Core.h"
#include "geo/Places.h"

namespace core {

// "El punto cae en el océano Atlántico, a 84 km de la costa: ¿es correcto el huso 29?
// Con el huso 30 caería en España"; "El punto cae en Portugal";
// "" for a point in Spain or its sea, or where the map has no data. (lat, lon): the
// point's place on WGS84 (degrees; the outlines are some tens of metres true, ED50 some
// 150 m away), the typed point or the result, whichever is WGS84's; `typed`: the easting,
// northing and zone typed, on `direction`'s source datum, whose other zones are tried.
std::string PlaceWarning(const geo::PlaceMap& places, double lat, double lon, Direction direction,
                         const std::optional<UtmInput>& typed);

// A place as a map names it: `name` to label it ("Mallorca", "mar Mediterráneo"),
// `in` to say a point lies there ("en Mallorca", "en el mar Mediterráneo").
struct PlaceName {
    bool sea = false;
    std::string name, in;
};

// The place of a point (degrees) by the outlines alone: "la costa" or "la frontera"
// within geo::kOutlineMarginKm of one (where the data cannot tell the side), a country ("España",
// "Portugal"), one of the Spanish islands and towns the outlines hold apart (Mallorca,
// Menorca, Ibiza, Formentera, Cabrera, the islets, Ceuta, Melilla, Llívia), or the sea
// (el mar Cantábrico, el océano Atlántico, la bahía de Algeciras, el mar de Alborán, el
// mar Mediterráneo). Off the map or without its data, none.
std::optional<PlaceName> NameOfPlace(const geo::PlaceMap& places, double lat, double lon);

// How far a point at sea (degrees) lies from land: "a 18 km de la costa" (the islets'
// coasts are coasts too).
std::string DistanceToCoast(const geo::PlaceMap& places, double lat, double lon);

}  // namespace core
