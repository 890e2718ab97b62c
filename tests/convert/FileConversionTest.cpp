// "Convertir fichero…" in the window: a file converted as talpor-lote converts it, a
// summary at the end, and a cancelled or failed run that leaves no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/frmTalpor.h"
#include "support/FakePlatform.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

using testing_support::ReadFile;

struct Started {
    testing_support::FakePlatform platform;
    app::frmTalpor window{platform};
    Started() { window.Form_Load(); }
};

}  // namespace

TEST(FileConversion, ConvertsTheChosenFileAndSumsItUp) {
    testing_support::TempFolder folder;
    const std::string in = (folder.path / "puntos.csv").string();
    testing_support::WriteFile(in, "Punto;Latitud;Longitud\nA;40.4166667;-3.7\nB;40 75 0 N;3 42 0 W\nC;38.5;-1.5\n");
    const std::string out = (folder.path / "puntos_ED50.csv").string();
    Started s;
    s.platform.fileNames = {in, out};
    s.platform.choices = {0};  // Helmert
    s.window.Click("CmdFichero", 0);
    const std::string written = ReadFile(out);
    EXPECT_NE(written.find("A;40.4166667;-3.7;"), std::string::npos) << written;
    EXPECT_NE(written.find("fila 3: minutos fuera de rango (75)"), std::string::npos) << written;
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().icon, form::MsgIcon::Exclamation);
    EXPECT_EQ(s.platform.LastMsgBox().text,
              "2 filas convertidas, 1 con error.\r\n\r\nResultado: " + out +
                  "\r\n\r\nLas filas con error siguen en su sitio, con el motivo en la columna "
                  "Error:\r\npuntos.csv:3: minutos fuera de rango (75)");
    EXPECT_FALSE(s.platform.progressOpen);

    // The IGN grid names the grid in the set column; without its file the user is told
    // before any file is asked for.
    Started grid;
    grid.platform.fileNames = {in, out};
    grid.platform.choices = {3};
    grid.window.Click("CmdFichero", 0);
    EXPECT_NE(ReadFile(out).find("A;40.4166667;-3.7;40º 25' 4,2"), std::string::npos) << ReadFile(out);
    EXPECT_NE(ReadFile(out).find(";SPED2ETV2;"), std::string::npos) << ReadFile(out);
    // The next time the open dialog starts in the file's folder and the grid is offered.
    grid.platform.fileNames = {in};
    grid.window.Click("CmdFichero", 0);  // then cancelled at the method
    EXPECT_EQ(grid.platform.openedIn, (std::vector<std::string>{"", folder.Str() + "/"}));
    EXPECT_EQ(grid.platform.offered, (std::vector<int>{0, 3}));
    Started noGrid;
    noGrid.platform.dataFolder = folder.path.string();
    noGrid.platform.fileNames = {in, out};
    noGrid.platform.choices = {3};
    noGrid.window.Click("CmdFichero", 0);
    ASSERT_EQ(noGrid.platform.msgBoxes.size(), 1u);
    EXPECT_TRUE(noGrid.platform.LastMsgBox().text.starts_with("No se encuentra la rejilla"));
    EXPECT_EQ(noGrid.platform.fileNames.size(), 1u);  // the output was not asked for

    // Eastings and northings without a zone: the zone is asked, the tab's offered first,
    // and the row is the one talpor-lote writes with --huso=30.
    const std::string hitos = (folder.path / "hitos.csv").string();
    testing_support::WriteFile(hitos, "Hito;Este;Norte;Cota\nH-01;440721,00;4474447,00;650,2\n");
    Started zone;
    zone.window.ChangeTab(1);
    zone.platform.fileNames = {hitos, out};
    zone.platform.choices = {0, 1};  // Helmert, zone 30
    zone.window.Click("CmdFichero", 1);
    EXPECT_EQ(zone.platform.offered, (std::vector<int>{0, 1}));
    EXPECT_NE(ReadFile(out).find("\nH-01;440721,00;4474447,00;650,2;40º 24' 59,9873\" N;3º 42' 0,0323\" W;"
                                 "40,41666314;-3,70000898;30T;440611,97;4474239,64;EST99;\n"),
              std::string::npos)
        << ReadFile(out);

    // Cancelled in a dialog: nothing happens. Cancelled in the progress window, a fault
    // in it, or the input as output: no file, the progress window closed, and the user
    // is told.
    Started quiet;
    quiet.platform.fileNames = {in};
    quiet.window.Click("CmdFichero", 0);  // no method chosen
    EXPECT_TRUE(quiet.platform.msgBoxes.empty());

    const struct {
        std::string output;
        int cancelAfter;
        const char* message;
    } cases[] = {
        {(folder.path / "cancelado.csv").string(), 0,
         "Conversión cancelada: no se ha escrito ningún fichero."},
        {in, -1, "No se ha podido convertir «puntos.csv»: "},
        {(folder.path / "fallo.csv").string(), -2, "Ha ocurrido un error en frmTalpor.CmdFichero_Click"},
    };
    for (const auto& c : cases) {
        Started t;
        t.window.ChangeTab(1);
        t.platform.fileNames = {in, c.output};
        t.platform.choices = {2};
        t.platform.cancelProgressAfter = c.cancelAfter;
        t.platform.failProgress = c.cancelAfter == -2;
        t.window.Click("CmdFichero", 1);
        ASSERT_EQ(t.platform.msgBoxes.size(), 1u);
        EXPECT_TRUE(t.platform.LastMsgBox().text.starts_with(c.message)) << t.platform.LastMsgBox().text;
        EXPECT_FALSE(t.platform.progressOpen);
    }
    EXPECT_FALSE(fs::exists(folder.path / "cancelado.csv"));
    EXPECT_FALSE(fs::exists(folder.path / "fallo.csv"));
    EXPECT_EQ(ReadFile(in).substr(0, 22), "Punto;Latitud;Longitud");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& f : fs::directory_iterator(folder.path)) ++files;
    EXPECT_EQ(files, 3u);  // the two inputs and the output: no temporary file left
}
