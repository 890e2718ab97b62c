#include "tables/Run.h"

namespace tables {

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, '.');
    return digits;
}

std::string Count(std::uint64_t n, std::string_view one, std::string_view many) {
    return Grouped(n) + " " + std::string(n == 1 ? one : many);
}

Settings TowardTarget(Settings s, const CrsName& from) {
    if (!s.target) return s;
    const std::optional<core::Direction> direction = DirectionBetween(from, *s.target);
    Conversion& c = s.conversion;
    // On one side the points stay on their datum: on the direction whose source is it.
    c.direction = direction.value_or(from.Ed50() ? core::Direction::ED50ToWGS84 : core::Direction::WGS84ToED50);
    c.sameDatum = !direction;
    c.zone = from.zone;
    c.outZone = s.target->zone;
    s.layers.directionGiven = true;
    s.layers.wgs84Label = s.target->datum == CrsName::Datum::WGS84;
    return s;
}

Settings TableSettings(const Settings& s) {
    if (!s.target) return s;
    if (!s.origin)
        throw RunError("una tabla no dice en qué sistema están sus puntos, y no se supone ninguno: indique el suyo con "
                       "--origen (por ejemplo --origen=ed50-utm30)");
    return TowardTarget(s, *s.origin);
}

}  // namespace tables
