// Talpor: converts points between WGS84 and ED50 (Helmert, Molodensky) with UTM.
//
// Developer options (the program itself takes no command line):
//   --screenshot FILE [--tab N] [--click NAME]...
//                                show the window (on tab N), click the buttons named
//                                (object names such as CmdED50Rejilla or Command1_4),
//                                save a picture of it, and of a message box or the
//                                About box a click left open as FILE with "-box"
//                                before its extension; quit
//   --exit-when-shown            print "shown" once the window has painted, then quit
//   --print-raised               print "raised" each time a later start has brought the
//                                window forward (with " minimised" or " inactive" when it
//                                is still so); once the window has painted, minimise it
//                                and activate another, as a user who left it would
#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <functional>

#include "app/frmTalpor.h"
#include "qt/Icons.h"
#include "qt/QtPlatform.h"
#include "qt/QtTranslation.h"
#include "qt/Style.h"
#include "qt/TalporWindow.h"

namespace {

// --print-raised: "raised" once the window is shown normally and active (the desktop
// answers a moment after the requests), or what it still is after a second.
void PrintWhenForward(QWidget& window, int triesLeft) {
    const bool minimised = window.isMinimized(), inactive = !window.isActiveWindow();
    if ((minimised || inactive) && triesLeft > 0) {
        QTimer::singleShot(10, &window, [&window, triesLeft] { PrintWhenForward(window, triesLeft - 1); });
        return;
    }
    std::printf("raised%s%s\n", minimised ? " minimised" : "", inactive ? " inactive" : "");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Qt's own widgets (the file chooser's dates and sizes) follow the environment's
    // locale: Spain's numbers and dates, as Talpor's own texts, whatever the desktop's
    // language (its messages keep it).
    if (qEnvironmentVariableIsSet("LC_ALL")) {
        qputenv("LANG", qgetenv("LC_ALL"));
        qunsetenv("LC_ALL");
    }
    for (const char* category : {"LC_NUMERIC", "LC_MONETARY", "LC_TIME"}) qputenv(category, "es_ES.UTF-8");
    QApplication application(argc, argv);
    // Qt has set the C library's locale from the environment: its numbers go back to the
    // point, which the program's own readers and its workers' records use.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    qt::UseStyle(application);
    // Names the per-user folders Qt gives: ~/.local/share/Talpor for the user's grids.
    QApplication::setApplicationName(QStringLiteral("Talpor"));
    // The menu entry the desktop shows the window under (its icon in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("es.talpor.Talpor"));
    if (!qt::InstallQtSpanish(application))
        std::fputs("Talpor: no se encuentra la traducción de Qt al español (qtbase_es.qm); "
                   "los botones de los mensajes se muestran en inglés.\n",
                   stderr);

    QString screenshot;
    int tab = -1;
    QStringList clicks;
    bool exitWhenShown = false;
    bool printRaised = false;
    QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size()) screenshot = args[++i];
        else if (args[i] == QLatin1String("--tab") && i + 1 < args.size()) tab = args[++i].toInt();
        else if (args[i] == QLatin1String("--click") && i + 1 < args.size()) clicks << args[++i];
        else if (args[i] == QLatin1String("--exit-when-shown")) exitWhenShown = true;
        else if (args[i] == QLatin1String("--print-raised")) printRaised = true;
    }

    qt::QtPlatform platform;
    app::frmTalpor frm(platform);
    frm.Form_Load();
    // A start that handed over to the running instance ends as it meant to.
    if (frm.MustEnd()) return frm.GetEndReason() == app::EndReason::HandedOver ? 0 : 1;

    qt::TalporWindow window(frm);
    platform.SetMainWindow(&window);
    platform.onShowMap = [&window](int tab) { window.ShowMap(tab); };

    std::function<void()> afterFirstPaint;
    if (exitWhenShown) {
        afterFirstPaint = [] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QApplication::exit(0);
        };
    } else if (printRaised) {
        afterFirstPaint = [&window] {
            // Another window takes the input and this one is minimised, as a user leaves it.
            auto* other = new QWidget(&window, Qt::Window);
            other->show();
            other->activateWindow();
            window.showMinimized();
        };
    } else if (!screenshot.isEmpty()) {
        afterFirstPaint = [&window, screenshot, tab, clicks] {
            if (tab >= 0) window.ChooseTab(tab);
            // Let the tab change and its repaint settle before taking the picture. The
            // timer is set first: a message box a click opens does not hold it up.
            QTimer::singleShot(300, &window, [&window, screenshot] {
                bool saved = window.grab().save(screenshot);
                // The map a click opened, beside: NAME-mapa.png.
                if (auto* map = window.findChild<QWidget*>(QStringLiteral("TalporMapa")); map && map->isVisible()) {
                    const QFileInfo file(screenshot);
                    saved = map->grab().save(file.path() + QLatin1Char('/') + file.completeBaseName() +
                                             QLatin1String("-mapa.") + file.suffix()) &&
                            saved;
                }
                if (QWidget* box = QApplication::activeModalWidget(); box != nullptr) {
                    const QFileInfo file(screenshot);
                    const QString boxFile = file.path() + QLatin1Char('/') + file.completeBaseName() +
                                            QLatin1String("-box.") + file.suffix();
                    saved = box->grab().save(boxFile) && saved;
                }
                std::fprintf(stderr, "%s %s\n", saved ? "Saved" : "Could not save",
                             screenshot.toLocal8Bit().constData());
                QApplication::exit(saved ? 0 : 1);
            });
            QTimer::singleShot(0, &window, [&window, clicks] {
                for (const QString& name : clicks) {
                    auto* button = window.findChild<QAbstractButton*>(name);
                    if (button == nullptr) {
                        std::fprintf(stderr, "No button %s\n", name.toLocal8Bit().constData());
                        continue;
                    }
                    button->click();
                }
            });
        };
    }
    // The settings entry is written once the window is on the screen (and at the end,
    // if the program ends before that).
    // So is the program's icon (a box shown before takes it when it opens), and so does
    // the program start listening for later starts, which bring this window forward.
    window.onFirstPaint = [&window, &platform, afterFirstPaint, printRaised] {
        QTimer::singleShot(0, &window, [&window, &platform, printRaised] {
            platform.FlushSettings();
            qt::ShowProgramIcon();
            platform.ListenForOtherStarts([&window, printRaised] {
                window.BringForward();
                if (printRaised) PrintWhenForward(window, 100);
            });
        });
        if (afterFirstPaint) afterFirstPaint();
    };

    window.show();
    int code = QApplication::exec();
    if (code == 0 && frm.GetEndReason() != app::EndReason::Closed &&
        frm.GetEndReason() != app::EndReason::None)
        code = 1;
    return code;
}
