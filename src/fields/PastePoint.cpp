#include "fields/PastePoint.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "fields/Fields.h"
#include "text/PointText.h"
#include "fields/mText.h"
#include "geo/Ellipsoid.h"
#include "geo/Utm.h"
#include "num/Number.h"

namespace fields {
namespace {

// Indices in TxtWGSg of an angle's degrees, minutes and seconds.
struct AngleFields {
    int deg, min, sec;
};

// The fields and buttons of one point of the window.
struct PointLayout {
    AngleFields lat, lon;
    int north, south;  // OptLng of the latitude's hemisphere; -1: northern latitudes only
    int east, west;    // OptLng of the longitude's hemisphere
    int geoHeight;     // TxtWGSg of the geographic frame's height; -1: none
    // Conversion tabs only ("" otherwise): the UTM frame and the input-mode buttons.
    const char* utmE;
    const char* utmN;
    const char* zoneList;
    int utmHeight;
    const char* modeGroup;
    int geoMode, utmMode;
};

constexpr std::array<PointLayout, 4> kPoints{{
    // Tab 0, "WGS84  ->  ED50".
    {{0, 1, 2}, {3, 4, 5}, -1, -1, 1, 0, 6, "TxtUTMx", "TxtUTMy", "CmbHuso", 8, "OptUTM", 0, 1},
    // Tab 1, "ED50  ->  WGS84 ".
    {{7, 14, 15}, {16, 17, 18}, -1, -1, 5, 4, 26, "TxtUTMe", "TxtUTMn", "CmbUsos2", 25, "OptCoord", 1, 0},
    // "Utilidades", points 1 and 2 (WGS84).
    {{9, 10, 11}, {12, 13, 27}, 8, 9, 2, 3, -1, "", "", "", -1, "", -1, -1},
    {{33, 32, 31}, {30, 29, 28}, 11, 10, 7, 6, -1, "", "", "", -1, "", -1, -1},
}};

bool IsConversionPoint(const PointLayout& p) { return *p.utmE != 0; }

bool InAngle(const AngleFields& a, int i) { return i == a.deg || i == a.min || i == a.sec; }

// The point `field` belongs to, and whether it is the degrees field of its latitude (1)
// or longitude (2) (0 otherwise).
const PointLayout* PointOf(const form::Control& field, int& degreesOf) {
    degreesOf = 0;
    for (const PointLayout& p : kPoints) {
        if (field.id.name == "TxtWGSg") {
            const int i = field.id.index;
            if (InAngle(p.lat, i) || InAngle(p.lon, i) || i == p.geoHeight ||
                (IsConversionPoint(p) && i == p.utmHeight)) {
                degreesOf = i == p.lat.deg ? 1 : i == p.lon.deg ? 2 : 0;
                return &p;
            }
        } else if (field.id.index < 0 && IsConversionPoint(p) &&
                   (field.id.name == p.utmE || field.id.name == p.utmN)) {
            return &p;
        }
    }
    return nullptr;
}

// Whole degrees and minutes and seconds to four decimals, the seconds carried into the
// minutes and degrees when they round to 60.
void WriteAngle(form::FormModel& form, const AngleFields& f, text::SexagesimalAngle a,
                std::vector<form::Control*>& filled) {
    a = text::WithRoundedSeconds(a, num::Round(a.sec, 4));
    const double sec = a.sec;
    const std::pair<int, std::string> texts[] = {{f.deg, std::to_string(a.deg)},
                                                 {f.min, std::to_string(a.min)},
                                                 {f.sec, num::Format(sec, "#,##0.0000")}};
    for (const auto& [index, text] : texts) {
        form::Control& c = form.Get("TxtWGSg", index);
        c.text = text;
        c.selStart = 0;
        c.selLength = 0;
        filled.push_back(&c);
    }
}

void SelectHemisphere(form::FormModel& form, int positive, int negative, bool isNegative) {
    if (positive >= 0) form.SelectOption(form.Get("OptLng", isNegative ? negative : positive));
}

// A text a coordinate field may take and check: digits with signs, decimal and
// thousands marks, degree, minute and second marks, blanks.
bool IsNumberText(std::string_view text) {
    bool digit = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') digit = true;
        else if (text.substr(i).starts_with("º") || text.substr(i).starts_with("°")) ++i;
        else if (std::string_view(".,-+'\" \t").find(c) == std::string_view::npos) return false;
    }
    return digit;
}

void Refuse(form::Platform& platform, const std::string& why) {
    platform.MsgBox("No se puede pegar la coordenada: " + why, "Talpor", form::MsgIcon::Exclamation,
                    form::MsgButtons::OK, form::MsgResult::OK);
}

// --- What the conversion tabs' fields can hold -----------------------------------------
// A pasted point is taken whole or not at all: a part beyond its field's limits refuses
// the whole point, where a clamp would leave a point nobody typed.

text::SexagesimalAngle Rounded(const text::SexagesimalAngle& a) { return text::WithRoundedSeconds(a, num::Round(a.sec, 4)); }

// "28º 17' N"
std::string DegreesAndMinutes(const text::SexagesimalAngle& a, const char* positive, const char* negative) {
    return std::to_string(a.deg) + "º " + std::to_string(a.min) + "' " + (a.negative ? negative : positive);
}

std::string OutsideLatitude(const text::SexagesimalAngle& lat) {
    const text::SexagesimalAngle a = Rounded(lat);
    if (!a.negative && a.deg >= text::kMinLatitude && a.deg <= text::kMaxLatitude) return "";
    return "latitud " + DegreesAndMinutes(a, "N", "S") + "; se admiten " + text::LatitudeRangeText() + " (península y Baleares)";
}

std::string OutsideLongitude(const text::SexagesimalAngle& lon) {
    const text::SexagesimalAngle a = Rounded(lon);
    if (a.deg <= (a.negative ? text::kMaxWest : text::kMaxEast)) return "";
    return "longitud " + DegreesAndMinutes(a, "E", "W") + "; se admiten hasta " + std::to_string(text::kMaxWest) + "º W y " +
           std::to_string(text::kMaxEast) + "º E";
}

std::string OutsideMetres(const char* name, double metres, double min, double max, const std::string& limits) {
    const double shown = num::Round(metres, 2);
    if (shown >= min && shown <= max) return "";
    return std::string(name) + " " + num::Format(shown, "#,##0.00") + " m; se admiten " + limits;
}

// The Canary Islands' box: their points are never ED50.
bool InCanaries(const text::SexagesimalAngle& lat, const text::SexagesimalAngle& lon) {
    const double phi = lat.deg + lat.min / 60.0, lambda = lon.deg + lon.min / 60.0;
    return !lat.negative && lon.negative && phi >= 27 && phi <= 29.5 && lambda >= 13 && lambda <= 18.5;
}

// Refuses the point when any part lies outside; answers whether it did.
bool RefusedOutside(form::Platform& platform, std::initializer_list<std::string> parts, bool canaries) {
    std::string why;
    for (const std::string& part : parts)
        if (!part.empty()) why += (why.empty() ? "" : "; ") + part;
    if (why.empty()) return false;
    const std::string text =
        canaries ? "El punto pegado está en las islas Canarias, donde no se usa ED50 (su sistema es "
                   "REGCAN95): Talpor convierte puntos de la península y Baleares."
                 : "El punto pegado está fuera del área de Talpor: " + why;
    platform.MsgBox(text, "Talpor", form::MsgIcon::Exclamation, form::MsgButtons::OK, form::MsgResult::OK);
    return true;
}

// Whether a conversion tab takes the point as it is: north, within the limits, not in the
// Canary Islands.
bool Inside(const text::SexagesimalAngle& lat, const text::SexagesimalAngle& lon) {
    return !lat.negative && OutsideLatitude(lat).empty() && OutsideLongitude(lon).empty() && !InCanaries(lat, lon);
}

// A point outside that would be inside with its two numbers the other way round: its
// longitude was written first, as some programs and GIS layers write it. The user is
// asked, the swapped reading offered; nullopt when that is not the case.
std::optional<bool> SwapAccepted(form::Platform& platform, text::PastedPoint& point) {
    if (Inside(point.lat, point.lon) || !Inside(point.lon, point.lat)) return std::nullopt;
    const text::SexagesimalAngle lat = Rounded(point.lon), lon = Rounded(point.lat);
    const std::string question =
        "¿Está la longitud antes que la latitud? Leído como latitud y longitud, el punto pegado cae fuera del "
        "área de Talpor.\r\n¿Pegar el punto con la longitud primero: latitud " + DegreesAndMinutes(lat, "N", "S") +
        ", longitud " + DegreesAndMinutes(lon, "E", "W") + "?";
    if (platform.MsgBox(question, "Talpor", form::MsgIcon::Question, form::MsgButtons::YesNo, form::MsgResult::Yes) !=
        form::MsgResult::Yes)
        return false;
    std::swap(point.lat, point.lon);
    return true;
}

}  // namespace

PasteResult PastePoint(form::FormModel& form, form::Platform& platform, form::Control& field,
                       std::string_view text) {
    int degreesOf = 0;
    const PointLayout* p = PointOf(field, degreesOf);
    if (p == nullptr || !form.IsUsable(field)) return PasteResult::NotHandled;

    std::vector<form::Control*> filled;
    bool modeChanged = false;
    text::PastedPoint point = text::ParsePastedPoint(text);
    if (point.kind == text::PastedPoint::Kind::NotACoordinate) {
        // One number with decimals in a degrees field: that angle in decimal degrees.
        const std::optional<text::SexagesimalAngle> a =
            degreesOf == 0 ? std::nullopt : text::ParseDecimalDegrees(text, degreesOf == 1);
        if (!a) {
            // A number goes into the field as pasted, to be checked there; any other text
            // is no point and no number, and stays out.
            if (IsNumberText(text)) return PasteResult::NotHandled;
            // Cut at 40 bytes, never inside a character.
            std::size_t cut = std::min<std::size_t>(text.size(), 40);
            while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
            Refuse(platform, "«" + std::string(text.substr(0, cut)) + (cut < text.size() ? "…" : "") +
                                 "» no es un punto ni un número.");
            return PasteResult::Refused;
        }
        if (degreesOf == 1 && a->negative && p->south < 0) {
            Refuse(platform, "esta pestaña solo admite latitudes norte");
            return PasteResult::Refused;
        }
        if (IsConversionPoint(*p) &&
            RefusedOutside(platform, {degreesOf == 1 ? OutsideLatitude(*a) : OutsideLongitude(*a)}, false))
            return PasteResult::Refused;
        if (degreesOf == 1) {
            SelectHemisphere(form, p->north, p->south, a->negative);
            WriteAngle(form, p->lat, *a, filled);
        } else {
            SelectHemisphere(form, p->east, p->west, a->negative);
            WriteAngle(form, p->lon, *a, filled);
        }
    } else if (point.kind == text::PastedPoint::Kind::Broken) {
        Refuse(platform, point.message);
        return PasteResult::Refused;
    } else if (point.kind == text::PastedPoint::Kind::Utm && IsConversionPoint(*p)) {
        if (RefusedOutside(platform,
                           {OutsideMetres("coordenada Este", point.utm.E, text::kMinEasting, text::kMaxEasting,
                                          text::EastingRangeText()),
                            OutsideMetres("coordenada Norte", point.utm.N, text::kMinNorthing, text::kMaxNorthing,
                                          text::NorthingRangeText())},
                           false))
            return PasteResult::Refused;
        modeChanged = form.SelectOption(form.Get(p->modeGroup, p->utmMode));
        for (auto [name, value] : {std::pair{p->utmE, point.utm.E}, {p->utmN, point.utm.N}}) {
            form::Control& c = form.Get(name);
            c.text = num::Format(value, "#,##0.00");
            c.selStart = 0;
            c.selLength = 0;
            filled.push_back(&c);
        }
        form.Get(p->zoneList).listIndex = point.utm.zone - 29;
    } else {
        if (point.kind == text::PastedPoint::Kind::Utm) {
            // A utility point is WGS84 latitude and longitude.
            const geo::LatLon g = geo::UTMToGeo(point.utm.E, point.utm.N,
                                                  static_cast<std::int16_t>(point.utm.zone),
                                                  geo::Ellipsoids[geo::kWGS84], "N");
            point.lat = text::ToSexagesimal(g.lat);
            point.lon = text::ToSexagesimal(g.lon);
        }
        if (IsConversionPoint(*p) && point.kind == text::PastedPoint::Kind::Geographic) {
            if (const std::optional<bool> swapped = SwapAccepted(platform, point); swapped && !*swapped)
                return PasteResult::Refused;
        }
        if (point.lat.negative && p->south < 0) {
            Refuse(platform, "esta pestaña solo admite latitudes norte");
            return PasteResult::Refused;
        }
        if (IsConversionPoint(*p) &&
            RefusedOutside(platform,
                           {OutsideLatitude(point.lat), OutsideLongitude(point.lon),
                            point.altitude ? OutsideMetres("altitud", *point.altitude, text::kMinHeight, text::kMaxHeight,
                                                           text::HeightRangeText())
                                           : ""},
                           InCanaries(point.lat, point.lon)))
            return PasteResult::Refused;
        if (IsConversionPoint(*p)) modeChanged = form.SelectOption(form.Get(p->modeGroup, p->geoMode));
        SelectHemisphere(form, p->north, p->south, point.lat.negative);
        WriteAngle(form, p->lat, point.lat, filled);
        SelectHemisphere(form, p->east, p->west, point.lon.negative);
        WriteAngle(form, p->lon, point.lon, filled);
    }
    // A whole point pasted into a conversion tab comes without a height: the tab's height
    // fields are emptied, and the point has none until one is typed.
    if (IsConversionPoint(*p) && point.kind != text::PastedPoint::Kind::NotACoordinate) {
        for (int height : {p->geoHeight, p->utmHeight}) SetFieldText(form.Get("TxtWGSg", height), "");
        // One that comes with its altitude (a phone's, a geo: URI's) fills the height,
        // which the tab then takes as an altitude above the sea.
        if (point.altitude) {
            form::Control& height = form.Get("TxtWGSg", p->geoHeight);
            SetFieldText(height, num::Format(num::Round(*point.altitude, 1), "#,##0.0"));
            filled.push_back(&height);
            form.SelectOption(form.Get("OptAltura", 2 * field.tab + 1));
        }
    }
    // The frame of the pasted field may have been disabled by the change of input mode:
    // the focus goes to the first field filled, unless a check below wants it elsewhere.
    if (modeChanged) form.SetFocus(*filled.front());
    for (form::Control* c : filled) FieldLostFocus(form, platform, *c);
    // The checks paint the fields white; the one that keeps the focus keeps its colour.
    form::Control* focused = form.focused;
    if (focused != nullptr && IsCoordinateField(*focused) && form.IsUsable(*focused) &&
        (form.focusRequest == nullptr || form.focusRequest == focused))
        focused->backColor = form::kLightYellow;
    return PasteResult::Filled;
}

}  // namespace fields
