// GIS layers as users hold them, made by GDAL itself and converted by the real talpor-lote:
// every vertex against ogr2ogr with PROJ and the same IGN grid, the output's system by its
// EPSG code, attributes, ids and counts as they were, and nothing left of a refused run.
#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/DataFile.h"
#include "support/Files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

struct Vertex {
    double x, y, z;
};

struct Layer {
    std::string name;
    int epsg = 0;
    std::vector<Vertex> vertices;
    std::vector<long long> fids;
    std::vector<std::string> attributes;  // every feature's fields as text, "|" between
    std::vector<std::string> types;       // the fields' types
    std::string geometry;
};

void Walk(OGRGeometryH g, std::vector<Vertex>& out) {
    if (OGR_G_GetGeometryCount(g) > 0) {
        for (int i = 0; i < OGR_G_GetGeometryCount(g); ++i) Walk(OGR_G_GetGeometryRef(g, i), out);
        return;
    }
    for (int i = 0; i < OGR_G_GetPointCount(g); ++i) out.push_back({OGR_G_GetX(g, i), OGR_G_GetY(g, i), OGR_G_GetZ(g, i)});
}

// Every layer of a file as GDAL reads it.
std::vector<Layer> Read(const fs::path& path) {
    GDALAllRegister();
    std::vector<Layer> layers;
    // A CSV's WKT column is its geometry, not an attribute too.
    const char* const csv[] = {"KEEP_GEOM_COLUMNS=NO", nullptr};
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, path.extension() == ".csv" ? csv : nullptr, nullptr);
    if (ds == nullptr) return layers;
    for (int l = 0; l < GDALDatasetGetLayerCount(ds); ++l) {
        OGRLayerH layer = GDALDatasetGetLayer(ds, l);
        Layer out;
        out.name = OGR_L_GetName(layer);
        out.geometry = OGRGeometryTypeToName(OGR_L_GetGeomType(layer));
        if (OGRSpatialReferenceH srs = OGR_L_GetSpatialRef(layer)) {
            OGRSpatialReferenceH copy = OSRClone(srs);
            if (OSRAutoIdentifyEPSG(copy) == OGRERR_NONE || OSRGetAuthorityCode(copy, nullptr) != nullptr)
                out.epsg = std::atoi(OSRGetAuthorityCode(copy, nullptr));
            // MapInfo's CoordSys has no code: the system GDAL finds it is.
            int found = 0;
            int* confidence = nullptr;
            OGRSpatialReferenceH* matches = out.epsg == 0 && (path.extension() == ".tab" || path.extension() == ".mif")
                                                ? OSRFindMatches(copy, nullptr, &found, &confidence) : nullptr;
            if (found > 0 && confidence[0] >= 90 && OSRGetAuthorityCode(matches[0], nullptr) != nullptr)
                out.epsg = std::atoi(OSRGetAuthorityCode(matches[0], nullptr));
            if (matches != nullptr) OSRFreeSRSArray(matches);
            CPLFree(confidence);
            OSRRelease(copy);
        }
        OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
        for (int f = 0; f < OGR_FD_GetFieldCount(defn); ++f)
            out.types.push_back(OGR_GetFieldTypeName(OGR_Fld_GetType(OGR_FD_GetFieldDefn(defn, f))));
        while (OGRFeatureH feature = OGR_L_GetNextFeature(layer)) {
            out.fids.push_back(OGR_F_GetFID(feature));
            std::string text;
            for (int f = 0; f < OGR_F_GetFieldCount(feature); ++f) text += std::string(OGR_F_GetFieldAsString(feature, f)) + "|";
            out.attributes.push_back(text);
            if (OGRGeometryH g = OGR_F_GetGeometryRef(feature)) Walk(g, out.vertices);
            OGR_F_Destroy(feature);
        }
        layers.push_back(std::move(out));
    }
    GDALClose(ds);
    return layers;
}

double Farthest(const std::vector<Vertex>& a, const std::vector<Vertex>& b) {
    double d = a.size() == b.size() ? 0 : 1e9;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        d = std::max({d, std::abs(a[i].x - b[i].x), std::abs(a[i].y - b[i].y)});
    return d;
}

class Layers : public ::testing::Test {
  protected:
    struct Ran {
        int status = -1;
        std::string out, err;
    };
    Ran Run(const std::string& args) {
        const std::string command = "cd '" + dir.string() + "' && timeout 120 " TALPOR_LOTE " " + args +
                                    " < /dev/null > salida.txt 2> errores.txt";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "salida.txt"), ReadFile(dir / "errores.txt")};
    }
    // GDAL's own programs, quiet; false when they fail.
    bool Ogr(const std::string& args) {
        return std::system(("cd '" + dir.string() + "' && " + args + " > ogr.txt 2>&1").c_str()) == 0;
    }
    testing_support::TempFolder folder;
    const fs::path& dir = folder.path;
    const std::string grid = std::string(TALPOR_DATA_DIR) + "/es_ign_SPED2ETV2.tif";
};

// A forester's stands: ED50 UTM 30 polygons, one with a hole, one in two parts of which one
// lies 200 km west of the zone's centre, with text, real, integer and date attributes.
// To ETRS89 UTM 30 with the grid, as ogr2ogr does it with PROJ and the same grid.
TEST_F(Layers, ShapefileOfStandsGoesToEtrs89AsOgr2ogrWithTheGrid) {
    WriteFile(dir / "montes.csv",
              "WKT,nombre,superficie,codigo,alta\n"
              "\"POLYGON ((440000 4474000,441000 4474000,441000 4475000,440000 4475000,440000 4474000),"
              "(440200 4474200,440400 4474200,440400 4474400,440200 4474200))\",Monte de Valsaín,123.45,7,2020-03-01\n"
              "\"MULTIPOLYGON (((500000.12 4600000.34,500100 4600000,500100 4600100,500000.12 4600000.34)),"
              "((200000 4700000,200100 4700000,200100 4700100,200000 4700000)))\",\"Dehesa \"\"Ñ\"\", 2\",0.5,12,"
              "1999-12-31\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f 'ESRI Shapefile' montes.shp montes.csv -oo GEOM_POSSIBLE_NAMES=WKT "
                    "-oo KEEP_GEOM_COLUMNS=NO -oo AUTODETECT_TYPE=YES -a_srs EPSG:23030 -nlt PROMOTE_TO_MULTI"))
        << ReadFile(dir / "ogr.txt");
    ASSERT_TRUE(Ogr("ogr2ogr -f 'ESRI Shapefile' ogr.shp montes.shp -a_srs EPSG:25830 -ct '+proj=pipeline +step "
                    "+inv +proj=utm +zone=30 +ellps=intl +step +proj=hgridshift +grids=" + grid +
                    " +step +proj=utm +zone=30 +ellps=GRS80'"))
        << ReadFile(dir / "ogr.txt");
    // A destination already there, with an index of its own that would describe the old file.
    WriteFile(dir / "montes-etrs89.qix", "viejo");
    const Ran r = Run("-m rejilla montes.shp montes-etrs89.shp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "capa «montes»: 2 entidades, 17 vértices convertidos; ED50 UTM 30 (EPSG:23030) a ETRS89 "
                           "UTM 30 (EPSG:25830); 4 vértices fuera de la franja del huso 30"))
        << r.err;
    const std::vector<Layer> in = Read(dir / "montes.shp"), out = Read(dir / "montes-etrs89.shp"), ogr = Read(dir / "ogr.shp");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].epsg, 25830);
    EXPECT_LT(Farthest(out[0].vertices, ogr[0].vertices), 0.001);
    EXPECT_EQ(out[0].attributes, in[0].attributes);
    EXPECT_EQ(out[0].types, in[0].types);
    EXPECT_EQ(out[0].geometry, in[0].geometry);
    EXPECT_TRUE(Has(out[0].attributes[1], "Dehesa \"Ñ\", 2|0.5")) << out[0].attributes[1];
    EXPECT_FALSE(fs::exists(dir / "montes-etrs89.qix"));
    // As a table, the reals with the table's decimal sign, as its vertices.
    for (const char* sign : {"", "--punto"}) {
        ASSERT_EQ(Run(std::string("-m rejilla montes.shp tabla.csv ") + sign).status, 0);
        const std::string point = *sign ? "." : ",";
        EXPECT_TRUE(Has(ReadFile(dir / "tabla.csv"), ";Dehesa \"Ñ\", 2;0" + point + "500000000000000;12;") &&
                    Has(ReadFile(dir / "tabla.csv"), ";4600000" + point + "34;"))
            << ReadFile(dir / "tabla.csv");
    }
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();

    // The same stands in degrees, to a GeoPackage labelled WGS84, and back from it to ED50:
    // within a millimetre of where they started.
    // A second layer in the same GeoPackage, in UTM: each layer keeps its own kind.
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG grados.gpkg montes.shp -t_srs EPSG:4230 -nln rodales"));
    ASSERT_TRUE(Ogr("ogr2ogr -update -f GPKG grados.gpkg montes.shp -nln rodales_utm"));
    ASSERT_EQ(Run("-m rejilla --etiqueta=wgs84 grados.gpkg wgs84.gpkg").status, 0);
    const std::vector<Layer> two = Read(dir / "wgs84.gpkg");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_TRUE(two[0].name == "rodales" && two[0].epsg == 4326 && two[0].fids.size() == 2) << two[0].name;
    EXPECT_TRUE(two[1].name == "rodales_utm" && two[1].epsg == 32630) << two[1].name;
    EXPECT_LT(Farthest(two[1].vertices, ogr[0].vertices), 0.001);
    const Ran back = Run("-m rejilla wgs84.gpkg vuelta.gpkg");
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(Read(dir / "vuelta.gpkg")[0].epsg, 4230);
    EXPECT_LT(Farthest(Read(dir / "vuelta.gpkg")[0].vertices, Read(dir / "grados.gpkg")[0].vertices), 1e-8);
}

// A layer large enough for the program's own evaluation of the grid (over 2 MB): 1,600
// stands of 100 vertices over the peninsula and the Balearic Islands, the Balearic
// subgrid's edge among them, each vertex where ogr2ogr puts it with PROJ and the same grid.
TEST_F(Layers, ALargeLayerGoesWhereOgr2ogrPutsIt) {
    std::string csv = "WKT,n\n";
    std::mt19937_64 draw(46);
    std::uniform_real_distribution<double> east(220000, 780000), north(4000000, 4800000);
    for (int k = 0; k < 1600; ++k) {
        const double e = east(draw), n = north(draw);
        csv += "\"POLYGON ((";
        for (int v = 0; v <= 100; ++v) {
            const double a = 2 * M_PI * (v % 100) / 100;
            csv += std::to_string(e + 300 * std::cos(a)) + " " + std::to_string(n + 300 * std::sin(a)) + (v < 100 ? "," : "");
        }
        csv += "))\"," + std::to_string(k) + "\n";
    }
    WriteFile(dir / "rodales.csv", csv);
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG rodales.gpkg rodales.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO "
                    "-a_srs EPSG:23030 -nlt POLYGON"))
        << ReadFile(dir / "ogr.txt");
    ASSERT_GT(fs::file_size(dir / "rodales.gpkg"), 2u << 20);
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG ogr.gpkg rodales.gpkg -a_srs EPSG:25830 -ct '+proj=pipeline +step +inv "
                    "+proj=utm +zone=30 +ellps=intl +step +proj=hgridshift +grids=" + grid +
                    " +step +proj=utm +zone=30 +ellps=GRS80'"))
        << ReadFile(dir / "ogr.txt");
    const Ran r = Run("-m rejilla rodales.gpkg etrs89.gpkg");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "capa «rodales»: 1.600 entidades, 161.600 vértices convertidos")) << r.err;
    const std::vector<Layer> out = Read(dir / "etrs89.gpkg"), ogr = Read(dir / "ogr.gpkg");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_LT(Farthest(out[0].vertices, ogr[0].vertices), 0.001);
}

// Each input system, direction, zone given, label and output format (tests/data/layer-systems.txt):
// the output's system as the summary names it and as GDAL reads it, its point where PROJ
// puts it, and the format GDAL reads it as.
TEST_F(Layers, EachSystemGoesWhereItsOptionsSay) {
    // cs2cs speaks latitude first in degrees; GDAL's layers hold x (longitude or easting) first.
    const auto cs2cs = [](double a, double b, const std::string& from, const std::string& to) {
        std::ostringstream point;
        point.precision(12);
        point << a << " " << b;
        std::istringstream out(testing_support::Output("echo '" + point.str() + "' | cs2cs -f %.9f EPSG:" + from + " EPSG:" + to));
        double c = 0, d = 0;
        out >> c >> d;
        return std::pair(c, d);
    };
    GDALAllRegister();
    int n = 0;
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile("layer-systems.txt")) {
        SCOPED_TRACE(r.where + ": " + r[0] + " " + r[3] + " " + r[4] + " " + r[5]);
        const bool degreesIn = r[3].size() == 4, degreesOut = r[7].size() == 4;
        const auto [a, b] = cs2cs(r.Number(1), r.Number(2), "4326", r[3]);
        std::ostringstream wkt;
        wkt.precision(12);
        wkt << "POINT (" << (degreesIn ? b : a) << " " << (degreesIn ? a : b) << ")";
        WriteFile(dir / "punto.csv", "WKT,nombre\n\"" + wkt.str() + "\"," + r[0] + "\n");
        fs::remove(dir / "entrada.gpkg");
        ASSERT_TRUE(Ogr("ogr2ogr -f GPKG entrada.gpkg punto.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO "
                        "-a_srs EPSG:" + r[3] + " -nln puntos")) << ReadFile(dir / "ogr.txt");
        const std::string output = "salida" + std::to_string(++n) + "." + r[5];
        const Ran ran = Run(r[4] + " entrada.gpkg " + output);
        ASSERT_EQ(ran.status, 0) << ran.err;
        EXPECT_TRUE(Has(ran.err, " a " + r[6])) << ran.err;
        if (r[8] == "texto") {
            EXPECT_TRUE(ReadFile(dir / output).starts_with("Capa;Entidad;")) << output;
            continue;
        }
        GDALDatasetH ds = GDALOpenEx((dir / output).c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
        ASSERT_NE(ds, nullptr) << output;
        EXPECT_EQ(std::string(GDALGetDriverShortName(GDALGetDatasetDriver(ds))), r[8]);
        GDALClose(ds);
        if (r[7] == "-") continue;  // no system of its own
        std::vector<Layer> out = Read(dir / output);
        std::erase_if(out, [](const Layer& l) { return l.vertices.empty(); });  // GPX's empty ones
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].epsg, std::stoi(r[7]));
        ASSERT_EQ(out[0].vertices.size(), 1u);
        const auto [c, d] = cs2cs(a, b, r[3], r[7]);
        EXPECT_NEAR(out[0].vertices[0].x, degreesOut ? d : c, degreesOut ? 1e-4 : 10);
        EXPECT_NEAR(out[0].vertices[0].y, degreesOut ? c : d, degreesOut ? 1e-4 : 10);
    }
}

// Every vertex numbered and every value under its own name (tests/data/layer-vertices.txt):
// the layers of each case made by ogr2ogr, converted into one table by talpor-lote, each
// row's numbers and attributes read back by the table's header.
TEST_F(Layers, EveryVertexIsNumberedAndEveryValueNamed) {
    struct Feature {
        std::string layer, id;
        std::map<std::string, std::string> values;
        std::vector<std::string> rows;
    };
    std::vector<std::pair<std::string, std::vector<Feature>>> cases;  // in the file's order
    std::map<std::string, std::string> formats;
    for (const testing_support::DataRecord& r : testing_support::ReadDataFile("layer-vertices.txt")) {
        if (cases.empty() || cases.back().first != r[0]) cases.push_back({r[0], {}});
        formats[r[0]] = r[1];
        Feature f{r[2], r[3], {}, {}};
        std::istringstream values(r[4]), rows(r[6]);
        for (std::string v; values >> v;) f.values[v.substr(0, v.find('='))] = v.substr(v.find('=') + 1);
        for (std::string row; rows >> row;) f.rows.push_back(row);
        f.values["WKT"] = r[5];
        cases.back().second.push_back(f);
    }
    for (const auto& [name, features] : cases) {
        SCOPED_TRACE(name);
        const bool shp = formats[name] == "shp";
        const std::string input = shp ? features[0].layer + ".shp" : "entrada.gpkg";
        std::vector<std::string> layers, attributes;  // in order of appearance
        for (const Feature& f : features) {
            if (std::find(layers.begin(), layers.end(), f.layer) == layers.end()) layers.push_back(f.layer);
            for (const auto& [key, value] : f.values)
                if (key != "WKT" && std::find(attributes.begin(), attributes.end(), key) == attributes.end())
                    attributes.push_back(key);
        }
        fs::remove(dir / "entrada.gpkg");
        for (const std::string& layer : layers) {
            std::string csv, header = shp ? "WKT" : "WKT,fid";
            for (const Feature& f : features) {
                if (f.layer != layer) continue;
                if (csv.empty())
                    for (const auto& [key, value] : f.values) header += key == "WKT" ? "" : "," + key;
                csv += "\"" + f.values.at("WKT") + "\"" + (shp ? "" : "," + f.id);
                for (const auto& [key, value] : f.values) csv += key == "WKT" ? "" : "," + value;
                csv += "\n";
            }
            WriteFile(dir / (layer + ".csv"), header + "\n" + csv);
            ASSERT_TRUE(Ogr("ogr2ogr " + std::string(shp ? "-f 'ESRI Shapefile' " + input : "-f GPKG -append " + input) +
                            " " + layer + ".csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO "
                            "-oo AUTODETECT_TYPE=YES -a_srs EPSG:23030 -nln " + layer))
                << ReadFile(dir / "ogr.txt");
        }
        const Ran ran = Run("-m rejilla --salida=utm " + input + " tabla.csv");
        ASSERT_EQ(ran.status, 0) << ran.err;
        for (const std::string& layer : layers) {
            std::size_t count = 0, vertices = 0;
            for (const Feature& f : features) count += f.layer == layer, vertices += f.layer == layer ? f.rows.size() : 0;
            EXPECT_TRUE(Has(ran.err, "capa «" + layer + "»: " + std::to_string(count) + (count == 1 ? " entidad, " : " entidades, ") +
                                         std::to_string(vertices) + " vértices convertidos"))
                << ran.err;
        }
        std::istringstream table(ReadFile(dir / "tabla.csv"));
        const auto cells = [](const std::string& line) {
            std::vector<std::string> out;
            std::stringstream cut(line);
            for (std::string cell; std::getline(cut, cell, ';');) out.push_back(cell);
            if (!line.empty() && line.back() == ';') out.emplace_back();
            return out;
        };
        std::string line;
        std::getline(table, line);
        const std::vector<std::string> head = cells(line);
        // The header: the numbers, each attribute name once, then the vertex's columns.
        std::vector<std::string> expected{"Capa", "Entidad", "Parte", "Anillo", "Vértice"};
        expected.insert(expected.end(), attributes.begin(), attributes.end());
        expected.push_back("Este");
        ASSERT_GE(head.size(), expected.size()) << line;
        EXPECT_EQ(std::vector<std::string>(head.begin(), head.begin() + expected.size()), expected) << line;
        for (const Feature& f : features) {
            for (const std::string& numbers : f.rows) {
                ASSERT_TRUE(std::getline(table, line)) << f.layer << " " << f.id << " " << numbers;
                const std::vector<std::string> row = cells(line);
                ASSERT_EQ(row.size(), head.size()) << line;
                std::string got = row[2] + "." + row[3] + "." + row[4];
                EXPECT_EQ(row[0] + " " + row[1] + " " + got, f.layer + " " + f.id + " " + numbers) << line;
                for (std::size_t c = 5; c < 5 + attributes.size(); ++c) {
                    const auto value = f.values.find(head[c]);
                    EXPECT_EQ(row[c], value == f.values.end() ? "" : value->second) << head[c] << ": " << line;
                }
            }
        }
        EXPECT_FALSE(std::getline(table, line)) << line;
    }
}

// A Z is an altitude only where its format says so (OGC KML 2.2, altitudeMode: "absolute"
// is above sea level; "clampToGround", the default, and Google's gx:altitudeMode
// "clampToSeaFloor" are ignored; "relativeToGround" is above the terrain): the row of the
// vertex, with the ED50 height and the altitude, or neither and why. A flat (2D) layer
// has no height; a 3D one's Z is an altitude, or with --z-elipsoidal a height above the
// ellipsoid. 650 m at Madrid is 629,2 m above the ED50 ellipsoid (geoid 51,1 m, PROJ).
TEST_F(Layers, AZIsAnAltitudeOnlyWhereItsFormatSaysSo) {
    const std::pair<std::string, const char*> cases[] = {
        // The end of the row: Altura ED50;Altitud WGS84 (EGM08-REDNAP);Error;Aviso
        {"", ";;;sin altura (pegado al suelo)\n"},
        {"<altitudeMode>absolute</altitudeMode>", ";629,2;650,0;;\n"},
        {"<altitudeMode>clampToGround</altitudeMode>", ";;;sin altura (pegado al suelo)\n"},
        {"<gx:altitudeMode>clampToSeaFloor</gx:altitudeMode>", ";;;sin altura (pegado al fondo del mar)\n"},
        {"<altitudeMode>relativeToGround</altitudeMode>", ";;;sin altura (su Z es sobre el terreno)\n"},
        {"flat", "-3,70249525;;;;\n"},
        {"3D", ";629,2;650,0;;\n"},
        // Given as a height above the ellipsoid: 701,1 m is 650,0 m above the sea there.
        {"3D above the ellipsoid", ";629,1;650,0;;\n"},
    };
    for (const auto& [mode, row] : cases) {
        SCOPED_TRACE(mode);
        std::string input = "punto.kml";
        const bool ellipsoidal = mode == "3D above the ellipsoid";
        if (mode == "flat" || mode.starts_with("3D")) {
            WriteFile(dir / "punto.csv", ellipsoidal    ? "WKT,id\n\"POINT Z (-3.7038 40.4168 701.1)\",1\n"
                                         : mode == "3D" ? "WKT,id\n\"POINT Z (-3.7038 40.4168 650)\",1\n"
                                                        : "WKT,id\n\"POINT (-3.7038 40.4168)\",1\n");
            fs::remove(dir / "punto.gpkg");
            ASSERT_TRUE(Ogr("ogr2ogr -f GPKG punto.gpkg punto.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:4258"));
            input = "punto.gpkg";
        } else {
            WriteFile(dir / input, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
                                   "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
                                   "<Document><Placemark><name>V1</name><Point>" + mode +
                                   "<coordinates>-3.7038,40.4168,650</coordinates></Point></Placemark></Document></kml>\n");
        }
        const Ran r = Run(std::string(ellipsoidal ? "--z-elipsoidal " : "") + "--salida=gd,altura,altitud " + input + " tabla.csv");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string table = ReadFile(dir / "tabla.csv");
        const std::string last = table.substr(table.rfind('\n', table.size() - 2) + 1);
        EXPECT_TRUE(last.ends_with(row)) << last;
    }
}

// A Google Earth KMZ: a folder with a point on the ground (written lon,lat,0), a summit
// with its absolute altitude, a line, a polygon with a hole, a multi-geometry and a
// gx:Track, to ED50 UTM rows, one a vertex, as PROJ puts them with the grid.
TEST_F(Layers, GoogleEarthKmzGivesEd50RowsAVertex) {
    const std::string kml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
        "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document><Folder><name>Sierra</name>\n"
        "<Placemark><name>Peñalara</name><ExtendedData><Data name=\"dificultad\"><value>alta</value></Data>"
        "</ExtendedData><Point><coordinates>-3.955833,40.850278,0</coordinates></Point></Placemark>\n"
        "<Placemark><name>Cumbre</name><Point><altitudeMode>absolute</altitudeMode>"
        "<coordinates>-3.955833,40.850278,2428</coordinates></Point></Placemark>\n"
        "<Placemark><name>Ruta</name><LineString><coordinates>-3.95,40.85,0 -3.96,40.86,0 -3.97,40.87,0"
        "</coordinates></LineString></Placemark>\n"
        "<Placemark><name>Zona</name><Polygon><outerBoundaryIs><LinearRing><coordinates>-3.9,40.8 -3.8,40.8 "
        "-3.8,40.9 -3.9,40.8</coordinates></LinearRing></outerBoundaryIs><innerBoundaryIs><LinearRing><coordinates>"
        "-3.85,40.82 -3.84,40.82 -3.84,40.83 -3.85,40.82</coordinates></LinearRing></innerBoundaryIs></Polygon>"
        "</Placemark>\n<Placemark><name>Varias</name><MultiGeometry><Point><coordinates>-3.7,40.4</coordinates>"
        "</Point><LineString><coordinates>-3.7,40.4 -3.71,40.41</coordinates></LineString></MultiGeometry>"
        "</Placemark>\n<Placemark><name>Track</name><gx:Track><when>2024-05-01T10:00:00Z</when>"
        "<when>2024-05-01T10:01:00Z</when><gx:coord>-3.7 40.4 650</gx:coord><gx:coord>-3.701 40.401 655</gx:coord>"
        "</gx:Track></Placemark>\n</Folder></Document></kml>\n";
    GDALAllRegister();
    VSILFILE* zip = VSIFOpenL(("/vsizip/" + (dir / "excursion.kmz").string() + "/doc.kml").c_str(), "wb");
    ASSERT_NE(zip, nullptr);
    VSIFWriteL(kml.data(), 1, kml.size(), zip);
    VSIFCloseL(zip);
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG ogr.gpkg excursion.kmz -a_srs EPSG:23030 -ct '+proj=pipeline +step +proj=axisswap +order=2,1 "
                    "+step +proj=unitconvert "
                    "+xy_in=deg +xy_out=rad +step +inv +proj=hgridshift +grids=" + grid +
                    " +step +proj=utm +zone=30 +ellps=intl'"))
        << ReadFile(dir / "ogr.txt");
    const Ran r = Run("-m rejilla --salida=utm excursion.kmz -o excursion.csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "6 entidades, 18 vértices convertidos; WGS84 geográficas (EPSG:4326) a ED50 UTM 30")) << r.err;
    std::istringstream rows(ReadFile(dir / "excursion.csv"));
    std::string line;
    std::getline(rows, line);
    EXPECT_TRUE(Has(line, "Capa;Entidad;Parte;Anillo;Vértice;Name;") && Has(line, ";dificultad;Carpeta;Latitud;Longitud;Altitud;"
                                                                               "Huso ED50;Este ED50;Norte ED50;Error;Aviso"))
        << line;
    std::vector<std::string> all;
    std::vector<Vertex> talpor;
    while (std::getline(rows, line)) {
        all.push_back(line);
        std::vector<std::string> cells;
        std::stringstream cut(line);
        for (std::string cell; std::getline(cut, cell, ';');) cells.push_back(cell);
        if (line.back() == ';') cells.emplace_back();
        ASSERT_GE(cells.size(), 4u);
        const auto number = [](std::string s) { return std::stod(s.replace(s.find(','), 1, ".")); };
        talpor.push_back({number(cells[cells.size() - 4]), number(cells[cells.size() - 3]), 0});
    }
    ASSERT_EQ(all.size(), 18u);
    EXPECT_LT(Farthest(talpor, Read(dir / "ogr.gpkg")[0].vertices), 0.006);  // to the centimetre shown
    EXPECT_TRUE(Has(all[0], "Sierra;1;1;0;1;Peñalara;") && Has(all[0], ";alta;Sierra;40,85027800;-3,95583300;;30T;") &&
                all[0].ends_with(";;sin altura (pegado al suelo)"))  // in Aviso, its Error empty
        << all[0];
    EXPECT_TRUE(Has(all[1], ";absolute;") && Has(all[1], ";2428,0;30T;")) << all[1];
    EXPECT_TRUE(Has(all[4], "Sierra;3;1;0;3;Ruta;") && Has(all[4], "sin altura")) << all[4];
    EXPECT_TRUE(Has(all[9], "Sierra;4;1;2;1;Zona;")) << all[9];  // the hole's first vertex
    EXPECT_TRUE(Has(all[15], "Sierra;5;2;0;2;Varias;")) << all[15];
    EXPECT_TRUE(Has(all[17], "Sierra;6;1;0;2;Track;")) << all[17];

    // To WGS84 layers the KMZ is WGS84 already; to GeoJSON from ED50 the summit's third
    // coordinate is its height above the ellipsoid (PROJ, EGM08-REDNAP: 2481.554 m for
    // 2428 m) and the attributes stay numbers.
    EXPECT_TRUE(Has(Run("excursion.kmz -o x.gpkg -s ed50-wgs84").err, "se convierte en el sentido wgs84-ed50"));
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG cumbre.gpkg excursion.kmz -t_srs EPSG:4230 -where \"Name = 'Cumbre'\" "
                    "-nln cumbre -dim XYZ"));
    const Ran json = Run("cumbre.gpkg cumbre.geojson");
    ASSERT_EQ(json.status, 0) << json.err;
    const std::vector<Layer> geojson = Read(dir / "cumbre.geojson");
    ASSERT_EQ(geojson.size(), 1u);
    ASSERT_EQ(geojson[0].vertices.size(), 1u);
    EXPECT_EQ(geojson[0].epsg, 4979);  // WGS84 with heights above its ellipsoid
    EXPECT_NEAR(geojson[0].vertices[0].z, 2481.554, 0.01);
    EXPECT_TRUE(Has(ReadFile(dir / "cumbre.geojson"), "\"tessellate\": -1")) << ReadFile(dir / "cumbre.geojson");
    // ED50 lines to a GPS unit: a route in GPX, as ogr2ogr puts it with the grid; polygons
    // have no place there.
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG ruta.gpkg excursion.kmz -where \"Name = 'Ruta'\" -nln ruta -nlt LINESTRING "
                    "-a_srs EPSG:4230 -ct '+proj=pipeline +step +proj=axisswap +order=2,1 +step +proj=unitconvert "
                    "+xy_in=deg +xy_out=rad +step +inv +proj=hgridshift +grids=" + grid +
                    " +step +proj=unitconvert +xy_in=rad +xy_out=deg +step +proj=axisswap +order=2,1'"))
        << ReadFile(dir / "ogr.txt");
    ASSERT_EQ(Run("-m rejilla ruta.gpkg ruta.gpx").status, 0);
    std::map<std::string, std::size_t> features;  // of each of GDAL's GPX layers
    std::vector<Vertex> route;
    for (const Layer& l : Read(dir / "ruta.gpx")) {
        features[l.name] = l.fids.size();
        if (l.name == "routes") route = l.vertices;
    }
    EXPECT_EQ(features, (std::map<std::string, std::size_t>{
                            {"waypoints", 0}, {"routes", 1}, {"tracks", 0}, {"route_points", 3}, {"track_points", 0}}));
    // Back where Google Earth had them.
    EXPECT_LT(Farthest(route, {{-3.95, 40.85, 0}, {-3.96, 40.86, 0}, {-3.97, 40.87, 0}}), 1e-8);
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG zona.gpkg excursion.kmz -where \"Name = 'Zona'\" -nln zona -a_srs EPSG:4230"));
    EXPECT_TRUE(Has(Run("-m rejilla zona.gpkg -o zona.gpx").err, "GPX solo tiene waypoints, rutas y tracks"));

    // Back to KML, the summit keeps its altitude as an absolute one: not laid on the ground.
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG cumbre2d.gpkg cumbre.gpkg -select Name"));
    ASSERT_EQ(Run("cumbre2d.gpkg cumbre.kml").status, 0);
    const std::string summit = ReadFile(dir / "cumbre.kml");
    EXPECT_TRUE(Has(summit, "<altitudeMode>absolute</altitudeMode>") && Has(summit, ",2428</coordinates>")) << summit;
}

// What cannot be converted whole is refused in one sentence and leaves nothing: another
// system, a layer without one, a vertex outside the grid; asked to, the feature outside is
// left out and named.
TEST_F(Layers, WhatCannotBeTakenWholeIsRefusedAndLeavesNothing) {
    WriteFile(dir / "p.csv", "WKT,id\n\"POINT (440000 4474000)\",1\n\"LINESTRING (440000 4474000,440000 5500000)\",2\n"
                             "\"POINT (441000 4475000)\",3\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f DXF plano.dxf p.csv -oo GEOM_POSSIBLE_NAMES=WKT"));
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG web.gpkg p.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:3857"));
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG ed50.gpkg p.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo AUTODETECT_TYPE=YES "
                    "-a_srs EPSG:23030 -nln puntos"));
    EXPECT_TRUE(Has(Run("web.gpkg x.gpkg").err, "está en «WGS 84 / Pseudo-Mercator» (EPSG:3857), que Talpor no convierte"));
    EXPECT_TRUE(Has(Run("plano.dxf x.shp").err, "no dice en qué sistema están sus coordenadas: indique el sentido"));
    const Ran outside = Run("-m rejilla ed50.gpkg x.gpkg");
    EXPECT_EQ(outside.status, 2);
    EXPECT_TRUE(Has(outside.err, "la entidad 2 de la capa «puntos», vértice 2: fuera del área del método")) << outside.err;
    for (const auto& e : fs::directory_iterator(dir))  // nor its temporary folder, ".x.gpkg.XXXXXX"
        EXPECT_EQ(e.path().filename().string().find("x.gpkg"), std::string::npos) << e.path();

    const Ran left = Run("-m rejilla --omitir-fuera ed50.gpkg x.gpkg");
    EXPECT_EQ(left.status, 1);
    EXPECT_TRUE(Has(left.err, "2 entidades, 2 vértices convertidos") && Has(left.err, "1 entidad fuera del área del método, dejada fuera: 2")) << left.err;
    EXPECT_EQ(Read(dir / "x.gpkg")[0].fids, (std::vector<long long>{1, 3}));

    // To DXF, which holds one layer of entities and no attributes of the user's: every
    // layer's entities, each in the CAD layer of its name, and what is not kept said.
    ASSERT_TRUE(Ogr("ogr2ogr -update ed50.gpkg p.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:23030 -nln cotas"));
    const Ran cad = Run("-m rejilla --omitir-fuera ed50.gpkg cad.dxf");
    EXPECT_EQ(cad.status, 1) << cad.err;
    EXPECT_TRUE(Has(cad.err, "en la capa DXF «cotas», sin el sistema ni los atributos, que DXF no guarda: «WKT» y «id»"))
        << cad.err;
    const std::vector<Layer> entities = Read(dir / "cad.dxf");
    ASSERT_EQ(entities.size(), 1u);
    ASSERT_EQ(entities[0].attributes.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        const std::string& a = entities[0].attributes[k];
        EXPECT_EQ(a.substr(0, a.find('|')), k < 2 ? "puntos" : "cotas") << k;
    }

    // A survey without a system, given its datum and zone: to ETRS89 UTM 30. Its points and
    // line are no shapefile, which holds one kind of geometry; they are a GeoPackage.
    EXPECT_TRUE(Has(Run("-s ed50-wgs84 --huso=30 -m rejilla plano.dxf --omitir-fuera plano.shp").err,
                    "la capa «entities» tiene geometrías de varias clases (puntos, líneas o áreas), y un shapefile "
                    "guarda una sola: elija GeoPackage"));
    const Ran dxf = Run("-s ed50-wgs84 --huso=30 -m rejilla plano.dxf --omitir-fuera plano.gpkg");
    EXPECT_EQ(dxf.status, 1) << dxf.err;
    EXPECT_EQ(Read(dir / "plano.gpkg")[0].epsg, 25830);
    EXPECT_EQ(Read(dir / "plano.gpkg")[0].vertices.size(), 2u);
}

// Files GDAL cannot read whole, as users meet them (a shapefile cut short by a failed
// copy, a .cpg that lies) and as fuzzing and hostile senders make them (a KML track GDAL
// would crash on, a KMZ that would inflate to 600 MB): each ends within seconds, in one
// sentence or with what was lost named, and leaves nothing behind. (What grows without
// end as it is read: LayerWorkerTest.cpp.)
TEST_F(Layers, WhatGdalCannotReadIsContainedOrNamed) {
    std::string stands = "WKT,nombre\n";
    for (int i = 0; i < 10; ++i)
        stands += "\"POLYGON ((44000" + std::to_string(i) + " 4474000,441000 4474000,441000 4475000,44000" +
                  std::to_string(i) + " 4474000))\",rodal " + std::to_string(i) + "\n";
    WriteFile(dir / "r.csv", stands);
    ASSERT_TRUE(Ogr("ogr2ogr -f 'ESRI Shapefile' r.shp r.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO "
                    "-a_srs EPSG:23030"));
    for (const std::string cut : {"dbf", "shp"}) {
        for (const char* part : {"shp", "shx", "dbf", "prj"})
            fs::copy_file(dir / (std::string("r.") + part), dir / (cut + "." + part));
        const std::string bytes = ReadFile(dir / ("r." + cut));
        WriteFile(dir / (cut + "." + cut), bytes.substr(0, bytes.size() - (cut == "dbf" ? 200 : 40)));
    }
    // Stand names in Windows-1252 under a .cpg that says UTF-8.
    WriteFile(dir / "w.csv", "WKT,nombre\n\"POINT (440000 4474000)\",Rodal Pe\xF1" "alara \x80 \x93pino\x94\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f 'ESRI Shapefile' w.shp w.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO "
                    "-a_srs EPSG:23030 -lco ENCODING=''"));
    WriteFile(dir / "w.cpg", "UTF-8\n");
    WriteFile(dir / "track.kml",
              "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document>"
              "<Placemark><gx:Track><when>2024-05-01T10:00:00Z</when><gx:coord>-3.7 40.4 650</gx:coord>"
              "<gx:coord>-3.701 40.401 655</gx:coord><gx:coord>-3.702 40.402 655</gx:coord></gx:Track></Placemark>"
              "</Document></kml>");
    // A KMZ whose zip directory says its doc.kml inflates to 600 MB.
    WriteFile(dir / "bomba.py",
              "import zipfile, struct\nz = zipfile.ZipFile('bomba.kmz', 'w')\nz.writestr('doc.kml', '<kml/>')\nz.close()\n"
              "b = bytearray(open('bomba.kmz', 'rb').read())\nat = b.rfind(b'PK\\x01\\x02')\n"
              "b[at + 24:at + 28] = struct.pack('<I', 600 << 20)\nopen('bomba.kmz', 'wb').write(b)\n");
    ASSERT_TRUE(Ogr("python3 bomba.py")) << ReadFile(dir / "ogr.txt");
    const struct {
        std::string args;
        int status;
        std::vector<std::string> said;
    } cases[] = {
        {"track.kml t.csv", 2,
         {"no se puede leer como capa: el gx:Track de la línea 1 de track.kml tiene 3 posiciones (gx:coord) y 1 tiempo "
          "(when), que KML quiere iguales, y GDAL lo leería mal\n"}},
        {"bomba.kmz b.csv", 2, {"no se puede leer como capa: su KML ocupa 600 MB descomprimido, y Talpor lee KML de hasta 128 MB"}},
        {"-m helmert dbf.shp d.gpkg", 1,
         {"error: capa «dbf», registros 8 a 10: GDAL no ha podido leerlos y quedan fuera (", "capa «dbf»: 7 entidades",
          "; 3 registros que GDAL no ha podido leer, fuera"}},
        {"-m helmert shp.shp s.gpkg", 1,
         {"error: capa «shp», entidad 9: GDAL no ha podido leerla entera (", "capa «shp»: 10 entidades",
          "; 1 entidad sin geometría, escrita sin ella"}},
        {"-m helmert w.shp w.geojson", 0,
         {"; 1 texto que no era de la codificación del fichero, leído como Windows-1252"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Ran r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const std::string& s : c.said) EXPECT_TRUE(Has(r.err, s)) << r.err;
        // One sentence, whatever GDAL said (a sanitized build adds the worker's own report).
        if (c.status == 2) {
            EXPECT_EQ(Occurrences(r.err, "talpor-lote: "), 1u) << r.err;
        }
        for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    }
    EXPECT_TRUE(Ogr("python3 -c \"import json; p = json.load(open('w.geojson', encoding='utf-8'))['features'][0]"
                    "['properties']; assert p['nombre'] == 'Rodal Peñalara € “pino”', p\""))
        << ReadFile(dir / "ogr.txt");
    EXPECT_EQ(Read(dir / "d.gpkg").at(0).fids.size(), 7u);
    // Ctrl+C while GDAL hangs on a view that never gives its first row: the run ends as the
    // signal says, its temporary folder and its worker gone.
    WriteFile(dir / "vista.py",
              "import sqlite3\nc = sqlite3.connect(\"vista.gpkg\")\n"
              "c.execute(\"CREATE VIEW v AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) "
              "SELECT n AS fid, (SELECT geom FROM w LIMIT 1) AS geom FROM r ORDER BY n DESC\")\n"
              "c.execute(\"INSERT INTO gpkg_contents (table_name, data_type, identifier, srs_id) VALUES "
              "('v', 'features', 'v', 23030)\")\n"
              "c.execute(\"INSERT INTO gpkg_geometry_columns VALUES ('v', 'geom', 'POINT', 23030, 0, 0)\")\n"
              "c.commit()\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG vista.gpkg w.shp && python3 vista.py")) << ReadFile(dir / "ogr.txt");
    const std::string output = (dir / "v.gpkg").string(), input = (dir / "vista.gpkg").string();
    const char* argv[] = {TALPOR_LOTE, "-m", "helmert", input.c_str(), output.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TALPOR_LOTE, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::string temporary;
    for (int i = 0; i < 3000 && temporary.empty(); ++i) {
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().starts_with(".v.gpkg.")) temporary = e.path().filename().string();
        if (temporary.empty()) usleep(10000);
    }
    usleep(500000);  // GDAL at work on the view
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    usleep(200000);
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    for (const auto& e : fs::directory_iterator("/proc")) {  // no worker still at it
        const std::string command = ReadFile(e.path() / "cmdline");
        EXPECT_FALSE(!temporary.empty() && Has(command, temporary)) << command;
    }
}


// A layer's destination is what the user named and nothing else: never the input by any
// name, never a device or a pipe, standard output only for a format that streams, no file
// beside it replaced without a word; what a format cannot hold apart (names that differ
// only in case in a GeoPackage) is renamed and said; the DXF written opens in a second
// reader.
TEST_F(Layers, ALayerGoesWhereItIsToldAndNowhereElse) {
    WriteFile(dir / "p.csv", "WKT,nombre\n\"POINT (440000 4474000)\",a\n\"POINT (441000 4475000)\",b\n");
    // Properties as OpenStreetMap exports have them, one name in two cases.
    WriteFile(dir / "osm.geojson", "{\"type\": \"FeatureCollection\", \"features\": [{\"type\": \"Feature\", "
                                   "\"properties\": {\"name\": \"a\", \"Name\": \"A\", \"nota\\nlarga\": 1}, "
                                   "\"geometry\": {\"type\": "
                                   "\"Point\", \"coordinates\": [-3.7, 40.4]}}]}");
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG dos.gpkg p.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:23030 -nln 'Puntos de interés' "
                    "&& ogr2ogr -update dos.gpkg p.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:23030 -nln Recorridos "
                    "&& ogr2ogr -f 'ESRI Shapefile' montes.shp p.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:23030 "
                    "&& ln -s montes.shp enlace.shp && ln montes.dbf duro.dbf && mkfifo tuberia.gpkg"))
        << ReadFile(dir / "ogr.txt");
    const std::string before = ReadFile(dir / "montes.shp") + ReadFile(dir / "montes.dbf") + ReadFile(dir / "dos.gpkg");
    const struct {
        std::string args;
        std::string said;
    } refused[] = {
        {"montes.shp montes.shp", "«montes.shp» es el propio fichero de entrada"},
        {"montes.shp enlace.shp", "«enlace.shp» es el propio fichero de entrada"},
        {"montes.shp duro.shp", "«duro.dbf» es el propio fichero de entrada"},
        {"dos.gpkg dos.gpkg", "«dos.gpkg» es el propio fichero de entrada"},
        {"montes.shp /dev/null", "«/dev/null» es un dispositivo, no un fichero"},
        {"montes.shp tuberia.gpkg", "«tuberia.gpkg» es una tubería (FIFO), no un fichero"},
        {"montes.shp --formato=shp -", "Shapefile no se puede escribir en la salida estándar"},
    };
    for (const auto& c : refused) {
        const Ran r = Run("-m helmert " + c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_TRUE(Has(r.err, c.said)) << r.err;
    }
    EXPECT_EQ(ReadFile(dir / "montes.shp") + ReadFile(dir / "montes.dbf") + ReadFile(dir / "dos.gpkg"), before);
    EXPECT_TRUE(fs::is_character_file("/dev/null") && fs::is_fifo(dir / "tuberia.gpkg") && !fs::exists(dir / "-"));

    // A GeoJSON on standard output, read by a JSON parser.
    const Ran json = Run("-m helmert montes.shp --formato=geojson -");
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(Ogr("python3 -c \"import json; assert len(json.load(open('salida.txt'))['features']) == 2\""));

    // Two layers to one shapefile name: the second beside it, never over the user's own.
    fs::copy_file(dir / "montes.shp", dir / "Recorridos.shp");
    const Ran kept = Run("-m helmert dos.gpkg x.shp");
    EXPECT_EQ(kept.status, 2);
    EXPECT_TRUE(Has(kept.err, "ya existe «Recorridos.shp»: elija otro destino, o añada --reemplazar")) << kept.err;
    EXPECT_EQ(ReadFile(dir / "Recorridos.shp"), ReadFile(dir / "montes.shp"));
    EXPECT_FALSE(fs::exists(dir / "x.shp"));
    const Ran replaced = Run("-m helmert --reemplazar dos.gpkg x.shp");
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_TRUE(Has(replaced.err, "escritos también, junto al destino: «Recorridos.cpg», «Recorridos.dbf», «Recorridos.prj», "
                                  "«Recorridos.shp» y «Recorridos.shx»"))
        << replaced.err;
    EXPECT_EQ(Read(dir / "Recorridos.shp").at(0).fids.size(), 2u);

    // Names that a GeoPackage takes for one; a folder of shapefiles, which GDAL writes as a
    // subfolder, left whole when the run fails at its end.
    const Ran cased = Run("-m helmert osm.geojson cased.gpkg");
    EXPECT_TRUE(Has(cased.err, "el atributo «Name» escrito como «Name_2», pues el formato no distingue mayúsculas"))
        << cased.err;
    EXPECT_EQ(Read(dir / "cased.gpkg").at(0).attributes.at(0), "a|A|1|");
    // A name with a line break in it, named on its line of the summary.
    EXPECT_TRUE(Has(Run("-m helmert osm.geojson osm.dxf").err, "que DXF no guarda: «name», «Name» y «nota?larga»\n"));
    WriteFile(dir / "lejos.csv", "WKT,id\n\"POINT (440000 9000000)\",1\n");
    ASSERT_TRUE(Ogr("ogr2ogr -update dos.gpkg lejos.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:23030 -nln zz"));
    EXPECT_EQ(Run("-m helmert --formato=shp dos.gpkg carpeta").status, 2);
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();

    // Points in a GeoPackage layer declared of any geometry go to a GPS as waypoints.
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG generica.gpkg montes.shp -nlt GEOMETRY -t_srs EPSG:4230 -nln generica"));
    const Ran gpx = Run("-m helmert generica.gpkg puntos.gpx");
    EXPECT_EQ(gpx.status, 0) << gpx.err;
    EXPECT_EQ(Read(dir / "puntos.gpx").at(0).fids.size(), 2u);  // GDAL's "waypoints" layer
    WriteFile(dir / "area.csv", "WKT,id\n\"POLYGON ((440000 4474000,441000 4474000,441000 4475000,440000 4474000))\",9\n");
    ASSERT_TRUE(Ogr("ogr2ogr -append generica.gpkg area.csv -oo GEOM_POSSIBLE_NAMES=WKT -s_srs EPSG:23030 -t_srs EPSG:4230 "
                    "-nln generica"));
    EXPECT_TRUE(Has(Run("-m helmert generica.gpkg mixta.gpx").err,
                    "y la capa «generica» tiene geometrías de otros tipos o de varios: elija KML, KMZ o GeoJSON"));
    // DXF: each entity with a handle another reader takes (a shapefile's first id is 0).
    ASSERT_EQ(Run("-m helmert montes.shp plano.dxf").status, 0);
    EXPECT_TRUE(Ogr("/usr/bin/python3 -c \"import ezdxf; d = ezdxf.readfile('plano.dxf'); "
                    "assert len(d.modelspace()) == 2\""))
        << ReadFile(dir / "ogr.txt");
    // A DXF's own handles kept, hexadecimal as DXF writes them.
    WriteFile(dir / "hitos.dxf", "0\nSECTION\n2\nENTITIES\n0\nPOINT\n5\n2A\n8\n0\n10\n440000\n20\n4474000\n0\nPOINT\n5\n1F0\n"
                                 "8\n0\n10\n440001\n20\n4474001\n0\nENDSEC\n0\nEOF\n");
    ASSERT_EQ(Run("-s ed50-wgs84 --huso=30 -m helmert hitos.dxf hitos-etrs89.dxf").status, 0);
    EXPECT_TRUE(Ogr("/usr/bin/python3 -c \"import ezdxf; d = ezdxf.readfile('hitos-etrs89.dxf'); "
                    "h = [e.dxf.handle for e in d.modelspace()]; assert h == ['2A', '1F0'], h\""))
        << ReadFile(dir / "ogr.txt");
}

// KML as Talpor writes it, read back by xmllint and by GDAL: the texts XML escapes, each
// feature's own altitudeMode where it has one (absolute where its Z is an altitude), and
// every layer, an empty one too.
TEST_F(Layers, KmlKeepsTextsHeightsAndLayers) {
    const std::string name = "Pérez & Hijos <S.A.> ]]> \"a\" 'b'";
    WriteFile(dir / "p.csv", "WKT,Name,altitudeMode\n\"POINT Z (-3.7 40.4 10)\",\"Pérez & Hijos <S.A.> ]]> \"\"a\"\" 'b'\","
                             "relativeToGround\n"
                             "\"POINT Z (-3.71 40.41 650)\",Cumbre,\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG p.gpkg p.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:4230 "
                    "-nln rodales && ogr2ogr -update p.gpkg p.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO "
                    "-a_srs EPSG:4230 -nln vacia -where 'Name IS NULL'"))
        << ReadFile(dir / "ogr.txt");
    ASSERT_EQ(Run("-m helmert p.gpkg p.kml").status, 0);
    EXPECT_TRUE(Ogr("xmllint --noout p.kml")) << ReadFile(dir / "ogr.txt");
    const std::string kml = ReadFile(dir / "p.kml");
    EXPECT_TRUE(Has(kml, "<altitudeMode>relativeToGround</altitudeMode>") && Has(kml, "<altitudeMode>absolute</altitudeMode>"))
        << kml;
    const std::vector<Layer> back = Read(dir / "p.kml");
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].fids.size(), 2u);
    EXPECT_TRUE(Has(back[0].attributes.at(0), name)) << back[0].attributes.at(0);
    EXPECT_EQ(back[1].name, "vacia");
}

// What one layer format cannot hold that another had, as ogrinfo reads the outputs back:
// a GeoPackage of an ED50 UTM layer, an ETRS89 layer and a table without geometry, to one
// table (every value under its own name, the second layer in a table of its own), to a
// shapefile (UTF-8 texts with their .cpg, a date and time as ISO text, a long name cut)
// and to a KMZ (a 64-bit integer and a date as text), each change said with its count.
TEST_F(Layers, EveryValueKeepsItsNameAndTextOrTheChangeIsSaid) {
    const std::string stand = "Rodal Peñalara € “pino”";
    WriteFile(dir / "utm.csv", "id,Observaciones_tecnicas,visto,grande,dia,WKT\n"
                               "1," + stand + ",2024-05-01T10:30:00,9007199254740993,2024-05-01,POINT (440721 4474447)\n"
                               "2,Sin fecha,,,,POINT (440800 4474500)\n");
    WriteFile(dir / "etrs.csv", "codigo,WKT\nH7,POINT (-3.7 40.4)\n");
    WriteFile(dir / "pistas.csv", "firme,id,WKT\nasfalto,9,POINT (440900 4474600)\n");
    const std::string csv = " -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO";
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG capas.gpkg utm.csv -oo AUTODETECT_TYPE=YES -a_srs EPSG:23030 -nln rodales" + csv +
                    " && ogr2ogr -update capas.gpkg pistas.csv -oo AUTODETECT_TYPE=YES -a_srs EPSG:23030 -nln pistas" + csv +
                    " && ogr2ogr -update capas.gpkg etrs.csv -a_srs EPSG:4258 -nln hitos" + csv +
                    " && ogr2ogr -update capas.gpkg etrs.csv -nln notas -nlt NONE"))
        << ReadFile(dir / "ogr.txt");

    Ran r = Run("-m rejilla capas.gpkg tabla.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "capa «notas»: una tabla de atributos sin geometría, que no se convierte ni se escribe") &&
                Has(r.err, "escritos también, junto al destino: «tabla-hitos.csv»"))
        << r.err;
    const std::string first = ReadFile(dir / "tabla.csv"), second = ReadFile(dir / "tabla-hitos.csv");
    EXPECT_TRUE(Has(first, "Vértice;id;Observaciones_tecnicas;visto;grande;dia;firme;Este;Norte;Altitud;Latitud ETRS89;") &&
                Has(first, "\npistas;1;1;0;1;9;;;;;asfalto;440900,00;4474600,00;;") &&
                Has(first, ";Huso ETRS89;Este ETRS89;Norte ETRS89;Parámetros;Error;Aviso\n") &&
                Has(first, "rodales;1;1;0;1;1;" + stand + ";2024/05/01 10:30:00;9007199254740993;2024/05/01;;440721,00;") &&
                !Has(first, "hitos"))
        << first;
    // ETRS89 to ED50 UTM 30 by PROJ with the grid: 440707.493 4472597.508 (cct, +inv hgridshift).
    EXPECT_TRUE(Has(second, "Vértice;codigo;Latitud;Longitud;Altitud;Latitud ED50;") &&
                Has(second, "hitos;1;1;0;1;H7;40,40000000;-3,70000000;;") && Has(second, ";30T;440707,49;4472597,51;"))
        << second;

    r = Run("-m rejilla capas.gpkg rodales.shp --reemplazar");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "el atributo «Observaciones_tecnicas» se llama «Observacio», el nombre que ESRI Shapefile le da") &&
                Has(r.err, "el atributo «visto», fecha y hora, escrito como texto ISO 8601: un shapefile guarda fechas "
                           "sin hora (1 valor)"))
        << r.err;
    EXPECT_EQ(ReadFile(dir / "rodales.cpg"), "UTF-8");
    ASSERT_TRUE(Ogr("ogrinfo -ro -al rodales.shp"));
    const std::string listed = ReadFile(dir / "ogr.txt");
    EXPECT_TRUE(Has(listed, "Observacio (String) = " + stand + "\n") && Has(listed, "visto (String) = 2024-05-01T10:30:00\n") &&
                Has(listed, "grande (Integer64) = 9007199254740993\n") && Has(listed, "dia (Date) = 2024/05/01\n"))
        << listed;

    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG solo.gpkg capas.gpkg rodales"));
    r = Run("-m rejilla solo.gpkg rodales.kmz");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "el atributo «grande», entero de 64 bits, escrito como texto: KML no tiene ese tipo (1 valor)") &&
                Has(r.err, "el atributo «dia», fecha, escrito como texto ISO 8601: KML no tiene ese tipo (1 valor)"))
        << r.err;
    ASSERT_TRUE(Ogr("ogrinfo -ro -al rodales.kmz"));
    EXPECT_TRUE(Has(ReadFile(dir / "ogr.txt"), "grande (String) = 9007199254740993\n") &&
                Has(ReadFile(dir / "ogr.txt"), "dia (String) = 2024-05-01\n"))
        << ReadFile(dir / "ogr.txt");
    // GPX holds WGS84 alone: the advice names what holds ED50.
    r = Run("-s wgs84-ed50 rodales.kmz rodales.gpx");
    EXPECT_TRUE(Has(r.err, "GPX solo guarda WGS84, y la capa «rodales» se convierte a ED50: elija GeoPackage o una tabla CSV"))
        << r.err;
}

// Files a GIS reads that are not quite what Talpor writes: an RFC 7946 GeoJSON with heights
// (EPSG:4979, its Z above the ellipsoid), Talpor's own included; a .prj of ED50 / UTM 30
// under other names; a Google Earth KML of nested folders, an empty one and a phone's
// gx:MultiTrack with absolute altitudes; a KML with a DOCTYPE; lines before points for GPX.
// Positions and altitudes as PROJ gives them with the IGN grid and geoid (cct).
TEST_F(Layers, WhatAGisReadsIsReadAndItsStructureKept) {
    // Peñalara: h 2481.554 over WGS84 is 2428.000 above the sea (vgridshift on the geoid); ED50
    // UTM 30 419539.77 4522783.57 (+inv hgridshift on the grid).
    WriteFile(dir / "cumbre.csv", "nombre,WKT\nPeñalara,POINT Z (-3.955833 40.850278 2481.554)\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f GeoJSON cumbre.geojson cumbre.csv -lco RFC7946=YES -a_srs EPSG:4979 "
                    "-oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO"))
        << ReadFile(dir / "ogr.txt");
    // The same in a GeoPackage of ETRS89 3D (EPSG:4937).
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG cumbre.gpkg cumbre.csv -a_srs EPSG:4937 -oo GEOM_POSSIBLE_NAMES=WKT "
                    "-oo KEEP_GEOM_COLUMNS=NO"));
    Ran r;
    for (const char* input : {"cumbre.geojson", "cumbre.gpkg"}) {
        r = Run(std::string("-m rejilla --salida=utm --reemplazar ") + input + " cumbre-ed50.csv");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(ReadFile(dir / "cumbre-ed50.csv"), ";Peñalara;40,85027800;-3,95583300;2428,0;30T;419539,77;4522783,57;;\n"))
            << input << ReadFile(dir / "cumbre-ed50.csv") << r.err;
    }
    // Talpor's own 3D GeoJSON, fed back, gives the point it came from.
    WriteFile(dir / "punto.csv", "Vértice;X;Y;Cota\nV1;419539,77;4522783,57;2428\n");
    EXPECT_EQ(Run("-m rejilla -s ed50-wgs84 --huso=30 --formato=geojson punto.csv punto.geojson").status, 0);
    r = Run("-m rejilla --salida=utm punto.geojson vuelta.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(ReadFile(dir / "vuelta.csv"), ";2428,0;30T;419539,77;4522783,57;;\n")) << ReadFile(dir / "vuelta.csv");

    // ED50 / UTM 30 renamed: the projection alone (GDAL matches it at 70 %), then the datum too
    // (taken on the user's word), then a central meridian that differs (refused).
    WriteFile(dir / "h.csv", "id,WKT\n1,POINT (440721 4474447)\n");
    ASSERT_TRUE(Ogr("ogr2ogr obra.shp h.csv -a_srs EPSG:23030 -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO"));
    const std::string prj = ReadFile(dir / "obra.prj");
    const auto rename = [&](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const std::string projection = rename(prj, "ED_1950_UTM_Zone_30N", "Obra_Segovia_UTM");
    const std::string datum = rename(rename(projection, "GCS_European_1950", "GCS_Obra"), "D_European_1950", "D_Obra");
    const struct {
        std::string prj, options;
        int status;
        std::string said;
    } prjs[] = {
        {projection, "", 0, "capa «obra»: 1 entidad, 1 vértice convertido; ED50 UTM 30 (EPSG:23030) a ETRS89 UTM 30"},
        {datum, "", 2, "la capa «obra» está en «Obra_Segovia_UTM», que tiene los parámetros de ED50 UTM 30 (EPSG:23030) "
                       "pero no su nombre: si es ese sistema, dígalo con --sentido=ed50-wgs84 --huso=30"},
        {datum, "-s ed50-wgs84 --huso=30", 0, "su sistema «Obra_Segovia_UTM» se toma como ED50 UTM 30 (EPSG:23030)"},
        {rename(projection, "\"Central_Meridian\",-3.0", "\"Central_Meridian\",-3.001"), "-s ed50-wgs84 --huso=30", 2,
         "está en «Obra_Segovia_UTM», que Talpor no convierte"},
    };
    for (const auto& c : prjs) {
        SCOPED_TRACE(c.options + c.prj);
        WriteFile(dir / "obra.prj", c.prj);
        r = Run("-m rejilla --reemplazar " + c.options + " obra.shp obra.csv");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(Has(r.err, c.said)) << r.err;
        // PROJ with the grid: 440611.590 4474239.526.
        if (c.status == 0) {
            EXPECT_TRUE(Has(ReadFile(dir / "obra.csv"), ";440611,59;4474239,53;")) << ReadFile(dir / "obra.csv");
        }
    }

    const std::string kml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
        "xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Document><name>Excursiones</name>\n"
        "<Folder><name>Sierra</name><Folder><name>Picos</name><Placemark><name>Peñalara</name><Point>"
        "<altitudeMode>absolute</altitudeMode><coordinates>-3.955833,40.850278,2428</coordinates></Point></Placemark>"
        "</Folder>\n<Folder><name>Vacía</name></Folder></Folder>\n<Folder><name>Tracks</name><Placemark><name>Subida"
        "</name><gx:MultiTrack><altitudeMode>absolute</altitudeMode><gx:interpolate>0</gx:interpolate><gx:Track>"
        "<when>2024-05-01T10:00:00Z</when><when>2024-05-01T10:01:00Z</when><gx:coord>-3.96 40.84 677</gx:coord>"
        "<gx:coord>-3.959 40.841 792</gx:coord></gx:Track></gx:MultiTrack></Placemark></Folder>\n</Document></kml>\n";
    WriteFile(dir / "sierra.kml", kml);
    r = Run("sierra.kml sierra.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "capa «Vacía»: vacía, sin entidades\n")) << r.err;
    const std::string rows = ReadFile(dir / "sierra.csv");
    EXPECT_TRUE(Has(rows, ";Carpeta;Latitud;Longitud;Altitud;") && Has(rows, ";Peñalara;") &&
                Has(rows, ";Sierra/Picos;40,85027800;-3,95583300;2428,0;") &&
                Has(rows, ";Tracks;40,84000000;-3,96000000;677,0;") && Has(rows, ";Tracks;40,84100000;-3,95900000;792,0;") &&
                !Has(rows, "sin altura"))
        << rows;
    ASSERT_EQ(Run("sierra.kml sierra.gpkg").status, 0);
    ASSERT_EQ(Run("sierra.gpkg vuelta.kml").status, 0);
    EXPECT_TRUE(Ogr("xmllint --noout vuelta.kml")) << ReadFile(dir / "ogr.txt");
    std::vector<std::string> names;
    for (const Layer& l : Read(dir / "vuelta.kml")) names.push_back(l.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Sierra", "Picos", "Tracks", "Vacía"}));
    r = Run("vuelta.kml vuelta.csv");
    EXPECT_TRUE(Has(ReadFile(dir / "vuelta.csv"), ";Sierra/Picos;40,85027800;-3,95583300;2428,0;")) << ReadFile(dir / "vuelta.csv");
    // Features of one layer in sibling folders, each back in its own.
    WriteFile(dir / "hermanas.csv", "Name,Carpeta,WKT\nP1,Sierra/Picos,POINT (-3.9 40.8)\nV1,Sierra/Valles,POINT (-3.8 40.7)\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG hermanas.gpkg hermanas.csv -a_srs EPSG:4230 -nln puntos -oo GEOM_POSSIBLE_NAMES=WKT "
                    "-oo KEEP_GEOM_COLUMNS=NO"));
    ASSERT_EQ(Run("hermanas.gpkg hermanas.kml").status, 0);
    ASSERT_EQ(Run("hermanas.kml hermanas-ed50.csv").status, 0);
    const std::string sisters = ReadFile(dir / "hermanas-ed50.csv");
    EXPECT_TRUE(Has(sisters, ";P1;") && Has(sisters, ";puntos/Sierra/Picos;") && Has(sisters, ";V1;") &&
                Has(sisters, ";puntos/Sierra/Valles;"))
        << sisters;

    // A DOCTYPE (entities that could grow without end) refused before GDAL reads it, in Spanish.
    WriteFile(dir / "doc.kml", "<?xml version=\"1.0\"?>\n<!DOCTYPE kml [<!ENTITY a \"aaaa\">]>\n" + kml.substr(kml.find("<kml")));
    r = Run("doc.kml doc.csv");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "talpor-lote: doc.kml: no se puede leer como capa: la línea 2 de doc.kml declara un tipo de documento "
                     "(DOCTYPE), que un KML no lleva y Talpor no lee: quítelo del fichero o vuelva a exportarlo\n");

    // A line layer before a point layer: GPX wants its waypoints first.
    WriteFile(dir / "senda.csv", "id,WKT\n1,\"LINESTRING (-3.7 40.4,-3.71 40.41)\"\n");
    WriteFile(dir / "hito.csv", "id,WKT\n2,POINT (-3.7 40.4)\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG lp.gpkg senda.csv -a_srs EPSG:4230 -nln senda" + std::string(" -oo GEOM_POSSIBLE_NAMES=WKT") +
                    " && ogr2ogr -update lp.gpkg hito.csv -a_srs EPSG:4230 -nln hitos -oo GEOM_POSSIBLE_NAMES=WKT"));
    r = Run("lp.gpkg lp.gpx");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string gpx = ReadFile(dir / "lp.gpx");
    EXPECT_TRUE(Has(gpx, "<wpt ") && Has(gpx, "<rte>") && gpx.find("<wpt ") < gpx.find("<rte>")) << gpx;
}

}  // namespace

namespace {

// The PROJ pipeline from `epsg` (ED50 or ETRS89, UTM 29 to 31) to the system --destino names,
// through the IGN grid when the datum changes: what ogr2ogr and cct are given.
std::string PipelineTo(int epsg, const std::string& target, const std::string& grid) {
    const bool fromEd50 = epsg / 1000 == 23 || epsg == 4230, toEd50 = target.starts_with("ed50");
    // Degrees come in as their EPSG definition orders them, latitude first.
    std::string p = epsg < 5000 ? "+proj=pipeline +step +proj=axisswap +order=2,1 +step +proj=unitconvert +xy_in=deg +xy_out=rad"
                                : "+proj=pipeline +step +inv +proj=utm +zone=" + std::to_string(epsg % 100) +
                                      (fromEd50 ? " +ellps=intl" : " +ellps=GRS80");
    if (fromEd50 != toEd50) p += std::string(" +step ") + (toEd50 ? "+inv " : "") + "+proj=hgridshift +grids=" + grid;
    if (target.ends_with("grados")) return p + " +step +proj=unitconvert +xy_in=rad +xy_out=deg +step +proj=axisswap +order=2,1";
    return p + " +step +proj=utm +zone=" + target.substr(target.size() - 2) + (toEd50 ? " +ellps=intl" : " +ellps=GRS80");
}

int EpsgNamed(const std::string& target) {
    const bool degrees = target.ends_with("grados");
    const int base = target.starts_with("ed50") ? 23000 : 25800;
    return degrees ? (base == 23000 ? 4230 : 4258) : base + std::stoi(target.substr(target.size() - 2));
}

// An image's top left corner, in its georeference's units.
std::pair<double, double> ImageCorner(const fs::path& path) {
    GDALAllRegister();
    double g[6] = {};
    if (GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly)) {
        GDALGetGeoTransform(ds, g);
        GDALClose(ds);
    }
    return {g[0], g[3]};
}

int ImageEpsg(const fs::path& path) {
    GDALAllRegister();
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    if (ds == nullptr) return 0;
    OGRSpatialReferenceH srs = OSRNewSpatialReference(GDALGetProjectionRef(ds));
    OSRAutoIdentifyEPSG(srs);
    const char* code = OSRGetAuthorityCode(srs, nullptr);
    const int epsg = code != nullptr ? std::atoi(code) : 0;
    OSRDestroySpatialReference(srs);
    GDALClose(ds);
    return epsg;
}

}  // namespace

// A GIS department's project in mixed systems taken whole to one system in one run: a
// shapefile in ED50 UTM 30, a GeoPackage of four layers in ED50 UTM 30, ETRS89 UTM 30, ED50
// UTM 31 and WGS84 degrees, a GPS track, an ED50 table, an orthophoto and an image that
// states no system. To ETRS89 UTM 30 and 31, ED50 UTM 30 and 31 and ETRS89 degrees: every
// layer in the target's EPSG code, every vertex within a millimetre of ogr2ogr with the
// grid, a layer already there the same features, the table and each image's corner against
// cct, the GPX copied where it holds the target. A table is never taken by a guessed
// system; one, two or four files at once give the same summary and the same files; Ctrl+C
// half way leaves only whole files.
TEST_F(Layers, AProjectInMixedSystemsGoesWholeToOneSystem) {
    fs::create_directories(dir / "proyecto/capas");
    fs::create_directories(dir / "proyecto/gps");
    WriteFile(dir / "p.csv", "WKT,nombre\n\"POLYGON ((440000.5 4474000.25,441000 4474000,441000 4475000.75,440000.5 "
                             "4474000.25))\",Monte\n\"LINESTRING (452000 4480000,455000.125 4481000,458000 4479000)\",Río\n");
    WriteFile(dir / "f.csv", "WKT,fuente\n\"POINT (451000.123 4470007.77)\",Fuente Vieja\n\"POINT (452210 4471000)\",Caño\n");
    WriteFile(dir / "l.csv", "WKT,linde\n\"LINESTRING (250000 4470000,250050.5 4470100.25,250090 4470020)\",A\n");
    WriteFile(dir / "w.csv", "WKT,pozo\n\"POINT (-3.551234 40.391234)\",P1\n");
    const std::string csv = " -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO";
    ASSERT_TRUE(Ogr("ogr2ogr proyecto/capas/parcelas.shp p.csv -nlt LINESTRING -where \"nombre='Río'\" -a_srs EPSG:23030" + csv +
                    " && ogr2ogr -f GPKG proyecto/capas/mixta.gpkg p.csv -nln caminos -a_srs EPSG:23030" + csv +
                    " && ogr2ogr -update -f GPKG proyecto/capas/mixta.gpkg f.csv -nln fuentes -a_srs EPSG:25830" + csv +
                    " && ogr2ogr -update -f GPKG proyecto/capas/mixta.gpkg l.csv -nln lindes -a_srs EPSG:23031" + csv +
                    " && ogr2ogr -update -f GPKG proyecto/capas/mixta.gpkg w.csv -nln pozos -a_srs EPSG:4326" + csv +
                    " && gdal_create -q -outsize 300 200 -bands 3 -burn 90 -a_srs EPSG:23030 -a_ullr 440000 4475000 440600 "
                    "4474600 proyecto/orto.tif && gdal_create -q -outsize 300 200 -burn 7 -a_ullr 440000 4475000 440600 "
                    "4474600 proyecto/sin-sistema.tif"))
        << ReadFile(dir / "ogr.txt");
    const std::string gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"GPS\" xmlns=\"http://www.topografix.com/"
                            "GPX/1/1\"><wpt lat=\"40.4168\" lon=\"-3.7038\"><ele>650</ele><name>Sol</name></wpt></gpx>\n";
    WriteFile(dir / "proyecto/gps/ruta.gpx", gpx);
    WriteFile(dir / "proyecto/hitos.csv", "id;X;Y\n1;440721,15;4474447,20\n");

    // Never a guess: without --origen the table is refused, naming it, and nothing written of it.
    Ran r = Run("--destino=etrs89-utm30 -m rejilla proyecto sin");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "talpor-lote: proyecto/hitos.csv: rechazado: una tabla no dice en qué sistema están sus puntos, "
                           "y no se supone ninguno: indique el suyo con --origen"))
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "sin/hitos.csv"));

    const std::map<std::string, int> epsgOf = {
        {"parcelas", 23030}, {"caminos", 23030}, {"fuentes", 25830}, {"lindes", 23031}, {"pozos", 4326}};
    for (const std::string target : {"etrs89-utm30", "etrs89-utm31", "ed50-utm30", "ed50-utm31", "etrs89-grados"}) {
        SCOPED_TRACE(target);
        const fs::path out = dir / target;
        r = Run("--destino=" + target + " --origen=ed50-utm30 -m rejilla proyecto " + target);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.err, "talpor-lote: 6 ficheros convertidos, 0 con errores, 0 rechazados\n")) << r.err;
        for (const char* file : {"capas/parcelas.shp", "capas/mixta.gpkg"}) {
            const std::vector<Layer> in = Read(dir / "proyecto" / file), converted = Read(out / file);
            ASSERT_EQ(converted.size(), in.size()) << file;
            for (std::size_t l = 0; l < in.size(); ++l) {
                const int from = epsgOf.at(in[l].name);
                // WGS84 is on ETRS89's side: its degrees are there already in ETRS89's.
                const bool degrees = from < 5000, there = (from / 1000 == 23) == target.starts_with("ed50") &&
                                                         degrees == target.ends_with("grados") &&
                                                         (degrees || from % 100 == EpsgNamed(target) % 100);
                EXPECT_EQ(converted[l].epsg, EpsgNamed(target)) << in[l].name;
                EXPECT_EQ(converted[l].attributes, in[l].attributes);
                const std::size_t line = r.err.find("capa «" + in[l].name + "»: ");
                const std::string said = r.err.substr(line, r.err.find('\n', line) - line);
                EXPECT_EQ(Has(said, "(EPSG:" + std::to_string(EpsgNamed(target)) + "): copiada sin cambios"), there) << said;
                if (there) {
                    EXPECT_EQ(Farthest(converted[l].vertices, in[l].vertices), 0) << in[l].name;
                    continue;
                }
                ASSERT_TRUE(Ogr("rm -f ogr.gpkg && ogr2ogr -f GPKG ogr.gpkg proyecto/" + std::string(file) + " " + in[l].name +
                                " -a_srs EPSG:" + std::to_string(EpsgNamed(target)) + " -ct '" +
                                PipelineTo(from, target, grid) + "'"))
                    << ReadFile(dir / "ogr.txt");
                EXPECT_LT(Farthest(converted[l].vertices, Read(dir / "ogr.gpkg")[0].vertices),
                          target.ends_with("grados") ? 1e-8 : 0.001)
                    << in[l].name;
            }
        }
        // An image by its own system, one without by --origen's: each corner where cct puts it.
        double east = 0, north = 0;
        std::istringstream(testing_support::Output("echo '440000 4475000 0 0' | cct -d 9 " + PipelineTo(23030, target, grid))) >>
            east >> north;
        if (target.ends_with("grados")) std::swap(east, north);
        for (const char* image : {"orto.tif", "sin-sistema.tif"}) {
            EXPECT_EQ(ImageEpsg(out / image), EpsgNamed(target)) << image;
            const auto [x, y] = ImageCorner(out / image);
            const double tolerance = target.ends_with("grados") ? 1e-7 : 0.01;
            EXPECT_LT(std::max(std::abs(x - east), std::abs(y - north)), tolerance) << image << " " << x << " " << y;
        }
        if (target.starts_with("ed50")) {
            EXPECT_TRUE(Has(r.err, "talpor-lote: proyecto/gps/ruta.gpx: GPX solo guarda WGS84: sale como tabla «ruta.csv»\n"))
                << r.err;
            continue;
        }
        EXPECT_EQ(ReadFile(out / "gps/ruta.gpx"), gpx);
        // The table's point in degrees (8 decimals) where cct puts it.
        std::istringstream rows(ReadFile(out / "hitos.csv"));
        std::string header, row;
        std::getline(rows, header), std::getline(rows, row);
        std::vector<std::string> cells;
        for (std::istringstream split(row); std::getline(split, cells.emplace_back(), ';');) {
        }
        const std::string cct = testing_support::Output("echo '440721.15 4474447.20 0 0' | cct -d 9 " +
                                                        PipelineTo(23030, "etrs89-grados", grid));
        double lon = 0, lat = 0;
        std::istringstream(cct) >> lat >> lon;
        const auto number = [](std::string s) { return std::stod(s.replace(s.find(','), 1, ".")); };
        EXPECT_LT(std::abs(number(cells[5]) - lat), 2e-8) << row << " / " << cct;
        EXPECT_LT(std::abs(number(cells[6]) - lon), 2e-8) << row << " / " << cct;
        EXPECT_EQ(cells[7], target == "etrs89-utm31" ? "31T" : "30T") << row;
    }

    // The same run one, two or four files at once: the same summary, the same features.
    const auto listed = [&](const fs::path& root) {
        std::string all;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (!e.is_regular_file()) continue;
            all += fs::relative(e.path(), root).string() + "\n";
            if (e.path().extension() == ".gpkg")
                for (const Layer& l : Read(e.path())) all += l.name + std::to_string(l.vertices.size()) + l.attributes.at(0);
            else all += std::to_string(std::hash<std::string>()(ReadFile(e.path())));
        }
        return all;
    };
    std::string summaries[3], files[3];
    for (int i = 0; i < 3; ++i) {
        const std::string jobs = std::to_string(1 << i);
        r = Run("-j " + jobs + " --destino=etrs89-utm30 --origen=ed50-utm30 -m rejilla proyecto j" + jobs);
        ASSERT_EQ(r.status, 0) << r.err;
        summaries[i] = r.err;
        files[i] = listed(dir / ("j" + jobs));
    }
    EXPECT_EQ(summaries[0], summaries[1]);
    EXPECT_EQ(summaries[0], summaries[2]);
    EXPECT_EQ(files[0], files[1]);
    EXPECT_EQ(files[0], files[2]);

    // Ctrl+C half way through a larger project, to a process started with SIGINT's default as
    // a terminal starts it: it ends by the signal, and every file left is whole.
    for (int copy = 0; copy < 6; ++copy) {
        fs::create_directories(dir / ("grande/p" + std::to_string(copy)));
        fs::copy(dir / "proyecto", dir / ("grande/p" + std::to_string(copy)), fs::copy_options::recursive);
    }
    posix_spawnattr_t defaults;
    posix_spawnattr_init(&defaults);
    sigset_t interrupt;
    sigemptyset(&interrupt), sigaddset(&interrupt, SIGINT);
    posix_spawnattr_setsigdefault(&defaults, &interrupt);
    posix_spawnattr_setflags(&defaults, POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "errores.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const char* args[] = {TALPOR_LOTE, "-j", "2", "--destino=etrs89-utm30", "--origen=ed50-utm30", "-m", "rejilla", "grande",
                          "grande-etrs89", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TALPOR_LOTE, &actions, &defaults, const_cast<char**>(args), environ), 0);
    for (int i = 0; i < 6000 && !fs::exists(dir / "grande-etrs89/p1"); ++i) usleep(10000);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&defaults);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status << ReadFile(dir / "errores.txt");
    EXPECT_TRUE(Has(ReadFile(dir / "errores.txt"), "talpor-lote: interrumpido: ")) << ReadFile(dir / "errores.txt");
    for (const auto& e : fs::recursive_directory_iterator(dir / "grande-etrs89")) {
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
        const std::string ext = e.path().extension();
        if (ext == ".shp" || ext == ".gpkg") EXPECT_EQ(Read(e.path()).size(), ext == ".shp" ? 1u : 4u) << e.path();
        if (ext == ".csv" || ext == ".gpx") EXPECT_TRUE(ReadFile(e.path()).ends_with("\n")) << e.path();
        if (ext == ".tif") EXPECT_EQ(ImageEpsg(e.path()), 25830) << e.path();
    }
}

// One layer of points, lines and a polygon with a hole, with text, real, integer and date
// attributes, made by ogr2ogr in ED50 UTM 30 as MapInfo TAB and MIF, GML, FlatGeobuf,
// SpatiaLite and a CSV of WKT: each to ETRS89 UTM 30 with the grid in its own format,
// every vertex where ogr2ogr puts it with PROJ and the same grid, its system EPSG 25830,
// its features and attributes as they were.
TEST_F(Layers, MapInfoGmlFlatGeobufSpatiaLiteAndWktCsvGoWhereOgr2ogrPutsThem) {
    WriteFile(dir / "capa.csv",
              "WKT,nombre,superficie,codigo,alta\n"
              "\"POINT (440123.456 4474321.987)\",Fuente Ñ,1.5,7,2020-03-01\n"
              "\"LINESTRING (440000 4474000,441000.123 4475000.456,442000 4474500)\",\"Camino \"\"A\"\"\",0.25,12,1999-12-31\n"
              "\"POLYGON ((440000 4474000,441000 4474000,441000 4475000,440000 4475000,440000 4474000),"
              "(440200 4474200,440400 4474200,440400 4474400,440200 4474200))\",Monte,123.45,3,2001-01-02\n");
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG capa.gpkg capa.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO "
                    "-oo AUTODETECT_TYPE=YES -a_srs EPSG:23030 -nln capa"))
        << ReadFile(dir / "ogr.txt");
    // ogr2ogr writes no .prj beside a CSV: its system is the one the user says.
    const char* const formats[][4] = {{"MapInfo File", "tab", "", ""}, {"MapInfo File", "mif", "", ""}, {"GML", "gml", "", ""},
                                      {"FlatGeobuf", "fgb", "", ""}, {"SQLite", "sqlite", "-dsco SPATIALITE=YES", ""},
                                      {"CSV", "csv", "-lco GEOMETRY=AS_WKT", "--origen=ed50-utm30 --destino=etrs89-utm30 "}};
    for (const auto& [driver, extension, options, system] : formats) {
        SCOPED_TRACE(extension);
        const std::string in = "entrada." + std::string(extension), out = "salida." + std::string(extension);
        ASSERT_TRUE(Ogr("ogr2ogr -f '" + std::string(driver) + "' " + in + " capa.gpkg " + options)) << ReadFile(dir / "ogr.txt");
        ASSERT_TRUE(Ogr("ogr2ogr -f GPKG ogr-" + std::string(extension) + ".gpkg " + in + " -a_srs EPSG:25830 -ct '" +
                        PipelineTo(23030, "etrs89-utm30", grid) + "'"))
            << ReadFile(dir / "ogr.txt");
        const Ran r = Run("-m rejilla " + std::string(system) + in + " " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.err, "3 entidades, 13 vértices convertidos; ED50 UTM 30 (EPSG:23030)") &&
                    Has(r.err, " ETRS89 UTM 30 (EPSG:25830)"))
            << r.err;
        const std::vector<Layer> was = Read(dir / in), got = Read(dir / out), ogr = Read(dir / ("ogr-" + std::string(extension) + ".gpkg"));
        ASSERT_TRUE(got.size() == 1 && was.size() == 1 && ogr.size() == 1) << r.err;
        EXPECT_EQ(got[0].epsg, 25830);
        EXPECT_EQ(got[0].fids.size(), 3u);
        EXPECT_EQ(got[0].vertices.size(), 13u);
        EXPECT_LT(Farthest(got[0].vertices, ogr[0].vertices), 0.001);
        EXPECT_EQ(got[0].attributes, was[0].attributes);
        EXPECT_EQ(got[0].types, was[0].types);
    }
    // A destination named .mif is a MIF, with its .mid, whatever the input.
    ASSERT_EQ(Run("-m rejilla capa.gpkg desde-gpkg.mif").status, 0);
    ASSERT_EQ(Read(dir / "desde-gpkg.mif").size(), 1u);
    EXPECT_EQ(Read(dir / "desde-gpkg.mif")[0].fids.size(), 3u);
    EXPECT_TRUE(fs::exists(dir / "desde-gpkg.mid"));
    // In degrees too, a MapInfo table's vertices are where ogr2ogr puts them: its bounds are its data's.
    ASSERT_TRUE(Ogr("ogr2ogr -f GPKG ogr-grados.gpkg entrada.tab -a_srs EPSG:4258 -ct '" + PipelineTo(23030, "etrs89-grados", grid) +
                    "'"))
        << ReadFile(dir / "ogr.txt");
    ASSERT_EQ(Run("-m rejilla --destino=etrs89-grados entrada.tab grados.tab").status, 0);
    EXPECT_LT(Farthest(Read(dir / "grados.tab")[0].vertices, Read(dir / "ogr-grados.gpkg")[0].vertices), 1e-8);
    // With a .prj, as QGIS may write one, the CSV is in its system.
    WriteFile(dir / "entrada.prj", testing_support::Output("gdalsrsinfo -o wkt_esri EPSG:23030 | tr -d '\\n'"));
    ASSERT_EQ(Run("-m rejilla entrada.csv con-prj.csv").status, 0);
    EXPECT_LT(Farthest(Read(dir / "con-prj.csv")[0].vertices, Read(dir / "ogr-csv.gpkg")[0].vertices), 0.001);
    EXPECT_EQ(Read(dir / "con-prj.csv")[0].epsg, 25830);

    // Names and texts as people write them, where XML has no place for them, come out of a
    // GML that xmllint reads; a FlatGeobuf, which keeps no feature without a geometry, says
    // it left one out, and an empty layer is a file GDAL reads.
    WriteFile(dir / "nombres.csv", "WKT;Superficie (ha);Nº parcela;cod-ine;campo1.b;1er\n\"POINT (440000 4474000)\";1,5;\"a\x07z\";"
                                   "28079;x;y\n;2;sin punto;;;\nPOINT EMPTY;3;punto vacío;;;\n");
    Ran r = Run("-m rejilla --origen=ed50-utm30 --destino=etrs89-utm30 nombres.csv nombres.gml");
    EXPECT_TRUE(Has(r.err, "el atributo «Superficie (ha)» se llama «Superficie__ha_», el nombre que GML le da") &&
                Has(r.err, "el atributo «1er» se llama «_1er»") && Has(r.err, "el atributo «cod-ine» se llama «cod_ine»") &&
                !Has(r.err, "«campo1.b» se llama") &&
                Has(r.err, "1 texto con caracteres de control, que XML no admite, escritos como «\xEF\xBF\xBD»"))
        << r.err;
    EXPECT_TRUE(Ogr("xmllint --noout nombres.gml")) << ReadFile(dir / "ogr.txt");
    // GDAL reads back the names XML takes as they were, and its own for a hyphen, as ogr2ogr writes them.
    EXPECT_TRUE(Ogr("ogrinfo -ro -so nombres.gml nombres") && Has(ReadFile(dir / "ogr.txt"), "\ncod_ine: ") &&
                Has(ReadFile(dir / "ogr.txt"), "\ncampo1.b: ") && Has(ReadFile(dir / "ogr.txt"), "\n_1er: "))
        << ReadFile(dir / "ogr.txt");
    r = Run("-m rejilla --origen=ed50-utm30 --destino=etrs89-utm30 nombres.csv nombres.fgb");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "2 entidades sin geometría, que FlatGeobuf no guarda, dejadas fuera: 2, 3")) << r.err;
    WriteFile(dir / "vacia.csv", "WKT;nombre\n");
    EXPECT_EQ(Run("-m rejilla --origen=ed50-utm30 --destino=etrs89-utm30 vacia.csv vacia.fgb").status, 0);
    EXPECT_TRUE(Ogr("ogrinfo -ro -so vacia.fgb vacia")) << ReadFile(dir / "ogr.txt");

    // A parcel of the cadastre's INSPIRE GML 3.2, its system named in its surfaces alone, to
    // ED50 UTM 30; a GML 3 in EPSG 4258, whose URN puts latitude first, to ETRS89 UTM 30.
    // Nothing is written beside them as they are read (GDAL's .gfs).
    const std::string parcel = "440000.12 4474000.34 440030 4474000 440030 4474020 440000 4474020 440000.12 4474000.34";
    fs::create_directory(dir / "leida");
    WriteFile(dir / "leida/30900.gml",
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<gml:FeatureCollection xmlns:gml=\"http://www.opengis.net/gml/3.2\" "
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:base=\"urn:x-inspire:specification:gmlas:BaseTypes:3.2\" "
              "xmlns:cp=\"urn:x-inspire:specification:gmlas:CadastralParcels:3.0\" xsi:schemaLocation=\"urn:x-inspire:specification:"
              "gmlas:CadastralParcels:3.0 http://inspire.ec.europa.eu/schemas/cp/3.0/CadastralParcels.xsd\" gml:id=\"ES.SDGC.CP\">\n"
              "<gml:featureMember><cp:CadastralParcel gml:id=\"ES.SDGC.CP.9872023VH5797S\"><cp:areaValue uom=\"m2\">600</cp:areaValue>"
              "<cp:geometry><gml:MultiSurface gml:id=\"MultiSurface_ES.SDGC.CP.9872023VH5797S\" srsName=\"http://www.opengis.net/def/"
              "crs/EPSG/0/25830\"><gml:surfaceMember><gml:Surface gml:id=\"Surface_ES.SDGC.CP.9872023VH5797S.1\" srsName=\"http://www."
              "opengis.net/def/crs/EPSG/0/25830\"><gml:patches><gml:PolygonPatch><gml:exterior><gml:LinearRing><gml:posList "
              "srsDimension=\"2\" count=\"5\">" + parcel + "</gml:posList></gml:LinearRing></gml:exterior></gml:PolygonPatch>"
              "</gml:patches></gml:Surface></gml:surfaceMember></gml:MultiSurface></cp:geometry><cp:inspireId><base:Identifier>"
              "<base:localId>9872023VH5797S</base:localId><base:namespace>ES.SDGC.CP</base:namespace></base:Identifier></cp:inspireId>"
              "<cp:label>23</cp:label><cp:nationalCadastralReference>9872023VH5797S</cp:nationalCadastralReference>"
              "</cp:CadastralParcel></gml:featureMember>\n</gml:FeatureCollection>\n");
    WriteFile(dir / "leida/grados.gml",
              "<?xml version=\"1.0\"?>\n<ogr:FeatureCollection xmlns:ogr=\"http://ogr.maptools.org/\" "
              "xmlns:gml=\"http://www.opengis.net/gml\"><gml:featureMember><ogr:hito fid=\"hito.7\"><ogr:geometryProperty>"
              "<gml:Point srsName=\"urn:ogc:def:crs:EPSG::4258\"><gml:pos>40.41 -3.71</gml:pos></gml:Point></ogr:geometryProperty>"
              "<ogr:nombre>Vértice</ogr:nombre></ogr:hito></gml:featureMember></ogr:FeatureCollection>\n");
    const Ran cadastre = Run("-m rejilla leida/30900.gml catastro.gpkg");
    ASSERT_EQ(cadastre.status, 0) << cadastre.err;
    EXPECT_TRUE(Has(cadastre.err, "1 entidad, 5 vértices convertidos; ETRS89 UTM 30 (EPSG:25830) a ED50 UTM 30 (EPSG:23030)"))
        << cadastre.err;
    const Ran degrees = Run("--destino=etrs89-utm30 leida/grados.gml grados.gpkg");
    ASSERT_EQ(degrees.status, 0) << degrees.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "leida")) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"30900.gml", "grados.gml"}));
    std::istringstream corners(parcel);
    std::string points;
    for (std::string x, y; corners >> x >> y;) points += x + " " + y + " 0 0\n";
    std::istringstream cct(testing_support::Output("printf '" + points + "' | cct -d 6 " + PipelineTo(25830, "ed50-utm30", grid)));
    std::vector<Vertex> expected(5);
    for (Vertex& v : expected) cct >> v.x >> v.y >> v.z >> v.z;
    const std::vector<Layer> parcels = Read(dir / "catastro.gpkg");
    ASSERT_EQ(parcels.size(), 1u);
    EXPECT_EQ(parcels[0].epsg, 23030);
    EXPECT_LT(Farthest(parcels[0].vertices, expected), 0.001);
    EXPECT_TRUE(Has(parcels[0].attributes[0], "9872023VH5797S")) << parcels[0].attributes[0];
    std::istringstream cs2cs(testing_support::Output("echo '40.41 -3.71' | cs2cs -f %.6f EPSG:4258 EPSG:25830"));
    Vertex hito{};
    cs2cs >> hito.x >> hito.y;
    EXPECT_LT(Farthest(Read(dir / "grados.gpkg")[0].vertices, {hito}), 0.001);
}
