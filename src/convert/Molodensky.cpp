// "Molodensky 3p" on both conversion tabs. The shifts are always those of ED50 to
// WGS84 on the International ellipsoid: tab 1 adds them to its ED50 point, tab 0
// evaluates them at its WGS84 point and subtracts them (a first-order inverse).
//
// Tab 1 takes its typed seconds as they are and writes its mirrored eastings,
// northings and seconds without rounding them first; tab 0 rounds both. Where a value
// falls on a half of the last shown digit the two tabs therefore show it differently.
#include <optional>

#include "convert/ConversionTab.h"
#include "convert/Conversions.h"
#include "geo/mGeo.h"

namespace convert {
namespace {

using detail::Tab;

// An angular shift (arc-seconds) in decimal degrees, sign kept. Taken through the
// sexagesimal conversion, not as shift / 3600: the two differ in the last bit.
double ShiftDegrees(double seconds) {
    return mGeo::DMSToDeg(0, 0, seconds, false);
}

void MolodenskyClick(app::FormModel& form, app::Platform& platform, Tab tab) {
    const bool tab0 = tab == Tab::WGS84ToED50;
    const bool ign = tab0 ? form.Get("OptMWGS84", 0).value : form.Get("OptMED50", 2).value;
    const mGeo::MolodenskyParams& set = ign ? mGeo::IGN : mGeo::NIMA;

    const detail::TabControls c = detail::ControlsOf(form, tab);
    const mGeo::Ellipsoid& target = detail::TargetEllipsoid(tab);

    const auto p = detail::ReadTypedPoint(form, platform, c, tab, tab0);
    if (!p) return;
    const double lat = p->lat, lon = p->lon, h = p->h;

    const mGeo::MolodenskyShifts s = mGeo::MolodenskyShift(lat, lon, h, set);

    const double lat2 = tab0 ? lat - ShiftDegrees(s.dLatSec) : lat + ShiftDegrees(s.dLatSec);
    c.resLat.text = detail::LatitudeCaption(lat2);
    const double lon2 = tab0 ? lon - ShiftDegrees(s.dLonSec) : lon + ShiftDegrees(s.dLonSec);
    c.resLon.text = detail::LongitudeCaption(lon2);
    const double h2 = tab0 ? h - s.dH : h + s.dH;
    c.resHeight.text = detail::HeightCaption(h2, set.PrecZ);

    detail::WriteUTMResult(c, mGeo::GeoToUTM(lat2, lon2, target), set.PrecX, set.PrecY);
}

}  // namespace

void CmdED50Molodensky_Click(app::FormModel& form, app::Platform& platform) {
    MolodenskyClick(form, platform, Tab::WGS84ToED50);
}

void CmdWGS84Molodensky_Click(app::FormModel& form, app::Platform& platform) {
    MolodenskyClick(form, platform, Tab::ED50ToWGS84);
}

}  // namespace convert
