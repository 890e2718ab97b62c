// The files of a folder run toward a target (--destino), grouped by the way each will go,
// for the window to say before converting: "3 capas ED50 UTM 30 → ETRS89 UTM 30; 1 capa
// ya en ETRS89 UTM 30, copiada; 2 GPX, copiados; 2 tablas: elija su sistema". Each group
// follows FolderRun's own rules (a GPS file copied, a table from --origen, a layer or image
// from its own system), so that the preview never promises a file the run refuses.
//
// What it reads, it reads once: the systems of the layer files (layers::LayersOfFiles, a
// batch of files to each worker process), planned images (rasters::PlanRaster) again only when the choices
// that change their way change. Tables and GPS files are known by their extension.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "batch/FolderRun.h"
#include "rasters/Rasters.h"
#include "tables/CrsName.h"

namespace batch {

// One way files go, and the files that go it.
struct PreviewGroup {
    enum class Kind {
        Converted,    // from its system to the target
        Kept,         // a layer or image already in the target: its coordinates as they are
        Copied,       // a GPS file toward a WGS84 or ETRS89 target: the file as it is
        NeedsOrigin,  // says no system, and none is given (--origen): refused
        Refused,      // cannot go: its system cannot be read, or is one Talpor does not convert
    } kind = Kind::Converted;
    std::string text;                 // "3 capas ED50 UTM 30 → ETRS89 UTM 30"
    std::string why;                  // for a refused group: why, as a refusal says it
    std::vector<std::string> inputs;  // its files, each once, in the run's order
    bool Refuses() const { return kind == Kind::NeedsOrigin || kind == Kind::Refused; }
};

// Told now and then while files are read (at least ten times a second while the worker
// reads layers): the files read, and how many there are to read. What it throws stops the
// reading.
using PreviewProgress = std::function<void(std::size_t done, std::size_t total)>;

class FolderPreview {
  public:
    // The groups of the run's files `files` (FolderRun::Files) toward settings.target
    // (none: no groups), in the order: converted, kept, copied, needing the origin,
    // refused; the files FolderRun refuses already (FolderFile::refused) are left to their
    // own reasons. Reads the layer files not read before and plans the images whose
    // choices or destination changed; settings.conversion.grids must be set for images.
    std::vector<PreviewGroup> Groups(const std::vector<FolderFile>& files, const tables::Settings& settings,
                                     const rasters::RasterOptions& raster, const PreviewProgress& progress = {});

  private:
    // An image planned for the choices `key`: its systems, or why it cannot go.
    struct ImagePlan {
        std::string key;
        std::optional<tables::CrsName> from, to;
        std::string problem;
        bool needsOrigin = false;
    };
    std::map<std::string, layers::FileLayers> layers_;  // each layer file's, read once
    std::map<std::string, ImagePlan> images_;
};

// The groups on one line each.
std::string PreviewText(const std::vector<PreviewGroup>& groups);

// Every system CrsNamed names, in CrsNames' order: ETRS89 UTM 29 to 31 and degrees, then
// WGS84's, then ED50's.
std::vector<tables::CrsName> EveryCrs();

// The system of an EPSG code, of those CrsName names; nullopt for any other.
std::optional<tables::CrsName> CrsOfEpsg(int epsg);

}  // namespace batch
