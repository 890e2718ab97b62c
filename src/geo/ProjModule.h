// The C interface between the program and its PROJ module, talpor-proj.so: the one
// part of the program that links PROJ, loaded (dlopen, geo/ProjLoader.h) the first time
// a grid is opened (geo/IgnGrid.h) or a geodesic asked for (geo/Geodesic.h). PROJ
// brings some thirty libraries (SQLite, curl, TLS) that would otherwise be mapped at
// every start although most sessions need neither. Plain C types only, so that no
// exception and no C++ object crosses between the two.
#pragma once

extern "C" {

// One grid file as one PROJ transformation, in a context of its own.
struct TalporProjGrid;

// The grid operations the program runs, each between decimal degrees.
enum TalporProjStep {
    TalporHGridShift = 0,  // latitude and longitude shifted by an NTv2 or GeoTIFF grid
    TalporGeoidHeight = 1  // the geoid undulation N of a vertical grid, as the height
};

struct TalporProjFunctions {
    // kTalporProjVersion of the build the module comes from: a module of another build
    // is not used.
    int version;
    // The step on the grid file at `path` (full path), in a context whose only search
    // path is `folder` and that never uses the network; null when PROJ cannot build it
    // (a file that is no grid). Not for concurrent use.
    TalporProjGrid* (*open)(TalporProjStep step, const char* folder, const char* path);
    // x, y (longitude, latitude: decimal degrees) at a height of 0 through the grid,
    // forward or inverse (by iteration): 1 with out = longitude, latitude, height
    // (metres: for the geoid, N); 0 where the grid gives no value (outside, no data).
    int (*trans)(TalporProjGrid* grid, int inverse, double x, double y, double out[3]);
    void (*close)(TalporProjGrid* grid);
    // The geodesic from (lat1, lon1) to (lat2, lon2), decimal degrees, on the ellipsoid
    // of semi-major axis a (metres) and flattening f, by PROJ's geod_inverse (Karney's
    // method): out = distance (metres), azimuth at the first point and azimuth of the
    // geodesic continued at the second (degrees clockwise from north, [-180, 180]).
    void (*inverse)(double a, double f, double lat1, double lon1, double lat2, double lon2,
                    double out[3]);
    // trans for `count` points at once, in place, in one call into PROJ: 1 when every
    // point went through, x[i], y[i] then the longitude and latitude trans gives; 0 when
    // PROJ reported an error for any of them (x and y then undefined: ask trans each).
    int (*transMany)(TalporProjGrid* grid, int inverse, double* x, double* y, long count);
};

// The module's only exported symbol, kTalporProjEntry.
typedef const TalporProjFunctions* (*TalporProjEntry)(void);

}  // extern "C"

inline constexpr int kTalporProjVersion = 3;
inline constexpr const char* kTalporProjEntry = "talpor_proj_functions";
