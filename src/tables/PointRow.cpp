#include "tables/PointRow.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "tables/Decimal.h"
#include "core/Captions.h"
#include "core/Places.h"
#include "text/FieldLimits.h"
#include "text/NumberText.h"
#include "text/PointText.h"
#include "geo/Angles.h"
#include "num/Number.h"
#include "num/RuntimeError.h"

namespace tables {
namespace {

using text::kMaxEast, text::kMaxWest, text::kMinLatitude, text::kMaxLatitude;
using text::kMinEasting, text::kMaxEasting, text::kMinNorthing, text::kMaxNorthing;
constexpr const char* kHeightPattern = "#,##0.0";

RowPoint Error(std::string message) {
    RowPoint p;
    p.error = std::move(message);
    return p;
}

// An angle as the window's degree, minute and second fields hold it once a point is
// pasted: seconds rounded to 4 decimals and carried into the minutes and the degrees
// when they round to 60.
struct FieldAngle {
    int deg = 0;
    int min = 0;
    double sec = 0;
};

FieldAngle PastedAngle(const text::SexagesimalAngle& pasted) {
    const text::SexagesimalAngle a = text::WithRoundedSeconds(pasted, Round(pasted.sec, 4));
    return {a.deg, a.min, a.sec};
}

// Decimal degrees of a pasted angle as a conversion button reads its fields. The seconds
// field shows the seconds with "#,##0.0000" and the button reads that text back (and may
// round it to 4 decimals again): seconds already rounded to 4 decimals read back as
// themselves, since their 15-digit form is those digits and zeros and the text's number
// is the double nearest to them.
double ReadAngle(const FieldAngle& a, bool negative) {
    return geo::DMSToDeg(static_cast<std::int16_t>(a.deg), static_cast<std::int16_t>(a.min), a.sec, negative);
}

// A UTM coordinate as its field holds it once pasted: written with 2 decimals and read back.
double PastedMetres(double metres) {
    return text::FieldValue(num::Format(metres, core::kMetresPattern));
}

struct Height {
    double value = 0;
    std::string error;
};

// A height typed into the field and checked when it loses the focus.
Height ReadHeight(std::string_view text) {
    const std::optional<std::string> plain = text::PlainNumberText('H', text);
    if (!plain) return {0, "altura mal escrita " + Quoted(text)};
    if (plain->empty()) return {};
    double h = 0;
    try {
        h = text::FieldValue(*plain);
    } catch (const num::RuntimeError&) {
        h = HUGE_VAL;
    }
    if (!(h >= text::kMinHeight && h <= text::kMaxHeight))
        return {0, "altura fuera de límites " + Quoted(text) + " (" + text::HeightRangeText() + ")"};
    return {text::FieldValue(num::Format(h, kHeightPattern)), {}};
}

RowPoint Geographic(const text::PastedPoint& p, double h) {
    if (p.lat.negative) return Error("solo se admiten latitudes norte");
    const FieldAngle lat = PastedAngle(p.lat);
    const FieldAngle lon = PastedAngle(p.lon);
    if (lat.deg < kMinLatitude || lat.deg > kMaxLatitude)
        return Error("latitud fuera de límites (" + std::to_string(lat.deg) + "º): " + text::LatitudeRangeText());
    if (lon.deg > (p.lon.negative ? kMaxWest : kMaxEast))
        return Error("longitud fuera de límites (" + std::to_string(lon.deg) +
                     (p.lon.negative ? "º W" : "º E") + "): " + text::LongitudeRangeText());
    RowPoint r;
    r.kind = RowPoint::Kind::Geographic;
    r.geographic.lat = ReadAngle(lat, false);
    r.geographic.lon = ReadAngle(lon, p.lon.negative);
    r.geographic.h = h;
    return r;
}

RowPoint Utm(const text::PastedPoint& p, double h) {
    RowPoint r;
    r.utm.E = PastedMetres(p.utm.E);
    r.utm.N = PastedMetres(p.utm.N);
    if (!(r.utm.E >= kMinEasting && r.utm.E <= kMaxEasting))
        return Error("coordenada Este fuera de límites (" + num::Format(r.utm.E, core::kMetresPattern) +
                     "): " + text::EastingRangeText());
    if (!(r.utm.N >= kMinNorthing && r.utm.N <= kMaxNorthing))
        return Error("coordenada Norte fuera de límites (" + num::Format(r.utm.N, core::kMetresPattern) +
                     "): " + text::NorthingRangeText());
    r.kind = RowPoint::Kind::Utm;
    r.utm.zone = static_cast<std::int16_t>(p.utm.zone);
    r.utm.h = h;
    return r;
}

// One number of ReadPlainDegrees: optional minus, 1 to 3 digits, a decimal point or comma,
// 1 to 15 digits; its value as ParsePoint reads it (the digits with a point, from_chars).
// Advances `i` past it.
std::optional<double> PlainNumber(std::string_view text, std::size_t& i, bool& minus) {
    minus = i < text.size() && text[i] == '-';
    if (minus) ++i;
    char digits[24];
    std::size_t n = 0, whole = 0, fraction = 0;
    auto digit = [&] { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    while (digit() && whole < 4) digits[n++] = text[i++], ++whole;
    if (whole == 0 || whole > 3 || i == text.size() || (text[i] != '.' && text[i] != ',')) return std::nullopt;
    digits[n++] = '.';
    ++i;
    while (digit() && fraction < 16) digits[n++] = text[i++], ++fraction;
    if (fraction == 0 || fraction > 15) return std::nullopt;
    double v = 0;
    std::from_chars(digits, digits + n, v);
    return v;
}

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// The point on its own datum, projected only (Conversion::sameDatum): outside zones 29 to
// 31 and on a run-time error as the methods answer.
core::Result Projected(const geo::GeoPoint& point, std::int16_t zone, const Conversion& c) {
    core::Result r;
    if (zone < 29 || zone > 31) {
        r.status = core::Status::OutsideZones;
        return r;
    }
    try {
        r.point = point;
        r.utm = geo::GeoToUTM(point.lat, point.lon, core::SourceEllipsoid(c.direction));
        r.status = core::Status::Converted;
    } catch (const num::RuntimeError& e) {
        r.status = core::Status::Failed;
        r.error = e;
    }
    return r;
}

core::Result Projected(const core::GeographicInput& p, const Conversion& c) {
    return Projected(geo::GeoPoint{p.lat, p.lon, p.h}, geo::UTMZoneOf(p.lat, p.lon), c);
}

core::Result Projected(const core::UtmInput& p, const Conversion& c) {
    try {
        const geo::LatLon ll = geo::UTMToGeo(p.E, p.N, p.zone, core::SourceEllipsoid(c.direction));
        return Projected(geo::GeoPoint{ll.lat, ll.lon, p.h}, p.zone, c);
    } catch (const num::RuntimeError& e) {
        core::Result r;
        r.status = core::Status::Failed;
        r.error = e;
        return r;
    }
}

// A converted point's UTM result in the zone the run asks for (Conversion::outZone).
void InOutZone(const Conversion& c, core::Result& r) {
    if (c.outZone == 0 || r.status != core::Status::Converted || !r.point || !r.utm || r.utm->zone == c.outZone) return;
    const geo::Ellipsoid& e = c.sameDatum ? core::SourceEllipsoid(c.direction) : core::TargetEllipsoid(c.direction);
    try {
        r.utm = geo::GeoToUTMInZone(r.point->lat, r.point->lon, static_cast<std::int16_t>(c.outZone), e);
    } catch (const num::RuntimeError& e) {
        r.status = core::Status::Failed;
        r.error = e;
        r.utm.reset();
    }
}

// The method's call on the point's input.
template <typename Input>
core::Result Convert(const Input& input, const Conversion& c) {
    if (c.sameDatum) return Projected(input, c);
    switch (c.method) {
        case Method::Helmert:
            return core::Helmert(input, c.direction);
        case Method::MolodenskyIGN:
            return core::Molodensky(input, c.direction, core::MolodenskySet::IGN);
        case Method::MolodenskyNIMA:
            return core::Molodensky(input, c.direction, core::MolodenskySet::NIMA);
        case Method::Grid:
            if (c.grids == nullptr) break;
            return core::IgnGrid(input, c.direction, c.grids->Shift());
    }
    return {};
}

// The point on WGS84 whose altitude a row gets: the typed one (a UTM point's mirror) from
// WGS84, the converted one to WGS84 (none from the grid, which leaves the height on ED50).
std::optional<geo::GeoPoint> Wgs84Point(const RowPoint& point, const core::Result& r, const Conversion& c) {
    if (c.direction == core::Direction::ED50ToWGS84) {
        if (c.sameDatum || !TransformsHeight(c.method) || !r.point) return std::nullopt;
        return r.point;
    }
    if (point.kind == RowPoint::Kind::Geographic)
        return geo::GeoPoint{point.geographic.lat, point.geographic.lon, point.geographic.h};
    try {
        const geo::LatLon mirror = core::MirrorOf(point.utm, c.direction);
        return geo::GeoPoint{mirror.lat, mirror.lon, point.utm.h};
    } catch (const num::RuntimeError&) {
        return std::nullopt;
    }
}

// With Conversion::altitude, the altitude of a converted point (RowResult::altitude).
void AddAltitude(const RowPoint& point, const Conversion& c, RowResult& out) {
    if (!c.altitude || c.grids == nullptr || !out.error.empty() || !point.hasHeight) return;
    if (const std::optional<geo::GeoPoint> p = Wgs84Point(point, out.result, c)) {
        const core::Altitude a = core::AltitudeOf(p->lat, p->lon, p->h, c.grids->Geoid());
        if (a.answer == geo::GridAnswer::Done) out.altitude = a.H;
    }
}

// A converted point that lands outside Spain's land and sea gets the warning as a note.
// The map's outlines are WGS84's, some tens of metres true: the point is looked up on
// the WGS84 side, not on ED50's some 150 m away.
void AddPlaceNote(const RowPoint& point, const Conversion& c, RowResult& out) {
    if (c.grids == nullptr || !c.places || !out.error.empty() || !out.result.point) return;
    std::optional<core::UtmInput> typed;
    if (point.kind == RowPoint::Kind::Utm) typed = point.utm;
    std::optional<geo::GeoPoint> at = out.result.point;
    if (c.direction == core::Direction::WGS84ToED50) at = Wgs84Point(point, out.result, c);
    if (!at) return;
    const std::string warning = core::PlaceWarning(c.grids->Places(), at->lat, at->lon, c.direction, typed);
    if (!warning.empty()) out.note += (out.note.empty() ? "" : ". ") + warning;
}

}  // namespace

std::optional<text::PastedPoint> ReadPlainDegrees(std::string_view text) {
    auto blank = [&](std::size_t i) { return i < text.size() && (text[i] == ' ' || text[i] == '\t'); };
    std::size_t i = 0;
    while (blank(i)) ++i;
    bool latMinus = false, lonMinus = false;
    const std::optional<double> lat = PlainNumber(text, i, latMinus);
    if (!lat || !blank(i)) return std::nullopt;
    while (blank(i)) ++i;
    const std::optional<double> lon = PlainNumber(text, i, lonMinus);
    if (!lon) return std::nullopt;
    while (blank(i)) ++i;
    // Beyond the ranges ParsePoint gives its message.
    if (i != text.size() || *lat > 90 || *lon > 180) return std::nullopt;
    text::PastedPoint p;
    p.kind = text::PastedPoint::Kind::Geographic;
    p.lat = text::ToSexagesimal(*lat);
    p.lat.negative = latMinus;
    p.lon = text::ToSexagesimal(*lon);
    p.lon.negative = lonMinus;
    return p;
}

std::string Quoted(std::string_view text) {
    constexpr std::size_t kMaxChars = 40;
    std::string out = "«";
    std::size_t i = 0, chars = 0;
    while (i < text.size() && chars < kMaxChars) {
        // Control characters would garble a message line: a "?" stands for each.
        const auto c = static_cast<unsigned char>(text[i++]);
        out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) out += text[i++];
        ++chars;
    }
    return out + (i < text.size() ? "…»" : "»");
}

RowPoint ReadPoint(std::string_view pointText, std::string_view heightText, const Conversion& c) {
    if (IsBlank(pointText)) return Error("faltan las coordenadas del punto");
    std::string withZone;
    if (c.zone != 0) {
        withZone = std::string(pointText) + " " + std::to_string(c.zone);
        pointText = withZone;
    }
    const std::optional<text::PastedPoint> plain = c.zone == 0 ? ReadPlainDegrees(pointText) : std::nullopt;
    const text::PastedPoint p = plain ? *plain : text::ParsePoint(pointText);
    using Kind = text::PastedPoint::Kind;
    if (p.kind == Kind::NotACoordinate) return Error("no se reconoce un punto en " + Quoted(pointText));
    if (p.kind == Kind::Broken) return Error(p.message);
    if (c.input == InputForm::Geographic && p.kind == Kind::Utm)
        return Error("es un punto UTM y se esperaban coordenadas geográficas");
    if (c.input == InputForm::Utm && p.kind == Kind::Geographic)
        return Error("son coordenadas geográficas y se esperaba un punto UTM");
    const Height h = ReadHeight(heightText);
    if (!h.error.empty()) return Error(h.error);
    try {
        RowPoint point = p.kind == Kind::Geographic ? Geographic(p, h.value) : Utm(p, h.value);
        point.hasHeight = !IsBlank(heightText);
        return point;
    } catch (const num::RuntimeError& e) {
        return Error("error de cálculo: " + e.Description());
    }
}

namespace {

// The point typed at height h.
RowPoint AtHeight(RowPoint point, double h) {
    point.geographic.h = point.utm.h = h;
    return point;
}

RowResult ConvertTyped(const RowPoint& point, const Conversion& c);

// A point typed with its altitude, converted at the height above the ellipsoid that the
// altitude stands for; the grid carries the altitude itself (then the point's altitude on
// WGS84 is the one typed, where the geoid has the point).
RowResult ConvertAltitude(const RowPoint& point, const Conversion& c) {
    // At the altitude itself first: the grid's answer, and the reason of a point the
    // method does not convert.
    RowResult out = ConvertTyped(point, c);
    if (!out.error.empty()) return out;
    const double H = point.kind == RowPoint::Kind::Utm ? point.utm.h : point.geographic.h;
    std::optional<double> h;
    if (c.grids != nullptr && c.method == Method::Grid) {
        // The typed point from WGS84, the converted one to it: where the geoid is asked.
        const std::optional<geo::GeoPoint> p =
            c.direction == core::Direction::WGS84ToED50 ? Wgs84Point(point, out.result, c)
                                                           : out.result.point;
        if (p && c.grids->Geoid().At(p->lat, p->lon).answer == geo::GridAnswer::Done) h = H;
    } else if (c.grids != nullptr) {
        h = core::HeightOfAltitude(H, c.direction, c.grids->Geoid(), [&](double at) {
            const RowPoint typed = AtHeight(point, at);
            const RowResult r = ConvertTyped(typed, c);
            return r.error.empty() ? Wgs84Point(typed, r.result, c) : std::nullopt;
        });
        if (h) out = ConvertTyped(AtHeight(point, *h), c);
    }
    if (!h) {
        // The horizontal result at the altitude itself, which is within metres of the
        // height it stands for: a few millimetres off at most.
        const std::string problem = c.grids != nullptr ? c.grids->Geoid().Problem() : "";
        out.note = problem.empty() ? "altitud fuera del geoide: altura sin calcular"
                                   : "altura sin calcular: " + problem;
        out.altitude.reset();
        out.hasHeight = false;
        return out;
    }
    if (out.error.empty() && c.altitude) out.altitude = H;
    out.hasHeight = true;
    return out;
}

RowResult ConvertTyped(const RowPoint& point, const Conversion& c) {
    RowResult out;
    out.hasHeight = point.hasHeight;
    switch (point.kind) {
        case RowPoint::Kind::Error:
            out.error = point.error;
            return out;
        case RowPoint::Kind::Geographic:
            out.result = Convert(point.geographic, c);
            break;
        case RowPoint::Kind::Utm:
            out.result = Convert(point.utm, c);
            break;
    }
    out.error = ConversionError(out.result);
    if (!c.heightIsAltitude) AddAltitude(point, c, out);
    return out;
}

}  // namespace

RowResult ConvertPoint(const RowPoint& point, const Conversion& c) {
    RowResult out = c.heightIsAltitude && point.hasHeight && point.kind != RowPoint::Kind::Error && !c.sameDatum
                        ? ConvertAltitude(point, c)
                        : ConvertTyped(point, c);
    if (c.sameDatum && c.heightIsAltitude && out.hasHeight && out.error.empty()) {
        // On its own datum an altitude stays the altitude it is; no height above an
        // ellipsoid is known.
        if (c.altitude) out.altitude = point.kind == RowPoint::Kind::Utm ? point.utm.h : point.geographic.h;
        out.hasHeight = false;
    }
    InOutZone(c, out.result);
    AddPlaceNote(point, c, out);
    return out;
}

void ConvertPoints(std::span<const RowPoint> points, const Conversion& c, std::vector<RowResult>& results) {
    results.assign(points.size(), RowResult{});
    if (c.method == Method::Grid || c.heightIsAltitude || c.sameDatum) {
        for (std::size_t i = 0; i < points.size(); ++i) results[i] = ConvertPoint(points[i], c);
        return;
    }
    std::vector<core::GeographicInput> geographic;
    std::vector<core::UtmInput> utm;
    std::vector<std::size_t> geographicRow, utmRow;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const RowPoint& p = points[i];
        if (p.kind == RowPoint::Kind::Geographic) {
            geographic.push_back(p.geographic);
            geographicRow.push_back(i);
        } else if (p.kind == RowPoint::Kind::Utm) {
            utm.push_back(p.utm);
            utmRow.push_back(i);
        } else {
            results[i].error = p.error;
        }
    }
    std::vector<core::PointResult> fromGeographic(geographic.size()), fromUtm(utm.size());
    if (c.method == Method::Helmert) {
        core::Helmert(std::span<const core::GeographicInput>(geographic), c.direction, fromGeographic);
        core::Helmert(std::span<const core::UtmInput>(utm), c.direction, fromUtm);
    } else {
        const core::MolodenskySet set =
            c.method == Method::MolodenskyIGN ? core::MolodenskySet::IGN : core::MolodenskySet::NIMA;
        core::Molodensky(std::span<const core::GeographicInput>(geographic), c.direction, set,
                            fromGeographic);
        core::Molodensky(std::span<const core::UtmInput>(utm), c.direction, set, fromUtm);
    }
    auto take = [&](const std::vector<core::PointResult>& answers, const std::vector<std::size_t>& rows) {
        for (std::size_t k = 0; k < rows.size(); ++k) {
            RowResult& out = results[rows[k]];
            out.hasHeight = points[rows[k]].hasHeight;
            out.result = core::ResultOf(answers[k]);
            InOutZone(c, out.result);
            out.error = ConversionError(out.result);
            AddAltitude(points[rows[k]], c, out);
            AddPlaceNote(points[rows[k]], c, out);
        }
    };
    take(fromGeographic, geographicRow);
    take(fromUtm, utmRow);
}

std::string ConversionError(const core::Result& r) {
    switch (r.status) {
        case core::Status::Converted:
            if (r.point && r.utm) return {};
            break;
        case core::Status::OutsideZones:
            return "fuera de los husos 29, 30 y 31";
        case core::Status::OutsideArea:
            return "fuera del área del método: transformación válida solamente para la península y Baleares";
        case core::Status::Failed:
            return "error de cálculo: " + (r.error ? r.error->Description() : std::string("?"));
        case core::Status::GridUnavailable:
            return "la rejilla del IGN no está disponible";
    }
    return "no se pudo convertir el punto";
}

std::vector<std::string> ResultNames(const Outputs& o, core::Direction direction, std::string_view named) {
    const std::string datum = !named.empty() ? std::string(named) : direction == core::Direction::WGS84ToED50 ? " ED50" : " WGS84";
    std::vector<std::string> names;
    if (o.dms) names.insert(names.end(), {"Latitud" + datum, "Longitud" + datum});
    if (o.degrees) names.insert(names.end(), {"Latitud" + datum + " (grados)", "Longitud" + datum + " (grados)"});
    if (o.degreesMinutes) {
        names.insert(names.end(),
                     {"Latitud" + datum + " (grados y minutos)", "Longitud" + datum + " (grados y minutos)"});
    }
    if (o.utm) names.insert(names.end(), {"Huso" + datum, "Este" + datum, "Norte" + datum});
    if (o.height) names.push_back("Altura" + datum);
    if (o.set) names.push_back("Parámetros");
    if (o.altitude) names.push_back("Altitud WGS84 (EGM08-REDNAP)");
    names.insert(names.end(), {"Error", "Aviso"});
    return names;
}

std::size_t ResultCount(const Outputs& o) {
    return (o.dms ? 2 : 0) + (o.degrees ? 2 : 0) + (o.degreesMinutes ? 2 : 0) + (o.utm ? 3 : 0) + (o.height ? 1 : 0) + (o.set ? 1 : 0) +
           (o.altitude ? 1 : 0);
}

void SetResultTexts(const RowResult& row, const Outputs& o, char decimalSign, std::vector<std::string>& texts) {
    const core::Result& r = row.result;
    // The strings of the previous row are written over: no allocation once they are long enough.
    texts.resize(ResultCount(o));
    for (std::string& t : texts) t.clear();
    auto next = texts.begin();
    const auto sign = [decimalSign](std::string& text, char from) {
        if (decimalSign != from) std::replace(text.begin(), text.end(), from, decimalSign);
    };
    if (o.dms) {
        core::AppendLatitudeCaption(*next, r.point->lat);
        sign(*next++, ',');
        core::AppendLongitudeCaption(*next, r.point->lon);
        sign(*next++, ',');
    }
    if (o.degrees) {
        // The copy menu's decimal degrees: "40.41784678, -3.69869548".
        for (double degrees : {r.point->lat, r.point->lon}) {
            text::AppendDecimalText(*next, degrees, 8);
            sign(*next++, '.');
        }
    }
    if (o.degreesMinutes) {
        // The copy menu's "N 40º 25,00820' W 3º 42,22800'", a column an angle.
        text::AppendDegreesMinutes(*next, r.point->lat, true);
        sign(*next++, ',');
        text::AppendDegreesMinutes(*next, r.point->lon, false);
        sign(*next++, ',');
    }
    if (o.utm) {
        next++->assign(r.utm->zoneText);
        // The numbers of EastingCaption and NorthingCaption.
        AppendRounded(*next++, r.utm->E, 2, decimalSign);
        AppendRounded(*next++, r.utm->N, 2, decimalSign);
    }
    // The number of HeightCaption; nothing for a point without height.
    if (o.height) {
        if (row.hasHeight) AppendRounded(*next, r.point->h, 1, decimalSign);
        ++next;
    }
    if (o.set) next++->assign(r.set ? core::NameOf(*r.set) : std::string_view("sin cambio de datum"));
    // The number of AltitudeCaption; nothing outside the geoid or without a height.
    if (o.altitude && row.altitude) AppendRounded(*next, *row.altitude, 1, decimalSign);
}

}  // namespace tables
