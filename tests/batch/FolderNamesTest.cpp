// The name of each file a folder run writes: tests/data/folder-names.txt.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/DataFile.h"
#include "support/Files.h"

namespace {

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size()) text.replace(at, what.size(), with);
    return text;
}

TEST(FolderNames, EachFileIsWrittenUnderItsOwnNameWithTheExtensionOfWhatItHolds) {
    testing_support::TempFolder folder;
    testing_support::WriteFile(folder.path / "ref.geojson",
                               R"({"type": "FeatureCollection", "crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::23030"}},)"
                               R"( "features": [{"type": "Feature", "properties": {"n": "a"}, "geometry": {"type": "Point", "coordinates": [440000, 4474000]}}]})");
    testing_support::WriteFile(folder.path / "wgs.geojson",
                               R"({"type": "FeatureCollection", "features": [{"type": "Feature", "properties": {"n": "a"},)"
                               R"( "geometry": {"type": "Point", "coordinates": [-3.7, 40.4166667]}}]})");
    // The files of the same options in one folder each, made in the file's order.
    std::map<std::string, std::string> folders;  // options -> folder
    const auto records = testing_support::ReadDataFile("folder-names.txt");
    for (const auto& r : records) {
        if (folders.count(r[0]) == 0) folders[r[0]] = "entrada" + std::to_string(folders.size());
        const std::filesystem::path in = folder.path / folders[r[0]];
        std::filesystem::create_directories(in);
        const std::string made = "cd '" + in.string() + "' && export TALPOR_TEST_DATA='" TALPOR_TEST_DATA "' && " + Replaced(r[2], "{}", r[1]);
        ASSERT_EQ(std::system(made.c_str()), 0) << r.where << ": " << made;
    }
    for (const auto& [options, in] : folders) {
        const std::string run = "cd '" + folder.Str() + "' && '" TALPOR_LOTE "' " + options + " " + in + " salida-" + in + " 2> " + in + ".txt";
        std::system(run.c_str());
    }
    for (const auto& r : records) {
        const std::string in = folders[r[0]];
        SCOPED_TRACE(r.where + ": " + r[1] + " " + r[0]);
        const std::filesystem::path out = folder.path / ("salida-" + in);
        if (r[3] == "-") {
            EXPECT_FALSE(std::filesystem::exists(out / r[1]));
        } else {
            EXPECT_TRUE(std::filesystem::exists(out / r[3])) << testing_support::ReadFile(folder.path / (in + ".txt"));
            // Under that name alone: not also under its input's, where the two differ.
            if (r[3] != r[1]) {
                EXPECT_FALSE(std::filesystem::exists(out / r[1]));
            }
        }
    }
}

}  // namespace
