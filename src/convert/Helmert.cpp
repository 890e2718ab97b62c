// "Bursa Wolf 7p" on both conversion tabs: the typed point is projected or
// unprojected into the tab's other input frame, its regional parameter set is chosen
// (from the geographic or from the UTM coordinates, whichever were typed), and it is
// carried through geocentric coordinates and the seven-parameter transformation to
// the other datum.
#include <optional>

#include "convert/ConversionTab.h"
#include "convert/Conversions.h"
#include "geo/mGeo.h"

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

    const auto p = detail::ReadTypedPoint(form, platform, c, tab, true);
    if (!p) return;
    // The zone lines of the UTM rule are not those of the geographic rule: in zone 30
    // every point west of easting 374900 gets ZNW99, however far south it lies.
    const bool inArea = p->utm ? mGeo::HelmertZoneFromUTM(p->E, p->N, p->zone)
                               : mGeo::HelmertZoneFromGeo(p->lat, p->lon);
    if (!inArea) {
        detail::ShowInvalidArea(form, platform, tab);
        return;
    }

    const mGeo::Geocentric g = mGeo::GeoToGeocentric(p->lat, p->lon, p->h, source);
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
