// The IGN grids: which files are opened, in which order, and what the user is told
// when one cannot be; the grid operations themselves run in the PROJ module
// (geo/ProjModule.h), loaded (geo/ProjLoader.h) the first time a grid is opened.
#include "geo/IgnGrid.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <filesystem>
#include <optional>
#include <utility>

#include "geo/ProjLoader.h"
#include "geo/ProjModule.h"

namespace geo {
namespace {

namespace fs = std::filesystem;
using detail::Proj;

// One grid file as one PROJ transformation, opened through the module.
class ProjGrid {
  public:
    ProjGrid(TalporProjStep step, const std::string& folder, const std::string& path)
        : proj_(*Proj().functions), grid_(proj_.open(step, folder.c_str(), path.c_str())) {}
    ~ProjGrid() {
        if (grid_ != nullptr) proj_.close(grid_);
    }
    ProjGrid(const ProjGrid&) = delete;
    ProjGrid& operator=(const ProjGrid&) = delete;

    bool Open() const { return grid_ != nullptr; }

    // Longitude, latitude (decimal degrees) through the grid: longitude, latitude,
    // height; nullopt where it gives no value (outside, or no data).
    std::optional<std::array<double, 3>> Trans(bool inverse, double x, double y) const {
        std::array<double, 3> out{};
        if (proj_.trans(grid_, inverse ? 1 : 0, x, y, out.data()) == 0) return std::nullopt;
        return out;
    }

    // Trans of many points in place (x longitudes, y latitudes), in one call where every
    // point goes through; else point by point, HUGE_VAL where it gives none.
    void TransMany(bool inverse, std::vector<double>& x, std::vector<double>& y) const {
        const std::vector<double> lon = x, lat = y;
        if (proj_.transMany(grid_, inverse ? 1 : 0, x.data(), y.data(), static_cast<long>(x.size())) != 0) return;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const auto out = Trans(inverse, lon[i], lat[i]);
            x[i] = out ? (*out)[0] : HUGE_VAL;
            y[i] = out ? (*out)[1] : HUGE_VAL;
        }
    }

  private:
    const TalporProjFunctions& proj_;
    TalporProjGrid* grid_;
};

// Where a grid of the program's data folder is, or why it cannot be used.
struct Opened {
    std::unique_ptr<ProjGrid> grid;
    std::string path;
    std::string problem;
};

Opened OpenDataGrid(const std::string& folder, std::string_view file, TalporProjStep step) {
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
    if (Proj().functions == nullptr) {
        o.problem = "No se puede leer la rejilla " + o.path + ": " + Proj().problem;
        return o;
    }
    o.grid = std::make_unique<ProjGrid>(step, folder, o.path);
    if (!o.grid->Open()) {
        o.grid.reset();
        o.problem = "No se puede leer la rejilla " + o.path +
                    ": el archivo no se puede abrir o no es una rejilla válida.";
    }
    return o;
}

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

    GridShift Shift(bool inverse, double lat, double lon) const {
        GridShift s;
        if (grids.empty()) return s;
        s.answer = GridAnswer::Outside;
        for (std::size_t i = 0; i < grids.size(); ++i) {
            // The pipeline's axes are PROJ's: longitude first.
            const auto out = grids[i]->Trans(inverse, lon, lat);
            if (!out) continue;
            s.answer = GridAnswer::Done;
            s.point = {(*out)[1], (*out)[0]};
            s.grid = inUse[i].grid;
            return s;
        }
        return s;
    }

    void Shift(bool inverse, std::span<const LatLon> points, std::span<GridShift> out) const {
        if (points.size() != out.size()) throw std::invalid_argument("IgnShiftGrids: longitudes distintas");
        for (GridShift& s : out) s = GridShift{grids.empty() ? GridAnswer::Unavailable : GridAnswer::Outside};
        // Each grid in turn takes the points the ones before it left.
        std::vector<std::size_t> left(points.size());
        for (std::size_t i = 0; i < left.size(); ++i) left[i] = i;
        std::vector<double> x, y;
        for (std::size_t g = 0; g < grids.size() && !left.empty(); ++g) {
            x.resize(left.size());
            y.resize(left.size());
            for (std::size_t k = 0; k < left.size(); ++k) x[k] = points[left[k]].lon, y[k] = points[left[k]].lat;
            grids[g]->TransMany(inverse, x, y);
            std::size_t kept = 0;
            for (std::size_t k = 0; k < left.size(); ++k) {
                if (x[k] == HUGE_VAL || y[k] == HUGE_VAL) {
                    left[kept++] = left[k];
                    continue;
                }
                out[left[k]] = {GridAnswer::Done, {y[k], x[k]}, inUse[g].grid};
            }
            left.resize(kept);
        }
    }
};

IgnShiftGrids::IgnShiftGrids(const std::string& dataFolder, const std::string& userGridFolder)
    : impl_(std::make_unique<Impl>()) {
    // Without the module the method does not run (Problem, below): the 2009 grids are
    // not looked at, so that they get no warning for a fault that is not theirs.
    if (!userGridFolder.empty() && Proj().functions != nullptr) {
        for (ShiftGrid g : {ShiftGrid::BALR2009, ShiftGrid::PENR2009}) {
            const std::string file(FileOf(g));
            std::error_code error;
            const std::string path = fs::absolute(fs::path(userGridFolder) / file, error).string();
            if (!fs::is_regular_file(path, error)) continue;
            auto grid = std::make_unique<ProjGrid>(TalporHGridShift, userGridFolder, path);
            if (!grid->Open()) {
                impl_->warnings.push_back("No se puede leer la rejilla " + path +
                                          ": no es una rejilla NTv2 válida; no se usa.");
                continue;
            }
            impl_->grids.push_back(std::move(grid));
            impl_->inUse.push_back({g, path});
        }
    }
    Opened sped = OpenDataGrid(dataFolder, FileOf(ShiftGrid::SPED2ETV2), TalporHGridShift);
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
    return impl_->Shift(false, lat, lon);
}

GridShift IgnShiftGrids::ToED50(double lat, double lon) const {
    return impl_->Shift(true, lat, lon);
}

void IgnShiftGrids::ToETRS89(std::span<const LatLon> points, std::span<GridShift> out) const {
    impl_->Shift(false, points, out);
}

void IgnShiftGrids::ToED50(std::span<const LatLon> points, std::span<GridShift> out) const {
    impl_->Shift(true, points, out);
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
    Opened o = OpenDataGrid(dataFolder, kGeoidFile, TalporGeoidHeight);
    impl_->grid = std::move(o.grid);
    impl_->problem = std::move(o.problem);
}

IgnGeoid::~IgnGeoid() = default;

IgnGeoid::Undulation IgnGeoid::At(double lat, double lon) const {
    if (!impl_->grid) return {};
    const auto out = impl_->grid->Trans(false, lon, lat);
    if (!out) return {GridAnswer::Outside, 0};
    return {GridAnswer::Done, (*out)[2]};
}

const std::string& IgnGeoid::Problem() const {
    return impl_->problem;
}

}  // namespace geo
