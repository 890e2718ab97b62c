// What the parts of talpor-gdal.so share (GdalModule.cpp, GdalLayers.cpp, GdalImages.cpp,
// GdalImageWriting.cpp): the dataset handed to the caller, and the functions one part
// calls in another. The module's interface is GdalModule.h; this header is its inside.
#pragma once

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <cpl_error.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "gdal/GdalModule.h"
#include "gdal/KmlStructure.h"

struct TalporGdalData {
    GDALDatasetH dataset = nullptr;
    std::string fieldName;  // the last one Field gave
    // A KML's containers: their folders and their tracks' altitude modes; the one each
    // layer was made of (empty where they could not be told apart).
    gdal::KmlStructure kml;
    std::vector<int> containerOf;
    std::vector<std::string> folders;  // of each layer
};

namespace gdal {

// What GDAL reported while the module read one record.
struct Reports {
    std::string messages;  // "; " between them
    bool failure = false;  // one was an error, not a warning
};

// Where GDAL's messages go while a record is read; null: nowhere, the program says what
// went wrong, in Spanish, from the last one.
extern thread_local Reports* t_reports;
// Where GDAL's messages go while an image is read or written, from any thread (the
// warper reads and writes in threads of its own); null: nowhere.
extern std::mutex g_imageMutex;
extern Reports* g_imageReports;

// Collects GDAL's messages from every thread in `reports` for as long as it lives.
class CollectingImage {
  public:
    explicit CollectingImage(Reports& reports) {
        const std::lock_guard<std::mutex> lock(g_imageMutex);
        g_imageReports = &reports;
    }
    ~CollectingImage() {
        const std::lock_guard<std::mutex> lock(g_imageMutex);
        g_imageReports = nullptr;
    }
    CollectingImage(const CollectingImage&) = delete;
    CollectingImage& operator=(const CollectingImage&) = delete;
};

// Collects GDAL's messages in `reports` for as long as it lives.
class Collecting {
  public:
    explicit Collecting(Reports& reports) { t_reports = &reports; }
    ~Collecting() { t_reports = nullptr; }
    Collecting(const Collecting&) = delete;
    Collecting& operator=(const Collecting&) = delete;
};

// `text` into `to`, of `size` bytes, cut where it does not fit.
void CopyText(const char* text, char* to, int size);
// GDAL's words as a message may hold them: valid UTF-8 on one line.
std::string OneLine(const char* text);
// `what` failed, in a sentence, with GDAL's last error in brackets when it gave one.
void LastError(const char* what, char* error, int size);
// A message added to `reports`, once.
void Add(Reports& reports, CPLErr level, const std::string& text);
// GDAL's drivers registered and its rules set, once.
void Register();

// Layers (GdalLayers.cpp): the systems Talpor converts, a system's EPSG code, or the code
// of one like it in its parameters; the module's functions of layers.
bool Ours(int epsg);
int EpsgOf(OGRSpatialReferenceH srs);
int LikeEpsg(OGRSpatialReferenceH srs);
int Layer(TalporGdalData* data, int index, TalporGdalLayerInfo* info);
const char* Field(TalporGdalData* data, int layer, int field);
long long Bytes(TalporGdalData* data);
int Run(TalporGdalData* data, const TalporGdalJob* job, char* error, int size);

// Images read (GdalImages.cpp): the drivers an image is opened with, the qualities GDAL
// does not tell, a file's first bytes, and the module's function of an image read.
extern const char* const kImageDrivers[];
int JpegQuality(GDALDatasetH ds);
int Jp2Quality(GDALDatasetH ds);
std::string Head(const std::string& path, std::size_t bytes);
int Raster(const char* path, TalporGdalRasterInfo* info, char* error, int size);

// Images written (GdalImageWriting.cpp), watched.
int WatchedMoveRaster(const char* input, const char* output, const char* worldFile, const double* t, int epsg,
                      const char* format, const TalporGdalProgress* progress, char* error, int size);
int WatchedWarpRaster(const char* input, const char* output, const TalporGdalWarp* warp, char* error, int size);

}  // namespace gdal
