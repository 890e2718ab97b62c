// The IGN grids through PROJ's grid operations: hgridshift (bilinear interpolation of
// the latitude and longitude offsets of an NTv2 or GeoTIFF grid, its inverse by
// iteration) and vgridshift (bilinear interpolation of the geoid undulation), each
// wrapped in a pipeline that takes and gives decimal degrees, as cct does with
// +proj=unitconvert +xy_in=deg +xy_out=rad.
#include "geo/IgnGrid.h"

#include <proj.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>

namespace mGeo {
namespace {

namespace fs = std::filesystem;

// The grid step `step` (such as "+proj=hgridshift") on the grid file at `path`, between
// decimal degrees. The file goes by its full path, quoted as PROJ strings quote (a
// double quote doubled): PROJ remembers every grid name it has opened for the rest of
// the process and, given the same name again, no longer checks the file it stands for.
std::string Pipeline(std::string_view step, const std::string& path) {
    std::string s = "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad +step ";
    s += step;
    s += " +grids=\"";
    for (char c : path) s += c == '"' ? std::string("\"\"") : std::string(1, c);
    s += "\" +step +proj=unitconvert +xy_in=rad +xy_out=deg";
    return s;
}

// PROJ's messages go nowhere: a grid that cannot be used is reported by the caller,
// in Spanish, when the user asks for it.
void Silent(void*, int, const char*) {}

// One grid file as one PROJ transformation, in a context that searches only the
// folder of the file and never the network.
class ProjGrid {
  public:
    ProjGrid(const std::string& folder, std::string_view step, const std::string& path) {
        context_ = proj_context_create();
        if (context_ == nullptr) return;
        proj_log_func(context_, nullptr, Silent);
        proj_context_set_enable_network(context_, 0);
        const char* paths[] = {folder.c_str()};
        proj_context_set_search_paths(context_, 1, paths);
        pj_ = proj_create(context_, Pipeline(step, path).c_str());
    }
    ~ProjGrid() {
        if (pj_ != nullptr) proj_destroy(pj_);
        if (context_ != nullptr) proj_context_destroy(context_);
    }
    ProjGrid(const ProjGrid&) = delete;
    ProjGrid& operator=(const ProjGrid&) = delete;

    bool Open() const { return pj_ != nullptr; }

    // x, y, z through the grid; nullopt where it gives no value (outside, or no data).
    std::optional<PJ_XYZ> Trans(PJ_DIRECTION direction, double x, double y, double z) const {
        proj_errno_reset(pj_);
        const PJ_COORD out = proj_trans(pj_, direction, proj_coord(x, y, z, 0));
        if (proj_errno(pj_) != 0 || out.xyz.x == HUGE_VAL) return std::nullopt;
        return out.xyz;
    }

  private:
    PJ_CONTEXT* context_ = nullptr;
    PJ* pj_ = nullptr;
};

// Where a grid of the program's data folder is, or why it cannot be used.
struct Opened {
    std::unique_ptr<ProjGrid> grid;
    std::string path;
    std::string problem;
};

Opened OpenDataGrid(const std::string& folder, std::string_view file, std::string_view step) {
    Opened o;
    const std::string name(file);
    if (folder.empty()) {
        o.problem = "No se encuentra la rejilla " + name +
                    ": no se conoce la carpeta de datos del programa.";
        return o;
    }
    std::error_code error;
    o.path = fs::absolute(fs::path(folder) / name, error).string();
    if (!fs::is_regular_file(o.path, error)) {
        o.problem = "No se encuentra la rejilla " + name +
                    " en la carpeta de datos del programa (" + folder + ").";
        return o;
    }
    o.grid = std::make_unique<ProjGrid>(folder, step, o.path);
    if (!o.grid->Open()) {
        o.grid.reset();
        o.problem = "No se puede leer la rejilla " + o.path +
                    ": el archivo no se puede abrir o no es una rejilla válida.";
    }
    return o;
}

constexpr std::string_view kHGridShift = "+proj=hgridshift";

}  // namespace

std::string_view NameOf(ShiftGrid grid) {
    switch (grid) {
        case ShiftGrid::SPED2ETV2:
            return "SPED2ETV2";
        case ShiftGrid::PENR2009:
            return "PENR2009";
        case ShiftGrid::BALR2009:
            return "BALR2009";
    }
    return "";
}

std::string_view FileOf(ShiftGrid grid) {
    switch (grid) {
        case ShiftGrid::SPED2ETV2:
            return "es_ign_SPED2ETV2.tif";
        case ShiftGrid::PENR2009:
            return "PENR2009.gsb";
        case ShiftGrid::BALR2009:
            return "BALR2009.gsb";
    }
    return "";
}

// --- Shift grids ---------------------------------------------------------------------

struct IgnShiftGrids::Impl {
    std::vector<std::unique_ptr<ProjGrid>> grids;  // parallel to inUse
    std::vector<InUse> inUse;
    std::string problem;
    std::vector<std::string> warnings;

    GridShift Shift(PJ_DIRECTION direction, double lat, double lon) const {
        GridShift s;
        if (grids.empty()) return s;
        s.answer = GridAnswer::Outside;
        for (std::size_t i = 0; i < grids.size(); ++i) {
            // The pipeline's axes are PROJ's: longitude first.
            const std::optional<PJ_XYZ> out = grids[i]->Trans(direction, lon, lat, 0);
            if (!out) continue;
            s.answer = GridAnswer::Done;
            s.point = {out->y, out->x};
            s.grid = inUse[i].grid;
            return s;
        }
        return s;
    }
};

IgnShiftGrids::IgnShiftGrids(const std::string& dataFolder, const std::string& userGridFolder)
    : impl_(std::make_unique<Impl>()) {
    if (!userGridFolder.empty()) {
        for (ShiftGrid g : {ShiftGrid::BALR2009, ShiftGrid::PENR2009}) {
            const std::string file(FileOf(g));
            std::error_code error;
            const std::string path = fs::absolute(fs::path(userGridFolder) / file, error).string();
            if (!fs::is_regular_file(path, error)) continue;
            auto grid = std::make_unique<ProjGrid>(userGridFolder, kHGridShift, path);
            if (!grid->Open()) {
                impl_->warnings.push_back("No se puede leer la rejilla " + path +
                                          ": no es una rejilla NTv2 válida; no se usa.");
                continue;
            }
            impl_->grids.push_back(std::move(grid));
            impl_->inUse.push_back({g, path});
        }
    }
    Opened sped = OpenDataGrid(dataFolder, FileOf(ShiftGrid::SPED2ETV2), kHGridShift);
    if (sped.grid) {
        impl_->grids.push_back(std::move(sped.grid));
        impl_->inUse.push_back({ShiftGrid::SPED2ETV2, sped.path});
    } else {
        // Without the grid the program ships, the method does not run: the 2009 grids
        // alone would leave the points they do not cover outside for no visible reason.
        impl_->problem = sped.problem;
        impl_->grids.clear();
        impl_->inUse.clear();
    }
}

IgnShiftGrids::~IgnShiftGrids() = default;

GridShift IgnShiftGrids::ToETRS89(double lat, double lon) const {
    return impl_->Shift(PJ_FWD, lat, lon);
}

GridShift IgnShiftGrids::ToED50(double lat, double lon) const {
    return impl_->Shift(PJ_INV, lat, lon);
}

const std::vector<IgnShiftGrids::InUse>& IgnShiftGrids::Grids() const {
    return impl_->inUse;
}
const std::string& IgnShiftGrids::Problem() const {
    return impl_->problem;
}
const std::vector<std::string>& IgnShiftGrids::Warnings() const {
    return impl_->warnings;
}

// --- Geoid -------------------------------------------------------------------------------

struct IgnGeoid::Impl {
    std::unique_ptr<ProjGrid> grid;
    std::string problem;
};

IgnGeoid::IgnGeoid(const std::string& dataFolder) : impl_(std::make_unique<Impl>()) {
    // With +multiplier=1 the step adds N to the height it is given: from 0, N itself.
    Opened o = OpenDataGrid(dataFolder, kGeoidFile, "+proj=vgridshift +multiplier=1");
    impl_->grid = std::move(o.grid);
    impl_->problem = std::move(o.problem);
}

IgnGeoid::~IgnGeoid() = default;

IgnGeoid::Undulation IgnGeoid::At(double lat, double lon) const {
    if (!impl_->grid) return {};
    const std::optional<PJ_XYZ> out = impl_->grid->Trans(PJ_FWD, lon, lat, 0);
    if (!out) return {GridAnswer::Outside, 0};
    return {GridAnswer::Done, out->z};
}

const std::string& IgnGeoid::Problem() const {
    return impl_->problem;
}

}  // namespace mGeo
