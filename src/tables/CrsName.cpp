#include "tables/CrsName.h"

namespace tables {
namespace {

struct DatumName {
    CrsName::Datum datum;
    std::string_view name, title;
    int geographic, utmBase;  // EPSG codes: of degrees, and of UTM less the zone
};
constexpr DatumName kDatums[] = {
    {CrsName::Datum::ETRS89, "etrs89", "ETRS89", 4258, 25800},
    {CrsName::Datum::WGS84, "wgs84", "WGS84", 4326, 32600},
    {CrsName::Datum::ED50, "ed50", "ED50", 4230, 23000},
};

const DatumName& Of(CrsName::Datum datum) {
    for (const DatumName& d : kDatums)
        if (d.datum == datum) return d;
    return kDatums[0];
}

}  // namespace

std::optional<CrsName> CrsNamed(std::string_view name) {
    for (const DatumName& d : kDatums) {
        if (!name.starts_with(d.name) || name.size() <= d.name.size() || name[d.name.size()] != '-') continue;
        const std::string_view form = name.substr(d.name.size() + 1);
        if (form == "grados") return CrsName{d.datum, 0};
        for (int zone : {29, 30, 31})
            if (form == "utm" + std::to_string(zone)) return CrsName{d.datum, zone};
    }
    return std::nullopt;
}

std::string NameOf(const CrsName& crs) {
    return std::string(Of(crs.datum).name) + "-" + (crs.zone == 0 ? "grados" : "utm" + std::to_string(crs.zone));
}

std::string TitleOf(const CrsName& crs) {
    return std::string(Of(crs.datum).title) + (crs.zone == 0 ? " geográficas" : " UTM " + std::to_string(crs.zone));
}

int EpsgOf(const CrsName& crs) {
    const DatumName& d = Of(crs.datum);
    return crs.zone == 0 ? d.geographic : d.utmBase + crs.zone;
}

std::string CrsNames() {
    std::string names;
    for (const DatumName& d : kDatums)
        for (std::string_view form : {"utm29", "utm30", "utm31", "grados"})
            names += (names.empty() ? "" : ", ") + std::string(d.name) + "-" + std::string(form);
    return names;
}

std::optional<core::Direction> DirectionBetween(const CrsName& from, const CrsName& to) {
    if (from.Ed50() == to.Ed50()) return std::nullopt;
    return from.Ed50() ? core::Direction::ED50ToWGS84 : core::Direction::WGS84ToED50;
}

}  // namespace tables
