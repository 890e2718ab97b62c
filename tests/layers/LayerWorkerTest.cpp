// The worker process GDAL reads layers in, through the library as the window calls it:
// the settings it is given arrive whole, and what a file may cost is bounded — features
// and vertices by the input's bytes, one feature's vertices, a KML's size, the memory,
// the time without a feature read — each ending in one sentence with nothing left behind;
// a user's cancel stops it the same way.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "layers/LayerWorker.h"
#include "layers/Layers.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;
using testing_support::WriteFile;

TEST(LayerWorker, SettingsArriveWhole) {
    tables::Settings s;
    s.conversion = {core::Direction::ED50ToWGS84, tables::Method::MolodenskyNIMA, tables::InputForm::Utm, 31, nullptr,
                    true, true, false};
    s.outputs = {false, true, false, true, false, true, true};
    s.layout.separator = tables::Separator::Tab;
    s.layout.header = false;
    s.layout.pointColumns = {"Este\tX", "Norte\\n", "3"};
    s.layout.heightColumn = "Cota\n";
    s.layout.findHeight = false;
    s.decimalSign = '.';
    s.format = tables::Format::GeoJson;
    s.outputsChosen = true;
    s.layers = {"gpkg", true, true, true, true, true, true};
    EXPECT_EQ(layers::DecodeSettings(layers::EncodeSettings(s)), s);
    EXPECT_EQ(layers::DecodeSettings(layers::EncodeSettings(tables::Settings{})), tables::Settings{});
}

class LayerLimits : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string stands = "WKT,nombre\n";
        for (int i = 0; i < 20; ++i)
            stands += "\"POLYGON ((440000 4474000,441000 4474000,441000 4475000,440000 4474000))\",rodal " +
                      std::to_string(i) + "\n";
        WriteFile(dir / "r.csv", stands);
        // A view whose query repeats without end, and one that never gives its first row.
        WriteFile(dir / "vistas.py",
                  "import shutil, sqlite3\nfor name, order in (('sin_fin', ''), ('sin_primera', ' ORDER BY n DESC')):\n"
                  "    shutil.copy('r.gpkg', name + '.gpkg')\n    c = sqlite3.connect(name + '.gpkg')\n"
                  "    c.execute(f'CREATE VIEW {name} AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) "
                  "SELECT n AS fid, (SELECT geom FROM rodales LIMIT 1) AS geom FROM r{order}')\n"
                  "    c.execute('INSERT INTO gpkg_contents (table_name, data_type, identifier, srs_id) VALUES (?, ?, ?, ?)', "
                  "(name, 'features', name, 23030))\n"
                  "    c.execute('INSERT INTO gpkg_geometry_columns VALUES (?, ?, ?, ?, 0, 0)', (name, 'geom', 'POLYGON', 23030))\n"
                  "    c.commit()\n");
        ASSERT_EQ(std::system(("cd '" + dir.string() + "' && ogr2ogr -f 'ESRI Shapefile' r.shp r.csv -oo "
                               "GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:23030 && ogr2ogr -f GPKG "
                               "r.gpkg r.csv -oo GEOM_POSSIBLE_NAMES=WKT -a_srs EPSG:23030 -nln rodales && python3 "
                               "vistas.py").c_str()),
                  0);
        settings.conversion.method = tables::Method::Helmert;
    }
    // The sentence a run ends with, "" when it ends well; nothing is left beside its output.
    std::string Refusal(const std::string& input, const layers::LayerLimits& limits, const std::string& output = "x.gpkg",
                        const layers::LayerProgress& progress = {}) {
        std::string said;
        try {
            layers::ConvertLayers((dir / input).string(), (dir / output).string(), settings, progress, {}, limits);
        } catch (const tables::RunError& e) {
            said = e.what();
        }
        for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
        if (!said.empty()) {
            EXPECT_FALSE(fs::exists(dir / output)) << said;
        }
        return said;
    }
    testing_support::TempFolder folder;
    const fs::path& dir = folder.path;
    tables::Settings settings;
};

TEST_F(LayerLimits, WhatGrowsHangsOrSwellsEndsInOneSentence) {
    const std::string unread = "no se puede leer como capa: ";
    layers::LayerLimits few;
    few.features = 100, few.perByte = 0;
    EXPECT_TRUE(Refusal("sin_fin.gpkg", few).starts_with(unread + "da más de 100 entidades, muchas más de las que caben"));
    few = {};
    few.vertices = 50, few.perByte = 0;
    EXPECT_TRUE(Refusal("r.shp", few).starts_with(unread + "da más de 50 vértices, muchas más de las que caben"));
    few = {};
    few.featureVertices = 3;
    EXPECT_EQ(Refusal("r.shp", few, "x.kml"), unread + "la entidad 0 de la capa «r» tiene más de 3 vértices");
    few = {};
    few.idleSeconds = 1, few.idleBytesPerSecond = 1e12;
    const std::string hung = Refusal("sin_primera.gpkg", few);
    EXPECT_TRUE(hung.starts_with(unread + "GDAL lleva ") && hung.ends_with(" s sin leer ninguna entidad")) << hung;
    few = {};
    few.memory = 8u << 20;
    EXPECT_EQ(Refusal("sin_fin.gpkg", few, "x.csv"), unread + "GDAL necesita para leerla más de 8 MB de memoria");
    few = {};
    few.kmlBytes = 100;
    WriteFile(dir / "p.kml", "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><Placemark><Point><coordinates>"
                             "-3.7,40.4</coordinates></Point></Placemark></Document></kml>");
    EXPECT_EQ(Refusal("p.kml", few, "p.csv"), unread + "su KML ocupa 145 bytes, y Talpor lee KML de hasta 100 bytes");
    // The worker killed as GDAL kills it when it fails (a signal of its own): one sentence.
    std::thread killer([&] {
        for (int i = 0; i < 500; ++i) {
            usleep(20000);
            for (const auto& e : fs::directory_iterator("/proc")) {
                const std::string command = testing_support::ReadFile(e.path() / "cmdline");
                if (command.find("talpor-capas") != std::string::npos && command.find(dir.string()) != std::string::npos) {
                    usleep(300000);
                    kill(std::atoi(e.path().filename().c_str()), SIGABRT);
                    return;
                }
            }
        }
    });
    const std::string crashed = Refusal("sin_primera.gpkg", {});
    killer.join();
    EXPECT_EQ(crashed, unread + "GDAL ha fallado al leerla (abortada)");
    // The user's cancel, from the progress the window shows.
    struct Cancelled {};
    EXPECT_THROW(Refusal("sin_fin.gpkg", {}, "z.gpkg",
                         [](std::uint64_t features, std::uint64_t) {
                             if (features > 1000) throw Cancelled{};
                         }),
                 Cancelled);
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    EXPECT_FALSE(fs::exists(dir / "z.gpkg"));
}

}  // namespace
