// Every system an image goes to, as GDAL reads it in what talpor-lote writes:
// tests/data/image-systems.txt.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/DataFile.h"
#include "support/Files.h"

namespace {

// The first line of what `command` writes, without its blanks: gdalsrsinfo's "EPSG:25830".
std::string FirstLine(const std::string& command) {
    const std::string out = testing_support::Output(command);
    const std::size_t start = out.find_first_not_of(" \n");
    return start == std::string::npos ? "" : out.substr(start, out.find('\n', start) - start);
}

TEST(Rasters, EachTargetSystemIsTheEpsgCodeGdalReadsInTheImageWritten) {
    testing_support::TempFolder folder;
    const std::string cd = "cd '" + folder.Str() + "' && ";
    ASSERT_EQ(std::system((cd + "gdal_create -q -of GTiff -outsize 16 16 -bands 1 -burn 7 -a_srs EPSG:23030 "
                                "-a_ullr 440000 4474160 440160 4474000 orto.tif && "
                                "gdal_translate -q -of JPEG -co WORLDFILE=YES orto.tif orto.jpg && "
                                "gdal_translate -q -of PNG -co WORLDFILE=YES orto.tif orto.png && "
                                "gdal_translate -q -of AAIGrid orto.tif orto.asc")
                               .c_str()),
              0);
    // Each case a run of its own, four at a time: the runs' start is most of their time.
    const auto records = testing_support::ReadDataFile("image-systems.txt");
    std::string runs;
    for (const auto& r : records)
        runs += "'" TALPOR_LOTE "' --destino=" + r[0] + " " + r[2] + " " + r[1] + " " + r[3] + " 2> " + r[3] + ".txt; echo $? >> " +
                r[3] + ".txt\n";
    testing_support::WriteFile(folder.path / "casos.sh", runs);
    ASSERT_EQ(std::system((cd + "xargs -d '\\n' -P 4 -n 1 sh -c < casos.sh").c_str()), 0);
    for (const auto& r : records) {
        SCOPED_TRACE(r.where + ": --destino=" + r[0] + " " + r[1] + " " + r[3]);
        const std::string said = testing_support::ReadFile(folder.path / (r[3] + ".txt"));
        ASSERT_TRUE(said.ends_with("\n0\n")) << said;
        const std::string output = "'" + (folder.path / r[3]).string() + "'";
        EXPECT_EQ(FirstLine("gdalsrsinfo -o epsg " + output + " 2>&1"), "EPSG:" + r[4]);
        const std::filesystem::path prj = folder.path / (r[3].substr(0, r[3].rfind('.')) + ".prj");
        if (std::filesystem::exists(prj)) {
            EXPECT_EQ(FirstLine("gdalsrsinfo -o epsg '" + prj.string() + "' 2>&1"), "EPSG:" + r[4]);
        }
        const std::string info = testing_support::Output("gdalinfo " + output + " 2>&1");
        const bool cog = r[5] == "COG";
        EXPECT_TRUE(info.starts_with("Driver: " + (cog ? std::string("GTiff") : r[5]) + "/")) << info;
        EXPECT_EQ(info.find("LAYOUT=COG") != std::string::npos, cog) << info;
    }
}

}  // namespace
