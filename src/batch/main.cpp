// talpor-lote: the batch converter's command line around batch::ConvertStream.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch/CommandLine.h"
#include "batch/FolderRun.h"
#include "batch/Stream.h"
#include "batch/Workbook.h"
#include "core/Grids.h"
#include "layers/LayerWorker.h"
#include "layers/Layers.h"
#include "rasters/Rasters.h"
#include "tables/FileKind.h"
#include "tables/OutputFile.h"
#include "tables/SystemError.h"

namespace {

constexpr int kAllConverted = 0, kSomeFailed = 1, kCannotRun = 2;

int CannotRun(const std::string& message) {
    std::cerr << "talpor-lote: " << message << "\n";
    return kCannotRun;
}

// The characters of a UTF-8 text, and its first `n` of them.
std::size_t Characters(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string FirstCharacters(std::string_view text, std::size_t n) {
    std::size_t i = 0;
    for (std::size_t seen = 0; i < text.size(); ++i)
        if ((text[i] & 0xC0) != 0x80 && seen++ == n) break;
    return std::string(text.substr(0, i));
}

// The progress line on a terminal: rows written (features read, for layers) and, where
// it is known, the share read.
class ProgressLine {
  public:
    explicit ProgressLine(const char* one = "fila", const char* many = "filas", std::string prefix = "")
        : one_(one), many_(many), prefix_(std::move(prefix)) {}
    void Show(std::uint64_t count, int percent) {
        std::string line = prefix_ + tables::Count(count, one_, many_);
        if (percent >= 0) line += " (" + std::to_string(percent) + " %)";
        Show(line);
    }
    void Show(const std::string& text) {
        // One line of the terminal's width at most, or it would scroll.
        winsize size {};
        std::string line = text;
        const std::size_t width = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20 ? size.ws_col - 1 : 79;
        if (Characters(line) + 13 > width) line = FirstCharacters(line, width > 16 ? width - 16 : 0) + "…";
        std::fputs(("\r\033[Ktalpor-lote: " + line).c_str(), stderr);
        std::fflush(stderr);
        shown_ = true;
    }
    void Clear() {
        if (shown_) std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

  private:
    const char* one_;
    const char* many_;
    std::string prefix_;
    bool shown_ = false;
};

// The program's data folder, found from the program's own file as the window finds it.
std::string DataFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return (self.parent_path() / TALPOR_DATA_FROM_BIN).lexically_normal().string();
}

// The user's data folder of the window ($XDG_DATA_HOME/Talpor), which may hold the 2009
// grids; "" when there is no home.
std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/Talpor";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return std::string(home) + "/.local/share/Talpor";
}

// What escapes every handler ends the program as a run that cannot be done, exit status
// 2, with its temporary output removed: talpor-lote ends with 0, 1 or 2 whatever it reads.
[[noreturn]] void Terminate() {
    tables::RemoveTemporaryOutput();
    constexpr std::string_view kMessage = "talpor-lote: error interno\n";
    (void)!::write(STDERR_FILENO, kMessage.data(), kMessage.size());
    ::_exit(kCannotRun);
}

// The one-line message of an exception no part of the program expected.
std::string Unexpected(const std::exception_ptr& thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        return "no hay memoria suficiente";
    } catch (const std::exception& e) {
        return "error interno " + tables::Quoted(e.what());
    } catch (...) {
    }
    return "error interno";
}

// Runs that say what an interruption kept (a layer, an image, several files) defer
// signals for their whole length: Ctrl+C or a kill stops the worker at once and comes out
// of the conversion as layers::Interrupted, nothing of the file it was writing left; the
// run says so and ends as the signal says (ResendSignal), as a second signal ends it at
// once. A signal that came as the last file was put in place ends the run the same way,
// once its summary is said.
int Ended(int status) {
    if (const int signal = tables::PendingSignal()) layers::ResendSignal(signal);
    return status;
}

[[noreturn]] void EndInterrupted(const std::string& input, const std::string& output, int signal) {
    std::cerr << "talpor-lote: " << input << ": interrumpido: "
              << (output == "-" ? "lo escrito en la salida estándar queda incompleto" : "no se ha escrito ningún fichero")
              << "\n";
    layers::ResendSignal(signal);
}

// A layer file: read and written through GDAL, each layer whole.
int RunLayers(const batch::CommandLine& cl) {
    tables::DeferSignals(-1);
    ProgressLine progress("entidad", "entidades");
    layers::LayerProgress show;
    if (::isatty(STDERR_FILENO)) show = [&](std::uint64_t features, std::uint64_t) { progress.Show(features, -1); };
    try {
        const layers::LayerSummary summary = layers::ConvertLayers(cl.input, cl.output, cl.settings, show);
        progress.Clear();
        std::cerr << layers::LayerSummaryText(summary, cl.input);
        if (rasters::HasTilesBesideLayers(cl.input)) std::cerr << "talpor-lote: " << cl.input << ": " << rasters::kTilesLeft << "\n";
        return Ended(layers::Whole(summary) ? kAllConverted : kSomeFailed);
    } catch (const layers::Interrupted& i) {
        progress.Clear();
        EndInterrupted(cl.input, cl.output, i.signal);
    } catch (const tables::RunError& e) {
        progress.Clear();
        return CannotRun(cl.input + ": " + e.what());
    } catch (...) {
        progress.Clear();
        return CannotRun(cl.input + ": " + Unexpected(std::current_exception()));
    }
}

// A workbook: each sheet with points a table, written as a workbook of the same kind.
int RunWorkbook(const batch::CommandLine& cl) {
    tables::DeferSignals(-1);
    try {
        const batch::WorkbookSummary summary = batch::ConvertWorkbook(cl.input, cl.output, cl.settings);
        std::cerr << batch::WorkbookSummaryText(summary, cl.input);
        return Ended(batch::Whole(summary) ? kAllConverted : kSomeFailed);
    } catch (const layers::Interrupted& i) {
        EndInterrupted(cl.input, cl.output, i.signal);
    } catch (const tables::RunError& e) {
        return CannotRun(cl.input + ": " + e.what() + std::string(batch::MissingHint(e.missing)));
    } catch (...) {
        return CannotRun(cl.input + ": " + Unexpected(std::current_exception()));
    }
}

// An image: its georeference moved, its pixels untouched.
int RunRaster(const batch::CommandLine& cl) {
    tables::DeferSignals(-1);
    try {
        const rasters::RasterSummary summary = rasters::ConvertRaster(cl.input, cl.output, cl.settings, cl.raster);
        std::cerr << rasters::RasterSummaryText(summary, cl.input);
        return Ended(kAllConverted);
    } catch (const layers::Interrupted& i) {
        EndInterrupted(cl.input, cl.output, i.signal);
    } catch (const tables::RunError& e) {
        return CannotRun(cl.input + ": " + e.what());
    } catch (...) {
        return CannotRun(cl.input + ": " + Unexpected(std::current_exception()));
    }
}

// A folder, or several inputs, into an output folder, files converted side by side (-j):
// each file's summary in the files' order, then the links passed over and the counts of
// files. A signal stops the whole run: the files written before stay, nothing of those
// under way.
int RunSeveral(const batch::CommandLine& cl, core::Grids* grids) {
    tables::DeferSignals(-1);
    std::optional<batch::FolderRun> run;
    try {
        run.emplace(cl);
    } catch (const tables::RunError& e) {
        return CannotRun(e.what());
    }
    const std::vector<batch::FolderFile>& files = run->Files();
    batch::TimeLeft left(*run);
    ProgressLine line;
    batch::FolderWatch watch;
    // "[37/412] capas/parcelas.shp: 1.200 entidades; quedan unos 3 min": the file begun last.
    if (::isatty(STDERR_FILENO))
        watch.tick = [&](const std::vector<std::size_t>& underWay, std::size_t, const std::vector<std::uint64_t>& counts) {
            if (underWay.empty()) return;
            const std::size_t i = underWay.back();
            const bool layers = layers::IsLayerFile(files[i].input);
            std::string text = "[" + std::to_string(i + 1) + "/" +
                               std::to_string(files.size()) + "] " + files[i].shown;
            if (counts.back() > 0) text += ": " + tables::Count(counts.back(), layers ? "entidad" : "fila", layers ? "entidades" : "filas");
            line.Show(text + left.Text());
        };
    watch.ended = [&](std::size_t i) {
        line.Clear();
        left.Ended(i);
        std::cerr << batch::FolderFileText(files[i]);
    };
    const std::optional<batch::FolderStop> stop = batch::ConvertFiles(*run, *grids, cl.jobs, watch);
    line.Clear();
    for (const batch::FolderFile& f : run->Passed()) std::cerr << batch::FolderFileText(f);
    if (stop) std::cerr << "talpor-lote: interrumpido: " << batch::StopText(*run, *stop) << "\n";
    const batch::FolderCounts counts = run->Counts();
    std::cerr << "talpor-lote: " << batch::CountsText(counts) << "\n";
    if (stop && stop->signal != 0) layers::ResendSignal(stop->signal);
    if (counts.converted + counts.withErrors == 0) return Ended(kCannotRun);
    return Ended(counts.withErrors + counts.refused > 0 ? kSomeFailed : kAllConverted);
}

int Run(int argc, char** argv) {
    batch::CommandLine cl;
    try {
        cl = batch::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const batch::UsageError& e) {
        std::cerr << "talpor-lote: " << e.what() << "\nPruebe «talpor-lote --help».\n";
        return kCannotRun;
    }
    if (cl.help) {
        std::cout << batch::HelpText();
        return kAllConverted;
    }
    if (cl.version) {
        std::cout << batch::VersionLine() << "\n";
        return kAllConverted;
    }

    // The grids a run needs are opened before the input, so that a missing grid stops
    // the run before any output is written.
    std::unique_ptr<core::Grids> grids;
    tables::Conversion& conversion = cl.settings.conversion;
    // The geoid may be needed for the elevations of a GPX or KML file: the grids are
    // opened on first use.
    grids = std::make_unique<core::Grids>(DataFolder(), core::UserGridFolder(UserDataFolder()));
    conversion.grids = grids.get();
    if (tables::NeedsGrids(cl.settings)) {
        if (conversion.method == tables::Method::Grid && !grids->Shift().Problem().empty())
            return CannotRun(grids->Shift().Problem());
        if (cl.settings.outputs.altitude && !grids->Geoid().Problem().empty())
            return CannotRun(grids->Geoid().Problem());
        conversion.grids = grids.get();
    }

    if (cl.several) return RunSeveral(cl, grids.get());
    if (const tables::WhatFile what = tables::WhatIs(cl.input); what.kind == tables::FileKind::Refused)
        return CannotRun(cl.input + ": " + what.refusal);
    if (batch::IsProjectFile(cl.input))
        return CannotRun(cl.input + ": un proyecto de QGIS se convierte con sus capas en una carpeta: talpor-lote " +
                         cl.input + " SALIDA");
    if (batch::IsWorkbookInput(cl.input)) return RunWorkbook(cl);
    // An image first: a GeoPackage of raster tiles alone is one.
    if (rasters::IsRasterFile(cl.input)) return RunRaster(cl);
    if (layers::IsLayerFile(cl.input)) return RunLayers(cl);

    const bool standardInput = cl.input == "-";
    const std::string inputName = standardInput ? "entrada estándar" : cl.input;
    int in = STDIN_FILENO;
    if (!standardInput) {
        in = ::open(cl.input.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return CannotRun("no se puede leer «" + cl.input + "»: " + tables::SystemErrorText(errno));
    }
    struct stat st {};
    if (::fstat(in, &st) == 0 && S_ISDIR(st.st_mode))
        return CannotRun("no se puede leer «" + inputName + "»: " + tables::SystemErrorText(EISDIR));
    const std::uint64_t size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;

    std::optional<tables::OutputFile> out;
    try {
        out.emplace(cl.output, tables::IdOf(in));
    } catch (const tables::RunError& e) {
        return CannotRun(e.what());
    }
    ProgressLine progress;
    batch::Progress show;
    if (::isatty(STDERR_FILENO))
        show = [&](std::uint64_t b, std::uint64_t r) { progress.Show(r, size > 0 ? static_cast<int>(b * 100 / size) : -1); };
    try {
        const batch::Summary summary = batch::ConvertFile(in, out->Fd(), cl.settings, show);
        out->Commit();
        progress.Clear();
        std::cerr << batch::SummaryText(summary, inputName);
        return summary.failed > 0 ? kSomeFailed : kAllConverted;
    } catch (const tables::RunError& e) {
        progress.Clear();
        return CannotRun(inputName + ": " + e.what() + std::string(batch::MissingHint(e.missing)));
    } catch (...) {
        progress.Clear();
        return CannotRun(inputName + ": " + Unexpected(std::current_exception()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::set_terminate(Terminate);
    try {
        return Run(argc, argv);
    } catch (...) {
        return CannotRun(Unexpected(std::current_exception()));
    }
}
