#include "rasters/Georeference.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geo/Utm.h"
#include "num/RuntimeError.h"

namespace rasters {

namespace {

constexpr double kMetresPerDegree = 6371008.8 * M_PI / 180;  // on the sphere of the mean radius

struct Sample {
    double c, r;  // the pixel centre, in pixels from the image's top left corner
    XY at;        // where the method puts it
};

// Least squares of v = a + b u + d w over the samples (u, w centred for conditioning);
// with `plain`, of v = a + b u alone (d = 0).
struct Plane {
    double a = 0, b = 0, d = 0;
};

Plane FitPlane(const std::vector<double>& u, const std::vector<double>& w, const std::vector<double>& v, bool plain) {
    const double n = static_cast<double>(v.size());
    double mu = 0, mw = 0, mv = 0;
    for (std::size_t i = 0; i < v.size(); ++i) mu += u[i], mw += w[i], mv += v[i];
    mu /= n, mw /= n, mv /= n;
    double suu = 0, sww = 0, suw = 0, suv = 0, swv = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double du = u[i] - mu, dw = w[i] - mw, dv = v[i] - mv;
        suu += du * du, sww += dw * dw, suw += du * dw, suv += du * dv, swv += dw * dv;
    }
    Plane p;
    if (plain) {
        p.b = suu > 0 ? suv / suu : 0;
    } else {
        const double det = suu * sww - suw * suw;
        if (det != 0) {
            p.b = (suv * sww - swv * suw) / det;
            p.d = (swv * suu - suv * suw) / det;
        }
    }
    p.a = mv - p.b * mu - p.d * mw;
    return p;
}

// The affine georeference that fits the samples best; north-up with `northUp`.
Affine Fit(const std::vector<Sample>& samples, bool northUp) {
    std::vector<double> c, r, x, y;
    for (const Sample& s : samples) c.push_back(s.c), r.push_back(s.r), x.push_back(s.at.x), y.push_back(s.at.y);
    Affine a;
    if (northUp) {
        const Plane px = FitPlane(c, r, x, true), py = FitPlane(r, c, y, true);
        a.t = {px.a, px.b, 0, py.a, 0, py.b};
    } else {
        const Plane px = FitPlane(c, r, x, false), py = FitPlane(c, r, y, false);
        a.t = {px.a, px.b, px.d, py.a, py.b, py.d};
    }
    return a;
}

// Pixel centres over the image, `n` a side, corners and edges included.
std::vector<std::pair<double, double>> Centres(std::int64_t width, std::int64_t height, int n) {
    std::vector<std::pair<double, double>> out;
    const auto at = [n](std::int64_t size, int i) {
        return size <= 1 ? 0.5 : 0.5 + static_cast<double>(size - 1) * i / (n - 1);
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) out.emplace_back(at(width, i), at(height, j));
    return out;
}

struct Worst {
    double metres = 0, pixels = 0;
};

Worst Measure(const Affine& a, const std::vector<Sample>& samples, bool geographicOut) {
    // The inverse of the linear part, to measure in the output's pixels.
    const double det = a.t[1] * a.t[5] - a.t[2] * a.t[4];
    Worst w;
    for (const Sample& s : samples) {
        const double dx = s.at.x - a.X(s.c, s.r), dy = s.at.y - a.Y(s.c, s.r);
        const double dc = det != 0 ? (a.t[5] * dx - a.t[2] * dy) / det : INFINITY;
        const double dr = det != 0 ? (-a.t[4] * dx + a.t[1] * dy) / det : INFINITY;
        const double kx = geographicOut ? kMetresPerDegree * std::cos(s.at.y * M_PI / 180) : 1;
        const double ky = geographicOut ? kMetresPerDegree : 1;
        w.metres = std::max(w.metres, std::hypot(dx * kx, dy * ky));
        w.pixels = std::max(w.pixels, std::hypot(dc, dr));
    }
    return w;
}

core::Direction DirectionFrom(const RasterSystem& from) {
    return from.datum == RasterSystem::Datum::ED50 ? core::Direction::ED50ToWGS84 : core::Direction::WGS84ToED50;
}

// The core's answer for the point (x, y) of `from` at height 0, UtmInput or GeographicInput.
template <typename Point>
core::Result Convert(const Point& p, core::Direction direction, core::ParameterSet method, core::Grids& grids,
                     HelmertSets sets) {
    if (core::IsGrid(method)) return core::IgnGrid(p, direction, grids.Shift());
    if (method == core::ParameterSet::IGN) return core::Molodensky(p, direction, core::MolodenskySet::IGN);
    if (method == core::ParameterSet::NIMA) return core::Molodensky(p, direction, core::MolodenskySet::NIMA);
    if (sets == HelmertSets::Given) return core::Helmert(p, direction, method);
    return core::Helmert(p, direction);
}

}  // namespace

double Affine::PixelSide() const { return std::min(std::hypot(t[1], t[4]), std::hypot(t[2], t[5])); }

PointMap MethodMap(const RasterSystem& from, const RasterSystem& to, core::ParameterSet method, core::Grids& grids,
                   HelmertSets sets) {
    const core::Direction direction = DirectionFrom(from);
    if ((from.datum == RasterSystem::Datum::ED50) == (to.datum == RasterSystem::Datum::ED50)) {
        // One datum: the projection alone, on its ellipsoid.
        return [from, to, direction](double x, double y) -> std::optional<XY> {
            const geo::Ellipsoid& e = core::SourceEllipsoid(direction);
            try {
                const geo::LatLon p = from.zone != 0 ? geo::UTMToGeo(x, y, static_cast<std::int16_t>(from.zone), e)
                                                     : geo::LatLon{y, x};
                if (to.zone == 0) return XY{p.lon, p.lat};
                const geo::UTMPoint u = geo::GeoToUTMInZone(p.lat, p.lon, static_cast<std::int16_t>(to.zone), e);
                return XY{u.E, u.N};
            } catch (const num::RuntimeError&) {
                return std::nullopt;
            }
        };
    }
    return [from, to, method, direction, sets, &grids](double x, double y) -> std::optional<XY> {
        const core::Result r = from.zone != 0 ? Convert(core::UtmInput{x, y, static_cast<std::int16_t>(from.zone), 0},
                                                        direction, method, grids, sets)
                                              : Convert(core::GeographicInput{y, x, 0}, direction, method, grids, sets);
        if (r.status != core::Status::Converted || !r.point) return std::nullopt;
        if (to.zone == 0) return XY{r.point->lon, r.point->lat};
        const geo::UTMPoint u = geo::GeoToUTMInZone(r.point->lat, r.point->lon, static_cast<std::int16_t>(to.zone),
                                                    core::TargetEllipsoid(direction));
        return XY{u.E, u.N};
    };
}

std::optional<core::ParameterSet> HelmertSetOf(const RasterSystem& from, const Affine& georeference,
                                               std::int64_t width, std::int64_t height) {
    const double x = georeference.X(width / 2.0, height / 2.0), y = georeference.Y(width / 2.0, height / 2.0);
    const core::Direction direction = DirectionFrom(from);
    const auto zone = static_cast<std::int16_t>(from.zone);
    const core::Result r = zone != 0 ? core::Result(core::Helmert(core::UtmInput{x, y, zone, 0}, direction))
                                     : core::Result(core::Helmert(core::GeographicInput{y, x, 0}, direction));
    if (r.status != core::Status::Converted) return std::nullopt;
    return r.set;
}

Move PlanMove(std::int64_t width, std::int64_t height, const Affine& from, const PointMap& map, bool geographicOut,
              double tolerancePixels, bool squareCells) {
    Move move;
    std::vector<Sample> fitted, checked;
    const auto take = [&](int n, std::vector<Sample>& out) {
        for (const auto& [c, r] : Centres(width, height, n)) {
            const std::optional<XY> at = map(from.X(c, r), from.Y(c, r));
            if (at) out.push_back({c, r, *at});
            else ++move.outside;
        }
    };
    take(kSamplesASide, fitted);
    take(2 * kSamplesASide - 1, checked);
    if (fitted.size() < 3) return move;
    // North-up where that is within the tolerance: the image keeps the form every viewer
    // reads; otherwise with the rotation terms the method needs.
    const auto within = [&](const Worst& w) { return move.outside == 0 && tolerancePixels > 0 && w.pixels <= tolerancePixels; };
    for (bool northUp : {true, false}) {
        Affine a = Fit(fitted, northUp);
        if (squareCells) {
            // One cell size, the mean of the two, about the image's centre.
            const double c0 = width / 2.0, r0 = height / 2.0, x0 = a.X(c0, r0), y0 = a.Y(c0, r0);
            const double side = (std::abs(a.t[1]) + std::abs(a.t[5])) / 2;
            a.t[1] = std::copysign(side, a.t[1]), a.t[5] = std::copysign(side, a.t[5]);
            a.t[0] = x0 - a.t[1] * c0, a.t[3] = y0 - a.t[5] * r0;
        }
        const Worst w = Measure(a, checked, geographicOut);
        move.affine = a, move.worstMetres = w.metres, move.worstPixels = w.pixels;
        move.untouched = within(w);
        if (move.untouched || squareCells) break;
    }
    return move;
}

}  // namespace rasters
