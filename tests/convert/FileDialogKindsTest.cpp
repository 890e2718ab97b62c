// What the file dialog proposes for each kind of input: tests/data/dialog-defaults.txt.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "convert/FileDialog.h"
#include "support/DataFile.h"
#include "support/FakePlatform.h"
#include "support/Files.h"

namespace {

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size()) text.replace(at, what.size(), with);
    return text;
}

// A list's item as shown up to its first blank ("ETRS89" of "ETRS89 (EPSG 4258…)" when
// `word`), or "-" where the user cannot use it (greyed out or hidden).
std::string Shown(form::FormModel& m, const char* name, bool word = false) {
    const form::Control& c = m.Get(name);
    return !c.enabled || !c.visible ? "-" : word ? c.ListText().substr(0, c.ListText().find(' ')) : c.ListText();
}

TEST(FileDialog, EachKindOfInputIsOfferedItsOwnDefaults) {
    testing_support::TempFolder folder;
    testing_support::WriteFile(folder.path / "ref.geojson",
                               R"({"type": "FeatureCollection", "crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::23030"}},)"
                               R"( "features": [{"type": "Feature", "properties": {"n": "a"}, "geometry": {"type": "Point", "coordinates": [440000, 4474000]}}]})");
    testing_support::WriteFile(folder.path / "wgs.geojson",
                               R"({"type": "FeatureCollection", "features": [{"type": "Feature", "properties": {"name": "a"},)"
                               R"( "geometry": {"type": "Point", "coordinates": [-3.7, 40.4166667]}}]})");
    core::Grids grids(TALPOR_DATA_DIR, "");
    // The controls whose use the table lists.
    const std::vector<std::pair<const char*, int>> controls = {
        {"CmbSeparador", -1}, {"CmbCabecera", -1}, {"TxtColumnas", -1}, {"CmbSistema", -1}, {"CmbOrigen", -1},
        {"CmbHuso", -1},      {"CmbAltura", -1},   {"OptAltura", 0},    {"CmbMetodo", -1},  {"ChkSalida", 0},
        {"CmbDecimal", -1},   {"CmbFormato", -1},  {"ChkRemuestrear", -1}, {"ChkOmitir", -1}, {"CmbEtiqueta", -1}};
    int n = 0;
    for (const auto& r : testing_support::ReadDataFile("dialog-defaults.txt")) {
        SCOPED_TRACE(r.where + ": " + r[0]);
        const std::filesystem::path dir = folder.path / ("caso" + std::to_string(++n));
        std::filesystem::create_directories(dir);
        ASSERT_EQ(std::system(("cd '" + dir.string() + "' && " + r[1]).c_str()), 0) << r[1];
        std::vector<std::string> inputs;
        std::istringstream names(r[0]);
        for (std::string name; names >> name;) inputs.push_back(name == "." ? dir.string() : (dir / name).string());
        testing_support::FakePlatform platform;
        convert::FileDialog dialog(platform, grids, r[2] == "wgs84-ed50" ? core::Direction::WGS84ToED50 : core::Direction::ED50ToWGS84,
                                   30, inputs);
        form::FormModel& m = dialog.Model();
        std::string used;
        for (const auto& [name, index] : controls) {
            const form::Control& c = m.Get(name, index);
            if (c.enabled && c.visible) used += (used.empty() ? "" : " ") + std::string(name);
        }
        // The destination from the row's folder: "../caso13_WGS84" for a folder beside it.
        const std::string destination = Replaced(Replaced(dialog.Output(), dir.string() + "/", ""), folder.Str() + "/", "../");
        const std::string seen = Shown(m, "CmbFormato") + " | " + destination + " | " + Shown(m, "CmbHuso") + " | " +
                                 Shown(m, "CmbAltura") + " | " + Shown(m, "CmbEtiqueta", true) + " | " + used + " | " +
                                 (dialog.Problem().empty() ? "-" : dialog.Problem());
        EXPECT_EQ(seen, r[3] + " | " + r[4] + " | " + r[5] + " | " + r[6] + " | " + r[7] + " | " + r[8] + " | " + r[9]);
    }
    // A folder's files counted by kind, a QGIS project as one.
    const std::filesystem::path mixed = folder.path / "mezcla";
    std::filesystem::create_directories(mixed);
    std::filesystem::copy_file(folder.path / "ref.geojson", mixed / "capa.geojson");
    testing_support::WriteFile(mixed / "puntos.csv", "x;y\n440000;4474000\n");
    testing_support::WriteFile(mixed / "mapa.qgs", "<qgis version=\"3.22.16\">\n</qgis>\n");
    testing_support::FakePlatform platform;
    convert::FileDialog dialog(platform, grids, core::Direction::ED50ToWGS84, 30, {mixed.string()});
    const std::string preview = dialog.Model().Get("LblPrevia").text;
    EXPECT_EQ(preview.substr(0, preview.find('\n')), "3 ficheros: 1 capa, 1 tabla y 1 proyecto de QGIS");
}

}  // namespace
