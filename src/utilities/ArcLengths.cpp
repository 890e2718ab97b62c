// "Longitudes de arco": radii of the parallel and of the meridian at point 1's
// latitude on the WGS84 ellipsoid, the ground length of a degree and of a second
// along each, and the point's speed due to the Earth's rotation.
#include <string>

#include "geo/mGeo.h"
#include "num/Number.h"
#include "utilities/PointFields.h"
#include "utilities/Utilities.h"

namespace utilities {

namespace {

constexpr double kEarthRotation = 7.292114992e-05;  // radians per second
constexpr double kMetresPerKm = 1000;
constexpr double kSecondsPerDegree = 3600;
constexpr const char* kNewLine = "\r\n";

}  // namespace

void Command2_Click(form::FormModel& form, form::Platform& platform) {
    if (!AnglesChecked(form, platform, {kPoint1Latitude})) return;
    // The radii are the same at ±latitude: the N/S choice is not read.
    double lat = ReadAngle(form, kPoint1Latitude, false);
    const geo::Ellipsoid& wgs84 = geo::Ellipsoids[geo::kWGS84];
    double rp = geo::ParallelRadius(lat, wgs84);  // metres
    double rm = geo::MeridianRadius(lat, wgs84);  // metres

    double lon1Deg = rp * geo::kPi / 180;  // metres per degree of longitude
    double lon1Sec = lon1Deg / kSecondsPerDegree;
    double lat1Deg = rm * geo::kPi / 180;  // metres per degree of latitude
    double lat1Sec = lat1Deg / kSecondsPerDegree;

    std::string text;
    text += "Radio del círculo en el paralelo de Lat=" + num::Format(lat, "#,##0.000") +
            "º  Rp= " + num::Format(rp / kMetresPerKm, "#,##0.000") + " km" + kNewLine;
    text += "1º de longitud equivale a " + num::Format(lon1Deg / kMetresPerKm, "#,##0.0000") +
            " km" + kNewLine;
    text += "1'' de longitud equivale a " + num::Format(lon1Sec, "#,##0.00") + " m" + kNewLine;
    text += "Velocidad lineal del punto de latitud L debida a la rotación de la tierra w·Rp= " +
            num::Format(rp * kEarthRotation, "#,##0.00") + " m/seg" + kNewLine;
    text += kNewLine;
    text +=
        "Radio de curvatura de la Tierra en el meridiano con Lat=" + num::Format(lat, "#,##0.000") +
        "º  Rm= " + num::Format(rm / kMetresPerKm, "#,##0.000") + " km" + kNewLine;
    text += "1º de latitud equivale a " + num::Format(lat1Deg / kMetresPerKm, "#,##0.0000") +
            " km" + kNewLine;
    text += "1'' de latitud equivale a " + num::Format(lat1Sec, "#,##0.00") + " m";

    platform.MsgBox(text, "Longitudes de arco para el punto nº 1", form::MsgIcon::Information,
                    form::MsgButtons::OK, form::MsgResult::OK);
}

}  // namespace utilities
