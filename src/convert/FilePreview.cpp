// The file dialog's preview of each kind of input: a table's layout and rows, a layer's
// layers, systems and files, an image's size and way, a folder's files and the way each
// will go; and what the run will write.
#include "convert/FileDialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <set>

#include "batch/CommandLine.h"
#include "tables/FileKind.h"
#include "tables/SystemError.h"
#include "tables/TextTable.h"
#include "convert/FileConversion.h"

#include "convert/FileDialogParts.h"

namespace convert {

using namespace dialog;

void FileDialog::ShowSeveral() {
    form::FormModel& m = model_;
    m.Get("FraPrevia").text = "Ficheros";
    // Each file's layout and height column are found in it, as talpor-lote finds them.
    for (const char* name : {"CmbSeparador", "CmbCabecera", "TxtColumnas", "CmbAltura"}) m.Get(name).enabled = false;
    Items(m.Get("CmbAltura"), std::vector<std::string>{"La de cada fichero"}, 0);
    m.Get("OptAltura", 0).enabled = m.Get("OptAltura", 1).enabled = false;
    for (const char* name : {"CmbHuso", "LblHuso", "ChkOmitir", "CmbEtiqueta", "LblEtiqueta", "CmbFormato", "LblFormato2",
                             "CmbDecimal", "LblDecimal"})
        m.Get(name).enabled = true;
    const tables::Method method = tables::kMethods[Chosen(m.Get("CmbMetodo"), std::size(tables::kMethods))].method;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) m.Get("ChkSalida", i).enabled = true;
    m.Get("ChkSalida", kHeightOutput).enabled = tables::TransformsHeight(method);
    m.Get("ChkSalida", kAltitudeOutput).enabled =
        direction_ == core::Direction::WGS84ToED50 || tables::TransformsHeight(method);

    // What was found: "12 ficheros: 5 capas, 4 tablas, 3 imágenes y 1 proyecto de QGIS",
    // then the first of them.
    std::size_t layers = 0, images = 0, gps = 0, projects = 0;
    for (const batch::FolderFile& f : files_) {
        if (batch::IsProjectFile(f.input)) ++projects;
        else if (rasters::IsRasterFile(f.input)) ++images;
        else if (layers::IsLayerFile(f.input)) ++layers;
        else if (std::string name = FileName(f.input); name.size() > 4) {
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            gps += name.ends_with(".gpx") ? 1 : 0;
        }
    }
    const std::size_t tables = files_.size() - layers - images - gps - projects;
    std::vector<std::string> kinds;
    if (layers > 0) kinds.push_back(tables::Count(layers, "capa", "capas"));
    if (tables > 0) kinds.push_back(tables::Count(tables, "tabla", "tablas"));
    if (images > 0) kinds.push_back(tables::Count(images, "imagen", "imágenes"));
    if (gps > 0) kinds.push_back(tables::Count(gps, "GPX", "GPX"));
    if (projects > 0) kinds.push_back(tables::Count(projects, "proyecto de QGIS", "proyectos de QGIS"));
    std::string preview;
    const std::optional<tables::CrsName> target = Target();
    if (target && !files_.empty() && scanProblem_.empty()) {
        // Toward a target: the files by the way each will go.
        std::vector<std::string> args = Arguments();
        if (Output().empty()) args.insert(args.end(), {"-o", suggested_});
        tables::Settings settings = batch::ParseCommandLine(args).settings;
        settings.conversion.grids = &grids_;
        GroupSeveral(settings);
        preview = tables::Count(files_.size(), "fichero", "ficheros") + " a " + tables::TitleOf(*target) + ":\n" +
                  (previewProblem_.empty() ? batch::PreviewText(groups_) : previewProblem_);
        const std::size_t before = std::count_if(files_.begin(), files_.end(), [](const batch::FolderFile& f) { return !f.refused.empty(); });
        if (before > 0) preview += "\n" + tables::Count(before, "fichero rechazado", "ficheros rechazados");
    } else if (!files_.empty()) {
        preview = tables::Count(files_.size(), "fichero", "ficheros") + ": " + Listed(kinds);
        constexpr std::size_t kListed = kPreviewLines - 1;
        for (std::size_t i = 0; i < files_.size() && i < kListed + (files_.size() == kListed + 1 ? 1 : 0); ++i)
            preview += "\n" + MiddleShortened(Shown(files_[i].input), kPathChars);
        if (files_.size() > kListed + 1) preview += "\n… y " + tables::Count(files_.size() - kListed, "más", "más");
    }
    m.Get("LblPrevia").text = preview;

    // What stops the run, and the files refused before they are read: by the options, or
    // by a format of WGS84 on the way from ED50. Each reason once, with its files.
    problem_ = scanProblem_;
    std::string refusals;
    std::size_t refused = 0;
    if (problem_.empty()) {
        std::vector<std::string> args = Arguments();
        if (Output().empty()) args.insert(args.end(), {"-o", suggested_});
        const std::vector<std::string> options = batch::ParseCommandLine(args).options;
        std::vector<std::pair<std::string, std::vector<std::string>>> reasons;  // why, and its files
        for (const batch::FolderFile& f : files_) {
            std::string why = f.refused;
            const layers::LayerFormat* format = layers::LayerFormatOfInput(f.input);
            for (const batch::PreviewGroup& g : groups_)
                if (why.empty() && g.Refuses() && std::find(g.inputs.begin(), g.inputs.end(), f.input) != g.inputs.end())
                    why = g.kind == batch::PreviewGroup::Kind::NeedsOrigin
                              ? "no dice su sistema: elija el suyo en " + std::string(kOriginField)
                              : g.why;
            if (why.empty() && !target && format != nullptr && format->wgs84 && direction_ == core::Direction::ED50ToWGS84)
                why = "formato WGS84 (GPX, KML, KMZ, GeoJSON), que se convierte en la pestaña «WGS84 -> ED50»";
            if (why.empty()) {
                std::vector<std::string> fileArgs = options;
                fileArgs.insert(fileArgs.end(), {"--", f.input});
                try {
                    batch::ParseCommandLine(fileArgs);
                } catch (const batch::UsageError& e) {
                    why = e.what();
                }
            }
            if (why.empty()) continue;
            ++refused;
            auto reason = std::find_if(reasons.begin(), reasons.end(), [&](const auto& r) { return r.first == why; });
            if (reason == reasons.end()) reason = reasons.insert(reasons.end(), {why, {}});
            reason->second.push_back(MiddleShortened(Shown(f.input), kNameChars));
        }
        std::string each;
        for (auto& [why, names] : reasons) {
            constexpr std::size_t kNamed = 3;
            const std::size_t more = names.size() > kNamed + 1 ? names.size() - kNamed : 0;
            if (more > 0) names.resize(kNamed);
            std::string listed = layers::NameList(names);
            if (more > 0) listed = listed.substr(0, listed.rfind(" y ")) + ", " + listed.substr(listed.rfind(" y ") + 3) + " y " +
                                   tables::Count(more, "más", "más");
            each += (each.empty() ? "" : "; ") + listed + ": " + why;
        }
        if (refused == files_.size())
            problem_ = "Con estas opciones no se puede convertir ninguno de los ficheros: " + Sentence(each);
        else if (refused > 0)
            refusals = " No se " + std::string(refused == 1 ? "convertirá 1 fichero" : "convertirán " + std::to_string(refused) + " ficheros") +
                       ": " + each + ".";
    }
    m.Get("LblFormato").text = files_.empty() ? ""
                               : target ? "Cada fichero va desde su sistema al de destino; lo que no dice el suyo, desde el "
                                          "elegido para ello." + refusals
                                        : "Cada fichero se convierte solo: su separador, su cabecera, sus "
                                          "columnas del punto y la de su altura se encuentran en él." + refusals;
    if (problem_.empty() && method == tables::Method::Grid && !grids_.Shift().Problem().empty())
        problem_ = grids_.Shift().Problem();
    if (problem_.empty() && !grids_.Geoid().Problem().empty()) problem_ = grids_.Geoid().Problem();
    bool anyOutput = false;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i)
        anyOutput = anyOutput || (m.Get("ChkSalida", i).value && m.Get("ChkSalida", i).enabled);
    if (problem_.empty() && !anyOutput) problem_ = "Marque al menos una columna de resultado.";
    if (problem_.empty() && Output().empty()) problem_ = "Elija la carpeta de destino.";
    // What is written: at most the files not refused above. A layer or an image in another
    // system, or a table whose points cannot be found, is only known once it is read.
    const bool read = std::any_of(files_.begin(), files_.end(), [](const batch::FolderFile& f) {
        return f.refused.empty() && (layers::IsLayerFile(f.input) || rasters::IsRasterFile(f.input));
    });
    m.Get("LblEscribe").text =
        problem_.empty() && files_.size() > refused
            ? "Escribirá " + std::string(read ? "hasta " : "") + tables::Count(files_.size() - refused, "fichero", "ficheros") +
                  " en la carpeta «" + FileName(WithoutSlash(Output())) + "», cada uno en su sitio" +
                  (refused == 0 ? "" : refused == 1 ? "; no el rechazado arriba" : "; no los " + std::to_string(refused) + " rechazados arriba")
            : "";
    m.Get("LblAviso").text = problem_;
    m.Get("CmdConvertir").enabled = problem_.empty();
    ShowCommand();
}

void FileDialog::GroupSeveral(const tables::Settings& settings) {
    groups_.clear();
    // Stopped by the user: read again only for a folder chosen again.
    if (!previewProblem_.empty()) return;
    if (!preview_) preview_.emplace();
    // The layers' systems are read by the worker, a batch of files at a time, and each
    // image is planned by one: a folder that takes a while shows its progress, with a
    // button that stops it.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    bool shown = false;
    try {
        groups_ = preview_->Groups(files_, settings, {}, [&](std::size_t done, std::size_t total) {
            if (!shown && Clock::now() - started < std::chrono::milliseconds(400)) return;
            shown = true;
            if (!platform_.ShowProgress("Leyendo el sistema de cada fichero… " + std::to_string(done) + " de " +
                                            std::to_string(total),
                                        static_cast<int>(done * 100 / std::max<std::size_t>(total, 1))))
                throw ReadCancelled{};
        });
    } catch (const ReadCancelled&) {
        previewProblem_ = "Lectura de los sistemas cancelada: elija la carpeta otra vez para ver cómo irá cada fichero.";
    }
    if (shown) platform_.EndProgress();
}

std::optional<tables::Layout> FileDialog::SampleLayout() {
    std::optional<tables::Layout> layout;
    if (Input().empty()) {
        problem_ = "Elija el fichero de puntos.";
    } else if (!readProblem_.empty()) {
        problem_ = readProblem_;
    } else if (sample_->lines.empty()) {
        problem_ = "«" + FileName(Input()) + "» está vacío.";
    } else {
        // The layout without the height column first, whose items come from it.
        zoneMissing_ = false;
        try {
            layout = FindLayout(false);
        } catch (const tables::LayoutError& e) {
            if (e.missing != tables::Missing::Zone) {
                problem_ = std::string(e.what()) + ".";
                if (e.missing == tables::Missing::Columns)
                    problem_ = std::string(e.what()) + ": escriba en «Columnas del punto» las que lo forman (como 2,3).";
            } else if (Target()) {
                // The zone is the table's system's, chosen with it.
                problem_ = "Los puntos son Este y Norte sin huso: elija en " + std::string(kOriginField) + " su sistema UTM.";
            } else {
                zoneMissing_ = true;
                try {
                    layout = FindLayout(false);
                } catch (const tables::LayoutError& again) {
                    problem_ = std::string(again.what()) + ".";
                }
            }
        }
    }
    return layout;
}

void FileDialog::ShowHeightColumns(const std::optional<tables::Layout>& layout) {
    form::FormModel& m = model_;
    Control& heightCombo = m.Get("CmbAltura");
    heightColumns_ = {""};
    std::vector<std::string> heightItems = {"(ninguna)"};
    std::vector<std::string> header;
    if (layout && layout->headerLine > 0) tables::SplitFields(sample_->lines[layout->headerLine - 1], layout->separator, header);
    heightHeader_ = header;
    if (layout) {
        for (std::size_t c = 0; c < layout->columns; ++c) {
            if (std::find(layout->pointColumns.begin(), layout->pointColumns.end(), c) != layout->pointColumns.end())
                continue;
            const std::string number = std::to_string(c + 1);
            // A column is named by its header where the name says which one it is.
            const bool named = c < header.size() && !header[c].empty() && header[c].find(',') == std::string::npos &&
                               std::count(header.begin(), header.end(), header[c]) == 1 &&
                               header[c].find_first_not_of("0123456789") != std::string::npos;
            heightColumns_.push_back(named ? header[c] : number);
            heightItems.push_back(named ? number + ": " + header[c] : "Columna " + number);
        }
    }
    // Until the user picks one, the column whose name says it holds heights, with the
    // kind its name says; else the one of the last conversion, if the file has it.
    heightFindable_ = layout && layout->heightKind != tables::HeightKind::None;
    if (!heightPicked_ && heightFindable_) heightWanted_ = heightColumns_[HeightItem(*layout->heightColumn)];
    const auto kept = std::find(heightColumns_.begin(), heightColumns_.end(), heightWanted_);
    Items(heightCombo, heightItems, kept == heightColumns_.end() || heightWanted_.empty()
                                        ? 0
                                        : static_cast<int>(kept - heightColumns_.begin()));
    if (!heightPicked_ && heightCombo.listIndex > 0) SetHeightKind(header, heightWanted_);
    heightCombo.enabled = layout.has_value();
}

std::string FileDialog::LayoutText(const tables::Layout& layout) const {
    const bool altitude = model_.Get("OptAltura", 1).value;
    return (sheetsLine_.empty() ? "Separador " + std::string(tables::SeparatorName(layout.separator)) + " · " : std::string()) +
           (layout.headerLine > 0 ? "cabecera en la fila " + std::to_string(layout.headerLine)
                                  : std::string("sin cabecera")) +
           " · punto en " + tables::ColumnsText(layout.pointColumns) +
           (zoneMissing_ ? " (Este y Norte sin huso: elija el huso abajo)" : "") +
           (layout.heightColumn
                ? (altitude ? " · altitud en " : " · altura en ") + tables::ColumnsText({*layout.heightColumn})
                : "") +
           (layout.heightColumn && !heightPicked_ && heightFindable_ && *layout.heightColumn < heightHeader_.size()
                ? " («" + heightHeader_[*layout.heightColumn] + "», por su nombre)"
                : "");
}

// The first lines in columns, each headed by its number and its part in the point.
std::string FileDialog::Preview(const std::optional<tables::Layout>& layout) const {
    const form::FormModel& m = model_;
    std::string preview;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> fields;
    for (const std::string& line : sample_->lines) {
        if (rows.size() == kPreviewLines) break;
        if (layout) tables::SplitFields(line, layout->separator, fields);
        else fields = {line};
        rows.push_back(fields);
    }
    std::size_t columns = 0;
    for (const auto& row : rows) columns = std::max(columns, row.size());
    if (layout) {
        std::vector<std::string> heads;
        for (std::size_t c = 0; c < columns; ++c) {
            const auto& p = layout->pointColumns;
            heads.push_back("[" + std::to_string(c + 1) +
                            (std::find(p.begin(), p.end(), c) != p.end() ? " punto]"
                             : layout->heightColumn == c                ? (m.Get("OptAltura", 1).value ? " altitud]" : " altura]")
                                                                        : "]"));
        }
        rows.insert(rows.begin(), heads);
    }
    std::vector<std::size_t> widths(columns, 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Chars(row[c]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size() && c < kPreviewColumns; ++c)
            line += Cell(row[c], layout ? std::min(widths[c], kPreviewWidth) : 100, 2);
        if (row.size() > kPreviewColumns) line += "…";
        line.erase(line.find_last_not_of(' ') + 1);
        preview += (preview.empty() ? "" : "\n") + line;
    }
    return preview;
}

void FileDialog::CheckRun(const tables::Settings& settings, bool gps, bool anyOutput) {
    // What else stops the run, in the order of the fields.
    const tables::Conversion& c = settings.conversion;
    if (problem_.empty() && settings.target && !settings.origin)
        problem_ = "La tabla no dice en qué sistema están sus puntos: elija el suyo en " + std::string(kOriginField) + ".";
    if (problem_.empty() && gps && direction_ != core::Direction::WGS84ToED50)
        problem_ = "Los ficheros " + std::string(gps::FormatTitle(inputFormat_)) +
                   " son WGS84: conviértalo en la pestaña «WGS84 -> ED50».";
    if (problem_.empty() && c.method == tables::Method::Grid && !grids_.Shift().Problem().empty())
        problem_ = grids_.Shift().Problem();
    if (problem_.empty() && (c.heightIsAltitude || gps || settings.outputs.altitude) && !grids_.Geoid().Problem().empty())
        problem_ = grids_.Geoid().Problem();
    if (problem_.empty() && !anyOutput)
        problem_ = "Marque al menos una columna de resultado.";
    if (problem_.empty() && Output().empty()) problem_ = "Elija el destino.";
    if (problem_.empty() && Output() == Input())
        problem_ = "El destino es el propio fichero de puntos: elija otro.";
}

void FileDialog::ShowLayers() {
    form::FormModel& m = model_;
    std::string preview;
    zoneMissing_ = false;
    for (const layers::LayerInfo& l : *layers_) {
        preview += (preview.empty() ? "" : "\n") + ("Capa «" + MiddleShortened(l.name, kNameChars) + "»: " + l.geometry) +
                   (l.features >= 0 ? ", " + tables::Count(static_cast<std::uint64_t>(l.features), "entidad", "entidades")
                                    : std::string()) +
                   (l.vertices >= 0 ? ", " + tables::Count(static_cast<std::uint64_t>(l.vertices), "vértice", "vértices")
                                    : std::string()) +
                   "; " + l.system;
        zoneMissing_ = zoneMissing_ || l.system == "sin sistema";
    }
    if (layers_->empty()) preview = "(sin capas)";
    m.Get("LblPrevia").text = preview;
    const std::optional<tables::CrsName> target = Target();
    m.Get("LblFormato").text = target && zoneMissing_ ? "Capa sin sistema: se toma como del elegido en " + std::string(kOriginField) +
                                                            "; se convierte cada vértice"
                               : target ? "Capas SIG: cada capa va desde su sistema al de destino, vértice a vértice"
                               : zoneMissing_ ? "Capa sin sistema: se toma como del datum de esta pestaña, en UTM del huso "
                                                "elegido abajo; se convierte cada vértice"
                                              : "Capas SIG: se convierte cada vértice de cada geometría";
    for (const char* name : {"CmbSeparador", "CmbCabecera", "TxtColumnas", "CmbAltura"}) m.Get(name).enabled = false;
    m.Get("OptAltura", 0).enabled = m.Get("OptAltura", 1).enabled = false;
    const bool table = std::string(kLayerFormatOf[Chosen(m.Get("CmbFormato"), std::size(kLayerFormatOf))]) == "csv";
    {
        // The zone of eastings and northings without one; of layers with a system, the
        // output's, where its format holds UTM.
        const std::string chosen = kLayerFormatOf[Chosen(m.Get("CmbFormato"), std::size(kLayerFormatOf))];
        const layers::LayerFormat* format = chosen.empty() ? layers::LayerFormatOfInput(Input()) : layers::LayerFormatNamed(chosen);
        const bool projected = table || (format != nullptr && !format->wgs84);
        m.Get("CmbHuso").enabled = m.Get("LblHuso").enabled = zoneMissing_ || (LayerZones(m.Get("CmbHuso")) && projected);
    }
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i)
        m.Get("ChkSalida", i).enabled = table && i != kHeightOutput && i != kAltitudeOutput;
    m.Get("CmbDecimal").enabled = m.Get("LblDecimal").enabled = table;
    for (const layers::LayerInfo& l : *layers_) {
        if (problem_.empty() && target && !Origin() && l.system == "sin sistema" && l.geometry != "sin geometría")
            problem_ = "La capa «" + MiddleShortened(l.name, kNameChars) + "» no dice en qué sistema está: elija el suyo en " +
                       kOriginField + ".";
        if (problem_.empty() && !target && l.direction && *l.direction != direction_)
            problem_ = "La capa «" + MiddleShortened(l.name, kNameChars) + "» está en " + l.system + ": conviértala en la pestaña «" +
                       (*l.direction == core::Direction::WGS84ToED50 ? "WGS84 -> ED50" : "ED50 -> WGS84") + "».";
    }
    // The format chosen, or the layer's own.
    const std::string name = kLayerFormatOf[Chosen(m.Get("CmbFormato"), std::size(kLayerFormatOf))];
    const layers::LayerFormat* out =
        name.empty() ? layers::LayerFormatOfInput(Input()) : layers::LayerFormatNamed(name);
    if (problem_.empty() && (target ? target->Ed50() : direction_ == core::Direction::WGS84ToED50) && out != nullptr && out->wgs84)
        problem_ = std::string(out->title) + " es WGS84 y el resultado es ED50: elija en «Formato» Shapefile, "
                   "GeoPackage, DXF, MapInfo, GML, FlatGeobuf, SpatiaLite o CSV.";
    const tables::Settings settings = Settings();
    if (problem_.empty() && settings.conversion.method == tables::Method::Grid && !grids_.Shift().Problem().empty())
        problem_ = grids_.Shift().Problem();
    if (problem_.empty() && !grids_.Geoid().Problem().empty()) problem_ = grids_.Geoid().Problem();
    if (problem_.empty() && Output().empty()) problem_ = "Elija el destino.";
    if (problem_.empty() && Output() == Input()) problem_ = "El destino es la propia capa: elija otro.";
    m.Get("LblEscribe").text = problem_.empty() ? WrittenText(layers::PlanWrite(Input(), Output(), settings, *layers_)) : "";
    m.Get("LblAviso").text = problem_;
    m.Get("CmdConvertir").enabled = problem_.empty();
    ShowCommand();
}

rasters::RasterOptions FileDialog::Raster() const { return batch::ParseCommandLine(Arguments()).raster; }

void FileDialog::ShowImage() {
    form::FormModel& m = model_;
    m.Get("FraPrevia").text = "Imagen";
    for (const char* name : {"CmbSeparador", "CmbCabecera", "TxtColumnas", "CmbAltura", "CmbDecimal", "LblDecimal", "ChkOmitir"})
        m.Get(name).enabled = false;
    m.Get("OptAltura", 0).enabled = m.Get("OptAltura", 1).enabled = false;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) m.Get("ChkSalida", i).enabled = false;
    m.Get("CmbFormato").enabled = m.Get("LblFormato2").enabled = true;
    m.Get("CmbEtiqueta").enabled = m.Get("LblEtiqueta").enabled = direction_ == core::Direction::ED50ToWGS84;
    m.Get("LblFormato").text = "Se mueve su georreferencia con los píxeles intactos donde el método lo permite; si no, "
                               "se remuestrea";
    // Planned again when a choice that changes the way changed: the destination only by
    // its format.
    std::string key;
    for (const std::string& a : Arguments()) key += (a == Output() ? tables::AsciiLower(a.substr(a.rfind('.') + 1)) : a) + '\n';
    if (key != planned_) {
        planned_ = key;
        planProblem_.clear();
        tables::Settings settings = Settings();
        // The image's own system first; the tab's datum and the zone chosen for one without.
        settings.layers.directionGiven = zoneMissing_;
        try {
            image_ = WithProgress(Input(), [&](const layers::LayerProgress& progress) {
                return rasters::PlanRaster(Input(), Output(), settings, Raster(), progress);
            });
        } catch (const ReadCancelled&) {
            image_.emplace();
            planProblem_ = "Lectura de «" + FileName(Input()) + "» cancelada: elija el fichero otra vez para verla.";
        } catch (const tables::RunError& e) {
            image_.emplace();
            planProblem_ = "«" + FileName(Input()) + "» no se puede convertir: " + e.what() + ".";
            if (Target() && !Origin() && std::string(e.what()).find("--origen") != std::string::npos) {
                planProblem_ = "«" + FileName(Input()) + "» no dice su sistema: elija el suyo en " + kOriginField + ".";
                imageSaysNone_ = true;
            }
            if (e.missing == tables::Missing::Zone && !zoneMissing_) {
                zoneMissing_ = true;
                return ShowImage();
            }
        }
        const rasters::RasterSummary& plan = *image_;
        Control& zone = m.Get("CmbHuso");
        const std::size_t utm = plan.from.find(" UTM ");
        if (zoneMissing_) {
            if (zone.items.size() != std::size(kZones)) Items(zone, kZones, tabZone_ - 29);
            m.Get("LblHuso").text = "Huso de Este y Norte:";
        } else if (utm != std::string::npos && !LayerZones(zone)) {
            std::vector<std::string> items(std::begin(kLayerZones), std::end(kLayerZones));
            items[0] += ": UTM " + plan.from.substr(utm + 5, 2);
            Items(zone, items, 0);
            zone.toolTip = "La imagen sale en el huso de la entrada, o movida al huso elegido";
            m.Get("LblHuso").text = "Coordenadas de la salida:";
        }
        zone.enabled = m.Get("LblHuso").enabled = zoneMissing_ || utm != std::string::npos;
        if (planProblem_.empty() && !Target() && !plan.from.starts_with("ED50") != (direction_ == core::Direction::WGS84ToED50))
            planProblem_ = "La imagen está en " + plan.from + ": conviértala en la pestaña «" +
                           (direction_ == core::Direction::ED50ToWGS84 ? "WGS84 -> ED50" : "ED50 -> WGS84") + "».";
        // The zone list may have changed the arguments.
        key.clear();
        for (const std::string& a : Arguments()) key += (a == Output() ? tables::AsciiLower(a.substr(a.rfind('.') + 1)) : a) + '\n';
        if (key != planned_) return ShowImage();
    }
    // The system of what says none, once planning found the image says none.
    m.Get("LblOrigen").visible = m.Get("CmbOrigen").visible = Target() && OriginUsed();
    const rasters::RasterSummary& plan = *image_;
    m.Get("LblPrevia").text = plan.width > 0     ? rasters::RasterPreview(plan)
                              : imageSaysNone_ ? "(la imagen no dice su sistema)"
                                               : "(no se puede leer como imagen)";
    problem_ = planProblem_;
    const tables::Settings settings = Settings();
    if (problem_.empty() && settings.conversion.method == tables::Method::Grid && !grids_.Shift().Problem().empty())
        problem_ = grids_.Shift().Problem();
    if (problem_.empty() && Output().empty()) problem_ = "Elija el destino.";
    if (problem_.empty() && Output() == Input()) problem_ = "El destino es la propia imagen: elija otro.";
    m.Get("LblEscribe").text = problem_.empty() ? "Escribirá en " + plan.to + ": «" + FileName(Output()) + "»" : "";
    m.Get("LblAviso").text = problem_;
    m.Get("CmdConvertir").enabled = problem_.empty();
    ShowCommand();
}

}  // namespace convert
