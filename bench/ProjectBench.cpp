// talpor-lote against a shell loop of GDAL's and PROJ's programs on a whole GIS project of
// 400 files, ED50 UTM 30 (EPSG:23030) to ETRS89 UTM 30 (EPSG:25830) with the IGN grid.
// The project is made once from a fixed seed and kept in the data folder:
//   300 layer files: shapefiles and GeoPackages (some of two or three layers) of points,
//       lines and polygons with their attributes (parcels, buildings, addresses, rivers,
//       reservoirs, wells, roads, paths, land use, survey marks, power lines), 1,000 to
//       20,000 vertices a file, about the towns of zone 30 from Córdoba and Murcia to
//       Burgos and Logroño;
//   80 tables: CSV files «id;X;Y;Z;nombre» as a Spanish spreadsheet writes them
//       (semicolons, decimal commas), 200 to 5,000 surveyed points each;
//   20 images: tiled DEFLATE GeoTIFFs of 2,000 x 2,000 pixels, RGB Byte orthophotos of
//       0.5 and 1 m and Float32 elevation models of 2, 2.5 and 5 m, of random fields;
// in a project's folders (capas/, carreteras/, catastro/<town>/, hidrografia/, mdt/,
// ortofotos/, tablas/...).
//
// talpor-lote converts the folder in one run. Its peer does the same work file by file,
// as a user scripts it, each with the same PROJ pipeline (inverse UTM, hgridshift with the
// grid, UTM): ogr2ogr for each layer file (every layer of a GeoPackage), awk and cct for
// each table (its points to text), gdalwarp for each image (the same compression), one
// command a line in a file, into the same folders:
//   (a) one after the other: a shell loop over the lines;
//   (b) two at a time: the same lines under xargs -P 2.
// Each round runs the three, talpor-lote first and then last in turn. Wall time and peak
// resident memory (wait4: the largest of a process and of those it waited for, so the
// shell's counts its commands and talpor-lote's its workers). The first round checks that
// each wrote a file for every input, that the first vertex of each of talpor-lote's layers
// is ogr2ogr's within a millimetre and the first point of each of its tables cct's within
// two centimetres (it writes centimetres, the window's). Then where the time goes: one file
// of each kind alone, talpor-lote against its command, and each kind's files together,
// talpor-lote given them all against the loop over their lines.
//
//   project_bench <talpor-lote> [rounds] [IGN grid file] [data folder]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include "Spawned.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSeed = 20261209;

// How talpor-lote is told the project's systems: the target, and the system of the tables,
// which state none (the layers and images say their own).
const std::vector<std::string> kLoteOptions = {"--destino=etrs89-utm30", "--origen=ed50-utm30", "-m", "rejilla"};

constexpr int kLayerFiles = 300, kTables = 80, kImages = 20, kPhotos = 14, kImageSize = 2000;

// A stream of its own for each file: a file is the same whatever was made before it.
class Random {
  public:
    explicit Random(std::uint64_t stream) : engine_(kSeed ^ (stream * 0x9e3779b97f4a7c15ull)) {}
    double Unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }  // [0, 1)
    double Between(double a, double b) { return a + (b - a) * Unit(); }
    int Int(int a, int b) { return a + static_cast<int>(Unit() * (b - a + 1)); }  // [a, b]
    template <typename T, std::size_t N>
    const T& Pick(const T (&list)[N]) {
        return list[static_cast<std::size_t>(Unit() * N)];
    }

  private:
    std::mt19937_64 engine_;
};

// Towns of zone 30 inland, about their centres (ED50 UTM 30, metres): each file lies
// within some 20 km of one, on land and inside the IGN grid.
struct Town {
    const char* name;
    double e, n;
};
constexpr Town kTowns[] = {
    {"madrid", 440300, 4474300},     {"toledo", 413200, 4414200},      {"guadalajara", 486400, 4499300},
    {"alcala", 468400, 4482100},     {"segovia", 405600, 4532400},     {"avila", 356600, 4502700},
    {"valladolid", 356000, 4613900}, {"palencia", 374200, 4651000},    {"burgos", 442300, 4690600},
    {"soria", 544300, 4626800},      {"logrono", 545800, 4701400},     {"zaragoza", 676300, 4613400},
    {"calatayud", 616200, 4582700},  {"teruel", 660300, 4470500},      {"cuenca", 574400, 4438300},
    {"albacete", 599200, 4317600},   {"ciudad_real", 419600, 4316100}, {"puertollano", 403400, 4282600},
    {"talavera", 355600, 4424800},   {"jaen", 430400, 4182600},        {"ubeda", 469600, 4208500},
    {"granada", 446900, 4114800},    {"cordoba", 343700, 4196700},     {"murcia", 664400, 4205400},
    {"lorca", 614600, 4171300},      {"hellin", 618300, 4260800},      {"aranda", 442400, 4613500},
    {"tudela", 615300, 4656100},     {"miranda", 502600, 4728500},     {"medina", 341700, 4576600},
    {"manzanares", 461400, 4316300}, {"almansa", 666400, 4302200},     {"baza", 522000, 4150900},
    {"guadix", 492000, 4131300},     {"molina", 596600, 4524100},      {"aguilar", 398300, 4741500},
};

// --- The layers ---------------------------------------------------------------------------

enum class Shape { Points, Lines, Polygons };

struct Theme {
    const char* folder;
    const char* name;
    Shape shape;
    double radius[2];  // of a polygon (m)
    int corners[2];    // of a polygon's outer ring
    std::vector<std::pair<const char*, OGRFieldType>> fields;  // names of at most 10 letters, for dBase
};

const std::vector<Theme>& Themes() {
    static const std::vector<Theme> themes = {
        {"catastro", "parcelas", Shape::Polygons, {20, 250}, {5, 40},
         {{"refcat", OFTString}, {"superficie", OFTReal}, {"uso", OFTString}, {"alta", OFTDate}}},
        {"catastro", "edificios", Shape::Polygons, {6, 25}, {4, 12},
         {{"refcat", OFTString}, {"plantas", OFTInteger}, {"uso", OFTString}, {"construido", OFTInteger}}},
        {"catastro", "direcciones", Shape::Points, {}, {},
         {{"via", OFTString}, {"numero", OFTInteger}, {"cp", OFTString}}},
        {"hidrografia", "rios", Shape::Lines, {}, {},
         {{"nombre", OFTString}, {"orden", OFTInteger}, {"longitud", OFTReal}}},
        {"hidrografia", "embalses", Shape::Polygons, {200, 1500}, {40, 300},
         {{"nombre", OFTString}, {"capacidad", OFTReal}, {"cota", OFTReal}}},
        {"hidrografia", "pozos", Shape::Points, {}, {},
         {{"nombre", OFTString}, {"profundid", OFTReal}, {"caudal", OFTReal}, {"alta", OFTDate}}},
        {"carreteras", "carreteras", Shape::Lines, {}, {},
         {{"matricula", OFTString}, {"titular", OFTString}, {"carriles", OFTInteger}, {"longitud", OFTReal}}},
        {"capas", "senderos", Shape::Lines, {}, {},
         {{"nombre", OFTString}, {"dificultad", OFTString}, {"longitud", OFTReal}}},
        {"capas", "usos_suelo", Shape::Polygons, {100, 800}, {20, 150},
         {{"uso", OFTString}, {"superficie", OFTReal}, {"fuente", OFTString}}},
        {"capas", "vertices", Shape::Points, {}, {},
         {{"nombre", OFTString}, {"cota", OFTReal}, {"orden", OFTInteger}}},
        {"capas", "lineas_electricas", Shape::Lines, {}, {}, {{"tension", OFTInteger}, {"titular", OFTString}}},
    };
    return themes;
}

// The GeoPackages of several layers: a municipality's cadastre, a river basin, a road
// network, an inventory.
const std::vector<std::vector<int>> kGroups = {{0, 1, 2}, {3, 4, 5}, {6, 7}, {8, 9}};
const char* const kGroupNames[] = {"municipio", "cuenca", "red", "inventario"};

std::string Name(Random& r) {
    static const char* const kFirst[] = {"Arroyo", "Camino", "Fuente", "Cerro", "Casa", "Barranco", "Vereda",
                                         "Molino", "Cortijo", "Cañada", "Huerta", "Ermita"};
    static const char* const kSecond[] = {"la Vega", "los Olivos", "San Juan", "el Pinar", "la Dehesa", "Valdemoro",
                                          "las Eras", "el Castillo", "la Cañada", "Santa María", "los Frailes",
                                          "la Zarza", "Navalcán", "el Berrocal"};
    return std::string(r.Pick(kFirst)) + " de " + r.Pick(kSecond);
}

void SetValue(OGRFeatureH f, int i, const char* field, OGRFieldType type, Random& r, double length) {
    const std::string n = field;
    char text[64];
    if (type == OFTDate) {
        OGR_F_SetFieldDateTime(f, i, r.Int(1985, 2024), r.Int(1, 12), r.Int(1, 28), 0, 0, 0, 0);
    } else if (type == OFTInteger) {
        const int v = n == "numero" ? r.Int(1, 220) : n == "plantas" ? r.Int(1, 8) : n == "construido" ? r.Int(1890, 2023)
                      : n == "carriles" ? r.Int(1, 4) : n == "tension" ? r.Pick({15, 20, 45, 66, 132, 220, 400})
                                                                       : r.Int(1, 5);
        OGR_F_SetFieldInteger(f, i, v);
    } else if (type == OFTReal) {
        const double v = n == "longitud" ? length : n == "superficie" ? r.Between(40, 90000)
                         : n == "capacidad" ? r.Between(0.5, 300) : n == "cota" ? r.Between(420, 1900)
                         : n == "profundid" ? r.Between(6, 320) : r.Between(0.1, 60);
        OGR_F_SetFieldDouble(f, i, std::round(v * 100) / 100);
    } else {
        static const char* const kUses[] = {"Agrario", "Residencial", "Industrial", "Comercial", "Forestal",
                                            "Pastos", "Improductivo", "Equipamiento"};
        static const char* const kStreets[] = {"Calle Mayor", "Calle Real", "Avenida de la Constitución",
                                               "Plaza de España", "Calle del Sol", "Camino de la Fuente",
                                               "Calle de la Iglesia", "Travesía del Río", "Calle Nueva"};
        static const char* const kRoads[] = {"A-", "N-", "CM-", "CL-", "M-", "TO-", "J-", "BU-", "RM-"};
        static const char* const kOwners[] = {"Estado", "Comunidad Autónoma", "Diputación", "Ayuntamiento",
                                              "Iberdrola", "Endesa", "Naturgy"};
        static const char* const kLevels[] = {"Baja", "Media", "Alta"};
        static const char* const kSources[] = {"SIOSE 2014", "SIGPAC 2019", "Fotointerpretación", "Campo 2021"};
        std::string v;
        if (n == "refcat") {
            std::snprintf(text, sizeof text, "%02d%03dA%03d%05d", r.Int(2, 50), r.Int(1, 300), r.Int(1, 40),
                          r.Int(1, 9999));
            v = text;
        } else if (n == "cp") {
            std::snprintf(text, sizeof text, "%05d", r.Int(2000, 50999));
            v = text;
        } else if (n == "matricula") {
            v = r.Pick(kRoads) + std::to_string(r.Int(1, 4999));
        } else {
            v = n == "uso" ? r.Pick(kUses) : n == "via" ? r.Pick(kStreets) : n == "titular" ? r.Pick(kOwners)
                : n == "dificultad" ? r.Pick(kLevels) : n == "fuente" ? r.Pick(kSources) : Name(r);
        }
        OGR_F_SetFieldString(f, i, v.c_str());
    }
}

double Mm(double v) { return std::round(v * 1000) / 1000; }

// One layer of about `vertices` vertices over the square of half side `half` about
// (ce, cn). False on failure.
bool WriteLayer(GDALDatasetH ds, const char* name, const Theme& t, OGRSpatialReferenceH srs, long vertices,
                double ce, double cn, double half, Random& r) {
    const OGRwkbGeometryType type = t.shape == Shape::Points ? wkbPoint : t.shape == Shape::Lines ? wkbLineString : wkbPolygon;
    OGRLayerH layer = GDALDatasetCreateLayer(ds, name, srs, type, nullptr);
    if (layer == nullptr) return false;
    for (const auto& [field, kind] : t.fields) {
        OGRFieldDefnH d = OGR_Fld_Create(field, kind);
        if (kind == OFTString) OGR_Fld_SetWidth(d, 80);
        const bool ok = OGR_L_CreateField(layer, d, TRUE) == OGRERR_NONE;
        OGR_Fld_Destroy(d);
        if (!ok) return false;
    }
    const bool transaction = GDALDatasetStartTransaction(ds, FALSE) == OGRERR_NONE;
    const auto inside = [&](double& e, double& n) {
        e = ce + r.Between(-half, half);
        n = cn + r.Between(-half, half);
    };
    bool ok = true;
    for (long left = vertices; ok && left > 0;) {
        OGRGeometryH g = nullptr;
        double length = 0, e = 0, n = 0;
        if (t.shape == Shape::Points) {
            inside(e, n);
            g = OGR_G_CreateGeometry(wkbPoint);
            OGR_G_SetPoint_2D(g, 0, Mm(e), Mm(n));
            left -= 1;
        } else if (t.shape == Shape::Lines) {
            // A road or a river: a walk of steps of some metres, its heading wandering.
            const int count = static_cast<int>(std::min<long>(std::max<long>(left, 2), r.Int(20, 400)));
            g = OGR_G_CreateGeometry(wkbLineString);
            inside(e, n);
            double heading = r.Between(0, 2 * M_PI);
            const double step = r.Between(5, 40);
            for (int k = 0; k < count; ++k) {
                OGR_G_AddPoint_2D(g, Mm(e), Mm(n));
                const double s = step * r.Between(0.6, 1.4);
                heading += r.Between(-0.25, 0.25);
                e += s * std::cos(heading), n += s * std::sin(heading);
                if (k + 1 < count) length += s;
            }
            left -= count;
        } else {
            // A parcel, a building, a reservoir: a star-shaped ring about a point, some with a
            // courtyard.
            const int corners = r.Int(t.corners[0], t.corners[1]);
            const double radius = r.Between(t.radius[0], t.radius[1]);
            g = OGR_G_CreateGeometry(wkbPolygon);
            inside(e, n);
            const bool hole = r.Unit() < 0.1;
            for (int ring = 0; ring < (hole ? 2 : 1); ++ring) {
                OGRGeometryH lr = OGR_G_CreateGeometry(wkbLinearRing);
                const int m = ring == 0 ? corners : r.Int(5, 8);
                const double a0 = r.Between(0, 2 * M_PI), scale = ring == 0 ? radius : radius * 0.3;
                double first[2] = {0, 0};
                for (int k = 0; k < m; ++k) {
                    const double a = a0 + 2 * M_PI * (k + r.Between(-0.3, 0.3)) / m, d = scale * r.Between(0.75, 1.25);
                    const double x = Mm(e + d * std::cos(a)), y = Mm(n + d * std::sin(a));
                    if (k == 0) first[0] = x, first[1] = y;
                    OGR_G_AddPoint_2D(lr, x, y);
                }
                OGR_G_AddPoint_2D(lr, first[0], first[1]);
                OGR_G_AddGeometryDirectly(g, lr);
                left -= m + 1;
            }
        }
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        for (std::size_t i = 0; i < t.fields.size(); ++i)
            SetValue(f, static_cast<int>(i), t.fields[i].first, t.fields[i].second, r, std::round(length * 100) / 100);
        OGR_F_SetGeometryDirectly(f, g);
        ok = OGR_L_CreateFeature(layer, f) == OGRERR_NONE;
        OGR_F_Destroy(f);
    }
    if (transaction) ok = GDALDatasetCommitTransaction(ds) == OGRERR_NONE && ok;
    return ok;
}

// Layer file `i` of the project in `dir`; its vertices are added to `vertices`.
bool MakeLayerFile(const std::string& dir, int i, OGRSpatialReferenceH srs, long& vertices) {
    Random r(static_cast<std::uint64_t>(i) + 1);
    const bool shapefile = i % 5 < 3;  // 180 shapefiles, 120 GeoPackages
    std::vector<int> themes;
    std::string folder, stem;
    char number[16];
    std::snprintf(number, sizeof number, "%03d", i);
    const Town& town = r.Pick(kTowns);
    if (!shapefile && r.Unit() < 0.45) {
        const int g = r.Int(0, static_cast<int>(kGroups.size()) - 1);
        themes = kGroups[g];
        if (themes.size() == 3 && r.Unit() < 0.3) themes.pop_back();
        stem = std::string(kGroupNames[g]) + "_" + town.name + "_" + number;
    } else {
        themes = {r.Int(0, static_cast<int>(Themes().size()) - 1)};
        stem = std::string(Themes()[themes[0]].name) + "_" + town.name + "_" + number;
    }
    folder = Themes()[themes[0]].folder;
    if (folder == "catastro") folder += std::string("/") + town.name;
    fs::create_directories(dir + "/" + folder);
    const std::string path = dir + "/" + folder + "/" + stem + (shapefile ? ".shp" : ".gpkg");
    GDALDriverH driver = GDALGetDriverByName(shapefile ? "ESRI Shapefile" : "GPKG");
    GDALDatasetH ds = driver != nullptr ? GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr) : nullptr;
    if (ds == nullptr) return false;
    const long total = r.Int(1000, 20000);
    const double ce = town.e + r.Between(-15000, 15000), cn = town.n + r.Between(-15000, 15000);
    const double half = r.Between(1500, 6000);
    bool ok = true;
    long left = total;
    for (std::size_t k = 0; ok && k < themes.size(); ++k) {
        const long share = k + 1 == themes.size() ? left : static_cast<long>(left * r.Between(0.25, 0.6));
        const Theme& t = Themes()[themes[k]];
        ok = WriteLayer(ds, shapefile ? stem.c_str() : t.name, t, srs, share, ce, cn, half, r);
        left -= share;
    }
    GDALClose(ds);
    vertices += total;
    return ok;
}

// --- The tables ---------------------------------------------------------------------------

std::string Comma(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    std::string s = text;
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

// Table `i`: a survey's points about a spot near a town, their ground height a slope with
// its bumps. Its rows are added to `rows`.
bool MakeTable(const std::string& dir, int i, long& rows) {
    Random r(static_cast<std::uint64_t>(i) + 1001);
    static const char* const kKinds[] = {"levantamiento", "pozos", "bases", "replanteo"};
    static const char* const kCodes[] = {"Base", "Eje", "Borde", "Cuneta", "Arqueta", "Farola", "Árbol", "Muro",
                                         "Relleno", "Talud", "Bordillo", "Pozo"};
    const Town& town = r.Pick(kTowns);
    const char* kind = r.Pick(kKinds);
    const std::string folder = std::string("tablas/") + (i % 3 == 0 ? "" : kind == std::string("pozos") ? "pozos/" : "campo/");
    fs::create_directories(dir + "/" + folder);
    char name[96];
    std::snprintf(name, sizeof name, "%s_%s_%03d.csv", kind, town.name, i);
    std::FILE* out = std::fopen((dir + "/" + folder + name).c_str(), "w");
    if (out == nullptr) return false;
    const int count = r.Int(200, 5000);
    const double ce = town.e + r.Between(-15000, 15000), cn = town.n + r.Between(-15000, 15000);
    const double half = r.Between(100, 3000), z0 = r.Between(450, 1200), se = r.Between(-0.04, 0.04),
                 sn = r.Between(-0.04, 0.04);
    std::fputs("id;X;Y;Z;nombre\n", out);
    for (int k = 1; k <= count; ++k) {
        const double de = r.Between(-half, half), dn = r.Between(-half, half);
        const double z = z0 + se * de + sn * dn + 6 * std::sin(de / 170) * std::cos(dn / 230) + r.Between(-0.5, 0.5);
        std::fprintf(out, "%d;%s;%s;%s;%s %d\n", k, Comma(ce + de, 3).c_str(), Comma(cn + dn, 3).c_str(),
                     Comma(z, 2).c_str(), r.Pick(kCodes), r.Int(1, 400));
    }
    rows += count;
    return std::fclose(out) == 0;
}

// --- The images ---------------------------------------------------------------------------

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t salt) {
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ (salt + static_cast<std::uint32_t>(kSeed)) * 0xcb1ab31fu;
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

// Image `i`: an orthophoto of fields (a land use the noise picks, its light over hills and
// clods, the sensor's grain) or an elevation model of hills (octaves of noise).
bool MakeImage(const std::string& dir, int i) {
    Random r(static_cast<std::uint64_t>(i) + 2001);
    const bool photo = i < kPhotos;
    const Town& town = r.Pick(kTowns);
    const double pixel = photo ? r.Pick({0.5, 0.5, 1.0}) : r.Pick({2.0, 2.5, 5.0});
    const std::string folder = photo ? "ortofotos" : "mdt";
    char name[96];
    if (photo) std::snprintf(name, sizeof name, "orto_%s_%02d.tif", town.name, i);
    else std::snprintf(name, sizeof name, "mdt%02d_%s_%02d.tif", static_cast<int>(pixel * 10), town.name, i);
    fs::create_directories(dir + "/" + folder);
    const char* options[] = {"TILED=YES", "COMPRESS=DEFLATE", photo ? "PHOTOMETRIC=RGB" : "PHOTOMETRIC=MINISBLACK",
                             nullptr};
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    GDALDatasetH ds = GDALCreate(driver, (dir + "/" + folder + "/" + name).c_str(), kImageSize, kImageSize,
                                 photo ? 3 : 1, photo ? GDT_Byte : GDT_Float32, const_cast<char**>(options));
    if (ds == nullptr) return false;
    double gt[6] = {std::round((town.e + r.Between(-12000, 8000)) / 10) * 10, pixel, 0,
                    std::round((town.n + r.Between(-8000, 12000)) / 10) * 10, 0, -pixel};
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool ok = OSRImportFromEPSG(srs, 23030) == OGRERR_NONE && GDALSetSpatialRef(ds, srs) == CE_None &&
              GDALSetGeoTransform(ds, gt) == CE_None;
    OSRDestroySpatialReference(srs);
    static constexpr double kColour[5][3] = {{196, 172, 112}, {96, 126, 62}, {142, 108, 78}, {178, 162, 128}, {74, 88, 54}};
    const std::uint32_t salt = static_cast<std::uint32_t>(i) * 64;
    const double z0 = r.Between(450, 1100);
    constexpr int kRows = 256;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kImageSize) * kRows * 3);
    std::vector<float> z(static_cast<std::size_t>(kImageSize) * kRows);
    int bands[3] = {1, 2, 3};
    for (int y0 = 0; ok && y0 < kImageSize; y0 += kRows) {
        const int rows = std::min(kRows, kImageSize - y0);
        for (int y = y0; y < y0 + rows; ++y)
            for (int x = 0; x < kImageSize; ++x) {
                const std::size_t at = static_cast<std::size_t>(y - y0) * kImageSize + x;
                if (!photo) {
                    z[at] = static_cast<float>(z0 + 520 * Noise(x, y, 1024, salt) + 160 * Noise(x, y, 256, salt + 1) +
                                               40 * Noise(x, y, 64, salt + 2) + 8 * Noise(x, y, 16, salt + 3) +
                                               1.2 * Noise(x, y, 4, salt + 4) + 0.05 * Unit(Hash(x, y, salt + 5)));
                    continue;
                }
                const int use = static_cast<int>(Noise(x, y, 300, salt + 6) * 5);
                const double light = 0.55 * Noise(x, y, 512, salt + 7) + 0.25 * Noise(x, y, 96, salt + 8) +
                                     0.12 * Noise(x, y, 20, salt + 9) + 0.08 * Noise(x, y, 4, salt + 10);
                const std::uint32_t h = Hash(x, y, salt + 11);
                for (int k = 0; k < 3; ++k) {
                    const double v = kColour[use][k] * (0.7 + 0.6 * light) + static_cast<double>((h >> (3 * k)) & 7) - 3.5;
                    rgb[3 * at + k] = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
                }
            }
        ok = photo ? GDALDatasetRasterIO(ds, GF_Write, 0, y0, kImageSize, rows, rgb.data(), kImageSize, rows, GDT_Byte, 3,
                                         bands, 3, 3 * kImageSize, 1) == CE_None
                   : GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, y0, kImageSize, rows, z.data(), kImageSize, rows,
                                  GDT_Float32, 0, 0) == CE_None;
    }
    GDALClose(ds);
    return ok;
}

// The whole project into `path` (through a temporary name: a run stopped halfway leaves
// no project to be taken for a whole one). False on failure.
bool MakeProject(const std::string& path) {
    GDALAllRegister();
    const std::string part = path + ".part";
    std::error_code e;
    fs::remove_all(part, e);
    fs::create_directories(part, e);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    bool ok = OSRImportFromEPSG(srs, 23030) == OGRERR_NONE;
    long vertices = 0, rows = 0;
    for (int i = 0; ok && i < kLayerFiles; ++i) ok = MakeLayerFile(part, i, srs, vertices);
    OSRDestroySpatialReference(srs);
    for (int i = 0; ok && i < kTables; ++i) ok = MakeTable(part, i, rows);
    for (int i = 0; ok && i < kImages; ++i) ok = MakeImage(part, i);
    ok = ok && std::rename(part.c_str(), path.c_str()) == 0;
    if (!ok) fs::remove_all(part, e);
    else std::printf("  %ld vertices in the layers, %ld rows in the tables\n", vertices, rows);
    return ok;
}

// --- The files, the commands ------------------------------------------------------------

enum Kind { kShapefile, kGeoPackage, kTable, kPhoto, kElevation, kKinds };
const char* const kKindNames[] = {"shapefile", "GeoPackage", "table (CSV)", "orthophoto", "elevation model"};

struct Input {
    std::string relative;  // to the project's folder
    Kind kind;
};

// The project's files, by their paths; a shapefile by its .shp.
std::vector<Input> Inputs(const std::string& project) {
    std::vector<Input> inputs;
    for (const auto& entry : fs::recursive_directory_iterator(project)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), project).string(), ext = entry.path().extension().string();
        if (ext == ".shp") inputs.push_back({relative, kShapefile});
        else if (ext == ".gpkg") inputs.push_back({relative, kGeoPackage});
        else if (ext == ".csv") inputs.push_back({relative, kTable});
        else if (ext == ".tif") inputs.push_back({relative, relative.starts_with("mdt/") ? kElevation : kPhoto});
    }
    std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) { return a.relative < b.relative; });
    return inputs;
}

// Where the loop writes a file, relative to its output folder: a table's points as text.
std::string PeerOutput(const Input& in) {
    return in.kind == kTable ? fs::path(in.relative).replace_extension(".txt").string() : in.relative;
}

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Pipeline(const std::string& grid) {
    return "+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step +proj=hgridshift +grids=" + grid +
           " +step +proj=utm +zone=30 +ellps=GRS80";
}

// The loop's command for a file, one line, its output relative to the folder it runs in:
// the images' pixel size (kept) and resampling (cubic for a photo, bilinear for heights,
// as talpor-lote chooses) read with GDAL.
std::string Command(const std::string& project, const Input& in, const std::string& grid) {
    const std::string input = Quoted(project + "/" + in.relative), output = Quoted(PeerOutput(in));
    const std::string systems = "-s_srs EPSG:23030 -t_srs EPSG:25830 -ct " + Quoted(Pipeline(grid));
    if (in.kind == kShapefile || in.kind == kGeoPackage)
        return "ogr2ogr -f " + std::string(in.kind == kShapefile ? "'ESRI Shapefile'" : "GPKG") + " " + systems + " " +
               output + " " + input;
    if (in.kind == kTable) {
        std::string words;
        std::istringstream pipeline(Pipeline(grid));
        for (std::string w; pipeline >> w;) words += " " + Quoted(w);
        return "awk -F';' 'NR>1{gsub(\",\",\".\",$2);gsub(\",\",\".\",$3);gsub(\",\",\".\",$4);print $2,$3,$4,$1\";\"$5}' " +
               input + " | cct -d 3 -t 0" + words + " > " + output;
    }
    double gt[6] = {0, 1, 0, 0, 0, -1};
    GDALDatasetH ds = GDALOpen((project + "/" + in.relative).c_str(), GA_ReadOnly);
    bool bytes = true;
    if (ds != nullptr) {
        GDALGetGeoTransform(ds, gt);
        bytes = GDALGetRasterDataType(GDALGetRasterBand(ds, 1)) == GDT_Byte;
        GDALClose(ds);
    }
    char resolution[64];
    std::snprintf(resolution, sizeof resolution, "-tr %g %g", gt[1], -gt[5]);
    return "gdalwarp " + systems + " " + resolution + " -r " + (bytes ? "cubic" : "bilinear") +
           " -co TILED=YES -co COMPRESS=DEFLATE " + input + " " + output;
}

bool WriteCommands(const std::string& project, const std::vector<Input>& inputs, const std::string& grid,
                   const std::string& path) {
    GDALAllRegister();
    std::ofstream out(path);
    for (const Input& in : inputs) out << Command(project, in, grid) << "\n";
    return static_cast<bool>(out);
}

// The folders the loop's outputs go in, made first.
std::string Folders(const std::vector<Input>& inputs) {
    std::set<std::string> folders;
    for (const Input& in : inputs)
        if (fs::path(in.relative).has_parent_path()) folders.insert(fs::path(in.relative).parent_path().string());
    std::string list;
    for (const std::string& f : folders) list += " " + Quoted(f);
    return list;
}

// --- Runs and checks ----------------------------------------------------------------------

std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    const std::size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

std::size_t Occurrences(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + word.size())) ++n;
    return n;
}

bool FirstPoint(OGRGeometryH g, double& x, double& y) {
    if (g == nullptr) return false;
    if (OGR_G_GetPointCount(g) > 0) {
        x = OGR_G_GetX(g, 0), y = OGR_G_GetY(g, 0);
        return true;
    }
    for (int i = 0; i < OGR_G_GetGeometryCount(g); ++i)
        if (FirstPoint(OGR_G_GetGeometryRef(g, i), x, y)) return true;
    return false;
}

std::string Epsg(OGRSpatialReferenceH s) {
    const char* code = s != nullptr ? OSRGetAuthorityCode(s, nullptr) : nullptr;
    if (code == nullptr && s != nullptr && OSRAutoIdentifyEPSG(s) == OGRERR_NONE) code = OSRGetAuthorityCode(s, nullptr);
    return code != nullptr ? code : "?";
}

// The outputs of the first round: a file for every input in each, talpor-lote's layers in
// EPSG:25830 beginning where ogr2ogr's do (1 mm), its tables' first points where cct's are
// (2 cm: talpor-lote writes the window's centimetres, up to one from cct's). 0 when all
// agree.
int Check(const std::vector<Input>& inputs, const std::string& lote,
          const std::vector<std::string>& peers, const std::string& loteSaid) {
    GDALAllRegister();
    bool ok = true;
    for (int k = 0; k <= static_cast<int>(peers.size()); ++k) {
        const std::string& dir = k == 0 ? lote : peers[k - 1];
        std::size_t found[kKinds] = {}, expected[kKinds] = {};
        for (const Input& in : inputs) {
            ++expected[in.kind];
            if (fs::exists(dir + "/" + (k == 0 ? in.relative : PeerOutput(in)))) ++found[in.kind];
        }
        std::printf("  %-22s wrote", k == 0 ? "talpor-lote" : k == 1 ? "the loop" : "the loop under xargs");
        for (int kind = 0; kind < kKinds; ++kind) {
            std::printf("%s %zu of %zu %s", kind == 0 ? "" : ",", found[kind], expected[kind], kKindNames[kind]);
            ok = ok && found[kind] == expected[kind];
        }
        std::printf("\n");
    }
    double largest = 0;
    int layers = 0, wrongSystem = 0;
    for (const Input& in : inputs) {
        if (in.kind != kShapefile && in.kind != kGeoPackage) continue;
        GDALDatasetH a = GDALOpenEx((lote + "/" + in.relative).c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
        GDALDatasetH b = GDALOpenEx((peers[0] + "/" + PeerOutput(in)).c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
        for (int i = 0; a != nullptr && b != nullptr && i < GDALDatasetGetLayerCount(a); ++i) {
            OGRLayerH la = GDALDatasetGetLayer(a, i), lb = GDALDatasetGetLayerByName(b, OGR_L_GetName(la));
            if (lb == nullptr) continue;
            if (Epsg(OGR_L_GetSpatialRef(la)) != "25830") ++wrongSystem;
            OGRFeatureH fa = OGR_L_GetNextFeature(la), fb = OGR_L_GetNextFeature(lb);
            double xa = 0, ya = 0, xb = 0, yb = 0;
            if (fa != nullptr && fb != nullptr && FirstPoint(OGR_F_GetGeometryRef(fa), xa, ya) &&
                FirstPoint(OGR_F_GetGeometryRef(fb), xb, yb)) {
                largest = std::max({largest, std::fabs(xa - xb), std::fabs(ya - yb)});
                ++layers;
            }
            if (fa != nullptr) OGR_F_Destroy(fa);
            if (fb != nullptr) OGR_F_Destroy(fb);
        }
        if (a != nullptr) GDALClose(a);
        if (b != nullptr) GDALClose(b);
    }
    std::printf("  first vertex of %d layers, talpor-lote against ogr2ogr: largest difference %.3f mm; %d layer%s of "
                "talpor-lote not in EPSG:25830\n", layers, largest * 1000, wrongSystem, wrongSystem == 1 ? "" : "s");
    ok = ok && layers > 0 && largest <= 0.001 && wrongSystem == 0;
    double tableLargest = 0;
    int tables = 0;
    for (const Input& in : inputs) {
        if (in.kind != kTable) continue;
        std::ifstream a(lote + "/" + in.relative), b(peers[0] + "/" + PeerOutput(in));
        std::string header, row, theirs;
        if (!std::getline(a, header) || !std::getline(a, row) || !std::getline(b, theirs)) continue;
        const auto split = [](const std::string& line) {
            std::vector<std::string> f;
            std::stringstream s(line);
            for (std::string x; std::getline(s, x, ';');) f.push_back(x);
            return f;
        };
        const std::vector<std::string> names = split(header), values = split(row);
        int east = -1, north = -1;
        for (int c = 5; c < static_cast<int>(names.size()); ++c) {
            if (east < 0 && names[c].starts_with("Este")) east = c;
            if (north < 0 && names[c].starts_with("Norte")) north = c;
        }
        double e = 0, n = 0;
        if (east < 0 || north < 0 || std::max(east, north) >= static_cast<int>(values.size()) ||
            std::sscanf(theirs.c_str(), "%lf %lf", &e, &n) != 2)
            continue;
        const auto number = [](std::string s) {
            std::replace(s.begin(), s.end(), ',', '.');
            return std::atof(s.c_str());
        };
        tableLargest = std::max({tableLargest, std::fabs(number(values[east]) - e), std::fabs(number(values[north]) - n)});
        ++tables;
    }
    std::printf("  first point of %d tables, talpor-lote against cct: largest difference %.1f mm\n", tables,
                tableLargest * 1000);
    ok = ok && tables > 0 && tableLargest <= 0.02;
    std::printf("  talpor-lote's images with their pixels untouched («píxeles intactos»): %zu of %d\n",
                Occurrences(loteSaid, "píxeles intactos"), kImages);
    return ok ? 0 : 1;
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

std::string LoadAverage() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3) return "unknown";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

struct Runner {
    const char* name;
    std::vector<double> seconds, cpu, kb;
};

double Bytes(const std::string& project, const Input& in) {
    std::error_code e;
    double size = 0;
    if (in.kind != kShapefile) return static_cast<double>(fs::file_size(project + "/" + in.relative, e));
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj"})
        size += static_cast<double>(fs::file_size(fs::path(project + "/" + in.relative).replace_extension(ext), e));
    return size;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <talpor-lote> [rounds] [IGN grid file] [data folder]\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each round's line as it ends, in a log too
    const std::string lote = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string grid = fs::absolute(argc > 3 ? argv[3] : TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif").string();
    const std::string data = fs::absolute(argc > 4 ? argv[4] : TALPOR_BENCH_DATA_DIR).string();
    if (rounds < 1) {
        std::fprintf(stderr, "project_bench: at least 1 round\n");
        return 2;
    }
    std::error_code e;
    fs::create_directories(data, e);
    const std::string project = data + "/proyecto-ed50-utm30";
    if (!fs::exists(project)) {
        std::printf("Making the project %s (once)...\n", project.c_str());
        const auto start = std::chrono::steady_clock::now();
        if (InChild([&] { return MakeProject(project) ? 0 : 1; }) != 0) {
            std::fprintf(stderr, "project_bench: could not write %s\n", project.c_str());
            return 1;
        }
        std::printf("  made in %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const std::vector<Input> inputs = Inputs(project);
    std::size_t count[kKinds] = {};
    double bytes[kKinds] = {};
    for (const Input& in : inputs) ++count[in.kind], bytes[in.kind] += Bytes(project, in);
    char dirTemplate[4096];
    std::snprintf(dirTemplate, sizeof dirTemplate, "%s/run-XXXXXX", data.c_str());
    if (mkdtemp(dirTemplate) == nullptr) return 2;
    const std::string dir = dirTemplate, commands = dir + "/commands.txt";
    if (InChild([&] { return WriteCommands(project, inputs, grid, commands) ? 0 : 1; }) != 0) {
        std::fprintf(stderr, "project_bench: could not write %s\n", commands.c_str());
        return 2;
    }
    std::vector<std::string> lines;
    {
        std::ifstream in(commands);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }

    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("talpor-lote against a shell loop of ogr2ogr, cct and gdalwarp on a GIS project of %zu files,\n"
                "ED50 UTM 30 -> ETRS89 UTM 30 with the IGN grid, %d round%s, on %ld cores (load average %s)\n",
                inputs.size(), rounds, rounds == 1 ? "" : "s", cores, LoadAverage().c_str());
    std::printf("  project: %s\n", project.c_str());
    for (int k = 0; k < kKinds; ++k) std::printf("    %3zu %-16s %7.1f MB\n", count[k], kKindNames[k], bytes[k] / (1 << 20));
    std::vector<std::string> loteArgs = {lote};
    loteArgs.insert(loteArgs.end(), kLoteOptions.begin(), kLoteOptions.end());
    std::string shown;
    for (const std::string& a : loteArgs) shown += (shown.empty() ? "" : " ") + a;
    std::printf("  talpor-lote: %s PROJECT OUT\n  the loop's commands: %s\n", shown.c_str(), commands.c_str());

    // The loop reads its commands one a line and runs each with its own shell, as xargs
    // does: the two differ only in running one or two at a time.
    const std::string outLote = dir + "/out-talpor", outLoop = dir + "/out-loop", outXargs = dir + "/out-xargs";
    const std::string folders = Folders(inputs);
    const auto script = [&](const std::string& out, bool parallel, const std::string& from) {
        const std::string start = "mkdir -p " + Quoted(out) + " && cd " + Quoted(out) + " && mkdir -p" + folders + " || exit 2\n";
        return parallel ? start + "xargs -d '\\n' -n 1 -P 2 sh -c < " + Quoted(from) + "\n"
                        : start + "status=0\nwhile IFS= read -r command; do\n  sh -c \"$command\" || status=1\ndone < " +
                              Quoted(from) + "\nexit $status\n";
    };
    std::vector<std::string> loteRun = loteArgs;
    loteRun.insert(loteRun.end(), {project, outLote});
    const std::vector<std::string> loopRun = {"/bin/sh", "-c", script(outLoop, false, commands)},
                                    xargsRun = {"/bin/sh", "-c", script(outXargs, true, commands)};
    Runner runners[3] = {{"talpor-lote", {}, {}, {}}, {"loop, one at a time", {}, {}, {}}, {"loop, xargs -P 2", {}, {}, {}}};
    const std::vector<std::string>* runs[3] = {&loteRun, &loopRun, &xargsRun};
    const std::string outs[3] = {outLote, outLoop, outXargs};
    const std::string errors = dir + "/errors.txt";
    std::string loteSaid;
    bool failed = false;
    for (int r = 0; r < rounds && !failed; ++r) {
        for (int turn = 0; turn < 3 && !failed; ++turn) {
            const int who = r % 2 == 0 ? turn : 2 - turn;
            fs::remove_all(outs[who], e);
            const Sample s = Run(*runs[who], "/dev/null", "/dev/null", errors);
            const std::string said = Text(errors);
            if (s.status != 0) {
                std::fprintf(stderr, "project_bench: %s ended with status %d after %.1f s\n%s", runners[who].name, s.status,
                             s.seconds, said.substr(said.size() > 4000 ? said.size() - 4000 : 0).c_str());
                failed = true;
                break;
            }
            if (who == 0 && r == 0) {
                loteSaid = said;
                std::printf("  %s\n", LastLine(said).c_str());
            }
            runners[who].seconds.push_back(s.seconds);
            runners[who].cpu.push_back(s.cpuSeconds);
            runners[who].kb.push_back(static_cast<double>(s.maxRssKb));
        }
        if (!failed && r == 0 &&
            InChild([&] { return Check(inputs, outLote, {outLoop, outXargs}, loteSaid); }) != 0) {
            std::fprintf(stderr, "project_bench: the outputs are not what they should be (above)\n");
            failed = true;
        }
        for (const std::string& out : outs) fs::remove_all(out, e);
        if (!failed)
            std::printf("  round %d: %.1f s / %.1f s / %.1f s (talpor-lote / loop / xargs -P 2), load average %s\n", r + 1,
                        runners[0].seconds.back(), runners[1].seconds.back(), runners[2].seconds.back(),
                        LoadAverage().c_str());
    }
    if (failed) {
        std::printf("  (the run's files are kept in %s)\n", dir.c_str());
        return 1;
    }

    std::printf("\n%-20s | %-17s | %-8s | %s\n", "", "wall time (s)", "CPU (s)", "peak memory (MB)");
    std::printf("%-20s | %7s %9s | %8s | %s\n", "", "min", "median", "median", "largest");
    for (const Runner& k : runners)
        std::printf("%-20s | %7.1f %9.1f | %8.1f | %.0f\n", k.name, Min(k.seconds), Median(k.seconds), Median(k.cpu),
                    Max(k.kb) / 1024);
    const double goals[3] = {0, 0.5, 0.8};
    for (int p = 1; p < 3; ++p) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < runners[0].seconds.size(); ++i)
            ratios.push_back(runners[0].seconds[i] / runners[p].seconds[i]);
        std::printf("talpor-lote / %-20s: min %.3f, median %.3f (goal <= %.1f: %s)\n", runners[p].name, Min(ratios),
                    Median(ratios), goals[p], Median(ratios) <= goals[p] ? "met" : "NOT MET");
    }
    std::printf("(ratios of wall times round by round; peak: the largest of the rounds, of the largest process;\n"
                " this program's own peak, which a program it starts cannot go below: %.0f MB)\n", OwnPeakKb() / 1024);

    // Where the time goes: the file of median size of each kind, alone, talpor-lote against
    // its command; times the count of files of the kind, the share of each in a loop.
    std::printf("\nOne file of each kind alone (the median-sized; median of %d runs, the order alternating; each run\n"
                "pays its program's start, talpor-lote's grids and GDAL's drivers):\n", rounds);
    std::printf("  %-16s %-44s %9s | %11s %11s %7s | %8s %8s\n", "", "file", "size (KB)", "talpor (s)", "command (s)",
                "ratio", "x files", "(s)");
    double sums[2] = {0, 0};
    const std::string one = dir + "/one";
    for (int k = 0; k < kKinds && !failed; ++k) {
        std::vector<std::size_t> of;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i].kind == k) of.push_back(i);
        if (of.empty()) continue;
        std::sort(of.begin(), of.end(), [&](std::size_t a, std::size_t b) { return Bytes(project, inputs[a]) < Bytes(project, inputs[b]); });
        const Input& in = inputs[of[of.size() / 2]];
        std::vector<std::string> alone = loteArgs;
        alone.insert(alone.end(), {project + "/" + in.relative, one + "/talpor/" + fs::path(in.relative).filename().string()});
        const std::string folder = fs::path(PeerOutput(in)).parent_path().string();
        const std::vector<std::string> command = {
            "/bin/sh", "-c", "mkdir -p " + Quoted(one + "/peer/" + folder) + " && cd " + Quoted(one + "/peer") + " && " +
                                 lines[of[of.size() / 2]]};
        std::vector<double> times[2];
        for (int r = 0; r < rounds && !failed; ++r)
            for (int turn = 0; turn < 2; ++turn) {
                const int who = (r + turn) % 2;
                fs::remove_all(one, e);
                fs::create_directories(one + "/talpor", e);
                const Sample s = Run(who == 0 ? alone : command, "/dev/null", "/dev/null", errors);
                if (s.status != 0) {
                    std::fprintf(stderr, "project_bench: %s ended with status %d on %s\n%s",
                                 who == 0 ? "talpor-lote" : "its command", s.status, in.relative.c_str(), Text(errors).c_str());
                    failed = true;
                    break;
                }
                times[who].push_back(s.seconds);
            }
        if (failed) break;
        const double ours = Median(times[0]), theirs = Median(times[1]);
        sums[0] += ours * static_cast<double>(count[k]), sums[1] += theirs * static_cast<double>(count[k]);
        std::printf("  %-16s %-44s %9.0f | %11.3f %11.3f %7.2f | %8.1f %8.1f\n", kKindNames[k], in.relative.c_str(),
                    Bytes(project, in) / 1024, ours, theirs, ours / theirs, ours * static_cast<double>(count[k]),
                    theirs * static_cast<double>(count[k]));
    }
    if (failed) {
        fs::remove_all(dir, e);
        return 1;
    }
    std::printf("  %-16s %-44s %9s | %11s %11s %7s | %8.1f %8.1f\n", "sum", "(each file run alone, one at a time)", "", "",
                "", "", sums[0], sums[1]);

    // The same by kinds, in a folder's run: talpor-lote starts its grids once for all the
    // files given it (-o), and its layer worker once a file.
    std::printf("\nEach kind alone, all its files in one run (once, the order alternating): talpor-lote given them\n"
                "(-o), against the loop over their lines:\n");
    std::printf("  %-16s %5s | %11s %11s %7s | %13s %13s\n", "", "files", "talpor (s)", "loop (s)", "ratio",
                "talpor a file", "loop a file");
    double totals[2] = {0, 0};
    for (int k = 0; k < kKinds && !failed; ++k) {
        std::vector<std::string> given = loteArgs;
        const std::string kindCommands = dir + "/commands-" + std::to_string(k) + ".txt";
        {
            std::ofstream out(kindCommands);
            for (std::size_t i = 0; i < inputs.size(); ++i)
                if (inputs[i].kind == k) given.push_back(project + "/" + inputs[i].relative), out << lines[i] << "\n";
        }
        given.insert(given.end(), {"-o", dir + "/kind-talpor"});
        const std::vector<std::string> loop = {"/bin/sh", "-c", script(dir + "/kind-loop", false, kindCommands)};
        double seconds[2] = {0, 0};
        for (int turn = 0; turn < 2 && !failed; ++turn) {
            const int who = (k + turn) % 2;
            fs::remove_all(dir + "/kind-talpor", e);
            fs::remove_all(dir + "/kind-loop", e);
            const Sample s = Run(who == 0 ? given : loop, "/dev/null", "/dev/null", errors);
            if (s.status != 0) {
                std::fprintf(stderr, "project_bench: %s ended with status %d on the %s files\n%s",
                             who == 0 ? "talpor-lote" : "the loop", s.status, kKindNames[k], Text(errors).c_str());
                failed = true;
            }
            seconds[who] = s.seconds;
        }
        if (failed) break;
        totals[0] += seconds[0], totals[1] += seconds[1];
        const double n = static_cast<double>(count[k]);
        std::printf("  %-16s %5zu | %11.1f %11.1f %7.2f | %13.3f %13.3f\n", kKindNames[k], count[k], seconds[0],
                    seconds[1], seconds[0] / seconds[1], seconds[0] / n, seconds[1] / n);
    }
    fs::remove_all(dir, e);
    if (failed) return 1;
    std::printf("  %-16s %5zu | %11.1f %11.1f %7.2f |\n", "sum", inputs.size(), totals[0], totals[1], totals[0] / totals[1]);
    return 0;
}
