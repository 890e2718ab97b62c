// The talpor-lote program as a user runs it, on real files in a fresh folder: bad input of
// every kind gets its message and exit status and never a crash or a hang (each run is
// stopped after a minute), outputs that cannot be written or would overwrite the input are
// refused without leaving any file behind, and the text keeps its line ends, its byte order
// mark and every row in its place.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "support/DataFile.h"
#include "support/Files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Ran {
    int status = -1;
    std::string out, err;
};

using testing_support::ReadFile;
using testing_support::WriteFile;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Lote : public ::testing::Test {
  protected:
    // Runs the program in the folder with `args` (shell words) and `redirect` for its
    // standard input and output (standard output goes to "salida.txt" unless redirected),
    // after the shell commands `before` (limits).
    Ran Run(const std::string& args, const std::string& redirect = "< /dev/null > salida.txt",
            const std::string& before = "") {
        const std::string command = "cd '" + dir.string() + "' && " + before + "timeout 60 " TALPOR_LOTE " " + args +
                                    " " + redirect + " 2> errores.txt";
        const int status = std::system(command.c_str());
        Ran r;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFile(dir / "salida.txt");
        r.err = ReadFile(dir / "errores.txt");
        EXPECT_NE(r.status, 124) << "still running after a minute: " << args;
        return r;
    }

    // Files other than those the tests write: a temporary output left behind would show here.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n != "entrada.csv" && n != "salida.txt" && n != "errores.txt" && n != "salida.csv" && n != "carpeta" &&
                n != "leido.txt")
                names.push_back(n);
        }
        return names;
    }

    testing_support::TempFolder folder;
    const fs::path& dir = folder.path;
};

std::string Garbage() {
    std::mt19937 random(1);
    std::string s;
    for (int i = 0; i < 200000; ++i) s += static_cast<char>(random() % 256);
    return s;
}

TEST_F(Lote, BadInputGetsItsMessageAndNothingIsLost) {
    const std::string header = "Punto;Latitud;Longitud", nines(309, '9');
    std::string rows;
    for (int i = 0; i < 1000; ++i) rows += "P;40,41;-3,70\n";
    const std::string names =
        ";Latitud ED50;Longitud ED50;Latitud ED50 (grados);Longitud ED50 (grados);Huso ED50;Este ED50;Norte ED50;"
        "Parámetros;Error;Aviso";
    struct Case {
        const char* what;
        std::string input;
        int status;
        std::vector<std::string> messages;  // in standard error
        std::vector<std::string> output;    // in salida.csv; none when status is 2
        std::string options = "";  // more arguments
        int joined = 0;            // lines that go on a record of the line before (in a quoted field)
    } cases[] = {
        {"empty file", "", 0, {"entrada.csv: está vacía, ningún punto que convertir"}, {}},
        {"header only", header + "\n", 0, {"solo hay cabecera"}, {header + names + "\n"}},
        {"too few and too many columns",
         header + "\nP1;40,41;-3,70\nP2;40,42\nP3;40,43;-3,72;x\n",
         1,
         {"entrada.csv:3: hay 2 columnas y se esperaban 3", "entrada.csv:4: hay 4 columnas y se esperaban 3",
          "1 fila convertida, 2 con error"},
         {"\nP2;40,42;;;;;;;;;fila 3: hay 2 columnas y se esperaban 3;\n", "P3;40,43;-3,72;x;;;;;;;;;fila 4: hay 4"}},
        {"a line of a megabyte",
         "P1;40,41;-3,70;" + std::string(1 << 20, 'x') + "\nP2;40,42;-3,71;nota\n",
         0,
         {"2 filas convertidas"},
         {"xxx;40º 24' 40,2", "P2;40,42;-3,71;nota;40º 25' 16,"}},
        {"a line of three megabytes", "P1;40,41;-3,70\nP2;" + std::string(3 << 20, '1') + "\n", 2,
         {"fila 2: línea de más de 2 MiB"}, {}},
        {"binary garbage", Garbage(), 2, {"la entrada no parece texto: tiene bytes nulos"}, {}},
        // Files named as tables that are something else, told by their first bytes (TIFF 6.0,
        // ISO 10918, PKWARE's APPNOTE), go the way of what they are, and are damaged.
        {"a GeoTIFF", std::string("II*\0\x08\0\0\0", 8) + Garbage(), 2, {"no se puede leer como imagen: GDAL no la reconoce"}, {}},
        {"a JPEG", "\xFF\xD8\xFF\xE0" + Garbage(), 2, {"no se puede leer como imagen"}, {}},
        {"a zip file", "PK\x03\x04" + Garbage(), 2, {"es un fichero comprimido (ZIP) sin capa KML ni hoja de cálculo"}, {}},
        {"eastings and northings without a zone", "Hito;Este;Norte;Cota\nH-01;440721,00;4474447,00;650,2\n", 2,
         {"parecen coordenadas UTM, Este y Norte, sin huso; indique el huso con --huso (29, 30 o 31)"}, {}},
        {"Latin-1 degree signs",
         "P1;40\xBA 25' 0,5\" N;3\xBA 42' 13\" W\n",
         0,
         {"1 fila leída como Latin-1 (no eran UTF-8), y la salida en Windows-1252 como la entrada"},
         {"P1;40\xBA 25' 0,5\" N;3\xBA 42' 13\" W;40\xBA 25' 4,"}},
        // A point at sea is converted: its note goes in Aviso, and its Error stays empty.
        {"a point outside the area and one at sea", "P1;44,5;-3,0\nP2;40,5;-3,0\nP3;38,0;-9,9\n", 1,
         {"entrada.csv:1: fuera del área del método: transformación válida solamente para la península y Baleares",
          "entrada.csv:3: aviso: El punto cae en el océano Atlántico"},
         {"P1;44,5;-3,0;;;;;;;;;fila 1: fuera del área", ";EST99;;El punto cae en el océano Atlántico, a 75 km de la costa\n"}},
        // Numbers too long for a double are the row's error, never the run's.
        {"309 nines in a point column", header + "\nP1;40,41;-3,70\nP2;" + nines + ";-3.7\n", 1,
         {"entrada.csv:3: latitud fuera de rango (99999999999999999999…)"}, {}},
        {"309 nines in a height column", header + ";h\nP1;40,41;-3,70;1\nP2;40,41;-3,70;" + nines + "\n", 1,
         {"entrada.csv:3: altura fuera de límites «9999999999999999999999999999999999999999…»"}, {}, "-a 4"},
        {"1e309", header + "\nP1;40,41;-3,70\nP2;1e309;-3.7\n", 1,
         {"entrada.csv:3: no se reconoce un punto en «1e309 -3.7»"}, {}},
        {"a 400-digit easting",
         "Este;Norte;Huso\n440721;4474447;30\n" + nines + std::string(91, '9') + ";4474447;30\n", 1,
         {"entrada.csv:3: coordenada fuera de rango (99999999999999999999…)"}, {}},
        // The header and the rows that hold a point say how many columns a row has; the
        // cota is an altitude by its name (PROJ: 40.10118628, -3.19871102 at 5 + N m).
        {"broken lines", "id;Latitud;Longitud;cota\n1;40.1;-3.2;5\nnota;x\nnota;y\n", 1,
         {"entrada.csv:3: hay 2 columnas y se esperaban 4",
          "1 fila convertida, 2 con error; punto en las columnas 2 y 3, altitud sobre el mar en la columna 4 "
          "(«cota», por su nombre)"},
         {"\n1;40.1;-3.2;5;40º 6' 4.2706\" N;3º 11' 55.3597\" W;40.10118628;-3.19871102;30T;483062.38;4439083.14;",
          "\nnota;x;;;;;;;;;;;fila 3: hay 2 columnas y se esperaban 4;\n"}},
        // A quoted field may hold a line break; a quote open for more than 50 lines is a character.
        {"a record of four lines", header + "\r\n\"Casa\r\nde\r\nla\r\nsierra\";40,41;-3,70\r\nP2;4O,42;-3,71\r\n", 1,
         {"entrada.csv:6: no se reconoce un punto en «4O,42 -3,71»", "separador «;»"},
         {"\r\n\"Casa\r\nde\r\nla\r\nsierra\";40,41;-3,70;40º 24' 40,2495\" N;",
          "\r\nP2;4O,42;-3,71;;;;;;;;;fila 6: no se"},
         "",
         3},
        // A stray quote opens no record across good rows: its line is read alone, and written
        // back with the quote quoted, so that no other reader joins the rows after it either.
        {"a stray quote", "Latitud;Longitud\n40.1;-3.2\n91;\"\n40.2;-3.3\n40.3;-3.4\n\"40.4\";-3.5\n", 1,
         {"entrada.csv:3: ", "4 filas convertidas, 1 con error"},
         {"\n91;\"\"\"\";;;;;;;;;fila 3: ", "\n40.2;-3.3;40º", "\n40.3;-3.4;40º", "\n\"40.4\";-3.5;40º"}},
        {"a quote left open", header + "\nP1;\"abierta;40,41;-3,70\n" + rows + "\"P2 cerrada\";40,42;-3,71\n", 1,
         {"entrada.csv:2: hay 4 columnas y se esperaban 3", "1.001 filas convertidas, 1 con error"},
         {"\nP1;\"\"\"abierta\";40,41;-3,70;;", "\n\"P2 cerrada\";40,42;-3,71;40º 25' 16,"}},
        // A good row with a quote that opens no field keeps its fields, quoted where that quote
        // and a lone carriage return would mislead a reader.
        {"a good row with a lone quote", header + "\n\"P1;40,41;-3,70\nP\r2;40,42;-3,71\n", 0, {"2 filas convertidas"},
         {"\n\"\"\"P1\";40,41;-3,70;40º 24' 40,", "\n\"P\r2\";40,42;-3,71;40º 25' 16,"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(dir / "entrada.csv", c.input);
        fs::remove(dir / "salida.csv");
        const Ran r = Run("entrada.csv salida.csv " + c.options);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const std::string& m : c.messages) EXPECT_TRUE(Has(r.err, m)) << r.err.substr(0, 2000);
        EXPECT_EQ(fs::exists(dir / "salida.csv"), c.status != 2);
        const std::string out = c.status == 2 ? "" : ReadFile(dir / "salida.csv");
        for (const std::string& part : c.output) EXPECT_TRUE(Has(out, part)) << out.substr(0, 300);
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
        // Every line stays, in its place, and Python's csv module reads back a record for each.
        if (c.status != 2) {
            const auto lines = std::count(c.input.begin(), c.input.end(), '\n');
            EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), lines);
            // The rows the summary counts as failed: "1.001 filas convertidas, 1 con error"; the
            // rows it notes, each in the Aviso column of a row without error.
            const std::size_t end = r.err.find(" con error"), begin = r.err.rfind(", ", end) + 2;
            const std::string errors = end == std::string::npos ? "0" : r.err.substr(begin, end - begin);
            std::size_t notes = 0;
            for (std::size_t at = 0; (at = r.err.find(": aviso: ", at)) != std::string::npos; ++at) ++notes;
            const std::string readBack = "cd '" + dir.string() + "' && python3 '" TALPOR_TEST_DATA
                                         "/../batch/read_back.py' - ';' salida.csv 'records " +
                                         std::to_string(lines - c.joined) + " " + errors + " " + std::to_string(notes) +
                                         "' > leido.txt 2>&1";
            EXPECT_EQ(std::system(readBack.c_str()), 0) << ReadFile(dir / "leido.txt");
        }
    }
}

// A bad option, or what cannot be read or written or would overwrite the input, stops the run before
// anything is written; the input stays as it was.
TEST_F(Lote, AnInputOrOutputThatCannotBeUsedIsRefused) {
    const std::string input = "P1;40,41;-3,70\n";
    WriteFile(dir / "entrada.csv", input);
    WriteFile(dir / "cerrada.csv", input);
    fs::permissions(dir / "cerrada.csv", fs::perms::none);
    fs::create_hard_link(dir / "entrada.csv", dir / "enlace.csv");
    fs::create_directory(dir / "carpeta");
    fs::permissions(dir / "carpeta", fs::perms::owner_read | fs::perms::owner_exec);
    const bool root = geteuid() == 0;  // root reads and writes whatever the permissions say
    const std::pair<std::string, std::string> cases[] = {
        {"no_existe.csv salida.csv", "talpor-lote: no se puede leer «no_existe.csv»: no existe"},
        {"carpeta salida.csv", "no hay ningún fichero que convertir en «carpeta» (se leen .csv, .txt,"},
        {root ? "" : "cerrada.csv salida.csv", "no se puede leer «cerrada.csv»: permiso denegado"},
        {root ? "" : "entrada.csv carpeta/salida.csv", "no se puede escribir «carpeta/salida.csv»: permiso denegado"},
        {"entrada.csv entrada.csv/salida.csv", "no se puede escribir «entrada.csv/salida.csv»: una parte de la ruta no es una carpeta"},
        {"entrada.csv ./entrada.csv", "«./entrada.csv» es el propio fichero de entrada"},
        {"entrada.csv enlace.csv", "«enlace.csv» es el propio fichero de entrada"},
        {"- entrada.csv < entrada.csv", "«entrada.csv» es el propio fichero de entrada"},
        {"entrada.csv >> entrada.csv", "la salida estándar es el propio fichero de entrada"},
        {"entrada.csv no/hay/carpeta.csv", "no se puede escribir «no/hay/carpeta.csv»: no existe"},
        {"--metodo=nube entrada.csv salida.csv", "--metodo: valor no válido «nube»; se admite helmert, "
                                                 "molodensky-ign, molodensky-nima o rejilla\nPruebe «talpor-lote --help».\n"},
    };
    for (const auto& [args, message] : cases) {
        if (args.empty()) continue;
        SCOPED_TRACE(args);
        const Ran r = Run(args, Has(args, "<") || Has(args, ">") ? "" : "< /dev/null");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Has(r.err, message)) << r.err;
        EXPECT_EQ(ReadFile(dir / "entrada.csv"), input);
        EXPECT_FALSE(fs::exists(dir / "salida.csv"));
        EXPECT_TRUE(fs::is_empty(dir / "carpeta"));
    }
    fs::remove(dir / "enlace.csv");
    fs::remove(dir / "cerrada.csv");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(Lote, KeepsLineEndsAndTheByteOrderMark) {
    WriteFile(dir / "entrada.csv", "\xEF\xBB\xBFlat;lon\r\n40,4168;-3,7038\r\n\r\n39,5;2,8");
    const Ran r = Run("entrada.csv salida.csv --salida=utm,parametros");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "salida.csv"),
              "\xEF\xBB\xBFlat;lon;Huso ED50;Este ED50;Norte ED50;Parámetros;Error;Aviso\r\n"
              "40,4168;-3,7038;30T;440399,49;4474464,74;EST99;;\r\n"
              "\r\n"
              "39,5;2,8;31S;482897,67;4372488,98;BAL99;;");
    EXPECT_TRUE(Has(r.err, "2 filas convertidas; punto en las columnas 1 y 2, separador «;», cabecera en la fila 1"));
}

TEST_F(Lote, ReadsUtmPointsAndHeightsByColumnName) {
    // cs2cs with the EST99 set gives the same latitude and longitude: 40.41666327, -3.70000885;
    // at Mulhacén's height above the ellipsoid, 40.416663812, -3.700008276, 3601.981 m.
    WriteFile(dir / "entrada.csv",
          "Punto;Este;Norte;Cota\nH1;440721;4474447;650\nH2;440721;4474447;4000,1\nH3;440721;4474447;3530\n"
          "H4;440721;4474447;\n");
    const Ran r = Run("-s ed50-wgs84 --huso=30 -c Este,Norte -a Cota --salida=gd,altura entrada.csv salida.csv");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(ReadFile(dir / "salida.csv"),
              "Punto;Este;Norte;Cota;Latitud WGS84 (grados);Longitud WGS84 (grados);Altura WGS84;Error;Aviso\n"
              "H1;440721;4474447;650;40,41666327;-3,70000885;722,0;;\n"
              "H2;440721;4474447;4000,1;;;;fila 3: altura fuera de límites «4000,1» (de -500 a 4.000 m);\n"
              "H3;440721;4474447;3530;40,41666381;-3,70000828;3602,0;;\n"
              "H4;440721;4474447;;40,41666314;-3,70000898;;;\n");  // no height: no height result
    EXPECT_TRUE(Has(r.err, "punto en las columnas 2 y 3, altura sobre el elipsoide en la columna 4")) << r.err;
}

// The IGN grid names the grid used and gives no height of its own; the altitude comes from
// the typed WGS84 height and is empty off the geoid (at sea). A program whose data folder
// has no grid, or no PROJ module, refuses the run before it writes anything.
TEST_F(Lote, TheIgnGridAndTheAltitudeAboveSeaLevel) {
    WriteFile(dir / "entrada.csv", "Punto;Lat;Lon;Cota\nP1;40.4168;-3.7038;650\nP2;38.0;-9.9;10\n");
    Ran r = Run("-m rejilla -a Cota --salida=gd,parametros,altitud entrada.csv salida.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "salida.csv"),
              "Punto;Lat;Lon;Cota;Latitud ED50 (grados);Longitud ED50 (grados);Parámetros;"
              "Altitud WGS84 (EGM08-REDNAP);Error;Aviso\n"
              "P1;40.4168;-3.7038;650;40.41798125;-3.70249087;SPED2ETV2;598.9;;\n"
              "P2;38.0;-9.9;10;38.00128412;-9.89855663;SPED2ETV2;;;El punto cae en el océano Atlántico, a 75 km de "
              "la costa\n");

    // The program alone in a folder, then with the grids beside it but not the module
    // that reads them (PROJ): either way the grid stops the run, and Helmert converts.
    fs::create_directories(dir / "bin");
    fs::copy_file(TALPOR_LOTE, dir / "bin/talpor-lote");
    fs::remove(dir / "salida.csv");
    const auto alone = [&](const std::string& method) {
        const std::string command = "cd '" + dir.string() + "' && bin/talpor-lote -m " + method +
                                    " entrada.csv salida.csv 2> errores.txt";
        return WEXITSTATUS(std::system(command.c_str()));
    };
    EXPECT_EQ(alone("rejilla"), 2);
    EXPECT_TRUE(Has(ReadFile(dir / "errores.txt"), "No se encuentra la rejilla es_ign_SPED2ETV2.tif"));
    fs::create_directories(dir / "share");
    fs::create_directory_symlink(TALPOR_DATA_DIR, dir / "share/talpor");
    EXPECT_EQ(alone("rejilla"), 2);
    EXPECT_TRUE(Has(ReadFile(dir / "errores.txt"),
                    "No se puede leer la rejilla " + (dir / "share/talpor").string() +
                        "/es_ign_SPED2ETV2.tif: no se encuentra " + (dir / "lib/talpor").string() +
                        "/talpor-proj.so, el módulo del programa que lee las rejillas."))
        << ReadFile(dir / "errores.txt");
    EXPECT_FALSE(fs::exists(dir / "salida.csv"));
    EXPECT_EQ(alone("helmert"), 0);
    // The cota is an altitude by its name; without the geoid the position is converted at
    // the altitude itself (40.41798012 at 650 + N, as below) and its height is not.
    EXPECT_TRUE(Has(ReadFile(dir / "salida.csv"), "P1;40.4168;-3.7038;650;40º 25' 4.7285\" N;"));
    EXPECT_TRUE(Has(ReadFile(dir / "salida.csv"), ";EST99;;;altura sin calcular: No se puede leer la rejilla "));
}

// A map's cota or a GPS's altitude is above mean sea level: --altitud takes it through
// the geoid. PROJ 9.1.1 with the shipped geoid (vgridshift +multiplier=1, h = H + N) and the
// EST99 Helmert (inverse, then utm zone=30 ellps=intl) takes each WGS84 point of the ED50 run
// with its height back to the typed easting and northing within 0,5 mm: H-01 at
// h = 701,3110 m, H-02 at 1064,0317 m; and the WGS84 point (40.4168, -3.7038, 650 + N) to ED50
// 40.41798012, -3.70249539, 629.153 m. The grid carries the altitude as it is.
TEST_F(Lote, AltitudesAboveSeaLevelBecomeHeightsThroughTheGeoid) {
    WriteFile(dir / "entrada.csv", "Hito;Este;Norte;Cota\nH-01;440721,00;4474447,00;650,2\nH-02;455310,50;4486210,75;1012,8\n");
    Ran r = Run("-s ed50-wgs84 --huso=30 -c Este,Norte --altitud=Cota --salida=gd,altura,altitud entrada.csv salida.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "salida.csv"),
              "Hito;Este;Norte;Cota;Latitud WGS84 (grados);Longitud WGS84 (grados);Altura WGS84;"
              "Altitud WGS84 (EGM08-REDNAP);Error;Aviso\n"
              "H-01;440721,00;4474447,00;650,2;40,41666326;-3,70000886;701,3;650,2;;\n"
              "H-02;455310,50;4486210,75;1012,8;40,52355126;-3,52887978;1064,0;1012,8;;\n");
    EXPECT_TRUE(Has(r.err, "altitud sobre el mar en la columna 4,")) << r.err;
    r = Run("-s ed50-wgs84 -m rejilla --huso=30 -c Este,Norte --altitud=Cota --salida=parametros,altitud entrada.csv salida.csv");
    EXPECT_TRUE(Has(ReadFile(dir / "salida.csv"), "H-01;440721,00;4474447,00;650,2;SPED2ETV2;650,2;")) << r.err;
    // From WGS84, with the input's decimal points. At sea, off the geoid, the position is
    // converted (PROJ's EST99 Helmert at h = 10 m: 38.00127430, -9.89856490) and the
    // height is not; no height is no height.
    WriteFile(dir / "entrada.csv", "P;Lat;Lon;Alt\nA;40.4168;-3.7038;650\nB;38.0;-9.9;10\nC;40.4168;-3.7038;\n");
    r = Run("--altitud=Alt --salida=gd,altura,altitud entrada.csv salida.csv");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(dir / "salida.csv"),
              "P;Lat;Lon;Alt;Latitud ED50 (grados);Longitud ED50 (grados);Altura ED50;Altitud WGS84 (EGM08-REDNAP);Error;"
              "Aviso\n"
              "A;40.4168;-3.7038;650;40.41798012;-3.70249539;629.2;650.0;;\n"
              "B;38.0;-9.9;10;38.00127430;-9.89856490;;;;altitud fuera del geoide: altura sin calcular. El punto cae "
              "en el océano Atlántico, a 75 km de la costa\n"
              "C;40.4168;-3.7038;;40.41798025;-3.70249525;;;;\n");
    EXPECT_TRUE(Has(r.err, "entrada.csv:3: aviso: altitud fuera del geoide: altura sin calcular")) << r.err;
}

// Each table's height column is read as its name says, with no option: a survey
// listing's "h" above the ellipsoid, a map's "Cota" and a "Z" above the sea, a column
// whose name says neither not at all; a surveyor's short header is a header. PROJ 9.1.1
// (EST99's Helmert, the shipped geoid: h = H + N, N = 51.1117 m here) puts 40.4168,
// -3.7038 (WGS84 UTM 30: 440290.458, 4474257.382) on ED50 at 629.1412 m from h = 701.1 and
// at 629.1529 m from an altitude of 650.
TEST_F(Lote, HeightsAreReadAsTheirColumnsNameSays) {
    const struct {
        const char* table;
        const char* reading;  // in the summary; "" for none
        const char* result;   // Altura ED50;Parámetros;Altitud WGS84
        const char* options = "";
    } tables[] = {
        {"Vértice;Latitud;Longitud;h\nV1;40.4168;-3.7038;701.1", "altura sobre el elipsoide en la columna 4 («h», por su nombre)",
         ";629.1;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Cota\nV1;40.4168;-3.7038;650", "altitud sobre el mar en la columna 4 («Cota», por su nombre)",
         ";629.2;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Z (m)\nV1;40.4168;-3.7038;650", "altitud sobre el mar en la columna 4 («Z (m)», por su nombre)",
         ";629.2;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Dato\nV1;40.4168;-3.7038;650", "", ""},
        {"Vértice;Latitud;Longitud;Cota\nV1;40.4168;-3.7038;650", "", "", "--sin-altura"},
        // Every name the manual lists, in Spanish and in English, in any case.
        {"Vértice;Latitud;Longitud;ALTITUD\nV1;40.4168;-3.7038;650", "altitud sobre el mar en la columna 4", ";629.2;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Elevación\nV1;40.4168;-3.7038;650", "altitud sobre el mar en la columna 4", ";629.2;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Elevation\nV1;40.4168;-3.7038;650", "altitud sobre el mar en la columna 4", ";629.2;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;ele\nV1;40.4168;-3.7038;650", "altitud sobre el mar en la columna 4", ";629.2;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Alt\nV1;40.4168;-3.7038;650", "altitud sobre el mar en la columna 4", ";629.2;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Altura elipsoidal\nV1;40.4168;-3.7038;701.1", "altura sobre el elipsoide en la columna 4",
         ";629.1;EST99;650.0;"},
        {"Vértice;Latitud;Longitud;Ellipsoidal height\nV1;40.4168;-3.7038;701.1", "altura sobre el elipsoide en la columna 4",
         ";629.1;EST99;650.0;"},
        {"Vértice;X;Y;Cota\nV1;440290.46;4474257.38;650",
         "columnas 2 y 3, altitud sobre el mar en la columna 4 («Cota», por su nombre), separador «;», cabecera en la fila 1",
         ";629.2;EST99;650.0;", "--huso=30"},
        {"E;N;H\n440290.46;4474257.38;650", "columnas 1 y 2, altitud sobre el mar en la columna 3 («H», por su nombre)",
         ";629.2;EST99;650.0;", "--huso=30"},
    };
    for (const auto& t : tables) {
        SCOPED_TRACE(t.table);
        WriteFile(dir / "entrada.csv", std::string(t.table) + "\n");
        const Ran r = Run(std::string(t.options) + " --salida=gd,parametros entrada.csv salida.csv");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Has(r.err, "por su nombre"), *t.reading != 0) << r.err;
        EXPECT_TRUE(Has(r.err, t.reading)) << r.err;
        // With the default result columns the height and the altitude come along.
        Run(std::string(t.options) + " entrada.csv salida.csv");
        if (*t.result != 0) {
            EXPECT_TRUE(Has(ReadFile(dir / "salida.csv"), t.result)) << ReadFile(dir / "salida.csv");
        }
    }
}

// A point that lands outside Spain's land and its territorial sea is converted, and its Aviso
// column says where it lands, its Error column empty; an easting and northing in another
// zone name the zone that would put them in Spain. The sea's distance: geod gives 75.5 km
// to Cabo Espichel.
TEST_F(Lote, APointThatLandsOutsideSpainIsConvertedAndSaidSo) {
    const std::pair<const char*, const char*> places[] = {
        {"Madrid;40.4168;-3.7038", ""},
        {"Lisboa;38.7223;-9.1393", "El punto cae en Portugal"},
        {"Tánger;35.7595;-5.8340", "El punto cae en Marruecos"},
        {"Lourdes;43.0947;-0.0459", "El punto cae en Francia"},
        {"Andorra la Vella;42.5063;1.5218", "El punto cae en Andorra"},
        {"Gibraltar;36.1300;-5.3500", "El punto cae en Gibraltar (Reino Unido)"},
        {"Gibraltar, el aeropuerto;36.1512;-5.3472", "El punto cae en Gibraltar (Reino Unido)"},
        {"Gibraltar, al norte de la pista;36.1538;-5.3480", "El punto cae en Gibraltar (Reino Unido)"},
        {"La Línea, al norte de la verja;36.1600;-5.3480", ""},
        {"Cabo de Palos, el faro;37.6344;-0.6906", ""},
        {"Llívia;42.4641;1.9806", ""},
        {"Bourg-Madame;42.4325;1.9442", "El punto cae en Francia"},
        {"Pas de la Casa;42.5424;1.7336", "El punto cae en Andorra"},
        {"Sant Julià de Lòria;42.4637;1.4913", "El punto cae en Andorra"},
        {"La Seu d'Urgell;42.3580;1.4590", ""},
        {"Ceuta;35.8894;-5.3213", ""},
        {"Castillejos (Fnideq);35.8486;-5.3575", "El punto cae en Marruecos"},
        {"Melilla;35.2923;-2.9381", ""},
        {"Nador;35.1681;-2.9335", "El punto cae en Marruecos"},
        {"Mar de las Columbretes;39.8500;0.7500", ""},
        {"Burela, el puerto;43.6633;-7.3550", ""},
        {"Isla de Alborán;35.9390;-3.0350", ""},
        {"10 km de Barcelona;41.3800;2.3100", ""},
        {"Frente a Barcelona, 28 km mar adentro;41.3800;2.8000", "El punto cae en el mar Mediterráneo, a "},
        {"Frente a Castellón, en el mar de las Columbretes;39.98;0.95", ""},
        {"Frente a Sines;38.0;-9.9", "El punto cae en el océano Atlántico, a 75 km de la costa"},
        {"Frente a Oporto, en el mar de Portugal;41.15;-8.78", "El punto cae en el océano Atlántico, a "},
        {"Frente a Alhucemas, en el mar de Marruecos;35.30;-3.95", "El punto cae en el mar de Alborán, a 5 km de la costa"},
    };
    std::string input = "Lugar;Latitud;Longitud\n";
    for (const auto& [row, warning] : places) input += std::string(row) + "\n";
    WriteFile(dir / "entrada.csv", input);
    const Ran r = Run("--salida=parametros entrada.csv salida.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream out(ReadFile(dir / "salida.csv"));
    std::string line;
    std::getline(out, line);
    for (const auto& [row, warning] : places) {
        ASSERT_TRUE(std::getline(out, line));
        const std::string note = line.substr(line.rfind(';') + 1);
        EXPECT_TRUE(*warning == 0 ? note.empty() : note.starts_with(warning)) << line;
        EXPECT_TRUE(line.ends_with(";;" + note)) << line;  // the Error column empty
    }
    // Madrid's ED50 easting and northing given zone 29: in the Atlantic, and zone 30 named.
    WriteFile(dir / "entrada.csv", "Hito;Este;Norte\nH-01;440721;4474447\n");
    EXPECT_TRUE(Has(Run("-s ed50-wgs84 --huso=29 --salida=gd entrada.csv salida.csv").err,
                    "entrada.csv:2: aviso: El punto cae en el océano Atlántico, a 72 km de la costa: ¿es correcto el huso "
                    "29? Con el huso 30 caería en España"));
}

TEST_F(Lote, ReadsStandardInputAndWritesStandardOutput) {
    // A comma file with decimal points (cs2cs with the EST99 set gives the same point to the
    // last decimal: 40.41561972, -3.70510476; 440178.718, 4474127.254) comes back as it came,
    // "," between columns and decimal points; with the decimal comma of --coma the output
    // separator is ";" and the row keeps its columns.
    WriteFile(dir / "entrada.csv", "\"Puerta, Sol\",40.4168,-3.7038\n");
    Ran r = Run("--salida=gd,utm -s ed50-wgs84 --coma", "< entrada.csv > salida.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Puerta, Sol;40.4168;-3.7038;40,41561972;-3,70510476;30T;440178,72;4474127,25;;\n");
    r = Run("--salida=gm -s ed50-wgs84 --coma", "< entrada.csv > salida.txt");  // as a GPS takes it
    EXPECT_EQ(r.out, "Puerta, Sol;40.4168;-3.7038;N 40º 24,93718';W 3º 42,30629';;\n");
    r = Run("--salida=gd,utm -s ed50-wgs84 -", "< entrada.csv > salida.txt");
    EXPECT_EQ(r.out, "\"Puerta, Sol\",40.4168,-3.7038,40.41561972,-3.70510476,30T,440178.72,4474127.25,,\n");
    EXPECT_TRUE(Has(r.err, "talpor-lote: entrada estándar: 1 fila convertida"));
    // From a pipe: the same rows; a run that stops does not wait for a writer that goes on.
    const std::string in = "cd '" + dir.string() + "' && ";
    EXPECT_EQ(std::system((in + "cat entrada.csv | " TALPOR_LOTE " -s ed50-wgs84 --punto > tubo.txt 2>/dev/null").c_str()), 0);
    EXPECT_TRUE(Has(ReadFile(dir / "tubo.txt"), ",40.41561972,-3.70510476,30T,440178.72,4474127.25,EST99,"));
    const int stopped = std::system(
        (in + "(yes '40.4;-3.7' | head -n 10000; sleep 3) | timeout 2 " TALPOR_LOTE " -c 9 > /dev/null 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(stopped), 2);
}

TEST_F(Lote, Help) {
    Ran r = Run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* part : {"Uso: talpor-lote [OPCIÓN]... [ENTRADA [SALIDA]]", "--metodo=MÉTODO", "Ejemplos:",
                             "Estado de salida"})
        EXPECT_TRUE(Has(r.out, part)) << part;
}

// A run stopped by a signal while it writes leaves neither the output nor its temporary
// file. The input is a pipe the test holds open, so the run waits on it when it is stopped.
TEST_F(Lote, AStoppedRunLeavesNoFile) {
    const fs::path fifo = dir / "entrada.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string output = (dir / "salida.csv").string();
    const char* argv[] = {TALPOR_LOTE, fifo.c_str(), output.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, TALPOR_LOTE, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const int writer = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const std::string rows = "P1;40,41;-3,70\n";
    ASSERT_EQ(write(writer, rows.data(), rows.size()), static_cast<ssize_t>(rows.size()));
    // The temporary file appears once the run has started writing.
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i) {
        for (const auto& e : fs::directory_iterator(dir)) started = started || e.path().filename().string().starts_with(".salida.csv.");
        if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(started);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(writer);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(fs::exists(dir / "salida.csv"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"entrada.csv"});

    // Ctrl+C while an image is resampled, alone and in a folder, or while a folder's table
    // is converted, to a process started with SIGINT's default, as a terminal starts it: the
    // files finished stay, nothing of the file under way nor of the files after it, the run
    // says so and ends by the signal.
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && mkdir hojas && echo 'P;40,41;-3,70' > hojas/a.csv && cp hojas/a.csv "
                           "hojas/z.csv && gdal_create -q -outsize 6000 6000 -burn 7 -a_srs EPSG:23030 -a_ullr 440000 "
                           "4480000 446000 4474000 hojas/hoja.tif && mkdir tablas && cp hojas/a.csv hojas/z.csv tablas && "
                           "seq 400000 | sed 's/.*/P&;40,41;-3,70/' > tablas/grande.csv").c_str()), 0);
    posix_spawnattr_t defaults;
    posix_spawnattr_init(&defaults);
    sigset_t interrupt;
    sigemptyset(&interrupt), sigaddset(&interrupt, SIGINT);
    posix_spawnattr_setsigdefault(&defaults, &interrupt);
    posix_spawnattr_setflags(&defaults, POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "errores.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string first = ": 1 fila convertida; punto en las columnas 2 y 3, separador «;», sin cabecera\n";
    const struct {
        const char *input, *output, *writing, *temporary;
        std::string said;
    } stopped[] = {{"hojas/hoja.tif", "hoja2.tif", ".", ".hoja", "talpor-lote: hojas/hoja.tif: interrumpido: no se ha escrito ningún fichero\n"},
                   {"hojas", "hojas2", "hojas2", ".hoja",
                    "talpor-lote: hojas/a.csv" + first + "talpor-lote: interrumpido: no se ha escrito nada de «hojas/hoja.tif», que "
                    "se estaba convirtiendo, ni de 1 fichero más\ntalpor-lote: 1 fichero convertido, 0 con errores, 0 rechazados\n"},
                   {"tablas", "tablas2", "tablas2", ".grande",
                    "talpor-lote: tablas/a.csv" + first + "talpor-lote: interrumpido: no se ha escrito nada de «tablas/grande.csv», "
                    "que se estaba convirtiendo, ni de 1 fichero más\ntalpor-lote: 1 fichero convertido, 0 con errores, 0 rechazados\n"}};
    for (const auto& s : stopped) {
        const char* args[] = {TALPOR_LOTE, "-j", "1", "-m", "helmert", "--remuestrear", s.input, s.output, nullptr};
        ASSERT_EQ(posix_spawn(&pid, TALPOR_LOTE, &actions, &defaults, const_cast<char**>(args), environ), 0);
        // Under way once the temporary of the image or the table is there.
        const std::string list = "ls -A '" + (dir / s.writing).string() + "' 2>&1";
        for (int i = 0; i < 6000 && !Has(testing_support::Output(list), s.temporary); ++i) usleep(10000);
        usleep(300000);
        kill(pid, SIGINT);
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT && Has(ReadFile(dir / "errores.txt"), s.said))
            << status << ReadFile(dir / "errores.txt");
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&defaults);
    EXPECT_EQ(testing_support::Output("cd '" + dir.string() + "' && find . | sort | tr '\\n' ' '"),
              ". ./entrada.csv ./errores.txt ./hojas ./hojas/a.csv ./hojas/hoja.tif ./hojas/z.csv ./hojas2 ./hojas2/a.csv ./tablas "
              "./tablas/a.csv ./tablas/grande.csv ./tablas/z.csv ./tablas2 ./tablas2/a.csv ");
}

// A project folder in one run: a shapefile in a subfolder, a table deeper down, a note that
// holds no point, a damaged GeoPackage and a hidden folder. What converts lands in the same
// place under the output folder (the shapefile's vertex where PROJ puts it with the grid:
// 440611.590 4474239.526), what does not is named with why and written nowhere, and the
// status says so; a second run replaces nothing without --reemplazar.
TEST_F(Lote, AFolderConvertsInOneRunWithItsStructure) {
    fs::create_directories(dir / "proyecto/capas/sub");
    fs::create_directories(dir / "proyecto/.copia");
    WriteFile(dir / "h.csv", "id,WKT\n1,POINT (440721 4474447)\n");
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && ogr2ogr proyecto/capas/montes.shp h.csv -a_srs EPSG:23030 "
                           "-oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO > /dev/null 2>&1").c_str()), 0);
    WriteFile(dir / "proyecto/capas/sub/hitos.csv", "Vértice;X;Y;Cota\nV1;440721,00;4474447,00;650,2\n");
    WriteFile(dir / "proyecto/leeme.txt", "Proyecto de ordenación\n");
    WriteFile(dir / "proyecto/roto.gpkg", "esto no es un GeoPackage");
    WriteFile(dir / "proyecto/.copia/viejo.csv", "P;40,41;-3,70\n");
    fs::create_symlink("sub/hitos.csv", dir / "proyecto/capas/aa_enlace.csv");  // listed before its file
    const std::string options = "-m rejilla -s ed50-wgs84 --huso=30 ";
    Ran r = Run(options + "proyecto salida");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "talpor-lote: proyecto/capas/montes.shp: capa «montes»: 1 entidad, 1 vértice convertido") &&
                Has(r.err, "talpor-lote: proyecto/capas/sub/hitos.csv: 1 fila convertida") &&
                Has(r.err, "talpor-lote: proyecto/leeme.txt: rechazado: ") &&
                Has(r.err, "talpor-lote: proyecto/roto.gpkg: rechazado: no se puede leer como capa") &&
                Has(r.err, "talpor-lote: proyecto/capas/aa_enlace.csv: pasado por alto: es un enlace a "
                           "«proyecto/capas/sub/hitos.csv», que se convierte con su nombre\n") &&
                Has(r.err, "talpor-lote: 2 ficheros convertidos, 0 con errores, 2 rechazados, 1 enlace pasado por alto\n") &&
                !Has(r.err, "copia"))
        << r.err;
    std::vector<std::string> written;
    for (const auto& e : fs::recursive_directory_iterator(dir / "salida"))
        if (e.is_regular_file()) written.push_back(fs::relative(e.path(), dir / "salida").string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"capas/montes.cpg", "capas/montes.dbf", "capas/montes.prj", "capas/montes.shp",
                                                 "capas/montes.shx", "capas/sub/hitos.csv"}));
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && ogrinfo -ro -al salida/capas/montes.shp > ogr.txt 2>&1").c_str()), 0);
    EXPECT_TRUE(Has(ReadFile(dir / "ogr.txt"), "POINT (440611.59") && Has(ReadFile(dir / "ogr.txt"), " 4474239.52"))
        << ReadFile(dir / "ogr.txt");
    EXPECT_TRUE(Has(ReadFile(dir / "salida/capas/sub/hitos.csv"), "V1;440721,00;4474447,00;650,2;")) << r.err;

    WriteFile(dir / "salida/capas/sub/hitos.csv", "mío\n");
    r = Run(options + "proyecto salida");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Has(r.err, "proyecto/capas/sub/hitos.csv: rechazado: ya existe «salida/capas/sub/hitos.csv», y no se "
                           "reemplaza sin --reemplazar"))
        << r.err;
    EXPECT_EQ(ReadFile(dir / "salida/capas/sub/hitos.csv"), "mío\n");
    EXPECT_EQ(Run(options + "--reemplazar proyecto salida").status, 1);
    EXPECT_NE(ReadFile(dir / "salida/capas/sub/hitos.csv"), "mío\n");

    // Several files into a folder with -o, one of them given twice by two names and converted
    // once; the output inside the input folder is not read.
    r = Run(options + "proyecto/capas/sub/hitos.csv ./proyecto/capas/sub/hitos.csv proyecto/capas/montes.shp -o dos");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "dos/hitos.csv") && fs::exists(dir / "dos/montes.shp"));
    // A file of the input is no other's destination, not even with --reemplazar.
    WriteFile(dir / "dos/hitos.csv", "V2;40,41;-3,70\n");
    r = Run(options + "--reemplazar proyecto/capas/sub/hitos.csv dos/hitos.csv -o dos");
    EXPECT_TRUE(r.status == 2 && Has(r.err, "proyecto/capas/sub/hitos.csv: rechazado: su destino «dos/hitos.csv» es un fichero "
                                            "de la entrada\n"))
        << r.err;
    EXPECT_EQ(ReadFile(dir / "dos/hitos.csv"), "V2;40,41;-3,70\n");
    r = Run(options + "proyecto/capas proyecto/capas/etrs89");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "proyecto/capas/etrs89/sub/hitos.csv"));
    EXPECT_EQ(Run(options + "--reemplazar proyecto/capas proyecto/capas/etrs89").status, 0);
    EXPECT_FALSE(fs::exists(dir / "proyecto/capas/etrs89/etrs89"));

    // A hiker's folder to ED50: GPX, KML and GeoJSON hold WGS84 alone, so each becomes a table.
    fs::create_directories(dir / "gps");
    WriteFile(dir / "gps/ruta.gpx", "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
                                     "<wpt lat=\"40.4168\" lon=\"-3.7038\"/></gpx>\n");
    WriteFile(dir / "gps/excursion.kml", "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Placemark><Point>"
                                          "<coordinates>-3.7038,40.4168</coordinates></Point></Placemark></kml>\n");
    WriteFile(dir / "gps/pistas.geojson", "{\"type\": \"FeatureCollection\", \"features\": [{\"type\": \"Feature\", "
                                           "\"properties\": {}, \"geometry\": {\"type\": \"Point\", \"coordinates\": [-3.7038, 40.4168]}}]}");
    r = Run("-m rejilla gps gps-ed50");
    EXPECT_EQ(r.status, 0) << r.err;
    written.clear();
    for (const auto& e : fs::directory_iterator(dir / "gps-ed50")) written.push_back(e.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"excursion.csv", "pistas.csv", "ruta.csv"}));

    // A UTM layer to GeoJSON, in degrees: no warning of GDAL's on options without effect.
    r = Run("-m helmert proyecto/capas/montes.shp montes.geojson");
    EXPECT_TRUE(r.status == 0 && !Has(r.err, "aviso")) << r.err;

    // A folder deeper than a path can name (PATH_MAX) is refused by name, not passed over.
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && mkdir -p honda/$(printf 'dd/%.0s' $(seq 1800)) && "
                           "echo 'P;40,41;-3,70' > honda/a.csv").c_str()), 0);
    r = Run("-m helmert honda honda-x");
    EXPECT_TRUE(r.status == 1 && Has(r.err, "/dd: rechazado: carpeta demasiado honda") &&
                Has(r.err, "1 fichero convertido, 0 con errores, 1 rechazado"))
        << r.err;
    EXPECT_EQ(std::system(("rm -rf '" + (dir / "honda").string() + "'").c_str()), 0);
}

}  // namespace

// A hiker's GPX and KML files: every waypoint, route point, track point and placemark
// point is a row with its own columns, converted as the same points of a CSV file with
// their elevations as altitudes; a malformed file stops with its line and column and
// leaves no file; the other direction is refused.
// Workbooks made by GDAL (tests/batch/sheets.py) and an old .xls written by SheetJS
// (scripts/libro_xls.js): each sheet with points is converted as a table and written as
// the same kind of workbook, read back by GDAL and, for XLSX, by Python's zipfile and
// ElementTree, its points where PROJ's cct puts them with the grid, its input columns as
// they were, its result coordinates number cells.
TEST_F(Lote, WorkbookSheetsConvertAsTablesAndComeBackAsWorkbooks) {
    const std::string script = "cd '" + dir.string() + "' && /usr/bin/python3 '" TALPOR_TEST_DATA "/../batch/sheets.py' ";
    const std::string grid = " '" TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif'";
    ASSERT_EQ(std::system((script + "make .").c_str()), 0);
    for (const std::string ext : {"xlsx", "ods"}) {
        const Ran r = Run("-s ed50-wgs84 -m rejilla libro." + ext + " salida." + ext);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.err, "libro." + ext + ", hoja «Puntos»: 2 filas convertidas; punto en las columnas 2 a 4, altitud") &&
                    Has(r.err, "libro." + ext + ", hoja «Grados»: 1 fila convertida") &&
                    Has(r.err, "libro." + ext + ": la hoja «Notas» no tiene puntos: no se escribe"))
            << r.err;
        EXPECT_EQ(std::system((script + "check salida." + ext + grid + " > leido.txt").c_str()), 0) << ReadFile(dir / "leido.txt");
    }
    // Toward a text table, today's table of each sheet, numbers with the decimal comma.
    Ran r = Run("-s ed50-wgs84 -m rejilla libro.xlsx salida.csv");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(ReadFile(dir / "salida.csv"), "\nV1\t30\t440721,12\t4474447,5\t650,3\t40º ") &&
                Has(ReadFile(dir / "salida-DMS.csv"), "\nD1\t40º 25' 3,1234\" N\t") &&
                Has(r.err, "la hoja «Grados» se escribe en salida-Grados.csv"))
        << r.err;
    EXPECT_TRUE(Has(Run("-s ed50-wgs84 -m rejilla libro.xlsx salida.csv").err,
                    "escribiría también «salida-Grados.csv» y «salida-DMS.csv», y ya existen"));

    // A workbook is one by its content, whatever its name.
    fs::copy_file(dir / "libro.xlsx", dir / "libro.dat");
    r = Run("-s ed50-wgs84 -m rejilla libro.dat otro.dat");
    EXPECT_TRUE(r.status == 0 && Has(r.err, "libro.dat, hoja «DMS»: 1 fila convertida")) << r.err;
    EXPECT_EQ(std::system((script + "check otro.dat" + grid + " > leido.txt").c_str()), 0) << ReadFile(dir / "leido.txt");

    // Columns named: a height column a sheet has not leaves it without heights; point
    // columns it has not leave it out, said.
    r = Run("-s ed50-wgs84 -m rejilla -c Huso,Este,Norte --altitud=Altitud libro.xlsx columnas.xlsx");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "hoja «Puntos»: 2 filas convertidas; punto en las columnas 2 a 4, altitud") &&
                Has(r.err, "la hoja «Grados» no se puede leer: la columna «Huso» no está en la cabecera: no se escribe"))
        << r.err;
    r = Run("-s ed50-wgs84 -m rejilla --altitud=Altitud libro.xlsx altitud.xlsx");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "hoja «Grados»: 1 fila convertida; punto en las columnas 2 y 3, cabecera")) << r.err;

    // An .xls is read by GDAL and written as .xlsx; one it cannot read is refused.
    fs::copy_file(TALPOR_TEST_DATA "/libro.xls", dir / "viejo.xls");
    r = Run("-s ed50-wgs84 -m rejilla viejo.xls nuevo.xls");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "viejo.xls: Excel antiguo (.xls), que GDAL lee pero no escribe: escrita como .xlsx en nuevo.xlsx"))
        << r.err;
    EXPECT_EQ(std::system((script + "check nuevo.xlsx" + grid + " Puntos > leido.txt").c_str()), 0) << ReadFile(dir / "leido.txt");
    WriteFile(dir / "roto.xls", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + Garbage());
    r = Run("roto.xls roto.xlsx");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "talpor-lote: roto.xls: no se puede leer como hoja de cálculo (") &&
                Has(r.err, "): guárdela como .xlsx o CSV\n"))
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "roto.xlsx"));

    // In a folder, each workbook a workbook, the .xls as .xlsx.
    fs::create_directory(dir / "libros");
    fs::rename(dir / "libro.ods", dir / "libros/libro.ods");
    fs::rename(dir / "viejo.xls", dir / "libros/viejo.xls");
    r = Run("-s ed50-wgs84 -m rejilla libros convertidos");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "2 ficheros convertidos, 0 con errores")) << r.err;
    EXPECT_EQ(std::system((script + "check convertidos/libro.ods" + grid + " > leido.txt").c_str()), 0) << ReadFile(dir / "leido.txt");
    EXPECT_EQ(std::system((script + "check convertidos/viejo.xlsx" + grid + " Puntos > leido.txt").c_str()), 0)
        << ReadFile(dir / "leido.txt");
}

// QGIS projects made by QGIS itself (tests/batch/qgis_projects.py), converted in a folder
// run, alone (with the files of their folder, several at once) and with their layers
// into GeoPackages: QGIS reads each back on the converted layers, valid, in ETRS89 UTM
// 30, its view, bookmark and layout's map where the grid (cct) puts the old ones, its
// vertices where ogr2ogr puts them, its styles and every other byte as they were. The
// layers it does not convert are named. What is no QGIS project is refused; one of an
// unknown version is converted where its structure is QGIS 3's, and said so.
TEST_F(Lote, AQgisProjectFollowsItsLayersIntoTheTargetSystem) {
    const std::string script = "cd '" + dir.string() + "' && /usr/bin/python3 '" TALPOR_TEST_DATA "/../batch/qgis_projects.py' ";
    const std::string grid = " '" TALPOR_DATA_DIR "/es_ign_SPED2ETV2.tif'";
    ASSERT_EQ(std::system((script + "make . 2> /dev/null").c_str()), 0);
    const auto check = [&](const std::string& output, const std::string& projects) {
        EXPECT_EQ(std::system((script + "check . " + output + grid + " " + projects + " > leido.txt 2>&1").c_str()), 0)
            << output << ":\n" << ReadFile(dir / "leido.txt");
    };
    Ran r = Run("--destino=etrs89-utm30 -m rejilla obra salida");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "obra/mapa.qgz: proyecto de QGIS: 5 capas leen ahora sus ficheros convertidos; movidos (ED50 UTM "
                           "30 → ETRS89 UTM 30, rejilla): el sistema del proyecto, la extensión del mapa, la vista inicial, el "
                           "marcador, el mapa de "
                           "un diseño de impresión, la cuadrícula de un mapa y el elipsoide de las medidas (GRS80)\n") &&
                Has(r.err, "obra/mapa.qgz: capa «PNOA»: lee un servicio web (WMS, WMTS o teselas); sin cambios\n") &&
                Has(r.err, "obra/mapa.qgz: capa «memoria»: lee una capa en memoria; sin cambios\n") &&
                Has(r.err, "obra/mapa.qgz: capa «fuera»: su fichero no es de los que se convierten (está fuera de la "
                           "carpeta); sigue leyendo «" + (dir / "fuera.shp").string() + "»\n") &&
                Has(r.err, "obra/etrs.qgs: proyecto de QGIS: 1 capa lee ahora su fichero convertido\n") &&
                Has(r.err, "obra/grados.qgs: proyecto de QGIS: 1 capa lee ahora su fichero convertido; movidos (ED50 "
                           "geográficas → ETRS89 UTM 30, rejilla): el sistema del proyecto, la extensión del mapa, la vista "
                           "inicial, el marcador, el mapa de un diseño de impresión y la cuadrícula de un mapa\n") &&
                Has(r.err, "obra/huso31.qgs: proyecto de QGIS: 1 capa lee ahora su fichero convertido; movidos (ED50 UTM "
                           "31 → ETRS89 UTM 30, rejilla): el sistema del proyecto, la extensión del mapa, la vista "
                           "inicial, el marcador, el mapa de un diseño de impresión y la cuadrícula de un mapa\n") &&
                Has(r.err, "talpor-lote: 9 ficheros convertidos, 0 con errores, 0 rechazados\n"))
        << r.err;
    check("salida", "");
    // A project is never replaced without the user's word.
    r = Run("--destino=etrs89-utm30 -m rejilla obra salida");
    EXPECT_TRUE(Has(r.err, "obra/mapa.qgz: rechazado: ya existe «salida/mapa.qgz»")) << r.err;
    // Alone, into a folder deeper than its own: the layers it does not convert still read
    // what they read.
    r = Run("-j 2 --destino=etrs89-utm30 -m rejilla obra/mapa.qgz solo/en/otra");
    EXPECT_TRUE(r.status == 0 && Has(r.err, "talpor-lote: 5 ficheros convertidos, 0 con errores, 0 rechazados\n")) << r.err;
    check("solo/en/otra", "mapa.qgz");
    // The layers into GeoPackages, the KMZ's too: the project reads them there; the
    // orthophoto keeps its format.
    r = Run("--destino=etrs89-utm30 -m rejilla --formato=gpkg obra/mapa.qgz engpkg");
    EXPECT_TRUE(r.status == 0 && !Has(r.err, "sale como tabla")) << r.err;
    check("engpkg", "mapa.qgz");
    EXPECT_EQ(Run("-m rejilla obra/mapa.qgz").status, 2);

    // Projects as people may have them.
    fs::create_directories(dir / "raros");
    WriteFile(dir / "raros/roto.qgs", "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n<qgis version=\"3.22.16\"><projectlayers>\n");
    WriteFile(dir / "raros/raro.qgs", "<qgis version=\"3.34.0\"><projectlayers><maplayer type=\"vector\"><extent/></maplayer></projectlayers></qgis>");
    WriteFile(dir / "raros/nuevo.qgs",
              "<qgis version='4.0.0'>\n <projectCrs><spatialrefsys><authid>EPSG:23030</authid></spatialrefsys></projectCrs>\n"
              " <projectlayers><maplayer type=\"vector\"><id>w</id><datasource>url=https://x?a=1&amp;b=2</datasource>"
              "<provider>wfs</provider></maplayer></projectlayers>\n <!-- notas: <no tocar> -->\n</qgis>\n");
    // What xmllint refuses is refused, never written again (found by scripts/fuzz_projects.py).
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"nulo.qgs", std::string("<qgis version=\"3.22\"><title>a") + '\0' + "b</title></qgis>"},
             {"cdata.qgs", "<qgis version=\"3.22\"><title>a]]>b</title></qgis>"},
             {"latin1.qgs", "<qgis version=\"3.22\"><title>Pe\xF1" "alara</title></qgis>"},
             {"comentario.qgs", "<qgis version=\"3.22\"><!-- a -- b --></qgis>"},
             {"entidad.qgs", "<qgis version=\"3.22\"><title>&#xD800;</title></qgis>"},
             {"cruzado.qgs", "<qgis version=\"3.22\"><title><b></title></b></qgis>"}})
        WriteFile(dir / "raros" / name, text);
    r = Run("--destino=etrs89-utm30 raros otros");
    for (const char* name : {"nulo", "cdata", "latin1", "comentario", "entidad", "cruzado"})
        EXPECT_TRUE(Has(r.err, "raros/" + std::string(name) + ".qgs: rechazado: no es un XML bien formado: ")) << name << r.err;
    EXPECT_FALSE(fs::exists(dir / "otros/nulo.qgs") || fs::exists(dir / "otros/cdata.qgs"));
    EXPECT_TRUE(Has(r.err, "raros/roto.qgs: rechazado: no es un XML bien formado: el elemento «projectlayers» queda abierto") &&
                Has(r.err, "raros/raro.qgs: rechazado: una capa del proyecto no tiene la forma que QGIS le da") &&
                Has(r.err, "raros/nuevo.qgs: proyecto de QGIS: 0 capas leen ahora sus ficheros convertidos; movidos (ED50 "
                           "UTM 30 → ETRS89 UTM 30, helmert): el sistema del proyecto\n") &&
                Has(r.err, "raros/nuevo.qgs: capa «w»: lee un servicio web (WFS); sin cambios\n") &&
                Has(r.err, "raros/nuevo.qgs: es de QGIS 4.0.0, que Talpor no conoce: se ha convertido donde su estructura es "
                           "la de QGIS 3\n"))
        << r.err;
    const std::string nuevo = ReadFile(dir / "otros/nuevo.qgs");
    EXPECT_TRUE(Has(nuevo, "<qgis version='4.0.0'>\n <projectCrs><spatialrefsys>\n") && Has(nuevo, "<authid>EPSG:25830</authid>") &&
                Has(nuevo, "</spatialrefsys></projectCrs>\n <projectlayers><maplayer type=\"vector\"><id>w</id><datasource>url=https://x?a=1&amp;b=2</datasource>") &&
                nuevo.ends_with("<!-- notas: <no tocar> -->\n</qgis>\n"))
        << nuevo;
}

TEST_F(Lote, GpxAndKmlFilesAreReadAsTheirPoints) {
    WriteFile(dir / "ruta.gpx",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\" "
              "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
              "<wpt lat=\"40.4168\" lon=\"-3.7038\"><ele>650</ele><name>Sol &amp; &#201;l &lt;1&gt;</name>"
              "<desc>Kil&#243;metro\n  cero</desc></wpt>\n"
              "<rte><name>Ca&#241;ada</name><rtept lat=\"40.5\" lon=\"-3.8\"/></rte>\n"
              "<trk><name>Subida</name><trkseg><trkpt lat=\"40.8502\" lon=\"-3.9557\"><ele>2428</ele>"
              "<time>2026-05-01T10:00:00Z</time></trkpt></trkseg>\n"
              "<trkseg><trkpt lat=\"95\" lon=\"-3.9\"><ele>1</ele></trkpt>\n"
              "<trkpt lat=\"39.57\" lon=\"2.65\"><ele>12.5</ele></trkpt></trkseg></trk>\n"
              "<wpt lat=\"40.5\" lon=\"-3.8\"><name>Fuente</name><cmt>agua</cmt><link href=\"https://example.org/f\">"
              "<text>f</text></link><sym>Drinking Water</sym><type>Fuente</type></wpt>\n</gpx>\n");
    WriteFile(dir / "puntos.kml",
              "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><Folder><name>V</name>\n"
              "<Placemark><name>Sol</name><Point><coordinates>-3.7038,40.4168,650</coordinates></Point></Placemark>\n"
              "<Placemark><name>Linea</name><LineString><coordinates>-3,40 -4,41</coordinates></LineString>"
              "</Placemark>\n<Placemark><name>Bajo</name><Point><coordinates> -3.8,40.5 </coordinates></Point>"
              "</Placemark>\n</Folder></Document></kml>\n");
    WriteFile(dir / "puntos.csv", "Nombre;Lat;Lon;Alt\nA;40.4168;-3.7038;650\nB;40.5;-3.8;\nC;40.8502;-3.9557;2428\n"
                                  "D;39.57;2.65;12.5\nE;40.5;-3.8;\n");
    // The result columns of each row, after its own.
    const auto results = [](const std::string& out, std::size_t own) {
        std::vector<std::string> rows;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            std::size_t at = 0;
            for (std::size_t i = 0; i < own; ++i) at = line.find(';', at) + 1;
            rows.push_back(line.substr(at));
        }
        return rows;
    };
    const std::vector<std::string> csv = results(Run("--coma --altitud=Alt puntos.csv").out, 4);
    Ran gpx = Run("ruta.gpx");
    EXPECT_EQ(gpx.status, 1);
    EXPECT_TRUE(Has(gpx.err, "ruta.gpx:7: latitud fuera de rango (95)")) << gpx.err;  // the element's line
    EXPECT_TRUE(Has(gpx.err, "5 filas convertidas, 1 con error; fichero GPX")) << gpx.err;
    // After the track, not in it; with every child a hand-held unit writes.
    EXPECT_TRUE(Has(gpx.out, "\nwaypoint;;;Fuente;40.5;-3.8;;;;agua;Drinking Water;Fuente;;https://example.org/f;"))
        << gpx.out;
    EXPECT_TRUE(Has(gpx.out, "\nwaypoint;;;Sol & Él <1>;40.4168;-3.7038;650;;Kilómetro cero;")) << gpx.out;
    EXPECT_TRUE(Has(gpx.out, "\nruta;Cañada;;;40.5;-3.8;;;;")) << gpx.out;
    EXPECT_TRUE(Has(gpx.out, "\ntrack;Subida;1;;40.8502;-3.9557;2428;2026-05-01T10:00:00Z;;")) << gpx.out;
    EXPECT_TRUE(Has(gpx.out, "\ntrack;Subida;2;;95;-3.9;1;;;;;;;;;;;;;;;;;;fila 5: latitud")) << gpx.out;
    std::vector<std::string> read = results(gpx.out, 14);
    read.erase(read.begin() + 4);
    EXPECT_EQ(read, csv);
    // KML is a layer: a row a vertex, the line's two too; a point without altitudeMode
    // lies on the ground, whatever its third number, and has no height.
    Ran kml = Run("puntos.kml");
    EXPECT_EQ(kml.status, 0) << kml.err;
    const std::string bajo = "40º 30' 4,2425\" N;3º 47' 55,2913\" W;40,50117848;-3,79869203;30T;432321,51;4483769,41;";
    EXPECT_TRUE(Has(csv[2], bajo) && Has(kml.out, "\nV;3;1;0;1;Bajo;") && Has(kml.out, bajo)) << kml.out;
    EXPECT_TRUE(Has(kml.out, "\nV;2;1;0;1;Linea;") && Has(kml.out, "\nV;2;1;0;2;Linea;")) << kml.out;
    EXPECT_TRUE(Has(kml.out, "40,41680000;-3,70380000;;40º 25' 4,7289\" N")) << kml.out;
    EXPECT_TRUE(Has(kml.out, ";;sin altura (pegado al suelo)\n")) << kml.out;  // Aviso, not Error
    EXPECT_TRUE(Has(kml.err, "; 1 vértice sin altura (su Z no es una altitud)")) << kml.err;

    // Malformed, or an entity that would swell or read a file: stopped where it is.
    WriteFile(dir / "mal.gpx", "<?xml version=\"1.0\"?>\n<gpx>\n<wpt lat=\"40\" lon=\"-3\"><name>a</wpt>\n</gpx>\n");
    WriteFile(dir / "entidad.gpx", "<!DOCTYPE gpx [<!ENTITY a \"aaaa\"><!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
                                   "<gpx><wpt lat=\"40\" lon=\"-3\"><name>&a;&x;</name></wpt></gpx>\n");
    for (const char* file : {"mal.gpx", "entidad.gpx"}) {
        const Ran bad = Run(std::string(file) + " -o mal.csv");
        EXPECT_EQ(bad.status, 2);
        EXPECT_TRUE(Has(bad.err, std::string(file) + ": XML mal formado en la línea ")) << bad.err;
        EXPECT_FALSE(fs::exists(dir / "mal.csv"));
    }
    EXPECT_TRUE(Has(Run("mal.gpx").err, "línea 3, columna 37: Opening and ending tag mismatch"));
    EXPECT_TRUE(Has(Run("-s ed50-wgs84 ruta.gpx").err, "los ficheros GPX son WGS84: se convierten en el sentido WGS84 a ED50"));

    // UTF-16, little-endian with its mark or big-endian without it and without the XML
    // declaration (where libxml2 alone would not know it): the same points.
    std::string little = "\xFF\xFE", big;
    const std::string utf8 = ReadFile(dir / "ruta.gpx");  // ASCII but for the entities
    for (char c : utf8) little += {c, '\0'};
    for (char c : utf8.substr(utf8.find('\n') + 1)) big += {'\0', c};
    WriteFile(dir / "le.gpx", little);
    WriteFile(dir / "be.gpx", big);
    EXPECT_EQ(Run("le.gpx").out, gpx.out);
    EXPECT_EQ(Run("be.gpx").out, gpx.out);

    // Only GPX's own elements are read; of an element a point holds once, the first.
    WriteFile(dir / "otros.gpx",
              "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" xmlns:o=\"urn:o\">\n<wpt lat=\"40.4\" lon=\"-3.7\">"
              "<ele>1</ele>\n<ele>2</ele><o:name>otro</o:name><name>mío</name></wpt>\n<o:wpt lat=\"41\" lon=\"-3\"/>\n"
              "<wpt lat=\"40.5\" o:lat=\"10\" lon=\"-3.6\"><extensions><o:x><wpt lat=\"1\" lon=\"1\"/></o:x>"
              "</extensions></wpt></gpx>\n");
    const Ran others = Run("otros.gpx");
    EXPECT_EQ(others.status, 0);
    EXPECT_TRUE(Has(others.err, "otros.gpx:3: aviso: <ele> repetido en el waypoint de la línea 2: se toma el primero"))
        << others.err;
    EXPECT_TRUE(Has(others.err, "2 filas convertidas")) << others.err;
    EXPECT_TRUE(Has(others.out, "\nwaypoint;;;mío;40.4;-3.7;1;;;;;;;;40º 24' 4,2504\" N;")) << others.out;
    EXPECT_TRUE(Has(others.out, "\nwaypoint;;;;40.5;-3.6;;;;;;;;;40º 30' 4,2389\" N;")) << others.out;

    // A text of 64 MiB is refused once it passes 1 MiB, naming its element, in bounded
    // memory; so is a comment that never ends.
    for (const char* open : {"<wpt lat=\"40\" lon=\"-3\">\n<name>", "<!--"}) {
        std::string huge = "<gpx>\n" + std::string(open);
        huge.resize(huge.size() + (64 << 20), 'x');
        WriteFile(dir / "enorme.gpx", huge + "</name></wpt></gpx>\n");
        const int status = std::system(("cd '" + dir.string() + "' && " PEAK_MEMORY " " TALPOR_LOTE
                                        " enorme.gpx -o enorme.csv > pico.txt 2> errores.txt").c_str());
        EXPECT_EQ(WEXITSTATUS(status), 2);
        EXPECT_LT(std::atol(ReadFile(dir / "pico.txt").c_str()), 100 << 10);  // KiB; the text alone is 64 MiB
        EXPECT_TRUE(Has(ReadFile(dir / "errores.txt"), open[1] != '!' ? "enorme.gpx: el texto de <name> en la línea 3 pasa de 1 MiB"
                                                                   : "enorme.gpx: más de 1 MiB sin un elemento"))
            << ReadFile(dir / "errores.txt");
        EXPECT_FALSE(fs::exists(dir / "enorme.csv"));
    }
}

// ED50 landmarks to a GPS and a globe viewer: one waypoint, placemark or feature a row,
// named by the row's name, its altitude as elevation, the failed row kept with its
// error; what is written reads back as the points written, and GDAL lists them.
TEST_F(Lote, ConvertedPointsGoToGpxKmlAndGeoJson) {
    WriteFile(dir / "hitos.csv", "Hito;Este;Norte;Cota\nH-01;440721,00;4474447,00;650,2\nH-02;x;4486210,75;1\n"
                                 "Fuente del Caño;498002,10;4501120,40;\n");
    const std::string options = "-s ed50-wgs84 --huso=30 --altitud=Cota hitos.csv --formato=";
    for (const char* format : {"gpx", "kml", "geojson"}) {
        SCOPED_TRACE(format);
        const Ran r = Run(options + format + " -o hitos." + format);
        EXPECT_EQ(r.status, 1) << r.err;
        const std::string out = ReadFile(dir / ("hitos." + std::string(format)));
        EXPECT_TRUE(Has(out, "fila 3: ")) << out;
        if (std::string(format) != "geojson") {
            // Read back: the WGS84 points of H-01 (PROJ: 40.41666326, -3.70000886) and of
            // the fountain (at height 0, as it has none), the altitude where there was one.
            // (KML as a layer: its absolute altitude is one, in the window's digits.)
            const bool gpx = std::string(format) == "gpx";
            const Ran back = Run("hitos." + std::string(format) + " -o vuelta.csv");
            const std::string vuelta = ReadFile(dir / "vuelta.csv");
            EXPECT_TRUE(gpx ? Has(vuelta, ";;H-01;40.41666326;-3.70000886;650.2;")
                            : Has(vuelta, ";H-01;") && Has(vuelta, ";absolute;") && Has(vuelta, ";40,41666326;-3,70000886;650,2;"))
                << vuelta << back.err;
            EXPECT_TRUE(gpx ? Has(vuelta, ";;Fuente del Caño;40.65907459;-3.02492287;;")
                            : Has(vuelta, ";Fuente del Caño;") && Has(vuelta, ";40,65907459;-3,02492287;;"))
                << vuelta << back.err;
        } else {
            // RFC 7946's third coordinate, the height above the ellipsoid: PROJ's geoid
            // (vgridshift +multiplier=1 on the shipped grid) gives 701.311 m for 650.2 m.
            EXPECT_TRUE(Has(out, "\"coordinates\": [-3.70000886, 40.41666326, 701.3]}, \"properties\": {\"name\": \"H-01\"")) << out;
            EXPECT_TRUE(Has(out, "\"geometry\": null, \"properties\": {\"name\": \"H-02\"")) << out;
        }
        if (std::system("command -v ogrinfo > /dev/null 2>&1") != 0) continue;
        const std::string listing = "cd '" + dir.string() + "' && ogrinfo -ro -al -q hitos." + format + " > ogr.txt 2>&1";
        ASSERT_EQ(std::system(listing.c_str()), 0) << ReadFile(dir / "ogr.txt");
        const std::string ogr = ReadFile(dir / "ogr.txt");
        EXPECT_TRUE(Has(ogr, "H-01") && Has(ogr, "Fuente del Caño")) << ogr;
        EXPECT_TRUE(Has(ogr, "-3.70000886 40.41666326") && Has(ogr, "650.2") && Has(ogr, "POINT (-3.02492287 40.65907459)"))
            << ogr;
        // Numbers are JSON numbers, of one type in every feature, whatever the decimal sign.
        if (std::string(format) == "geojson") {
            EXPECT_TRUE(Has(ogr, "Este WGS84 (Real) = 440611.98") && Has(ogr, "Altitud WGS84 (EGM08-REDNAP) (Real) = 650.2"))
                << ogr;
        }
    }
}

// Texts that break files written carelessly (tests/data/hostile-texts.txt, blanks alone and
// a terminal's colour code besides), as the names and notes of points and in a column's
// name, read back by parsers that are not Talpor's (tests/batch/read_back.py: Python's csv,
// json and ElementTree, xmllint, ogrinfo): each text comes back as it went in, from tables
// of each separator, GPX, KML and GeoJSON and every kind of layer. A leading "=" stays text:
// Talpor writes what the table holds, and whether a spreadsheet runs it is the
// spreadsheet's choice. XML holds no control character: GPX and KML get "?" for it.
TEST_F(Lote, HostileTextsComeBackFromEveryFormatTalporWrites) {
    std::vector<std::string> texts;
    for (const auto& r : testing_support::ReadDataFile("hostile-texts.txt")) texts.push_back(r[0]);
    texts.insert(texts.end(), {"   ", "esc \x1b[31m rojo"});
    const auto write = [&](const std::string& name, char sep, const std::string& note, std::vector<std::string> cells) {
        const auto quoted = [](const std::string& s) {
            std::string q = "\"";
            for (char c : s) q += c == '"' ? std::string(2, c) : std::string(1, c);
            return q + "\"";
        };
        std::string t = std::string("Nombre") + sep + "Latitud" + sep + "Longitud" + sep + quoted(note) + "\n";
        for (std::size_t i = 0; i < cells.size(); ++i)
            t += quoted(cells[i]) + sep + "40.4" + std::to_string(i) + sep + "-3.7" + sep + quoted(cells[cells.size() - 1 - i]) + "\n";
        WriteFile(dir / name, t);
    };
    const std::string note = "Nota «1» \"a\" & <b>\t'c'";
    write("tabla.csv", ';', note, texts);
    write("comas.csv", ',', note, texts);
    write("blancos.txt", ' ', note, texts);
    const auto readBack = [&](const std::string& table, const std::string& output, const std::string& format) {
        const std::string sep = table == "comas.csv" ? "," : table == "blancos.txt" ? " " : ";";
        return std::system(("cd '" + dir.string() + "' && python3 '" TALPOR_TEST_DATA "/../batch/read_back.py' " + table + " '" +
                            sep + "' " + output + " '" + format + "' > leido.txt 2>&1").c_str()) == 0;
    };
    const std::array<std::string, 4> tables[] = {
        // The table, talpor-lote's options, its output and how it is read back.
        {"tabla.csv", "", "x.csv", "csv;"},
        {"comas.csv", "--punto", "x.csv", "csv,"},
        {"comas.csv", "--coma", "x.csv", "csv;"},  // fields quoted again for the new separator
        {"blancos.txt", "", "x.txt", "csv\\t"},
        {"tabla.csv", "-s ed50-wgs84 --formato=gpx", "x.gpx", "gpx"},
        {"tabla.csv", "-s ed50-wgs84 --formato=kml", "x.kml", "kml"},
        {"tabla.csv", "-s ed50-wgs84 --formato=geojson", "x.geojson", "geojson"},
    };
    for (const auto& [table, options, output, format] : tables) {
        SCOPED_TRACE(table + " " + options);
        const Ran r = Run(table + " " + options + " -o " + output);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(readBack(table, output, format)) << ReadFile(dir / "leido.txt") << ReadFile(dir / output);
    }

    // A layer of the same texts, but for those GDAL 3.6's own KML and GPX writers put in the
    // file as they come, which is then no XML ("]]>" inside its CDATA, a control
    // character), and with a plain column name, which they do not escape either. GDAL writes
    // DXF without attributes.
    std::vector<std::string> layerTexts;
    std::copy_if(texts.begin(), texts.end() - 1, std::back_inserter(layerTexts),
                 [](const std::string& t) { return t.find("]]>") == std::string::npos; });
    write("capa.csv", ';', "Observaciones del punto", layerTexts);
    const std::string csvToLayer = "ogr2ogr -f GPKG capa.gpkg capa.csv -oo X_POSSIBLE_NAMES=Longitud -oo "
                                   "Y_POSSIBLE_NAMES=Latitud -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:4230 -nln capa";
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && " + csvToLayer + " > ogr.txt 2>&1 && ogr2ogr -f GPKG "
                           "puntos.gpkg capa.gpkg -sql 'SELECT geom FROM capa' -nln capa >> ogr.txt 2>&1").c_str()), 0)
        << ReadFile(dir / "ogr.txt");
    for (const char* format : {"shp", "gpkg", "kml", "kmz", "geojson", "gpx", "dxf"}) {
        SCOPED_TRACE(format);
        const std::string output = std::string("capa-etrs89.") + format;
        const Ran r = Run((format == std::string("dxf") ? "puntos.gpkg " : "capa.gpkg ") + output);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(readBack("capa.csv", output, std::string("layer ") + format)) << ReadFile(dir / "leido.txt");
    }
}

// The output file's promises, as a user meets them: a replaced file keeps its permissions
// and a link stays a link to the file written; a run that cannot write keeps the old file
// as it was, says why and leaves no temporary file: a folder it may not write in, a name
// too long for the temporary file beside it (the same failure, even for root), a file
// size limit reached halfway (a full disk: ulimit -f, its SIGXFSZ ignored so that the
// writes fail, or left to stop the run). The same for a shapefile's files.
TEST_F(Lote, AReplacedFileKeepsItsModeAndAFailedRunTheOldFile) {
    std::string rows;
    for (int i = 0; i < 3000; ++i) rows += "P" + std::to_string(i) + ";40,41;-3,70\n";
    WriteFile(dir / "entrada.csv", rows);
    fs::create_directories(dir / "real");
    fs::create_symlink("real/destino.csv", dir / "enlace.csv");
    const std::string old = "el fichero de antes\n", tooLong(251, 'n');
    const std::string full = "trap '' XFSZ; ulimit -f 16; ";
    const bool root = geteuid() == 0;
    std::signal(SIGXFSZ, SIG_DFL);  // as a shell leaves it (Python, for one, ignores it)
    struct Case {
        std::string before, output;
        int status;
        std::string message;
    } cases[] = {
        {"", "salida.csv", 0, ""},
        {"", "enlace.csv", 0, ""},
        {"", tooLong + ".csv", 2, "no se puede escribir «" + tooLong + ".csv»: nombre demasiado largo"},
        {full, "salida.csv", 2, "no se puede escribir la salida: el fichero pasa del tamaño máximo permitido"},
        {"ulimit -f 16; ", "salida.csv", 128 + SIGXFSZ, ""},
        {"", root ? "" : "carpeta/salida.csv", 2, "no se puede escribir «carpeta/salida.csv»: permiso denegado"},
    };
    for (const auto& [before, output, status, message] : cases) {
        if (output.empty()) continue;  // root writes in a read-only folder: the long name fails alike
        SCOPED_TRACE(before + output);
        fs::create_directories((dir / output).parent_path());
        WriteFile(dir / output, old);
        fs::permissions(dir / output, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        if (output.starts_with("carpeta")) fs::permissions(dir / "carpeta", fs::perms::owner_read | fs::perms::owner_exec);
        const Ran r = Run("entrada.csv " + output, "< /dev/null > salida.txt", before);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_TRUE(Has(r.err, message)) << r.err;
        EXPECT_EQ(fs::status(dir / output).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        EXPECT_EQ(ReadFile(dir / output).starts_with("P0;40,41;-3,70;40º 24' 40,2495\" N;"), status == 0);
        if (status != 0) {
            EXPECT_EQ(ReadFile(dir / output), old);
        }
        if (fs::exists(dir / "carpeta")) fs::permissions(dir / "carpeta", fs::perms::owner_all);
    }
    EXPECT_TRUE(fs::is_symlink(dir / "enlace.csv"));

    // A shapefile replaced: each of its files keeps its mode, and all stay as they were when
    // the run cannot write them whole.
    std::string points = "WKT,nombre\n";
    for (int i = 0; i < 3000; ++i) points += "\"POINT (440000 4474000)\",punto " + std::to_string(i) + "\n";
    WriteFile(dir / "puntos.csv", points);
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && ogr2ogr -f 'ESRI Shapefile' puntos.shp puntos.csv -oo "
                           "GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:23030 > ogr.txt 2>&1").c_str()), 0);
    for (const char* part : {"shp", "shx", "dbf", "prj", "cpg"}) {
        WriteFile(dir / (std::string("etrs89.") + part), old);
        fs::permissions(dir / (std::string("etrs89.") + part), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
    EXPECT_EQ(Run("puntos.shp etrs89.shp", "< /dev/null > salida.txt", full).status, 2);
    for (const char* part : {"shp", "shx", "dbf", "prj", "cpg"}) EXPECT_EQ(ReadFile(dir / (std::string("etrs89.") + part)), old) << part;
    // GDAL's GeoJSON and KML writers say nothing of a failed write: the file is counted.
    for (const char* layer : {"wgs84.geojson", "wgs84.kml"}) {
        WriteFile(dir / layer, old);
        const Ran r = Run(std::string("puntos.shp ") + layer, "< /dev/null > salida.txt", full);
        EXPECT_EQ(r.status, 2) << layer;
        EXPECT_TRUE(Has(r.err, "el fichero escrito está incompleto")) << r.err;
        EXPECT_EQ(ReadFile(dir / layer), old) << layer;
    }
    EXPECT_EQ(Run("puntos.shp etrs89.shp").status, 0);
    for (const char* part : {"shp", "dbf"}) {
        EXPECT_NE(ReadFile(dir / (std::string("etrs89.") + part)), old);
        EXPECT_EQ(fs::status(dir / (std::string("etrs89.") + part)).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read) << part;
    }
    for (const auto& e : fs::recursive_directory_iterator(dir)) EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

namespace {

// A port on this machine that counts who connects to it.
class Listener {
  public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), size) == 0 && ::listen(fd_, 16) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd_); }
    int Port() const { return port_; }
    int Connections() {
        int n = 0;
        for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0; ++n) ::close(c);
        return n;
    }

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace

// Files that name an address, a database or a program: each read as the file it is, with
// its own driver, and nothing sent anywhere.
TEST_F(Lote, AFileThatNamesAnAddressIsReadWithoutTheNetwork) {
    Listener listener;
    ASSERT_NE(listener.Port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port());
    WriteFile(dir / "enlace.geojson", R"({"type": "FeatureCollection", "crs": {"type": "link", "properties": {"href": ")" + url +
                                          R"(/crs", "type": "proj4"}}, "features": [{"type": "Feature", "properties": {}, )"
                                          R"("geometry": {"type": "Point", "coordinates": [-3.7, 40.4]}}]})");
    WriteFile(dir / "red.kml", "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><NetworkLink><Link><href>" + url +
                                   "/red.kml</href></Link></NetworkLink><Placemark><Point><coordinates>-3.7,40.4</coordinates>"
                                   "</Point></Placemark></Document></kml>");
    WriteFile(dir / "esquema.gml", std::string("<?xml version=\"1.0\"?><ogr:FeatureCollection xmlns:ogr=\"http://ogr.maptools.org/\" "
                                       "xmlns:gml=\"http://www.opengis.net/gml/3.2\" xmlns:xsi=\"http://www.w3.org/2001/"
                                       "XMLSchema-instance\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" xsi:schemaLocation=\"") +
                                       "http://ogr.maptools.org/ " + url + "/esquema.xsd\"><ogr:featureMember><ogr:p gml:id=\"p.1\">"
                                       "<ogr:geometryProperty><gml:Point srsName=\"urn:ogc:def:crs:EPSG::23030\" gml:id=\"g1\">"
                                       "<gml:pos>440000 4474000</gml:pos></gml:Point></ogr:geometryProperty><ogr:ref xlink:href=\"" +
                                       url + "/otro.gml#x\"/></ogr:p></ogr:featureMember></ogr:FeatureCollection>");
    WriteFile(dir / "remota.vrt", "<VRTDataset rasterXSize=\"8\" rasterYSize=\"8\"><SRS>EPSG:23030</SRS><GeoTransform>440000,1,0,"
                                  "4478000,0,-1</GeoTransform><VRTRasterBand dataType=\"Byte\" band=\"1\"><SimpleSource>"
                                  "<SourceFilename>/vsicurl/" + url + "/orto.tif</SourceFilename></SimpleSource>"
                                  "</VRTRasterBand></VRTDataset>");
    // Names GDAL would take for a connection or a driver of its own, were they passed to it.
    WriteFile(dir / ("PG:host=127.0.0.1 port=" + std::to_string(listener.Port()) + ".csv"), "x;y\n440000;4474000\n");
    Ran r = Run("-m rejilla --destino=ed50-utm30 --origen=etrs89-utm30 enlace.geojson red.kml esquema.gml remota.vrt 'PG:host=127.0.0.1 port=" +
                std::to_string(listener.Port()) + ".csv' -o salida");
    EXPECT_EQ(listener.Connections(), 0) << r.err;
    EXPECT_TRUE(Has(r.err, "enlace.geojson: capa «enlace»: 1 entidad") && Has(r.err, "red.kml: capa «red»: 1 entidad") &&
                Has(r.err, "esquema.gml: capa «p»: 1 entidad") && Has(r.err, ".csv: 1 fila convertida") &&
                Has(r.err, "remota.vrt: rechazado"))
        << r.err;
}
