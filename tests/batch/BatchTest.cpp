// The run of a batch conversion: a stream of many chunks through the threads, and the
// command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "batch/CommandLine.h"
#include "batch/Stream.h"
#include "tables/TextTable.h"

namespace {

// --- The stream ---------------------------------------------------------------------------

// Many chunks through the threads: every row in its place, each with its own result.
TEST(BatchStream, ChunksAreWrittenInOrder) {
    std::string input = "Punto;Latitud;Longitud\n";
    std::mt19937 random(3);
    std::uniform_real_distribution<double> lat(36.0, 44.9), lon(-9.3, 4.3);
    for (int i = 1; i <= 30000; ++i) {
        char row[64];
        std::snprintf(row, sizeof row, "P%d;%.5f;%.5f\n", i, lat(random), lon(random));
        // One line in Latin-1, in the first chunk: the thread that reads it reads more.
        input += i == 1 ? "P1;40\xBA 25' 0\" N;3\xBA 42' 0\" W\n" : row;
    }
    std::FILE* inFile = std::tmpfile();
    std::FILE* outFile = std::tmpfile();
    ASSERT_TRUE(inFile && outFile);
    std::fwrite(input.data(), 1, input.size(), inFile);
    std::rewind(inFile);
    tables::Settings settings;
    settings.outputs = {false, false, true, false, true};
    const batch::Summary summary = batch::ConvertStream(fileno(inFile), fileno(outFile), settings);
    std::string output;
    std::rewind(outFile);
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, outFile)) > 0;) output.append(buffer, n);
    std::fclose(inFile);
    std::fclose(outFile);
    EXPECT_EQ(summary.converted + summary.failed, 30000u);
    EXPECT_GT(summary.failed, 0u);  // the points north of 44º are outside Helmert's area
    EXPECT_EQ(summary.windows1252, 1u);
    EXPECT_TRUE(summary.windows1252Out);  // in Latin-1 as it came
    std::istringstream in(input), out(output);
    std::size_t n = 0;
    for (std::string a, b; std::getline(in, a) && std::getline(out, b); ++n) {
        ASSERT_TRUE(b.starts_with(a + ";")) << "line " << n + 1 << ": " << b;
        if (b.find("fila ") != std::string::npos) {
            ASSERT_NE(b.find("fila " + std::to_string(n + 1) + ": "), std::string::npos) << b;
        }
    }
    EXPECT_EQ(n, 30001u);
}

// --- Command line ------------------------------------------------------------------------

TEST(BatchCommandLine, ReadsEveryOptionAndNamesTheBadOne) {
    const batch::CommandLine cl = batch::ParseCommandLine(
        {"-s", "ed50-wgs84", "--metodo=molodensky-ign", "--huso", "30", "-c2,3", "--altura=Cota", "--separador=tab",
         "--sin-cabecera", "--salida=utm,parametros", "-p", "entrada.txt", "-o", "salida.txt"});
    EXPECT_EQ(cl.settings.conversion.direction, core::Direction::ED50ToWGS84);
    EXPECT_EQ(cl.settings.conversion.method, tables::Method::MolodenskyIGN);
    EXPECT_EQ(cl.settings.conversion.zone, 30);
    EXPECT_EQ(cl.settings.conversion.input, tables::InputForm::Utm);
    EXPECT_EQ(cl.settings.layout.pointColumns, (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(cl.settings.layout.heightColumn, "Cota");
    EXPECT_EQ(cl.settings.layout.separator, tables::Separator::Tab);
    EXPECT_EQ(cl.settings.layout.header, false);
    EXPECT_FALSE(cl.settings.outputs.dms || cl.settings.outputs.degrees || cl.settings.outputs.height);
    EXPECT_TRUE(cl.settings.outputs.utm && cl.settings.outputs.set);
    EXPECT_EQ(cl.settings.decimalSign, '.');
    EXPECT_EQ(cl.input, "entrada.txt");
    EXPECT_EQ(cl.output, "salida.txt");
    // The height column adds the height result unless --salida chose the results.
    // With a height column the height and the altitude come too, unless --salida chose the
    // results; the grid has no height on the target datum, nor on WGS84 when it goes there.
    const tables::Outputs withHeight = batch::ParseCommandLine({"-a", "4"}).settings.outputs;
    EXPECT_TRUE(withHeight.height && withHeight.altitude);
    const tables::Outputs toED50 = batch::ParseCommandLine({"-m", "rejilla", "-a", "4"}).settings.outputs;
    EXPECT_TRUE(!toED50.height && toED50.altitude);
    const tables::Outputs toWGS84 =
        batch::ParseCommandLine({"-m", "rejilla", "-s", "ed50-wgs84", "-a", "4"}).settings.outputs;
    EXPECT_TRUE(!toWGS84.height && !toWGS84.altitude);
    EXPECT_EQ(batch::ParseCommandLine({}).input, "-");

    const std::pair<std::vector<std::string>, const char*> bad[] = {
        {{"--metodo=nube"}, "--metodo: valor no válido «nube»"},
        {{"--formato=gpx"}, "GPX, KML y GeoJSON son WGS84, y los resultados de wgs84-ed50 son ED50"},
        {{"-s", "ed50-wgs84", "--formato=shp"}, "--formato=shp: es un formato de capas, y la entrada no es una capa"},
        {{"--formato=xls"}, "--formato: valor no válido «xls»"},
        {{"--etiqueta=ed50", "a.shp"}, "--etiqueta: valor no válido «ed50»"},
        {{"-m", "rejilla", "-a", "4", "--salida=altura"}, "la rejilla del IGN no transforma la altura"},
        {{"-m", "rejilla", "-s", "ed50-wgs84", "-a", "4", "--salida=altitud"}, "no da altura sobre WGS84"},
        {{"--sentido"}, "falta el valor de la opción «--sentido»"},
        {{"--huso=32"}, "--huso: valor no válido «32»"},
        {{"--salida=gms,,utm"}, "lista con un elemento vacío"},
        {{"-x"}, "opción desconocida «-x»"},
        {{"--punto=si"}, "no lleva valor"},
        {{"a", "b", "c"}, "sobra el argumento «c»: con varias entradas, la carpeta de salida se da con -o"},
        {{"--huso=30", "--entrada=geo"}, "--huso es para puntos UTM"},
        {{"-a", "4", "--altitud=4"}, "--altura y --altitud no van juntas"},
        // A target takes each file from its own system: a direction, a zone or a label
        // given beside it would say otherwise, and --origen alone has nowhere to go.
        {{"--destino=etrs89-utm30", "-s", "ed50-wgs84"}, "--sentido no va con --destino"},
        {{"--destino=etrs89-utm30", "--huso=30"}, "--huso no va con --destino"},
        {{"--destino=etrs89-utm30", "--etiqueta=wgs84"}, "--etiqueta no va con --destino"},
        {{"--origen=ed50-utm30"}, "--origen va con --destino"},
        {{"--origen=ed50-utm32"}, "--origen: valor no válido «ed50-utm32»"},
        {{"-j", "0"}, "--procesos: valor no válido «0»"},
    };
    for (const auto& [args, message] : bad) {
        try {
            batch::ParseCommandLine(args);
            ADD_FAILURE() << message;
        } catch (const batch::UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
