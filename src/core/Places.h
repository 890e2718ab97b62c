// Points that land outside Spain: a converted point on another country's land or at sea
// beyond Spain's territorial sea is still converted, and said so, with the zone that
// would put a typed easting and northing in Spain where another one would.
#pragma once

#include <optional>
#include <string>

#include "core/Core.h"
#include "geo/Places.h"

namespace core {

// "El punto cae en el océano Atlántico, a 84 km de la costa: ¿es correcto el huso 29?
// Con el huso 30 caería en España"; "El punto cae en Portugal";
// "" for a point in Spain or its sea, or where the map has no data. (lat, lon): the
// point's place (degrees, on either datum: some 200 m apart); `typed`: the easting,
// northing and zone typed, on `direction`'s source datum, whose other zones are tried.
std::string PlaceWarning(const geo::PlaceMap& places, double lat, double lon, Direction direction,
                         const std::optional<UtmInput>& typed);

}  // namespace core
