// The work on layers that talpor-capas does, in its own process (layers/Layers.h runs it
// there): the layers read through GDAL's module (gdal/GdalModule.h, loaded on first
// use from talpor-capas' own folder), every vertex converted by the conversion core, the
// output written where the calling process asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layers/Layers.h"

struct TalporGdalFunctions;

namespace layers {

// The GDAL module, loaded at the first call from talpor-capas' own folder. Throws
// RunError when it cannot be.
const TalporGdalFunctions& GdalModule();

// Where the engine writes: a table to an open file, or layers to a file path in the
// temporary folder the calling process made.
struct EngineOutput {
    bool table = false;
    int fd = -1;                          // the table's
    // Tables of layers converted otherwise than the first: written as this prefix, "-", the
    // layer's name and `extension`; "" where there is no place for them (standard output).
    std::string extraTables;
    std::string extension;
    std::string path;                     // the layers'
    const LayerFormat* format = nullptr;  // the layers'
};

// The layers of `path`, their vertices counted when the file has few enough features and
// `count` asks for them. `progress` is told of the features read. Throws RunError.
std::vector<LayerInfo> ReadLayers(const std::string& path, const LayerLimits& limits, const LayerProgress& progress,
                                  bool count = true);

// Converts every layer of `input` to `output`, as ConvertLayers promises. Throws RunError;
// the output is then the caller's to remove.
LayerSummary RunLayers(const std::string& input, const EngineOutput& output, const tables::Settings& settings,
                       const LayerLimits& limits, const LayerProgress& progress);

// The bytes of KML a KMZ (a zip file) holds once inflated, by the sizes its central
// directory declares; -1 when it is no zip file that can be read so.
std::int64_t InflatedKmlBytes(const std::string& path);

}  // namespace layers
