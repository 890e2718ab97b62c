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

namespace convert {
namespace {

using form::Control;
using form::Kind;

constexpr const char* kSection = "Fichero";  // of the user's settings
const char* const kFormatNames[] = {"CSV o texto (como el fichero de puntos)", "GPX (GPS)", "KML (visores de globo)",
                                    "GeoJSON (SIG y mapas web)"};
const batch::Format kFormatOf[] = {batch::Format::Text, batch::Format::Gpx, batch::Format::Kml,
                                   batch::Format::GeoJson};
// For a layer: the output's format, --formato's name ("" for the input's own).
const char* const kLayerFormatNames[] = {"El de la capa", "Shapefile",   "GeoPackage", "KML",        "KMZ",
                                         "GeoJSON",       "DXF",         "MapInfo TAB", "MapInfo MIF", "GML",
                                         "FlatGeobuf",    "SpatiaLite",  "WKT en CSV (como QGIS)",
                                         "GPX (puntos y líneas)",        "CSV (una fila por vértice)"};
const char* const kLayerFormatOf[] = {"",    "shp", "gpkg", "kml",    "kmz",    "geojson", "dxf", "tab",
                                      "mif", "gml", "fgb",  "sqlite", "csvwkt", "gpx",     "csv"};
// For an image: the output's format, the destination's extension ("" for the image's own).
const char* const kImageFormatNames[] = {"El de la imagen", "GeoTIFF", "GeoTIFF optimizado para la nube (COG)",
                                         "Malla ASCII (modelos de elevación)"};
const char* const kImageExtensions[] = {"", ".tif", ".tif", ".asc"};
constexpr std::size_t kCogItem = 2;
// For a folder or several files: the output's format, --formato's name ("" for each
// file's own: batch::OutputName's rule). The layer formats are for layers alone, GPX, KML
// and GeoJSON for WGS84 tables too.
const char* const kSeveralFormatNames[] = {"El de cada fichero", "CSV (las capas, una fila por vértice)",
                                           "Shapefile (capas)", "GeoPackage (capas)", "KML", "KMZ (capas)",
                                           "GeoJSON", "DXF (capas)", "MapInfo TAB (capas)", "MapInfo MIF (capas)",
                                           "GML (capas)", "FlatGeobuf (capas)", "SpatiaLite (capas)",
                                           "WKT en CSV (capas, como QGIS)", "GPX"};
const char* const kSeveralFormatOf[] = {"", "csv", "shp", "gpkg", "kml", "kmz", "geojson", "dxf", "tab", "mif", "gml",
                                        "fgb", "sqlite", "csvwkt", "gpx"};
// The zone of eastings and northings without one: for several files none at first, since
// --huso reads every table as UTM.
const char* const kZones[] = {"29", "30", "31"};
const char* const kSeveralZones[] = {"(ninguno)", "29", "30", "31"};
const char* const kZoneTip = "Para filas con Este y Norte sin huso";
// The zone of the output of layers with a system: their own (degrees stay degrees), or
// UTM in a zone given.
const char* const kLayerZones[] = {"Como la entrada", "UTM 29", "UTM 30", "UTM 31"};  // the first says which
const char* const kLayerZoneTip = "Una capa en grados sale en grados con «Como la entrada», o en UTM del huso elegido";
const char* const kSeveralZoneTip = "Solo para tablas de Este y Norte sin huso: con uno, todas se leen como UTM de ese huso";
// The field of the system of the files that say none (--origen), as messages name it.
const char* const kOriginField = "«Sistema de los ficheros que no lo dicen»";
const char* const kLabels[] = {"ETRS89 (EPSG 4258, 25829 a 25831)", "WGS84 (EPSG 4326, 32629 a 32631)"};

// The start of a file read for its sample: enough for 64 lines of any table.
constexpr std::size_t kHeadBytes = std::size_t{256} << 10;
// The preview shows this many lines and columns, each column this many characters.
constexpr std::size_t kPreviewLines = 6;
constexpr std::size_t kPreviewColumns = 8;
constexpr std::size_t kPreviewWidth = 16;

const char* const kSeparators[] = {"Automático", "«;»", "«,»", "Tabulador", "Espacios"};
const char* const kSeparatorArguments[] = {"", ";", ",", "tab", "espacios"};
const char* const kHeaders[] = {"Automática", "En la primera fila", "Sin cabecera"};
// The decimal sign of the results: the input's, or one of the two; the setting and
// talpor-lote's option of each.
const char* const kDecimals[] = {"El del fichero de puntos", "Coma (1234,56)", "Punto (1234.56)"};
const char* const kDecimalSettings[] = {"", ",", "."};
const char* const kDecimalOptions[] = {"", "--coma", "--punto"};
const char* const kMethodNames[] = {"Bursa Wolf 7p (Helmert, EST99, ZNW99 o BAL99)",
                                    "Molodensky 3p, parámetros del IGN", "Molodensky 3p, parámetros del NIMA",
                                    "Rejilla IGN (NTv2 oficial; no transforma la altura)"};
// The result columns: caption and --salida's name.
const char* const kOutputs[][2] = {
    {"Grados, minutos y segundos", "gms"}, {"Grados decimales", "gd"},     {"Grados y minutos", "gm"},
    {"UTM (huso, Este y Norte)", "utm"},   {"Altura sobre el elipsoide", "altura"},
    {"Altitud sobre el mar", "altitud"},   {"Parámetros usados", "parametros"},
};
constexpr int kHeightOutput = 4;
constexpr int kAltitudeOutput = 5;
const char* const kDefaultOutputs = "gms,gd,utm,altura,altitud,parametros";

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.ends_with('/')) path.pop_back();
    return path;
}

// The folder that holds every input, with its "/": "/x/" for "/x/datos", "/x/datos/" for
// "/x/datos/a.csv" and "/x/datos/b.shp"; "" when they have none in common.
std::string CommonFolder(const std::vector<std::string>& inputs) {
    std::string common;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string path = WithoutSlash(inputs[i]);
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        if (i == 0) {
            common = folder;
            continue;
        }
        std::size_t same = 0;
        while (same < common.size() && same < folder.size() && common[same] == folder[same]) ++same;
        common = common.substr(0, common.rfind('/', same == 0 ? 0 : same - 1) + 1);
        if (same == 0) common.clear();
    }
    return common;
}

// A message of talpor-lote's as a sentence of the dialog's: its first letter capital, a
// full stop at its end.
std::string Sentence(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text.ends_with('.') ? text : text + ".";
}

// "a", "a y b", "a, b y c".
std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " y " : ", ") + items[i];
    return text;
}

// A name of more than `most` characters shortened in the middle, where a long name keeps
// least of what tells it apart: "capa_de_los_montes_…_2019_revisada". A text on one line
// of the dialog would otherwise widen it past the screen.
std::string MiddleShortened(const std::string& name, std::size_t most) {
    std::vector<std::size_t> starts;  // of each character (UTF-8)
    for (std::size_t i = 0; i < name.size(); ++i)
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) starts.push_back(i);
    if (starts.size() <= most) return name;
    const std::size_t head = (most - 1) / 2, tail = most - 1 - head;
    return name.substr(0, starts[head]) + "…" + name.substr(starts[starts.size() - tail]);
}
constexpr std::size_t kNameChars = 40;  // a layer's or file's name in the dialog
constexpr std::size_t kPathChars = 96;  // a path

// What a conversion of layers writes, said before it runs: "Escribirá Shapefile en ED50
// UTM 30 (EPSG:23030): «rios.shp», «rios.shx», …".
std::string WrittenText(const batch::WritePlan& plan) {
    std::string systems;
    const bool one = std::all_of(plan.systems.begin(), plan.systems.end(),
                                 [&](const auto& s) { return s.second == plan.systems.front().second; });
    const bool table = plan.format == "tabla CSV";
    if (!plan.systems.empty() && one) {
        systems = (table ? ", con su UTM en " : " en ") + plan.systems.front().second;
    } else {
        std::vector<std::string> each;
        for (const auto& [layer, system] : plan.systems) each.push_back("«" + MiddleShortened(layer, kNameChars) + "» en " + system);
        if (!each.empty()) systems = " (" + Listed(each) + ")";
    }
    constexpr std::size_t kNamed = 15;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < plan.files.size() && i < kNamed; ++i) names.push_back(MiddleShortened(plan.files[i], kNameChars));
    std::string files = names.empty() ? "en la salida estándar" : batch::NameList(names);
    if (plan.files.size() > kNamed) {
        files.clear();
        for (const std::string& name : names) files += "«" + name + "», ";
        files += "… y " + batch::Count(plan.files.size() - kNamed, "fichero más", "ficheros más");
    }
    return "Escribirá " + (table ? "una tabla CSV de sus vértices" : plan.format) + systems + ": " + files;
}


// The inputs as the input field holds them: a path, or several each within quotes.
std::string InputText(const std::vector<std::string>& inputs) {
    if (inputs.size() == 1) return inputs[0];
    std::string text;
    for (const std::string& input : inputs) text += (text.empty() ? "\"" : " \"") + input + "\"";
    return text;
}

// "…/puntos.csv" -> "…/puntos_ED50.csv"; "…/ruta.gpx" -> "…/ruta_ED50.csv"; with a GPS
// format its extension: "…/hitos_WGS84.kml". `suffix`: the datum written ("_ED50").
std::string Suggested(const std::string& input, const std::string& suffix, batch::Format inputFormat,
                      batch::Format output) {
    const std::size_t slash = input.rfind('/');
    const std::size_t dot = input.rfind('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = extension ? input.substr(0, dot) : input;
    if (output != batch::Format::Text) return stem + suffix + std::string(batch::FormatExtension(output));
    if (inputFormat != batch::Format::Text) return stem + suffix + ".csv";
    if (batch::WorkbookOfPath(input) == batch::WorkbookKind::Xls) return stem + suffix + ".xlsx";  // GDAL writes no .xls
    return stem + suffix + (extension ? input.substr(dot) : "");
}

// Characters (code points) of UTF-8 text.
std::size_t Chars(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The text cut to `width` characters, the last one "…" when cut, and padded with blanks
// to `width` + `gap`.
std::string Cell(std::string_view text, std::size_t width, std::size_t gap) {
    std::string cell;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((text[i] & 0xC0) != 0x80 && ++chars == width && Chars(text.substr(i)) > 1) {
            cell += "…";
            break;
        }
        cell += text[i] == '\t' ? ' ' : text[i];
    }
    return cell + std::string(width + gap - std::min(width + gap, Chars(cell)), ' ');
}

// An argument as a POSIX shell takes it: within single quotes unless it is plain.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                               "0123456789_-.,/=:+@%") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Control& Add(form::FormModel& m, Kind kind, const std::string& container, const char* name, std::string text,
             int index = -1) {
    Control c;
    c.kind = kind;
    c.id = {name, index};
    c.container = container;
    c.text = std::move(text);
    c.backColor = form::kWhite;
    return m.Add(std::move(c));
}

// A label and the field it names, which screen readers announce by the label.
Control& Field(form::FormModel& m, Kind kind, const std::string& container, const char* label, const char* name,
               const std::string& caption) {
    Add(m, Kind::Label, container, label, caption);
    Control& field = Add(m, kind, container, name, "");
    field.accessibleName = caption.substr(0, caption.size() - 1);  // without the colon
    return field;
}

// The item chosen in a list of `count` items; the first for an index outside it.
std::size_t Chosen(const Control& list, std::size_t count) {
    const int i = list.listIndex;
    return i >= 0 && static_cast<std::size_t>(i) < count ? static_cast<std::size_t>(i) : 0;
}

void Items(Control& combo, const auto& items, int chosen) {
    combo.items.assign(std::begin(items), std::end(items));
    combo.listIndex = chosen;
}

// Whether the zone list holds the zones of a layer's output (kLayerZones).
bool LayerZones(const form::Control& zone) { return zone.items.size() == std::size(kLayerZones); }

// The zone list of layers with a system, its first item saying what the input's is
// ("Como la entrada: grados"), and its default: for layers in degrees the zone of most of
// their vertices, UTM as a hiker's map has it; for UTM layers their own.
void OfferLayerZones(form::Control& zone, const std::vector<batch::LayerInfo>& layers) {
    std::array<std::int64_t, 3> votes{};
    std::set<int> utm;
    bool degrees = false;
    for (const batch::LayerInfo& l : layers) {
        if (l.geometry == "sin geometría") continue;
        const bool projected = l.system.find(" UTM ") != std::string::npos;
        degrees = degrees || !projected;
        if (projected) utm.insert(l.zone);
        else if (l.zone >= 29 && l.zone <= 31) votes[static_cast<std::size_t>(l.zone - 29)] += std::max<std::int64_t>(l.vertices, 1);
    }
    std::vector<std::string> items(std::begin(kLayerZones), std::end(kLayerZones));
    items[0] += degrees && utm.empty()  ? ": grados"
                : utm.size() == 1 && !degrees ? ": UTM " + std::to_string(*utm.begin())
                                        : ": la de cada capa";
    const bool counted = std::any_of(votes.begin(), votes.end(), [](std::int64_t v) { return v > 0; });
    const int item = !utm.empty() || !counted ? 0 : static_cast<int>(std::max_element(votes.begin(), votes.end()) - votes.begin()) + 1;
    Items(zone, items, item);
}

// Whether the result columns ticked are those talpor-lote gives without --salida: the
// degrees, UTM and the set, and the height and the altitude where a file has them.
bool DefaultResults(const form::FormModel& m) {
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) {
        const Control& box = m.Get("ChkSalida", i);
        const bool height = i == kHeightOutput || i == kAltitudeOutput;
        if (height ? box.enabled && !box.value : box.value != (std::string(kOutputs[i][1]) != "gm")) return false;
    }
    return true;
}

// --formato for a format chosen; "" is the input's own (or, for several, each file's).
void AddFormat(std::vector<std::string>& args, const std::string& format) {
    if (!format.empty()) args.push_back("--formato=" + format);
}

// --salida with the result columns ticked (`columns`), and the decimal sign's option.
void AddResultArguments(const form::FormModel& m, std::vector<std::string>& args, bool columns = true) {
    if (const std::size_t d = Chosen(m.Get("CmbDecimal"), std::size(kDecimals)); !columns && d > 0)
        args.push_back(kDecimalOptions[d]);
    if (!columns) return;
    std::string outputs;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) {
        const Control& box = m.Get("ChkSalida", i);
        if (box.value && box.enabled) outputs += (outputs.empty() ? "" : ",") + std::string(kOutputs[i][1]);
    }
    if (!outputs.empty()) args.push_back("--salida=" + outputs);
    if (const std::size_t d = Chosen(m.Get("CmbDecimal"), std::size(kDecimals)); d > 0) args.push_back(kDecimalOptions[d]);
}

}  // namespace

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
    for (const batch::CrsName& crs : batch::EveryCrs()) {
        targets.push_back(batch::TitleOf(crs));
        origins.push_back(batch::TitleOf(crs));
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

template <class Job>
auto FileDialog::WithProgress(const std::string& input, const Job& job) {
    // GDAL reads the file in its own process, which tells how it goes every tenth of a
    // second: a file that takes a while to read (a slow disk, a pipe no one writes to)
    // shows its progress, with a button that stops it.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    bool shown = false;
    struct Ending {
        form::Platform& platform;
        const bool& shown;
        ~Ending() {
            if (shown) platform.EndProgress();
        }
    } ending{platform_, shown};
    const std::string text = "Leyendo «" + FileName(input) + "»…";
    return job([&](std::uint64_t features, std::uint64_t total) {
        if (!shown && Clock::now() - started < std::chrono::milliseconds(400)) return;
        shown = true;
        const int percent = total > 0 ? static_cast<int>(std::min<std::uint64_t>(features * 100 / total, 100)) : 0;
        if (!platform_.ShowProgress(features > 0 ? text + " " + batch::Count(features, "entidad", "entidades") : text, percent))
            throw ReadCancelled{};
    });
}

std::vector<batch::LayerInfo> FileDialog::ReadLayers(const std::string& input) {
    return WithProgress(input, [&](const batch::LayerProgress& progress) { return batch::LayersOf(input, progress); });
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
    inputFormat_ = batch::Format::Text;
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
    if (const batch::WhatFile what = batch::WhatIs(input); what.kind == batch::FileKind::Refused) {
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
    if (batch::IsLayerFile(input)) {
        OfferFormats({std::begin(kLayerFormatNames), std::end(kLayerFormatNames)});
        try {
            layers_ = ReadLayers(input);
            if (std::none_of(layers_->begin(), layers_->end(), [](const batch::LayerInfo& l) { return l.epsg == 0; })) {
                OfferLayerZones(zone, *layers_);
                zone.toolTip = kLayerZoneTip;
                model_.Get("LblHuso").text = "Coordenadas de la salida:";
            }
        } catch (const batch::RunError& e) {
            readProblem_ = "«" + FileName(input) + "» no se puede convertir: " + e.what() + ".";
            return;
        } catch (const ReadCancelled&) {
            readProblem_ = "Lectura de «" + FileName(input) + "» cancelada: elija el fichero otra vez para verlo.";
            return;
        }
        // A WGS84 format (Google Earth's KMZ) to ED50 goes where ED50 can: a table of its
        // vertices, unless the user chose a format of the other kind.
        const batch::LayerFormat* in = batch::LayerFormatOfInput(input);
        const batch::LayerFormat* out =
            batch::LayerFormatNamed(kLayerFormatOf[Chosen(format, std::size(kLayerFormatOf))]);
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
            batch::Conversion conversion;
            conversion.direction = direction_;
            for (const batch::Sheet& sheet : batch::ReadWorkbook(input)) {
                sheetsLine_ += (sheetsLine_.empty() ? "Hojas: «" : ", «") + sheet.name + "»";
                if (sample_) continue;
                std::vector<std::string> lines = batch::SheetLines(sheet, 64);
                try {
                    batch::LayoutChoice choice;
                    choice.separator = batch::Separator::Tab;
                    batch::FindLayout(lines, choice, conversion);
                } catch (const batch::LayoutError& e) {
                    if (e.missing == batch::Missing::Columns) continue;
                }
                const bool whole = lines.size() == sheet.rows.size();
                sample_ = batch::Sample{std::move(lines), false, whole, false};
                sheetsLine_ += " (se ve esta)";
            }
        } catch (const batch::RunError& e) {
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
        readProblem_ = "No se puede leer «" + FileName(input) + "»: " + batch::SystemErrorText(errno) + ".";
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
        readProblem_ = "No se puede leer «" + FileName(input) + "»: " + batch::SystemErrorText(readErrno) + ".";
        return;
    }
    head.resize(size);
    const bool whole = n == 0;
    inputFormat_ = batch::InputFormat(head);
    if (!whole) head.resize(head.rfind(inputFormat_ == batch::Format::Text ? '\n' : '>') + 1);
    try {
        if (inputFormat_ != batch::Format::Text) {
            // A GPS file shows the rows it is read as.
            if (inputFormat_ == batch::Format::Kml)
                throw batch::RunError("es KML, que se convierte como capa: dele la extensión .kml o .kmz");
            batch::XmlPoints xml;
            std::string table;
            xml.Feed(head, whole, table);
            head = std::move(table);
        }
        sample_ = batch::SampleOf(head, whole);
    } catch (const batch::RunError& e) {
        readProblem_ = "«" + FileName(input) + "» no se puede convertir: " + e.what() + ".";
        return;
    }
    if (!whole && head.empty() && inputFormat_ == batch::Format::Text)
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
    } catch (const batch::RunError& e) {
        scanProblem_ = Sentence(e.what());
    }
}

void FileDialog::Suggest() {
    // The destination follows the input and the format, unless the user chose one.
    // An image is named by the datum it is written in: ETRS89, or WGS84 when so labelled.
    // Toward a target, by its datum.
    const std::optional<batch::CrsName> target = Target();
    const std::string title = target ? batch::TitleOf(*target) : "";
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
        const batch::LayerFormat* f = batch::LayerFormatNamed(name);
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

std::optional<batch::CrsName> FileDialog::Target() const {
    // A GPS file is WGS84 by its format: it goes by the tab.
    const bool offered = several_ || layers_ || image_ || inputFormat_ == batch::Format::Text;
    const std::vector<batch::CrsName> every = batch::EveryCrs();
    const int i = model_.Get("CmbSistema").listIndex;
    if (!offered || i <= 0 || static_cast<std::size_t>(i) > every.size()) return std::nullopt;
    return every[static_cast<std::size_t>(i - 1)];
}

bool FileDialog::OriginUsed() const {
    return several_ || (image_ && imageSaysNone_) || (!layers_ && !image_ && inputFormat_ == batch::Format::Text) ||
           (layers_ && std::any_of(layers_->begin(), layers_->end(), [](const batch::LayerInfo& l) {
                return l.system == "sin sistema" && l.geometry != "sin geometría";
            }));
}

std::optional<batch::CrsName> FileDialog::Origin() const {
    const std::vector<batch::CrsName> every = batch::EveryCrs();
    const int i = model_.Get("CmbOrigen").listIndex;
    if (!Target() || !OriginUsed() || i <= 0 || static_cast<std::size_t>(i) > every.size()) return std::nullopt;
    return every[static_cast<std::size_t>(i - 1)];
}

std::vector<std::string> FileDialog::Arguments() const {
    const form::FormModel& m = model_;
    // Toward a target each file goes from its own system: no direction, zone or label.
    const std::optional<batch::CrsName> target = Target();
    std::vector<std::string> args = {
        target                                     ? "--destino=" + batch::NameOf(*target)
        : direction_ == core::Direction::WGS84ToED50 ? "--sentido=wgs84-ed50"
                                                     : "--sentido=ed50-wgs84",
        "--metodo=" + std::string(batch::kMethods[Chosen(m.Get("CmbMetodo"), std::size(batch::kMethods))].name)};
    if (const std::optional<batch::CrsName> origin = Origin()) args.push_back("--origen=" + batch::NameOf(*origin));
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
    const bool table = inputFormat_ == batch::Format::Text;
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
        args.push_back("--formato=" + std::string(batch::kFormats[f + 1].name));
    args.push_back(Input());
    if (!Output().empty()) args.insert(args.end(), {"-o", Output()});
    return args;
}

batch::Settings FileDialog::Settings() const {
    batch::Settings settings = batch::ParseCommandLine(Arguments()).settings;
    settings.conversion.grids = &grids_;
    return settings;
}

batch::Layout FileDialog::FindLayout(bool withHeight) {
    batch::Settings settings = Settings();
    // Toward a target without the table's system the layout is read as of the tab's zone;
    // the run waits for the system.
    if (Target() && !Origin()) settings.conversion.zone = tabZone_;
    if (inputFormat_ != batch::Format::Text) {
        settings.layout = batch::XmlLayout();
        settings.conversion.heightIsAltitude = true;
    }
    if (!withHeight) {
        settings.layout.heightColumn.clear();
        settings.layout.findHeight = true;
    }
    return batch::FindLayout(sample_->lines, settings.layout, settings.conversion, sample_->whole);
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
    const std::optional<batch::CrsName> target = Target();
    m.Get("LblSistema").visible = m.Get("CmbSistema").visible =
        several_ || layers_ || image_ || inputFormat_ == batch::Format::Text;
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
    std::optional<batch::Layout> layout = SampleLayout();
    ShowHeightColumns(layout);

    // The result columns a height allows.
    const bool gps = inputFormat_ != batch::Format::Text && sample_;
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
    batch::Settings settings = Settings();
    if (gps) {
        settings.layout.heightColumn = "Altitud";
        settings.conversion.heightIsAltitude = true;
    }
    heightOut.enabled = batch::HeightResultPossible(settings);
    altitudeOut.enabled = batch::AltitudeResultPossible(settings);
    settings = Settings();
    bool anyOutput = false;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i)
        anyOutput = anyOutput || (m.Get("ChkSalida", i).value && m.Get("ChkSalida", i).enabled);
    m.Get("CmbHuso").enabled = m.Get("LblHuso").enabled = zoneMissing_;

    if (layout && problem_.empty()) {
        try {
            layout = FindLayout(true);
        } catch (const batch::LayoutError& e) {
            problem_ = std::string(e.what()) + ".";
        }
    }
    m.Get("LblPrevia").text = sample_ ? (sheetsLine_.empty() ? "" : sheetsLine_ + "\n") + Preview(layout) : "";
    m.Get("LblFormato").text = layout ? LayoutText(*layout) : "";
    CheckRun(settings, gps, anyOutput);
    // What is written: a table, or a GPS or web format of WGS84 degrees.
    const batch::Format out = kFormatOf[Chosen(m.Get("CmbFormato"), std::size(kFormatOf))];
    const std::string title = target ? batch::TitleOf(*target) : "";
    const std::string ed50 = target ? title.substr(0, title.find(' ')) : direction_ == core::Direction::WGS84ToED50 ? "ED50" : "WGS84";
    m.Get("LblEscribe").text =
        !problem_.empty() ? ""
        : out == batch::Format::Text
            ? "Escribirá una tabla, la del fichero con las columnas " + ed50 + " elegidas: «" + FileName(Output()) + "»"
            : "Escribirá " + std::string(out == batch::Format::Gpx ? "GPX" : out == batch::Format::Kml ? "KML" : "GeoJSON") +
                  " en WGS84 geográficas (EPSG:4326): «" + FileName(Output()) + "»";
    m.Get("LblAviso").text = problem_;
    m.Get("CmdConvertir").enabled = problem_.empty();

    ShowCommand();
}

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
    const batch::Method method = batch::kMethods[Chosen(m.Get("CmbMetodo"), std::size(batch::kMethods))].method;
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) m.Get("ChkSalida", i).enabled = true;
    m.Get("ChkSalida", kHeightOutput).enabled = batch::TransformsHeight(method);
    m.Get("ChkSalida", kAltitudeOutput).enabled =
        direction_ == core::Direction::WGS84ToED50 || batch::TransformsHeight(method);

    // What was found: "12 ficheros: 5 capas, 4 tablas, 3 imágenes y 1 proyecto de QGIS",
    // then the first of them.
    std::size_t layers = 0, images = 0, gps = 0, projects = 0;
    for (const batch::FolderFile& f : files_) {
        if (batch::IsProjectFile(f.input)) ++projects;
        else if (rasters::IsRasterFile(f.input)) ++images;
        else if (batch::IsLayerFile(f.input)) ++layers;
        else if (std::string name = FileName(f.input); name.size() > 4) {
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            gps += name.ends_with(".gpx") ? 1 : 0;
        }
    }
    const std::size_t tables = files_.size() - layers - images - gps - projects;
    std::vector<std::string> kinds;
    if (layers > 0) kinds.push_back(batch::Count(layers, "capa", "capas"));
    if (tables > 0) kinds.push_back(batch::Count(tables, "tabla", "tablas"));
    if (images > 0) kinds.push_back(batch::Count(images, "imagen", "imágenes"));
    if (gps > 0) kinds.push_back(batch::Count(gps, "GPX", "GPX"));
    if (projects > 0) kinds.push_back(batch::Count(projects, "proyecto de QGIS", "proyectos de QGIS"));
    std::string preview;
    const std::optional<batch::CrsName> target = Target();
    if (target && !files_.empty() && scanProblem_.empty()) {
        // Toward a target: the files by the way each will go.
        std::vector<std::string> args = Arguments();
        if (Output().empty()) args.insert(args.end(), {"-o", suggested_});
        batch::Settings settings = batch::ParseCommandLine(args).settings;
        settings.conversion.grids = &grids_;
        GroupSeveral(settings);
        preview = batch::Count(files_.size(), "fichero", "ficheros") + " a " + batch::TitleOf(*target) + ":\n" +
                  (previewProblem_.empty() ? batch::PreviewText(groups_) : previewProblem_);
        const std::size_t before = std::count_if(files_.begin(), files_.end(), [](const batch::FolderFile& f) { return !f.refused.empty(); });
        if (before > 0) preview += "\n" + batch::Count(before, "fichero rechazado", "ficheros rechazados");
    } else if (!files_.empty()) {
        preview = batch::Count(files_.size(), "fichero", "ficheros") + ": " + Listed(kinds);
        constexpr std::size_t kListed = kPreviewLines - 1;
        for (std::size_t i = 0; i < files_.size() && i < kListed + (files_.size() == kListed + 1 ? 1 : 0); ++i)
            preview += "\n" + MiddleShortened(Shown(files_[i].input), kPathChars);
        if (files_.size() > kListed + 1) preview += "\n… y " + batch::Count(files_.size() - kListed, "más", "más");
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
            const batch::LayerFormat* format = batch::LayerFormatOfInput(f.input);
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
            std::string listed = batch::NameList(names);
            if (more > 0) listed = listed.substr(0, listed.rfind(" y ")) + ", " + listed.substr(listed.rfind(" y ") + 3) + " y " +
                                   batch::Count(more, "más", "más");
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
    if (problem_.empty() && method == batch::Method::Grid && !grids_.Shift().Problem().empty())
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
        return f.refused.empty() && (batch::IsLayerFile(f.input) || rasters::IsRasterFile(f.input));
    });
    m.Get("LblEscribe").text =
        problem_.empty() && files_.size() > refused
            ? "Escribirá " + std::string(read ? "hasta " : "") + batch::Count(files_.size() - refused, "fichero", "ficheros") +
                  " en la carpeta «" + FileName(WithoutSlash(Output())) + "», cada uno en su sitio" +
                  (refused == 0 ? "" : refused == 1 ? "; no el rechazado arriba" : "; no los " + std::to_string(refused) + " rechazados arriba")
            : "";
    m.Get("LblAviso").text = problem_;
    m.Get("CmdConvertir").enabled = problem_.empty();
    ShowCommand();
}

void FileDialog::GroupSeveral(const batch::Settings& settings) {
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

std::optional<batch::Layout> FileDialog::SampleLayout() {
    std::optional<batch::Layout> layout;
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
        } catch (const batch::LayoutError& e) {
            if (e.missing != batch::Missing::Zone) {
                problem_ = std::string(e.what()) + ".";
                if (e.missing == batch::Missing::Columns)
                    problem_ = std::string(e.what()) + ": escriba en «Columnas del punto» las que lo forman (como 2,3).";
            } else if (Target()) {
                // The zone is the table's system's, chosen with it.
                problem_ = "Los puntos son Este y Norte sin huso: elija en " + std::string(kOriginField) + " su sistema UTM.";
            } else {
                zoneMissing_ = true;
                try {
                    layout = FindLayout(false);
                } catch (const batch::LayoutError& again) {
                    problem_ = std::string(again.what()) + ".";
                }
            }
        }
    }
    return layout;
}

void FileDialog::ShowHeightColumns(const std::optional<batch::Layout>& layout) {
    form::FormModel& m = model_;
    Control& heightCombo = m.Get("CmbAltura");
    heightColumns_ = {""};
    std::vector<std::string> heightItems = {"(ninguna)"};
    std::vector<std::string> header;
    if (layout && layout->headerLine > 0) batch::SplitFields(sample_->lines[layout->headerLine - 1], layout->separator, header);
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
    heightFindable_ = layout && layout->heightKind != batch::HeightKind::None;
    if (!heightPicked_ && heightFindable_) heightWanted_ = heightColumns_[HeightItem(*layout->heightColumn)];
    const auto kept = std::find(heightColumns_.begin(), heightColumns_.end(), heightWanted_);
    Items(heightCombo, heightItems, kept == heightColumns_.end() || heightWanted_.empty()
                                        ? 0
                                        : static_cast<int>(kept - heightColumns_.begin()));
    if (!heightPicked_ && heightCombo.listIndex > 0) SetHeightKind(header, heightWanted_);
    heightCombo.enabled = layout.has_value();
}

std::string FileDialog::LayoutText(const batch::Layout& layout) const {
    const bool altitude = model_.Get("OptAltura", 1).value;
    return (sheetsLine_.empty() ? "Separador " + std::string(batch::SeparatorName(layout.separator)) + " · " : std::string()) +
           (layout.headerLine > 0 ? "cabecera en la fila " + std::to_string(layout.headerLine)
                                  : std::string("sin cabecera")) +
           " · punto en " + batch::ColumnsText(layout.pointColumns) +
           (zoneMissing_ ? " (Este y Norte sin huso: elija el huso abajo)" : "") +
           (layout.heightColumn
                ? (altitude ? " · altitud en " : " · altura en ") + batch::ColumnsText({*layout.heightColumn})
                : "") +
           (layout.heightColumn && !heightPicked_ && heightFindable_ && *layout.heightColumn < heightHeader_.size()
                ? " («" + heightHeader_[*layout.heightColumn] + "», por su nombre)"
                : "");
}

// The first lines in columns, each headed by its number and its part in the point.
std::string FileDialog::Preview(const std::optional<batch::Layout>& layout) const {
    const form::FormModel& m = model_;
    std::string preview;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> fields;
    for (const std::string& line : sample_->lines) {
        if (rows.size() == kPreviewLines) break;
        if (layout) batch::SplitFields(line, layout->separator, fields);
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

void FileDialog::CheckRun(const batch::Settings& settings, bool gps, bool anyOutput) {
    // What else stops the run, in the order of the fields.
    const batch::Conversion& c = settings.conversion;
    if (problem_.empty() && settings.target && !settings.origin)
        problem_ = "La tabla no dice en qué sistema están sus puntos: elija el suyo en " + std::string(kOriginField) + ".";
    if (problem_.empty() && gps && direction_ != core::Direction::WGS84ToED50)
        problem_ = "Los ficheros " + std::string(batch::FormatTitle(inputFormat_)) +
                   " son WGS84: conviértalo en la pestaña «WGS84 -> ED50».";
    if (problem_.empty() && c.method == batch::Method::Grid && !grids_.Shift().Problem().empty())
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
    for (const batch::LayerInfo& l : *layers_) {
        preview += (preview.empty() ? "" : "\n") + ("Capa «" + MiddleShortened(l.name, kNameChars) + "»: " + l.geometry) +
                   (l.features >= 0 ? ", " + batch::Count(static_cast<std::uint64_t>(l.features), "entidad", "entidades")
                                    : std::string()) +
                   (l.vertices >= 0 ? ", " + batch::Count(static_cast<std::uint64_t>(l.vertices), "vértice", "vértices")
                                    : std::string()) +
                   "; " + l.system;
        zoneMissing_ = zoneMissing_ || l.system == "sin sistema";
    }
    if (layers_->empty()) preview = "(sin capas)";
    m.Get("LblPrevia").text = preview;
    const std::optional<batch::CrsName> target = Target();
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
        const batch::LayerFormat* format = chosen.empty() ? batch::LayerFormatOfInput(Input()) : batch::LayerFormatNamed(chosen);
        const bool projected = table || (format != nullptr && !format->wgs84);
        m.Get("CmbHuso").enabled = m.Get("LblHuso").enabled = zoneMissing_ || (LayerZones(m.Get("CmbHuso")) && projected);
    }
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i)
        m.Get("ChkSalida", i).enabled = table && i != kHeightOutput && i != kAltitudeOutput;
    m.Get("CmbDecimal").enabled = m.Get("LblDecimal").enabled = table;
    for (const batch::LayerInfo& l : *layers_) {
        if (problem_.empty() && target && !Origin() && l.system == "sin sistema" && l.geometry != "sin geometría")
            problem_ = "La capa «" + MiddleShortened(l.name, kNameChars) + "» no dice en qué sistema está: elija el suyo en " +
                       kOriginField + ".";
        if (problem_.empty() && !target && l.direction && *l.direction != direction_)
            problem_ = "La capa «" + MiddleShortened(l.name, kNameChars) + "» está en " + l.system + ": conviértala en la pestaña «" +
                       (*l.direction == core::Direction::WGS84ToED50 ? "WGS84 -> ED50" : "ED50 -> WGS84") + "».";
    }
    // The format chosen, or the layer's own.
    const std::string name = kLayerFormatOf[Chosen(m.Get("CmbFormato"), std::size(kLayerFormatOf))];
    const batch::LayerFormat* out =
        name.empty() ? batch::LayerFormatOfInput(Input()) : batch::LayerFormatNamed(name);
    if (problem_.empty() && (target ? target->Ed50() : direction_ == core::Direction::WGS84ToED50) && out != nullptr && out->wgs84)
        problem_ = std::string(out->title) + " es WGS84 y el resultado es ED50: elija en «Formato» Shapefile, "
                   "GeoPackage, DXF, MapInfo, GML, FlatGeobuf, SpatiaLite o CSV.";
    const batch::Settings settings = Settings();
    if (problem_.empty() && settings.conversion.method == batch::Method::Grid && !grids_.Shift().Problem().empty())
        problem_ = grids_.Shift().Problem();
    if (problem_.empty() && !grids_.Geoid().Problem().empty()) problem_ = grids_.Geoid().Problem();
    if (problem_.empty() && Output().empty()) problem_ = "Elija el destino.";
    if (problem_.empty() && Output() == Input()) problem_ = "El destino es la propia capa: elija otro.";
    m.Get("LblEscribe").text = problem_.empty() ? WrittenText(batch::PlanWrite(Input(), Output(), settings, *layers_)) : "";
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
    for (const std::string& a : Arguments()) key += (a == Output() ? batch::AsciiLower(a.substr(a.rfind('.') + 1)) : a) + '\n';
    if (key != planned_) {
        planned_ = key;
        planProblem_.clear();
        batch::Settings settings = Settings();
        // The image's own system first; the tab's datum and the zone chosen for one without.
        settings.layers.directionGiven = zoneMissing_;
        try {
            image_ = WithProgress(Input(), [&](const batch::LayerProgress& progress) {
                return rasters::PlanRaster(Input(), Output(), settings, Raster(), progress);
            });
        } catch (const ReadCancelled&) {
            image_.emplace();
            planProblem_ = "Lectura de «" + FileName(Input()) + "» cancelada: elija el fichero otra vez para verla.";
        } catch (const batch::RunError& e) {
            image_.emplace();
            planProblem_ = "«" + FileName(Input()) + "» no se puede convertir: " + e.what() + ".";
            if (Target() && !Origin() && std::string(e.what()).find("--origen") != std::string::npos) {
                planProblem_ = "«" + FileName(Input()) + "» no dice su sistema: elija el suyo en " + kOriginField + ".";
                imageSaysNone_ = true;
            }
            if (e.missing == batch::Missing::Zone && !zoneMissing_) {
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
        for (const std::string& a : Arguments()) key += (a == Output() ? batch::AsciiLower(a.substr(a.rfind('.') + 1)) : a) + '\n';
        if (key != planned_) return ShowImage();
    }
    // The system of what says none, once planning found the image says none.
    m.Get("LblOrigen").visible = m.Get("CmbOrigen").visible = Target() && OriginUsed();
    const rasters::RasterSummary& plan = *image_;
    m.Get("LblPrevia").text = plan.width > 0     ? rasters::RasterPreview(plan)
                              : imageSaysNone_ ? "(la imagen no dice su sistema)"
                                               : "(no se puede leer como imagen)";
    problem_ = planProblem_;
    const batch::Settings settings = Settings();
    if (problem_.empty() && settings.conversion.method == batch::Method::Grid && !grids_.Shift().Problem().empty())
        problem_ = grids_.Shift().Problem();
    if (problem_.empty() && Output().empty()) problem_ = "Elija el destino.";
    if (problem_.empty() && Output() == Input()) problem_ = "El destino es la propia imagen: elija otro.";
    m.Get("LblEscribe").text = problem_.empty() ? "Escribirá en " + plan.to + ": «" + FileName(Output()) + "»" : "";
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
    const bool ellipsoidal = named && batch::HeightKindOf(column) == batch::HeightKind::Ellipsoidal;
    model_.Get("OptAltura", 0).value = ellipsoidal;
    model_.Get("OptAltura", 1).value = !ellipsoidal;
}

void FileDialog::Remember() {
    const form::FormModel& m = model_;
    auto save = [&](const char* key, const std::string& value) { platform_.SaveSetting("Talpor", kSection, key, value); };
    save("Carpeta", Input().substr(0, Input().rfind('/') + 1));
    save("Metodo", std::to_string(Chosen(m.Get("CmbMetodo"), std::size(kMethodNames))));
    // A GPS file's heights are its format's, and those of several files each one's, not a choice.
    if (inputFormat_ == batch::Format::Text && !several_) {
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
                                 batch::Count(existing.size(), "fichero", "ficheros") + " de los que escribe la conversión:" +
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
