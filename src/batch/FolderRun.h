// A run over several files: the files given and those of the folders given (subfolders
// included), each converted alone, as talpor-lote converts one file with the same options,
// into one output folder. A folder's files keep their place in it there, each under its
// own name with the extension of what it holds. Each file is written whole or not at all
// (ConvertFile's OutputFile, ConvertLayers' OutputFolder); a file that cannot be converted
// is refused with why and the run goes on with the next. A signal (Ctrl+C) stops the whole
// run: the caller defers signals (DeferSignals) and Convert throws Interrupted once nothing
// of the file it was converting is left.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "batch/CommandLine.h"
#include "batch/Workbook.h"
#include "layers/Layers.h"
#include "projects/QgisProject.h"
#include "rasters/Rasters.h"
#include "tables/OutputFile.h"
#include "batch/Stream.h"

namespace batch {

// Whether a folder's file is an input of the run, by its extension (any case): the
// tables, GPX, layers, images and workbooks talpor-lote reads; a shapefile by its .shp;
// raw pixels of any other name by the ENVI label beside them. What each file is, and so
// how it converts, is then read from it.
bool IsConvertible(std::string_view path);

// The name a file is written under: its own, with the extension of what it holds. The
// output's format is --formato's (`format`; "csv" and "texto": a table, which keeps a
// table's extension); without it, the input's own, but a table (.csv) for GPX and for the
// WGS84 layers (KML, KMZ, GeoJSON), which cannot hold ED50.
// With `wgs84Kept` (a target on the WGS84 side), a GPS file keeps its own format: it
// holds that target as it is.
// What the file is is read from `input`, its path, where given (else from `name`).
std::string OutputName(const std::string& name, std::string_view format, bool wgs84Kept = false,
                       const std::string& input = "");

// True for a QGIS project (.qgs, .qgz), by its content where it can be read.
bool IsProjectFile(const std::string& path);

// True for a file of a format that is WGS84 degrees by its standard: GPX, KML, KMZ, GeoJSON.
bool IsWgs84Format(std::string_view path);

// One file of the run and what came of it.
struct FolderFile {
    std::string input;   // its path
    std::string shown;   // as the summary names it: the folder given joined with its place in it
    std::string output;  // where it is written
    std::optional<Summary> table;        // converted as a table (ConvertFile)
    std::optional<layers::LayerSummary> layers;  // converted as layers (ConvertLayers)
    std::optional<WorkbookSummary> workbook;  // converted as a workbook's tables (ConvertWorkbook)
    std::optional<rasters::RasterSummary> image;  // converted as an image (rasters::ConvertRaster)
    // A QGIS project, written reading the files the run converted (projects::ConvertProject).
    std::optional<projects::ProjectSummary> project;
    std::string refused;                 // why nothing was written of it; "" otherwise
    std::string passed;                  // why it was passed over (FolderRun::Passed); "" otherwise
    // Copied as it is, needing no change (a GPS file toward a WGS84 or ETRS89 target): why.
    std::string copied;
    // What else its lines say: the way a table went ("ED50 UTM 30 → ETRS89 UTM 30
    // (rejilla)"), the table a GPS file became.
    std::string way, note;
    tables::Missing missing = tables::Missing::Nothing;  // what the user can give for it to go
    bool Converted() const { return table || layers || image || workbook || project || !copied.empty(); }
    // Converted with every row or feature.
    bool Whole() const;
};

struct FolderCounts {
    std::size_t converted = 0;   // whole
    std::size_t withErrors = 0;  // written, with rows or features that were not converted
    std::size_t refused = 0;     // nothing written
    std::size_t passed = 0;      // links passed over
};

// Called while a file converts: the rows written (the features read, for layers) and the
// share done, 0 to 100 (-1: unknown).
using FileProgress = std::function<void(std::uint64_t count, int percent)>;

class FolderRun {
  public:
    // The files of cl.inputs and where each goes in the folder cl.output, found without
    // writing anything: the folders' files IsConvertible takes (hidden files and folders
    // left out; the output folder too, when it lies within an input folder), in the order
    // of their names; the files given as they are. Each file once, under its own path: a
    // name met twice (a file given and in a folder given too) is converted once, and a
    // link in a folder to a file the run converts under its own name is passed over
    // (Passed), as is a link to a folder. A file whose destination another one has
    // already, a link to nothing and a folder whose path is too long to open (PATH_MAX)
    // are refused at once. A QGIS project goes after every other file, whose conversions it
    // reads; a project given as a file brings the files it reads from its own folder (and
    // those below it), each in its place there. Throws RunError when nothing can be done:
    // the output folder is a file or one of the input folders, or no file is found.
    explicit FolderRun(const CommandLine& cl);

    std::vector<FolderFile>& Files() { return files_; }
    const std::vector<FolderFile>& Files() const { return files_; }
    // The links passed over, each with why (FolderFile::passed).
    const std::vector<FolderFile>& Passed() const { return passed_; }
    // The output folder, without a trailing "/".
    const std::string& Output() const { return output_; }

    // The destinations that exist already, before the run (a shapefile by its .shp when
    // any file of its name exists): those the run would replace with --reemplazar and
    // refuses without it, in the order of the files. A file of the input is none of them:
    // it is never replaced.
    std::vector<std::string> Existing() const;

    // Converts file `i` with its own settings (the run's options read for it), creating
    // the folders it goes in. It is refused, nothing written, when its destination exists
    // (unless --reemplazar), is a file of the input or was written earlier in the run, or
    // lies in an input folder. The files a layer writes besides the one named (a
    // shapefile a layer of a GeoPackage) that exist already are replaced when `replace`
    // says so, or without it with --reemplazar; never a file of the input or one the run
    // has written. What `progress` or `replace` throws stops the file, nothing of it
    // written, and comes out of Convert.
    void Convert(std::size_t i, core::Grids* grids, const FileProgress& progress = {},
                 const layers::ReplaceQuestion& replace = {});

    FolderCounts Counts() const;

    // Whether file `i` is converted alone, no other file at once: an image too large for
    // two to share the memory, layers that write files besides their own (a shapefile a
    // layer of a GeoPackage), whose names another file could want, or a QGIS project,
    // which reads what the files before it became.
    bool Alone(std::size_t i) const;

    // The folders made for destinations of files that were not written, removed again
    // where still empty; at the end of the run, once no file is under way.
    void Tidy();

  private:
    using Id = std::pair<dev_t, ino_t>;
    // A name in a folder: the folder's identity and the name.
    using Entry = std::tuple<dev_t, ino_t, std::string>;
    void Scan(const std::string& folder, const std::string& relative, const tables::FileId& outputId, bool outputExists);
    void Add(const std::string& input, const std::string& shown, const std::string& relative, const Entry& entry,
             bool link);
    void Refuse(const std::string& path, const std::string& why);
    void Settle();
    void Check(const FolderFile& file) const;
    bool Inside(const std::string& path) const;  // within an input folder
    layers::LayerSummary ConvertLayerFile(const FolderFile& file, tables::Settings settings, const FileProgress& progress,
                                  const layers::ReplaceQuestion& replace);
    void AddProjectFiles(const std::string& project, const tables::FileId& outputId, bool outputExists);
    projects::FileOutcome OutcomeOf(const std::string& file) const;

    std::vector<std::string> options_;
    std::string output_;
    std::string format_;  // --formato's name; "" for none
    std::optional<tables::CrsName> target_;  // --destino's system
    bool replace_ = false;
    std::vector<FolderFile> files_;
    std::vector<FolderFile> passed_;
    std::set<Entry> entries_;                     // of every input
    std::vector<std::pair<std::optional<Id>, bool>> found_;  // each file's identity, and whether a folder's link
    std::set<std::pair<dev_t, ino_t>> inputIds_;  // of every input file (a shapefile's parts too)
    std::set<std::string> outputs_;               // every destination
    std::set<std::pair<dev_t, ino_t>> folders_;   // of every input folder read
    std::set<std::pair<dev_t, ino_t>> written_;   // of every file the run has written
    std::vector<std::string> madeFolders_;        // made for files not written (Tidy)
    // Files convert in several threads at once (ConvertFiles): what they share is kept
    // under this lock.
    std::unique_ptr<std::mutex> lock_ = std::make_unique<std::mutex>();
};

// What a run over several files is told as it goes, on the calling thread.
struct FolderWatch {
    // About ten times a second: the files under way (indexes in Files(), the last started
    // last), how many files have ended, and the rows or features each file under way has
    // written so far, in the order of `underWay`. What it throws (a Cancel) stops the run:
    // the files under way are stopped, nothing of them left, and it comes out of
    // ConvertFiles once they are.
    std::function<void(const std::vector<std::size_t>& underWay, std::size_t ended,
                       const std::vector<std::uint64_t>& counts)>
        tick;
    // Each file as it ends, in the order of Files(), whatever order they end in.
    std::function<void(std::size_t i)> ended;
    // Asked before files besides a file's own are replaced (FolderRun::Convert).
    layers::ReplaceQuestion replace;
};

// How a run over several files stopped before its end.
struct FolderStop {
    std::vector<std::size_t> underWay;  // stopped while converting: nothing of them written
    std::size_t notStarted = 0;         // never begun
    int signal = 0;                     // the signal that stopped it; 0 for what `tick` threw
    std::exception_ptr thrown;          // what `tick` threw
};

// Converts every file of `run`, up to `jobs` at once (0: one a core), each as
// FolderRun::Convert converts it, in threads of their own with grids of their own opened
// from the folders of `grids`; a file Alone() converts on the calling thread with no other
// under way. The files are taken in their order, and FolderWatch::ended says each in that
// order: the summary, its order and the files written are the same whatever `jobs`. A
// signal a caller defers (DeferSignals) stops every file under way and the run, as what
// `tick` throws does; nullopt when the run went to its end.
std::optional<FolderStop> ConvertFiles(FolderRun& run, core::Grids& grids, int jobs, const FolderWatch& watch);

// The time a run over several files has left, from the bytes of the files ended and the
// time they took.
class TimeLeft {
  public:
    explicit TimeLeft(const FolderRun& run);
    void Ended(std::size_t i);
    // "; quedan unos 3 min"; "" in the run's first ten seconds, when little is known.
    std::string Text() const;

  private:
    std::vector<std::uint64_t> bytes_;
    std::uint64_t all_ = 0, ended_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "se han convertido 12 de 40 ficheros; no se ha escrito nada de «a.shp» y «b.csv», que se
// estaban convirtiendo, ni de los 26 que faltaban"
std::string StopText(const FolderRun& run, const FolderStop& stop);

// A file's lines of the summary: its own summary (SummaryText, LayerSummaryText), or
// "talpor-lote: datos/web.shp: rechazado: WHY".
std::string FolderFileText(const FolderFile& file);
// "4 ficheros convertidos, 1 con errores, 2 rechazados", and ", 1 enlace pasado por alto"
// when one was.
std::string CountsText(const FolderCounts& counts);

}  // namespace batch
