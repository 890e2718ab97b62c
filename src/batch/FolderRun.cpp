#include "batch/FolderRun.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <set>

#include "layers/LayerWorker.h"
#include "tables/Encoding.h"
#include "tables/FileKind.h"
#include "tables/SystemError.h"

namespace batch {
namespace {

namespace fs = std::filesystem;

std::pair<dev_t, ino_t> IdOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// The folders a file's destination needs, made as they are missing; those made are
// handed to `left` unless the file was written, to be removed at the end of the run where
// still empty (another file under way may be writing in them).
struct NewFolders {
    std::vector<std::string> made;
    bool keep = false;
    std::vector<std::string>* left = nullptr;
    std::mutex* lock = nullptr;
    void Make(const std::string& file) {
        std::vector<fs::path> missing;
        std::error_code error;
        for (fs::path f = fs::path(file).parent_path(); !f.empty() && !fs::exists(f, error); f = f.parent_path())
            missing.push_back(f);
        for (auto f = missing.rbegin(); f != missing.rend(); ++f) {
            if (::mkdir(f->c_str(), 0777) != 0 && errno != EEXIST)
                throw tables::RunError("no se puede crear la carpeta «" + f->string() + "»: " + tables::SystemErrorText(errno));
            made.push_back(f->string());
        }
    }
    ~NewFolders() {
        if (keep || made.empty()) return;
        const std::lock_guard hold(*lock);
        left->insert(left->end(), made.begin(), made.end());
    }
};

// Closes a file descriptor at the end of its scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// A file that needs no change, copied whole to its destination.
void CopyFile(const FolderFile& f, const FileProgress& progress) {
    const Descriptor in{::open(f.input.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) throw tables::RunError("no se puede leer: " + tables::SystemErrorText(errno));
    tables::OutputFile out(f.output, tables::IdOf(in.fd));
    std::vector<char> buffer(1 << 16);
    for (ssize_t n; (n = ::read(in.fd, buffer.data(), buffer.size())) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw tables::RunError("no se puede leer: " + tables::SystemErrorText(errno));
        if (progress) progress(0, -1);
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out.Fd(), buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) throw tables::RunError("no se puede escribir «" + f.output + "»: " + tables::SystemErrorText(errno));
            done += w;
        }
    }
    out.Commit();
}

// The way a table's points went toward the target: "ED50 UTM 30 → ETRS89 UTM 30 (rejilla)".
std::string WayText(const tables::Settings& s, const tables::CrsName& from) {
    return tables::TitleOf(from) + " → " + tables::TitleOf(*s.target) + " (" +
           (from.Ed50() == s.target->Ed50() ? std::string("solo la proyección") : std::string(tables::MethodWord(s.conversion.method))) +
           ")";
}

// A table or GPX file, as talpor-lote converts one.
Summary ConvertTable(const FolderFile& f, const tables::Settings& settings, const FileProgress& progress) {
    const Descriptor in{::open(f.input.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) throw tables::RunError("no se puede leer: " + tables::SystemErrorText(errno));
    struct stat st {};
    const std::uint64_t size = ::fstat(in.fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    tables::OutputFile out(f.output, tables::IdOf(in.fd));
    Progress shown;
    if (progress)
        shown = [&](std::uint64_t bytes, std::uint64_t rows) {
            progress(rows, size > 0 ? static_cast<int>(std::min<std::uint64_t>(bytes * 100 / size, 100)) : -1);
        };
    const Summary summary = ConvertFile(in.fd, out.Fd(), settings, shown);
    // A text of no point (a folder's notes) is no table of points: nothing is written of it.
    if (summary.converted + summary.failed == 0)
        throw tables::RunError(std::string(summary.layout && summary.layout->headerLine != 0 ? "solo hay cabecera" : "está vacía") +
                       ", ningún punto que convertir");
    out.Commit();
    return summary;
}

// The options without --formato (-f), in any of its spellings.
std::vector<std::string> WithoutFormat(const std::vector<std::string>& options) {
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string& o = options[i];
        if (o == "--formato" || o == "-f") ++i;
        else if (!o.starts_with("--formato=") && !(o.starts_with("-f") && !o.starts_with("--"))) kept.push_back(o);
    }
    return kept;
}

}  // namespace

bool IsProjectFile(const std::string& path) {
    const tables::WhatFile what = tables::WhatIs(path);
    return (what.kind == tables::FileKind::Unknown ? tables::WhatNameSays(path) : what).kind == tables::FileKind::Project;
}

bool IsConvertible(std::string_view path) {
    // Raw pixels beside their ENVI label (.raw, .bin, or no extension) are an image too.
    return tables::WhatNameSays(path).kind != tables::FileKind::Unknown || rasters::IsRasterFile(path);
}

bool IsWgs84Format(std::string_view path) {
    const layers::LayerFormat* layer = layers::LayerFormatOfInput(std::string(path));
    return layer != nullptr && layer->wgs84;
}

std::string OutputName(const std::string& name, std::string_view format, bool wgs84Kept, const std::string& input) {
    // What the file is, by its content where it can be read.
    const std::string& path = input.empty() ? name : input;
    if (IsProjectFile(path)) return name;
    if (wgs84Kept && format.empty() && IsWgs84Format(path)) return name;
    const std::size_t slash = name.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot <= start) dot = name.size();
    const std::string stem = name.substr(0, dot);
    // An image keeps its format, but a GeoPackage's tiles, which go into a GeoTIFF.
    if (rasters::IsRasterFile(path)) return rasters::ImageOutputName(name, path);
    // A workbook keeps its kind but an .xls, which GDAL cannot write.
    if (layers::IsWorkbookFile(name))
        return format == "csv" || format == "texto" ? stem + ".csv"
               : layers::WorkbookOfPath(name) == layers::WorkbookKind::Xls ? stem + ".xlsx" : name;
    if (const layers::LayerFormat* out = layers::LayerFormatNamed(format)) return stem + std::string(out->extension);
    const layers::LayerFormat* in = layers::LayerFormatOfInput(path);
    const bool table = format == "csv" || format == "texto";
    if (in != nullptr && in->read) return table || in->wgs84 ? stem + ".csv" : name;
    return in != nullptr && in->name == "gpx" ? stem + ".csv" : name;
}

bool FolderFile::Whole() const {
    if (workbook) return batch::Whole(*workbook);
    return table ? table->failed == 0 : image || project || !copied.empty() ? true : layers && layers::Whole(*layers);
}

FolderRun::FolderRun(const CommandLine& cl)
    : options_(cl.options),
      output_(cl.output),
      format_(!cl.settings.layers.format.empty() ? cl.settings.layers.format : cl.settings.layers.table ? "csv" : ""),
      target_(cl.settings.target),
      replace_(cl.settings.layers.replace) {
    while (output_.size() > 1 && output_.ends_with('/')) output_.pop_back();
    struct stat out {};
    const bool outputExists = ::stat(output_.c_str(), &out) == 0;
    if (outputExists && !S_ISDIR(out.st_mode))
        throw tables::RunError("«" + output_ + "» no es una carpeta: una carpeta o varias entradas se convierten en una carpeta");
    const tables::FileId outputId{out.st_dev, out.st_ino};
    for (std::string input : cl.inputs) {
        struct stat st {};
        if (::stat(input.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            if (outputExists && tables::FileId{st.st_dev, st.st_ino} == outputId)
                throw tables::RunError("la carpeta de salida «" + output_ + "» es la de entrada: elija otra");
            while (input.size() > 1 && input.ends_with('/')) input.pop_back();
            Scan(input, "", outputId, outputExists);
        } else {
            const fs::path path(input);
            const std::string parent = path.has_parent_path() ? path.parent_path().string() : ".";
            const bool known = ::stat(parent.c_str(), &st) == 0;
            Add(input, input, path.filename().string(),
                known ? Entry{st.st_dev, st.st_ino, path.filename().string()} : Entry{0, 0, input}, false);
            if (IsProjectFile(input)) AddProjectFiles(input, outputId, outputExists);
        }
    }
    Settle();
    if (files_.empty())
        throw tables::RunError("no hay ningún fichero que convertir en " + layers::NameList(cl.inputs) +
                       " (se leen .csv, .txt, .tsv, .dat, .gpx, .shp, .gpkg, .kml, .kmz, .geojson, .json, .dxf, .tab, "
                       ".mif, .gml, .fgb y .sqlite)");
}

void FolderRun::Scan(const std::string& folder, const std::string& relative, const tables::FileId& outputId,
                     bool outputExists) {
    // Listed through the folder's descriptor, so that a name too deep for a path is still
    // seen, and refused, rather than lost.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (listing == nullptr) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        Refuse(folder, "no se puede leer la carpeta: " + tables::SystemErrorText(error));
        return;
    }
    struct stat here {};
    ::fstat(fd, &here);
    folders_.insert(IdOf(here));
    struct Found {
        std::string name;
        struct stat own, target;  // the entry itself, and what it leads to
        bool reached;             // false: a link to nothing
    };
    std::vector<Found> entries;
    errno = 0;
    for (const dirent* e; (e = ::readdir(listing)) != nullptr; errno = 0) {
        Found f{e->d_name, {}, {}, false};
        if (f.name.starts_with('.') || ::fstatat(fd, e->d_name, &f.own, AT_SYMLINK_NOFOLLOW) != 0) continue;
        f.reached = ::fstatat(fd, e->d_name, &f.target, 0) == 0;
        entries.push_back(std::move(f));
    }
    const int error = errno;
    ::closedir(listing);
    if (error != 0) {
        Refuse(folder, "no se puede leer la carpeta: " + tables::SystemErrorText(error));
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const Found& a, const Found& b) { return a.name < b.name; });
    // A MapInfo table's .dat is read with its .tab, not as a table of points.
    std::set<std::string> tables;
    for (const Found& f : entries)
        if (tables::AsciiLower(f.name).ends_with(".tab")) tables.insert(tables::AsciiLower(f.name.substr(0, f.name.size() - 4)));
    const auto mapInfoPart = [&](const std::string& name) {
        return tables::AsciiLower(name).ends_with(".dat") && tables.contains(tables::AsciiLower(name.substr(0, name.size() - 4)));
    };
    for (const Found& f : entries) {
        if (mapInfoPart(f.name)) continue;
        const std::string path = folder + "/" + f.name;
        const bool link = S_ISLNK(f.own.st_mode);
        const std::string tooLong = "su ruta pasa de " + tables::Grouped(PATH_MAX - 1) + " bytes, lo más que admite el sistema";
        if (S_ISDIR(f.own.st_mode)) {
            if (outputExists && tables::FileId{f.own.st_dev, f.own.st_ino} == outputId) continue;
            if (path.size() >= PATH_MAX) Refuse(path, "carpeta demasiado honda: " + tooLong);
            else Scan(path, relative + f.name + "/", outputId, outputExists);
        } else if (link && f.reached && S_ISDIR(f.target.st_mode)) {
            FolderFile passed;
            passed.input = passed.shown = path;
            passed.passed = "es un enlace a una carpeta, que no se sigue";
            passed_.push_back(std::move(passed));
        } else if (IsConvertible(path) && (link || S_ISREG(f.own.st_mode))) {
            if (path.size() >= PATH_MAX) Refuse(path, tooLong);
            else if (!f.reached) Refuse(path, "es un enlace a un fichero que no existe");
            else if (S_ISREG(f.target.st_mode)) Add(path, path, relative + f.name, {here.st_dev, here.st_ino, f.name}, link);
        }
    }
}

void FolderRun::AddProjectFiles(const std::string& project, const tables::FileId& outputId, bool outputExists) {
    // A project that cannot be read is refused when its turn comes.
    std::vector<projects::ProjectLayer> layers;
    try {
        layers = projects::LayersOf(projects::ReadProject(project));
    } catch (const tables::RunError&) {
        return;
    }
    const fs::path given = fs::path(project).parent_path();
    std::error_code error;
    const fs::path folder = fs::absolute(given.empty() ? fs::path(".") : given, error).lexically_normal();
    for (const projects::ProjectLayer& l : layers) {
        if (l.file.empty()) continue;
        const std::string relative = fs::absolute(l.file, error).lexically_normal().lexically_relative(folder).string();
        // Only the project's folder is converted with it; what lies outside stays where it is.
        if (relative.empty() || relative.starts_with("..")) continue;
        // Named from the folder as the project was given.
        const fs::path file = given.empty() ? fs::path(relative) : given / relative;
        struct stat own {}, parent {};
        if (::stat(file.c_str(), &own) != 0 || !S_ISREG(own.st_mode) || !IsConvertible(file.string())) continue;
        if (outputExists && tables::FileId{own.st_dev, own.st_ino} == outputId) continue;
        const std::string parentPath = file.has_parent_path() ? file.parent_path().string() : ".";
        if (::stat(parentPath.c_str(), &parent) != 0) continue;
        Add(file.string(), file.string(), relative, {parent.st_dev, parent.st_ino, file.filename().string()}, false);
    }
}

void FolderRun::Refuse(const std::string& path, const std::string& why) {
    FolderFile f;
    f.input = f.shown = path;
    f.refused = why;
    files_.push_back(std::move(f));
    found_.emplace_back(std::nullopt, false);
}

void FolderRun::Add(const std::string& input, const std::string& shown, const std::string& relative, const Entry& entry,
                    bool link) {
    // A name met twice (given twice, or in a folder given too) is converted once.
    if (!entries_.insert(entry).second) return;
    struct stat st {};
    std::optional<Id> id;
    if (::stat(input.c_str(), &st) == 0) {
        id = IdOf(st);
        for (const std::string& part : layers::LayerFiles(input))
            if (::stat(part.c_str(), &st) == 0) inputIds_.insert(IdOf(st));
    }
    FolderFile f;
    f.input = input;
    f.shown = shown;
    f.output = output_ + "/" + OutputName(relative, format_, target_ && !target_->Ed50(), input);
    files_.push_back(std::move(f));
    found_.emplace_back(id, link);
}

void FolderRun::Settle() {
    // Each file under its own path: a folder's link to a file converted under its own name
    // is passed over, said so, rather than written twice.
    std::map<Id, std::string> own;
    for (std::size_t i = 0; i < files_.size(); ++i)
        if (found_[i].first && !found_[i].second) own.emplace(*found_[i].first, files_[i].shown);
    std::vector<FolderFile> files;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        FolderFile& f = files_[i];
        const auto target = found_[i].second ? own.find(*found_[i].first) : own.end();
        if (target != own.end()) {
            f.passed = "es un enlace a «" + target->second + "», que se convierte con su nombre";
            passed_.push_back(std::move(f));
            continue;
        }
        if (f.refused.empty() && !outputs_.insert(f.output).second) {
            const auto first = std::find_if(files.begin(), files.end(), [&](const FolderFile& o) { return o.output == f.output; });
            f.refused = "su destino «" + f.output + "» es ya el de «" + first->shown + "»";
        }
        files.push_back(std::move(f));
    }
    // A project reads what the files it names became: it goes after them all.
    std::stable_partition(files.begin(), files.end(), [](const FolderFile& f) { return !IsProjectFile(f.input); });
    files_ = std::move(files);
    found_.clear();
    std::stable_sort(passed_.begin(), passed_.end(), [](const FolderFile& a, const FolderFile& b) { return a.shown < b.shown; });
}

bool FolderRun::Inside(const std::string& output) const {
    // The deepest of the destination's folders that exists: the rest will be new.
    const std::string relative = output.substr(output_.size() + 1);
    for (std::size_t slash = relative.rfind('/'); slash != std::string::npos;
         slash = slash == 0 ? std::string::npos : relative.rfind('/', slash - 1)) {
        struct stat st {};
        if (::stat((output_ + "/" + relative.substr(0, slash)).c_str(), &st) == 0) return folders_.count(IdOf(st)) > 0;
    }
    return false;
}

void FolderRun::Check(const FolderFile& f) const {
    for (const std::string& part : layers::LayerFiles(f.output)) {
        struct stat st {};
        if (::stat(part.c_str(), &st) != 0) continue;
        if (inputIds_.count(IdOf(st)) > 0) throw tables::RunError("su destino «" + part + "» es un fichero de la entrada");
        if (written_.count(IdOf(st)) > 0)
            throw tables::RunError("su destino «" + part + "» lo ha escrito ya otro fichero de esta conversión");
        if (!replace_) throw tables::RunError("ya existe «" + part + "», y no se reemplaza sin --reemplazar");
    }
    if (Inside(f.output)) throw tables::RunError("su destino «" + f.output + "» queda dentro de una carpeta de la entrada");
}

layers::LayerSummary FolderRun::ConvertLayerFile(const FolderFile& f, tables::Settings settings, const FileProgress& progress,
                                         const layers::ReplaceQuestion& question) {
    // The files a layer writes besides the one named (a shapefile a layer) replace others
    // only with the user's word or --reemplazar, and never a file of the input or one the
    // run has written.
    settings.layers.replace = false;
    const std::string folder = fs::path(f.output).parent_path().string();
    layers::ReplaceQuestion replace;
    if (question || replace_)
        replace = [&](const std::vector<std::string>& existing) {
            for (const std::string& name : existing) {
                struct stat st {};
                if (::stat((folder + "/" + name).c_str(), &st) != 0) continue;
                if (inputIds_.count(IdOf(st)) > 0 || written_.count(IdOf(st)) > 0)
                    throw tables::RunError("la conversión escribiría también «" + name + "», que es " +
                                   (inputIds_.count(IdOf(st)) > 0 ? "un fichero de la entrada"
                                                                  : "de otro fichero de esta conversión"));
            }
            return question ? question(existing) : true;
        };
    layers::LayerProgress shown;
    if (progress)
        shown = [&](std::uint64_t features, std::uint64_t total) {
            progress(features, total > 0 ? static_cast<int>(std::min<std::uint64_t>(features * 100 / total, 100)) : -1);
        };
    return layers::ConvertLayers(f.input, f.output, settings, shown, replace);
}

void FolderRun::Convert(std::size_t i, core::Grids* grids, const FileProgress& progress,
                        const layers::ReplaceQuestion& replace) {
    FolderFile& f = files_[i];
    if (!f.refused.empty() || f.Converted()) return;
    // A table converts in this process: a signal the caller defers stops it from here.
    const FileProgress checked = [&](std::uint64_t count, int percent) {
        if (tables::DeferringSignals() && tables::PendingSignal() != 0) throw layers::Interrupted{tables::PendingSignal()};
        if (progress) progress(count, percent);
    };
    NewFolders folders;
    folders.left = &madeFolders_;
    folders.lock = lock_.get();
    try {
        std::vector<std::string> args = options_;
        // A layer format is the layers': an image keeps its own.
        if (layers::LayerFormatNamed(format_) != nullptr && rasters::IsRasterFile(f.input)) args = WithoutFormat(args);
        args.insert(args.end(), {"--", f.input});
        const CommandLine cl = ParseCommandLine(args);
        tables::Settings settings = cl.settings;
        settings.conversion.grids = grids;
        {
            const std::lock_guard hold(*lock_);
            Check(f);
            folders.Make(f.output);
        }
        const tables::WhatFile what = tables::WhatIs(f.input);
        if (what.kind == tables::FileKind::Refused) throw tables::RunError(what.refusal);
        if (what.kind == tables::FileKind::Project) {
            const projects::Project project = projects::ReadProject(f.input);
            f.project = projects::ConvertProject(project, f.output, settings,
                                                 [&](const std::string& file) { return OutcomeOf(file); });
            folders.keep = true;
            return;
        }
        const bool gps = IsWgs84Format(f.input);
        if (gps && settings.target && !settings.target->Ed50() && f.output.ends_with(fs::path(f.input).filename().string())) {
            CopyFile(f, checked);
            f.copied = std::string("ya está en WGS84, el único sistema que guarda ") +
                       std::string(layers::LayerFormatOfInput(f.input)->title) + ": copiado sin cambios";
        } else if (IsWorkbookInput(f.input)) {
            f.workbook = ConvertWorkbook(f.input, f.output, settings);
            if (settings.target) f.way = WayText(settings, *settings.origin);
        } else if (rasters::IsRasterFile(f.input)) {  // first: a GeoPackage of tiles alone is an image
            const layers::LayerProgress rows = [&](std::uint64_t done, std::uint64_t total) {
                checked(done, total > 0 ? static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 100)) : -1);
            };
            f.image = rasters::ConvertRaster(f.input, f.output, settings, cl.raster, rows);
        } else if (layers::IsLayerFile(f.input)) {
            f.layers = ConvertLayerFile(f, settings, progress, replace);
            if (rasters::HasTilesBesideLayers(f.input)) f.note = rasters::kTilesLeft;
        } else {
            f.table = ConvertTable(f, settings, checked);
            if (settings.target) f.way = WayText(settings, gps ? tables::CrsName{tables::CrsName::Datum::WGS84, 0} : *settings.origin);
        }
        if (gps && !f.copied.empty()) {
        } else if (gps && fs::path(f.output).extension() != fs::path(f.input).extension() &&
                   layers::LayerFormatOfPath(f.output) == nullptr) {
            f.note = std::string(layers::LayerFormatOfInput(f.input)->title) +
                     " solo guarda WGS84: sale como tabla «" + fs::path(f.output).filename().string() + "»";
        }
        folders.keep = true;
    } catch (const UsageError& e) {
        f.refused = e.what();
    } catch (const tables::RunError& e) {
        f.refused = e.what();
        f.missing = e.missing;
    }
    if (!f.Converted()) return;
    std::vector<std::string> written = layers::LayerFiles(f.output);
    const std::string folder = fs::path(f.output).parent_path().string();
    if (f.layers)
        for (const std::string& name : f.layers->written) written.push_back(folder + "/" + name);
    if (f.image)
        for (const std::string& name : f.image->written) written.push_back(folder + "/" + name);
    if (f.workbook)
        for (const SheetReport& r : f.workbook->sheets)
            if (!r.output.empty()) written.push_back(r.output);
    const std::lock_guard hold(*lock_);
    for (const std::string& path : written) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) written_.insert(IdOf(st));
    }
}

bool FolderRun::Alone(std::size_t i) const {
    const FolderFile& f = files_[i];
    if (!f.refused.empty()) return false;
    if (IsProjectFile(f.input)) return true;
    struct stat st {};
    if (rasters::IsRasterFile(f.input)) return ::stat(f.input.c_str(), &st) == 0 && st.st_size > (std::int64_t{64} << 20);
    const layers::LayerFormat* in = layers::LayerFormatOfInput(f.input);
    const layers::LayerFormat* out = layers::LayerFormatOfPath(f.output);
    // A file of several layers written as shapefiles writes one beside its own for each.
    return layers::IsLayerFile(f.input) && out != nullptr && out->name == "shp" && in != nullptr && in->name != "shp";
}

void FolderRun::Tidy() {
    std::sort(madeFolders_.begin(), madeFolders_.end());
    for (auto f = madeFolders_.rbegin(); f != madeFolders_.rend(); ++f) ::rmdir(f->c_str());
    madeFolders_.clear();
}

std::vector<std::string> FolderRun::Existing() const {
    std::vector<std::string> existing;
    for (const FolderFile& f : files_) {
        if (!f.refused.empty() || f.Converted()) continue;
        for (const std::string& part : layers::LayerFiles(f.output)) {
            struct stat st {};
            if (::stat(part.c_str(), &st) == 0 && inputIds_.count(IdOf(st)) == 0) {
                existing.push_back(f.output);
                break;
            }
        }
    }
    return existing;
}

FolderCounts FolderRun::Counts() const {
    FolderCounts n;
    for (const FolderFile& f : files_) {
        if (f.Converted()) ++(f.Whole() ? n.converted : n.withErrors);
        else if (!f.refused.empty()) ++n.refused;
    }
    n.passed = passed_.size();
    return n;
}

// The EPSG code a summary's system ends with: "ETRS89 UTM 30 (EPSG:25830)"; 0 for none.
int EpsgIn(const std::string& system) {
    const std::size_t at = system.rfind("(EPSG:");
    if (at == std::string::npos) return 0;
    return std::atoi(system.c_str() + at + 6);
}

projects::FileOutcome FolderRun::OutcomeOf(const std::string& file) const {
    projects::FileOutcome o;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        o.why = "no se encuentra su fichero";
        return o;
    }
    const auto same = [&](const FolderFile& f) {
        struct stat in {};
        return ::stat(f.input.c_str(), &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino;
    };
    const auto f = std::find_if(files_.begin(), files_.end(), same);
    if (f == files_.end()) {
        o.why = "su fichero no es de los que se convierten (está fuera de la carpeta)";
        return o;
    }
    if (!f->Converted()) {
        o.why = f->refused.empty() ? "su fichero no se ha convertido" : "su fichero se ha rechazado";
        return o;
    }
    o.converted = true;
    o.output = f->output;
    if (!f->copied.empty()) {
        o.layers.push_back({"", f->output, "", 0});
    } else if (f->image) {
        o.layers.push_back({"", f->output, "", EpsgIn(f->image->to)});
    } else if (f->layers && f->layers->output != "tabla") {
        const layers::LayerFormat* format = layers::LayerFormatOfPath(f->output);
        const bool oneLayer = format != nullptr && (format->oneLayer || format->name == "shp");
        const std::string folder = fs::path(f->output).parent_path().string();
        bool first = true;
        for (const layers::LayerReport& r : f->layers->layers) {
            if (r.skipped) continue;
            std::string path = f->output;
            if (!first && format != nullptr && format->name == "shp") {
                // A shapefile a layer after the first, named after it.
                std::string name = r.name.empty() ? "capa" : r.name;
                for (char& c : name)
                    if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
                path = folder + "/" + name + ".shp";
            }
            first = false;
            // A file of one layer names it after itself.
            const std::string layer = oneLayer ? fs::path(path).stem().string() : r.name;
            o.layers.push_back({r.name, path, layer, EpsgIn(r.to)});
        }
    } else {
        o.table = true;
    }
    return o;
}

std::string FolderFileText(const FolderFile& f) {
    std::string text;
    if (f.project) text = projects::ProjectSummaryText(*f.project, f.shown);
    if (f.table) {
        text = SummaryText(*f.table, f.shown);
        if (!f.way.empty() && text.ends_with('\n')) text.insert(text.size() - 1, "; " + f.way);
    }
    if (f.layers) text = layers::LayerSummaryText(*f.layers, f.shown);
    if (f.image) text = rasters::RasterSummaryText(*f.image, f.shown);
    if (f.workbook) {
        text = WorkbookSummaryText(*f.workbook, f.shown);
        if (!f.way.empty()) text += "talpor-lote: " + f.shown + ": " + f.way + "\n";
    }
    if (!f.copied.empty()) text = "talpor-lote: " + f.shown + ": " + f.copied + "\n";
    if (!f.note.empty()) text += "talpor-lote: " + f.shown + ": " + f.note + "\n";
    if (!text.empty()) return text;
    if (!f.passed.empty()) return "talpor-lote: " + f.shown + ": pasado por alto: " + f.passed + "\n";
    if (f.refused.empty()) return "";
    return "talpor-lote: " + f.shown + ": rechazado: " + f.refused + std::string(MissingHint(f.missing)) + "\n";
}

std::string CountsText(const FolderCounts& n) {
    return tables::Count(n.converted, "fichero convertido", "ficheros convertidos") + ", " +
           tables::Count(n.withErrors, "con errores", "con errores") + ", " + tables::Count(n.refused, "rechazado", "rechazados") +
           (n.passed > 0 ? ", " + tables::Count(n.passed, "enlace pasado por alto", "enlaces pasados por alto") : "");
}

}  // namespace batch
