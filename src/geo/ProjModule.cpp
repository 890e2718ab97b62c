// talpor-proj.so: the IGN grids through PROJ's grid operations, hgridshift (bilinear
// interpolation of the latitude and longitude offsets of an NTv2 or GeoTIFF grid, its
// inverse by iteration) and vgridshift (bilinear interpolation of the geoid
// undulation), each wrapped in a pipeline that takes and gives decimal degrees, as cct
// does with +proj=unitconvert +xy_in=deg +xy_out=rad; and geodesics, through PROJ's
// geodesic routines (Karney's, those of its geod).
#include "geo/ProjModule.h"

#include <geodesic.h>
#include <proj.h>

#include <cmath>
#include <new>
#include <string>

struct TalporProjGrid {
    PJ_CONTEXT* context = nullptr;
    PJ* pj = nullptr;
};

namespace {

// The grid step on the grid file at `path`, between decimal degrees. The file goes by
// its full path, quoted as PROJ strings quote (a double quote doubled): PROJ remembers
// every grid name it has opened for the rest of the process and, given the same name
// again, no longer checks the file it stands for.
std::string Pipeline(TalporProjStep step, const char* path) {
    std::string s = "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad +step ";
    // With +multiplier=1 vgridshift adds N to the height it is given: from 0, N itself.
    s += step == TalporGeoidHeight ? "+proj=vgridshift +multiplier=1" : "+proj=hgridshift";
    s += " +grids=\"";
    for (const char* c = path; *c != '\0'; ++c)
        s += *c == '"' ? std::string("\"\"") : std::string(1, *c);
    s += "\" +step +proj=unitconvert +xy_in=rad +xy_out=deg";
    return s;
}

// PROJ's messages go nowhere: a grid that cannot be used is reported by the program,
// in Spanish, when the user asks for it.
void Silent(void*, int, const char*) {}

void Close(TalporProjGrid* grid) {
    if (grid == nullptr) return;
    if (grid->pj != nullptr) proj_destroy(grid->pj);
    if (grid->context != nullptr) proj_context_destroy(grid->context);
    delete grid;
}

TalporProjGrid* Open(TalporProjStep step, const char* folder, const char* path) {
    auto* grid = new (std::nothrow) TalporProjGrid;
    if (grid == nullptr) return nullptr;
    try {
        grid->context = proj_context_create();
        if (grid->context != nullptr) {
            proj_log_func(grid->context, nullptr, Silent);
            proj_context_set_enable_network(grid->context, 0);
            const char* paths[] = {folder};
            proj_context_set_search_paths(grid->context, 1, paths);
            grid->pj = proj_create(grid->context, Pipeline(step, path).c_str());
        }
    } catch (...) {  // no memory for the pipeline's text
    }
    if (grid->pj == nullptr) {
        Close(grid);
        return nullptr;
    }
    return grid;
}

int Trans(TalporProjGrid* grid, int inverse, double x, double y, double out[3]) {
    proj_errno_reset(grid->pj);
    const PJ_COORD c = proj_trans(grid->pj, inverse != 0 ? PJ_INV : PJ_FWD, proj_coord(x, y, 0, 0));
    if (proj_errno(grid->pj) != 0 || c.xyz.x == HUGE_VAL) return 0;
    out[0] = c.xyz.x;
    out[1] = c.xyz.y;
    out[2] = c.xyz.z;
    return 1;
}

int TransMany(TalporProjGrid* grid, int inverse, double* x, double* y, long count) {
    // Each point at height 0 and time 0, as Trans takes it (a horizontal grid leaves both).
    double z = 0, t = 0;
    proj_errno_reset(grid->pj);
    proj_trans_generic(grid->pj, inverse != 0 ? PJ_INV : PJ_FWD, x, sizeof(double), static_cast<std::size_t>(count), y,
                       sizeof(double), static_cast<std::size_t>(count), &z, 0, 1, &t, 0, 1);
    if (proj_errno(grid->pj) != 0) return 0;
    for (long i = 0; i < count; ++i)
        if (x[i] == HUGE_VAL) return 0;
    return 1;
}

void Inverse(double a, double f, double lat1, double lon1, double lat2, double lon2,
             double out[3]) {
    geod_geodesic g;  // a handful of series coefficients: cheaper made again than shared
    geod_init(&g, a, f);
    geod_inverse(&g, lat1, lon1, lat2, lon2, &out[0], &out[1], &out[2]);
}

constexpr TalporProjFunctions kFunctions = {kTalporProjVersion, Open, Trans, Close, Inverse, TransMany};

}  // namespace

extern "C" __attribute__((visibility("default"))) const TalporProjFunctions*
talpor_proj_functions() {
    return &kFunctions;
}
