// "Convertir fichero…" in the window: a file converted as talpor-lote converts it, chosen
// on one dialog, a summary at the end, and a cancelled or failed run that leaves no file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "app/frmTalpor.h"
#include "batch/CommandLine.h"
#include "tables/TextTable.h"
#include "num/Number.h"
#include "convert/FileDialog.h"
#include "support/FakePlatform.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

using testing_support::ReadFile;
using Changed = std::function<form::DialogEnd(form::Control&)>;

struct Started {
    testing_support::FakePlatform platform;
    app::frmTalpor window{platform};
    Started() { window.Form_Load(); }
    // Opens "Convertir fichero…" on `file` and plays `user` on its dialog, which then
    // presses "Convertir"; `shown` sees the dialog as it was left.
    void Convert(int tab, const std::string& file, const std::function<void(form::FormModel&, const Changed&)>& user,
                 const std::function<void(form::FormModel&)>& shown = {}) {
        platform.fileNames.push_back(file);
        platform.dialog = [&](form::FormModel& m, const Changed& changed) {
            user(m, changed);
            if (shown) shown(m);
            return changed(m.Get("CmdConvertir")) == form::DialogEnd::Accept;
        };
        window.ChangeTab(tab);
        window.Click("CmdFichero", tab);
    }
};

// The user picks the item of a list that starts with `item`, ticks a box, types a field.
void Pick(form::FormModel& m, const Changed& changed, const char* name, std::string_view item) {
    form::Control& c = m.Get(name);
    for (std::size_t i = 0; i < c.items.size(); ++i)
        if (c.items[i].starts_with(item)) c.listIndex = static_cast<int>(i);
    changed(c);
}
void Set(form::FormModel& m, const Changed& changed, const char* name, int index, bool value) {
    m.Get(name, index).value = value;
    changed(m.Get(name, index));
}
void Type(form::FormModel& m, const Changed& changed, const char* name, const std::string& text) {
    m.Get(name).text = text;
    changed(m.Get(name));
}

}  // namespace

TEST(FileConversion, ConvertsTheChosenFileAndSumsItUp) {
    testing_support::TempFolder folder;
    const std::string in = (folder.path / "puntos.csv").string();
    testing_support::WriteFile(in, "Punto;Latitud;Longitud\nA;40.4166667;-3.7\nB;40 75 0 N;3 42 0 W\nC;38.5;-1.5\n");
    const std::string out = (folder.path / "puntos_ED50.csv").string();
    Started s;
    s.Convert(0, in, [](form::FormModel&, const Changed&) {}, [](form::FormModel& m) {
        // The preview heads each column with its part; the destination is offered.
        EXPECT_TRUE(m.Get("LblPrevia").text.starts_with("[1]    [2 punto]   [3 punto]\nPunto  Latitud     Longitud\n"));
        EXPECT_EQ(m.Get("LblFormato").text, "Separador «;» · cabecera en la fila 1 · punto en columnas 2 y 3");
        EXPECT_EQ(m.Get("LblEscribe").text, "Escribirá una tabla, la del fichero con las columnas ED50 elegidas: «puntos_ED50.csv»");
    });
    const std::string written = ReadFile(out);
    EXPECT_NE(written.find("A;40.4166667;-3.7;"), std::string::npos) << written;
    EXPECT_NE(written.find("fila 3: minutos fuera de rango (75)"), std::string::npos) << written;
    EXPECT_EQ(s.platform.OnlyBox("Convertir fichero", form::MsgIcon::Exclamation),
              "2 filas convertidas, 1 con error.\r\n\r\nResultado: " + out +
                  "\r\n\r\nLas filas con error siguen en su sitio, con el motivo en la columna "
                  "Error:\r\npuntos.csv:3: minutos fuera de rango (75)");
    EXPECT_FALSE(s.platform.progressOpen);

    // A file under the destination's name is replaced only when the user says so, asked
    // with its name and date and "No" as the default, whichever way the name was given.
    testing_support::WriteFile(out, "MIS DATOS, NO BORRAR\n");
    std::tm when{};
    when.tm_year = 2025 - 1900, when.tm_mon = 2, when.tm_mday = 9, when.tm_hour = 8, when.tm_min = 7, when.tm_sec = 6;
    when.tm_isdst = -1;
    const utimbuf times{std::mktime(&when), std::mktime(&when)};
    ASSERT_EQ(::utime(out.c_str(), &times), 0);
    s.platform.msgBoxes.clear();
    s.Convert(0, in, [&](form::FormModel& m, const Changed& changed) { Type(m, changed, "TxtDestino", out); });
    EXPECT_EQ(ReadFile(out), "MIS DATOS, NO BORRAR\n");
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.msgBoxes[0].text, "«puntos_ED50.csv» ya existe (modificado el 09/03/2025 a las 08:07:06)."
                                           "\r\n¿Quiere reemplazarlo por el resultado de la conversión?");
    EXPECT_TRUE(s.platform.msgBoxes[0].buttons == form::MsgButtons::YesNo &&
                s.platform.msgBoxes[0].defaultButton == form::MsgResult::No);
    s.platform.answer = form::MsgResult::Yes;

    // The grid names itself in the set column; the next time the folder, the method and
    // the result columns are offered again.
    s.Convert(0, in, [](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbMetodo", "Rejilla");
        Set(m, changed, "ChkSalida", 1, false);
    });
    // The input's decimal points in the results.
    EXPECT_NE(ReadFile(out).find("A;40.4166667;-3.7;40º 25' 4.2"), std::string::npos) << ReadFile(out);
    EXPECT_NE(ReadFile(out).find(";30T;440722.14;4474447.50;SPED2ETV2;"), std::string::npos) << ReadFile(out);
    s.platform.fileNames = {in};
    s.platform.dialog = [](form::FormModel& m, const Changed&) {
        EXPECT_EQ(m.Get("CmbMetodo").listIndex, 3);
        EXPECT_FALSE(m.Get("ChkSalida", 1).value);
        return false;
    };
    s.window.Click("CmdFichero", 0);
    EXPECT_EQ(s.platform.openedIn, (std::vector<std::string>{"", folder.Str() + "/", folder.Str() + "/", folder.Str() + "/"}));

    // What cannot be run is said on the dialog, in its own words, and "Convertir" waits.
    Started noGrid;
    noGrid.platform.dataFolder = folder.Str();
    const std::string geo = (folder.path / "geo.txt").string();
    testing_support::WriteFile(geo, "uno dos\ntres cuatro\n");
    const struct {
        std::string file, method, destination, problem;
    } refused[] = {
        {in, "Rejilla", out, "No se encuentra la rejilla"},
        {in, "Bursa", in, "El destino es el propio fichero de puntos: elija otro."},
        {geo, "Bursa", out, "no se encuentra ningún punto en las 2 primeras filas: escriba en «Columnas del punto»"},
    };
    for (const auto& r : refused) {
        noGrid.Convert(0, r.file, [&](form::FormModel& m, const Changed& changed) {
            Pick(m, changed, "CmbMetodo", r.method);
            Type(m, changed, "TxtDestino", r.destination);
            EXPECT_TRUE(m.Get("LblAviso").text.starts_with(r.problem)) << m.Get("LblAviso").text;
            EXPECT_FALSE(m.Get("CmdConvertir").enabled);
        });
    }
    EXPECT_TRUE(noGrid.platform.msgBoxes.empty());

    // Cancelled in the progress window, or a fault in it: no file, the progress window
    // closed, and the user is told.
    for (const int cancelAfter : {0, -2}) {
        Started t;
        t.platform.cancelProgressAfter = cancelAfter;
        t.platform.failProgress = cancelAfter == -2;
        t.Convert(1, in, [&](form::FormModel& m, const Changed& changed) {
            Type(m, changed, "TxtDestino", (folder.path / "fallo.csv").string());
        });
        EXPECT_TRUE(t.platform.OnlyBox(cancelAfter == 0 ? "Convertir fichero" : "Talpor Error",
                                       cancelAfter == 0 ? form::MsgIcon::Information : form::MsgIcon::Critical)
                        .starts_with(cancelAfter == 0 ? "Conversión cancelada: no se ha escrito ningún fichero."
                                                      : "Ha ocurrido un error en frmTalpor.CmdFichero_Click"));
        EXPECT_FALSE(t.platform.progressOpen);
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& f : fs::directory_iterator(folder.path)) ++files;
    EXPECT_EQ(files, 3u);  // the inputs and the output: no temporary file left
}

// A Spanish spreadsheet's export (Windows-1252, decimal commas, CRLF) with its summits'
// altitudes, converted with no choice made: the altitude is taken as one, and the file
// comes back as it came. PROJ 9.1.1 with the shipped geoid (vgridshift +multiplier=1,
// h = H + N) and EST99's Helmert puts the two points on ED50 at 2410.2256 and 629.1529 m.
TEST(FileConversion, ASpreadsheetsAltitudesAreTakenAsAltitudesAndComeBackAsTheyCame) {
    testing_support::TempFolder folder;
    const std::string in = (folder.path / "cumbres.csv").string();
    testing_support::WriteFile(in, "Nombre;Latitud;Longitud;Altitud (m);Observaciones\r\n"
                                   "Pe\xF1" "alara;40,8502;-3,9557;2428,0;Cumbre m\xE1s alta\r\n"
                                   "V\xE9rtice Sol;40,4168;-3,7038;650,0;Kil\xF3metro cero\r\n");
    Started s;
    s.Convert(0, in, [](form::FormModel&, const Changed&) {}, [](form::FormModel& m) {
        EXPECT_TRUE(m.Get("LblFormato").text.ends_with(" · altitud en columna 4 («Altitud (m)», por su nombre)"))
            << m.Get("LblFormato").text;
    });
    const std::string out = ReadFile(folder.path / "cumbres_ED50.csv");
    EXPECT_NE(out.find("\r\nV\xE9rtice Sol;40,4168;-3,7038;650,0;Kil\xF3metro cero;40\xBA 25' 4,7284\" N;"),
              std::string::npos) << out;
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) tables::SplitFields(line, tables::Separator::Semicolon, rows.emplace_back());
    ASSERT_EQ(rows.size(), 3u);
    const auto column = [&](const char* name) {
        return std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin();
    };
    const double proj[] = {2410.2256, 629.1529}, typed[] = {2428.0, 650.0};
    for (int i = 0; i < 2; ++i) {
        const std::string& height = rows[i + 1][column("Altura ED50")];
        ASSERT_NE(height.find(','), std::string::npos) << height;
        EXPECT_NEAR(std::stod(std::string(height).replace(height.find(','), 1, ".")), proj[i], 0.05);
        EXPECT_EQ(rows[i + 1][column("Altitud WGS84 (EGM08-REDNAP)")], num::Format(typed[i], "0.0"));
    }
}

// A surveyor's list of eastings, northings and map heights without a zone: the zone and
// the Cota column set on the dialog give talpor-lote's settings and talpor-lote's file.
TEST(FileConversion, TheDialogsChoicesAreTalporLotesOptions) {
    testing_support::TempFolder folder;
    const std::string hitos = (folder.path / "hitos.csv").string();
    fs::copy_file(TALPOR_SOURCE_DIR "/docs/ejemplos/hitos.csv", hitos);
    const std::string out = (folder.path / "hitos_WGS84.csv").string();
    const std::string lote = (folder.path / "lote.csv").string();
    const std::string options = "--sentido=ed50-wgs84 --huso=30 --altitud=Cota --punto";
    Started s;
    s.Convert(1, hitos, [&](form::FormModel& m, const Changed& changed) {
        EXPECT_TRUE(m.Get("CmbHuso").enabled);
        EXPECT_EQ(m.Get("CmbHuso").ListText(), "30");  // the tab's
        // The cota is found by its name, an altitude.
        EXPECT_EQ(m.Get("LblFormato").text,
                  "Separador «;» · cabecera en la fila 1 · punto en columnas 2 y 3 (Este y Norte sin huso: elija el "
                  "huso abajo) · altitud en columna 4 («Cota», por su nombre)");
        EXPECT_EQ(m.Get("CmbAltura").ListText() + (m.Get("OptAltura", 1).value ? " altitud" : ""), "4: Cota altitud");
        EXPECT_TRUE(m.Get("ChkSalida", 5).enabled);
        Pick(m, changed, "CmbDecimal", "Punto");
        EXPECT_EQ(m.Get("LblOrden").text, "Orden equivalente: talpor-lote --sentido=ed50-wgs84 --metodo=helmert "
                                          "--huso=30 --altitud=Cota --salida=gms,gd,utm,altura,altitud,parametros "
                                          "--punto hitos.csv -o hitos_WGS84.csv");
    });
    ASSERT_EQ(std::system(("'" TALPOR_LOTE "' " + options + " " + hitos + " -o " + lote + " 2>/dev/null").c_str()), 0);
    EXPECT_EQ(ReadFile(out), ReadFile(lote));
    EXPECT_NE(ReadFile(out).find("H-01;440721,00;4474447,00;650,2;40º 24' 59.9877\" N;"), std::string::npos)
        << ReadFile(out);

    // The landmarks as waypoints; a GPS track, which is WGS84, on the other tab.
    s.Convert(1, hitos, [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbFormato", "GPX");
        EXPECT_EQ(m.Get("TxtDestino").text, folder.Str() + "/hitos_WGS84.gpx");
    });
    ASSERT_EQ(std::system(("'" TALPOR_LOTE "' " + options + " --formato=gpx " + hitos + " -o " + lote + " 2>/dev/null").c_str()), 0);
    EXPECT_EQ(ReadFile(folder.path / "hitos_WGS84.gpx"), ReadFile(lote));
    const std::string track = (folder.path / "ruta.gpx").string();
    testing_support::WriteFile(track, "<gpx><trk><trkseg><trkpt lat=\"40.4168\" lon=\"-3.7038\"><ele>650</ele></trkpt>"
                                      "</trkseg></trk></gpx>");
    s.Convert(1, track, [&](form::FormModel& m, const Changed&) {
        EXPECT_EQ(m.Get("LblAviso").text, "Los ficheros GPX son WGS84: conviértalo en la pestaña «WGS84 -> ED50».");
    });
    s.Convert(0, track, [&](form::FormModel& m, const Changed&) {
        EXPECT_FALSE(m.Get("CmbAltura").enabled);
        EXPECT_TRUE(m.Get("LblOrden").text.starts_with("Orden equivalente: talpor-lote --sentido=wgs84-ed50 "
                                                       "--metodo=helmert --salida=gms,gd,utm,altura,altitud,p"));
    });
    ASSERT_EQ(std::system(("'" TALPOR_LOTE "' --salida=gms,gd,utm,altura,altitud,parametros --punto " + track + " -o " +
                           lote + " 2>/dev/null").c_str()), 0);
    EXPECT_EQ(ReadFile(folder.path / "ruta_ED50.csv"), ReadFile(lote));

    // The same choices are the same settings, and they are offered again the next time.
    std::vector<std::string> args = {"--sentido=ed50-wgs84", "--huso=30", "--altitud=Cota",
                                     "--salida=gms,gd,utm,altura,altitud,parametros", "--punto", hitos};
    const tables::Settings fromCommandLine = batch::ParseCommandLine(args).settings;
    core::Grids grids(TALPOR_DATA_DIR, "");
    convert::FileDialog again(s.platform, grids, core::Direction::ED50ToWGS84, 30, hitos);
    tables::Settings fromDialog = again.Settings();
    EXPECT_TRUE(again.Model().Get("OptAltura", 1).value);
    EXPECT_EQ(again.Model().Get("CmbAltura").ListText(), "4: Cota");
    fromDialog.conversion.grids = nullptr;
    EXPECT_TRUE(fromDialog == fromCommandLine);

    // An index past a list's items (the window's lists send none) reads as its first item.
    for (const char* list : {"CmbSeparador", "CmbCabecera", "CmbMetodo", "CmbFormato", "CmbDecimal"}) {
        again.Model().Get(list).listIndex = 99;
        again.Changed(again.Model().Get(list));
    }
    EXPECT_EQ(again.Arguments()[1], "--metodo=helmert");
}

// A forester's shapefile from the window: the dialog lists its layer and system, and the
// stands come out as talpor-lote gives them, ETRS89 UTM 30; cancelled half way, nothing of
// the output is left, however many files a shapefile is.
TEST(FileConversion, AShapefileIsConvertedFromTheWindowAsTalporLoteDoes) {
    testing_support::TempFolder folder;
    std::string csv = "WKT,rodal\n";
    for (int i = 0; i < 1000; ++i) {
        const int e = 430000 + 20 * i, n = 4470000 + 10 * i;
        csv += "\"POLYGON ((" + std::to_string(e) + " " + std::to_string(n) + "," + std::to_string(e + 15) + " " +
               std::to_string(n) + "," + std::to_string(e) + " " + std::to_string(n + 9) + "," + std::to_string(e) + " " +
               std::to_string(n) + "))\",R-" + std::to_string(i) + "\n";
    }
    testing_support::WriteFile(folder.path / "montes.csv", csv);
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && ogr2ogr -f 'ESRI Shapefile' montes.shp montes.csv -oo "
                           "GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:23030 > /dev/null 2>&1")
                              .c_str()),
              0);
    const std::string in = (folder.path / "montes.shp").string();
    Started s;
    s.Convert(1, in, [&](form::FormModel& m, const Changed& changed) {
        EXPECT_EQ(m.Get("LblPrevia").text, "Capa «montes»: polígonos, 1.000 entidades, 4.000 vértices; ED50 UTM 30 (EPSG:23030)");
        EXPECT_EQ(m.Get("CmbHuso").items.front(), "Como la entrada: UTM 30");
        EXPECT_EQ(m.Get("CmbHuso").listIndex, 0);
        // To a globe viewer: WGS84 degrees, whatever the zone list says, which is off.
        Pick(m, changed, "CmbFormato", "KML");
        EXPECT_FALSE(m.Get("CmbHuso").enabled);
        EXPECT_EQ(m.Get("LblEscribe").text, "Escribirá KML en WGS84 geográficas (EPSG:4326): «montes_WGS84.kml»");
        Pick(m, changed, "CmbFormato", "El de la capa");
        Pick(m, changed, "CmbMetodo", "Rejilla");
        EXPECT_EQ(m.Get("TxtDestino").text, folder.Str() + "/montes_WGS84.shp");
        EXPECT_EQ(m.Get("LblOrden").text,
                  "Orden equivalente: talpor-lote --sentido=ed50-wgs84 --metodo=rejilla montes.shp -o montes_WGS84.shp");
    });
    EXPECT_TRUE(s.platform.OnlyBox("Convertir fichero", form::MsgIcon::Information)
                    .starts_with("Capa «montes»: 1.000 entidades, 4.000 vértices convertidos, de ED50 UTM 30 (EPSG:23030) "
                                 "a ETRS89 UTM 30 (EPSG:25830)."));
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && '" TALPOR_LOTE "' -s ed50-wgs84 -m rejilla montes.shp lote.shp "
                           "2> /dev/null").c_str()),
              0);
    EXPECT_EQ(ReadFile(folder.path / "montes_WGS84.shp"), ReadFile(folder.path / "lote.shp"));
    EXPECT_EQ(ReadFile(folder.path / "montes_WGS84.prj"), ReadFile(folder.path / "lote.prj"));
    // Another format, chosen in the dialog: the destination follows it, and a name typed
    // without its extension still gets the format chosen.
    s.Convert(1, in, [&](form::FormModel& m, const Changed& changed) { Pick(m, changed, "CmbFormato", "GeoPackage"); });
    EXPECT_EQ(ReadFile(folder.path / "montes_WGS84.gpkg").substr(0, 15), "SQLite format 3");
    s.Convert(1, in, [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbFormato", "GeoPackage");
        Type(m, changed, "TxtDestino", (folder.path / "rodales").string());
    });
    EXPECT_EQ(ReadFile(folder.path / "rodales").substr(0, 15), "SQLite format 3");

    // A Google Earth file is WGS84: on the other tab it is sent to this one, and here it
    // becomes a table of ED50 rows, since KML cannot hold ED50.
    const std::string kml = (folder.path / "ruta.kml").string();
    testing_support::WriteFile(kml, "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><Placemark><name>Ruta"
                                    "</name><LineString><coordinates>-3.95,40.85,0 -3.96,40.86,0</coordinates>"
                                    "</LineString></Placemark></Document></kml>");
    s.Convert(1, kml, [&](form::FormModel& m, const Changed&) {
        EXPECT_EQ(m.Get("LblAviso").text, "La capa «ruta» está en WGS84 geográficas (EPSG:4326): conviértala en la "
                                          "pestaña «WGS84 -> ED50».");
        EXPECT_FALSE(m.Get("CmdConvertir").enabled);
    });
    s.Convert(0, kml, [&](form::FormModel& m, const Changed& changed) {
        EXPECT_EQ(m.Get("CmbFormato").ListText(), "CSV (una fila por vértice)");
        EXPECT_EQ(m.Get("TxtDestino").text, folder.Str() + "/ruta_ED50.csv");
        Pick(m, changed, "CmbFormato", "KMZ");
        EXPECT_EQ(m.Get("LblAviso").text, "KMZ es WGS84 y el resultado es ED50: elija en «Formato» Shapefile, "
                                          "GeoPackage, DXF, MapInfo, GML, FlatGeobuf, SpatiaLite o CSV.");
        Pick(m, changed, "CmbFormato", "CSV");
    });
    const std::string rows = ReadFile(folder.path / "ruta_ED50.csv");
    EXPECT_NE(rows.find("ruta;1;1;0;2;Ruta;"), std::string::npos) << rows;

    Started t;
    t.Convert(1, in, [&](form::FormModel& m, const Changed& changed) {
        // At the run's first count of features, however soon GDAL is done: the window's first
        // call opens the progress, the next comes from the reading.
        t.platform.cancelProgressAfter = 1;
        Type(m, changed, "TxtDestino", (folder.path / "cancelado.shp").string());
    });
    EXPECT_EQ(t.platform.OnlyBox("Convertir fichero", form::MsgIcon::Information),
              "Conversión cancelada: no se ha escrito ningún fichero.");
    for (const auto& e : fs::directory_iterator(folder.path)) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name.find("cancelado") == std::string::npos) << name;
    }

    // A file GDAL would crash on: the dialog says why and the window goes on. A layer written
    // beside the one named where the user has a file of that name: asked before, and
    // "No" (the default) leaves it and writes nothing.
    const std::string track = (folder.path / "track.kml").string();
    testing_support::WriteFile(track, "<kml xmlns=\"http://www.opengis.net/kml/2.2\" xmlns:gx=\"http://www.google.com/kml/"
                                      "ext/2.2\"><Document><Placemark><gx:Track><when>2024-05-01T10:00:00Z</when><gx:coord>"
                                      "-3.7 40.4 650</gx:coord><gx:coord>-3.701 40.401 655</gx:coord></gx:Track>"
                                      "</Placemark></Document></kml>");
    Started u;
    u.Convert(0, track, [&](form::FormModel& m, const Changed&) {
        EXPECT_TRUE(m.Get("LblAviso").text.starts_with(
            "«track.kml» no se puede convertir: no se puede leer como capa: el gx:Track de la línea 1 de track.kml"))
            << m.Get("LblAviso").text;
        EXPECT_FALSE(m.Get("CmdConvertir").enabled);
    });
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && ogr2ogr -f GPKG dos.gpkg montes.shp -nln rodales && ogr2ogr "
                           "-update dos.gpkg montes.shp -nln Recorridos && cp montes.shp Recorridos.shp").c_str()),
              0);
    u.Convert(1, (folder.path / "dos.gpkg").string(), [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbFormato", "Shapefile");
        Type(m, changed, "TxtDestino", (folder.path / "x.shp").string());
    });
    ASSERT_EQ(u.platform.msgBoxes.size(), 2u);
    EXPECT_EQ(u.platform.msgBoxes[0].text, "La conversión escribe también, junto a «x.shp», estos ficheros, que ya "
                                           "existen:\r\nRecorridos.shp\r\n\r\n¿Quiere reemplazarlos?");
    EXPECT_EQ(u.platform.msgBoxes[0].defaultButton, form::MsgResult::No);
    EXPECT_EQ(u.platform.msgBoxes[1].text, "No se ha podido convertir «dos.gpkg»: no se ha reemplazado «Recorridos.shp»"
                                           "\r\nNo se ha escrito ningún fichero.");
    EXPECT_EQ(ReadFile(folder.path / "Recorridos.shp"), ReadFile(folder.path / "montes.shp"));
    EXPECT_FALSE(fs::exists(folder.path / "x.shp"));

    // A shapefile cut short: what GDAL could not read is named, under a warning's icon.
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && for e in shp shx prj; do cp montes.$e corto.$e; done && "
                           "head -c -1000 montes.dbf > corto.dbf").c_str()),
              0);
    Started v;
    v.Convert(1, (folder.path / "corto.shp").string(), [&](form::FormModel&, const Changed&) {});
    ASSERT_EQ(v.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(v.platform.msgBoxes[0].icon, form::MsgIcon::Exclamation);
    EXPECT_NE(v.platform.msgBoxes[0].text.find("Lo que GDAL no ha podido leer:\r\ncapa «corto», registros "),
              std::string::npos)
        << v.platform.msgBoxes[0].text;

    // The reading of a file for the dialog, cancelled: said in the dialog, nothing converted.
    // A pipe no one writes to keeps GDAL reading for as long as it takes the progress to show
    // and its Cancel to be pressed, however fast the machine.
    ASSERT_EQ(::mkfifo((folder.path / "lenta.geojson").c_str(), 0600), 0);
    Started w;
    w.platform.cancelProgressAfter = 0;
    w.Convert(1, (folder.path / "lenta.geojson").string(), [&](form::FormModel& m, const Changed&) {
        EXPECT_EQ(m.Get("LblAviso").text, "Lectura de «lenta.geojson» cancelada: elija el fichero otra vez para verlo.");
        EXPECT_FALSE(m.Get("CmdConvertir").enabled);
    });
}

// An ED50 orthophoto from the window: planned before converting (its size, pixel, bands,
// system and way), written as talpor-lote writes it, and a cancel half way through its
// resampling leaves nothing.
TEST(FileConversion, AnOrthophotoIsConvertedFromTheWindowAsTalporLoteDoes) {
    testing_support::TempFolder folder;
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && gdal_create -q -of GTiff -outsize 3000 2000 -bands 3 -burn 90 -burn 140 "
                           "-burn 60 -a_srs EPSG:23030 -a_ullr 440000 4480000 441500 4479000 -co TILED=YES orto.tif")
                              .c_str()),
              0);
    const std::string in = (folder.path / "orto.tif").string();
    Started s;
    s.Convert(1, in, [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbMetodo", "Rejilla");
        EXPECT_EQ(m.Get("FraPrevia").text, "Imagen");
        EXPECT_EQ(m.Get("LblPrevia").text,
                  "Imagen de 3.000 × 2.000 píxeles de 0,5 m, 3 bandas Byte; ED50 UTM 30 (EPSG:23030)\n"
                  "A ETRS89 UTM 30 (EPSG:25830): píxeles intactos, georreferencia movida\n"
                  "Cada píxel, a lo sumo a 0,009 m (0,017 píxeles) de donde lo pone el método");
        EXPECT_EQ(m.Get("CmbHuso").ListText(), "Como la entrada: UTM 30");
        // Only what applies to an image is shown, and the file is named by the datum written.
        for (const char* name : {"CmbSeparador", "TxtColumnas", "CmbAltura", "CmbDecimal", "ChkSalida"})
            EXPECT_FALSE(m.Get(name, std::string(name) == "ChkSalida" ? 0 : -1).visible) << name;
        EXPECT_EQ(m.Get("LblEtiqueta").text + " " + m.Get("CmbEtiqueta").ListText(), "Sistema de la salida: ETRS89 (EPSG 4258, 25829 a 25831)");
        Pick(m, changed, "CmbEtiqueta", "WGS84");
        EXPECT_EQ(m.Get("TxtDestino").text, folder.Str() + "/orto_WGS84.tif");
        Pick(m, changed, "CmbEtiqueta", "ETRS89");
        EXPECT_EQ(m.Get("LblOrden").text,
                  "Orden equivalente: talpor-lote --sentido=ed50-wgs84 --metodo=rejilla orto.tif -o orto_ETRS89.tif");
        EXPECT_EQ(m.Get("LblEscribe").text, "Escribirá en ETRS89 UTM 30 (EPSG:25830): «orto_ETRS89.tif»");
        // An elevation model's format, which holds one band: said before converting.
        Pick(m, changed, "CmbFormato", "Malla ASCII");
        EXPECT_EQ(m.Get("TxtDestino").text, folder.Str() + "/orto_ETRS89.asc");
        EXPECT_EQ(m.Get("LblAviso").text,
                  "«orto.tif» no se puede convertir: una malla ASCII tiene una sola banda, y la imagen tiene 3 bandas: GeoTIFF o PNG sí.");
        Pick(m, changed, "CmbFormato", "El de la imagen");
        // Into the next zone, and back.
        Pick(m, changed, "CmbHuso", "UTM 31");
        EXPECT_NE(m.Get("LblPrevia").text.find("A ETRS89 UTM 31 (EPSG:25831): píxeles intactos, georreferencia movida y girada"),
                  std::string::npos)
            << m.Get("LblPrevia").text;
        Pick(m, changed, "CmbHuso", "Como la entrada");
    });
    EXPECT_TRUE(s.platform.OnlyBox("Convertir fichero", form::MsgIcon::Information)
                    .starts_with("Imagen de 3.000 × 2.000 píxeles, 3 bandas Byte; ED50 UTM 30 (EPSG:23030) a ETRS89 UTM 30 "
                                 "(EPSG:25830): píxeles intactos"));
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && '" TALPOR_LOTE "' --sentido=ed50-wgs84 --metodo=rejilla orto.tif -o "
                           "lote.tif 2> /dev/null").c_str()),
              0);
    EXPECT_EQ(ReadFile(folder.path / "orto_ETRS89.tif"), ReadFile(folder.path / "lote.tif"));
    // A cloud-optimised GeoTIFF chosen in the dialog is what is written.
    Started c;
    c.Convert(1, in, [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbMetodo", "Rejilla");
        Pick(m, changed, "CmbFormato", "GeoTIFF optimizado");
        Type(m, changed, "TxtDestino", (folder.path / "cog.tif").string());
    });
    EXPECT_NE(c.platform.OnlyBox("Convertir fichero", form::MsgIcon::Information)
                  .find("píxeles intactos, escritos de nuevo en GeoTIFF optimizado para la nube"),
              std::string::npos);
    fs::remove(folder.path / "cog.tif");

    Started t;
    t.platform.cancelProgressAt = [](const std::string& text) {
        return text.find(" filas de píxeles") != std::string::npos && text.find("… 0 de") == std::string::npos;
    };
    t.Convert(1, in, [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbMetodo", "Rejilla");
        m.Get("ChkRemuestrear").value = true;
        changed(m.Get("ChkRemuestrear"));
        Type(m, changed, "TxtDestino", (folder.path / "cancelada.tif").string());
        EXPECT_NE(m.Get("LblPrevia").text.find("se remuestreará por el método (cúbica), a la resolución de la entrada, como se pide"),
                  std::string::npos)
            << m.Get("LblPrevia").text << m.Get("LblAviso").text;
    });
    EXPECT_EQ(t.platform.OnlyBox("Convertir fichero", form::MsgIcon::Information),
              "Conversión cancelada: no se ha escrito ningún fichero.");
    for (const auto& e : fs::directory_iterator(folder.path))
        EXPECT_TRUE(e.path().filename() == "orto.tif" || e.path().filename() == "orto_ETRS89.tif" ||
                    e.path().filename() == "lote.tif")
            << e.path();

    // An image whose pixels have no size is refused in the dialog as talpor-lote refuses it.
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && gdal_create -q -of GTiff -outsize 10 10 -a_srs EPSG:23030 -a_ullr "
                           "440000 4480000 440000 4480000 cero.tif && ! '" TALPOR_LOTE "' -s ed50-wgs84 cero.tif -o x.tif 2> lote.txt")
                              .c_str()),
              0);
    // So is a file named as a table that is none (a PDF), with talpor-lote's sentence.
    testing_support::WriteFile(folder.path / "plano.csv", "%PDF-1.4\n");
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && ! '" TALPOR_LOTE "' -s ed50-wgs84 plano.csv x.csv 2>> lote.txt").c_str()), 0);
    const std::string lote = ReadFile(folder.path / "lote.txt");
    for (const std::string name : {"cero.tif", "plano.csv"}) {
        const std::size_t at = lote.find("talpor-lote: " + name + ": ") + 15 + name.size();
        const std::string why = lote.substr(at, lote.find('\n', at) - at);
        Started z;
        z.Convert(1, (folder.path / name).string(), [&](form::FormModel& m, const Changed&) {
            EXPECT_EQ(m.Get("LblAviso").text, "«" + name + "» no se puede convertir: " + why + ".");
        });
        EXPECT_TRUE(z.platform.msgBoxes.empty()) << z.platform.LastMsgBox().text;
    }

    // A pipe no one writes to, as an image or as a table, is refused at once: the window
    // never waits on it.
    for (const auto& [name, warning] :
         {std::pair{"tuberia.tif", "«tuberia.tif» no se puede convertir: no se puede leer como imagen: «tuberia.tif» es una "
                                   "tubería (FIFO), no un fichero: una imagen se lee de un fichero normal."},
          {"tuberia.csv", "«tuberia.csv» no se puede convertir desde la ventana: no es un fichero, sino una tubería."}}) {
        ASSERT_EQ(::mkfifo((folder.path / name).c_str(), 0600), 0);
        Started p;
        const auto started = std::chrono::steady_clock::now();
        p.Convert(1, (folder.path / name).string(), [&](form::FormModel& m, const Changed&) {
            EXPECT_EQ(m.Get("LblAviso").text, warning);
        });
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    }
}

// Every file and folder under `root`, hidden ones too, by their paths from it.
std::vector<std::string> Tree(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root)) names.push_back(fs::relative(e.path(), root).string());
    std::sort(names.begin(), names.end());
    return names;
}

// A folder of a survey's files from the window, as talpor-lote converts it: each file
// alone into a folder of the same shape, the one GDAL cannot read named with why; files
// already there replaced only with the user's word; a cancel in the middle of a layer
// leaves nothing of it and keeps the files finished.
TEST(FileConversion, AFolderIsConvertedFileByFileIntoAFolderOfItsShape) {
    testing_support::TempFolder folder;
    const fs::path datos = folder.path / "datos";
    fs::create_directories(datos / "montes");
    testing_support::WriteFile(datos / "a-puntos.csv", "Punto;Latitud;Longitud\nA;40.4166667;-3.7\nB;40 75 0 N;3 42 0 W\n");
    testing_support::WriteFile(datos / "b-roto.gpkg", "no es un GeoPackage\n");
    testing_support::WriteFile(datos / "z-hitos.csv", "Punto;Huso;Este;Norte\nH;30;440721;4474447\n");
    std::string csv = "WKT,rodal\n";
    for (int i = 0; i < 1000; ++i)
        csv += "\"POINT (" + std::to_string(430000 + 20 * i) + " 4470000)\",R-" + std::to_string(i) + "\n";
    testing_support::WriteFile(folder.path / "montes.csv", csv);
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && ogr2ogr -f 'ESRI Shapefile' datos/montes/montes.shp montes.csv -oo "
                           "GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:23030 > /dev/null 2>&1").c_str()),
              0);
    const fs::path out = folder.path / "datos_WGS84";
    const std::vector<std::string> written = {"a-puntos.csv", "montes", "montes/montes.cpg", "montes/montes.dbf",
                                              "montes/montes.prj", "montes/montes.shp", "montes/montes.shx", "z-hitos.csv"};
    Started s;
    // A file of the folder first, then "Carpeta…" in the dialog.
    s.platform.fileNames = {(datos / "a-puntos.csv").string(), datos.string()};
    s.platform.dialog = [&](form::FormModel& m, const Changed& changed) {
        changed(m.Get("CmdCarpeta"));
        EXPECT_EQ(m.Get("LblEntrada").text, "Carpeta:");
        EXPECT_EQ(m.Get("LblPrevia").text, "4 ficheros: 2 capas y 2 tablas\ndatos/a-puntos.csv\ndatos/b-roto.gpkg\n"
                                           "datos/montes/montes.shp\ndatos/z-hitos.csv");
        EXPECT_EQ(m.Get("TxtDestino").text, out.string());
        EXPECT_EQ(m.Get("LblOrden").text, "Orden equivalente: talpor-lote --sentido=ed50-wgs84 --metodo=helmert datos -o "
                                          "datos_WGS84");
        return changed(m.Get("CmdConvertir")) == form::DialogEnd::Accept;
    };
    s.window.ChangeTab(1);
    s.window.Click("CmdFichero", 1);
    EXPECT_EQ(Tree(out), written);
    EXPECT_EQ(s.platform.OnlyBox("Convertir fichero", form::MsgIcon::Exclamation),
              "2 ficheros convertidos, 1 con errores, 1 rechazado.\r\nCarpeta de destino: " + out.string() +
                  "\r\n\r\nEscritos:\r\na-puntos.csv: 1 fila convertida, 1 con error (la primera, la fila 3: minutos "
                  "fuera de rango (75)).\r\nmontes/montes.shp: capa «montes»: 1.000 entidades, 1.000 vértices "
                  "convertidos, de ED50 UTM 30 (EPSG:23030) a ETRS89 UTM 30 (EPSG:25830).\r\nz-hitos.csv: 1 fila "
                  "convertida.\r\n\r\nRechazados, sin escribir nada de ellos:\r\ndatos/b-roto.gpkg: no se puede leer como "
                  "capa: GDAL no la reconoce como una capa que sepa leer.");
    EXPECT_NE(std::find(s.platform.progressTexts.begin(), s.platform.progressTexts.end(), "[3/4] datos/montes/montes.shp"),
              s.platform.progressTexts.end());
    // The files are talpor-lote's.
    ASSERT_EQ(WEXITSTATUS(std::system(("cd " + folder.Str() + " && '" TALPOR_LOTE "' -s ed50-wgs84 datos -o lote 2> /dev/null").c_str())),
              1);
    for (const char* name : {"a-puntos.csv", "z-hitos.csv", "montes/montes.shp", "montes/montes.dbf"})
        EXPECT_EQ(ReadFile(out / name), ReadFile(folder.path / "lote" / name)) << name;

    // Converted again into the same folder: the files there are listed in one question,
    // "No" by default, which keeps them and the dialog; "Sí" replaces them.
    testing_support::WriteFile(out / "a-puntos.csv", "MIS DATOS, NO BORRAR\n");
    for (const bool yes : {false, true}) {
        s.platform.msgBoxes.clear();
        s.platform.answer = yes ? std::optional(form::MsgResult::Yes) : std::nullopt;
        s.platform.fileNames = {datos.string()};
        s.platform.dialog = [&](form::FormModel& m, const Changed& changed) {
            return changed(m.Get("CmdConvertir")) == form::DialogEnd::Accept;
        };
        s.window.DropFiles({datos.string()});
        ASSERT_GE(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.msgBoxes[0].text, "En «datos_WGS84» ya existen 3 ficheros de los que escribe la conversión:\r\n"
                                               "a-puntos.csv\r\nmontes/montes.shp\r\nz-hitos.csv\r\n\r\n¿Quiere "
                                               "reemplazarlos por los resultados?");
        EXPECT_EQ(s.platform.msgBoxes[0].defaultButton, form::MsgResult::No);
        EXPECT_EQ(s.platform.msgBoxes.size(), yes ? 2u : 1u);
        EXPECT_EQ(ReadFile(out / "a-puntos.csv") == "MIS DATOS, NO BORRAR\n", !yes);
    }
    EXPECT_EQ(Tree(out), written);

    // Images are counted as images; files of a WGS84 format, which go only from WGS84, are
    // refused before converting, with why, and not counted among those written.
    fs::create_directory(folder.path / "proyecto");
    for (const char* name : {"a.csv", "b.tif", "c.png", "d.gpx", "e.kml", "f.kmz"})
        testing_support::WriteFile(folder.path / "proyecto" / name, "");
    s.platform.dialog = [&](form::FormModel& m, const Changed&) {
        EXPECT_TRUE(m.Get("LblPrevia").text.starts_with("6 ficheros: 2 capas, 1 tabla, 2 imágenes y 1 GPX\n")) << m.Get("LblPrevia").text;
        EXPECT_TRUE(m.Get("LblFormato").text.ends_with(" No se convertirán 3 ficheros: «proyecto/d.gpx», «proyecto/e.kml» y "
                                                       "«proyecto/f.kmz»: formato WGS84 (GPX, KML, KMZ, GeoJSON), que se "
                                                       "convierte en la pestaña «WGS84 -> ED50»."))
            << m.Get("LblFormato").text;
        EXPECT_EQ(m.Get("LblEscribe").text, "Escribirá hasta 3 ficheros en la carpeta «proyecto_WGS84», cada uno en su sitio; "
                                            "no los 3 rechazados arriba");
        return false;
    };
    s.window.DropFiles({(folder.path / "proyecto").string()});

    // Cancelled while the layer is written: nothing of it, nor of the file after it; the
    // file written before stays, and the summary says so.
    Started t;
    const fs::path cancelled = folder.path / "cancelada";
    // As soon as the layer is under way, before its worker has read it.
    t.platform.cancelProgressAt = [](const std::string& text) { return text.starts_with("[3/4] datos/montes/montes.shp"); };
    t.platform.dialog = [&](form::FormModel& m, const Changed& changed) {
        Type(m, changed, "TxtDestino", cancelled.string());
        return changed(m.Get("CmdConvertir")) == form::DialogEnd::Accept;
    };
    t.window.ChangeTab(1);
    t.window.DropFiles({datos.string()});
    EXPECT_EQ(Tree(cancelled), std::vector<std::string>{"a-puntos.csv"});
    EXPECT_TRUE(t.platform.OnlyBox("Convertir fichero", form::MsgIcon::Exclamation)
                    .starts_with("Conversión cancelada: no se ha escrito nada de «datos/montes/montes.shp» ni de 1 "
                                 "fichero más.\r\n0 ficheros convertidos, 1 con errores, 1 rechazado.\r\nCarpeta de destino: " +
                                 cancelled.string() + "\r\n\r\nEscritos antes de cancelar, que se quedan:\r\na-puntos.csv: "))
        << t.platform.LastMsgBox().text;
    EXPECT_FALSE(t.platform.progressOpen);
}

// A hiker's Google Earth KMZ to a shapefile in ED50 UTM, as a paper map has it: the zone
// list offers the zone most of its vertices lie in, the dialog names the format, the system
// and every file the run writes before "Convertir", and what is written is that: the
// files listed and no other, in EPSG:23030 as ogrinfo reads it, where PROJ puts Peñalara.
TEST(FileConversion, AKmzBecomesAnEd50UtmShapefileWhoseFilesAreListedBeforehand) {
    testing_support::TempFolder folder;
    testing_support::WriteFile(folder.path / "doc.kml", R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document><name>Guadarrama</name>
<Folder><name>Ruta</name><Placemark><name>Subida</name><LineString><coordinates>
-3.9866,40.8186 -3.9700,40.8350 -3.9558,40.8503</coordinates></LineString></Placemark></Folder>
<Folder><name>Fuentes: cumbres</name><Placemark><name>Peñalara</name><Point><coordinates>-3.9558,40.8503</coordinates></Point></Placemark></Folder>
<Folder><name>Refugios</name><Placemark><name>Zabala</name><Point><coordinates>-3.9633,40.8417</coordinates></Point></Placemark></Folder>
</Document></kml>)");
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && python3 -c \"import zipfile; zipfile.ZipFile('ruta.kmz', 'w', "
                           "zipfile.ZIP_DEFLATED).write('doc.kml')\" && rm doc.kml").c_str()), 0);
    std::string listed;
    Started s;
    s.Convert(0, (folder.path / "ruta.kmz").string(), [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbFormato", "Shapefile");
        EXPECT_TRUE(m.Get("CmbHuso").enabled);
        EXPECT_EQ(m.Get("CmbHuso").items.front(), "Como la entrada: grados");
        EXPECT_EQ(m.Get("CmbHuso").ListText(), "UTM 30");
        listed = m.Get("LblEscribe").text;
        EXPECT_EQ(listed, "Escribirá Shapefile en ED50 UTM 30 (EPSG:23030): «ruta_ED50.shp», «ruta_ED50.shx», "
                          "«ruta_ED50.dbf», «ruta_ED50.prj», «ruta_ED50.cpg», «Fuentes_ cumbres.shp», «Fuentes_ cumbres.shx», "
                          "«Fuentes_ cumbres.dbf», «Fuentes_ cumbres.prj», «Fuentes_ cumbres.cpg», «Refugios.shp», "
                          "«Refugios.shx», «Refugios.dbf», «Refugios.prj» y «Refugios.cpg»");
        EXPECT_NE(m.Get("LblOrden").text.find(" --huso=30 --formato=shp "), std::string::npos) << m.Get("LblOrden").text;
    });
    EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(folder.path))
        if (entry.path().filename() != "ruta.kmz") written.insert(entry.path().filename().string());
    EXPECT_EQ(written.size(), 15u);
    for (const std::string& name : written) EXPECT_NE(listed.find("«" + name + "»"), std::string::npos) << name;
    const std::string info = testing_support::Output("ogrinfo -ro -al '" + (folder.path / "Fuentes_ cumbres.shp").string() + "'");
    EXPECT_NE(info.find("ED50 / UTM zone 30N"), std::string::npos) << info;
    const std::string proj = testing_support::Output("echo '40.8503 -3.9558' | cs2cs -f %.1f EPSG:4326 EPSG:23030");
    std::istringstream expected(proj);
    double e = 0, n = 0;
    expected >> e >> n;
    const std::size_t at = info.find("POINT (");
    ASSERT_NE(at, std::string::npos) << info;
    std::istringstream got(info.substr(at + 7));
    double ge = 0, gn = 0;
    got >> ge >> gn;
    // PROJ's default ED50 transformation (a few metres from the regional sets'); WGS84's
    // UTM would be some 200 m off.
    EXPECT_NEAR(ge, e, 10) << proj;
    EXPECT_NEAR(gn, n, 10) << proj;
}

// A whole project to ETRS89 UTM 30 from the window, as talpor-lote takes it with the same
// arguments: the preview groups the files by the way each will go, the table and the DXF,
// which say no system, are announced as needing one and refused until it is given, never
// taken by a guess; given, everything goes, the files talpor-lote's byte for byte, the
// layer already in the target copied as ogrinfo reads it. One table alone goes the same.
TEST(FileConversion, AWholeProjectGoesToOneSystemAsTalporLoteTakesIt) {
    testing_support::TempFolder folder;
    const fs::path project = folder.path / "proyecto";
    fs::create_directory(project);
    testing_support::WriteFile(folder.path / "p.csv", "WKT,nombre\n\"POINT (440000 4474000)\",A\n");
    testing_support::WriteFile(folder.path / "q.csv", "WKT,nombre\n\"POINT (300000 4474000)\",C\n");
    testing_support::WriteFile(folder.path / "l.csv", "WKT,n\n\"LINESTRING (440000 4474000,440100 4474100)\",1\n");
    const std::string ogr = "ogr2ogr -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO ";
    ASSERT_EQ(std::system(("(cd " + folder.Str() + " && " + ogr + "-f 'ESRI Shapefile' proyecto/montes.shp p.csv -a_srs EPSG:23030 && " +
                           ogr + "-f GPKG proyecto/capas.gpkg p.csv -nln a -a_srs EPSG:23030 && " + ogr +
                           "-update proyecto/capas.gpkg p.csv -nln b -a_srs EPSG:25830 && " + ogr +
                           "-update proyecto/capas.gpkg q.csv -nln c -a_srs EPSG:23031 && " + ogr +
                           "-f DXF proyecto/plano.dxf l.csv && gdal_create -q -of GTiff -outsize 20 20 -a_srs EPSG:23030 "
                           "-a_ullr 440000 4474000 440020 4473980 proyecto/orto.tif) > /dev/null 2>&1").c_str()), 0);
    testing_support::WriteFile(project / "puntos.csv", "id;X;Y;Z\n1;440000;4474000;650\n2;441000;4475000;700\n");
    testing_support::WriteFile(project / "roto.gpkg", "no es un GeoPackage\n");
    testing_support::WriteFile(project / "ruta.gpx", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\" "
                                                     "xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"40.4\" "
                                                     "lon=\"-3.7\"><name>A</name></wpt></gpx>\n");
    // talpor-lote's runs: without the system of what says none, and with it.
    const std::string lote = "cd " + folder.Str() + " && '" TALPOR_LOTE "' --destino=etrs89-utm30 ";
    EXPECT_EQ(WEXITSTATUS(std::system((lote + "proyecto -o lote 2> /dev/null").c_str())), 1);
    EXPECT_EQ(WEXITSTATUS(std::system((lote + "--origen=ed50-utm30 proyecto -o lote-origen 2> /dev/null").c_str())), 1);
    const auto same = [&](const fs::path& out, const fs::path& reference) {
        EXPECT_EQ(Tree(out), Tree(reference));
        for (const std::string& name : Tree(reference)) {
            // A GeoPackage holds the time it was written: its layers as ogrinfo reads them.
            const auto read = [&](const fs::path& path) {
                return name.ends_with(".gpkg") ? testing_support::Output("cd '" + path.parent_path().string() + "' && ogrinfo -ro -al " + name)
                                               : ReadFile(path);
            };
            if (fs::is_directory(reference / name)) continue;
            EXPECT_TRUE(read(out / name) == read(reference / name)) << name;
        }
    };

    const fs::path out = folder.path / "proyecto_ETRS89";
    Started s;
    s.platform.dialog = [&](form::FormModel& m, const Changed& changed) {
        EXPECT_EQ(m.Get("CmbSistema").ListText(), "Según la pestaña: de ED50 a WGS84");
        EXPECT_FALSE(m.Get("CmbOrigen").visible);
        Pick(m, changed, "CmbSistema", "ETRS89 UTM 30");
        // The zone and the label, which the target decides, leave the dialog.
        EXPECT_FALSE(m.Get("CmbHuso").visible || m.Get("LblHuso").visible || m.Get("CmbEtiqueta").visible);
        EXPECT_TRUE(m.Get("CmbOrigen").visible && m.Get("CmbOrigen").enabled);
        EXPECT_EQ(m.Get("CmbOrigen").ListText(), "Ninguno: se rechazan");
        EXPECT_EQ(m.Get("LblPrevia").text, "7 ficheros a ETRS89 UTM 30:\n2 capas ED50 UTM 30 → ETRS89 UTM 30\n"
                                           "1 capa ED50 UTM 31 → ETRS89 UTM 30\n1 imagen ED50 UTM 30 → ETRS89 UTM 30\n"
                                           "1 capa ya en ETRS89 UTM 30, copiada\n1 GPX, copiado\n"
                                           "1 DXF sin sistema: elija su sistema\n1 tabla: elija su sistema\n"
                                           "1 fichero cuyo sistema no se puede leer");
        EXPECT_TRUE(m.Get("LblFormato").text.ends_with(" No se convertirán 3 ficheros: «proyecto/plano.dxf» y "
                                                       "«proyecto/puntos.csv»: no dice su sistema: elija el suyo en "
                                                       "«Sistema de los ficheros que no lo dicen»; «proyecto/roto.gpkg»: "
                                                       "no se puede leer como capa: GDAL no la reconoce como una capa que "
                                                       "sepa leer."))
            << m.Get("LblFormato").text;
        EXPECT_EQ(m.Get("LblOrden").text, "Orden equivalente: talpor-lote --destino=etrs89-utm30 --metodo=helmert "
                                          "proyecto -o proyecto_ETRS89");
        EXPECT_EQ(m.Get("TxtDestino").text, out.string());
        return changed(m.Get("CmdConvertir")) == form::DialogEnd::Accept;
    };
    s.window.ChangeTab(1);
    s.window.DropFiles({project.string()});
    same(out, folder.path / "lote");
    EXPECT_FALSE(fs::exists(out / "puntos.csv"));
    const std::string summary = s.platform.LastMsgBox().text;
    EXPECT_NE(summary.find("proyecto/puntos.csv: una tabla no dice en qué sistema están sus puntos, y no se supone ninguno"),
              std::string::npos) << summary;
    EXPECT_NE(summary.find("capa «b»: 1 entidad, 1 vértice, ya está en ETRS89 UTM 30 (EPSG:25830): copiada sin cambios"),
              std::string::npos) << summary;

    // With the system of what says none, the table and the DXF go too.
    const fs::path all = folder.path / "todo";
    s.platform.dialog = [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbSistema", "ETRS89 UTM 30");
        Pick(m, changed, "CmbOrigen", "ED50 UTM 30");
        Type(m, changed, "TxtDestino", all.string());
        EXPECT_EQ(m.Get("LblPrevia").text, "7 ficheros a ETRS89 UTM 30:\n3 capas ED50 UTM 30 → ETRS89 UTM 30\n"
                                           "1 capa ED50 UTM 31 → ETRS89 UTM 30\n1 imagen ED50 UTM 30 → ETRS89 UTM 30\n"
                                           "1 tabla ED50 UTM 30 → ETRS89 UTM 30\n1 capa ya en ETRS89 UTM 30, copiada\n"
                                           "1 GPX, copiado\n1 fichero cuyo sistema no se puede leer");
        EXPECT_EQ(m.Get("LblEscribe").text, "Escribirá hasta 6 ficheros en la carpeta «todo», cada uno en su sitio; "
                                            "no el rechazado arriba");
        return changed(m.Get("CmdConvertir")) == form::DialogEnd::Accept;
    };
    s.window.DropFiles({project.string()});
    same(all, folder.path / "lote-origen");
    const std::string info = testing_support::Output("ogrinfo -ro -al '" + (all / "capas.gpkg").string() + "' b");
    EXPECT_NE(info.find("ETRS89 / UTM zone 30N"), std::string::npos) << info;
    EXPECT_NE(info.find("POINT (440000 4474000)"), std::string::npos) << info;

    // One table alone: refused without its system, then converted as talpor-lote converts it.
    Started t;
    t.Convert(1, (project / "puntos.csv").string(), [&](form::FormModel& m, const Changed& changed) {
        Pick(m, changed, "CmbSistema", "ETRS89 UTM 30");
        EXPECT_FALSE(m.Get("CmbHuso").visible);
        EXPECT_EQ(m.Get("LblAviso").text, "La tabla no dice en qué sistema están sus puntos: elija el suyo en «Sistema de "
                                          "los ficheros que no lo dicen».");
        EXPECT_FALSE(m.Get("CmdConvertir").enabled);
        Pick(m, changed, "CmbOrigen", "ED50 UTM 30");
        EXPECT_EQ(m.Get("LblAviso").text, "");
        EXPECT_TRUE(m.Get("LblOrden").text.starts_with("Orden equivalente: talpor-lote --destino=etrs89-utm30 --metodo=helmert "
                                                       "--origen=ed50-utm30 "))
            << m.Get("LblOrden").text;
    });
    ASSERT_EQ(std::system((lote + "--origen=ed50-utm30 proyecto/puntos.csv -o lote.csv 2> /dev/null").c_str()), 0);
    EXPECT_EQ(ReadFile(project / "puntos_ETRS89.csv"), ReadFile(folder.path / "lote.csv"));
}

// A workbook (tests/batch/sheets.py): the dialog names its sheets above the first that
// holds points, seen as a table of its cells; the run writes a workbook of the sheets with
// points and its box says how each sheet went.
TEST(FileConversion, AWorkbookIsConvertedFromTheWindowSheetBySheet) {
    testing_support::TempFolder folder;
    ASSERT_EQ(std::system(("cd " + folder.Str() + " && /usr/bin/python3 '" TALPOR_TEST_DATA "/../batch/sheets.py' make .").c_str()), 0);
    Started s;
    s.Convert(1, (folder.path / "libro.xlsx").string(), [&](form::FormModel& m, const Changed& changed) {
        EXPECT_TRUE(m.Get("LblPrevia").text.starts_with("Hojas: «Puntos» (se ve esta), «Grados», «DMS», «Notas»\n[1]")) << m.Get("LblPrevia").text;
        EXPECT_NE(m.Get("LblPrevia").text.find("\nV1       30         440721,12  4474447,5  650,3\n"), std::string::npos) << m.Get("LblPrevia").text;
        Pick(m, changed, "CmbMetodo", "Rejilla");
        EXPECT_EQ(m.Get("TxtDestino").text, folder.Str() + "/libro_WGS84.xlsx");
        // A workbook's cells have no separator, and it comes back as a workbook.
        EXPECT_TRUE(m.Get("LblFormato").text.starts_with("cabecera en la fila 1 · punto en ")) << m.Get("LblFormato").text;
        EXPECT_FALSE(m.Get("CmbSeparador").enabled);
        EXPECT_EQ(m.Get("CmbFormato").ListText(), "Hoja de cálculo (como el libro de entrada)");
    });
    EXPECT_EQ(s.platform.OnlyBox("Convertir fichero", form::MsgIcon::Information),
              "Hoja «Puntos»: 2 filas convertidas; hoja «Grados»: 1 fila convertida; hoja «DMS»: 1 fila convertida; "
              "hoja «Notas»: sin puntos, no se escribe.\r\n\r\nResultado: " + folder.Str() + "/libro_WGS84.xlsx");
    EXPECT_EQ(ReadFile(folder.path / "libro_WGS84.xlsx").substr(0, 2), "PK");
}
