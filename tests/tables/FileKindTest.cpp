// What a file is, told from its content as GDAL tells it: tests/data/file-kinds.txt.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/DataFile.h"
#include "tables/FileKind.h"

namespace {

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size()) text.replace(at, what.size(), with);
    return text;
}

// The driver `gdalmanage identify` names for `path`; "-" for none.
std::string GdalDriverOf(const std::string& path) {
    std::string out;
    if (std::FILE* p = ::popen(("gdalmanage identify '" + path + "' 2>/dev/null").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
        ::pclose(p);
    }
    const std::size_t colon = out.rfind(": ");
    if (colon == std::string::npos) return "-";
    out = out.substr(colon + 2);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out.empty() ? "-" : out;
}

std::string Reading(const tables::WhatFile& what) {
    switch (what.kind) {
    case tables::FileKind::Unknown: return "unknown";
    case tables::FileKind::Table: return "table";
    case tables::FileKind::Layer: return "layer " + what.format;
    case tables::FileKind::Image: return "image " + what.format;
    case tables::FileKind::Sheet: return "sheet " + what.format;
    case tables::FileKind::Project: return "project " + what.format;
    case tables::FileKind::Refused: return "refused " + what.refusal;
    }
    return "";
}

TEST(FileKind, EachFileIsWhatGdalSaysItIsWhateverItsName) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("talpor-kinds-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const auto& r : testing_support::ReadDataFile("file-kinds.txt")) {
        SCOPED_TRACE(r.where);
        const std::string made = "cd '" + dir.string() + "' && " + Replaced(r[1], "{}", r[0]);
        ASSERT_EQ(std::system(made.c_str()), 0) << made;
        const std::string path = (dir / r[0]).string();
        const std::string reading = Reading(tables::WhatIs(path));
        if (r[2].starts_with("refused")) EXPECT_TRUE(reading.starts_with(r[2])) << reading;
        else EXPECT_EQ(reading, r[2]);
        EXPECT_EQ(GdalDriverOf(path), r[3]);
    }
    // What cannot be read yet is left to its name, and its reader.
    EXPECT_EQ(tables::WhatIs((dir / "no-existe.gpkg").string()).kind, tables::FileKind::Unknown);
    EXPECT_EQ(Reading(tables::WhatNameSays("/x/ORTO.JP2")), "image jp2");
    std::filesystem::remove_all(dir);
}

}  // namespace
