// The real window driven with the mouse and the keyboard (offscreen): input typed key by
// key or picked with the mouse, buttons clicked, results read from the widgets.
#include <QAccessible>
#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QHelpEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolTip>
#include <filesystem>
#include <tuple>

#include "ShownWindow.h"
#include "support/Files.h"
#include "qt/Icons.h"
#include "qt/ModelDialog.h"

using testing_support::ShownWindow;

namespace {

// What a screen reader announces; for a drop-down list or a tab bar, whose current item
// Linux announces in its place, the name set for the other desktops.
QString NameOf(QWidget* widget) {
    if (qobject_cast<QComboBox*>(widget) != nullptr || qobject_cast<QTabBar*>(widget) != nullptr)
        return widget->accessibleName();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible == nullptr ? QString() : accessible->text(QAccessible::Name);
}

}  // namespace

// Every control is inside its container, overlaps no sibling, and is announced by a short
// name, never a long tooltip: a caption, or what a field or a result holds.
TEST(Window, FitsIn800x600WithEveryControlInItsPlaceAndAShortAccessibleName) {
    ShownWindow<> s;
    EXPECT_EQ(s.window->windowTitle(), QStringLiteral("Talpor - Transformación de coordenadas"));
    EXPECT_LE(s.window->width(), 800);
    EXPECT_LE(s.window->height(), 600 - 40);  // room for the window frame and a panel
    EXPECT_EQ(s.Widget<QLabel>("LblOrto")->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_FALSE(s.Widget<QPushButton>("Command1", 0)->icon().isNull());
    // The program's icon comes from resources linked into the static Qt library.
    EXPECT_EQ(qt::ProgramIcon().availableSizes().size(), 4);  // 16 to 64 px
    // The UTM result lines align: every character they use is as wide as any other.
    QFontMetrics utm(s.Widget<QLabel>("LblUTM", 0)->font());
    for (QChar ch : QStringLiteral("0123456789.,= ±mENHuso"))
        EXPECT_EQ(utm.horizontalAdvance(ch), utm.horizontalAdvance(QLatin1Char('0')))
            << int(ch.unicode());
    std::map<QWidget*, std::vector<QWidget*>> siblings;
    for (auto& c : s.frm.Form().Controls()) {
        SCOPED_TRACE(c->id.ObjectName());
        // The pages behind the first are built after the first paint, or when asked for.
        QWidget* w = c->kind == form::Kind::Form ? s.window.get()
                                                : s.window->WidgetOf(c->id.name, c->id.index);
        ASSERT_NE(w, nullptr);
        const QString name = NameOf(w), tip = QString::fromStdString(c->toolTip);
        EXPECT_FALSE(name.trimmed().isEmpty());
        EXPECT_LE(name.size(), 60) << name.toStdString();
        EXPECT_TRUE(tip.size() <= 30 || name != tip) << name.toStdString();
        if (c->kind == form::Kind::Form) continue;
        EXPECT_EQ(w, s.window->findChild<QWidget*>(QString::fromStdString(c->id.ObjectName())));
        // Hidden pages get their size when shown; all pages are as large as the first.
        QWidget* room = c->container == "SSTab1" ? s.window->findChild<QWidget*>("SSTab1_page0")
                                                 : w->parentWidget();
        EXPECT_TRUE(room->rect().contains(w->geometry())) << "it leaves its container";
        siblings[w->parentWidget()].push_back(w);
    }
    for (auto& [parent, children] : siblings)
        for (std::size_t i = 0; i < children.size(); ++i)
            for (std::size_t j = i + 1; j < children.size(); ++j)
                EXPECT_FALSE(children[i]->geometry().intersects(children[j]->geometry()))
                    << children[i]->objectName().toStdString() << " overlaps "
                    << children[j]->objectName().toStdString();
    EXPECT_EQ(NameOf(s.window->findChild<QTabBar*>()), QStringLiteral("Pestañas"));
    auto* latitude = s.Widget<QLabel>("LblGeoLat", 0);
    const QString before = latitude->text();
    s.Click("CmdED50Helmert");
    EXPECT_NE(latitude->text(), before);
    EXPECT_EQ(NameOf(latitude), latitude->text());
}

TEST(WindowFields, FocusTypingPastingAndLeavingFollowTheFieldRulesAndACorrectedFieldHoldsTheFocus) {
    ShownWindow<> s;
    // The click that brings the focus selects the whole value, as Tab does, even with a
    // drag (the case users met); a click in the focused field places the caret.
    QLineEdit* height = s.Edit("TxtWGSg", 6);
    const QPoint left(2, 4), right(height->width() - 2, 4);
    QTest::mousePress(height, Qt::LeftButton, {}, right);
    QTest::mouseMove(height, left);
    QTest::mouseRelease(height, Qt::LeftButton, {}, left);
    EXPECT_EQ(height->selectedText(), QStringLiteral("600,0"));
    QTest::mouseClick(height, Qt::LeftButton, {}, left);
    EXPECT_FALSE(height->hasSelectedText());
    QTest::keyClicks(height, "1");
    QTest::mouseClick(height, Qt::LeftButton, {}, right);
    QTest::keyClicks(height, "5");
    EXPECT_EQ(height->text(), QStringLiteral("1600,05"));

    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    s.Focus("TxtWGSg", 0);
    EXPECT_EQ(degrees->palette().color(QPalette::Active, QPalette::Base), QColor(255, 255, 128));
    EXPECT_EQ(degrees->selectedText(), QStringLiteral("38"));
    QTest::keyClicks(degrees, "3a0");  // the letter is refused
    EXPECT_EQ(degrees->text(), QStringLiteral("30"));

    // Leaving it by a click on another tab: it is clamped and keeps its tab in front.
    auto* tabs = s.window->findChild<QTabBar*>();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QTest::qWait(10);
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");
    EXPECT_EQ(s.platform.LastMsgBox().title, "Limitaciones");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(degrees->hasFocus());
    EXPECT_EQ(degrees->text(), QStringLiteral("35"));

    s.Type("TxtWGSg", 2, "12.5.");  // "." becomes ","; a second comma is refused
    EXPECT_EQ(s.Edit("TxtWGSg", 2)->text(), QStringLiteral("12,5"));
    EXPECT_EQ(degrees->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));

    // A paste over the field's 255 characters keeps the first 255; leaving is a range check,
    // and the click into the other field neither selects there nor places a caret.
    s.Click("TxtWGSg", 6);
    height->selectAll();
    QApplication::clipboard()->setText(QString(300, QLatin1Char('7')));
    QTest::keyClick(height, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(height->text(), QString(255, QLatin1Char('7')));
    s.Click("TxtWGSg", 1);
    EXPECT_EQ(s.platform.msgBoxes.size(), 2u);
    EXPECT_TRUE(height->hasFocus());
    EXPECT_FALSE(s.Edit("TxtWGSg", 1)->hasSelectedText());
    s.Click("TxtWGSg", 1);  // the height is in range now: this click goes through
    EXPECT_EQ(s.Edit("TxtWGSg", 1)->selectedText(), QStringLiteral("16"));

    // A click on a button while the field is corrected does not run; the next one does.
    s.Type("TxtWGSg", 0, "50");
    s.Click("OptUTM", 1);
    EXPECT_EQ(s.platform.msgBoxes.size(), 3u);
    EXPECT_TRUE(degrees->hasFocus());
    EXPECT_TRUE(s.Widget<QRadioButton>("OptUTM", 0)->isChecked());
    s.Click("OptUTM", 1);
    EXPECT_TRUE(s.Widget<QRadioButton>("OptUTM", 1)->isChecked());
    EXPECT_EQ(s.platform.msgBoxes.size(), 3u);
    // UTM input: the geographic frame is grey and takes no click.
    EXPECT_FALSE(degrees->isEnabled());
    EXPECT_EQ(degrees->palette().color(QPalette::Active, QPalette::Text), QColor(128, 128, 128));
    s.Click("OptLng", 1);
    EXPECT_FALSE(s.Widget<QRadioButton>("OptLng", 1)->isChecked());

    s.Click("Command15");  // "Cerrar"
    EXPECT_EQ(s.frm.GetEndReason(), app::EndReason::Closed);
    EXPECT_FALSE(s.window->isVisible());
}

// The Qt platform's boxes take the focus, are closed with a key as a user does, and give
// the focus back to the field the user was in, checked once.
TEST(WindowBoxes, TheAboutBoxAndARangeMessageTakeTheFocusAndGiveItBackToTheField) {
    QTemporaryDir dir;
    testing_support::SpanishSettings spanish(dir.path());
    ShownWindow<qt::QtPlatform> s(dir.path() + "/talpor.lock");
    EXPECT_EQ(s.Widget("CmdAcerca")->toolTip(), QStringLiteral("Acerca de Talpor (F1)"));
    QList<Qt::Key> keys = {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Return};
    QStringList shown;
    auto closer = testing_support::OnEachBox<QDialog>([&](QDialog* box) {
        QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(box->isAncestorOf(focus));
        EXPECT_TRUE(box->screen()->availableGeometry().contains(box->frameGeometry()));
        auto* message = qobject_cast<QMessageBox*>(box);
        shown << (message != nullptr ? message->text() : box->objectName());
        if (auto* about = box->findChild<QTextBrowser*>(); about != nullptr) {
            const QString text = about->toPlainText();
            EXPECT_TRUE(text.contains(QStringLiteral(
                "Contiene datos derivados del Instituto Geográfico Nacional de España "
                "(www.ign.es), licencia CC BY 4.0")));
            EXPECT_FALSE(text.contains(QLatin1Char('|')) || text.contains(QStringLiteral("**")))
                << "the Markdown is shown formatted";
            EXPECT_EQ(qobject_cast<QPushButton*>(focus)->text().remove('&'),
                      QStringLiteral("Cerrar"));
        }
        QTest::keyClick(focus, keys.isEmpty() ? Qt::Key_Escape : keys.takeFirst());
    });
    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    const auto focusIsBack = [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return degrees->hasFocus(); }, 1000));
        EXPECT_EQ(s.frm.Form().focused, &s.frm.Form().Get("TxtWGSg", 0));
    };
    s.Focus("TxtWGSg", 0);
    QTest::keyClick(degrees, Qt::Key_F1);
    EXPECT_EQ(shown, QStringList{"TalporAbout"});
    focusIsBack();

    degrees->selectAll();
    QTest::keyClicks(degrees, "45");
    QTest::keyClick(degrees, Qt::Key_Tab);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return QApplication::activeModalWidget() == nullptr; }, 2000));
    EXPECT_EQ(degrees->text(), QStringLiteral("44"));
    focusIsBack();
    QTest::qWait(100);  // no second check when the window got active again
    s.Click("CmdAcerca");
    EXPECT_EQ(shown, (QStringList{"TalporAbout", "35 < Grados sexagesimales <44", "TalporAbout"}));
}

TEST(SolarCalendarWindow, PickedDayAndButtonFillTheThreeLabels) {
    ShownWindow<> s;  // today is 14 May 2026: summer time, UTC+1
    s.window->ChooseTab(2);
    auto* calendar = s.Widget<QCalendarWidget>("MonthView1");
    calendar->setCurrentPage(2024, 6);  // browsing to June 2024 does not pick a day
    // Click the 21st; the grid's ends show other months, but a day from 15 to 22 appears once.
    auto* view = calendar->findChild<QTableView*>();
    QAbstractItemModel* days = view->model();
    for (int row = 0; row < days->rowCount(); ++row)
        for (int col = 0; col < days->columnCount(); ++col)
            if (days->index(row, col).data().toString() == QStringLiteral("21"))
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                  view->visualRect(days->index(row, col)).center());
    s.Click("Command3");
    // 38º 25' N, 1º 34' W, summer time in UTC+1; utilities_tests check these times and the
    // noon elevation (90 - 38,4167 + 23,44) against the solstice's day length.
    EXPECT_EQ(s.Text("LblOrto"), QStringLiteral("6:42:44 AM"));
    EXPECT_EQ(s.Text("LblCulmin"), QStringLiteral("2:08:12 PM"));
    EXPECT_EQ(s.Text("LblOcaso"), QStringLiteral("9:33:39 PM"));
    EXPECT_EQ(s.Widget<QLabel>("LblCulmin")->toolTip(),
              QStringLiteral("Elevación=75,02º; Azimut= 180º"));
    EXPECT_TRUE(s.platform.msgBoxes.empty());
}

namespace {

// The fake platform with the real file dialog.
struct DialogPlatform : testing_support::FakePlatform {
    bool ShowDialog(form::FormModel& model, const std::function<form::DialogEnd(form::Control&)>& changed) override {
        qt::ModelDialog window(model, changed, QApplication::activeWindow());
        return window.exec() == QDialog::Accepted;
    }
};

}  // namespace

// "Convertir fichero…" on the real dialog, by keyboard and mouse: the list of eastings and
// northings gets its zone and its Cota column there, and the file is written.
TEST(FileDialogWindow, TheUsersChoicesReachTheFile) {
    QTemporaryDir folder;
    const QString hitos = folder.filePath(QStringLiteral("hitos.csv"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TALPOR_SOURCE_DIR "/docs/ejemplos/hitos.csv"), hitos));
    QFile written(folder.filePath(QStringLiteral("hitos_WGS84.csv")));
    ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write("MIS DATOS, NO BORRAR\n") == 21);
    written.close();
    ShownWindow<DialogPlatform> s;
    s.window->ChooseTab(1);
    s.platform.fileNames = {hitos.toStdString()};
    const char* shots = std::getenv("TALPOR_SCREENSHOTS");  // a folder for a look at the dialog
    auto timer = testing_support::OnEachBox<QDialog>([&](QDialog* dialog) {
        auto* height = dialog->findChild<QComboBox*>(QStringLiteral("CmbAltura"));
        ASSERT_NE(height, nullptr);
        height->setFocus();
        for (int i = 0; i < 4; ++i) QTest::keyClick(height, Qt::Key_Down);
        QTest::mouseClick(dialog->findChild<QRadioButton*>(QStringLiteral("OptAltura_1")), Qt::LeftButton);
        // Decimal points in the results, picked by keyboard from the list.
        auto* decimal = dialog->findChild<QComboBox*>(QStringLiteral("CmbDecimal"));
        decimal->setFocus();
        for (int i = 0; i < 2; ++i) QTest::keyClick(decimal, Qt::Key_Down);
        if (shots != nullptr) dialog->grab().save(QString::fromUtf8(shots) + QStringLiteral("/dialogo-fichero.png"));
        auto* convert = dialog->findChild<QPushButton*>(QStringLiteral("CmdConvertir"));
        QTest::mouseClick(convert, Qt::LeftButton);
        // The destination's name is a file of the user's: "No", the default, keeps it and
        // the dialog; "Sí" replaces it.
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(written.size(), 21);
        s.platform.answer = form::MsgResult::Yes;
        QTest::mouseClick(convert, Qt::LeftButton);
        if (dialog->isVisible()) dialog->reject();  // "Convertir" refused: the test fails below, not hangs
    });
    s.Click("CmdFichero", 1);
    ASSERT_GE(s.platform.msgBoxes.size(), 2u);
    EXPECT_TRUE(s.platform.msgBoxes[0].text.starts_with("«hitos_WGS84.csv» ya existe (modificado el "));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains(";40º 24' 59.9877\" N;3º 42' 0.0319\" W;")) << s.platform.LastMsgBox().text;
    EXPECT_TRUE(s.platform.LastMsgBox().text.starts_with("3 filas convertidas, 0 con error."));
}

// Files dragged from a file manager: two dropped on the window open the dialog with them;
// their folder dropped on the dialog, over its fields too, becomes its input, listed, and
// goes into a folder of its shape beside it.
TEST(FileDialogWindow, FilesAndAFolderDroppedAreConvertedIntoAFolder) {
    QTemporaryDir folder;
    const QString datos = folder.filePath(QStringLiteral("datos"));
    ASSERT_TRUE(QDir().mkpath(datos + QStringLiteral("/sub")));
    for (const char* name : {"/uno.csv", "/dos.csv", "/sub/tres.csv"}) {
        QFile file(datos + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("Punto;Latitud;Longitud\nA;40.4166667;-3.7\n") > 0);
    }
    const auto dropOn = [](QWidget* target, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        data.setText(paths.join(QLatin1Char('\n')));  // as file managers give it too
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted()) << target->objectName().toStdString();
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    };
    ShownWindow<DialogPlatform> s;
    const char* shots = std::getenv("TALPOR_SCREENSHOTS");
    auto timer = testing_support::OnEachBox<QDialog>([&](QDialog* dialog) {
        const auto text = [&](const char* name) { return dialog->findChild<QLabel*>(QLatin1String(name))->text(); };
        EXPECT_EQ(text("LblEntrada"), QStringLiteral("Ficheros:"));
        dropOn(dialog->findChild<QLineEdit*>(QStringLiteral("TxtEntrada")), {datos});
        EXPECT_TRUE(QTest::qWaitFor([&] { return text("LblEntrada") == QStringLiteral("Carpeta:"); }, 5000));
        EXPECT_EQ(text("LblPrevia"), QStringLiteral("3 ficheros: 3 tablas\ndatos/dos.csv\ndatos/sub/tres.csv\ndatos/uno.csv"));
        EXPECT_EQ(dialog->findChild<QLineEdit*>(QStringLiteral("TxtDestino"))->text(), datos + QStringLiteral("_ED50"));
        if (shots != nullptr) dialog->grab().save(QString::fromUtf8(shots) + QStringLiteral("/dialogo-carpeta.png"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("CmdConvertir")), Qt::LeftButton);
        if (dialog->isVisible()) dialog->reject();  // "Convertir" refused: the test fails below, not hangs
    });
    dropOn(s.Widget("LblGeoLat", 0), {datos + QStringLiteral("/uno.csv"), datos + QStringLiteral("/dos.csv")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.platform.msgBoxes.empty(); }, 20000));
    EXPECT_TRUE(s.platform.LastMsgBox().text.starts_with("3 ficheros convertidos, 0 con errores, 0 rechazados."))
        << s.platform.LastMsgBox().text;
    QFile written(datos + QStringLiteral("_ED50/sub/tres.csv"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("A;40.4166667;-3.7;40º 25' 4.2489\" N;"));
}

// A folder taken to one system on the real dialog, its target picked from the list: the
// zone leaves the dialog and the row of the system of what says none comes in, its label
// aligned with the others and shown whole; the table, which says none, is announced.
TEST(FileDialogWindow, AFolderGoesToTheSystemPickedWithItsRowsAligned) {
    QTemporaryDir folder;
    const QString datos = folder.filePath(QStringLiteral("datos"));
    ASSERT_TRUE(QDir().mkpath(datos));
    testing_support::WriteFile(datos.toStdString() + "/puntos.csv", "id;X;Y;Z\n1;440000;4474000;650\n");
    testing_support::WriteFile(datos.toStdString() + "/ruta.gpx", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" "
                                                                  "creator=\"t\"><wpt lat=\"40.4\" lon=\"-3.7\"/></gpx>\n");
    ShownWindow<DialogPlatform> s;
    s.window->ChooseTab(1);
    // A file of the folder first, then "Carpeta…" in the dialog.
    s.platform.fileNames = {datos.toStdString() + "/puntos.csv", datos.toStdString()};
    const char* shots = std::getenv("TALPOR_SCREENSHOTS");
    auto timer = testing_support::OnEachBox<QDialog>([&](QDialog* dialog) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("CmdCarpeta")), Qt::LeftButton);
        const auto label = [&](const char* name) { return dialog->findChild<QLabel*>(QLatin1String(name)); };
        auto* target = dialog->findChild<QComboBox*>(QStringLiteral("CmbSistema"));
        EXPECT_TRUE(label("LblHuso")->isVisible());
        EXPECT_FALSE(label("LblOrigen")->isVisible());
        target->setFocus();
        for (int i = 0; i < 2; ++i) QTest::keyClick(target, Qt::Key_Down);
        EXPECT_EQ(target->currentText(), QStringLiteral("ETRS89 UTM 30"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return label("LblOrigen")->isVisible(); }, 5000));
        EXPECT_FALSE(label("LblHuso")->isVisible() || label("LblEtiqueta")->isVisible());
        EXPECT_EQ(label("LblPrevia")->text(), QStringLiteral("2 ficheros a ETRS89 UTM 30:\n1 GPX, copiado\n1 tabla: elija su sistema"));
        auto* origin = dialog->findChild<QComboBox*>(QStringLiteral("CmbOrigen"));
        QTest::qWait(300);  // the dialog fitted to what it shows now
        for (const char* name : {"LblOrigen", "LblMetodo"}) {
            EXPECT_EQ(label(name)->x(), label("LblSistema")->x()) << name;
            EXPECT_GE(label(name)->width(), label(name)->sizeHint().width()) << name;
        }
        EXPECT_EQ(origin->x(), target->x());
        EXPECT_GE(origin->width(), origin->sizeHint().width());
        if (shots != nullptr) dialog->grab().save(QString::fromUtf8(shots) + QStringLiteral("/dialogo-destino.png"));
        dialog->reject();
    });
    s.Click("CmdFichero", 1);
}

// The tallest dialog a real file gives (a GeoPackage of 25 layers with long names) on a
// laptop's 1280 × 800 and an old 1024 × 768 (two offscreen screens, tests/qt/screens.json):
// the whole dialog on its screen with "Convertir" in sight, what it will write said, and
// the run's summary box, a line a layer, within the screen too.
TEST(FileDialogWindow, TheDialogAndItsSummaryFitTheScreenWithTheButtonsInSight) {
    if (QApplication::instance() == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TALPOR_SOURCE_DIR "/tests/qt/screens.json");
    ShownWindow<DialogPlatform> s;
    // Two screens where the test has its process to itself (ctest); else the one there is.
    QTemporaryDir folder;
    const std::string dir = folder.path().toStdString();
    testing_support::WriteFile(dir + "/rodales.csv", "WKT,Rodal\n\"POLYGON ((440000 4474000,440100 4474000,440000 4474100,440000 4474000))\",R-1\n");
    for (int i = 1; i <= 25; ++i)
        ASSERT_EQ(std::system(("cd '" + dir + "' && ogr2ogr -f GPKG " + (i > 1 ? "-update " : "") +
                               "-nln rodales_de_los_montes_de_utilidad_pública_de_Ávila_y_su_comarca_" + std::to_string(i) +
                               " -a_srs EPSG:23030 -oo GEOM_POSSIBLE_NAMES=WKT montes.gpkg rodales.csv 2> /dev/null")
                                  .c_str()),
                  0);
    const std::string shots = std::getenv("TALPOR_SCREENSHOTS") != nullptr ? std::getenv("TALPOR_SCREENSHOTS") : "";
    for (QScreen* screen : QGuiApplication::screens()) {
        SCOPED_TRACE(screen->name().toStdString());
        const QRect room = screen->availableGeometry();
        s.window->windowHandle()->setScreen(screen);
        s.window->move(room.topLeft() + QPoint(20, 20));
        s.platform.fileNames = {dir + "/montes.gpkg"};
        std::filesystem::remove(dir + "/montes_WGS84.gpkg");
        auto timer = testing_support::OnEachBox<QDialog>([&](QDialog* dialog) {
            EXPECT_EQ(dialog->screen(), screen);
            EXPECT_TRUE(room.adjusted(8, 8, -8, -8).contains(dialog->frameGeometry())) << room.height() << " px: the dialog is " << dialog->frameGeometry().height();
            auto* convert = dialog->findChild<QPushButton*>(QStringLiteral("CmdConvertir"));
            EXPECT_TRUE(room.contains(QRect(convert->mapToGlobal(QPoint(0, 0)), convert->size())));
            EXPECT_TRUE(convert->visibleRegion().boundingRect() == convert->rect());
            EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("LblEscribe"))->text().startsWith(
                QStringLiteral("Escribirá GeoPackage en ETRS89 UTM 30 (EPSG:25830): «montes_WGS84.gpkg»")));
            // A name too long for its line, shortened in the middle, character by character.
            EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("LblPrevia"))->text().startsWith(
                QStringLiteral("Capa «rodales_de_los_mont…Ávila_y_su_comarca_1»: ")));
            if (!shots.empty()) dialog->grab().save(QString::fromStdString(shots + "/dialogo-" + screen->name().toStdString() + ".png"));
            QTest::mouseClick(convert, Qt::LeftButton);
            if (dialog->isVisible()) dialog->reject();  // "Convertir" refused: the test fails below, not hangs
        });
        s.window->ChooseTab(1);
        s.Click("CmdFichero", 1);
        timer.reset();
        ASSERT_FALSE(s.platform.msgBoxes.empty());
        const std::string summary = s.platform.LastMsgBox().text;
        EXPECT_TRUE(summary.starts_with("Capa «rodales_de_los_montes_de_utilidad_pública_de_Ávila_y_su_comarca_1»: 1 entidad")) << summary;
        // The same summary in the real box, on the same screen.
        qt::QtPlatform real(folder.filePath(QStringLiteral("unused.lock")));
        real.SetMainWindow(s.window.get());
        auto boxes = testing_support::OnEachBox([&](QMessageBox* box) {
            EXPECT_TRUE(room.contains(box->frameGeometry())) << box->frameGeometry().height();
            box->button(QMessageBox::Ok)->click();
        });
        real.MsgBox(summary, "Convertir fichero", form::MsgIcon::Information, form::MsgButtons::OK, form::MsgResult::OK);
        // The map opens on the window's screen, whole within it.
        s.window->ShowMap(0);
        auto* map = s.window->findChild<QWidget*>(QStringLiteral("TalporMapa"));
        EXPECT_TRUE(room.contains(map->frameGeometry().adjusted(0, 0, 0, 32))) << map->frameGeometry().bottom();
        map->hide();
    }
}

// Madrid's easting and northing typed with zone 29 on the real window: the warning line
// under the results says where the point lands and names zone 30, whole and clear of
// the buttons below it.
TEST(Window, APointThatLandsOutsideSpainIsSaidSoUnderTheResults) {
    ShownWindow<> s;
    s.window->ChooseTab(1);
    s.Click("OptCoord", 0);
    s.Type("TxtUTMe", -1, "440721");
    s.Type("TxtUTMn", -1, "4474447");
    auto* zone = s.Widget<QComboBox>("CmbUsos2");
    zone->setFocus();
    QTest::keyClick(zone, Qt::Key_Up);
    s.Click("CmdWGS84Helmert");
    auto* line = s.Widget<QLabel>("LblLugar", 1);
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text().toStdString(), "El punto cae en el océano Atlántico, a 72 km de la costa: ¿es correcto el "
                                          "huso 29? Con el huso 30 caería en España");
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->width());
    for (const char* below : {"Label3", "PicAltura"})
        EXPECT_FALSE(line->geometry().intersects(s.Widget(below, 1)->geometry())) << below;
    if (const char* shots = std::getenv("TALPOR_SCREENSHOTS"))
        s.window->grab().save(QString::fromUtf8(shots) + QStringLiteral("/fuera-de-espana.png"));
}

// Ctrl+M opens the map of the tab in front; it follows the point typed in the window.
TEST(MapWindow, CtrlMShowsTheTabsPointAndTheMapFollowsIt) {
    ShownWindow<> s;
    QTest::keyClick(s.window.get(), Qt::Key_M, Qt::ControlModifier);
    auto* map = s.window->findChild<QWidget*>(QStringLiteral("TalporMapa"));
    ASSERT_TRUE(map != nullptr && map->isVisible());
    auto* caption = map->findChild<QLabel*>(QStringLiteral("LblMapa"));
    EXPECT_EQ(caption->text(), "Punto escrito (WGS84): 38,2667º N 1,3667º W · en España · juego regional EST99, "
                               "dentro de la rejilla IGN");
    s.window->activateWindow();
    s.Type("TxtWGSg", 0, "43");
    s.Type("TxtWGSg", 3, "8");
    s.Focus("TxtWGSg", 4);
    EXPECT_TRUE(caption->text().startsWith("Punto escrito (WGS84): 43,2667º N 8,3667º W · en España · juego regional ZNW99"))
        << caption->text().toStdString();
    // Converted and zoomed in to the point: the arrow's tooltip says why its two figures
    // differ. With TALPOR_SCREENSHOTS, the map of a point on land, at sea and on Mallorca.
    const char* shots = std::getenv("TALPOR_SCREENSHOTS");
    for (const auto& [name, lat, lon, east] : {std::tuple{"tierra", "40 25", "3 42", false},
                                               {"mar", "39 54", "0 54", true}, {"mallorca", "39 34", "2 39", true}}) {
        s.window->activateWindow();
        const QStringList typed = (QString(lat) + " 0 " + lon + " 0").split(' ');
        for (int field = 0; field < 6; ++field) s.Type("TxtWGSg", field, typed[field].toUtf8().constData());
        s.Click("OptLng", east ? 1 : 0);
        s.Click("CmdED50Helmert");
        QTest::mouseClick(map->findChild<QPushButton*>(QStringLiteral("CmdEspana")), Qt::LeftButton);
        if (shots) map->grab().save(QString::fromUtf8(shots) + "/mapa-espana-" + name + ".png");
        QTest::mouseClick(map->findChild<QPushButton*>(QStringLiteral("CmdAlPunto")), Qt::LeftButton);
        if (shots) map->grab().save(QString::fromUtf8(shots) + "/mapa-" + name + ".png");
    }
    const QPoint arrow = map->rect().center() + QPoint(20, -30);  // by the arrow, north-east of the point
    map->repaint();  // the arrow where the last click put it
    QHelpEvent help(QEvent::ToolTip, arrow, map->mapToGlobal(arrow));
    QApplication::sendEvent(map, &help);
    EXPECT_TRUE(QToolTip::text().contains("elipsoides distintos")) << QToolTip::text().toStdString();
}
