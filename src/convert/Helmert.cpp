// "Bursa Wolf 7p" on both conversion tabs: the typed point is projected or
// unprojected into the tab's other input frame, its regional parameter set is chosen
// (from the geographic or from the UTM coordinates, whichever were typed), and it is
// carried through geocentric coordinates and the seven-parameter transformation to
// the other datum.
#include <cstdint>

#include "convert/ConversionTab.h"
#include "convert/Conversions.h"
#include "entry/mText.h"
#include "geo/mGeo.h"
#include "num/Number.h"

namespace convert {
namespace {

using detail::Tab;

// EUREF accuracy of the regional sets, the same on every axis.
constexpr const char* kAccuracy = "  ±1,5m";

void HelmertClick(app::FormModel& form, app::Platform& platform, Tab tab) {
    const detail::TabControls c = detail::ControlsOf(form, tab);
    const bool tab0 = tab == Tab::WGS84ToED50;
    const mGeo::Ellipsoid& source = detail::SourceEllipsoid(tab);
    const mGeo::Ellipsoid& target = detail::TargetEllipsoid(tab);

    double lat = 0, lon = 0, h = 0;
    if (!detail::IsUtmInput(form, tab)) {
        lat = detail::ReadLatitude(c, true);
        if (tab0) c.latDeg.toolTip = num::NumberToText(lat);
        lon = detail::ReadLongitude(c, true);
        if (tab0) c.lonDeg.toolTip = num::NumberToText(lon);

        if (!detail::MirrorToUTM(c, mGeo::GeoToUTM(lat, lon, source), true)) {
            detail::ShowInvalidArea(form, platform, tab);
            return;
        }
        c.utmHeight.text = c.geoHeight.text;
        // Both frames hold the same text now; each tab reads the one it always read.
        h = mText::FieldValue(tab0 ? c.geoHeight.text : c.utmHeight.text);

        if (!mGeo::HelmertZoneFromGeo(lat, lon)) {
            detail::ShowInvalidArea(form, platform, tab);
            return;
        }
    } else {
        const double E = mText::FieldValue(c.utmE.text);
        const double N = mText::FieldValue(c.utmN.text);
        const std::int16_t zone = detail::ZoneOfList(c.zoneList);
        const mGeo::LatLon p = mGeo::UTMToGeo(E, N, zone, source, "N");
        lat = p.lat;
        lon = p.lon;
        detail::MirrorToGeographic(form, c, p, true);
        c.geoHeight.text = c.utmHeight.text;
        h = mText::FieldValue(c.geoHeight.text);

        // The zone lines of the UTM rule are not those of the geographic rule: in zone
        // 30 every point west of easting 374900 gets ZNW99, however far south it lies.
        if (!mGeo::HelmertZoneFromUTM(E, N, zone)) {
            detail::ShowInvalidArea(form, platform, tab);
            return;
        }
    }

    const mGeo::Geocentric g = mGeo::GeoToGeocentric(lat, lon, h, source);
    const mGeo::Geocentric t = mGeo::HelmertTransform(
        g.X, g.Y, g.Z,
        tab0 ? mGeo::HelmertDirection::WGS84ToED50 : mGeo::HelmertDirection::ED50ToWGS84);
    const mGeo::GeoPoint r = mGeo::GeocentricToGeo(t.X, t.Y, t.Z, target);

    c.resLat.text = detail::LatitudeCaption(r.lat);
    c.resLon.text = detail::LongitudeCaption(r.lon);
    c.resHeight.text = detail::HeightCaption(r.h, kAccuracy);
    detail::WriteUTMResult(c, mGeo::GeoToUTM(r.lat, r.lon, target), kAccuracy, kAccuracy);
}

}  // namespace

void CmdED50Helmert_Click(app::FormModel& form, app::Platform& platform) {
    HelmertClick(form, platform, Tab::WGS84ToED50);
}

void CmdWGS84Helmert_Click(app::FormModel& form, app::Platform& platform) {
    HelmertClick(form, platform, Tab::ED50ToWGS84);
}

}  // namespace convert
