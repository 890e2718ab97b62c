#include "layers/Layers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "tables/Encoding.h"
#include "tables/FileKind.h"
#include "layers/LayerWorker.h"
#include "tables/OutputFile.h"
#include "tables/SystemError.h"
#include "core/Grids.h"

namespace layers {
namespace {

// The files a layer of each extension is made of besides its own, in both cases.
struct Parts {
    std::string_view extension;
    std::vector<std::string_view> others;
};
const Parts kParts[] = {
    {".shp", {".shx", ".dbf", ".prj", ".cpg", ".qix", ".sbn", ".sbx"}},
    {".tab", {".dat", ".map", ".id", ".ind"}},
    {".mif", {".mid"}},
    {".gml", {".xsd", ".gfs"}},
    {".csv", {".csvt", ".prj"}},
};

}  // namespace

std::vector<std::string> LayerFiles(const std::string& path, const LayerFormat* format) {
    std::vector<std::string> files = {path};
    const std::string lower = tables::AsciiLower(path);
    for (const Parts& p : kParts) {
        if (!lower.ends_with(p.extension)) continue;
        // A table's CSV has no parts: a .prj beside it is another file's.
        if (p.extension == ".csv" && (format != nullptr ? format->name != "csvwkt" : !IsWktCsv(path))) continue;
        const std::string stem = path.substr(0, path.size() - p.extension.size());
        for (std::string_view part : p.others) {
            std::string upper(part);
            for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            for (const std::string& name : {stem + std::string(part), stem + upper})
                if (name != path) files.push_back(name);
        }
    }
    return files;
}

bool IsWktCsv(const std::string& path) { return tables::WhatIs(path).format == "csvwkt"; }

namespace {

std::vector<tables::FileId> InputIds(const std::string& input) {
    std::vector<tables::FileId> ids;
    for (const std::string& f : LayerFiles(input))
        if (const std::optional<tables::FileId> id = tables::IdOf(f)) ids.push_back(*id);
    return ids;
}

std::int64_t InputBytes(const std::string& input) {
    std::int64_t bytes = 0;
    struct stat st {};
    for (const std::string& f : LayerFiles(input))
        if (::stat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode)) bytes += st.st_size;
    return bytes;
}

bool IsInput(const std::vector<tables::FileId>& inputs, const struct stat& st) {
    return std::find(inputs.begin(), inputs.end(), tables::FileId{st.st_dev, st.st_ino}) != inputs.end();
}

}  // namespace

void CheckDestination(const std::string& path, const std::string& shown, const std::vector<tables::FileId>& inputs,
                      std::string_view what) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    if (IsInput(inputs, st))
        throw tables::RunError("«" + shown + "» es el propio fichero de entrada; escriba la salida en otro fichero");
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw tables::RunError("«" + shown + "» es " + tables::FileKindText(st.st_mode) + ", no un fichero: " + std::string(what) +
                       " se escribe en un fichero normal");
}

std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " y " : ", ") + ("«" + names[i] + "»");
    return text;
}

std::vector<std::string> GridArguments(const tables::Settings& settings) {
    const core::Grids* grids = settings.conversion.grids;
    if (grids == nullptr) return {};
    return {"--datos=" + grids->DataFolder(), "--datos-usuario=" + grids->UserFolder()};
}

namespace {

// Runs the worker on `input`: its summary, or its RunError.
LayerSummary Work(const std::string& input, const std::vector<std::string>& arguments, int table, const tables::Settings& settings,
                  const LayerProgress& progress, const LayerLimits& limits) {
    std::vector<std::string> args = {"convertir", input, "--ajustes=" + EncodeSettings(settings),
                                     "--limites=" + EncodeLimits(limits)};
    args.insert(args.end(), arguments.begin(), arguments.end());
    for (std::string& a : GridArguments(settings)) args.push_back(std::move(a));
    LayerSummary summary;
    LayerWorker worker(args, table);
    worker.Wait(limits, InputBytes(input), [&](const Record& r) { AddRecord(summary, r); }, progress);
    return summary;
}

void CopyToStandardOutput(const std::string& path) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw tables::RunError("no se puede leer " + path + ": " + tables::SystemErrorText(errno));
    char buffer[1 << 16];
    ssize_t n;
    // A run that defers signals stops here too, not once a slow reader has had it all.
    const auto stopIfInterrupted = [&] {
        if (!tables::DeferringSignals() || tables::PendingSignal() == 0) return;
        ::close(in);
        throw Interrupted{tables::PendingSignal()};
    };
    while ((n = ::read(in, buffer, sizeof buffer)) != 0) {
        stopIfInterrupted();
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(STDOUT_FILENO, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                stopIfInterrupted();
                continue;
            }
            if (w <= 0) {
                const int e = errno;
                ::close(in);
                throw tables::RunError("no se puede escribir la salida: " + tables::SystemErrorText(e));
            }
            done += w;
        }
    }
    ::close(in);
}

// Every file written is one the user asked for: the destination's, or others named in the
// summary (`written`), and none of those replaced without a word. Throws RunError.
void CommitBeside(const tables::OutputFolder& out, const std::vector<tables::FileId>& inputs, const tables::Settings& settings,
                  const ReplaceQuestion& replace, LayerSummary& summary) {
    std::vector<std::string> existing;
    for (const std::string& name : out.Written()) {
        const std::string path = out.Destination() + "/" + name;
        struct stat st {};
        const bool exists = ::lstat(path.c_str(), &st) == 0;
        if (exists) CheckDestination(path, name, inputs);
        if (out.OfDestination(name)) continue;
        summary.written.push_back(name);
        if (exists) existing.push_back(name);
    }
    if (existing.empty() || settings.layers.replace) return;
    const std::string them = NameList(existing);
    if (!replace)
        throw tables::RunError("la conversión escribiría también " + NameList(summary.written) + ", y ya " +
                       (existing.size() == 1 ? "existe " : "existen ") + them +
                       ": elija otro destino, o añada --reemplazar para reemplazar" + (existing.size() == 1 ? "lo" : "los"));
    if (!replace(existing)) throw tables::RunError("no se ha" + std::string(existing.size() == 1 ? "" : "n") + " reemplazado " + them);
}

LayerSummary ConvertInto(const std::string& input, const std::string& output, const tables::Settings& settings,
                         const LayerProgress& progress, const ReplaceQuestion& replace, const LayerLimits& limits) {
    const LayerOutput kind = LayerOutputOf(input, output, settings);
    const std::vector<tables::FileId> inputs = InputIds(input);
    if (kind.table) {
        tables::OutputFile out(output, inputs);
        // A layer converted otherwise than the first goes to a table of its own beside the
        // output: written in a temporary folder, moved into place with it.
        std::optional<tables::OutputFolder> extras;
        std::vector<std::string> arguments = {"--tabla"};
        struct stat st {};
        const bool device = ::stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
        if (output != "-" && !device) {
            extras.emplace(output);
            const std::string path = extras->Path();
            const std::size_t dot = path.rfind('.');
            const bool hasExtension = dot != std::string::npos && dot > path.rfind('/');
            arguments.push_back("--tablas=" + path.substr(0, hasExtension ? dot : path.size()));
            arguments.push_back("--extension=" + (hasExtension ? path.substr(dot) : std::string(".csv")));
        }
        LayerSummary summary = Work(input, arguments, out.Fd(), settings, progress, limits);
        if (extras) {
            CommitBeside(*extras, inputs, settings, replace, summary);
            if (!summary.written.empty()) extras->Commit();
        }
        out.Commit();
        return summary;
    }
    const LayerFormat& format = *kind.format;
    const bool toStandardOutput = output == "-";
    if (toStandardOutput && !format.streams)
        throw tables::RunError(std::string(format.title) + " no se puede escribir en la salida estándar: dé un fichero de destino");
    if (!toStandardOutput)
        for (const std::string& f : LayerFiles(output, &format)) CheckDestination(f, f == output ? output : f, inputs);
    tables::OutputFolder out(toStandardOutput ? "capa" + std::string(format.extension) : output, toStandardOutput);
    LayerSummary summary =
        Work(input, {"--salida=" + out.Path(), "--formato=" + std::string(format.name)}, -1, settings, progress, limits);
    if (toStandardOutput) {
        CopyToStandardOutput(out.Path());
        return summary;
    }
    CommitBeside(out, inputs, settings, replace, summary);
    out.Commit();
    return summary;
}

}  // namespace

const LayerFormat* LayerFormatOfPath(std::string_view path) {
    const std::string lower = tables::AsciiLower(path);
    if (lower.ends_with(".json")) return LayerFormatNamed("geojson");
    // A .csv by its name is a table: one of WKT geometries is told by its content.
    if (lower.ends_with(".csv")) return nullptr;
    for (const LayerFormat& f : kLayerFormats)
        if (lower.ends_with(f.extension)) return &f;
    return nullptr;
}

const LayerFormat* LayerFormatOfInput(const std::string& path) {
    const tables::WhatFile what = tables::WhatIs(path);
    if (what.kind == tables::FileKind::Unknown) return LayerFormatOfPath(path);
    return what.kind == tables::FileKind::Layer ? LayerFormatNamed(what.format) : nullptr;
}

const LayerFormat* LayerFormatNamed(std::string_view name) {
    for (const LayerFormat& f : kLayerFormats)
        if (f.name == name) return &f;
    return nullptr;
}

LayerOutput LayerOutputOf(const std::string& input, const std::string& output, const tables::Settings& settings) {
    if (settings.layers.table) return {true, nullptr};
    if (!settings.layers.format.empty()) {
        const LayerFormat* named = LayerFormatNamed(settings.layers.format);
        return {named == nullptr, named};
    }
    const std::string lower = tables::AsciiLower(output);
    // A CSV of WKT geometries to a .csv stays one: the layer, not a table of its vertices.
    if (lower.ends_with(".csv") && IsWktCsv(input)) return {false, LayerFormatNamed("csvwkt")};
    if (output == "-" || lower.ends_with(".csv") || lower.ends_with(".txt") || lower.ends_with(".tsv")) return {true, nullptr};
    const LayerFormat* f = LayerFormatOfPath(output);
    if (f == nullptr) f = LayerFormatOfInput(input);
    return {false, f != nullptr ? f : &kLayerFormats[0]};
}

bool Empty(const LayerReport& r) {
    return !r.skipped && r.features == 0 && r.unread == 0 && r.leftOut.empty() && r.droppedWithoutGeometry.empty();
}

bool Whole(const LayerSummary& summary) {
    if (summary.failed > 0) return false;
    for (const LayerReport& r : summary.layers)
        if (!r.leftOut.empty() || r.unread > 0 || !r.droppedWithoutGeometry.empty()) return false;
    return true;
}

std::vector<LayerInfo> LayersOf(const std::string& path, const LayerProgress& progress, const LayerLimits& limits) {
    std::vector<LayerInfo> layers;
    try {
        LayerWorker worker({"capas", path, "--limites=" + EncodeLimits(limits)}, -1);
        worker.Wait(limits, InputBytes(path), [&](const Record& r) { layers.push_back(InfoOf(r)); }, progress);
    } catch (const Interrupted& i) {
        ResendSignal(i.signal);
    }
    return layers;
}

std::vector<FileLayers> LayersOfFiles(const std::vector<std::string>& paths, const LayerProgress& progress,
                                      const LayerLimits& limits) {
    // A batch small enough that a file GDAL stops on costs little of the others' time.
    constexpr std::size_t kBatch = 64;
    std::vector<FileLayers> read(paths.size());
    for (std::size_t first = 0; first < paths.size();) {
        const std::size_t end = std::min(first + kBatch, paths.size());
        std::vector<std::string> args = {"sistemas", paths[first], "--limites=" + EncodeLimits(limits)};
        std::int64_t bytes = InputBytes(paths[first]);
        for (std::size_t i = first + 1; i < end; ++i) {
            args.push_back("--fichero=" + paths[i]);
            bytes += InputBytes(paths[i]);
        }
        std::size_t current = first, answered = 0;  // the file the worker is on, and how many it began
        try {
            LayerWorker worker(args, -1);
            worker.Wait(
                limits, bytes,
                [&](const Record& r) {
                    if (r[0] == "fichero") current = first + answered++;
                    else if (r[0] == "capa") read[current].layers.push_back(InfoOf(r));
                    else if (r[0] == "ilegible" && r.size() >= 2) read[current].unreadable = r[1];
                },
                [&](std::uint64_t done, std::uint64_t) {
                    if (progress) progress(first + done, paths.size());
                });
            first = end;
        } catch (const Interrupted& i) {
            ResendSignal(i.signal);
        } catch (const tables::RunError&) {
            // The file it stopped on, alone, for its own sentence; the batch after it.
            read[current] = {};
            try {
                read[current].layers = LayersOf(paths[current], {}, limits);
            } catch (const tables::RunError& e) {
                read[current].unreadable = e.what();
            }
            first = current + 1;
        }
    }
    return read;
}

LayerSummary ConvertLayers(const std::string& input, const std::string& output, const tables::Settings& settings,
                           const LayerProgress& progress, const ReplaceQuestion& replace, const LayerLimits& limits) {
    // An interrupted run leaves as the signal says once its temporary files are gone,
    // unless its caller defers signals to say itself what the run kept.
    int signal = 0;
    try {
        return ConvertInto(input, output, settings, progress, replace, limits);
    } catch (const Interrupted& i) {
        if (tables::DeferringSignals()) throw;
        signal = i.signal;
    }
    ResendSignal(signal);
}

std::string CadText(const LayerReport& r) {
    std::string text = "en la capa DXF «" + r.name + "», sin el sistema";
    for (std::size_t i = 0; i < r.notKept.size(); ++i)
        text += (i == 0 ? " ni los atributos, que DXF no guarda: «" : i + 1 == r.notKept.size() ? " y «" : ", «") +
                r.notKept[i] + "»";
    return r.notKept.empty() ? text + ", que DXF no guarda" : text;
}

std::string LayerNotesText(const LayerReport& r) {
    std::vector<std::string> parts;
    if (r.unread > 0)
        parts.push_back(tables::Count(static_cast<std::uint64_t>(r.unread), "registro que GDAL no ha podido leer, fuera",
                              "registros que GDAL no ha podido leer, fuera"));
    if (r.withoutGeometry > 0)
        parts.push_back(tables::Count(static_cast<std::uint64_t>(r.withoutGeometry), "entidad sin geometría, escrita sin ella",
                              "entidades sin geometría, escritas sin ella"));
    if (!r.droppedWithoutGeometry.empty()) {
        std::string ids;
        for (std::size_t i = 0; i < r.droppedWithoutGeometry.size() && i < 10; ++i)
            ids += (i == 0 ? " " : ", ") + std::to_string(r.droppedWithoutGeometry[i]);
        if (r.droppedWithoutGeometry.size() > 10) ids += "…";
        const std::string keeps = ", que " + r.droppedBy + " no guarda, ";
        parts.push_back(tables::Count(r.droppedWithoutGeometry.size(), "entidad sin geometría" + keeps + "dejada fuera:",
                              "entidades sin geometría" + keeps + "dejadas fuera:") +
                        ids);
    }
    if (r.recoded > 0) {
        std::string text = tables::Count(static_cast<std::uint64_t>(r.recoded),
                                 "texto que no era de la codificación del fichero, leído",
                                 "textos que no eran de la codificación del fichero, leídos") +
                           " como Windows-1252";
        if (r.replaced > 0)
            text += " (" + tables::Count(static_cast<std::uint64_t>(r.replaced), "byte sin carácter escrito", "bytes sin carácter escritos") +
                    " como �)";
        parts.push_back(text);
    }
    for (const std::string& change : r.changes) parts.push_back(change);
    for (const auto& [from, to] : r.renamed)
        parts.push_back("el atributo «" + from + "» escrito como «" + to + "», pues el formato no distingue mayúsculas");
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : "; ") + p;
    return text;
}

std::string LayerSummaryText(const LayerSummary& summary, std::string_view inputName) {
    std::string text;
    for (const tables::RowError& e : summary.errors) text += std::string(inputName) + ": error: " + e.message + "\n";
    if (summary.failed > summary.errors.size())
        text += "... y " + tables::Count(summary.failed - summary.errors.size(), "error más", "errores más") + "\n";
    for (const tables::RowError& note : summary.notes) text += std::string(inputName) + ": aviso: " + note.message + "\n";
    if (summary.noted > summary.notes.size())
        text += "... y " + tables::Count(summary.noted - summary.notes.size(), "aviso más", "avisos más") + "\n";
    for (const LayerReport& r : summary.layers) {
        if (r.skipped) {
            text += "talpor-lote: " + std::string(inputName) + ": capa «" + r.name + "»: " + kSkippedText + "\n";
            continue;
        }
        if (Empty(r)) {
            text += "talpor-lote: " + std::string(inputName) + ": capa «" + r.name + "»: " + kEmptyText + "\n";
            continue;
        }
        text += "talpor-lote: " + std::string(inputName) + ": capa «" + r.name + "»: " + tables::Count(r.features, "entidad", "entidades") +
                ", " + LayerWayText(r, "; ");
        if (r.zone > 0 && r.outsideBand > 0)
            text += "; " + tables::Count(r.outsideBand, "vértice", "vértices") + " fuera de la franja del huso " + std::to_string(r.zone);
        if (r.withoutHeight > 0)
            text += "; " + WithoutHeightCount(r.withoutHeight);
        if (r.cad) text += "; " + CadText(r);
        if (const std::string notes = LayerNotesText(r); !notes.empty()) text += "; " + notes;
        if (!r.leftOut.empty()) {
            text += "; " + tables::Count(r.leftOut.size(), "entidad fuera del área del método, dejada fuera:",
                                 "entidades fuera del área del método, dejadas fuera:");
            for (std::size_t i = 0; i < r.leftOut.size(); ++i) text += (i == 0 ? " " : ", ") + std::to_string(r.leftOut[i]);
        }
        text += "\n";
    }
    if (!summary.written.empty())
        text += "talpor-lote: " + std::string(inputName) + ": escritos también, junto al destino: " + NameList(summary.written) + "\n";
    return text;
}

std::string LayerWayText(const LayerReport& r, std::string_view joint) {
    if (r.unchanged) return tables::Count(r.vertices, "vértice", "vértices") + std::string(joint) + "ya está en " + r.to + ": copiada sin cambios";
    const std::string vertices = tables::Count(r.vertices, "vértice convertido", "vértices convertidos") + std::string(joint);
    if (!r.way.empty()) return vertices + r.from + " → " + r.to + " (" + r.way + ")";
    return vertices + (joint == "; " ? "" : "de ") + r.from + " a " + r.to;
}

std::string WithoutHeightCount(std::int64_t vertices) {
    return tables::Count(static_cast<std::uint64_t>(vertices), "vértice sin altura (su Z no es una altitud)",
                 "vértices sin altura (su Z no es una altitud)");
}

}  // namespace layers
