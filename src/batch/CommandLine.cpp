#include "batch/CommandLine.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "layers/Layers.h"
#include "tables/FileKind.h"
#include "text/FieldLimits.h"

namespace batch {
namespace {

struct Option {
    char shortName;  // 0: none
    std::string_view longName;
    bool takesValue;
};

constexpr Option kOptions[] = {
    {'s', "sentido", true},   {'m', "metodo", true},    {'e', "entrada", true},
    {0, "huso", true},        {'c', "columnas", true},  {'a', "altura", true},
    {0, "altitud", true},     {0, "separador", true},   {0, "cabecera", false},
    {0, "sin-cabecera", false}, {0, "salida", true},    {'p', "punto", false},
    {'o', "destino", true},   {'h', "help", false},     {0, "ayuda", false},
    {'V', "version", false},    {'f', "formato", true},   {0, "coma", false},
    {0, "sin-altura", false}, {0, "omitir-fuera", false}, {0, "etiqueta", true},
    {0, "z-elipsoidal", false}, {0, "reemplazar", false}, {0, "tolerancia", true},
    {0, "remuestrear", false}, {0, "remuestreo", true}, {0, "origen", true},
    {'j', "procesos", true},
};

const Option* LongOption(std::string_view name) {
    if (name == "método") name = "metodo";
    if (name == "versión") name = "version";
    for (const Option& o : kOptions)
        if (o.longName == name) return &o;
    return nullptr;
}

const Option* ShortOption(char name) {
    for (const Option& o : kOptions)
        if (o.shortName == name) return &o;
    return nullptr;
}

std::vector<std::string> CommaList(std::string_view option, const std::string& value) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = value.find(',', start);
        std::string item = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        if (item.empty()) throw UsageError("--" + std::string(option) + ": lista con un elemento vacío: «" + value + "»");
        items.push_back(std::move(item));
        if (comma == std::string::npos) return items;
        start = comma + 1;
    }
}

[[noreturn]] void BadValue(std::string_view option, const std::string& value, std::string_view choices) {
    throw UsageError("--" + std::string(option) + ": valor no válido «" + value + "»; se admite " +
                     std::string(choices));
}

tables::Outputs OutputsOf(const std::string& value) {
    tables::Outputs o{false, false, false, false, false, false};
    for (const std::string& form : CommaList("salida", value)) {
        if (form == "gms") o.dms = true;
        else if (form == "gd") o.degrees = true;
        else if (form == "gm") o.degreesMinutes = true;
        else if (form == "utm") o.utm = true;
        else if (form == "altura") o.height = true;
        else if (form == "parametros" || form == "parámetros") o.set = true;
        else if (form == "altitud") o.altitude = true;
        else BadValue("salida", form, "gms, gd, gm, utm, altura, parametros o altitud");
    }
    return o;
}

void Apply(CommandLine& cl, const Option& o, const std::string& v, bool& outputsGiven) {
    tables::Settings& s = cl.settings;
    const std::string_view name = o.longName;
    if (name == "sentido") {
        s.layers.directionGiven = true;
        if (v == "wgs84-ed50") s.conversion.direction = core::Direction::WGS84ToED50;
        else if (v == "ed50-wgs84") s.conversion.direction = core::Direction::ED50ToWGS84;
        else BadValue(name, v, "wgs84-ed50 o ed50-wgs84");
    } else if (name == "metodo") {
        const auto m = std::find_if(std::begin(tables::kMethods), std::end(tables::kMethods),
                                    [&](const tables::MethodName& n) { return n.name == v; });
        if (m == std::end(tables::kMethods)) BadValue(name, v, "helmert, molodensky-ign, molodensky-nima o rejilla");
        s.conversion.method = m->method;
    } else if (name == "entrada") {
        if (v == "auto") s.conversion.input = tables::InputForm::Any;
        else if (v == "geo") s.conversion.input = tables::InputForm::Geographic;
        else if (v == "utm") s.conversion.input = tables::InputForm::Utm;
        else BadValue(name, v, "auto, geo o utm");
    } else if (name == "huso") {
        if (v != "29" && v != "30" && v != "31") BadValue(name, v, "29, 30 o 31");
        s.conversion.zone = std::stoi(v);
    } else if (name == "columnas") {
        s.layout.pointColumns = CommaList(name, v);
    } else if (name == "altura" || name == "altitud") {
        if (v.empty()) BadValue(name, v, "un número de columna o un nombre de la cabecera");
        if (!s.layout.heightColumn.empty() && s.conversion.heightIsAltitude != (name == "altitud"))
            throw UsageError("--altura y --altitud no van juntas: la columna es de alturas sobre el elipsoide "
                             "o de altitudes sobre el nivel del mar");
        s.layout.heightColumn = v;
        s.conversion.heightIsAltitude = name == "altitud";
    } else if (name == "sin-altura") {
        s.layout.findHeight = false;
    } else if (name == "separador") {
        if (v == ";") s.layout.separator = tables::Separator::Semicolon;
        else if (v == ",") s.layout.separator = tables::Separator::Comma;
        else if (v == "tab" || v == "\t") s.layout.separator = tables::Separator::Tab;
        else if (v == "espacios" || v == " ") s.layout.separator = tables::Separator::Blanks;
        else BadValue(name, v, "«;», «,», tab o espacios");
    } else if (name == "cabecera") {
        s.layout.header = true;
    } else if (name == "sin-cabecera") {
        s.layout.header = false;
    } else if (name == "salida") {
        s.outputs = OutputsOf(v);
        s.outputsChosen = outputsGiven = true;
    } else if (name == "formato" && v == "cog") {
        cl.raster.cog = true;
    } else if (name == "formato") {
        const auto f = std::find_if(std::begin(gps::kFormats), std::end(gps::kFormats),
                                    [&](const gps::FormatName& n) { return n.name == v; });
        const layers::LayerFormat* layer = layers::LayerFormatNamed(v);
        if (f == std::end(gps::kFormats) && layer == nullptr)
            BadValue(name, v, "csv, texto, gpx, kml o geojson; para capas también shp, gpkg, kmz y dxf");
        if (f != std::end(gps::kFormats)) s.format = f->format;
        s.layers.format = layer != nullptr ? v : std::string();
        // A table for a layer whatever the destination's name.
        s.layers.table = f != std::end(gps::kFormats) && f->format == tables::Format::Text;
    } else if (name == "omitir-fuera") {
        s.layers.leaveOutside = true;
    } else if (name == "etiqueta") {
        if (v == "etrs89") s.layers.wgs84Label = false;
        else if (v == "wgs84") s.layers.wgs84Label = true;
        else BadValue(name, v, "etrs89 o wgs84");
    } else if (name == "z-elipsoidal") {
        s.layers.zEllipsoidal = true;
    } else if (name == "tolerancia") {
        std::string n = v;
        std::replace(n.begin(), n.end(), ',', '.');
        char* end = nullptr;
        const double t = std::strtod(n.c_str(), &end);
        if (n.empty() || end != n.c_str() + n.size() || !(t >= 0 && t <= 10)) BadValue(name, v, "un número de píxeles de 0 a 10");
        cl.raster.tolerance = t;
    } else if (name == "remuestrear") {
        cl.raster.resample = true;
    } else if (name == "remuestreo") {
        cl.raster.resampling = rasters::ResamplingOf(v);
        if (cl.raster.resampling.empty()) BadValue(name, v, "vecino, bilineal, cubica, lanczos, media o moda");
    } else if (name == "reemplazar") {
        s.layers.replace = true;
    } else if (name == "punto") {
        s.decimalSign = '.';
    } else if (name == "coma") {
        s.decimalSign = ',';
    } else if (name == "destino" && tables::CrsNamed(v)) {
        s.target = tables::CrsNamed(v);
    } else if (name == "destino") {
        if (v.empty()) BadValue(name, v, "un sistema (" + tables::CrsNames() + "), un nombre de fichero o «-»");
        cl.output = v;
    } else if (name == "origen") {
        s.origin = tables::CrsNamed(v);
        if (!s.origin) BadValue(name, v, tables::CrsNames());
    } else if (name == "procesos") {
        const bool digits = !v.empty() && v.size() <= 3 && std::all_of(v.begin(), v.end(), [](char d) { return d >= '0' && d <= '9'; });
        cl.jobs = digits ? std::stoi(v) : 0;
        if (cl.jobs < 1 || cl.jobs > 256) BadValue(name, v, "un número de 1 a 256");
    } else if (name == "help" || name == "ayuda") {
        cl.help = true;
    } else if (name == "version") {
        cl.version = true;
    }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    std::vector<std::string> positional;
    bool outputsGiven = false, destinationGiven = false, optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg == "-" || arg.empty() || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const Option* o = nullptr;
        std::optional<std::string> value;
        std::string shown;
        if (arg.starts_with("--")) {
            const std::size_t eq = arg.find('=');
            shown = arg.substr(0, eq);
            o = LongOption(std::string_view(arg).substr(2, eq == std::string::npos ? std::string::npos : eq - 2));
            if (eq != std::string::npos) value = arg.substr(eq + 1);
        } else {
            shown = arg.substr(0, 2);
            o = ShortOption(arg[1]);
            if (arg.size() > 2) {
                if (o == nullptr || !o->takesValue)
                    throw UsageError("opción desconocida «" + arg + "»");
                value = arg.substr(2);
            }
        }
        if (o == nullptr) throw UsageError("opción desconocida «" + shown + "»");
        if (!o->takesValue && value) throw UsageError("la opción «" + shown + "» no lleva valor");
        const std::size_t first = i;
        if (o->takesValue && !value) {
            if (i + 1 == args.size()) throw UsageError("falta el valor de la opción «" + shown + "»");
            value = args[++i];
        }
        Apply(cl, *o, value.value_or(""), outputsGiven);
        if (o->longName == "destino" && !tables::CrsNamed(*value)) destinationGiven = true;
        else cl.options.insert(cl.options.end(), args.begin() + static_cast<std::ptrdiff_t>(first),
                               args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
    // With -o every word is an input; without it, ENTRADA [SALIDA].
    if (!destinationGiven && positional.size() > 2)
        throw UsageError("sobra el argumento «" + positional[2] + "»: con varias entradas, la carpeta de salida se da con -o "
                         "(talpor-lote a.shp b.csv -o salida)");
    if (!destinationGiven && positional.size() == 2) cl.output = positional[1];
    if (!positional.empty()) cl.inputs = destinationGiven ? positional : std::vector<std::string>{positional[0]};
    cl.input = cl.inputs[0];
    struct stat st {};
    // A QGIS project goes into a folder with the files it reads.
    cl.several = cl.inputs.size() > 1 || (::stat(cl.input.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ||
                 (cl.output != "-" && tables::WhatIs(cl.input).kind == tables::FileKind::Project);
    if (cl.several && std::find(cl.inputs.begin(), cl.inputs.end(), "-") != cl.inputs.end())
        throw UsageError("la entrada estándar («-») no va con otras entradas ni con una carpeta");
    if (cl.several && cl.output == "-")
        throw UsageError("falta la carpeta de salida: una carpeta o varias entradas se convierten en una carpeta "
                         "(talpor-lote " + cl.input + " -o salida)");
    tables::Conversion& c = cl.settings.conversion;
    const bool given[] = {cl.settings.layers.directionGiven, c.zone != 0,
                          std::find_if(cl.options.begin(), cl.options.end(), [](const std::string& a) {
                              return a.starts_with("--etiqueta");
                          }) != cl.options.end()};
    if (cl.settings.origin && !cl.settings.target)
        throw UsageError("--origen va con --destino, que dice a qué sistema se lleva cada fichero");
    if (cl.settings.target && (given[0] || given[1] || given[2]))
        throw UsageError(std::string(given[0] ? "--sentido" : given[1] ? "--huso" : "--etiqueta") +
                         " no va con --destino: cada fichero va de su sistema al de --destino, y el de los que no "
                         "lo dicen se da con --origen");
    if (cl.settings.target && cl.settings.origin) cl.settings = tables::TowardTarget(cl.settings, *cl.settings.origin);
    if (c.zone != 0 && !cl.settings.target) {
        if (c.input == tables::InputForm::Geographic) throw UsageError("--huso es para puntos UTM y no va con --entrada=geo");
        c.input = tables::InputForm::Utm;
    }
    if (cl.raster.cog && !cl.several && !rasters::IsRasterFile(cl.input))
        throw UsageError("--formato=cog es para imágenes (GeoTIFF, JPEG, PNG, JPEG 2000, Imagine, ENVI, mallas)");
    // A run over several files checks these file by file.
    // A QGIS project takes --formato for the layers it reads.
    const bool layers = layers::IsLayerFile(cl.input) || cl.several || tables::WhatIs(cl.input).kind == tables::FileKind::Project;
    if (!layers && !cl.settings.layers.format.empty() && cl.settings.format == tables::Format::Text)
        throw UsageError("--formato=" + cl.settings.layers.format +
                         ": es un formato de capas, y la entrada no es una capa (Shapefile, GeoPackage, KML, "
                         "KMZ, GeoJSON, DXF, MapInfo, GML, FlatGeobuf, SpatiaLite o CSV con WKT)");
    if (!layers && cl.settings.format != tables::Format::Text && cl.settings.target && cl.settings.target->Ed50())
        throw UsageError("--formato=" + std::string(gps::FormatTitle(cl.settings.format)) +
                         ": GPX, KML y GeoJSON son WGS84, y --destino=" + tables::NameOf(*cl.settings.target) + " es ED50");
    if (!layers && cl.settings.format != tables::Format::Text && !cl.settings.target && c.direction != core::Direction::ED50ToWGS84)
        throw UsageError("--formato=" + std::string(gps::FormatTitle(cl.settings.format)) +
                         ": GPX, KML y GeoJSON son WGS84, y los resultados de wgs84-ed50 son ED50");
    tables::Outputs& o = cl.settings.outputs;
    if (!outputsGiven) {
        o.height = tables::HeightResultPossible(cl.settings);
        o.altitude = tables::AltitudeResultPossible(cl.settings);
    }
    if (o.height && !tables::TransformsHeight(c.method))
        throw UsageError("--salida=altura: la rejilla del IGN no transforma la altura");
    // Without a height column (a GPX or KML file brings its elevations) the column is
    // asked for as it is: empty for a table without heights.
    if (o.altitude && !cl.settings.layout.heightColumn.empty() && !tables::AltitudeResultPossible(cl.settings))
        throw UsageError("--salida=altitud: la rejilla del IGN no da altura sobre WGS84");
    return cl;
}

std::string_view MissingHint(tables::Missing missing) {
    return missing == tables::Missing::Zone      ? "; indique el huso con --huso (29, 30 o 31)"
           : missing == tables::Missing::Columns ? "; indique sus columnas con --columnas"
                                         : "";
}

std::string VersionLine() { return "talpor-lote " TALPOR_VERSION " (Talpor)"; }

std::string HelpText() {
    return R"(Uso: talpor-lote [OPCIÓN]... [ENTRADA [SALIDA]]
  o: talpor-lote [OPCIÓN]... CARPETA SALIDA
  o: talpor-lote [OPCIÓN]... ENTRADA... -o SALIDA
Convierte entre WGS84 y ED50 los puntos de un fichero de texto o CSV, de una hoja
de cálculo, de un fichero GPX o de una capa SIG, con los mismos cálculos y los
mismos textos que la ventana de Talpor. Cada fila conserva
sus columnas y recibe al final las del resultado y una columna Error, vacía si la
fila se convirtió. Sin ENTRADA, o con «-», lee la entrada estándar; sin SALIDA
escribe en la salida estándar. La salida se escribe con un nombre provisional y
se renombra al terminar; nunca sobre el fichero de entrada.

Conversión:
  -s, --sentido=SENTIDO    wgs84-ed50 (por omisión) o ed50-wgs84
  -m, --metodo=MÉTODO      helmert (por omisión): Bursa Wolf 7p con el juego
                           regional de cada punto (EST99, ZNW99 o BAL99);
                           molodensky-ign o molodensky-nima: Molodensky 3p;
                           rejilla: la rejilla oficial del IGN (NTv2), que
                           no transforma la altura
  -e, --entrada=FORMA      auto (por omisión): geográficas o UTM, fila a fila;
                           geo: solo geográficas; utm: solo UTM
      --huso=HUSO          29, 30 o 31: huso de los puntos UTM escritos solo con
                           Este y Norte (supone --entrada=utm)

Un proyecto entero a un sistema (sin --sentido, --huso ni --etiqueta):
      --destino=SISTEMA    el sistema al que va todo: etrs89-utm29,
                           etrs89-utm30, etrs89-utm31, etrs89-grados, los
                           mismos con wgs84 y con ed50 (ed50-utm30...). Cada
                           fichero, capa e imagen va desde el suyo: de ED50 a
                           ETRS89 (o al revés) por el método de -m, de un huso
                           a otro del mismo datum por la proyección sola; lo
                           que ya está en él se copia sin cambios
      --origen=SISTEMA     el sistema de lo que no dice el suyo (tablas, DXF,
                           shapefiles o imágenes sin .prj), con los mismos
                           nombres; sin él, esos ficheros se rechazan
  -j, --procesos=N         ficheros que se convierten a la vez en una carpeta
                           (por omisión, uno por núcleo; las imágenes grandes,
                           de una en una)

Columnas de la entrada:
  -c, --columnas=LISTA     columnas del punto, por número (desde 1) o por nombre
                           de la cabecera, separadas por comas: «2,3» (latitud y
                           longitud), «Huso,Este,Norte»; sin esta opción se busca
                           el punto en las primeras filas
  -a, --altura=COLUMNA     columna de la altura sobre el elipsoide (m), por
                           número o nombre, como la da un GPS en bruto o un
                           listado geodésico; con la celda vacía, el punto se
                           convierte a altura 0 y sus columnas de altura y
                           altitud quedan vacías
      --altitud=COLUMNA    columna de la altitud sobre el nivel del mar (m,
                           EGM08-REDNAP): la cota de un mapa o la altitud de un
                           GPS; se pasa a altura sobre el elipsoide por el
                           geoide (la rejilla la deja como está); fuera del
                           geoide el punto se convierte sin altura, con un aviso
      --sin-altura         ninguna columna de altura
                           (sin ninguna de las tres, la primera columna cuyo
                           nombre en la cabecera es de altura: Altitud, Cota,
                           Elevación, Elevation, ele, Alt, Z o H son altitudes
                           sobre el mar; h, Altura elipsoidal o Ellipsoidal
                           height, alturas sobre el elipsoide)
      --separador=SEP      «;», «,», tab o espacios; sin esta opción se averigua
      --cabecera           la primera fila nombra las columnas
      --sin-cabecera       la primera fila ya es un punto
                           (sin ninguna de las dos se averigua)

Resultado:
      --salida=FORMAS      columnas del resultado, separadas por comas:
                             gms         latitud y longitud como en la ventana
                                         (40º 25' 3,1234" N)
                             gd          latitud y longitud en grados decimales
                             gm          latitud y longitud en grados y minutos
                                         (N 40º 25,00820'), como los GPS
                             utm         huso, Este y Norte (m)
                             altura      altura sobre el elipsoide (m)
                             parametros  juego de parámetros o rejilla usados
                             altitud     altitud sobre el nivel del mar del
                                         punto WGS84 (m, geoide EGM08-REDNAP;
                                         vacía fuera del geoide)
                           por omisión gms,gd,utm,parametros, y con --altura
                           o --altitud también altura y altitud (con la rejilla no hay
                           altura transformada)
  -p, --punto              punto decimal en el resultado
      --coma               coma decimal en el resultado, como la ventana
                           (sin ninguna de las dos, el signo decimal de los
                           puntos de la entrada; coma para GPX y KML)
  -f, --formato=FORMATO    csv (o texto, por omisión): la tabla de la entrada
                           con las columnas del resultado; gpx, kml o geojson:
                           un punto por fila convertida, con el nombre de su
                           columna Nombre, Hito, Punto o Id, las demás columnas
                           como descripción o propiedades y la altitud como
                           elevación; las filas con error quedan como
                           comentario (o con la propiedad Error). Son WGS84:
                           solo con --sentido=ed50-wgs84
  -o, --destino=FICHERO    fichero de salida (lo mismo que SALIDA); con él,
                           todos los demás argumentos son entradas

Hojas de cálculo (.xlsx, .ods y .xls, por su extensión): cada hoja con puntos se
  lee como una tabla, sus celdas numéricas como los números que son, y sale en un
  libro del mismo tipo (un .xls, como .xlsx) con sus columnas y las del resultado;
  con SALIDA .csv o .txt, una tabla por hoja. Las hojas sin puntos se nombran.

Capas SIG (Shapefile, GeoPackage, KML, KMZ, GeoJSON, DXF, MapInfo TAB y MIF,
  GML, FlatGeobuf, SpatiaLite y CSV con una columna WKT, como lo escribe QGIS,
  por su extensión): se convierte cada vértice de cada geometría; cada entidad
  conserva atributos e identificador. El sistema se lee de la capa (ED50: EPSG 4230, 23029 a 23031;
  ETRS89: 4258, 25829 a 25831; WGS84: 4326, 32629 a 32631) y de él sale el
  sentido; una capa sin sistema (DXF, shapefile o CSV sin .prj) necesita
  --sentido y, en UTM, --huso. La salida es otra capa (formato de la entrada, de
  la extensión de SALIDA o de --formato: shp, gpkg, kml, kmz, geojson, dxf, tab,
  mif, gml, fgb, sqlite, csvwkt) o, con SALIDA .csv (salvo de un CSV con WKT),
  --formato=csv o la salida estándar, una fila por vértice; a la salida estándar
  va también una capa GeoJSON, KML o GPX. Una capa UTM sale en un solo huso, el
  suyo; con --huso, una capa con sistema sale en UTM de ese huso (también una en
  grados). GDAL la lee en un proceso aparte: lo que no puede leer se nombra y el
  estado es 1.
      --etiqueta=SISTEMA   etrs89 (por omisión) o wgs84: sistema del lado WGS84
                           en Shapefile, GeoPackage y DXF (las cifras son iguales)
      --omitir-fuera       deja fuera, y nombra, las entidades con algún vértice
                           fuera del área del método (sin ella, la conversión se
                           detiene)
      --z-elipsoidal       la Z es altura sobre el elipsoide (por omisión, altitud
                           sobre el mar); en KML manda altitudeMode
      --reemplazar         reemplaza los ficheros que la conversión escribe
                           además del de SALIDA (un shapefile por capa) si ya
                           existen (sin ella, se detiene sin escribir nada);
                           con una carpeta, también los ficheros de SALIDA

Imágenes (GeoTIFF, VRT, mallas ASCII .asc; JPEG y PNG con fichero de mundo .jgw,
.pgw o .wld; JPEG 2000 .jp2; Erdas Imagine .img; ENVI con su .hdr; mallas .bil,
.bip, .bsq con su .hdr; mallas XYZ .xyz; las teselas de un GeoPackage que no
tenga capas): se reconocen por su extensión o su contenido, y su sistema (ED50,
ETRS89 o WGS84, en grados o UTM 29 a 31) se convierte en su sentido. ECW y
MrSID no se leen: expórtelas a GeoTIFF o JPEG 2000. Se mueve su
georreferencia con los píxeles intactos cuando el método pone cada píxel a
menos de la tolerancia de donde la nueva georreferencia lo pone; si no, se
remuestrea por el método (vecino más próximo con paleta, bilineal si no es de
bytes, cúbica para fotos). El formato es el de la extensión de SALIDA (.tif,
.asc, .jpg, .png, .jp2, .img, .bil, .xyz), o el de la entrada (GeoTIFF para
las teselas de un GeoPackage).
      --tolerancia=PÍXELES distancia máxima, en píxeles, entre un píxel y donde
                           lo pone el método (por omisión 0,25)
      --remuestrear        remuestrea aunque los píxeles pudieran quedarse
      --remuestreo=MODO    vecino, bilineal, cubica, lanczos, media o moda
      --formato=cog        GeoTIFF optimizado para la nube

  -h, --help               muestra esta ayuda y termina
  -V, --version            muestra la versión y termina

Separadores, cabecera y codificación: «;», tabulador, «,» o blancos, con campos
entre comillas dobles como en CSV; la coma entre cifras es coma decimal
(«40,4168 -3,7038»). Un campo entre comillas puede tener saltos de línea: su
fila ocupa varias líneas y se numera por la primera. Unas comillas que abren un
campo y no se cierran en 50 líneas se leen como un carácter más. Se admite
UTF-8 con o sin BOM, y las filas que no son UTF-8 se leen como Latin-1
(Windows-1252): el byte 0xBA es «º». La salida está en UTF-8, o en
Windows-1252 si lo están las primeras filas de la entrada, con los finales
de línea de la entrada (CRLF o LF). Su separador es el de la entrada, salvo que
los blancos pasan a tabulador y la coma a «;» si el resultado lleva coma
decimal.

GPX: se reconoce por su contenido. Cada waypoint, punto de ruta y punto de
track es una fila con las columnas Elemento, Recorrido
(nombre de la ruta o del track), Tramo, Nombre, Latitud,
Longitud, Altitud, Fecha, Descripción, Comentario, Símbolo, Tipo, Fuente y
Enlace. Son WGS84, así que se convierten de
WGS84 a ED50, y su elevación es una altitud sobre el nivel del mar (una celda
vacía, sin altura); con las columnas de resultado por omisión salen también la
altura ED50 y la altitud. Un XML mal formado detiene la conversión con su línea
y columna; los errores de las filas nombran la línea de su elemento.

Formas del punto (en una columna o en varias seguidas):
  40.4168, -3.7038            40,4168 -3,7038          40.4168N 3.7038W
  40°25'0.5"N 3°42'13"W       N 40º 25' 00,5'' O 3º 42' 13''
  N40 25.008 W3 42.228        30T 440721 4474447       440721 4474447 30
La primera coordenada es la latitud salvo que una letra diga otra cosa. Los
valores se toman como los toman los campos de la ventana: segundos con 4
decimales, Este y Norte con 2 y altura con 1; latitud )" + text::LatitudeRangeText() + R"(,
longitud )" + text::LongitudeRangeText() + ", Este " + text::EastingRangeText() + R"(,
Norte )" + text::NorthingRangeText() + ", altura " + text::HeightRangeText() + R"(. Una fila
fuera de esos límites o del área del método queda con su error.

Carpetas y varios ficheros: con una CARPETA, o con varias ENTRADAS (ficheros o
carpetas) y -o, SALIDA es una carpeta, que se crea si falta. De cada carpeta y
sus subcarpetas se toman los ficheros que talpor-lote lee, por su extensión
(.csv, .txt, .tsv, .dat, .xlsx, .ods, .xls, .gpx, .shp, .gpkg, .kml, .kmz,
.geojson, .json, .dxf, .tab, .mif, .gml, .fgb, .sqlite, .tif, .tiff, .jpg, .jpeg,
.png, .qgs y .qgz; ni los ocultos ni los enlaces a carpetas, ni el .dat de un
.tab), y cada uno se convierte como solo,
con las mismas opciones, al mismo sitio dentro de SALIDA y con su nombre: con
--formato, con la extensión del formato; sin él, GPX, KML, KMZ y GeoJSON salen
como tabla .csv. Un fichero que no se puede convertir se nombra con el motivo y
se sigue con el siguiente; uno que ya existe en SALIDA no se reemplaza sin
--reemplazar. Nunca se escribe en una carpeta de entrada (SALIDA puede estar
dentro de una: no se lee). Cada fichero da su resumen, y la última línea cuenta
los convertidos, los que tienen errores y los rechazados.

Proyectos de QGIS: un .qgs o un .qgz de la carpeta se escribe después de sus
capas, leyendo los ficheros convertidos en su nuevo sistema; el sistema del
proyecto, la vista inicial, los marcadores, los mapas y cuadrículas de los
diseños de impresión y el elipsoide de las medidas se mueven con el mismo
método, y lo demás (estilos, etiquetas, grupos, variables) queda igual. Las
capas que no leen un fichero convertido (un servicio web, una base de datos, un
fichero de fuera de la carpeta) quedan como estaban, nombradas en el resumen.
Un proyecto solo (talpor-lote mapa.qgz SALIDA) se convierte con los ficheros de
su carpeta que lee.

Estado de salida: 0 si se convirtieron todas las filas, 1 si alguna quedó con
error, 2 si no se pudo convertir (opciones, entrada o salida). Los errores se
resumen en la salida de errores: «puntos.csv:17: minutos fuera de rango (75)».
Con una carpeta o varias entradas: 0 si todos los ficheros se convirtieron
enteros, 1 si alguno se rechazó o quedó con errores, 2 si no se convirtió
ninguno.

Ejemplos:
  talpor-lote puntos.csv puntos-ed50.csv
      WGS84 a ED50 con Helmert; busca separador, cabecera y columnas del punto.
  talpor-lote -s ed50-wgs84 --huso=30 -c Este,Norte --altitud=Cota hitos.csv -o hitos84.csv
      Hitos ED50 en UTM 30, con la cota del mapa en la columna Cota, a WGS84.
  talpor-lote -m molodensky-ign --salida=utm --punto < ruta.txt > ruta-utm.txt
      Los puntos de una ruta a UTM ED50 con Molodensky (juego IGN), con punto
      decimal, de la entrada estándar a la salida estándar.
  talpor-lote --destino=etrs89-utm30 --origen=ed50-utm30 -m rejilla proyecto proyecto-etrs89
      Un proyecto entero a ETRS89 UTM 30 con la rejilla: cada capa desde su
      sistema; las tablas y los DXF, que no lo dicen, desde ED50 UTM 30.
  talpor-lote -s ed50-wgs84 -m rejilla vertices.txt vertices84.txt
      Vértices ED50 a WGS84 con la rejilla oficial del IGN.
  talpor-lote --salida=utm,altura ruta.gpx ruta-ed50.csv
      Un track de GPS a UTM ED50, con la altura de cada punto.
  talpor-lote -s ed50-wgs84 --huso=30 --altitud=Cota --formato=gpx hitos.csv -o hitos.gpx
      Hitos ED50 a waypoints de GPS (también kml para un visor de globo).
  talpor-lote -m rejilla montes.shp montes-etrs89.shp
      Rodales ED50 UTM 30 a ETRS89 UTM 30 (EPSG 25830) con la rejilla del IGN.
  talpor-lote -m rejilla proyecto/ proyecto-etrs89/
      Las capas ED50 de una carpeta y sus subcarpetas a ETRS89, en otra carpeta
      con los mismos nombres.
  talpor-lote --formato=gpkg rios.shp lagos.kml -o capas/
      Dos capas a GeoPackage: capas/rios.gpkg y capas/lagos.gpkg.
  talpor-lote --destino=etrs89-utm30 -m rejilla obra/mapa.qgz obra-etrs89/
      Un proyecto de QGIS en ED50 y las capas de su carpeta, a ETRS89 UTM 30.
)";
}

}  // namespace batch
