// "Distancia entre (1) y (2)": the ellipsoidal distance between the two points of the
// tab, in kilometres, on the WGS84 ellipsoid.
#include <cmath>

#include "geo/mGeo.h"
#include "num/Number.h"
#include "utilities/PointFields.h"
#include "utilities/Utilities.h"

namespace utilities {

namespace {

constexpr const char* kLatitudeMessage = "La latitud no puede ser mayor que 90º";
constexpr const char* kLongitudeMessage = "La longitud no puede ser mayor que 180º";

void Warn(form::Platform& platform, const char* text) {
    platform.MsgBox(text, platform.AppTitle(), form::MsgIcon::Exclamation, form::MsgButtons::OK,
                    form::MsgResult::OK);
}

}  // namespace

void Command4_Click(form::FormModel& form, form::Platform& platform) {
    if (!AnglesChecked(form, platform, {kPoint1Latitude, kPoint1Longitude, kPoint2Latitude, kPoint2Longitude}))
        return;
    // Each angle is checked as soon as it is read: a bad latitude of point 1 is
    // reported before anything else of the tab is looked at.
    double lat1 = ReadAngle(form, kPoint1Latitude, Point1IsSouth(form));
    if (std::abs(lat1) > 90) return Warn(platform, kLatitudeMessage);
    double lon1 = ReadAngle(form, kPoint1Longitude, Point1IsWest(form));
    if (std::abs(lon1) > 180) return Warn(platform, kLongitudeMessage);
    double lat2 = ReadAngle(form, kPoint2Latitude, Point2IsSouth(form));
    if (std::abs(lat2) > 90) return Warn(platform, kLatitudeMessage);
    double lon2 = ReadAngle(form, kPoint2Longitude, Point2IsWest(form));

    double dist = geo::GeoDistance(lat1, lon1, lat2, lon2, "Km");
    form.Get("LblDist").text = "Distancia= " + num::Format(dist, "#,##0.000 Km");
    form.Get("LblDist").stale = false;
}

}  // namespace utilities
