// Where an image's pixels go, against PROJ's cct with the same IGN grid: the georeference
// fitted keeps every pixel centre within the tolerance of where PROJ puts it, and says so
// only then; images made by GDAL converted by talpor-lote, their pixels untouched.
#include <gdal.h>
#include <cpl_conv.h>
#include <gdal_alg.h>
#include <ogr_srs_api.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "rasters/Georeference.h"
#include "rasters/Rasters.h"
#include "support/Files.h"

namespace {

using rasters::RasterSystem;
using Datum = RasterSystem::Datum;

core::Grids& TestGrids() {
    static core::Grids grids(TALPOR_DATA_DIR, "");
    return grids;
}

// PROJ's ED50 UTM (International ellipsoid) to ETRS89 UTM (GRS80) through the grid.
std::vector<rasters::XY> Proj(const std::vector<rasters::XY>& points, int fromZone, int toZone) {
    std::ostringstream in;
    in.precision(12);
    for (const rasters::XY& p : points) in << p.x << " " << p.y << " 0 0\n";
    testing_support::TempFolder folder;
    const std::string file = (folder.path / "puntos.txt").string();
    testing_support::WriteFile(file, in.str());
    std::istringstream out(testing_support::Output(
        "cct -d 6 +proj=pipeline +step +inv +proj=utm +zone=" + std::to_string(fromZone) +
        " +ellps=intl +step +proj=hgridshift +grids=" TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif +step +proj=utm +zone=" +
        std::to_string(toZone) + " +ellps=GRS80 " + file));
    std::vector<rasters::XY> result;
    for (double x, y, z, t; out >> x >> y >> z >> t;) result.push_back({x, y});
    return result;
}

TEST(Georeference, APixelStaysWherePROJsGridPutsItOrTheImageIsResampled) {
    const struct Case {
        const char* what;
        int fromZone, toZone;
        std::int64_t width, height;
        double pixel, left, top;
        double tolerance;
        bool untouched, northUp;
    } cases[] = {
        // An orthophoto sheet of 5 x 4 km at 0,5 m over Madrid: the grid's shift hardly
        // changes across it, so the pixels stay and the image stays north-up.
        {"ortofoto", 30, 30, 10000, 8000, 0.5, 440000, 4478000, 0.25, true, true},
        // The same sheet in the next zone: turned by the meridians' convergence (4º), still untouched.
        {"ortofoto en el huso 31", 30, 31, 10000, 8000, 0.5, 440000, 4478000, 0.25, true, false},
        // An elevation model of a province, 200 km at 25 m.
        {"MDT provincial", 30, 30, 8000, 8000, 25, 380000, 4550000, 0.25, true, true},
        // Half the country at 1 m: the shift's changes are many pixels.
        {"media España a 1 m", 30, 30, 400000, 300000, 1, 250000, 4800000, 0.25, false, false},
        // Asked never to keep the pixels.
        {"tolerancia 0", 30, 30, 10000, 8000, 0.5, 440000, 4478000, 0, false, false},
    };
    std::mt19937 random(45);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const rasters::Affine from{{c.left, c.pixel, 0, c.top, 0, -c.pixel}};
        const rasters::PointMap map = rasters::MethodMap({Datum::ED50, c.fromZone}, {Datum::ETRS89, c.toZone},
                                                         core::ParameterSet::SPED2ETV2, TestGrids());
        const rasters::Move move = rasters::PlanMove(c.width, c.height, from, map, false, c.tolerance);
        EXPECT_EQ(move.untouched, c.untouched) << move.worstPixels << " px";
        EXPECT_EQ(move.affine.NorthUp(), c.northUp);
        EXPECT_EQ(move.outside, 0);
        EXPECT_NEAR(move.worstMetres, move.worstPixels * c.pixel, 0.01 * c.pixel);
        // Pixel centres: the corners, the middle and some at random, where the new
        // georeference puts them and where PROJ does.
        std::vector<std::pair<double, double>> centres{{0.5, 0.5},
                                                       {c.width - 0.5, 0.5},
                                                       {0.5, c.height - 0.5},
                                                       {c.width - 0.5, c.height - 0.5},
                                                       {c.width / 2.0, c.height / 2.0}};
        for (int i = 0; i < 20; ++i)
            centres.emplace_back(std::uniform_int_distribution<std::int64_t>(0, c.width - 1)(random) + 0.5,
                                 std::uniform_int_distribution<std::int64_t>(0, c.height - 1)(random) + 0.5);
        std::vector<rasters::XY> source;
        for (const auto& [col, row] : centres) source.push_back({from.X(col, row), from.Y(col, row)});
        const std::vector<rasters::XY> proj = Proj(source, c.fromZone, c.toZone);
        ASSERT_EQ(proj.size(), centres.size());
        double worst = 0;
        for (std::size_t i = 0; i < centres.size(); ++i) {
            const auto& [col, row] = centres[i];
            worst = std::max(worst, std::hypot(move.affine.X(col, row) - proj[i].x, move.affine.Y(col, row) - proj[i].y));
        }
        // What the plan measured is what PROJ finds (the grid read the same way, to a millimetre).
        EXPECT_LE(worst, move.worstMetres + 0.002);
        if (move.untouched) {
            EXPECT_LE(worst, c.tolerance * c.pixel);
        }
    }
}

// An image in degrees measures its pixels' distances on their parallel: a residual along
// it at 40º N is as many metres as geod gives that much longitude there.
TEST(Georeference, AnImageInDegreesMeasuresMetresOnItsParallel) {
    // 1.000 × 1.000 pixels of 0,00001º from 3,7º W, 40,01º N; the map bends the longitudes
    // by up to 0,000001º across the rows, which no affine georeference follows.
    const rasters::Affine from{{-3.7, 1e-5, 0, 40.01, 0, -1e-5}};
    const rasters::PointMap bend = [](double x, double y) {
        const double r = (40.01 - y) / 0.01;
        return std::optional<rasters::XY>(rasters::XY{x + 4e-6 * r * (1 - r), y});
    };
    const rasters::Move move = rasters::PlanMove(1000, 1000, from, bend, true);
    ASSERT_GT(move.worstPixels, 0.01);
    // geod +ellps=GRS80 -I: at 40,005º N, from 3,7º W to 3,699º W is 85,388 m.
    const double metresPerPixel = 85.388 / 0.001 * 1e-5;
    EXPECT_NEAR(move.worstMetres / move.worstPixels, metresPerPixel, metresPerPixel * 0.005);
}

// The exit status of the shell command `args` run in `dir`, the last command's output in
// salida.txt and its errors in errores.txt.
int Shell(const std::string& dir, const std::string& args) {
    const int status = std::system(("cd '" + dir + "' && " + args + " > salida.txt 2> errores.txt").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Image {
    int epsg = 0;
    double t[6]{};
    std::vector<int> checksums;
};

// An image as GDAL reads it: its system's EPSG code, its georeference, each band's checksum.
Image Read(const std::string& path) {
    GDALAllRegister();
    Image image;
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER, nullptr, nullptr, nullptr);
    if (ds == nullptr) return image;
    if (OGRSpatialReferenceH srs = GDALGetSpatialRef(ds); srs != nullptr) {
        if (OSRGetAuthorityCode(srs, nullptr) != nullptr) image.epsg = std::atoi(OSRGetAuthorityCode(srs, nullptr));
        // A .prj's ESRI text names no code: the one PROJ's database matches it to, sure.
        int found = 0;
        int* confidence = nullptr;
        OGRSpatialReferenceH* matches = image.epsg == 0 ? OSRFindMatches(srs, nullptr, &found, &confidence) : nullptr;
        if (found > 0 && confidence[0] >= 90 && OSRGetAuthorityCode(matches[0], nullptr) != nullptr)
            image.epsg = std::atoi(OSRGetAuthorityCode(matches[0], nullptr));
        if (matches != nullptr) OSRFreeSRSArray(matches);
        CPLFree(confidence);
    }
    GDALGetGeoTransform(ds, image.t);
    for (int b = 1; b <= GDALGetRasterCount(ds); ++b)
        image.checksums.push_back(GDALChecksumImage(GDALGetRasterBand(ds, b), 0, 0, GDALGetRasterXSize(ds), GDALGetRasterYSize(ds)));
    GDALClose(ds);
    return image;
}

// An ED50 orthophoto sheet as GDAL writes it, tiled and compressed, and as a JPEG with its
// world file, to ETRS89 with the grid: the same pixels, the system EPSG:25830, the corners
// where PROJ puts them; resampled when asked, as gdalwarp does with the same grid; a
// JPEG the shift exceeds the tolerance of, and a world file already there, leave nothing.
TEST(Rasters, AnOrthophotoKeepsItsPixelsAndMovesWherePROJsGridPutsIt) {
    testing_support::TempFolder folder;
    const std::string dir = folder.path.string();
    const auto run = [&](const std::string& args) { return Shell(dir, args); };
    // Three bands of varied pixels, so that a pixel moved or changed shows in the checksums.
    std::string pixels(std::size_t{3} * 1000 * 800, '\0');
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>((i * 7 + i / 1000 * 13 + i / 800000 * 50) % 251);
    testing_support::WriteFile(folder.path / "orto.raw", pixels);
    testing_support::WriteFile(folder.path / "orto.hdr", "ENVI\nsamples = 1000\nlines = 800\nbands = 3\nheader offset = 0\n"
                                                          "file type = ENVI Standard\ndata type = 1\ninterleave = bsq\nbyte order = 0\n");
    ASSERT_EQ(run("gdal_translate -q -of GTiff -co TILED=YES -co COMPRESS=DEFLATE -a_srs EPSG:23030 "
                  "-a_ullr 440000 4478000 440500 4477600 orto.raw orto.tif && "
                  "gdal_translate -q -of JPEG -co WORLDFILE=YES orto.tif orto.jpg"),
              0);
    // The sheet as it is, as a JPEG with its .wld, as a PNG with its .pgw, and into the next
    // zone, which turns it by the meridians' convergence.
    ASSERT_EQ(run("gdal_translate -q -of PNG orto.tif orto.png && cp orto.wld orto.pgw"), 0);
    const struct {
        std::string name, options;
        int zone;
        const char* said;
    } sheets[] = {{"orto.tif", "", 30, "georreferencia movida (a lo sumo"},
                  {"orto.jpg", "", 30, "georreferencia movida (a lo sumo"},
                  {"orto.png", "", 30, "«etrs89-30-png.pgw»"},
                  {"orto.tif", "--huso=31 ", 31, "georreferencia movida y girada"}};
    for (const auto& sheet : sheets) {
        const std::string& name = sheet.name;
        SCOPED_TRACE(sheet.options + name);
        const std::string ext = name.substr(name.find('.'));  // each its own stem: its own .prj
        const std::string out = "etrs89-" + std::to_string(sheet.zone) + "-" + ext.substr(1) + ext;
        ASSERT_EQ(run(TALPOR_LOTE " -s ed50-wgs84 -m rejilla " + sheet.options + name + " " + out), 0)
            << testing_support::ReadFile(folder.path / "errores.txt");
        const std::string said = testing_support::ReadFile(folder.path / "errores.txt");
        EXPECT_TRUE(said.find("píxeles intactos") != std::string::npos && said.find(sheet.said) != std::string::npos) << said;
        const Image in = Read(dir + "/" + name), moved = Read(dir + "/" + out);
        EXPECT_EQ(moved.epsg, 25800 + sheet.zone);
        EXPECT_EQ(moved.checksums, in.checksums);
        if (!name.ends_with(".tif")) {
            EXPECT_EQ(testing_support::ReadFile(folder.path / out), testing_support::ReadFile(folder.path / name));
        }
        // The corners' centres where PROJ puts them, within a quarter of a 0,5 m pixel.
        std::vector<rasters::XY> corners, movedCorners;
        for (const auto& [c, r] : {std::pair{0.5, 0.5}, {999.5, 0.5}, {0.5, 799.5}, {999.5, 799.5}}) {
            corners.push_back({in.t[0] + c * in.t[1] + r * in.t[2], in.t[3] + c * in.t[4] + r * in.t[5]});
            movedCorners.push_back({moved.t[0] + c * moved.t[1] + r * moved.t[2], moved.t[3] + c * moved.t[4] + r * moved.t[5]});
        }
        const std::vector<rasters::XY> proj = Proj(corners, 30, sheet.zone);
        ASSERT_EQ(proj.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_LT(std::hypot(movedCorners[i].x - proj[i].x, movedCorners[i].y - proj[i].y), 0.125) << i;
    }
    // Asked never to keep the pixels: resampled as gdalwarp does with the same grid through
    // PROJ, pixel for pixel, there and back.
    ASSERT_EQ(run(TALPOR_LOTE " -s ed50-wgs84 -m rejilla --tolerancia=0 orto.tif remuestreada.tif"), 0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("remuestreada por el método (cúbica)"), std::string::npos);
    ASSERT_EQ(run("gdalwarp -q -ct '+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step +proj=hgridshift "
                  "+grids=" TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif +step +proj=utm +zone=30 +ellps=GRS80' -t_srs EPSG:25830 "
                  "-tr 0.5 0.5 -r cubic -co TILED=YES -co COMPRESS=DEFLATE -multi -wo NUM_THREADS=2 -wm 256 orto.tif gdalwarp.tif"),
              0);
    const Image resampled = Read(dir + "/remuestreada.tif"), warped = Read(dir + "/gdalwarp.tif");
    EXPECT_EQ(resampled.epsg, 25830);
    EXPECT_EQ(resampled.checksums, warped.checksums);
    EXPECT_NE(resampled.checksums, Read(dir + "/orto.tif").checksums);
    // The core's ETRS89 UTM is on WGS84's ellipsoid, a tenth of a millimetre from GRS80's.
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(resampled.t[i], warped.t[i], 1e-3) << i;
    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla --tolerancia=0 remuestreada.tif vuelta.tif && gdalwarp -q -ct '+proj=pipeline "
                  "+step +inv +proj=utm +zone=30 +ellps=GRS80 +step +inv +proj=hgridshift +grids=" TALPOR_DATA_DIR
                  "/es_ign_SPED2ETV2.tif +step +proj=utm +zone=30 +ellps=intl' -t_srs EPSG:23030 -tr 0.5 0.5 -r cubic -co TILED=YES "
                  "-co COMPRESS=DEFLATE -multi -wo NUM_THREADS=2 -wm 256 remuestreada.tif gdalwarp-vuelta.tif"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_EQ(Read(dir + "/vuelta.tif").checksums, Read(dir + "/gdalwarp-vuelta.tif").checksums);
    EXPECT_EQ(Read(dir + "/vuelta.tif").epsg, 23030);

    // An ED50 elevation model as an ASCII grid: its header moved, its heights as they were,
    // each on its own ground point where PROJ puts it.
    std::string grid = "ncols 60\nnrows 40\nxllcorner 440000\nyllcorner 4470000\ncellsize 25\nNODATA_value -9999\n";
    for (int row = 0; row < 40; ++row)
        for (int col = 0; col < 60; ++col) grid += std::to_string(600 + (row * 37 + col * 11) % 300) + ".25" + (col == 59 ? "\n" : " ");
    testing_support::WriteFile(folder.path / "mdt.asc", grid);
    ASSERT_EQ(run("gdalsrsinfo --single-line -o wkt_esri EPSG:23030 | sed '/^$/d' > mdt.prj && " TALPOR_LOTE
                  " -m rejilla mdt.asc mdt-etrs89.asc"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    const std::string moved = testing_support::ReadFile(folder.path / "mdt-etrs89.asc");
    EXPECT_EQ(moved.substr(moved.find("NODATA")), grid.substr(grid.find("NODATA")));
    const Image mdt = Read(dir + "/mdt-etrs89.asc");
    EXPECT_EQ(mdt.epsg, 25830);
    const std::vector<rasters::XY> corner = Proj({{440012.5, 4470987.5}}, 30, 30);
    ASSERT_EQ(corner.size(), 1u);
    EXPECT_LT(std::hypot(mdt.t[0] + 0.5 * mdt.t[1] - corner[0].x, mdt.t[3] + 0.5 * mdt.t[5] - corner[0].y), 25 / 4.0);

    // A project's folder: each image beside the others, with its world file.
    ASSERT_EQ(run("mkdir -p proyecto/fotos && cp orto.tif orto.jpg orto.wld orto.jpg.aux.xml proyecto/fotos/"), 0);
    ASSERT_EQ(run(TALPOR_LOTE " -s ed50-wgs84 -m rejilla proyecto etrs89"), 0) << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("2 ficheros convertidos, 0 con errores, 0 rechazados"),
              std::string::npos);
    for (const std::string name : {"orto.tif", "orto.jpg", "orto.wld", "orto.prj", "orto.jpg.aux.xml"})
        EXPECT_TRUE(std::filesystem::exists(folder.path / "etrs89/fotos" / name)) << name;
    EXPECT_EQ(Read(dir + "/etrs89/fotos/orto.jpg").epsg, 25830);

    // Nothing partial: refused, the destination and its world file never appear.
    EXPECT_EQ(run("gdal_translate -q -a_srs EPSG:3857 orto.jpg web.jpg && " TALPOR_LOTE " -m rejilla web.jpg otra.jpg"), 2);
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("«WGS 84 / Pseudo-Mercator», que Talpor no convierte"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder.path / "otra.jpg") || std::filesystem::exists(folder.path / "otra.wld"));
    testing_support::WriteFile(folder.path / "otra.wld", "mío\n");
    EXPECT_EQ(run(TALPOR_LOTE " -m rejilla orto.jpg otra.jpg"), 2);
    EXPECT_EQ(testing_support::ReadFile(folder.path / "otra.wld"), "mío\n");
    EXPECT_FALSE(std::filesystem::exists(folder.path / "otra.jpg"));
}

// What an image conversion reads is the image and its own files, and what it writes is
// never one of them: a VRT that points at a secret (as raw pixels, through /proc) or a
// sidecar linked out of the image's folder leaves no byte of it anywhere; a FIFO as the
// image, beside it or as the destination is refused at once; a damaged image (cut short,
// a header larger than its file) is refused, not converted with blanks; each in a Spanish
// sentence, GDAL's words only after it in parentheses.
TEST(Rasters, AnImageReadsNothingButItselfAndRefusesWhatIsDamaged) {
    testing_support::TempFolder folder;
    const std::string dir = folder.path.string();
    const auto run = [&](const std::string& args) { return Shell(dir, args); };
    const std::string secret = "CLAVE-SECRETA-0123456789-abcdefghijklmnopqrstuvwxyz";
    testing_support::WriteFile(folder.path / "secreto.txt", secret);
    std::string pixels(std::size_t{3} * 400 * 300, '\0');
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>((i * 7 + i / 400 * 13) % 251);
    testing_support::WriteFile(folder.path / "orto.raw", pixels);
    testing_support::WriteFile(folder.path / "orto.hdr", "ENVI\nsamples = 400\nlines = 300\nbands = 3\nheader offset = 0\n"
                                                          "file type = ENVI Standard\ndata type = 1\ninterleave = bsq\nbyte order = 0\n");
    const std::string band = "<VRTDataset rasterXSize=\"8\" rasterYSize=\"4\"><SRS>EPSG:23030</SRS><GeoTransform>440000,1,0,"
                             "4478000,0,-1</GeoTransform><VRTRasterBand dataType=\"Byte\" band=\"1\"";
    testing_support::WriteFile(folder.path / "crudo.vrt", band + " subClass=\"VRTRawRasterBand\"><SourceFilename relativeToVRT=\"1\">"
                                                          "secreto.txt</SourceFilename></VRTRasterBand></VRTDataset>");
    // A VRT of 100.000² pixels whose one source is the orthophoto.
    testing_support::WriteFile(folder.path / "vasto.vrt", "<VRTDataset rasterXSize=\"100000\" rasterYSize=\"100000\"><SRS>EPSG:23030"
                                                          "</SRS><GeoTransform>440000,1,0,4478000,0,-1</GeoTransform><VRTRasterBand "
                                                          "dataType=\"Byte\" band=\"1\"><SimpleSource><SourceFilename relativeToVRT="
                                                          "\"1\">orto.tif</SourceFilename><SourceBand>1</SourceBand></SimpleSource>"
                                                          "</VRTRasterBand></VRTDataset>");
    testing_support::WriteFile(folder.path / "proc.vrt", band + "><SimpleSource><SourceFilename>/proc/self/environ</SourceFilename>"
                                                         "</SimpleSource></VRTRasterBand></VRTDataset>");
    // A planetary data label named as a GeoTIFF, whose pixels are the secret.
    testing_support::WriteFile(folder.path / "etiqueta.tif", "PDS_VERSION_ID = PDS3\r\nRECORD_TYPE = FIXED_LENGTH\r\nRECORD_BYTES = 8\r\n"
                                                              "^IMAGE = (\"secreto.txt\", 1)\r\nOBJECT = IMAGE\r\nLINES = 4\r\n"
                                                              "LINE_SAMPLES = 8\r\nSAMPLE_TYPE = UNSIGNED_INTEGER\r\nSAMPLE_BITS = 8\r\n"
                                                              "END_OBJECT = IMAGE\r\nEND\r\n");
    // A JPEG's first kilobyte, its frame header saying 65.500 × 65.500 pixels.
    testing_support::WriteFile(folder.path / "grande.py", "b = bytearray(open('orto.jpg', 'rb').read(1024))\ni = b.find(b'\\xff\\xc0')\n"
                                                          "b[i + 5:i + 9] = bytes([255, 220, 255, 220])\nopen('grande.jpg', 'wb').write(b)\n");
    // A GeoTIFF whose header says 2.147.483.647 rows, and one whose tiles are 16.777.216 pixels wide.
    testing_support::WriteFile(folder.path / "miente.py", "b = open('orto.tif', 'rb').read()\n"
                                                          "for name, tag, value in (('alto.tif', 1, 2**31 - 1), ('tesela.tif', 66, 2**24)):\n"
                                                          "    c = bytearray(b)\n    i = c.find(bytes([tag, 1, 3, 0, 1, 0, 0, 0]))\n"
                                                          "    c[i + 2:i + 4] = bytes([4, 0])\n    c[i + 8:i + 12] = value.to_bytes(4, 'little')\n"
                                                          "    open(name, 'wb').write(c)\n"
                                                          // A strip GeoTIFF whose RowsPerStrip says twice its strips' rows.
                                                          "c = bytearray(open('plano.tif', 'rb').read())\n"
                                                          "i = max(c.find(bytes([22, 1, 3, 0, 1, 0, 0, 0])), c.find(bytes([22, 1, 4, 0, 1, 0, 0, 0])))\n"
                                                          "c[i + 8:i + 10] = (2 * int.from_bytes(c[i + 8:i + 10], 'little')).to_bytes(2, 'little')\n"
                                                          "open('filas.tif', 'wb').write(c)\n");
    ASSERT_EQ(run("gdal_translate -q -co TILED=YES -co COMPRESS=DEFLATE -a_srs EPSG:23030 -a_ullr 440000 4478000 440200 4477850 "
                  "orto.raw orto.tif && cp orto.tif nulo.tif && printf '<PAMDataset><PAMRasterBand band=\"1\">"
                  "<NoDataValue>nan</NoDataValue></PAMRasterBand></PAMDataset>' > nulo.tif.aux.xml && "
                  "gdal_translate -q -of JPEG -co WORLDFILE=YES orto.tif orto.jpg && "
                  "gdal_translate -q -co PROFILE=BASELINE -co TFW=YES orto.tif plano.tif && rm plano.tif.aux.xml && "
                  "(printf '\\357\\273\\277'; gdalsrsinfo -o wkt_esri EPSG:23030) > plano.prj && python3 miente.py && cp plano.tfw filas.tfw && cp plano.prj filas.prj && "
                  "mkdir fotos && cp orto.jpg orto.wld orto.jpg.aux.xml fotos/ && ln -s ../secreto.txt fotos/orto.jpg.ovr && "
                  "for f in medio grande tubo; do cp orto.wld $f.wld; cp orto.jpg.aux.xml $f.jpg.aux.xml; done && "
                  "head -c 9000 orto.jpg > medio.jpg && python3 grande.py && "
                  "head -c $(($(stat -c %s orto.tif) / 2)) orto.tif > corto.tif && cp plano.prj cola.prj && cp plano.tfw cola.tfw && "
                  "head -c $(($(stat -c %s plano.tif) - 100)) plano.tif > cola.tif && cp orto.tif dano.tif && printf '%064d' 0 | "
                  "dd of=dano.tif bs=1 seek=5000 conv=notrunc 2>&1 && gdal_translate -q -outsize 1 1 orto.tif uno.tif && mkfifo tubo.jpg tubo.tif && cp orto.jpg junto.jpg && mkfifo junto.wld && "
                  "ln -s /dev/stdout salida.tif && gdal_translate -q -of VRT orto.tif falta.vrt && sed -i 's/orto.tif/no.tif/' falta.vrt"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    const std::string read = "no se puede leer como imagen: ", ours = " de la entrada: elija otro nombre para el destino";
    const struct {
        std::string args, said;
    } cases[] = {
        {"crudo.vrt c.tif", read + "su fuente «secreto.txt» no es un fichero de imagen (GeoTIFF, JPEG, PNG, JPEG 2000, Imagine, ENVI, malla o VRT)"},
        {"proc.vrt p.tif", read + "su fuente «/proc/self/environ» no es un fichero de imagen"},
        {"fotos/orto.jpg f.jpg", read + "«orto.jpg.ovr», junto a la imagen, es un enlace a un fichero de otra carpeta"},
        {"--reemplazar orto.jpg orto.jpeg", "«orto.wld» es el fichero de georreferencia" + ours},
        {"--reemplazar plano.tif plano.tiff", "«plano.prj» es el fichero del sistema" + ours},
        {"orto.tif tubo.tif", "«tubo.tif» es una tubería (FIFO), no un fichero: una imagen se escribe en un fichero normal"},
        {"orto.tif salida.tif", "«salida.tif» lleva a «/dev/stdout», no a un fichero"},
        {"tubo.jpg t.tif", read + "«tubo.jpg» es una tubería (FIFO), no un fichero"},
        {"junto.jpg j.jpg", read + "«junto.wld», junto a la imagen, es una tubería (FIFO), no un fichero"},
        {"medio.jpg m.jpg", read + "sus píxeles están dañados o incompletos (libjpeg: Premature end of JPEG file)"},
        {"grande.jpg g.tif", read + "dice tener 65.500 × 65.500 píxeles, que no caben en sus 1.024 bytes"},
        {"corto.tif c.tif", read + "el fichero acaba antes que sus píxeles: está cortado o dañado"},
        {"cola.tif c.tif", read + "el fichero acaba antes que sus píxeles"},
        {"alto.tif a.tif", read + "el fichero acaba antes que sus píxeles"},
        {"tesela.tif t.tif", read + "el fichero acaba antes que sus píxeles"},
        {"filas.tif f.tif", read + "el fichero acaba antes que sus píxeles"},
        {"vasto.vrt v.png", read + "dice tener 100.000 × 100.000 píxeles, que no caben en los "},
        {"nulo.tif n.jpg", "un JPEG no guarda exactamente el valor de «sin datos» (nan) de la imagen"},
        {"etiqueta.tif e.tif", read + "GDAL no la reconoce como imagen"},
        {"dano.tif d.tif", read + "sus píxeles están dañados o incompletos (ZIPDecode:Decoding error"},
        {"uno.tif u.tif", "la imagen tiene 1 × 1 píxeles, muy pocos para llevar su georreferencia al otro sistema"},
        {"falta.vrt f.tif", read + "su fuente «no.tif» no existe"},
        {"ninguna.tif n.tif", read + "«ninguna.tif»: no existe"},
        {"--remuestrear orto.tif lleno.tif", "no se puede escribir «lleno.tif»: no queda espacio ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(run((c.args.starts_with("--rem") ? "ulimit -f 4; " : "") + std::string(TALPOR_LOTE " -m rejilla ") + c.args), 2);
        EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find(c.said), std::string::npos)
            << testing_support::ReadFile(folder.path / "errores.txt");
    }
    // A .prj as gdalsrsinfo writes it, a blank line first, and with a byte-order mark.
    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla plano.tif plano-etrs89.tif"), 0) << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_EQ(Read(dir + "/plano-etrs89.tif").epsg, 25830);
    EXPECT_EQ(Read(dir + "/orto.jpg").epsg, 23030);  // its world file and .aux.xml untouched
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path)) {
        if (!entry.is_regular_file() || entry.is_symlink() || entry.path().filename() == "secreto.txt") continue;
        EXPECT_EQ(testing_support::ReadFile(entry.path()).find(secret), std::string::npos) << entry.path();
    }
}

}  // namespace

namespace {

// A GeoTIFF made through GDAL's API: `bands` bands of `type` filled by `value`, in ED50
// UTM 30 from (440000, 4478000) with square pixels of `pixel` metres.
void Make(const std::string& path, int width, int height, int bands, GDALDataType type, double pixel,
          const std::vector<std::string>& options, const std::function<double(int band, int col, int row)>& value) {
    GDALAllRegister();
    std::vector<const char*> list;
    for (const std::string& o : options) list.push_back(o.c_str());
    list.push_back(nullptr);
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), width, height, bands, type,
                                 const_cast<char**>(list.data()));
    ASSERT_NE(ds, nullptr);
    double t[6] = {440000, pixel, 0, 4478000, 0, -pixel};
    GDALSetGeoTransform(ds, t);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 23030);
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
    std::vector<double> row(static_cast<std::size_t>(width));
    for (int b = 1; b <= bands; ++b)
        for (int r = 0; r < height; ++r) {
            for (int c = 0; c < width; ++c) row[static_cast<std::size_t>(c)] = value(b, c, r);
            ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, b), GF_Write, 0, r, width, 1, row.data(), width, 1, GDT_Float64, 0, 0),
                      CE_None);
        }
    GDALClose(ds);
}

}  // namespace

// What an image holds besides its pixels comes through a resampling as gdalwarp keeps it,
// with the method's pipeline: a land-use map's palette (nearest), its classes' names and
// overviews; an elevation model's nodata and type (bilinear, a float predictor); a
// photograph's JPEG compression. A VRT and a cloud-optimised GeoTIFF keep their pixels.
TEST(Rasters, AMapsPaletteAndAnElevationModelsNodataComeThrough) {
    testing_support::TempFolder folder;
    const std::string dir = folder.path.string();
    const auto run = [&](const std::string& args) { return Shell(dir, args); };
    const std::string usos = dir + "/usos.tif", mdt = dir + "/mdt.tif", foto = dir + "/foto.tif";
    Make(usos, 600, 400, 1, GDT_Byte, 2, {"TILED=YES"}, [](int, int c, int r) { return (c / 37 + r / 23) % 8; });
    {
        GDALDatasetH ds = GDALOpen(usos.c_str(), GA_Update);
        GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
        for (int i = 0; i < 8; ++i) {
            const GDALColorEntry e{static_cast<short>(30 * i), static_cast<short>(200 - 20 * i), 90, 255};
            GDALSetColorEntry(table, i, &e);
        }
        GDALSetRasterColorTable(GDALGetRasterBand(ds, 1), table);
        GDALSetDescription(GDALGetRasterBand(ds, 1), "usos del suelo");
        const char* names[] = {"agua", "urbano", "cultivo", "pasto", "matorral", "pinar", "encinar", "roca", nullptr};
        GDALSetRasterCategoryNames(GDALGetRasterBand(ds, 1), const_cast<char**>(names));
        GDALSetMetadataItem(GDALGetRasterBand(ds, 1), "LEYENDA", "SIOSE", nullptr);
        GDALSetMetadataItem(ds, "FUENTE", "Mapa forestal", nullptr);
        const int steps[] = {2, 4};
        EXPECT_EQ(GDALBuildOverviews(ds, "NEAREST", 2, steps, 0, nullptr, nullptr, nullptr), CE_None);
        GDALDestroyColorTable(table);
        GDALClose(ds);
    }
    Make(mdt, 500, 400, 1, GDT_Float32, 5, {"TILED=YES"}, [](int, int c, int r) {
        return c < 40 && r < 30 ? -9999 : 600 + 80 * std::sin(c / 50.0) * std::cos(r / 70.0);
    });
    {
        GDALDatasetH ds = GDALOpen(mdt.c_str(), GA_Update);
        GDALSetRasterNoDataValue(GDALGetRasterBand(ds, 1), -9999);
        GDALClose(ds);
    }
    Make(foto, 512, 512, 3, GDT_Byte, 0.5, {"TILED=YES", "COMPRESS=JPEG", "PHOTOMETRIC=YCBCR", "JPEG_QUALITY=85"},
         [](int b, int c, int r) { return (c * 3 + r * 5 + b * 40) % 256; });

    const std::string pipeline = "-ct '+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step +proj=hgridshift "
                                 "+grids=" TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif +step +proj=utm +zone=30 +ellps=GRS80' "
                                 "-t_srs EPSG:25830 -multi -wo NUM_THREADS=2 ";
    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla --remuestrear usos.tif usos-etrs89.tif"), 0) << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("(vecino más próximo)"), std::string::npos);
    ASSERT_EQ(run("gdalwarp -q " + pipeline + "-tr 2 2 -r near usos.tif usos-gdalwarp.tif"), 0);
    EXPECT_EQ(Read(dir + "/usos-etrs89.tif").checksums, Read(dir + "/usos-gdalwarp.tif").checksums);
    {
        GDALDatasetH ds = GDALOpen((dir + "/usos-etrs89.tif").c_str(), GA_ReadOnly);
        ASSERT_NE(ds, nullptr);
        GDALRasterBandH band = GDALGetRasterBand(ds, 1);
        GDALColorTableH table = GDALGetRasterColorTable(band);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(GDALGetColorEntry(table, 5)->c1, 150);
        EXPECT_EQ(GDALGetColorEntry(table, 5)->c2, 100);
        EXPECT_STREQ(GDALGetDescription(band), "usos del suelo");
        ASSERT_NE(GDALGetRasterCategoryNames(band), nullptr);
        EXPECT_STREQ(GDALGetRasterCategoryNames(band)[5], "pinar");
        EXPECT_STREQ(GDALGetMetadataItem(band, "LEYENDA", nullptr), "SIOSE");
        EXPECT_STREQ(GDALGetMetadataItem(ds, "FUENTE", nullptr), "Mapa forestal");
        EXPECT_EQ(GDALGetOverviewCount(band), 2);
        GDALClose(ds);
    }

    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla --remuestrear mdt.tif mdt-etrs89.tif"), 0) << testing_support::ReadFile(folder.path / "errores.txt");
    const std::string summary = testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_NE(summary.find("(bilineal)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("sus valores no cambian"), std::string::npos) << summary;
    ASSERT_EQ(run("gdalwarp -q " + pipeline + "-tr 5 5 -r bilinear mdt.tif mdt-gdalwarp.tif"), 0);
    EXPECT_EQ(Read(dir + "/mdt-etrs89.tif").checksums, Read(dir + "/mdt-gdalwarp.tif").checksums);
    {
        GDALDatasetH ds = GDALOpen((dir + "/mdt-etrs89.tif").c_str(), GA_ReadOnly);
        ASSERT_NE(ds, nullptr);
        int has = 0;
        EXPECT_EQ(GDALGetRasterNoDataValue(GDALGetRasterBand(ds, 1), &has), -9999);
        EXPECT_TRUE(has);
        EXPECT_EQ(GDALGetRasterDataType(GDALGetRasterBand(ds, 1)), GDT_Float32);
        EXPECT_STREQ(GDALGetMetadataItem(ds, "PREDICTOR", "IMAGE_STRUCTURE"), "3");
        GDALClose(ds);
    }

    // Another resampling, chosen: the mean of the cells each new one covers.
    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla --remuestrear --remuestreo=media mdt.tif mdt-media.tif"), 0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("(media)"), std::string::npos);
    ASSERT_EQ(run("gdalwarp -q " + pipeline + "-tr 5 5 -r average mdt.tif mdt-average.tif"), 0);
    EXPECT_EQ(Read(dir + "/mdt-media.tif").checksums, Read(dir + "/mdt-average.tif").checksums);

    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla --remuestrear foto.tif foto-etrs89.tif"), 0) << testing_support::ReadFile(folder.path / "errores.txt");
    {
        GDALDatasetH ds = GDALOpen((dir + "/foto-etrs89.tif").c_str(), GA_ReadOnly);
        ASSERT_NE(ds, nullptr);
        EXPECT_STREQ(GDALGetMetadataItem(ds, "COMPRESSION", "IMAGE_STRUCTURE"), "YCbCr JPEG");
        EXPECT_STREQ(GDALGetMetadataItem(ds, "JPEG_QUALITY", "IMAGE_STRUCTURE"), "85");
        GDALClose(ds);
    }
    // Its pixels untouched but JPEG-compressed again: said so, at the input's quality.
    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla --formato=cog foto.tif foto-cog.tif"), 0) << testing_support::ReadFile(folder.path / "errores.txt");
    const std::string recoded = testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_TRUE(recoded.find("píxeles intactos") == std::string::npos && recoded.find("con pérdida") != std::string::npos &&
                recoded.find("calidad 85") != std::string::npos) << recoded;
    EXPECT_NE(testing_support::Output("gdalinfo '" + dir + "/foto-cog.tif'").find("JPEG_QUALITY=85"), std::string::npos);
    // A JPEG file's quality, which GDAL does not tell, kept too.
    ASSERT_EQ(run("gdal_translate -q -of JPEG -co QUALITY=90 -co WORLDFILE=YES foto.tif foto90.jpg && " TALPOR_LOTE
                  " -m rejilla --remuestrear foto90.jpg foto90-etrs89.jpg"),
              0);
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("comprimida en JPEG de calidad 90"), std::string::npos);
    // A JPEG's statistics are its own, not the input's.
    ASSERT_EQ(run("gdalinfo -stats foto.tif > /dev/null && " TALPOR_LOTE " -m rejilla foto.tif foto.jpg"), 0);
    EXPECT_EQ(testing_support::ReadFile(folder.path / "foto.jpg.aux.xml").find("STATISTICS_"), std::string::npos);

    // No format loses what it cannot hold: refused, nothing written.
    for (const char* refused : {"mdt.png", "mdt.jpg", "usos.jpg"}) {
        EXPECT_EQ(run(std::string(TALPOR_LOTE " -m rejilla ") + (refused[0] == 'm' ? "mdt.tif " : "usos.tif ") + refused), 2);
        EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find(refused[0] == 'u' ? "paleta" : "alturas Float32: GeoTIFF o malla ASCII sí"),
                  std::string::npos) << refused;
        EXPECT_FALSE(std::filesystem::exists(folder.path / refused));
    }
    EXPECT_EQ(run(TALPOR_LOTE " -m rejilla --formato=cog mdt.tif mdt-cog.asc"), 2);

    // A VRT's pixels into a GeoTIFF, an elevation model into a cloud-optimised one, untouched.
    ASSERT_EQ(run("gdal_translate -q -of VRT usos.tif usos.vrt && " TALPOR_LOTE " -m rejilla usos.vrt usos-vrt.tif && " TALPOR_LOTE
                  " -m rejilla --formato=cog mdt.tif mdt-cog.tif"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_EQ(Read(dir + "/usos-vrt.tif").checksums, Read(usos).checksums);
    EXPECT_EQ(Read(dir + "/usos-vrt.tif").epsg, 25830);
    EXPECT_EQ(Read(dir + "/mdt-cog.tif").checksums, Read(mdt).checksums);
    EXPECT_NE(testing_support::Output("gdalinfo '" + dir + "/mdt-cog.tif'").find("LAYOUT=COG"), std::string::npos);
    // A COG back to ED50 stays one, as GDAL's validator checks it; a VRT into an ASCII grid is one.
    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla mdt-cog.tif mdt-cog-ed50.tif && " TALPOR_LOTE " -m rejilla usos.vrt usos-vrt.asc"), 0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_EQ(run("/usr/bin/python3 -c 'from osgeo_utils.samples.validate_cloud_optimized_geotiff import validate as v; "
                  "assert not v(\"mdt-cog-ed50.tif\")[1]'"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_EQ(Read(dir + "/mdt-cog-ed50.tif").checksums, Read(mdt).checksums);
    EXPECT_EQ(testing_support::ReadFile(folder.path / "usos-vrt.asc").rfind("ncols", 0), 0u);
    // A plain TIFF with its .tfw and its system in a .prj, which GDAL does not read for it.
    ASSERT_EQ(run("gdal_translate -q -co PROFILE=BASELINE -co TFW=YES mdt.tif plano.tif && rm plano.tif.aux.xml && "
                  "gdalsrsinfo -o wkt_esri EPSG:23030 | sed '/^$/d' > plano.prj && " TALPOR_LOTE " -m rejilla plano.tif "
                  "plano-etrs89.tif"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_EQ(Read(dir + "/plano-etrs89.tif").checksums, Read(mdt).checksums);
    EXPECT_EQ(Read(dir + "/plano-etrs89.tif").epsg, 25830);
    EXPECT_TRUE(std::filesystem::exists(folder.path / "plano-etrs89.tfw"));

    // Molodensky resamples UTM as EPSG's geocentric translation does (NIMA's, EPSG:1145);
    // Helmert names its set.
    ASSERT_EQ(run(TALPOR_LOTE " -m molodensky-nima --remuestrear --remuestreo=vecino mdt.tif mdt-nima.tif && gdalwarp -q -ct "
                  "'+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step +proj=cart +ellps=intl +step +proj=helmert "
                  "+x=-84 +y=-107 +z=-120 +step +inv +proj=cart +ellps=WGS84 +step +proj=utm +zone=30 +ellps=WGS84' "
                  "-t_srs EPSG:32630 -tr 5 5 -r near mdt.tif mdt-1145.tif"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    const Image nima = Read(dir + "/mdt-nima.tif"), epsg1145 = Read(dir + "/mdt-1145.tif");
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(nima.t[i], epsg1145.t[i], 0.01) << i;
    EXPECT_EQ(nima.checksums, epsg1145.checksums);
    ASSERT_EQ(run(TALPOR_LOTE " -m helmert mdt.tif mdt-helmert.tif"), 0);
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("con el juego EST99"), std::string::npos);

    // A damaged overview (10⁶ pixels wide beside 500) and complex values do not stop a resampling.
    ASSERT_EQ(run("gdal_create -q -of GTiff -outsize 1000000 8 -ot Byte mdt.tif.ovr && "
                  "gdal_create -q -outsize 96 80 -ot CInt16 -burn 3 -a_srs EPSG:23030 -a_ullr 440000 4478000 442400 4476000 "
                  "complejo.tif && " TALPOR_LOTE " -m rejilla --remuestrear mdt.tif mdt-ovr.tif && " TALPOR_LOTE
                  " -m rejilla --remuestrear complejo.tif complejo-etrs89.tif"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
}

// The other formats GDAL reads, each made by gdal_translate from an ED50 sheet and its
// elevation model, converted toward ETRS89 with the grid: the system EPSG:25830 as GDAL
// reads it back, the corners where PROJ puts them, every band's checksum the input's (a
// JPEG 2000 with loss written again at its own quality), each told by its content; their
// labels and sidecars go with them in a folder, not as files of their own. ECW and MrSID
// are refused with what to do.
TEST(Rasters, EachFormatGdalReadsKeepsItsPixelsAndMovesWherePROJsGridPutsIt) {
    testing_support::TempFolder folder;
    const std::string dir = folder.path.string();
    const auto run = [&](const std::string& args) { return Shell(dir, args); };
    Make(dir + "/orto.tif", 400, 300, 3, GDT_Byte, 0.5, {}, [](int b, int c, int r) { return (c * 7 + r * 13 + b * 50) % 251; });
    Make(dir + "/mdt.tif", 60, 40, 1, GDT_Float32, 25, {}, [](int, int c, int r) { return 600 + c * 1.25 + r * 0.5; });
    ASSERT_EQ(run("gdal_translate -q -of JP2OpenJPEG -co REVERSIBLE=YES -co QUALITY=100 orto.tif sin.jp2 && gdal_translate -q "
                  "-of JP2OpenJPEG -co QUALITY=10 orto.tif con.jp2 && gdal_translate -q -of HFA orto.tif orto.img && "
                  "gdal_translate -q -of ENVI orto.tif envi.dat && gdal_translate -q -of EHdr mdt.tif mdt.bil && "
                  "gdal_translate -q -of XYZ mdt.tif mdt.xyz && /usr/bin/python3 -c 'from osgeo import gdal, osr; s = osr.SpatialReference(); "
                  "s.ImportFromEPSG(23030); gdal.Open(\"mdt.xyz\").SetSpatialRef(s)' && "
                  "gdal_translate -q -of GPKG orto.tif teselas.gpkg && cp teselas.gpkg mixto.gpkg && "
                  "echo '{\"type\":\"Point\",\"coordinates\":[440000,4478000]}' > punto.json && "
                  "ogr2ogr -update -a_srs EPSG:23030 -nln puntos mixto.gpkg punto.json"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    const struct {
        std::string in, out, format, said;
        bool same;  // the same pixels
    } cases[] = {
        {"sin.jp2", "sin-etrs89.jp2", "JP2OpenJPEG", "píxeles intactos, escritos de nuevo en JPEG 2000", true},
        {"con.jp2", "con-etrs89.jp2", "JP2OpenJPEG", "escritos de nuevo con pérdida en JPEG 2000 de calidad 10", false},
        {"orto.img", "orto-etrs89.img", "HFA", "píxeles intactos, georreferencia movida", true},
        {"envi.dat", "envi-etrs89.dat", "ENVI", "«envi-etrs89.hdr»", true},
        {"mdt.bil", "mdt-etrs89.bil", "EHdr", "«mdt-etrs89.hdr», «mdt-etrs89.prj»", true},
        {"mdt.xyz", "mdt-etrs89.xyz", "XYZ", "píxeles intactos, escritos de nuevo en malla XYZ", true},
        {"teselas.gpkg", "teselas.tif", "GPKG", "píxeles intactos, escritos de nuevo en GeoTIFF", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_TRUE(rasters::IsRasterFile(dir + "/" + c.in));
        EXPECT_EQ(rasters::ImageFormatOfContent(dir + "/" + c.in), c.format);
        ASSERT_EQ(run(TALPOR_LOTE " -m rejilla " + c.in + " " + c.out), 0) << testing_support::ReadFile(folder.path / "errores.txt");
        const std::string said = testing_support::ReadFile(folder.path / "errores.txt");
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        const Image in = Read(dir + "/" + c.in), moved = Read(dir + "/" + c.out);
        EXPECT_EQ(moved.epsg, 25830);
        if (c.same) {
            EXPECT_EQ(moved.checksums, in.checksums);
        } else {  // at the input's quality, its codestream as large (and its pixels others)
            EXPECT_EQ(moved.checksums.size(), in.checksums.size());
            EXPECT_NEAR(double(std::filesystem::file_size(folder.path / c.out)) / double(std::filesystem::file_size(folder.path / c.in)),
                        1, 0.1);
        }
        const std::vector<rasters::XY> proj = Proj({{in.t[0] + in.t[1] / 2, in.t[3] + in.t[5] / 2}}, 30, 30);
        ASSERT_EQ(proj.size(), 1u);
        EXPECT_LT(std::hypot(moved.t[0] + moved.t[1] / 2 - proj[0].x, moved.t[3] + moved.t[5] / 2 - proj[0].y), in.t[1] / 4);
    }
    // A GeoPackage of layers besides its tiles is read as layers; a text is no image.
    testing_support::WriteFile(folder.path / "notas", "MM\nII\n");
    EXPECT_EQ(rasters::ImageFormatOfContent(dir + "/notas"), "");
    EXPECT_EQ(rasters::ImageFormatOfContent(dir + "/orto.tif"), "GTiff");
    EXPECT_FALSE(rasters::IsRasterFile(dir + "/mixto.gpkg"));
    EXPECT_EQ(rasters::ImageFormatOfContent(dir + "/mixto.gpkg"), "");
    ASSERT_EQ(run(TALPOR_LOTE " -m rejilla mixto.gpkg mixto-etrs89.gpkg"), 0);
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("mixto.gpkg: su imagen en teselas no se convierte con sus "
                                                                          "capas ni pasa al destino"),
              std::string::npos);
    // Their labels and sidecars are theirs, in a folder too; a GeoPackage's tiles go into a GeoTIFF.
    ASSERT_EQ(run("mkdir -p proyecto && cp orto.img* envi.* mdt.bil mdt.hdr mdt.prj mdt.xyz* teselas.gpkg proyecto/ && "
                  "cp envi.dat proyecto/crudo && cp envi.hdr proyecto/crudo.hdr && " TALPOR_LOTE " -m rejilla proyecto etrs89"),
              0)
        << testing_support::ReadFile(folder.path / "errores.txt");
    EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find("6 ficheros convertidos, 0 con errores, 0 rechazados"),
              std::string::npos)
        << testing_support::ReadFile(folder.path / "errores.txt");
    for (const std::string name : {"orto.img", "envi.dat", "envi.hdr", "crudo", "crudo.hdr", "mdt.bil", "mdt.hdr", "mdt.prj",
                                   "mdt.xyz", "teselas.tif"})
        EXPECT_TRUE(std::filesystem::exists(folder.path / "etrs89" / name)) << name;
    EXPECT_EQ(Read(dir + "/etrs89/envi.dat").epsg, 25830);
    // Refused, each in a sentence: ECW and MrSID, an ENVI or Esri image cut short, a label's .hdr that is a
    // FIFO or a link out of the folder, pixels that are a FIFO beside their label.
    ASSERT_EQ(run("echo x > foto.ecw && echo x > foto.sid && head -c 100000 envi.dat > corto.dat && cp envi.hdr corto.hdr && "
                  "head -c 1000 mdt.bil > cortado.bil && cp mdt.hdr cortado.hdr && cp mdt.prj cortado.prj && "
                  "cp mdt.bil tubo.bil && mkfifo tubo.hdr && cp envi.dat fuera.dat && ln -s /etc/passwd fuera.hdr && "
                  "mkfifo pixeles.dat && cp envi.hdr pixeles.hdr && cp envi.dat roto.dat && echo 'EVNI' > roto.hdr"),
              0);
    for (const auto& [args, refused] : {std::pair<std::string, std::string>{"foto.ecw f.ecw", "Talpor no lee imágenes ECW"},
                                        {"foto.sid f.tif", "no lee imágenes MrSID, cuyo lector no es libre: expórtela a GeoTIFF o "
                                                           "JPEG 2000 con el programa que la abra"},
                                        {"corto.dat c.dat", "el fichero acaba antes que sus píxeles"},
                                        {"cortado.bil c.bil", "el fichero acaba antes que sus píxeles"},
                                        {"tubo.bil t.bil", "«tubo.hdr», junto a la imagen, es una tubería (FIFO)"},
                                        {"fuera.dat f.dat", "«fuera.hdr», junto a la imagen, es un enlace a un fichero de otra carpeta"},
                                        {"pixeles.dat p.dat", "«pixeles.dat» es una tubería (FIFO), no un fichero"},
                                        {"--formato=cog roto.dat r.tif", "roto.dat: no se puede leer como imagen: GDAL no la reconoce"}}) {
        EXPECT_EQ(run(TALPOR_LOTE " -m rejilla " + args), 2) << args;
        EXPECT_NE(testing_support::ReadFile(folder.path / "errores.txt").find(refused), std::string::npos)
            << testing_support::ReadFile(folder.path / "errores.txt");
    }
}
