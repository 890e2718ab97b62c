// The coordinate systems a whole project is taken to and from (--destino, --origen), by
// the names the command line and the window give them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/Core.h"

namespace tables {

// A coordinate system Talpor converts, as a whole project is taken to one: a datum and a
// form, UTM in one zone or degrees. WGS84 and ETRS89 are one side: they differ only by
// their names (EPSG codes) here.
struct CrsName {
    enum class Datum { ED50, ETRS89, WGS84 } datum = Datum::ETRS89;
    int zone = 0;  // 29, 30 or 31; 0 for degrees
    bool Ed50() const { return datum == Datum::ED50; }
    bool operator==(const CrsName&) const = default;
};

// The system a name gives: "etrs89-utm30", "wgs84-grados", "ed50-utm31"; nullopt for
// any other name.
std::optional<CrsName> CrsNamed(std::string_view name);
// Its name, as CrsNamed reads it.
std::string NameOf(const CrsName& crs);
// "ETRS89 UTM 30", "ED50 geográficas".
std::string TitleOf(const CrsName& crs);
// Its EPSG code: 23030, 25830, 32630, 4230, 4258, 4326.
int EpsgOf(const CrsName& crs);
// Every name CrsNamed reads, for help and messages: "etrs89-utm29, ..., ed50-grados".
std::string CrsNames();
// The direction a point of `from` is converted in to reach `to`'s datum; nullopt when both
// are on one side (ED50, or ETRS89 and WGS84), which no datum change joins.
std::optional<core::Direction> DirectionBetween(const CrsName& from, const CrsName& to);

}  // namespace tables
