// talpor-gdal.so: GIS layers and images read and written through GDAL's C API. This file
// holds what every part shares, GDAL's messages collected and a dataset opened with the
// one driver of its format, and the module's entry, the table of its functions; the
// layers are read and written in GdalLayers.cpp, images read in GdalImages.cpp and
// written in GdalImageWriting.cpp.
#include "gdal/GdalParts.h"


#include "tables/Encoding.h"
#include "tables/SystemError.h"
#include "gdal/KmlStructure.h"
#include "gdal/KmlWriter.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <algorithm>
#include <array>
#include <functional>
#include <cctype>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gdal {


void CopyText(const char* text, char* to, int size) {
    if (to == nullptr || size <= 0) return;
    std::snprintf(to, static_cast<std::size_t>(size), "%s", text != nullptr ? text : "");
}

// GDAL's words as a message may hold them: valid UTF-8 on one line, control characters
// (a line break inside, a byte of a damaged file) as blanks.
std::string OneLine(const char* text) {
    std::string line = tables::ValidUtf8(text != nullptr ? text : "");
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// `what` failed, in a sentence, with GDAL's last error in brackets when it gave one.
void LastError(const char* what, char* error, int size) {
    const std::string message = OneLine(CPLGetLastErrorMsg());
    CopyText((message.empty() ? std::string(what) : std::string(what) + " (" + message + ")").c_str(), error, size);
}

// Where GDAL's messages go (GdalParts.h).
thread_local Reports* t_reports = nullptr;
std::mutex g_imageMutex;
Reports* g_imageReports = nullptr;

void Add(Reports& reports, CPLErr level, const std::string& text) {
    if (reports.messages.find(text) == std::string::npos && reports.messages.size() < 1000)
        reports.messages += (reports.messages.empty() ? "" : "; ") + text;
    reports.failure = reports.failure || level >= CE_Failure;
}

void Collect(CPLErr level, CPLErrorNum, const char* message) {
    if (level < CE_Warning) return;
    std::string text = OneLine(message);
    // libjpeg's warnings end with GDAL's advice to make them errors.
    if (const std::size_t advice = text.find(" (this warning can be turned"); advice != std::string::npos) text.resize(advice);
    {
        const std::lock_guard<std::mutex> lock(g_imageMutex);
        if (g_imageReports != nullptr) Add(*g_imageReports, level, text);
    }
    if (t_reports != nullptr) Add(*t_reports, level, text);
}

void Register() {
    static const bool done = [] {
        GDALAllRegister();
        CPLSetErrorHandler(Collect);
        // A VRT reads images, not any file as raw pixels, and runs no code.
        CPLSetConfigOption("GDAL_VRT_ENABLE_RAWRASTERBAND", "NO");
        CPLSetConfigOption("GDAL_VRT_ENABLE_PYTHON", "NO");
        // A file grown past the process's size limit fails its write, which says so,
        // rather than ending the worker.
        std::signal(SIGXFSZ, SIG_IGN);
        // The drivers follow the program's own path rules: no network, no configuration.
        // A file naming an address (a GML's schema, a VRT's source) finds every request
        // sent to a proxy on a closed local port, refused at once.
        CPLSetConfigOption("GDAL_HTTP_TIMEOUT", "1");
        CPLSetConfigOption("GDAL_HTTP_MAX_RETRY", "0");
        CPLSetConfigOption("GDAL_HTTP_PROXY", "127.0.0.1:9");
        CPLSetConfigOption("GDAL_HTTP_PROXYUSERPWD", nullptr);
        ::unsetenv("no_proxy");
        ::unsetenv("NO_PROXY");
        // SQLite's files (GeoPackage, SpatiaLite) keep 1 MB of pages each, not 2: a layer
        // is read once and written once, in order, and a larger cache was no faster.
        if (CPLGetConfigOption("OGR_SQLITE_CACHE", nullptr) == nullptr) CPLSetConfigOption("OGR_SQLITE_CACHE", "1");
        return true;
    }();
    (void)done;
}

// The whole text of a file read through VSI; "" when it cannot be read.
std::string ReadAllOf(const std::string& vsiPath) {
    std::string text;
    VSILFILE* f = VSIFOpenL(vsiPath.c_str(), "rb");
    if (f == nullptr) return text;
    std::vector<char> chunk(std::size_t{1} << 20);
    for (std::size_t n; (n = VSIFReadL(chunk.data(), 1, chunk.size(), f)) > 0;) text.append(chunk.data(), n);
    VSIFCloseL(f);
    return text;
}

// The KML files of a KML or KMZ input, as VSI paths with the names they go by.
std::vector<std::pair<std::string, std::string>> KmlFiles(const char* path) {
    const std::string p = path;
    const bool kmz = p.size() > 4 && EQUAL(p.c_str() + p.size() - 4, ".kmz");
    if (!kmz) return {{p, CPLGetFilename(path)}};
    std::vector<std::pair<std::string, std::string>> files;
    const std::string root = "/vsizip/{" + p + "}";
    char** inside = VSIReadDirRecursive(root.c_str());
    for (char** f = inside; f != nullptr && *f != nullptr; ++f) {
        const std::string name = *f;
        if (name.size() > 4 && EQUAL(name.c_str() + name.size() - 4, ".kml")) files.emplace_back(root + "/" + name, name);
    }
    CSLDestroy(inside);
    return files;
}

TalporGdalData* Open(const char* path, const char* const* drivers, char* error, int size) {
    try {
        Register();
        CPLErrorReset();
        // A KML's structure, read from its text first: what GDAL's reader leaves out, and
        // a track it would read past the end of.
        gdal::KmlStructure kml;
        const bool isKml = drivers != nullptr && drivers[0] != nullptr && std::strcmp(drivers[0], "LIBKML") == 0;
        if (isKml) {
            const auto files = KmlFiles(path);
            for (std::size_t i = 0; i < files.size(); ++i) {
                gdal::KmlStructure scanned = gdal::ScanKml(ReadAllOf(files[i].first), files[i].second);
                if (!scanned.problem.empty()) {
                    CopyText(scanned.problem.c_str(), error, size);
                    return nullptr;
                }
                // The one GDAL reads layers from: a KMZ's doc.kml, else its first.
                if (i == 0 || files[i].second == "doc.kml") kml = std::move(scanned);
            }
        }
        // A GML's system is looked for in every feature: a cadastre's is named in its
        // surfaces' srsName alone, which GDAL's first look does not reach.
        const char* const kGml[] = {"WRITE_GFS=NO", "FORCE_SRS_DETECTION=YES", nullptr};
        const char* const kCsv[] = {"GEOM_POSSIBLE_NAMES=WKT", "KEEP_GEOM_COLUMNS=NO", nullptr};
        const auto only = [&](const char* driver) {
            return drivers != nullptr && drivers[0] != nullptr && std::strcmp(drivers[0], driver) == 0;
        };
        const char* const* options = only("GML") ? kGml : only("CSV") ? kCsv : nullptr;
        // A CSV of another name (a .txt of WKT) is one by the CSV driver's prefix.
        const std::size_t length = std::strlen(path);
        const bool csvNamed = length > 4 && EQUAL(path + length - 4, ".csv");
        const std::string name = only("CSV") && !csvNamed ? std::string("CSV:") + path : std::string(path);
        GDALDatasetH dataset = GDALOpenEx(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, options, nullptr);
        if (dataset == nullptr) {
            LastError("GDAL no la reconoce como una capa que sepa leer", error, size);
            return nullptr;
        }
        auto* data = new TalporGdalData;
        data->dataset = dataset;
        const int layers = GDALDatasetGetLayerCount(dataset);
        if (isKml) {
            std::vector<std::string> names;
            for (int l = 0; l < layers; ++l) names.emplace_back(OGR_L_GetName(GDALDatasetGetLayer(dataset, l)));
            data->containerOf = gdal::LayerContainers(kml, names);
            if (!data->containerOf.empty()) {
                for (int l = 0; l < layers; ++l)
                    data->folders.push_back(tables::ValidUtf8(gdal::FolderPath(kml, data->containerOf[l], names[l])));
                data->kml = std::move(kml);
            }
        }
        return data;
    } catch (const std::exception& e) {
        CopyText(e.what(), error, size);
        return nullptr;
    }
}

int Layers(TalporGdalData* data) { return GDALDatasetGetLayerCount(data->dataset); }

void Close(TalporGdalData* data) {
    if (data == nullptr) return;
    if (data->dataset != nullptr) GDALClose(data->dataset);
    delete data;
}

namespace {

constexpr TalporGdalFunctions kFunctions = {kTalporGdalVersion, Open, Layers, Layer, Bytes, Field, Run, Close, Raster,
                                            WatchedMoveRaster, WatchedWarpRaster};

}  // namespace

}  // namespace gdal

extern "C" __attribute__((visibility("default"))) const TalporGdalFunctions* talpor_gdal_functions() {
    return &gdal::kFunctions;
}
