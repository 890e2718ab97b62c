// The IGN grids: which files are opened, in which order, and what the user is told
// when one cannot be; the grid operations themselves run in the PROJ module
// (geo/ProjModule.h), loaded (geo/ProjLoader.h) the first time a grid is opened.
#include "geo/IgnGrid.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <optional>
#include <random>
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
        for (GridShift& s : out) s = GridShift{grids.empty() ? GridAnswer::Unavailable : GridAnswer::Outside, {}, {}};
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

std::optional<fast::ShiftGrid> IgnShiftGrids::Sampled(std::vector<fast::Subgrid> shapes) const {
    const Impl& impl = *impl_;
    if (impl.inUse.size() != 1 || impl.inUse[0].grid != ShiftGrid::SPED2ETV2 || shapes.empty()) return std::nullopt;
    const ProjGrid& proj = *impl.grids[0];
    const double edge = fast::ShiftGrid::kEdge;
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        fast::Subgrid& g = shapes[k];
        if (g.columns < 2 || g.rows < 2 || !(g.stepLon > 0) || !(g.stepLat > 0)) return std::nullopt;
        const auto columns = static_cast<std::size_t>(g.columns);
        g.dlon.resize(columns * static_cast<std::size_t>(g.rows));
        g.dlat.resize(g.dlon.size());
        // Row by row, from the south: a row's nodes through PROJ in one call.
        std::vector<double> x(columns), y(columns), lon, lat;
        constexpr double radians = 3.14159265358979323846 / 180;
        for (std::size_t row = 0; row < static_cast<std::size_t>(g.rows); ++row) {
            for (std::size_t i = 0; i < columns; ++i) {
                x[i] = g.west + static_cast<double>(i) * g.stepLon;
                y[i] = g.south + static_cast<double>(row) * g.stepLat;
            }
            lon = x;
            lat = y;
            proj.TransMany(false, lon, lat);
            for (std::size_t i = 0; i < columns; ++i) {
                // Where PROJ takes an earlier subgrid, or might, the node is not this one's.
                bool earlier = lon[i] == HUGE_VAL;
                for (std::size_t e = 0; e < k && !earlier; ++e)
                    earlier = y[i] >= shapes[e].south - edge && y[i] <= shapes[e].North() + edge &&
                              x[i] >= shapes[e].west - edge && x[i] <= shapes[e].East() + edge;
                g.dlon[row * columns + i] = earlier ? NAN : static_cast<float>((lon[i] - x[i]) * radians);
                g.dlat[row * columns + i] = earlier ? NAN : static_cast<float>((lat[i] - y[i]) * radians);
            }
        }
    }
    fast::ShiftGrid grid(std::move(shapes));
    // The check: both ways, at points spread over each subgrid and its edges.
    std::mt19937_64 draw(15932);
    for (const fast::Subgrid& g : grid.Subgrids()) {
        std::uniform_real_distribution<double> lat(g.south - 0.1, g.North() + 0.1), lon(g.west - 0.1, g.East() + 0.1);
        for (int i = 0; i < 2000; ++i) {
            const bool inverse = i % 2 == 1;
            LatLon p{lat(draw), lon(draw)};
            const GridShift s = impl.Shift(inverse, p.lat, p.lon);
            if (!(inverse ? grid.ToED50(p) : grid.ToETRS89(p))) continue;
            if (s.answer != GridAnswer::Done || !(std::abs(p.lat - s.point.lat) <= 1e-12) ||
                !(std::abs(p.lon - s.point.lon) <= 1e-12))
                return std::nullopt;
        }
    }
    return grid;
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

// --- Pages of a GeoTIFF grid -------------------------------------------------------------

namespace {

// A classic TIFF's numbers in its own byte order.
class TiffBytes {
  public:
    explicit TiffBytes(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {
        little_ = bytes_.size() >= 8 && bytes_[0] == 'I' && bytes_[1] == 'I';
        valid_ = bytes_.size() >= 8 && (little_ || (bytes_[0] == 'M' && bytes_[1] == 'M')) && U16(2) == 42;
    }
    bool Valid() const { return valid_; }
    bool Has(std::uint64_t at, std::uint64_t size) const { return at <= bytes_.size() && size <= bytes_.size() - at; }
    std::uint64_t Unsigned(std::uint64_t at, int size) const {
        std::uint64_t v = 0;
        for (int i = 0; i < size; ++i)
            v |= std::uint64_t{bytes_[at + static_cast<std::uint64_t>(little_ ? i : size - 1 - i)]} << (8 * i);
        return v;
    }
    std::uint32_t U16(std::uint64_t at) const { return static_cast<std::uint32_t>(Unsigned(at, 2)); }
    std::uint32_t U32(std::uint64_t at) const { return static_cast<std::uint32_t>(Unsigned(at, 4)); }
    double F64(std::uint64_t at) const {
        const std::uint64_t bits = Unsigned(at, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

  private:
    std::vector<unsigned char> bytes_;
    bool little_ = true, valid_ = false;
};

// One entry of a page's directory: its type, count and where its values are.
struct TiffEntry {
    std::uint32_t type = 0, count = 0;
    std::uint64_t at = 0;
};

}  // namespace

std::vector<fast::Subgrid> GridPages(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char chunk[1 << 14];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && bytes.size() < (std::size_t{64} << 20);)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    const TiffBytes t(std::move(bytes));
    if (!t.Valid()) return {};
    std::vector<fast::Subgrid> pages;
    std::uint64_t page = t.U32(4);
    for (int n = 0; page != 0 && n < 64; ++n) {
        if (!t.Has(page, 2)) return {};
        const std::uint32_t entries = t.U16(page);
        if (!t.Has(page + 2, 12ull * entries + 4)) return {};
        std::uint64_t width = 0, height = 0;
        TiffEntry scale, tie, keys;
        for (std::uint32_t e = 0; e < entries; ++e) {
            const std::uint64_t at = page + 2 + 12ull * e;
            const std::uint32_t tag = t.U16(at), type = t.U16(at + 2), count = t.U32(at + 4);
            const int size = type == 3 ? 2 : type == 4 ? 4 : type == 12 ? 8 : 0;  // SHORT, LONG, DOUBLE
            if (size == 0) continue;
            const std::uint64_t bytes = std::uint64_t{count} * static_cast<std::uint64_t>(size);
            const TiffEntry entry{type, count, bytes <= 4 ? at + 8 : t.U32(at + 8)};
            if (!t.Has(entry.at, bytes)) return {};
            if (tag == 256 || tag == 257) (tag == 256 ? width : height) = t.Unsigned(entry.at, size);
            else if (tag == 33550) scale = entry;
            else if (tag == 33922) tie = entry;
            else if (tag == 34735) keys = entry;
        }
        if (scale.type != 12 || scale.count < 2 || tie.type != 12 || tie.count < 6 || width < 2 || height < 2 ||
            width > 100000 || height > 100000)
            return {};
        // GTRasterTypeGeoKey: the tie point is a pixel's corner (1, the default) or centre (2).
        bool centre = false;
        for (std::uint32_t k = 4; keys.type == 3 && k + 3 < keys.count; k += 4)
            if (t.U16(keys.at + 2ull * k) == 1025) centre = t.U16(keys.at + 2ull * k + 6) == 2;
        fast::Subgrid g;
        g.columns = static_cast<int>(width);
        g.rows = static_cast<int>(height);
        g.stepLon = t.F64(scale.at);
        g.stepLat = t.F64(scale.at + 8);
        const double half = centre ? 0 : 0.5;
        const double i = t.F64(tie.at), j = t.F64(tie.at + 8), x = t.F64(tie.at + 24), y = t.F64(tie.at + 32);
        g.west = x + (half - i) * g.stepLon;
        g.south = y - (half - j) * g.stepLat - static_cast<double>(height - 1) * g.stepLat;
        if (!(g.stepLon > 0) || !(g.stepLat > 0) || !std::isfinite(g.west) || !std::isfinite(g.south)) return {};
        pages.push_back(std::move(g));
        page = t.U32(page + 2 + 12ull * entries);
    }
    return pages;
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
