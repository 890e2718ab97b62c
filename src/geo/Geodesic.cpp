// The geodesic through PROJ's geod_inverse, in the program's PROJ module; the back
// azimuth as PROJ's geod prints it, so that the two can be compared figure by figure.
#include "geo/Geodesic.h"

#include "geo/ProjLoader.h"

namespace geo {

Geodesic InverseGeodesic(double lat1, double lon1, double lat2, double lon2,
                         const Ellipsoid& ellipsoid) {
    Geodesic g;
    const detail::ProjModule& proj = detail::Proj();
    if (proj.functions == nullptr) {
        g.problem = proj.problem;
        return g;
    }
    // The flattening from the ellipsoid's own inverse flattening, as geod's +ellps=WGS84
    // takes it (the stored e² is rounded to 14 decimals).
    const double f = 1 / ellipsoid.InvF;
    double out[3];
    proj.functions->inverse(ellipsoid.A, f, lat1, lon1, lat2, lon2, out);
    g.done = true;
    g.metres = out[0];
    g.azimuth1 = out[1];
    // out[2] points on along the geodesic, away from the first point; the way back is
    // its opposite, turned as geod turns it.
    const double azimuth2 = out[2];
    g.backAzimuth2 = azimuth2 >= 0 ? azimuth2 - 180 : azimuth2 + 180;
    return g;
}

}  // namespace geo
