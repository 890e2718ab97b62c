// talpor-lote against gdalwarp on a large orthophoto: an RGB Byte image of size x size
// pixels of 0.25 m (20,000 a side by default: 5 km, 1.2 GB of pixels), tiled DEFLATE
// GeoTIFF in ED50 UTM 30 (EPSG:23030), its top left corner at 440,000, 4,480,000 (north of
// Madrid), to ETRS89 UTM 30 with the IGN grid. Its content is made once from a fixed seed
// (fields with their furrows, olive groves, scrub, tracks, light and grain: the texture a
// photograph gives DEFLATE and the cubic kernel) and kept in the data folder for the next
// run.
//
//   A. talpor-lote as it is run: over these 5 km the grid's shift is an affine change of
//      the georeference within a quarter pixel (0.034 m, 0.14 pixel at worst), so the
//      pixels are copied untouched and the georeference rewritten ("píxeles intactos" in
//      its summary).
//   B. talpor-lote --tolerancia=0: every pixel resampled through the grid (cubic).
//
// Each against gdalwarp with the pipeline and options talpor-lote gives GDAL's warper
// (inverse UTM, hgridshift, UTM; cubic, tiled DEFLATE, two threads, 256 MB). Each round
// runs A and its gdalwarp, then B and its gdalwarp, the order of each pair alternating.
// Wall time and peak resident memory: wait4's figure for a process is the largest of it
// and of the processes it waited for, so talpor-lote's counts its worker talpor-capas.
// Before the timed rounds go on, the first round checks that talpor-lote took each way,
// and that B's image is gdalwarp's (size, georeference, pixels of a window).
//
//   raster_bench <talpor-lote> [rounds] [size] [IGN grid file] [data folder]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gdal.h>
#include <ogr_srs_api.h>

#include "Spawned.h"

extern char** environ;

namespace {

constexpr double kPixel = 0.25;
constexpr double kLeft = 440000, kTop = 4480000;
constexpr std::uint32_t kSeed = 20240611;
constexpr int kTile = 256;

// --- The orthophoto ---------------------------------------------------------------------

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t salt) {
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ (salt + kSeed) * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double Unit(std::uint32_t h) { return (h >> 8) * (1.0 / 16777216.0); }

// Value noise in [0, 1): random values on a lattice of `scale` pixels, smoothly between.
double Noise(int x, int y, int scale, std::uint32_t salt) {
    const int gx = x / scale, gy = y / scale;
    double fx = static_cast<double>(x - gx * scale) / scale, fy = static_cast<double>(y - gy * scale) / scale;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const auto v = [&](int i, int j) { return Unit(Hash(static_cast<std::uint32_t>(gx + i), static_cast<std::uint32_t>(gy + j), salt)); };
    const double top = v(0, 0) + (v(1, 0) - v(0, 0)) * fx, bottom = v(0, 1) + (v(1, 1) - v(0, 1)) * fx;
    return top + (bottom - top) * fy;
}

// Parcels: the cells of the points of a jittered lattice of kCell pixels (120 m).
constexpr int kCell = 480;

struct Parcel {
    double px, py;       // its point, pixels
    int use;             // 0 cereal, 1 green crop, 2 ploughed, 3 olive grove, 4 scrub, 5 fallow
    double cos, sin;     // the furrows' direction
    double period;       // furrows apart, pixels
    double shade;        // its own brightness
};

Parcel ParcelOf(int i, int j) {
    const auto u = [&](std::uint32_t salt) { return Unit(Hash(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j), salt)); };
    Parcel p;
    p.px = (i + 0.15 + 0.7 * u(1)) * kCell;
    p.py = (j + 0.15 + 0.7 * u(2)) * kCell;
    p.use = static_cast<int>(u(3) * 6);
    const double a = u(4) * M_PI;
    p.cos = std::cos(a), p.sin = std::sin(a);
    p.period = 7 + 10 * u(5);
    p.shade = 0.85 + 0.3 * u(6);
    return p;
}

// One strip of tile rows, pixel-interleaved RGB: rows [y0, y0 + rows) of a size-wide image.
void Paint(int size, int y0, int rows, const std::vector<Parcel>& parcels, int cells, std::vector<std::uint8_t>& rgb) {
    static constexpr double kColour[6][3] = {{196, 172, 112}, {96, 126, 62}, {142, 108, 78},
                                             {178, 162, 128}, {74, 88, 54},  {162, 150, 112}};
    for (int y = y0; y < y0 + rows; ++y) {
        std::uint8_t* out = rgb.data() + static_cast<std::size_t>(y - y0) * size * 3;
        const int cj = y / kCell;
        for (int x = 0; x < size; ++x) {
            const int ci = x / kCell;
            // The two nearest points: the parcel, and how far its edge is.
            double d1 = 1e30, d2 = 1e30;
            const Parcel* near = nullptr;
            for (int j = std::max(cj - 1, 0); j <= std::min(cj + 1, cells - 1); ++j)
                for (int i = std::max(ci - 1, 0); i <= std::min(ci + 1, cells - 1); ++i) {
                    const Parcel& p = parcels[static_cast<std::size_t>(j) * cells + i];
                    const double d = (x - p.px) * (x - p.px) + (y - p.py) * (y - p.py);
                    if (d < d1) d2 = d1, d1 = d, near = &p;
                    else if (d < d2) d2 = d;
                }
            const double edge = std::sqrt(d2) - std::sqrt(d1);  // twice the distance to the edge, about
            // Light over the land: hills, patches, clods.
            const double light = 0.55 * Noise(x, y, 1024, 11) + 0.25 * Noise(x, y, 192, 12) + 0.12 * Noise(x, y, 40, 13) +
                                 0.08 * Noise(x, y, 6, 14);
            double r, g, b;
            if (edge < 14) {
                // A track between the fields.
                const double t = 0.9 + 0.2 * Noise(x, y, 3, 15);
                r = 206 * t, g = 196 * t, b = 176 * t;
            } else {
                const double* c = kColour[near->use];
                double k = near->shade * (0.7 + 0.6 * light);
                if (near->use <= 2 || near->use == 5) {
                    // Furrows: a triangle wave across the parcel's direction.
                    const double s = (x * near->cos + y * near->sin) / near->period;
                    k *= 0.92 + 0.16 * std::fabs(s - std::floor(s) - 0.5) * 2;
                }
                r = c[0] * k, g = c[1] * k, b = c[2] * k;
                if (near->use == 3 || near->use == 4) {
                    // Trees: olive trees in rows 7 m apart, scrub scattered.
                    const int step = near->use == 3 ? 28 : 12;
                    const int tx = x / step, ty = y / step;
                    const std::uint32_t h = Hash(static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 16);
                    const double cx = (tx + 0.5) * step + (near->use == 3 ? 0 : (Unit(h) - 0.5) * step * 0.6);
                    const double cy = (ty + 0.5) * step + (near->use == 3 ? 0 : (Unit(h * 7) - 0.5) * step * 0.6);
                    const double radius = near->use == 3 ? 7 + 2 * Unit(h) : 2 + 4 * Unit(h >> 3);
                    const double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
                    if ((near->use == 3 || (h & 3) != 0) && d < radius) {
                        const double crown = 0.55 + 0.35 * d / radius;
                        r = 58 * crown / 0.9 * (0.8 + 0.4 * light), g = 76 * crown / 0.9 * (0.8 + 0.4 * light),
                        b = 40 * crown / 0.9 * (0.8 + 0.4 * light);
                    } else if (d < radius + 3) {
                        r *= 0.7, g *= 0.7, b *= 0.75;  // its shadow
                    }
                }
            }
            // The sensor's grain.
            const std::uint32_t h = Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 17);
            const double grain[3] = {static_cast<double>(h & 7) - 3.5, static_cast<double>((h >> 3) & 7) - 3.5,
                                     static_cast<double>((h >> 6) & 7) - 3.5};
            const double v[3] = {r + grain[0], g + grain[1], b + grain[2]};
            for (int k = 0; k < 3; ++k) out[3 * x + k] = static_cast<std::uint8_t>(std::clamp(std::lround(v[k]), 0L, 255L));
        }
    }
}

// Writes the image to `path` (through a temporary name: a run stopped halfway leaves no
// image to be taken for a whole one). False on failure.
bool MakeOrthophoto(const std::string& path, int size) {
    GDALAllRegister();
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    const std::string part = path + ".part";
    const char* options[] = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=DEFLATE", "PHOTOMETRIC=RGB",
                             "INTERLEAVE=PIXEL", "BIGTIFF=IF_SAFER", "NUM_THREADS=2", nullptr};
    GDALDatasetH ds = driver != nullptr ? GDALCreate(driver, part.c_str(), size, size, 3, GDT_Byte, const_cast<char**>(options))
                                        : nullptr;
    if (ds == nullptr) return false;
    double gt[6] = {kLeft, kPixel, 0, kTop, 0, -kPixel};
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool ok = OSRImportFromEPSG(srs, 23030) == OGRERR_NONE && GDALSetSpatialRef(ds, srs) == CE_None &&
              GDALSetGeoTransform(ds, gt) == CE_None;
    OSRDestroySpatialReference(srs);
    const int cells = (size + kCell - 1) / kCell;
    std::vector<Parcel> parcels;
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) parcels.push_back(ParcelOf(i, j));
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(size) * kTile * 3);
    int bands[3] = {1, 2, 3};
    for (int y = 0; ok && y < size; y += kTile) {
        const int rows = std::min(kTile, size - y);
        Paint(size, y, rows, parcels, cells, rgb);
        ok = GDALDatasetRasterIO(ds, GF_Write, 0, y, size, rows, rgb.data(), size, rows, GDT_Byte, 3, bands, 3, 3 * size, 1) ==
             CE_None;
    }
    GDALClose(ds);
    ok = ok && std::rename(part.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(part.c_str());
    return ok;
}

// --- Runs -------------------------------------------------------------------------------


void RemoveOutputs(const std::string& dir) {
    std::error_code e;
    for (const auto& entry : std::filesystem::directory_iterator(dir, e))
        if (entry.path().filename().string().starts_with("out-")) std::filesystem::remove(entry.path(), e);
}

// B's image and gdalwarp's: the same size, georeference and system, and the same pixels
// in a window at the centre (the largest difference of a value). A's: its size and where
// its corner went. 0 when they agree.
int Compare(const std::string& input, const std::string& a, const std::string& b, const std::string& peer) {
    GDALAllRegister();
    GDALDatasetH in = GDALOpen(input.c_str(), GA_ReadOnly), da = GDALOpen(a.c_str(), GA_ReadOnly),
                 db = GDALOpen(b.c_str(), GA_ReadOnly), dp = GDALOpen(peer.c_str(), GA_ReadOnly);
    if (in == nullptr || da == nullptr || db == nullptr || dp == nullptr) return 1;
    double ti[6], ta[6], tb[6], tp[6];
    GDALGetGeoTransform(in, ti), GDALGetGeoTransform(da, ta), GDALGetGeoTransform(db, tb), GDALGetGeoTransform(dp, tp);
    const auto epsg = [](GDALDatasetH d) {
        OGRSpatialReferenceH s = GDALGetSpatialRef(d);
        const char* code = s != nullptr ? OSRGetAuthorityCode(s, nullptr) : nullptr;
        return std::string(code != nullptr ? code : "?");
    };
    std::printf("  A, untouched: %d x %d, EPSG:%s, its corner moved by %+.3f m, %+.3f m\n", GDALGetRasterXSize(da),
                GDALGetRasterYSize(da), epsg(da).c_str(), ta[0] - ti[0], ta[3] - ti[3]);
    std::printf("  B, resampled: %d x %d, EPSG:%s, corner %.3f %.3f; gdalwarp's %d x %d, EPSG:%s, corner %.3f %.3f\n",
                GDALGetRasterXSize(db), GDALGetRasterYSize(db), epsg(db).c_str(), tb[0], tb[3], GDALGetRasterXSize(dp),
                GDALGetRasterYSize(dp), epsg(dp).c_str(), tp[0], tp[3]);
    bool same = GDALGetRasterXSize(da) == GDALGetRasterXSize(in) && GDALGetRasterYSize(da) == GDALGetRasterYSize(in) &&
                epsg(da) == "25830" && epsg(db) == "25830" && epsg(dp) == "25830" &&
                GDALGetRasterXSize(db) == GDALGetRasterXSize(dp) && GDALGetRasterYSize(db) == GDALGetRasterYSize(dp) &&
                GDALGetRasterCount(db) == 3 && GDALGetRasterCount(dp) == 3;
    // Talpor's ETRS89 UTM is on WGS84's ellipsoid, a tenth of a millimetre from GRS80's.
    for (int k = 0; k < 6; ++k) same = same && std::fabs(tb[k] - tp[k]) < 1e-3;
    int largest = -1;
    if (same) {
        const int w = std::min(1024, GDALGetRasterXSize(db)), h = std::min(1024, GDALGetRasterYSize(db));
        const int x = (GDALGetRasterXSize(db) - w) / 2, y = (GDALGetRasterYSize(db) - h) / 2;
        std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * 3), q(p.size());
        if (GDALDatasetRasterIO(db, GF_Read, x, y, w, h, p.data(), w, h, GDT_Byte, 3, nullptr, 0, 0, 0) == CE_None &&
            GDALDatasetRasterIO(dp, GF_Read, x, y, w, h, q.data(), w, h, GDT_Byte, 3, nullptr, 0, 0, 0) == CE_None) {
            largest = 0;
            for (std::size_t i = 0; i < p.size(); ++i) largest = std::max(largest, std::abs(p[i] - q[i]));
        }
        std::printf("  B against gdalwarp, a %d x %d window at the centre: largest difference %d\n", w, h, largest);
    }
    GDALClose(in), GDALClose(da), GDALClose(db), GDALClose(dp);
    return same && largest >= 0 && largest <= 1 ? 0 : 1;
}

// VmHWM of this process, kB.
double OwnPeakKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::atof(line.c_str() + 6);
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return 0;
    return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Min(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

struct Case {
    const char* name;
    double target;  // talpor-lote's time over gdalwarp's, at most
    std::vector<std::string> lote;
    std::string output, peerOutput;
    const char* says;  // in talpor-lote's summary
    std::vector<double> loteSeconds, peerSeconds, loteKb, peerKb;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <talpor-lote> [rounds] [size] [IGN grid file] [data folder]\n", argv[0]);
        return 2;
    }
    const std::string lote = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const int size = argc > 3 ? std::atoi(argv[3]) : 20000;
    const std::string grid = argc > 4 ? argv[4] : TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif";
    const std::string data = argc > 5 ? argv[5] : TALPOR_BENCH_DATA_DIR;
    if (rounds < 1 || size < 64) {
        std::fprintf(stderr, "raster_bench: at least 1 round and 64 pixels a side\n");
        return 2;
    }
    std::error_code e;
    std::filesystem::create_directories(data, e);
    const std::string image = data + "/orto-ed50-utm30-" + std::to_string(size) + ".tif";
    if (!std::filesystem::exists(image)) {
        std::printf("Making the orthophoto %s (once)...\n", image.c_str());
        const auto start = std::chrono::steady_clock::now();
        if (InChild([&] { return MakeOrthophoto(image, size) ? 0 : 1; }) != 0) {
            std::fprintf(stderr, "raster_bench: could not write %s\n", image.c_str());
            return 1;
        }
        std::printf("  made in %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(image, e)) / (1 << 20);
    char dirTemplate[4096];
    std::snprintf(dirTemplate, sizeof dirTemplate, "%s/run-XXXXXX", data.c_str());
    if (mkdtemp(dirTemplate) == nullptr) return 2;
    const std::string dir = dirTemplate;

    const std::string pipeline = "+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step +proj=hgridshift +grids=" +
                                 grid + " +step +proj=utm +zone=30 +ellps=GRS80";
    const auto gdalwarp = [&](const std::string& output) {
        return std::vector<std::string>{
            "gdalwarp", "-ct", pipeline, "-t_srs", "EPSG:25830", "-tr", "0.25", "0.25", "-r", "cubic", "-of", "GTiff",
            "-co", "TILED=YES", "-co", "COMPRESS=DEFLATE", "-co", "BIGTIFF=IF_SAFER", "-multi", "-wo", "NUM_THREADS=2",
            "-wm", "256", image, output};
    };
    Case cases[2] = {
        {"A untouched", 0.2, {lote, "-s", "ed50-wgs84", "-m", "rejilla", image, dir + "/out-a.tif"}, dir + "/out-a.tif",
         dir + "/out-gdalwarp-a.tif", "píxeles intactos", {}, {}, {}, {}},
        {"B resampled", 1.0, {lote, "-s", "ed50-wgs84", "-m", "rejilla", "--tolerancia=0", image, dir + "/out-b.tif"},
         dir + "/out-b.tif", dir + "/out-gdalwarp-b.tif", "remuestreada por el método (cúbica)", {}, {}, {}, {}}};

    std::printf("talpor-lote against gdalwarp on an orthophoto: %d x %d RGB Byte pixels of 0.25 m (%.0f MB, tiled "
                "DEFLATE GeoTIFF),\nED50 UTM 30 -> ETRS89 UTM 30 with the IGN grid, %d round%s\n",
                size, size, megabytes, rounds, rounds == 1 ? "" : "s");
    std::printf("  image: %s\n", image.c_str());
    const std::string errors = dir + "/errors.txt";
    bool failed = false;
    for (int r = 0; r < rounds && !failed; ++r) {
        for (int c = 0; c < 2 && !failed; ++c) {
            Case& k = cases[c];
            for (int turn = 0; turn < 2 && !failed; ++turn) {
                const bool ours = (r + c + turn) % 2 == 0;
                const Sample s = Run(ours ? k.lote : gdalwarp(k.peerOutput), "/dev/null", "/dev/null", errors);
                const std::string said = Text(errors);
                if (s.status != 0 || (ours && said.find(k.says) == std::string::npos)) {
                    std::fprintf(stderr, "raster_bench: %s (%s) ended with status %d after %.1f s, %.0f MB peak%s\n%s",
                                 ours ? "talpor-lote" : "gdalwarp", k.name, s.status, s.seconds,
                                 static_cast<double>(s.maxRssKb) / 1024,
                                 s.status == 0 ? (std::string(", without «") + k.says + "» in its summary").c_str() : "",
                                 said.c_str());
                    failed = true;
                    break;
                }
                if (ours && r == 0) std::printf("  %s: %s", k.name, said.c_str());
                (ours ? k.loteSeconds : k.peerSeconds).push_back(s.seconds);
                (ours ? k.loteKb : k.peerKb).push_back(static_cast<double>(s.maxRssKb));
                // Each output goes once written, but for the first round's three that are compared.
                const std::string& written = ours ? k.output : k.peerOutput;
                if (r > 0 || written == cases[0].peerOutput) std::filesystem::remove(written, e);
            }
        }
        if (!failed && r == 0 &&
            InChild([&] { return Compare(image, cases[0].output, cases[1].output, cases[1].peerOutput); }) != 0) {
            std::fprintf(stderr, "raster_bench: talpor-lote's images are not what they should be (above)\n");
            failed = true;
        }
        RemoveOutputs(dir);
        if (!failed) std::printf("  round %d: A %.2f s / %.2f s, B %.2f s / %.2f s (talpor-lote / gdalwarp)\n", r + 1,
                                 cases[0].loteSeconds.back(), cases[0].peerSeconds.back(), cases[1].loteSeconds.back(),
                                 cases[1].peerSeconds.back());
    }
    std::filesystem::remove_all(dir, e);
    if (failed) return 1;

    std::printf("\n%-12s | %-21s | %-21s | %-29s | %-22s\n", "", "talpor-lote (s)", "gdalwarp (s)",
                "talpor-lote / gdalwarp", "peak memory (MB)");
    std::printf("%-12s | %9s %11s | %9s %11s | %8s %8s %11s | %8s %13s\n", "case", "min", "median", "min", "median",
                "medians", "min", "target", "talpor", "gdalwarp");
    for (const Case& k : cases) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < k.loteSeconds.size(); ++i) ratios.push_back(k.loteSeconds[i] / k.peerSeconds[i]);
        const double ratio = Median(k.loteSeconds) / Median(k.peerSeconds), peak = Max(k.loteKb) / 1024;
        char target[16];
        std::snprintf(target, sizeof target, "<= %.1f", k.target);
        std::printf("%-12s | %9.2f %11.2f | %9.2f %11.2f | %8.3f %8.3f %11s | %8.0f %13.0f  time %s, memory %s\n",
                    k.name, Min(k.loteSeconds), Median(k.loteSeconds), Min(k.peerSeconds), Median(k.peerSeconds), ratio,
                    Min(ratios), target, peak, Max(k.peerKb) / 1024, ratio <= k.target ? "met" : "NOT MET",
                    peak < 500 ? "met" : "NOT MET");
    }
    std::printf("(peak: the largest of the rounds; talpor-lote's target < 500 MB; min: the best round's ratio;\n"
                " this program's own peak, which a program it starts cannot go below: %.0f MB)\n", OwnPeakKb() / 1024);
    return 0;
}
