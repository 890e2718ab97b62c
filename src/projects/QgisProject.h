// A QGIS project (.qgs, or .qgz: a ZIP holding the .qgs) taken along with its layers: once
// a run has converted the files the project reads, the project is written again reading
// the converted files, in their systems, with what it keeps in map coordinates (the
// project's system, the initial view, the canvas, bookmarks, print layouts' maps and
// grids, the measuring ellipsoid) moved by the run's method. The XML is changed in place:
// every byte Talpor does not change (styles, labels, expressions, groups, variables) is
// written as it was read, and a .qgz's other members are copied as they are.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/CrsName.h"
#include "tables/Run.h"

namespace projects {

// Whether `path` is named as a QGIS project: .qgs or .qgz, in any case.
bool IsProjectName(std::string_view path);

// A project read: its XML, and for a .qgz the archive it came in.
struct Project {
    std::string path;
    std::string xml;
    std::string member;   // the .qgs in a .qgz; "" for a .qgs
    std::string archive;  // a .qgz's bytes
};

// Reads the project at `path`; throws tables::RunError with why it cannot be read.
Project ReadProject(const std::string& path);

// A layer of a project and what it reads.
struct ProjectLayer {
    std::string id, name, provider;  // provider: "ogr", "gdal", "wms", ...
    std::string datasource;          // as the project writes it
    // The file it reads, resolved from the project's folder as QGIS resolves it (the
    // project's home path, else its own folder); "" when it reads none.
    std::string file;
    std::string layer;  // the layer of the file it reads (ogr's layername=); "" for the first
    std::string none;   // when it reads no file Talpor converts, what it reads: "un servicio web (WMS)"
};

// The layers of a project, in its order; throws tables::RunError for a project whose
// structure is not QGIS's.
std::vector<ProjectLayer> LayersOf(const Project& project);

// What a run made of a file a project reads.
struct FileOutcome {
    bool converted = false;
    std::string why;     // when it was not: "rechazado: ...", "no está en la carpeta que se convierte"
    std::string output;  // the file written
    // Each of its layers: the input's name, and the file, layer and system (EPSG code) it
    // went to; an image has one, of no name.
    struct Layer {
        std::string name, file, outName;
        int epsg = 0;  // 0: the system it had (the file was copied as it was)
    };
    std::vector<Layer> layers;
    bool table = false;  // written as a table of vertices, which QGIS reads as no layer
};
using OutcomeOf = std::function<FileOutcome(const std::string& file)>;

struct ProjectSummary {
    std::size_t layers = 0;         // layers that now read converted files
    std::vector<std::string> left;  // a sentence for each layer left as it was
    std::vector<std::string> moved;  // what was moved: "el sistema del proyecto", "la vista inicial", ...
    std::string way;                 // "ED50 UTM 30 → ETRS89 UTM 30 (rejilla)"
    std::vector<std::string> notes;  // what else the user should know
};

// The system the project's coordinates in `from` go to in a run with `settings`: the
// target where `from` is on the other datum from it (or, without --destino, on the
// source side of the direction); nullopt where they stay.
std::optional<tables::CrsName> ProjectTarget(const tables::Settings& settings, const tables::CrsName& from);

// Writes `project` as `output` (a whole file or nothing: tables/OutputFile.h), each layer
// whose file `outcomes` says was converted reading the converted one; `settings` are the
// run's (the method, its grids). Throws tables::RunError.
ProjectSummary ConvertProject(const Project& project, const std::string& output, const tables::Settings& settings,
                              const OutcomeOf& outcomes);

// The summary's lines of a project: "talpor-lote: mapa.qgz: 4 capas leen los ficheros
// convertidos; ...".
std::string ProjectSummaryText(const ProjectSummary& summary, std::string_view shown);
// The same on one line, for the window: "proyecto de QGIS: 4 capas leen ...; capa «PNOA»: ...".
std::string ProjectSummaryLine(const ProjectSummary& summary);

}  // namespace projects
