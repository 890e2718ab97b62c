// What the file dialog's parts share (FileDialog.cpp: the plan and the arguments;
// FilePreview.cpp: the preview of each kind of input): the lists it offers, the names of
// the user's settings, and the small rules of its texts and controls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "batch/CommandLine.h"
#include "convert/FileDialog.h"
#include "form/Controls.h"

namespace convert::dialog {

using form::Control;
using form::Kind;

constexpr const char* kSection = "Fichero";  // of the user's settings
const char* const kFormatNames[] = {"CSV o texto (como el fichero de puntos)", "GPX (GPS)", "KML (visores de globo)",
                                    "GeoJSON (SIG y mapas web)"};
const tables::Format kFormatOf[] = {tables::Format::Text, tables::Format::Gpx, tables::Format::Kml,
                                   tables::Format::GeoJson};
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

inline std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

inline bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.ends_with('/')) path.pop_back();
    return path;
}

// The folder that holds every input, with its "/": "/x/" for "/x/datos", "/x/datos/" for
// "/x/datos/a.csv" and "/x/datos/b.shp"; "" when they have none in common.
inline std::string CommonFolder(const std::vector<std::string>& inputs) {
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
inline std::string Sentence(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text.ends_with('.') ? text : text + ".";
}

// "a", "a y b", "a, b y c".
inline std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " y " : ", ") + items[i];
    return text;
}

// A name of more than `most` characters shortened in the middle, where a long name keeps
// least of what tells it apart: "capa_de_los_montes_…_2019_revisada". A text on one line
// of the dialog would otherwise widen it past the screen.
inline std::string MiddleShortened(const std::string& name, std::size_t most) {
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
inline std::string WrittenText(const layers::WritePlan& plan) {
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
    std::string files = names.empty() ? "en la salida estándar" : layers::NameList(names);
    if (plan.files.size() > kNamed) {
        files.clear();
        for (const std::string& name : names) files += "«" + name + "», ";
        files += "… y " + tables::Count(plan.files.size() - kNamed, "fichero más", "ficheros más");
    }
    return "Escribirá " + (table ? "una tabla CSV de sus vértices" : plan.format) + systems + ": " + files;
}


// The inputs as the input field holds them: a path, or several each within quotes.
inline std::string InputText(const std::vector<std::string>& inputs) {
    if (inputs.size() == 1) return inputs[0];
    std::string text;
    for (const std::string& input : inputs) text += (text.empty() ? "\"" : " \"") + input + "\"";
    return text;
}

// "…/puntos.csv" -> "…/puntos_ED50.csv"; "…/ruta.gpx" -> "…/ruta_ED50.csv"; with a GPS
// format its extension: "…/hitos_WGS84.kml". `suffix`: the datum written ("_ED50").
inline std::string Suggested(const std::string& input, const std::string& suffix, tables::Format inputFormat,
                      tables::Format output) {
    const std::size_t slash = input.rfind('/');
    const std::size_t dot = input.rfind('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = extension ? input.substr(0, dot) : input;
    if (output != tables::Format::Text) return stem + suffix + std::string(gps::FormatExtension(output));
    if (inputFormat != tables::Format::Text) return stem + suffix + ".csv";
    if (layers::WorkbookOfPath(input) == layers::WorkbookKind::Xls) return stem + suffix + ".xlsx";  // GDAL writes no .xls
    return stem + suffix + (extension ? input.substr(dot) : "");
}

// Characters (code points) of UTF-8 text.
inline std::size_t Chars(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The text cut to `width` characters, the last one "…" when cut, and padded with blanks
// to `width` + `gap`.
inline std::string Cell(std::string_view text, std::size_t width, std::size_t gap) {
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
inline std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                               "0123456789_-.,/=:+@%") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline Control& Add(form::FormModel& m, Kind kind, const std::string& container, const char* name, std::string text,
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
inline Control& Field(form::FormModel& m, Kind kind, const std::string& container, const char* label, const char* name,
               const std::string& caption) {
    Add(m, Kind::Label, container, label, caption);
    Control& field = Add(m, kind, container, name, "");
    field.accessibleName = caption.substr(0, caption.size() - 1);  // without the colon
    return field;
}

// The item chosen in a list of `count` items; the first for an index outside it.
inline std::size_t Chosen(const Control& list, std::size_t count) {
    const int i = list.listIndex;
    return i >= 0 && static_cast<std::size_t>(i) < count ? static_cast<std::size_t>(i) : 0;
}

inline void Items(Control& combo, const auto& items, int chosen) {
    combo.items.assign(std::begin(items), std::end(items));
    combo.listIndex = chosen;
}

// Whether the zone list holds the zones of a layer's output (kLayerZones).
inline bool LayerZones(const form::Control& zone) { return zone.items.size() == std::size(kLayerZones); }

// The zone list of layers with a system, its first item saying what the input's is
// ("Como la entrada: grados"), and its default: for layers in degrees the zone of most of
// their vertices, UTM as a hiker's map has it; for UTM layers their own.
inline void OfferLayerZones(form::Control& zone, const std::vector<layers::LayerInfo>& layers) {
    std::array<std::int64_t, 3> votes{};
    std::set<int> utm;
    bool degrees = false;
    for (const layers::LayerInfo& l : layers) {
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
inline bool DefaultResults(const form::FormModel& m) {
    for (int i = 0; i < static_cast<int>(std::size(kOutputs)); ++i) {
        const Control& box = m.Get("ChkSalida", i);
        const bool height = i == kHeightOutput || i == kAltitudeOutput;
        if (height ? box.enabled && !box.value : box.value != (std::string(kOutputs[i][1]) != "gm")) return false;
    }
    return true;
}

// --formato for a format chosen; "" is the input's own (or, for several, each file's).
inline void AddFormat(std::vector<std::string>& args, const std::string& format) {
    if (!format.empty()) args.push_back("--formato=" + format);
}

// --salida with the result columns ticked (`columns`), and the decimal sign's option.
inline void AddResultArguments(const form::FormModel& m, std::vector<std::string>& args, bool columns = true) {
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

}  // namespace convert::dialog

namespace convert {

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
    const std::string text = "Leyendo «" + dialog::FileName(input) + "»…";
    return job([&](std::uint64_t features, std::uint64_t total) {
        if (!shown && Clock::now() - started < std::chrono::milliseconds(400)) return;
        shown = true;
        const int percent = total > 0 ? static_cast<int>(std::min<std::uint64_t>(features * 100 / total, 100)) : 0;
        if (!platform_.ShowProgress(features > 0 ? text + " " + tables::Count(features, "entidad", "entidades") : text, percent))
            throw ReadCancelled{};
    });
}

}  // namespace convert
