// The file dialog: its controls built, the input read and what it is, the destination
// and the choices it proposes, the arguments of talpor-lote it stands for, and the
// user's answers; the preview of each kind of input is FilePreview.cpp's.
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

FileDialog::FileDialog(form::Platform& platform, core::Grids& grids, core::Direction direction, int tabZone,
                       const std::vector<std::string>& inputs)
    : platform_(platform), grids_(grids), direction_(direction), tabZone_(std::clamp(tabZone, 29, 31)) {
    Build();
    heightWanted_ = Setting("ColumnaAltura");
    model_.Get("TxtEntrada").text = inputs.empty() ? "" : InputText(inputs);
    ReadInput();
    Update();
}


std::string FileDialog::Setting(const char* key) const { return platform_.GetSetting("Talpor", kSection, key); }

void FileDialog::Build() {
    form::FormModel& m = model_;
    Add(m, Kind::Form, "", "frmFichero",
        direction_ == core::Direction::WGS84ToED50 ? "Convertir fichero de WGS84 a ED50" : "Convertir fichero de ED50 a WGS84");
    Control& input = Field(m, Kind::TextBox, "frmFichero", "LblEntrada", "TxtEntrada", "Fichero:");
    input.takesDrops = true;
    input.toolTip = "Un fichero, varios o una carpeta: también se pueden arrastrar a esta ventana";
    Control& files = Add(m, Kind::CommandButton, "frmFichero", "CmdEntrada", "Examinar…");
    files.accessibleName = "Elegir el fichero de puntos";
    files.toolTip = "Uno o varios ficheros (con Ctrl o Mayús)";
    Control& folder = Add(m, Kind::CommandButton, "frmFichero", "CmdCarpeta", "Carpeta…");
    folder.accessibleName = "Elegir una carpeta";
    folder.toolTip = "Todos los ficheros de una carpeta y de sus subcarpetas";

    Add(m, Kind::Frame, "frmFichero", "FraPrevia", "Primeras filas");
    Control& preview = Add(m, Kind::Label, "FraPrevia", "LblPrevia", "");
    preview.fixedPitch = true;
    preview.selectable = true;
    preview.accessibleName = "Primeras filas del fichero";
    Add(m, Kind::Label, "FraPrevia", "LblFormato", "");
    Items(Field(m, Kind::ComboBox, "FraPrevia", "LblSeparador", "CmbSeparador", "Separador:"), kSeparators, 0);
    Items(Field(m, Kind::ComboBox, "FraPrevia", "LblCabecera", "CmbCabecera", "Cabecera:"), kHeaders, 0);
    Field(m, Kind::TextBox, "FraPrevia", "LblColumnas", "TxtColumnas", "Columnas del punto:").toolTip =
        "Vacío: las que se encuentran. Si no, sus números (desde 1) o sus nombres en la cabecera, "
        "separados por comas: 2,3";

    Add(m, Kind::Frame, "frmFichero", "FraConversion", "Conversión");
    std::vector<std::string> targets = {direction_ == core::Direction::WGS84ToED50 ? "Según la pestaña: de WGS84 a ED50"
                                                                                   : "Según la pestaña: de ED50 a WGS84"};
    std::vector<std::string> origins = {"Ninguno: se rechazan"};
    for (const tables::CrsName& crs : batch::EveryCrs()) {
        targets.push_back(tables::TitleOf(crs));
        origins.push_back(tables::TitleOf(crs));
    }
    Control& target = Field(m, Kind::ComboBox, "FraConversion", "LblSistema", "CmbSistema", "Sistema de destino:");
    Items(target, targets, 0);
    target.toolTip = "Todo a un sistema: cada fichero, capa e imagen desde el suyo; lo que ya está en él, sin cambios";
    Control& origin =
        Field(m, Kind::ComboBox, "FraConversion", "LblOrigen", "CmbOrigen", "Sistema de los ficheros que no lo dicen:");
    Items(origin, origins, 0);
    origin.toolTip = "El de las tablas, los DXF y las capas o imágenes sin .prj; sin él, esos ficheros no se convierten";
    Control& zone = Field(m, Kind::ComboBox, "FraConversion", "LblHuso", "CmbHuso", "Huso de Este y Norte:");
    Items(zone, kZones, tabZone_ - 29);
    zone.toolTip = kZoneTip;
    Items(Field(m, Kind::ComboBox, "FraConversion", "LblAltura", "CmbAltura", "Columna de altura:"),
          std::vector<std::string>{"(ninguna)"}, 0);
    Add(m, Kind::Picture, "FraConversion", "PicAltura", "");
    Add(m, Kind::OptionButton, "PicAltura", "OptAltura", "Altura sobre el elipsoide", 0);
    Add(m, Kind::OptionButton, "PicAltura", "OptAltura", "Altitud sobre el mar (EGM08-REDNAP)", 1);
    m.Get("OptAltura", 1).value = true;  // what maps and GPS units give
    const std::string method = Setting("Metodo");
    Items(Field(m, Kind::ComboBox, "FraConversion", "LblMetodo", "CmbMetodo", "Método:"), kMethodNames,
          method.size() == 1 && method[0] >= '0' && method[0] <= '3' ? method[0] - '0' : 0);

    Add(m, Kind::Frame, "frmFichero", "FraResultado", "Columnas de resultado");
    std::string outputs = Setting("Salida");
    outputs = "," + (outputs.empty() ? std::string(kDefaultOutputs) : outputs) + ",";
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i)
        Add(m, Kind::CheckBox, "FraResultado", "ChkSalida", kOutputs[i][0], i).value =
            outputs.find("," + std::string(kOutputs[i][1]) + ",") != std::string::npos;
    const std::string decimal = Setting("Decimal");
    Items(Field(m, Kind::ComboBox, "FraResultado", "LblDecimal", "CmbDecimal", "Signo decimal:"), kDecimals,
          decimal == "," ? 1 : decimal == "." ? 2 : 0);
    Control& format = Field(m, Kind::ComboBox, "FraResultado", "LblFormato2", "CmbFormato", "Formato:");
    Items(format, kFormatNames, 0);
    format.enabled = m.Get("LblFormato2").enabled = direction_ == core::Direction::ED50ToWGS84;
    format.toolTip = direction_ == core::Direction::ED50ToWGS84
                         ? "GPX, KML y GeoJSON llevan cada punto convertido con sus columnas"
                         : "GPX, KML y GeoJSON son WGS84: los resultados ED50 salen en CSV o texto";
    Add(m, Kind::CheckBox, "FraConversion", "ChkRemuestrear", "Remuestrear la imagen aunque sus píxeles puedan quedarse")
        .toolTip = "Sin marcar, una imagen que el método apenas mueve se escribe con sus píxeles intactos";
    Add(m, Kind::CheckBox, "FraConversion", "ChkOmitir", "Dejar fuera las entidades con algún vértice fuera del área")
        .toolTip = "Sin marcar, una entidad fuera del área del método detiene la conversión";
    Control& label = Field(m, Kind::ComboBox, "FraResultado", "LblEtiqueta", "CmbEtiqueta", "Sistema de la capa WGS84:");
    Items(label, kLabels, 0);
    label.toolTip = "ETRS89, el oficial en España, o WGS84: las coordenadas son las mismas";
    Field(m, Kind::TextBox, "FraResultado", "LblDestino", "TxtDestino", "Destino:");
    Add(m, Kind::CommandButton, "FraResultado", "CmdDestino", "Examinar…").accessibleName = "Elegir el destino";
    Add(m, Kind::Label, "FraResultado", "LblEscribe", "").selectable = true;

    Control& command = Add(m, Kind::Label, "frmFichero", "LblOrden", "");
    command.selectable = true;
    command.foreColor = form::kGrey;
    Add(m, Kind::Label, "frmFichero", "LblAviso", "").foreColor = form::Rgb(192, 0, 0);
    Add(m, Kind::CommandButton, "frmFichero", "CmdConvertir", "Convertir");
    Add(m, Kind::CommandButton, "frmFichero", "CmdCancelar", "Cancelar");
}

std::vector<layers::LayerInfo> FileDialog::ReadLayers(const std::string& input) {
    return WithProgress(input, [&](const layers::LayerProgress& progress) { return layers::LayersOf(input, progress); });
}

void FileDialog::OfferFormats(const std::vector<std::string>& names) {
    Control& format = model_.Get("CmbFormato");
    if (format.items != names) Items(format, names, 0);
}

void FileDialog::ReadInput() {
    sample_.reset();
    sheetsLine_.clear();
    layers_.reset();
    image_.reset();
    planned_.clear();
    imageSaysNone_ = false;
    readProblem_.clear();
    files_.clear();
    scanProblem_.clear();
    preview_.reset();
    previewProblem_.clear();
    replaceAgreed_ = false;
    inputFormat_ = tables::Format::Text;
    const std::vector<std::string> inputs = Inputs();
    // A QGIS project goes with the files it reads, into a folder.
    several_ = inputs.size() > 1 || (inputs.size() == 1 && (IsFolder(inputs[0]) || batch::IsProjectFile(inputs[0])));
    Control& zone = model_.Get("CmbHuso");
    zone.toolTip = several_ ? kSeveralZoneTip : kZoneTip;
    model_.Get("LblHuso").text = "Huso de Este y Norte:";
    if (several_) {
        if (zone.items.size() != std::size(kSeveralZones)) Items(zone, kSeveralZones, 0);
        OfferFormats({std::begin(kSeveralFormatNames), std::end(kSeveralFormatNames)});
        Suggest();
        Scan();
        return;
    }
    if (zone.items.size() != std::size(kZones)) Items(zone, kZones, tabZone_ - 29);
    const std::string input = Input();
    if (input.empty()) return;
    Control& format = model_.Get("CmbFormato");
    // What the file is, read from it: what is none of the kinds Talpor reads is said at once.
    if (const tables::WhatFile what = tables::WhatIs(input); what.kind == tables::FileKind::Refused) {
        readProblem_ = "«" + FileName(input) + "» no se puede convertir: " + what.refusal + ".";
        return;
    }
    if (rasters::IsRasterFile(input)) {
        OfferFormats({std::begin(kImageFormatNames), std::end(kImageFormatNames)});
        image_.emplace();
        zoneMissing_ = false;
        Suggest();
        return;
    }
    if (layers::IsLayerFile(input)) {
        OfferFormats({std::begin(kLayerFormatNames), std::end(kLayerFormatNames)});
        try {
            layers_ = ReadLayers(input);
            if (std::none_of(layers_->begin(), layers_->end(), [](const layers::LayerInfo& l) { return l.epsg == 0; })) {
                OfferLayerZones(zone, *layers_);
                zone.toolTip = kLayerZoneTip;
                model_.Get("LblHuso").text = "Coordenadas de la salida:";
            }
        } catch (const tables::RunError& e) {
            readProblem_ = "«" + FileName(input) + "» no se puede convertir: " + e.what() + ".";
            return;
        } catch (const ReadCancelled&) {
            readProblem_ = "Lectura de «" + FileName(input) + "» cancelada: elija el fichero otra vez para verlo.";
            return;
        }
        // A WGS84 format (Google Earth's KMZ) to ED50 goes where ED50 can: a table of its
        // vertices, unless the user chose a format of the other kind.
        const layers::LayerFormat* in = layers::LayerFormatOfInput(input);
        const layers::LayerFormat* out =
            layers::LayerFormatNamed(kLayerFormatOf[Chosen(format, std::size(kLayerFormatOf))]);
        if (direction_ == core::Direction::WGS84ToED50 && in->wgs84 && (out == nullptr || out->wgs84) &&
            std::string(kLayerFormatOf[Chosen(format, std::size(kLayerFormatOf))]) != "csv")
            format.listIndex = static_cast<int>(std::size(kLayerFormatOf)) - 1;
        Suggest();
        return;
    }
    std::vector<std::string> formats(std::begin(kFormatNames), std::end(kFormatNames));
    if (batch::IsWorkbookInput(input)) formats[0] = "Hoja de cálculo (como el libro de entrada)";
    OfferFormats(formats);
    if (batch::IsWorkbookInput(input)) {
        // Shown as the first sheet that holds points, its cells between tabs, as it converts.
        try {
            tables::Conversion conversion;
            conversion.direction = direction_;
            for (const layers::Sheet& sheet : layers::ReadWorkbook(input)) {
                sheetsLine_ += (sheetsLine_.empty() ? "Hojas: «" : ", «") + sheet.name + "»";
                if (sample_) continue;
                std::vector<std::string> lines = batch::SheetLines(sheet, 64);
                try {
                    tables::LayoutChoice choice;
                    choice.separator = tables::Separator::Tab;
                    tables::FindLayout(lines, choice, conversion);
                } catch (const tables::LayoutError& e) {
                    if (e.missing == tables::Missing::Columns) continue;
                }
                const bool whole = lines.size() == sheet.rows.size();
                sample_ = batch::Sample{std::move(lines), false, whole, false};
                sheetsLine_ += " (se ve esta)";
            }
        } catch (const tables::RunError& e) {
            readProblem_ = "«" + FileName(input) + "» no se puede convertir: " + e.what() + ".";
            return;
        }
        if (!sample_) readProblem_ = "«" + FileName(input) + "» no se puede convertir: ninguna hoja tiene puntos.";
        Suggest();
        return;
    }
    // Without waiting: a pipe opens at once, and is refused with a device, for the window
    // would wait on them for whatever writes to them.
    const int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        readProblem_ = "No se puede leer «" + FileName(input) + "»: " + tables::SystemErrorText(errno) + ".";
        return;
    }
    if (struct stat st {}; ::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd);
        readProblem_ = "«" + FileName(input) + "» no se puede convertir desde la ventana: no es un fichero, sino " +
                       (S_ISFIFO(st.st_mode) ? "una tubería." : "un dispositivo.");
        return;
    }
    std::string head(kHeadBytes, '\0');
    std::size_t size = 0;
    ssize_t n = 0;
    while (size < head.size() && (n = ::read(fd, head.data() + size, head.size() - size)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        size += static_cast<std::size_t>(n);
    }
    const int readErrno = errno;
    ::close(fd);
    if (n < 0) {
        readProblem_ = "No se puede leer «" + FileName(input) + "»: " + tables::SystemErrorText(readErrno) + ".";
        return;
    }
    head.resize(size);
    const bool whole = n == 0;
    inputFormat_ = gps::InputFormat(head);
    if (!whole) head.resize(head.rfind(inputFormat_ == tables::Format::Text ? '\n' : '>') + 1);
    try {
        if (inputFormat_ != tables::Format::Text) {
            // A GPS file shows the rows it is read as.
            if (inputFormat_ == tables::Format::Kml)
                throw tables::RunError("es KML, que se convierte como capa: dele la extensión .kml o .kmz");
            gps::XmlPoints xml;
            std::string table;
            xml.Feed(head, whole, table);
            head = std::move(table);
        }
        sample_ = batch::SampleOf(head, whole);
    } catch (const tables::RunError& e) {
        readProblem_ = "«" + FileName(input) + "» no se puede convertir: " + e.what() + ".";
        return;
    }
    if (!whole && head.empty() && inputFormat_ == tables::Format::Text)
        readProblem_ = "«" + FileName(input) + "» no parece una tabla de texto: su primera línea pasa de 256 KiB.";
    Suggest();
}

void FileDialog::Scan() {
    files_.clear();
    scanProblem_.clear();
    if (!several_) return;
    // The files are the same whatever the destination, but for one within an input folder.
    std::vector<std::string> args = Arguments();
    if (Output().empty()) args.insert(args.end(), {"-o", suggested_});
    try {
        files_ = batch::FolderRun(batch::ParseCommandLine(args)).Files();
    } catch (const batch::UsageError& e) {
        scanProblem_ = Sentence(e.what());
    } catch (const tables::RunError& e) {
        scanProblem_ = Sentence(e.what());
    }
}

void FileDialog::Suggest() {
    // The destination follows the input and the format, unless the user chose one.
    // An image is named by the datum it is written in: ETRS89, or WGS84 when so labelled.
    // Toward a target, by its datum.
    const std::optional<tables::CrsName> target = Target();
    const std::string title = target ? tables::TitleOf(*target) : "";
    const std::string suffix = target ? "_" + title.substr(0, title.find(' '))
                               : direction_ == core::Direction::WGS84ToED50 ? "_ED50"
                               : image_ && Chosen(model_.Get("CmbEtiqueta"), std::size(kLabels)) == 0 ? "_ETRS89"
                                                                                                     : "_WGS84";
    std::string suggested = Suggested(Input(), suffix, inputFormat_,
                                      kFormatOf[Chosen(model_.Get("CmbFormato"), std::size(kFormatOf))]);
    if (several_) {
        // A folder beside the folder of the files: "…/datos" -> "…/datos_ED50".
        // A project's: "…/mapa.qgz" -> "…/mapa_ETRS89".
        const std::vector<std::string> inputs = Inputs();
        std::string base = WithoutSlash(inputs.size() == 1 ? inputs[0] : CommonFolder(inputs));
        if (inputs.size() == 1 && !IsFolder(base) && base.rfind('.') != std::string::npos && base.rfind('.') > base.rfind('/'))
            base = base.substr(0, base.rfind('.'));
        suggested = base + (target ? suffix : direction_ == core::Direction::WGS84ToED50 ? "_ED50" : "_WGS84");
    } else if (image_) {
        const std::string extension = kImageExtensions[Chosen(model_.Get("CmbFormato"), std::size(kImageExtensions))];
        const std::size_t dot = suggested.rfind('.');
        if (!extension.empty() && dot != std::string::npos && dot > suggested.rfind('/')) suggested = suggested.substr(0, dot) + extension;
        suggested = rasters::ImageOutputName(suggested, Input());  // a GeoPackage's tiles into a GeoTIFF
    } else if (layers_) {
        const std::string name = kLayerFormatOf[Chosen(model_.Get("CmbFormato"), std::size(kLayerFormatOf))];
        const layers::LayerFormat* f = layers::LayerFormatNamed(name);
        const std::string extension = name == "csv" ? ".csv" : f != nullptr ? std::string(f->extension) : "";
        const std::size_t dot = suggested.rfind('.');
        if (!extension.empty() && dot != std::string::npos && dot > suggested.rfind('/')) suggested = suggested.substr(0, dot) + extension;
    }
    Control& destination = model_.Get("TxtDestino");
    if (destination.text.empty() || destination.text == suggested_) destination.text = suggested;
    suggested_ = suggested;
}

std::vector<std::string> FileDialog::Inputs() const {
    const std::string& text = model_.Get("TxtEntrada").text;
    if (!text.starts_with('"')) return text.empty() ? std::vector<std::string>{} : std::vector<std::string>{text};
    std::vector<std::string> inputs;
    for (std::size_t open = text.find('"'); open != std::string::npos; open = text.find('"', open)) {
        const std::size_t close = text.find('"', open + 1);
        if (open + 1 < close && close != std::string::npos) inputs.push_back(text.substr(open + 1, close - open - 1));
        if (close == std::string::npos) break;
        open = close + 1;
    }
    return inputs;
}

std::string FileDialog::Input() const {
    const std::vector<std::string> inputs = Inputs();
    return inputs.empty() ? "" : inputs[0];
}

std::string FileDialog::Output() const { return model_.Get("TxtDestino").text; }

std::string FileDialog::Shown(const std::string& path) const {
    const std::string common = CommonFolder(Inputs());
    return path.starts_with(common) ? path.substr(common.size()) : path;
}

std::optional<tables::CrsName> FileDialog::Target() const {
    // A GPS file is WGS84 by its format: it goes by the tab.
    const bool offered = several_ || layers_ || image_ || inputFormat_ == tables::Format::Text;
    const std::vector<tables::CrsName> every = batch::EveryCrs();
    const int i = model_.Get("CmbSistema").listIndex;
    if (!offered || i <= 0 || static_cast<std::size_t>(i) > every.size()) return std::nullopt;
    return every[static_cast<std::size_t>(i - 1)];
}

bool FileDialog::OriginUsed() const {
    return several_ || (image_ && imageSaysNone_) || (!layers_ && !image_ && inputFormat_ == tables::Format::Text) ||
           (layers_ && std::any_of(layers_->begin(), layers_->end(), [](const layers::LayerInfo& l) {
                return l.system == "sin sistema" && l.geometry != "sin geometría";
            }));
}

std::optional<tables::CrsName> FileDialog::Origin() const {
    const std::vector<tables::CrsName> every = batch::EveryCrs();
    const int i = model_.Get("CmbOrigen").listIndex;
    if (!Target() || !OriginUsed() || i <= 0 || static_cast<std::size_t>(i) > every.size()) return std::nullopt;
    return every[static_cast<std::size_t>(i - 1)];
}

std::vector<std::string> FileDialog::Arguments() const {
    const form::FormModel& m = model_;
    // Toward a target each file goes from its own system: no direction, zone or label.
    const std::optional<tables::CrsName> target = Target();
    std::vector<std::string> args = {
        target                                     ? "--destino=" + tables::NameOf(*target)
        : direction_ == core::Direction::WGS84ToED50 ? "--sentido=wgs84-ed50"
                                                     : "--sentido=ed50-wgs84",
        "--metodo=" + std::string(tables::kMethods[Chosen(m.Get("CmbMetodo"), std::size(tables::kMethods))].name)};
    if (const std::optional<tables::CrsName> origin = Origin()) args.push_back("--origen=" + tables::NameOf(*origin));
    if (several_) {
        // The options talpor-lote applies to each file; the layout and the heights are each
        // file's own.
        if (!target && m.Get("CmbHuso").listIndex > 0) args.push_back("--huso=" + m.Get("CmbHuso").ListText());
        AddResultArguments(m, args, !DefaultResults(m));
        const std::string format = kSeveralFormatOf[Chosen(m.Get("CmbFormato"), std::size(kSeveralFormatOf))];
        AddFormat(args, format);
        if (!target && Chosen(m.Get("CmbEtiqueta"), std::size(kLabels)) == 1) args.push_back("--etiqueta=wgs84");
        if (m.Get("ChkOmitir").value) args.push_back("--omitir-fuera");
        if (replaceAgreed_) args.push_back("--reemplazar");
        for (const std::string& input : Inputs()) args.push_back(input);
        if (!Output().empty()) args.insert(args.end(), {"-o", Output()});
        return args;
    }
    if (zoneMissing_ && !target) args.push_back("--huso=" + m.Get("CmbHuso").ListText());
    if (layers_ || image_) {
        // A layer's or an image's system, geometry, bands and heights are its own.
        if (const Control& zone = m.Get("CmbHuso"); !target && zone.enabled && LayerZones(zone) && zone.listIndex > 0)
            args.push_back("--huso=" + std::to_string(28 + zone.listIndex));
        if (image_) {
            if (Chosen(m.Get("CmbFormato"), std::size(kImageExtensions)) == kCogItem) args.push_back("--formato=cog");
            if (m.Get("ChkRemuestrear").value) args.push_back("--remuestrear");
        } else {
            const std::string format = kLayerFormatOf[Chosen(m.Get("CmbFormato"), std::size(kLayerFormatOf))];
            if (format == "csv") AddResultArguments(m, args);
            AddFormat(args, format);
        }
        if (!target && m.Get("CmbEtiqueta").enabled && Chosen(m.Get("CmbEtiqueta"), std::size(kLabels)) == 1)
            args.push_back("--etiqueta=wgs84");
        if (m.Get("ChkOmitir").value && layers_) args.push_back("--omitir-fuera");
        args.push_back(Input());
        if (!Output().empty()) args.insert(args.end(), {"-o", Output()});
        return args;
    }
    // A GPS file's layout and altitudes are its format's.
    const bool table = inputFormat_ == tables::Format::Text;
    if (const std::size_t s = Chosen(m.Get("CmbSeparador"), std::size(kSeparatorArguments)); table && s > 0)
        args.push_back("--separador=" + std::string(kSeparatorArguments[s]));
    if (const std::size_t h = Chosen(m.Get("CmbCabecera"), std::size(kHeaders)); table && h > 0)
        args.push_back(h == 1 ? "--cabecera" : "--sin-cabecera");
    // "2, 3" or "2,,3" as "2,3".
    std::string columns;
    for (char c : m.Get("TxtColumnas").text + ",") {
        if (c == ',' && !columns.empty() && columns.back() != ',') columns += c;
        else if (c != ',' && c != ' ') columns += c;
    }
    if (table && !columns.empty()) args.push_back("--columnas=" + columns.substr(0, columns.size() - 1));
    const int height = m.Get("CmbAltura").listIndex;
    if (table && height > 0 && static_cast<std::size_t>(height) < heightColumns_.size())
        args.push_back((m.Get("OptAltura", 1).value ? "--altitud=" : "--altura=") +
                       heightColumns_[static_cast<std::size_t>(height)]);
    else if (table && heightFindable_)
        args.push_back("--sin-altura");  // talpor-lote would take the one its name gives
    AddResultArguments(m, args);
    if (const std::size_t f = Chosen(m.Get("CmbFormato"), std::size(kFormatOf)); f > 0 && m.Get("CmbFormato").enabled)
        args.push_back("--formato=" + std::string(gps::kFormats[f + 1].name));
    args.push_back(Input());
    if (!Output().empty()) args.insert(args.end(), {"-o", Output()});
    return args;
}

tables::Settings FileDialog::Settings() const {
    tables::Settings settings = batch::ParseCommandLine(Arguments()).settings;
    settings.conversion.grids = &grids_;
    return settings;
}

tables::Layout FileDialog::FindLayout(bool withHeight) {
    tables::Settings settings = Settings();
    // Toward a target without the table's system the layout is read as of the tab's zone;
    // the run waits for the system.
    if (Target() && !Origin()) settings.conversion.zone = tabZone_;
    if (inputFormat_ != tables::Format::Text) {
        settings.layout = gps::XmlLayout();
        settings.conversion.heightIsAltitude = true;
    }
    if (!withHeight) {
        settings.layout.heightColumn.clear();
        settings.layout.findHeight = true;
    }
    return tables::FindLayout(sample_->lines, settings.layout, settings.conversion, sample_->whole);
}

void FileDialog::Update() {
    try {
        Show();
    } catch (const batch::UsageError& e) {
        // Choices the fields should not allow; said as talpor-lote says it. A file that could
        // not be read says so first: its choices are none of the user's making.
        problem_ = readProblem_.empty() ? e.what() : readProblem_;
        model_.Get("LblAviso").text = problem_;
        model_.Get("CmdConvertir").enabled = false;
    }
}

void FileDialog::Show() {
    form::FormModel& m = model_;
    problem_.clear();
    m.Get("LblEntrada").text = !several_                                      ? "Fichero:"
                               : Inputs().size() > 1                          ? "Ficheros:"
                               : batch::IsProjectFile(Inputs().front()) ? "Proyecto:"
                                                                              : "Carpeta:";
    m.Get("LblDestino").text = several_ ? "Carpeta de destino:" : "Destino:";
    for (const char* field : {"TxtEntrada", "TxtDestino"}) {
        const std::string& label = m.Get(std::string(field) == "TxtEntrada" ? "LblEntrada" : "LblDestino").text;
        m.Get(field).accessibleName = label.substr(0, label.size() - 1);
    }
    // An image shows only what applies to it: no table layout, heights or result columns.
    for (const char* name : {"LblSeparador", "CmbSeparador", "LblCabecera", "CmbCabecera", "LblColumnas", "TxtColumnas",
                             "LblAltura", "CmbAltura", "PicAltura", "LblDecimal", "CmbDecimal", "ChkOmitir"})
        m.Get(name).visible = !image_;
    for (int i = 0; i < 2; ++i) m.Get("OptAltura", i).visible = !image_;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) m.Get("ChkSalida", i).visible = !image_;
    m.Get("ChkRemuestrear").visible = image_.has_value();
    // Toward a target, its choices; the direction's, the zone's and the label's leave.
    const std::optional<tables::CrsName> target = Target();
    m.Get("LblSistema").visible = m.Get("CmbSistema").visible =
        several_ || layers_ || image_ || inputFormat_ == tables::Format::Text;
    m.Get("LblOrigen").visible = m.Get("CmbOrigen").visible = target && OriginUsed();
    m.Get("LblHuso").visible = m.Get("CmbHuso").visible = !target;
    m.Get("LblEtiqueta").visible = m.Get("CmbEtiqueta").visible =
        !target && (!image_ || direction_ == core::Direction::ED50ToWGS84);
    if (several_) return ShowSeveral();
    m.Get("ChkRemuestrear").enabled = image_.has_value();
    m.Get("LblEtiqueta").text = image_ ? "Sistema de la salida:" : "Sistema de la capa WGS84:";
    m.Get("FraResultado").text = image_ ? "Resultado" : "Columnas de resultado";
    if (image_) return ShowImage();
    const bool layer = layers_.has_value();
    m.Get("FraPrevia").text = layer ? "Capas" : "Primeras filas";
    m.Get("ChkOmitir").enabled = layer;
    // The name of the WGS84 side, for what is written on it.
    m.Get("CmbEtiqueta").enabled = m.Get("LblEtiqueta").enabled = layer && direction_ == core::Direction::ED50ToWGS84;
    m.Get("CmbFormato").enabled = m.Get("LblFormato2").enabled = layer || direction_ == core::Direction::ED50ToWGS84;
    if (layer) return ShowLayers();
    // The result columns and the decimal sign are a table's; the height and altitude
    // results are offered below once a height column allows them.
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) m.Get("ChkSalida", i).enabled = true;
    m.Get("CmbDecimal").enabled = m.Get("LblDecimal").enabled = true;
    Control& heightOut = m.Get("ChkSalida", kHeightOutput);
    Control& altitudeOut = m.Get("ChkSalida", kAltitudeOutput);
    heightOut.enabled = altitudeOut.enabled = false;
    std::optional<tables::Layout> layout = SampleLayout();
    ShowHeightColumns(layout);

    // The result columns a height allows.
    const bool gps = inputFormat_ != tables::Format::Text && sample_;
    Control& heightCombo = m.Get("CmbAltura");
    if (gps) {
        // Its elevations are altitudes, in the column they are read into.
        const auto altitudes = std::find(heightColumns_.begin(), heightColumns_.end(), "Altitud");
        heightCombo.listIndex = altitudes == heightColumns_.end() ? 0 : static_cast<int>(altitudes - heightColumns_.begin());
        m.Get("OptAltura", 0).value = false;
        m.Get("OptAltura", 1).value = true;
    }
    for (const char* name : {"CmbSeparador", "CmbCabecera", "TxtColumnas", "CmbAltura"}) m.Get(name).enabled = !gps;
    // A workbook's cells are apart by themselves.
    if (!sheetsLine_.empty()) m.Get("CmbSeparador").enabled = false;
    const bool hasHeight = heightCombo.listIndex > 0;
    m.Get("OptAltura", 0).enabled = m.Get("OptAltura", 1).enabled = hasHeight && !gps;
    tables::Settings settings = Settings();
    if (gps) {
        settings.layout.heightColumn = "Altitud";
        settings.conversion.heightIsAltitude = true;
    }
    heightOut.enabled = tables::HeightResultPossible(settings);
    altitudeOut.enabled = tables::AltitudeResultPossible(settings);
    settings = Settings();
    bool anyOutput = false;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i)
        anyOutput = anyOutput || (m.Get("ChkSalida", i).value && m.Get("ChkSalida", i).enabled);
    m.Get("CmbHuso").enabled = m.Get("LblHuso").enabled = zoneMissing_;

    if (layout && problem_.empty()) {
        try {
            layout = FindLayout(true);
        } catch (const tables::LayoutError& e) {
            problem_ = std::string(e.what()) + ".";
        }
    }
    m.Get("LblPrevia").text = sample_ ? (sheetsLine_.empty() ? "" : sheetsLine_ + "\n") + Preview(layout) : "";
    m.Get("LblFormato").text = layout ? LayoutText(*layout) : "";
    CheckRun(settings, gps, anyOutput);
    // What is written: a table, or a GPS or web format of WGS84 degrees.
    const tables::Format out = kFormatOf[Chosen(m.Get("CmbFormato"), std::size(kFormatOf))];
    const std::string title = target ? tables::TitleOf(*target) : "";
    const std::string ed50 = target ? title.substr(0, title.find(' ')) : direction_ == core::Direction::WGS84ToED50 ? "ED50" : "WGS84";
    m.Get("LblEscribe").text =
        !problem_.empty() ? ""
        : out == tables::Format::Text
            ? "Escribirá una tabla, la del fichero con las columnas " + ed50 + " elegidas: «" + FileName(Output()) + "»"
            : "Escribirá " + std::string(out == tables::Format::Gpx ? "GPX" : out == tables::Format::Kml ? "KML" : "GeoJSON") +
                  " en WGS84 geográficas (EPSG:4326): «" + FileName(Output()) + "»";
    m.Get("LblAviso").text = problem_;
    m.Get("CmdConvertir").enabled = problem_.empty();

    ShowCommand();
}

void FileDialog::ShowCommand() {
    std::string command = "talpor-lote";
    const std::vector<std::string> inputs = Inputs();
    for (std::string arg : Arguments()) {
        if (std::find(inputs.begin(), inputs.end(), arg) != inputs.end() || arg == Output()) arg = FileName(WithoutSlash(arg));
        command += " " + ShellWord(arg);
    }
    model_.Get("LblOrden").text = "Orden equivalente: " + command;
}

std::size_t FileDialog::HeightItem(std::size_t column) const {
    const std::string number = std::to_string(column + 1);
    for (std::size_t i = 1; i < heightColumns_.size(); ++i)
        if (heightColumns_[i] == number || (column < heightHeader_.size() && heightColumns_[i] == heightHeader_[column]))
            return i;
    return 0;
}

void FileDialog::SetHeightKind(const std::vector<std::string>& header, const std::string& column) {
    const bool named = std::find(header.begin(), header.end(), column) != header.end();
    const bool ellipsoidal = named && tables::HeightKindOf(column) == tables::HeightKind::Ellipsoidal;
    model_.Get("OptAltura", 0).value = ellipsoidal;
    model_.Get("OptAltura", 1).value = !ellipsoidal;
}

void FileDialog::Remember() {
    const form::FormModel& m = model_;
    auto save = [&](const char* key, const std::string& value) { platform_.SaveSetting("Talpor", kSection, key, value); };
    save("Carpeta", Input().substr(0, Input().rfind('/') + 1));
    save("Metodo", std::to_string(Chosen(m.Get("CmbMetodo"), std::size(kMethodNames))));
    // A GPS file's heights are its format's, and those of several files each one's, not a choice.
    if (inputFormat_ == tables::Format::Text && !several_) {
        const int height = m.Get("CmbAltura").listIndex;
        save("ColumnaAltura", height > 0 ? heightColumns_[static_cast<std::size_t>(height)] : "");
    }
    std::string outputs;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i)
        if (m.Get("ChkSalida", i).value) outputs += (outputs.empty() ? "" : ",") + std::string(kOutputs[i][1]);
    save("Salida", outputs.empty() ? "ninguna" : outputs);
    save("Decimal", kDecimalSettings[Chosen(m.Get("CmbDecimal"), std::size(kDecimals))]);
}

bool FileDialog::ReplaceAllowed() {
    struct stat st {};
    if (::stat(Output().c_str(), &st) != 0) return true;
    std::tm local{};
    const std::time_t modified = st.st_mtime;
    ::localtime_r(&modified, &local);
    const form::DateTime when{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                              local.tm_hour,        local.tm_min,       local.tm_sec};
    const std::string question = "«" + FileName(Output()) + "» ya existe (modificado el " + platform_.DateText(when) +
                                 " a las " + platform_.TimeText(when) +
                                 ").\r\n¿Quiere reemplazarlo por el resultado de la conversión?";
    return ReplaceAgreed(platform_, question);
}

bool FileDialog::SeveralReplaceAllowed() {
    std::vector<std::string> existing;
    std::string folder;
    try {
        const batch::FolderRun run(batch::ParseCommandLine(Arguments()));
        existing = run.Existing();
        folder = run.Output();
    } catch (const std::runtime_error& e) {  // the folders changed since they were read
        problem_ = model_.Get("LblAviso").text = Sentence(e.what());
        model_.Get("CmdConvertir").enabled = false;
        return false;
    }
    if (existing.empty()) return true;
    std::string list;
    for (const std::string& path : existing) list += "\r\n" + path.substr(folder.size() + 1);
    const std::string question = "En «" + FileName(folder) + "» ya " + (existing.size() == 1 ? "existe " : "existen ") +
                                 tables::Count(existing.size(), "fichero", "ficheros") + " de los que escribe la conversión:" +
                                 list + "\r\n\r\n¿Quiere " + (existing.size() == 1 ? "reemplazarlo" : "reemplazarlos") +
                                 " por los resultados?";
    replaceAgreed_ = ReplaceAgreed(platform_, question);
    return replaceAgreed_;
}

form::DialogEnd FileDialog::Changed(Control& control) {
    const std::string& name = control.id.name;
    if (name == "CmdCancelar") return form::DialogEnd::Cancel;
    const std::string input = Input();
    // The folder the input lies in, or the folder chosen.
    const std::string inputFolder = Inputs().size() == 1 && several_ ? input : input.substr(0, input.rfind('/') + 1);
    if (name == "CmdEntrada") {
        const std::vector<std::string> chosen = platform_.OpenFileNames(
            direction_ == core::Direction::WGS84ToED50 ? "Ficheros de puntos WGS84" : "Ficheros de puntos ED50",
            input.empty() ? Setting("Carpeta") : inputFolder, kPointFiles);
        if (chosen.empty()) return form::DialogEnd::Stay;
        model_.Get("TxtEntrada").text = InputText(chosen);
    } else if (name == "CmdCarpeta") {
        const std::string chosen = platform_.FolderName(
            direction_ == core::Direction::WGS84ToED50 ? "Carpeta de ficheros WGS84" : "Carpeta de ficheros ED50",
            input.empty() ? Setting("Carpeta") : inputFolder);
        if (chosen.empty()) return form::DialogEnd::Stay;
        model_.Get("TxtEntrada").text = chosen;
    } else if (name == "TxtEntrada" && !control.dropped.empty()) {
        control.text = InputText(control.dropped);
        control.dropped.clear();
    } else if (name == "CmdDestino") {
        const std::string chosen =
            several_ ? platform_.FolderName("Carpeta de destino", Output().empty() ? suggested_ : Output())
                     : platform_.SaveFileName("Destino", Output().empty() ? suggested_ : Output(), kPointFiles);
        if (chosen.empty()) return form::DialogEnd::Stay;
        model_.Get("TxtDestino").text = chosen;
    } else if (name == "CmbAltura") {
        // A column picked holds what its name says; a name that says neither, altitudes.
        const auto chosen = static_cast<std::size_t>(std::max(0, control.listIndex));
        heightWanted_ = chosen < heightColumns_.size() ? heightColumns_[chosen] : "";
        heightPicked_ = true;
        if (!heightWanted_.empty()) SetHeightKind(heightHeader_, heightWanted_);
    } else if (name == "OptAltura") {
        heightPicked_ = true;
        // One of the two, whichever the platform wrote.
        for (int i = 0; i < 2; ++i) model_.Get("OptAltura", i).value = i == control.id.index;
    }
    if (name == "CmdEntrada" || name == "CmdCarpeta" || name == "TxtEntrada") ReadInput();
    if (name == "CmbFormato" || name == "CmbEtiqueta" || name == "CmbSistema") Suggest();
    // The destinations follow the format, the target and the output folder.
    if (several_ && (name == "CmbFormato" || name == "CmbSistema" || name == "TxtDestino" || name == "CmdDestino")) Scan();
    Update();
    if (name != "CmdConvertir" || !problem_.empty()) return form::DialogEnd::Stay;
    if (several_ ? !SeveralReplaceAllowed() : !ReplaceAllowed()) return form::DialogEnd::Stay;
    Remember();
    return form::DialogEnd::Accept;
}

}  // namespace convert
