#include "convert/FileConversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>
#include <functional>
#include <string>
#include <vector>

#include "batch/CommandLine.h"
#include "batch/FolderRun.h"
#include "layers/Layers.h"
#include "projects/QgisProject.h"
#include "tables/FileKind.h"
#include "tables/OutputFile.h"
#include "batch/Stream.h"
#include "tables/SystemError.h"
#include "convert/FileDialog.h"

namespace convert {
namespace {

using batch::ConvertFile;
using tables::IdOf;
using tables::OutputFile;
using tables::RowError;
using tables::RunError;
using tables::Settings;
using batch::Summary;
using tables::SystemErrorText;

constexpr const char* kTitle = "Convertir fichero";
constexpr const char* kSettings = "Fichero";  // the section of the user's settings

// The user pressed "Cancelar" in the progress window.
struct Cancelled {};

// Closes the progress window however the run ends: a summary, a cancel, a run error, or
// an error of any other kind on its way to the handler's error box.
class ProgressWindow {
  public:
    explicit ProgressWindow(form::Platform& platform) : platform_(platform) {}
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    ~ProgressWindow() { End(); }
    bool Show(std::string_view text, int percent) {
        shown_ = true;
        return platform_.ShowProgress(text, percent);
    }
    void End() {
        if (!shown_) return;
        shown_ = false;
        try {
            platform_.EndProgress();
        } catch (...) {
            // Nothing more can be done for a window that will not close.
        }
    }

  private:
    form::Platform& platform_;
    bool shown_ = false;
};

// Closes a file descriptor at the end of its scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

std::string FileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SummaryMessage(const Summary& s, const std::string& input, const std::string& output) {
    std::string m = tables::Count(s.converted, "fila convertida", "filas convertidas") + ", " +
                    tables::Count(s.failed, "con error", "con error") + ".\r\n\r\nResultado: " + output;
    if (!s.firstErrors.empty()) {
        m += "\r\n\r\nLas filas con error siguen en su sitio, con el motivo en la columna Error:";
        for (const RowError& e : s.firstErrors)
            m += "\r\n" + FileName(input) + ":" + std::to_string(e.line) + ": " + e.message;
        if (s.failed > s.firstErrors.size()) m += "\r\n…";
    }
    if (!s.notes.empty()) {
        m += "\r\n\r\nAvisos:";
        for (const RowError& n : s.notes) m += "\r\n" + FileName(input) + ":" + std::to_string(n.line) + ": " + n.message;
        if (s.noted > s.notes.size()) m += "\r\n…";
    }
    return m;
}

void SayCancelled(form::Platform& platform) {
    platform.MsgBox("Conversión cancelada: no se ha escrito ningún fichero.", kTitle, form::MsgIcon::Information,
                    form::MsgButtons::OK, form::MsgResult::OK);
}

std::string LayerMessage(const layers::LayerSummary& s, const std::string& output) {
    std::string m;
    for (const layers::LayerReport& r : s.layers) {
        if (r.skipped || layers::Empty(r)) {
            m += (m.empty() ? "" : "\r\n") + ("Capa «" + r.name + "»: " + (r.skipped ? layers::kSkippedText : layers::kEmptyText) + ".");
            continue;
        }
        m += (m.empty() ? "" : "\r\n") + ("Capa «" + r.name + "»: " + tables::Count(r.features, "entidad", "entidades") + ", " +
                                          layers::LayerWayText(r, ", ") + ".");
        if (r.zone > 0 && r.outsideBand > 0)
            m += " " + tables::Count(r.outsideBand, "vértice queda", "vértices quedan") + " fuera de la franja del huso " +
                 std::to_string(r.zone) + (r.outsideBand == 1 ? " y se proyecta en él." : " y se proyectan en él.");
        if (r.withoutHeight > 0)
            m += " " + layers::WithoutHeightCount(r.withoutHeight) + ".";
        if (r.cad) m += " Escrita " + layers::CadText(r) + ".";
        if (std::string notes = layers::LayerNotesText(r); !notes.empty()) {
            notes[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(notes[0])));
            m += " " + notes + ".";
        }
        if (!r.leftOut.empty()) {
            m += " Dejadas fuera por caer fuera del área del método: ";
            for (std::size_t i = 0; i < r.leftOut.size(); ++i) m += (i == 0 ? "" : ", ") + std::to_string(r.leftOut[i]);
            m += ".";
        }
    }
    m += "\r\n\r\nResultado: " + output;
    if (!s.written.empty()) {
        m += "\r\nEscritos también junto a él:";
        for (std::size_t i = 0; i < s.written.size(); ++i) m += (i == 0 ? " " : ", ") + s.written[i];
    }
    if (!s.errors.empty()) {
        m += "\r\n\r\nLo que GDAL no ha podido leer:";
        for (const RowError& e : s.errors) m += "\r\n" + e.message;
        if (s.failed > s.errors.size()) m += "\r\n…";
    }
    if (!s.notes.empty()) {
        m += "\r\n\r\nAvisos:";
        for (const RowError& n : s.notes) m += "\r\n" + n.message;
        if (s.noted > s.notes.size()) m += "\r\n…";
    }
    return m;
}

// The question before files written beside `output` that exist already are replaced.
layers::ReplaceQuestion ReplaceBeside(form::Platform& platform, ProgressWindow& progress, const std::string& output) {
    return [&platform, &progress, output](const std::vector<std::string>& existing) {
        progress.End();
        std::string list;
        for (const std::string& name : existing) list += "\r\n" + name;
        return ReplaceAgreed(platform, "La conversión escribe también, junto a «" + FileName(output) +
                                           "», estos ficheros, que ya existen:" + list + "\r\n\r\n¿Quiere reemplazarlos?");
    };
}

// A file whose GDAL run writes files beside the destination, converted by `convert` under
// a progress window: its summary box (the text and icon `convert` returns), or the cancel in
// a box of its own (nullopt); why it failed, with no file written, otherwise. `convert` is
// given the window, its text, and the question before files beside it are replaced.
using Ending = std::pair<std::string, form::MsgIcon>;
std::optional<std::string> RunBeside(
    form::Platform& platform, const std::string& input, const std::string& output,
    const std::function<Ending(ProgressWindow&, const std::string&, const layers::ReplaceQuestion&)>& convert) {
    ProgressWindow progress(platform);
    const std::string text = "Convirtiendo «" + FileName(input) + "»…";
    try {
        if (!progress.Show(text, 0)) throw Cancelled{};
        const auto [message, icon] = convert(progress, text, ReplaceBeside(platform, progress, output));
        progress.End();
        platform.MsgBox(message, kTitle, icon, form::MsgButtons::OK, form::MsgResult::OK);
    } catch (const Cancelled&) {
        progress.End();
        SayCancelled(platform);
    } catch (const RunError& e) {
        return e.what();
    }
    return std::nullopt;
}

// A layer file, converted as talpor-lote converts it; the progress counts features.
std::optional<std::string> RunLayers(form::Platform& platform, const std::string& input, const std::string& output,
                                     const Settings& settings) {
    return RunBeside(platform, input, output, [&](ProgressWindow& progress, const std::string& text, const auto& replace) {
        const layers::LayerSummary summary = layers::ConvertLayers(
            input, output, settings,
            [&](std::uint64_t features, std::uint64_t total) {
                const int percent = total > 0 ? static_cast<int>(std::min<std::uint64_t>(features * 100 / total, 100)) : 0;
                if (!progress.Show(text + " " + tables::Count(features, "entidad", "entidades"), percent)) throw Cancelled{};
            },
            replace);
        return Ending{LayerMessage(summary, output), !layers::Whole(summary) || summary.noted > 0
                                                         ? form::MsgIcon::Exclamation
                                                         : form::MsgIcon::Information};
    });
}

// A workbook, converted as talpor-lote converts it.
std::optional<std::string> RunWorkbook(form::Platform& platform, const std::string& input, const std::string& output,
                                       const Settings& settings) {
    return RunBeside(platform, input, output, [&](ProgressWindow&, const std::string&, const auto& replace) {
        const batch::WorkbookSummary summary = batch::ConvertWorkbook(input, output, settings, {}, replace);
        std::string m = batch::WorkbookSummaryLine(summary);
        m[0] = 'H';  // "Hoja «Puntos»: …"
        return Ending{m + ".\r\n\r\nResultado: " + summary.output,
                      batch::Whole(summary) ? form::MsgIcon::Information : form::MsgIcon::Exclamation};
    });
}

// An image, converted as talpor-lote converts it; the progress counts rows of pixels.
std::optional<std::string> RunImage(form::Platform& platform, const std::string& input, const std::string& output,
                                    const Settings& settings, const rasters::RasterOptions& options) {
    return RunBeside(platform, input, output, [&](ProgressWindow& progress, const std::string& text, const auto& replace) {
        const rasters::RasterSummary summary = rasters::ConvertRaster(
            input, output, settings, options,
            [&](std::uint64_t rows, std::uint64_t total) {
                const int percent = total > 0 ? static_cast<int>(std::min<std::uint64_t>(rows * 100 / total, 100)) : 0;
                if (!progress.Show(text + " " + tables::Grouped(rows) + " de " + tables::Grouped(total) + " filas de píxeles",
                                   percent))
                    throw Cancelled{};
            },
            replace);
        std::string m = rasters::RasterSummaryLine(summary);
        m[0] = 'I';  // "imagen de …"
        return Ending{m + ".\r\n\r\nResultado: " + output, form::MsgIcon::Information};
    });
}

// Converts `input` into `output` with a progress window and says how it ended: the
// summary, or the cancel, in a box of its own (nullopt); why it failed, with no file
// written, otherwise.
std::optional<std::string> Run(form::Platform& platform, const std::string& input, const std::string& output,
                               const Settings& settings) {
    if (const tables::WhatFile what = tables::WhatIs(input); what.kind == tables::FileKind::Refused) return what.refusal;
    if (layers::IsLayerFile(input)) return RunLayers(platform, input, output, settings);
    if (batch::IsWorkbookInput(input)) return RunWorkbook(platform, input, output, settings);
    ProgressWindow progress(platform);
    Descriptor in{::open(input.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) return SystemErrorText(errno);
    struct stat st {};
    const std::uint64_t size =
        ::fstat(in.fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    const std::string text = "Convirtiendo «" + FileName(input) + "»…";
    try {
        OutputFile out(output, IdOf(in.fd));
        if (!progress.Show(text, 0)) throw Cancelled{};
        const Summary summary = ConvertFile(in.fd, out.Fd(), settings, [&](std::uint64_t bytes, std::uint64_t) {
            const int percent = size > 0 ? static_cast<int>(bytes * 100 / size) : 0;
            if (!progress.Show(text, percent)) throw Cancelled{};
        });
        out.Commit();
        progress.End();
        platform.MsgBox(SummaryMessage(summary, input, output), kTitle,
                        summary.failed > 0 || summary.noted > 0 ? form::MsgIcon::Exclamation : form::MsgIcon::Information,
                        form::MsgButtons::OK, form::MsgResult::OK);
    } catch (const Cancelled&) {
        progress.End();
        SayCancelled(platform);
    } catch (const RunError& e) {
        return e.what();
    }
    return std::nullopt;
}

// What came of one file of several, on one line: its rows or its layers, its first error.
std::string FolderFileLine(const batch::FolderFile& f) {
    std::string line;
    if (!f.copied.empty()) return f.copied + ".";
    if (f.table) {
        const Summary& s = *f.table;
        if (s.converted == 0 && s.failed == 0) return "ningún punto que convertir.";
        line = tables::Count(s.converted, "fila convertida", "filas convertidas");
        if (s.failed > 0) {
            line += ", " + tables::Count(s.failed, "con error", "con error");
            if (!s.firstErrors.empty())
                line += " (la primera, la fila " + std::to_string(s.firstErrors[0].line) + ": " + s.firstErrors[0].message + ")";
        }
        if (s.noted > 0) line += ", " + tables::Count(s.noted, "aviso", "avisos");
        if (!f.way.empty()) line += "; " + f.way;
        if (!f.note.empty()) line += "; " + f.note;
        return line + ".";
    }
    if (f.image) return rasters::RasterSummaryLine(*f.image) + ".";
    if (f.workbook) return batch::WorkbookSummaryLine(*f.workbook) + (f.way.empty() ? "" : "; " + f.way) + ".";
    if (f.project) return projects::ProjectSummaryLine(*f.project);
    const layers::LayerSummary& s = *f.layers;
    for (const layers::LayerReport& r : s.layers) {
        line += (line.empty() ? "capa «" : "; capa «") + r.name + "»: ";
        if (r.skipped || layers::Empty(r)) {
            line += r.skipped ? layers::kSkippedText : layers::kEmptyText;
            continue;
        }
        line += tables::Count(r.features, "entidad", "entidades") + ", " + layers::LayerWayText(r, ", ");
        if (!r.leftOut.empty()) line += ", " + tables::Count(r.leftOut.size(), "entidad dejada fuera", "entidades dejadas fuera");
    }
    if (!s.errors.empty())
        line += "; lo que GDAL no ha podido leer: " + s.errors[0].message + (s.failed > 1 ? " (y más)" : "");
    if (s.noted > 0) line += "; " + tables::Count(s.noted, "aviso", "avisos");
    if (!s.written.empty()) line += "; escritos también: " + layers::NameList(s.written);
    return line + ".";
}

// What the user can do for a file refused for `missing`, in the dialog's words.
std::string MissingText(tables::Missing missing) {
    return missing == tables::Missing::Zone      ? "; elija el huso en «Huso de Este y Norte»"
           : missing == tables::Missing::Columns ? "; conviértalo solo para indicar las columnas del punto"
                                                : "";
}

// The summary of several files: the counts, every file written and every file refused
// with why; a cancel named first, with the files it stopped.
std::string FolderMessage(const batch::FolderRun& run, const FileDialog& dialog, const std::optional<batch::FolderStop>& stop) {
    const std::vector<batch::FolderFile>& files = run.Files();
    std::string m;
    if (stop) {
        std::vector<std::string> names;
        for (std::size_t i : stop->underWay) names.push_back(dialog.Shown(files[i].shown));
        const std::string more = tables::Count(stop->notStarted, "fichero más", "ficheros más");
        m = "Conversión cancelada: " +
            (names.empty() ? "no se han convertido " + more
                           : "no se ha escrito nada de " + layers::NameList(names) +
                                 (stop->notStarted > 0 ? " ni de " + more : std::string())) +
            ".\r\n";
    }
    const batch::FolderCounts counts = run.Counts();
    m += batch::CountsText(counts) + ".\r\nCarpeta de destino: " + run.Output();
    if (counts.converted + counts.withErrors > 0) {
        m += stop ? "\r\n\r\nEscritos antes de cancelar, que se quedan:" : "\r\n\r\nEscritos:";
        for (const batch::FolderFile& f : files)
            if (f.Converted()) m += "\r\n" + f.output.substr(run.Output().size() + 1) + ": " + FolderFileLine(f);
    }
    if (counts.refused > 0) {
        m += "\r\n\r\nRechazados, sin escribir nada de ellos:";
        for (const batch::FolderFile& f : files)
            if (!f.Converted() && !f.refused.empty())
                m += "\r\n" + dialog.Shown(f.shown) + ": " + f.refused + MissingText(f.missing) + ".";
    }
    return m;
}

// A folder or several files, converted as talpor-lote converts them (batch::ConvertFiles,
// side by side): one progress of the whole run and a Cancel that leaves nothing of the
// files under way and keeps the files written before; then the summary.
void RunSeveral(form::Platform& platform, const FileDialog& dialog, core::Grids& grids) {
    std::optional<batch::FolderRun> run;
    batch::CommandLine cl;
    try {
        cl = batch::ParseCommandLine(dialog.Arguments());
        run.emplace(cl);
    } catch (const std::runtime_error& e) {  // tables::RunError, batch::UsageError
        platform.MsgBox("No se ha podido convertir: " + std::string(e.what()) + ".\r\nNo se ha escrito ningún fichero.",
                        kTitle, form::MsgIcon::Exclamation, form::MsgButtons::OK, form::MsgResult::OK);
        return;
    }
    const std::vector<batch::FolderFile>& files = run->Files();
    ProgressWindow progress(platform);
    batch::FolderWatch watch;
    // The files a layer writes besides its own that exist already: asked file by file.
    watch.replace = [&](const std::vector<std::string>& existing) {
        progress.End();
        std::string list;
        for (const std::string& name : existing) list += "\r\n" + name;
        return ReplaceAgreed(platform, "La conversión escribe también estos ficheros, que ya existen:" + list +
                                           "\r\n\r\n¿Quiere reemplazarlos?");
    };
    // "[3/12] datos/rios.shp: 1.200 entidades; quedan unos 3 min": the file begun last; the
    // share is the run's.
    batch::TimeLeft left(*run);
    watch.ended = [&](std::size_t i) { left.Ended(i); };
    watch.tick = [&](const std::vector<std::size_t>& underWay, std::size_t ended, const std::vector<std::uint64_t>& counts) {
        std::string text = "[" + std::to_string(underWay.empty() ? ended : underWay.back() + 1) + "/" +
                           std::to_string(files.size()) + "]";
        if (!underWay.empty()) {
            const std::size_t i = underWay.back();
            const bool layers = layers::IsLayerFile(files[i].input);
            text += " " + dialog.Shown(files[i].shown);
            if (counts.back() > 0) text += ": " + tables::Count(counts.back(), layers ? "entidad" : "fila", layers ? "entidades" : "filas");
        }
        if (!progress.Show(text + left.Text(), static_cast<int>(ended * 100 / files.size()))) throw Cancelled{};
    };
    const std::optional<batch::FolderStop> stop = batch::ConvertFiles(*run, grids, cl.jobs, watch);
    progress.End();
    const batch::FolderCounts counts = run->Counts();
    platform.MsgBox(FolderMessage(*run, dialog, stop), kTitle,
                    stop || counts.withErrors + counts.refused > 0 ? form::MsgIcon::Exclamation
                                                                   : form::MsgIcon::Information,
                    form::MsgButtons::OK, form::MsgResult::OK);
}

}  // namespace

bool ReplaceAgreed(form::Platform& platform, const std::string& question) {
    return platform.MsgBox(question, kTitle, form::MsgIcon::Exclamation, form::MsgButtons::YesNo,
                           form::MsgResult::No) == form::MsgResult::Yes;
}

void CmdFichero_Click(form::FormModel& form, form::Platform& platform, int tab, core::Grids& grids,
                      const std::vector<std::string>& dropped) {
    const core::Direction direction =
        tab == 0 ? core::Direction::WGS84ToED50 : core::Direction::ED50ToWGS84;
    // The files first (those dropped, or those chosen from the folder of the last
    // conversion); then the dialog with its preview and every choice.
    const std::vector<std::string> inputs =
        !dropped.empty() ? dropped
                         : platform.OpenFileNames(direction == core::Direction::WGS84ToED50 ? "Ficheros de puntos WGS84"
                                                                                            : "Ficheros de puntos ED50",
                                                  platform.GetSetting("Talpor", kSettings, "Carpeta"), kPointFiles);
    if (inputs.empty()) return;
    const std::string zone = form.Get(tab == 0 ? "CmbHuso" : "CmbUsos2").ListText();
    FileDialog dialog(platform, grids, direction, zone.empty() ? 30 : std::stoi(zone), inputs);
    if (!platform.ShowDialog(dialog.Model(), [&](form::Control& c) { return dialog.Changed(c); })) return;
    if (dialog.Several()) return RunSeveral(platform, dialog, grids);
    const std::string in = dialog.Input(), out = dialog.Output();
    const std::optional<std::string> failure = rasters::IsRasterFile(in)
                                                   ? RunImage(platform, in, out, dialog.Settings(), dialog.Raster())
                                                   : Run(platform, in, out, dialog.Settings());
    if (failure)
        platform.MsgBox("No se ha podido convertir «" + FileName(in) + "»: " + *failure +
                            "\r\nNo se ha escrito ningún fichero.",
                        kTitle, form::MsgIcon::Exclamation, form::MsgButtons::OK, form::MsgResult::OK);
}

}  // namespace convert
