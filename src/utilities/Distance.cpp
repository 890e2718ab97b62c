// "Distancia entre (1) y (2)": the ellipsoidal distance between the two points of the
// tab, in kilometres, on the WGS84 ellipsoid, and under it the exact geodesic with its
// azimuths.
#include <cmath>

#include "geo/Geodesic.h"
#include "geo/mGeo.h"
#include "num/Number.h"
#include "utilities/PointFields.h"
#include "utilities/Utilities.h"

namespace utilities {

namespace {

constexpr const char* kLatitudeMessage = "La latitud no puede ser mayor que 90º";
constexpr const char* kLongitudeMessage = "La longitud no puede ser mayor que 180º";
constexpr const char* kGeodesicTip =
    "Método de Karney. Acimut en (2): el inverso, hacia (1); desde el norte, positivo hacia el "
    "este";
// Two lines, as the geodesic's own: the label is as wide as the points' frames.
constexpr const char* kNoGeodesic =
    "Geodésica WGS84: no se puede calcular\nsin el módulo de PROJ, talpor-proj.so.";

void Warn(form::Platform& platform, const char* text) {
    platform.MsgBox(text, platform.AppTitle(), form::MsgIcon::Exclamation, form::MsgButtons::OK,
                    form::MsgResult::OK);
}

// An azimuth as the program writes angles, to the thousandth of a second: -36º 6'
// 18,749" (a second that rounds to 60 carries into the minutes and degrees).
std::string AzimuthText(double degrees) {
    const double total = std::round(std::fabs(degrees) * 3600000);  // thousandths of a second
    const double deg = std::floor(total / 3600000);
    const double min = std::floor(std::fmod(total, 3600000) / 60000);
    const double sec = std::fmod(total, 60000) / 1000;
    const std::string sign = degrees < 0 && total > 0 ? "-" : "";
    return sign + num::Format(deg, "0º ") + num::Format(min, "0' ") + num::Format(sec, "0.000\"");
}

// The geodesic line: two lines, the length to the millimetre, then the azimuths.
std::string GeodesicText(const geo::Geodesic& g) {
    return "Geodésica WGS84= " + num::Format(g.metres, "#,##0.000 m") + "\nAcimut en (1) " +
           AzimuthText(g.azimuth1) + ", en (2) " + AzimuthText(g.backAzimuth2);
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
    if (std::abs(lon2) > 180) return Warn(platform, kLongitudeMessage);

    double dist = geo::GeoDistance(lat1, lon1, lat2, lon2, "Km");
    const geo::Geodesic geodesic = geo::InverseGeodesic(lat1, lon1, lat2, lon2);
    form.Get("LblDist").text = "Distancia= " + num::Format(dist, "#,##0.000 Km");
    form.Get("LblDist").stale = false;
    form::Control& line = form.Get("LblGeodesica");
    line.text = geodesic.done ? GeodesicText(geodesic) : kNoGeodesic;
    line.toolTip =
        geodesic.done ? kGeodesicTip : "No se puede calcular la geodésica: " + geodesic.problem;
    line.stale = false;
}

}  // namespace utilities
