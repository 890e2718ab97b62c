// Talpor: converts points between WGS84 and ED50 (Helmert, Molodensky) with UTM.
//
// Developer options (the program itself takes no command line):
//   --screenshot FILE [--tab N]  show the window (on tab N), save a picture of it, quit
//   --exit-when-shown            print "shown" once the window has painted, then quit
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/frmTalpor.h"
#include "qt/QtPlatform.h"
#include "qt/QtTranslation.h"
#include "qt/TalporWindow.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // Names the per-user folders Qt gives: ~/.local/share/Talpor for the user's grids.
    QApplication::setApplicationName(QStringLiteral("Talpor"));
    if (!talpor_qt::InstallQtSpanish(application))
        std::fputs("Talpor: no se encuentra la traducción de Qt al español (qtbase_es.qm); "
                   "los botones de los mensajes se muestran en inglés.\n",
                   stderr);

    QString screenshot;
    int tab = -1;
    bool exitWhenShown = false;
    QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size()) screenshot = args[++i];
        else if (args[i] == QLatin1String("--tab") && i + 1 < args.size()) tab = args[++i].toInt();
        else if (args[i] == QLatin1String("--exit-when-shown")) exitWhenShown = true;
    }

    talpor_qt::QtPlatform platform;
    app::frmTalpor frm(platform);
    frm.Form_Load();
    if (frm.MustEnd()) return 1;

    talpor_qt::TalporWindow window(frm);
    platform.SetMainWindow(&window);

    std::function<void()> afterFirstPaint;
    if (exitWhenShown) {
        afterFirstPaint = [] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QApplication::exit(0);
        };
    } else if (!screenshot.isEmpty()) {
        afterFirstPaint = [&window, screenshot, tab] {
            if (tab >= 0) window.ChooseTab(tab);
            // Let the tab change and its repaint settle before taking the picture.
            QTimer::singleShot(300, &window, [&window, screenshot] {
                bool saved = window.grab().save(screenshot);
                std::fprintf(stderr, "%s %s\n", saved ? "Saved" : "Could not save",
                             screenshot.toLocal8Bit().constData());
                QApplication::exit(saved ? 0 : 1);
            });
        };
    }
    // The settings entry is written once the window is on the screen (and at the end,
    // if the program ends before that).
    window.onFirstPaint = [&window, &platform, afterFirstPaint] {
        QTimer::singleShot(0, &window, [&platform] { platform.FlushSettings(); });
        if (afterFirstPaint) afterFirstPaint();
    };

    window.show();
    int code = QApplication::exec();
    if (code == 0 && frm.GetEndReason() != app::EndReason::Closed &&
        frm.GetEndReason() != app::EndReason::None)
        code = 1;
    return code;
}
