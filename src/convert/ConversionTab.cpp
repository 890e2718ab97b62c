#include "convert/ConversionTab.h"

#include <cmath>
#include <exception>
#include <string>
#include <vector>

#include "core/Captions.h"
#include "convert/Conversions.h"
#include "convert/InputMode.h"
#include "core/Places.h"
#include "fields/Fields.h"
#include "fields/mText.h"
#include "form/FrmTalporControls.h"
#include "geo/Angles.h"
#include "num/Number.h"

namespace convert {
namespace detail {

TabControls ControlsOf(form::FormModel& form, Tab tab) {
    auto F = [&form](const char* name, int index = -1) -> form::Control& {
        return form.Get(name, index);
    };
    if (tab == Tab::WGS84ToED50) {
        TabControls c{F("TxtWGSg", 0), F("TxtWGSg", 1),   F("TxtWGSg", 2),   F("TxtWGSg", 3),
                      F("TxtWGSg", 4), F("TxtWGSg", 5),   F("OptLng", 0),    F("OptLng", 1),
                      F("TxtWGSg", 6), F("TxtUTMx"),      F("TxtUTMy"),      F("CmbHuso"),
                      F("TxtWGSg", 8), F("LblGeoLat", 0), F("LblGeoLon", 0), F("LblLat", 20),
                      F("LblUTM", 0),  F("LblUTM", 1),    F("LblUTM", 2)};
        c.geoAltitude = &F("LblAltitud", 0);
        c.utmAltitude = &F("LblAltitud", 1);
        c.altitude = HeightsAreAltitudes(form, 0);
        c.place = &F("LblLugar", 0);
        return c;
    }
    TabControls c{F("TxtWGSg", 7),  F("TxtWGSg", 14),  F("TxtWGSg", 15),  F("TxtWGSg", 16),
                  F("TxtWGSg", 17), F("TxtWGSg", 18),  F("OptLng", 4),    F("OptLng", 5),
                  F("TxtWGSg", 26), F("TxtUTMe"),      F("TxtUTMn"),      F("CmbUsos2"),
                  F("TxtWGSg", 25), F("LblGeoLat", 1), F("LblGeoLon", 1), F("LblLat", 24),
                  F("LblUTM", 6),   F("LblUTM", 7),    F("LblUTM", 8)};
    c.resAltitude = &F("LblAltitud", 2);
    c.altitude = HeightsAreAltitudes(form, 1);
    c.place = &F("LblLugar", 1);
    return c;
}

std::int16_t IntegerValue(const form::Control& field) {
    return num::CInt(text::FieldValue(field.text));
}

namespace {

double SecondsValue(const form::Control& field, bool round) {
    const double s = text::FieldValue(field.text);
    return round ? num::Round(s, 4) : s;
}

}  // namespace

double ReadLatitude(const TabControls& c, bool roundSeconds) {
    const std::int16_t deg = IntegerValue(c.latDeg);
    const std::int16_t min = IntegerValue(c.latMin);
    return geo::DMSToDeg(deg, min, SecondsValue(c.latSec, roundSeconds), false);
}

double ReadLongitude(const TabControls& c, bool roundSeconds) {
    const std::int16_t deg = IntegerValue(c.lonDeg);
    const std::int16_t min = IntegerValue(c.lonMin);
    return geo::DMSToDeg(deg, min, SecondsValue(c.lonSec, roundSeconds), c.west.value);
}

std::int16_t ZoneOfList(const form::Control& list) {
    return num::CInt(num::Val(list.ListText()));
}

void MirrorToUTM(const TabControls& c, const geo::UTMPoint& p, bool round) {
    fields::SetFieldText(c.utmE, num::Format(round ? num::Round(p.E, 2) : p.E, core::kMetresPattern));
    fields::SetFieldText(c.utmN, num::Format(round ? num::Round(p.N, 2) : p.N, core::kMetresPattern));
    // The list holds "29", "30" and "31".
    c.zoneList.listIndex = core::InZones(p) ? p.zone - 29 : 1;
}

void MirrorToGeographic(form::FormModel& form, const TabControls& c, geo::LatLon p,
                        bool roundSeconds) {
    auto seconds = [roundSeconds](double s) {
        return num::Format(roundSeconds ? num::Round(s, 4) : s, core::kSecondsPattern);
    };
    const geo::DMS lat = geo::DegToDMS(p.lat);
    fields::SetFieldText(c.latDeg, std::to_string(lat.deg));
    fields::SetFieldText(c.latMin, std::to_string(lat.min));
    fields::SetFieldText(c.latSec, seconds(lat.sec));

    const geo::DMS lon = geo::DegToDMS(p.lon);
    fields::SetFieldText(c.lonDeg, std::to_string(std::abs(lon.deg)));
    form.SelectOption(p.lon < 0 ? c.west : c.east);
    fields::SetFieldText(c.lonMin, std::to_string(lon.min));
    fields::SetFieldText(c.lonSec, seconds(lon.sec));
}

namespace {

// The height of a frame. The click reads it only once the mirror is written, so a
// run-time error reading it is kept and raised there.
struct Height {
    double value = 0;
    std::exception_ptr error;
};

Height ReadHeight(const form::Control& field) {
    try {
        return {text::FieldValue(field.text), nullptr};
    } catch (...) {
        return {0, std::current_exception()};
    }
}

template <typename Input>
auto Convert(const Method& m, const Input& p, Tab tab, core::Grids& grids) {
    switch (m.kind) {
        case Method::Molodensky:
            return core::Molodensky(p, tab, m.set);
        case Method::Grid:
            return core::IgnGrid(p, tab, grids.Shift());
        case Method::Helmert:
            break;
    }
    return core::Helmert(p, tab);
}

void WriteAltitude(form::Control& label, const core::Altitude& a, core::Grids& grids) {
    label.text = core::AltitudeCaption(a);
    label.toolTip = core::AltitudeToolTip(a, grids.Geoid().Problem());
}

// Tab 0: the altitude of the typed WGS84 point, in the frame it was typed in.
void WriteTypedAltitude(form::Control* label, double lat, double lon, double h, bool hasHeight,
                        core::Grids& grids) {
    if (label == nullptr) return;
    if (!hasHeight) {
        label->text = core::kNoHeightAltitude;
        label->toolTip = core::kNoHeightTip;
        return;
    }
    WriteAltitude(*label, core::AltitudeOf(lat, lon, h, grids.Geoid()), grids);
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

// The typed point's place on WGS84 (tab 0): the point itself, or a UTM point's mirror.
geo::GeoPoint TypedPlace(const core::GeographicInput& p, Tab) { return {p.lat, p.lon, p.h}; }
geo::GeoPoint TypedPlace(const core::UtmInput& p, Tab tab) {
    const geo::LatLon m = core::MirrorOf(p, tab);
    return {m.lat, m.lon, p.h};
}

// What became of a typed altitude.
enum class TypedAltitude {
    Taken,     // p.h is the height the method is given for it
    OffGeoid,  // the point is off the geoid: p.h stays the altitude, for the position alone
    Refused,   // the geoid's file cannot be read: the box said so, the results are reset
};

// With the tab's "sobre el mar" option, replaces the typed altitude p.h by the height the
// method is given for it (HeightOfAltitude; the grid keeps it). Off the geoid the point
// keeps its altitude as a height, which moves its position by millimetres at most, and
// its height is not computed. A point the method does not convert keeps its altitude, for
// the click to give its own reason.
template <typename Input>
TypedAltitude TakeTypedAltitude(form::FormModel& form, form::Platform& platform, core::Grids& grids, Tab tab,
                                const Method& method, Input& p) {
    const double H = p.h;
    const auto wgs84At = [&](double h) -> std::optional<geo::GeoPoint> {
        p.h = h;
        if (tab == Tab::WGS84ToED50) return TypedPlace(p, tab);
        const core::Result r = Convert(method, p, tab, grids);
        return r.point;
    };
    std::optional<double> h;
    if (method.kind == Method::Grid) {
        const std::optional<geo::GeoPoint> place = wgs84At(H);
        if (place && grids.Geoid().At(place->lat, place->lon).answer == geo::GridAnswer::Done) h = H;
    } else {
        h = core::HeightOfAltitude(H, tab, grids.Geoid(), wgs84At);
    }
    p.h = H;
    if (h) p.h = *h;
    if (h || Convert(method, p, tab, grids).status != core::Status::Converted) return TypedAltitude::Taken;
    const std::string problem = grids.Geoid().Problem();
    if (problem.empty()) return TypedAltitude::OffGeoid;
    ResetResults(form, tab);
    platform.MsgBox(problem, "Talpor", form::MsgIcon::Exclamation, form::MsgButtons::OK, form::MsgResult::OK);
    return TypedAltitude::Refused;
}

// Whether the click goes on with the typed height: false once a box has stopped it.
// `offGeoid` tells an altitude that could not be taken.
template <typename Input>
bool TakeHeight(form::FormModel& form, form::Platform& platform, core::Grids& grids, const TabControls& c, Tab tab,
                const Method& method, bool hasHeight, Input& p, bool& offGeoid) {
    offGeoid = false;
    if (!c.altitude || !hasHeight) return true;
    const TypedAltitude taken = TakeTypedAltitude(form, platform, grids, tab, method, p);
    offGeoid = taken == TypedAltitude::OffGeoid;
    return taken != TypedAltitude::Refused;
}

// The typed point's height above WGS84 for tab 0's altitude lines: the typed height, or
// for an altitude H, H + N.
double TypedWgs84Height(const TabControls& c, const geo::GeoPoint& place, double typed, core::Grids& grids) {
    return c.altitude ? typed + core::AltitudeOf(place.lat, place.lon, 0, grids.Geoid()).N : typed;
}

// Writes the projected typed point into the UTM frame and gives it the geographic
// frame's height and altitude; outside zones 29-31 the tab's out-of-area method runs
// instead of the height copy, and the UTM frame's altitude line goes back to its
// initial text. Answers whether the click goes on.
bool WriteUtmMirror(form::FormModel& form, form::Platform& platform, const TabControls& c, Tab tab,
                    const geo::UTMPoint& mirror, bool round) {
    MirrorToUTM(c, mirror, round);
    if (!core::InZones(mirror)) {
        if (c.utmAltitude != nullptr) {
            c.utmAltitude->text = form::kTypedAltitude;
            c.utmAltitude->toolTip = form::kTypedAltitudeTip;
        }
        ShowInvalidArea(form, platform, tab);
        return false;
    }
    fields::SetFieldText(c.utmHeight, c.geoHeight.text);
    if (c.utmAltitude != nullptr && c.geoAltitude != nullptr) {
        c.utmAltitude->text = c.geoAltitude->text;
        c.utmAltitude->toolTip = c.geoAltitude->toolTip;
    }
    return true;
}

void WriteGeographicMirror(form::FormModel& form, const TabControls& c, geo::LatLon mirror,
                           bool round) {
    MirrorToGeographic(form, c, mirror, round);
    // A typed UTM point beyond the geographic fields' limits (south of 35º, say) has no
    // degrees those fields may hold: they are left empty rather than hold a value their
    // own check would refuse.
    form::Control* fields[] = {&c.latDeg, &c.latMin, &c.latSec, &c.lonDeg, &c.lonMin, &c.lonSec};
    for (const form::Control* field : fields) {
        if (fields::HoldsCheckedValue(form, *field)) continue;
        for (form::Control* clear : fields) fields::SetFieldText(*clear, "");
        break;
    }
    fields::SetFieldText(c.geoHeight, c.utmHeight.text);
}

// The grid file could not be opened: nothing of an earlier conversion stays beside
// the button the user pressed, and the box says why.
void ShowGridUnavailable(form::FormModel& form, form::Platform& platform, Tab tab, core::Grids& grids) {
    ResetResults(form, tab);
    platform.MsgBox(grids.Shift().Problem() +
                        "\r\nLos métodos Bursa Wolf 7p y Molodensky 3p siguen disponibles.",
                    "Talpor", form::MsgIcon::Exclamation, form::MsgButtons::OK, form::MsgResult::OK);
}

// `typedPoint`: the typed point on the tab's source datum, where tab 0 looks up the place:
// the map's outlines are WGS84's, some tens of metres true, and the ED50 result lies some
// 150 m away.
void WriteResults(form::FormModel& form, form::Platform& platform, core::Grids& grids, const TabControls& c,
                  Tab tab, const core::Result& r, double typed, bool hasHeight, bool offGeoid,
                  const std::optional<core::UtmInput>& typedUtm, geo::LatLon typedPoint) {
    if (r.status == core::Status::OutsideArea) {
        ShowInvalidArea(form, platform, tab);
        return;
    }
    if (r.status == core::Status::GridUnavailable) {
        ShowGridUnavailable(form, platform, tab, grids);
        return;
    }
    if (!r.point) throw *r.error;
    const core::Accuracy accuracy = core::AccuracyOf(*r.set);
    // The UTM values of an earlier point must not outlive a projection that fails.
    c.resE.values.clear();
    c.resN.values.clear();
    const bool grid = core::IsGrid(*r.set);
    c.resLat.text = core::LatitudeCaption(r.point->lat);
    c.resLat.values = {r.point->lat};
    c.resLon.text = core::LongitudeCaption(r.point->lon);
    c.resLon.values = {r.point->lon};
    c.resHeight.text =
        grid ? core::UntransformedHeightCaption(r.point->h) : core::HeightCaption(r.point->h, accuracy.z);
    c.resHeight.toolTip = core::SetToolTip(*r.set);
    if (!hasHeight) c.resHeight.text = core::kNoHeightCaption;
    if (offGeoid) {
        c.resHeight.text = core::kOffGeoidHeightCaption;
        c.resHeight.toolTip = core::kOffGeoidTip;
    }
    if (c.resAltitude != nullptr) {
        if (offGeoid) {
            c.resAltitude->text = core::kOffGeoidAltitude;
            c.resAltitude->toolTip = core::kOffGeoidTip;
        } else if (!hasHeight) {
            c.resAltitude->text = core::kNoHeightAltitude;
            c.resAltitude->toolTip = core::kNoHeightTip;
        } else if (grid && c.altitude) {
            // The grid carries the typed altitude: the result's altitude, over its N.
            core::Altitude a = core::AltitudeOf(r.point->lat, r.point->lon, 0, grids.Geoid());
            a.H = typed;
            WriteAltitude(*c.resAltitude, a, grids);
        } else if (grid) {
            c.resAltitude->text = core::kNoWgs84HeightAltitude;
            c.resAltitude->toolTip = core::kNoWgs84HeightAltitudeTip;
        } else {
            WriteAltitude(*c.resAltitude,
                          core::AltitudeOf(r.point->lat, r.point->lon, r.point->h, grids.Geoid()), grids);
        }
    }
    if (!r.utm) throw *r.error;
    c.resE.text = core::EastingCaption(r.utm->E, accuracy.x);
    c.resE.values = {r.utm->E};
    c.resN.text = core::NorthingCaption(r.utm->N, accuracy.y);
    c.resN.values = {r.utm->N};
    c.resZone.text = core::ZoneCaption(r.utm->zoneText);
    c.resZone.toolTip = core::GridFactorsToolTip(
        geo::UTMGridFactors(r.point->lat, r.point->lon, r.utm->zone, core::TargetEllipsoid(tab)));
    const geo::LatLon wgs84 = tab == Tab::WGS84ToED50 ? typedPoint : geo::LatLon{r.point->lat, r.point->lon};
    c.place->text = core::PlaceWarning(grids.Places(), wgs84.lat, wgs84.lon, tab, typedUtm);
    c.place->toolTip = c.place->text.empty() ? "" : "El punto se ha convertido: compruebe que es el que quería.";
}

void ConvertGeographic(form::FormModel& form, form::Platform& platform, core::Grids& grids,
                       const TabControls& c, Tab tab, const Method& method, bool round) {
    const bool tab0 = tab == Tab::WGS84ToED50;
    core::GeographicInput p;
    p.lat = ReadLatitude(c, round);
    if (tab0) c.latDeg.toolTip = num::NumberToText(p.lat);
    p.lon = ReadLongitude(c, round);
    if (tab0) c.lonDeg.toolTip = num::NumberToText(p.lon);
    // Tab 0 reads the geographic frame's height, tab 1 the UTM frame's once it is a
    // copy of it: the same text.
    const Height h = ReadHeight(c.geoHeight);
    p.h = h.value;
    // An unreadable height stops the click once the mirror is written: no conversion
    // runs, so no Helmert set is chosen either.
    if (h.error) {
        if (WriteUtmMirror(form, platform, c, tab, core::MirrorOf(p, tab), round))
            std::rethrow_exception(h.error);
        return;
    }
    const double typed = p.h;
    const bool hasHeight = !IsBlank(c.geoHeight.text);
    bool offGeoid = false;
    if (!TakeHeight(form, platform, grids, c, tab, method, hasHeight, p, offGeoid)) return;
    WriteTypedAltitude(c.geoAltitude, p.lat, p.lon, TypedWgs84Height(c, TypedPlace(p, tab), typed, grids),
                       hasHeight, grids);

    const core::GeographicConversion r = Convert(method, p, tab, grids);
    if (!r.mirror) throw *r.error;
    if (!WriteUtmMirror(form, platform, c, tab, *r.mirror, round)) return;
    WriteResults(form, platform, grids, c, tab, r, typed, hasHeight, offGeoid, std::nullopt, {p.lat, p.lon});
}

void ConvertUtm(form::FormModel& form, form::Platform& platform, core::Grids& grids, const TabControls& c,
                Tab tab, const Method& method, bool round) {
    core::UtmInput p;
    p.E = text::FieldValue(c.utmE.text);
    p.N = text::FieldValue(c.utmN.text);
    p.zone = ZoneOfList(c.zoneList);
    const Height h = ReadHeight(c.utmHeight);
    p.h = h.value;
    if (h.error) {
        WriteGeographicMirror(form, c, core::MirrorOf(p, tab), round);
        std::rethrow_exception(h.error);
    }

    const double typed = p.h;
    const bool hasHeight = !IsBlank(c.utmHeight.text);
    bool offGeoid = false;
    if (!TakeHeight(form, platform, grids, c, tab, method, hasHeight, p, offGeoid)) return;
    const core::UtmConversion r = Convert(method, p, tab, grids);
    if (!r.mirror) throw *r.error;
    WriteGeographicMirror(form, c, *r.mirror, round);
    const double wgs84 = TypedWgs84Height(c, {r.mirror->lat, r.mirror->lon, 0}, typed, grids);
    WriteTypedAltitude(c.utmAltitude, r.mirror->lat, r.mirror->lon, wgs84, hasHeight, grids);
    WriteTypedAltitude(c.geoAltitude, r.mirror->lat, r.mirror->lon, wgs84, hasHeight, grids);
    WriteResults(form, platform, grids, c, tab, r, typed, hasHeight, offGeoid, p, {r.mirror->lat, r.mirror->lon});
}

}  // namespace

std::vector<form::Control*> ResultLabels(const TabControls& c) {
    std::vector<form::Control*> labels = {&c.resLat, &c.resLon, &c.resHeight, &c.resE, &c.resN, &c.resZone};
    for (form::Control* line : {c.geoAltitude, c.utmAltitude, c.resAltitude})
        if (line != nullptr) labels.push_back(line);
    return labels;
}

void ConvertClick(form::FormModel& form, form::Platform& platform, core::Grids& grids, Tab tab,
                  const Method& method, bool round) {
    const TabControls c = ControlsOf(form, tab);
    const bool utm = tab == Tab::WGS84ToED50 ? Tab0ReadsUtm(form) : Tab1ReadsUtm(form);
    const bool checked =
        utm ? fields::FieldsChecked(form, platform, {&c.utmE, &c.utmN, &c.utmHeight})
            : fields::FieldsChecked(form, platform,
                                   {&c.latDeg, &c.latMin, &c.latSec, &c.lonDeg, &c.lonMin, &c.lonSec, &c.geoHeight});
    if (!checked) return;
    // Whatever the click writes next is of the point as typed now.
    for (form::Control* label : ResultLabels(c)) label->stale = false;
    if (utm) {
        ConvertUtm(form, platform, grids, c, tab, method, round);
    } else {
        ConvertGeographic(form, platform, grids, c, tab, method, round);
    }
}

// The latitude and longitude results go back to their initial captions and the UTM
// results get the tab's own texts; no height or altitude stays beside results that
// were reset.
void ResetResults(form::FormModel& form, Tab tab) {
    const bool tab0 = tab == Tab::WGS84ToED50;
    const TabControls c = ControlsOf(form, tab);
    c.resLat.text = form::kInitialGeoResult;
    c.resLon.text = form::kInitialGeoResult;
    c.resHeight.text = form::kHeightResult;
    c.resHeight.toolTip.clear();
    if (c.resAltitude != nullptr) {
        c.resAltitude->text = form::kAltitudeResult;
        c.resAltitude->toolTip.clear();
    }
    c.resZone.toolTip.clear();
    for (form::Control* result : {&c.resLat, &c.resLon, &c.resE, &c.resN}) result->values.clear();
    c.resE.text = tab0 ? "E= 0,0 ±1,5" : "E= 0,0";
    c.resN.text = tab0 ? "N= 0,0 ±1,5" : "N= 0,0";
    c.resZone.text = tab0 ? "Huso= ?" : "Huso=";
    c.place->text.clear();
    c.place->toolTip.clear();
}

void ShowInvalidArea(form::FormModel& form, form::Platform& platform, Tab tab) {
    ResetResults(form, tab);
    platform.MsgBox("Transformación válida solamente para la península y Baleares", "Talpor",
                    form::MsgIcon::Exclamation, form::MsgButtons::OK, form::MsgResult::OK);
}

}  // namespace detail

using detail::Tab;

using detail::Method;

void CmdED50Helmert_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids) {
    detail::ConvertClick(form, platform, grids, Tab::WGS84ToED50, {}, true);
}

void CmdWGS84Helmert_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids) {
    detail::ConvertClick(form, platform, grids, Tab::ED50ToWGS84, {}, true);
}

// Tab 1 takes its typed seconds as they are and writes its mirrored eastings,
// northings and seconds without rounding them first; tab 0 rounds both. Where a value
// falls on a half of the last shown digit the two tabs therefore show it differently.
void CmdED50Molodensky_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids) {
    const bool ign = form.Get("OptMWGS84", 0).value;
    detail::ConvertClick(form, platform, grids, Tab::WGS84ToED50,
                         {Method::Molodensky, ign ? core::MolodenskySet::IGN : core::MolodenskySet::NIMA},
                         true);
}

void CmdWGS84Molodensky_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids) {
    const bool ign = form.Get("OptMED50", 2).value;
    detail::ConvertClick(form, platform, grids, Tab::ED50ToWGS84,
                         {Method::Molodensky, ign ? core::MolodenskySet::IGN : core::MolodenskySet::NIMA},
                         false);
}

// Both tabs round as the Helmert buttons do.
void CmdED50Rejilla_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids) {
    detail::ConvertClick(form, platform, grids, Tab::WGS84ToED50, {Method::Grid}, true);
}

void CmdWGS84Rejilla_Click(form::FormModel& form, form::Platform& platform, core::Grids& grids) {
    detail::ConvertClick(form, platform, grids, Tab::ED50ToWGS84, {Method::Grid}, true);
}

void MarkResultsStale(form::FormModel& form, int tab) {
    const detail::TabControls c = detail::ControlsOf(form, tab == 0 ? Tab::WGS84ToED50 : Tab::ED50ToWGS84);
    for (form::Control* label : detail::ResultLabels(c)) label->stale = true;
    c.place->text.clear();  // of the point before
    c.place->toolTip.clear();
}

void ShowInvalidAreaED50(form::FormModel& form, form::Platform& platform) {
    detail::ShowInvalidArea(form, platform, Tab::WGS84ToED50);
}

void ShowInvalidAreaWGS84(form::FormModel& form, form::Platform& platform) {
    detail::ShowInvalidArea(form, platform, Tab::ED50ToWGS84);
}

}  // namespace convert
