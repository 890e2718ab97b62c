#include "convert/ConversionTab.h"

#include <cmath>
#include <string>

#include "convert/Conversions.h"
#include "entry/mText.h"
#include "form/FrmTalporControls.h"
#include "geo/Angles.h"
#include "num/Number.h"

namespace convert {
namespace detail {
namespace {

constexpr const char* kSecondsPattern = "#,##0.0000";
constexpr const char* kMetresPattern = "#,##0.00";

}  // namespace

TabControls ControlsOf(app::FormModel& form, Tab tab) {
    auto F = [&form](const char* name, int index = -1) -> app::Control& {
        return form.Get(name, index);
    };
    if (tab == Tab::WGS84ToED50) {
        return {F("TxtWGSg", 0), F("TxtWGSg", 1),   F("TxtWGSg", 2),   F("TxtWGSg", 3),
                F("TxtWGSg", 4), F("TxtWGSg", 5),   F("OptLng", 0),    F("OptLng", 1),
                F("TxtWGSg", 6), F("TxtUTMx"),      F("TxtUTMy"),      F("CmbHuso"),
                F("TxtWGSg", 8), F("LblGeoLat", 0), F("LblGeoLon", 0), F("LblLat", 20),
                F("LblUTM", 0),  F("LblUTM", 1),    F("LblUTM", 2)};
    }
    return {F("TxtWGSg", 7),  F("TxtWGSg", 14),  F("TxtWGSg", 15),  F("TxtWGSg", 16),
            F("TxtWGSg", 17), F("TxtWGSg", 18),  F("OptLng", 4),    F("OptLng", 5),
            F("TxtWGSg", 26), F("TxtUTMe"),      F("TxtUTMn"),      F("CmbUsos2"),
            F("TxtWGSg", 25), F("LblGeoLat", 1), F("LblGeoLon", 1), F("LblLat", 24),
            F("LblUTM", 6),   F("LblUTM", 7),    F("LblUTM", 8)};
}

bool IsUtmInput(const app::FormModel& form, Tab tab) {
    if (tab == Tab::WGS84ToED50) return !form.Get("OptUTM", 0).value;
    return form.Get("OptCoord", 0).value;
}

const mGeo::Ellipsoid& SourceEllipsoid(Tab tab) {
    return mGeo::Ellipsoids[tab == Tab::WGS84ToED50 ? mGeo::kWGS84 : mGeo::kED50];
}

const mGeo::Ellipsoid& TargetEllipsoid(Tab tab) {
    return mGeo::Ellipsoids[tab == Tab::WGS84ToED50 ? mGeo::kED50 : mGeo::kWGS84];
}

std::int16_t IntegerValue(const app::Control& field) {
    return num::CInt(mText::FieldValue(field.text));
}

namespace {

double SecondsValue(const app::Control& field, bool round) {
    const double s = mText::FieldValue(field.text);
    return round ? num::Round(s, 4) : s;
}

}  // namespace

double ReadLatitude(const TabControls& c, bool roundSeconds) {
    const std::int16_t deg = IntegerValue(c.latDeg);
    const std::int16_t min = IntegerValue(c.latMin);
    return mGeo::DMSToDeg(deg, min, SecondsValue(c.latSec, roundSeconds), false);
}

double ReadLongitude(const TabControls& c, bool roundSeconds) {
    const std::int16_t deg = IntegerValue(c.lonDeg);
    const std::int16_t min = IntegerValue(c.lonMin);
    return mGeo::DMSToDeg(deg, min, SecondsValue(c.lonSec, roundSeconds), c.west.value);
}

std::int16_t ZoneOfList(const app::Control& list) {
    return num::CInt(num::Val(list.ListText()));
}

bool MirrorToUTM(const TabControls& c, const mGeo::UTMPoint& p, bool round) {
    c.utmE.text = num::Format(round ? num::Round(p.E, 2) : p.E, kMetresPattern);
    c.utmN.text = num::Format(round ? num::Round(p.N, 2) : p.N, kMetresPattern);
    // The zone text starts with the zone number: "30T".
    const std::string_view zone = std::string_view(p.zoneText).substr(0, 2);
    int item = -1;
    if (zone == "29") item = 0;
    if (zone == "30") item = 1;
    if (zone == "31") item = 2;
    c.zoneList.listIndex = item < 0 ? 1 : item;
    return item >= 0;
}

void MirrorToGeographic(app::FormModel& form, const TabControls& c, mGeo::LatLon p,
                        bool roundSeconds) {
    auto seconds = [roundSeconds](double s) {
        return num::Format(roundSeconds ? num::Round(s, 4) : s, kSecondsPattern);
    };
    const mGeo::DMS lat = mGeo::DegToDMS(p.lat);
    c.latDeg.text = std::to_string(lat.deg);
    c.latMin.text = std::to_string(lat.min);
    c.latSec.text = seconds(lat.sec);

    const mGeo::DMS lon = mGeo::DegToDMS(p.lon);
    c.lonDeg.text = std::to_string(std::abs(lon.deg));
    form.SelectOption(p.lon < 0 ? c.west : c.east);
    c.lonMin.text = std::to_string(lon.min);
    c.lonSec.text = seconds(lon.sec);
}

std::optional<TypedPoint> ReadTypedPoint(app::FormModel& form, app::Platform& platform,
                                         const TabControls& c, Tab tab, bool round) {
    const bool tab0 = tab == Tab::WGS84ToED50;
    const mGeo::Ellipsoid& source = SourceEllipsoid(tab);
    TypedPoint p;
    p.utm = IsUtmInput(form, tab);
    if (!p.utm) {
        p.lat = ReadLatitude(c, round);
        if (tab0) c.latDeg.toolTip = num::NumberToText(p.lat);
        p.lon = ReadLongitude(c, round);
        if (tab0) c.lonDeg.toolTip = num::NumberToText(p.lon);

        if (!MirrorToUTM(c, mGeo::GeoToUTM(p.lat, p.lon, source), round)) {
            ShowInvalidArea(form, platform, tab);
            return std::nullopt;
        }
        c.utmHeight.text = c.geoHeight.text;
        // Both frames hold the same text now; each tab reads the one it always read.
        p.h = mText::FieldValue(tab0 ? c.geoHeight.text : c.utmHeight.text);
    } else {
        // UTM input has no zone test: its zone is always one of the list's three.
        p.E = mText::FieldValue(c.utmE.text);
        p.N = mText::FieldValue(c.utmN.text);
        p.zone = ZoneOfList(c.zoneList);
        const mGeo::LatLon g = mGeo::UTMToGeo(p.E, p.N, p.zone, source, "N");
        p.lat = g.lat;
        p.lon = g.lon;
        MirrorToGeographic(form, c, g, round);
        c.geoHeight.text = c.utmHeight.text;
        p.h = mText::FieldValue(c.geoHeight.text);
    }
    return p;
}

namespace {

// 40º 25' 3,1234 (degrees and minutes never negative; the caller appends the sign).
std::string DMSCaption(double value) {
    const mGeo::DMS d = mGeo::DegToDMS(value);
    return num::Format(std::abs(d.deg), "#,##0º ") + num::Format(d.min, "#,##0' ") +
           num::Format(num::Round(d.sec, 4), kSecondsPattern);
}

}  // namespace

std::string LatitudeCaption(double lat) {
    return DMSCaption(lat) + "\" N";
}

std::string LongitudeCaption(double lon) {
    return DMSCaption(lon) + (lon < 0 ? "\" W" : "\" E");
}

std::string HeightCaption(double h, std::string_view accuracy) {
    return "Altura sobre el elipsoide = " + num::Format(num::Round(h, 1), "#,##0.0") +
           std::string(accuracy);
}

void WriteUTMResult(const TabControls& c, const mGeo::UTMPoint& p, std::string_view accuracyE,
                    std::string_view accuracyN) {
    c.resE.text = "E= " + num::Format(num::Round(p.E, 2), kMetresPattern) + std::string(accuracyE);
    c.resN.text = "N= " + num::Format(num::Round(p.N, 2), kMetresPattern) + std::string(accuracyN);
    c.resZone.text = "Huso= " + p.zoneText;
}

// The latitude and longitude results go back to their initial captions and the UTM
// results get the tab's own texts; the height label keeps the result of the last
// conversion.
void ShowInvalidArea(app::FormModel& form, app::Platform& platform, Tab tab) {
    const bool tab0 = tab == Tab::WGS84ToED50;
    const TabControls c = ControlsOf(form, tab);
    c.resLat.text = app::kInitialGeoResult;
    c.resLon.text = app::kInitialGeoResult;
    c.resE.text = tab0 ? "E= 0,0 ±1,5" : "E= 0,0";
    c.resN.text = tab0 ? "N= 0,0 ±1,5" : "N= 0,0";
    c.resZone.text = tab0 ? "Huso= ?" : "Huso=";
    platform.MsgBox("Transformación válida solamente para la península y Baleares", "Talpor",
                    app::MsgIcon::Exclamation, app::MsgButtons::OK, app::MsgResult::OK);
}

}  // namespace detail

void ShowInvalidAreaED50(app::FormModel& form, app::Platform& platform) {
    detail::ShowInvalidArea(form, platform, detail::Tab::WGS84ToED50);
}

void ShowInvalidAreaWGS84(app::FormModel& form, app::Platform& platform) {
    detail::ShowInvalidArea(form, platform, detail::Tab::ED50ToWGS84);
}

}  // namespace convert
