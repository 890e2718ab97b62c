// The real window driven with the mouse and the keyboard (offscreen): input typed key by
// key or picked with the mouse, buttons clicked, results read from the widgets.
#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include "ShownWindow.h"
#include "qt/Icons.h"
#include "qt/QtPlatform.h"

using testing_support::ShownWindow;

TEST(Window, FitsIn800x600WithEveryControlNamedInsideItsContainerAndNoOverlaps) {
    ShownWindow<> s;
    EXPECT_EQ(s.window->windowTitle(), QStringLiteral("Talpor - Transformación de coordenadas"));
    EXPECT_LE(s.window->width(), 800);
    EXPECT_LE(s.window->height(), 600 - 40);  // room for the window frame and a panel
    EXPECT_EQ(s.Widget<QLabel>("LblOrto")->palette().color(QPalette::WindowText),
              QColor(0, 0, 255));
    EXPECT_FALSE(s.Widget<QPushButton>("Command1", 0)->icon().isNull());
    // The program's icon comes from resources linked into the static Qt library.
    EXPECT_EQ(talpor_qt::ProgramIcon().availableSizes().size(), 6);
    // The UTM result lines align: every character they use is as wide as any other.
    QFontMetrics utm(s.Widget<QLabel>("LblUTM", 0)->font());
    for (QChar ch : QStringLiteral("0123456789.,= ±mENHuso"))
        EXPECT_EQ(utm.horizontalAdvance(ch), utm.horizontalAdvance(QLatin1Char('0')))
            << int(ch.unicode());
    std::map<QWidget*, std::vector<QWidget*>> siblings;
    for (auto& c : s.frm.Form().Controls()) {
        if (c->kind == app::Kind::Form) continue;
        // The pages behind the first are built after the first paint, or when asked for.
        QWidget* w = s.window->WidgetOf(c->id.name, c->id.index);
        ASSERT_NE(w, nullptr) << c->id.Text();
        EXPECT_EQ(w, s.window->findChild<QWidget*>(QString::fromStdString(c->id.ObjectName())));
        // Hidden pages get their size when shown; all pages are as large as the first.
        QWidget* room = c->container == "SSTab1" ? s.window->findChild<QWidget*>("SSTab1_page0")
                                                 : w->parentWidget();
        EXPECT_TRUE(room->rect().contains(w->geometry()))
            << c->id.Text() << " leaves its container";
        siblings[w->parentWidget()].push_back(w);
    }
    for (auto& [parent, children] : siblings)
        for (std::size_t i = 0; i < children.size(); ++i)
            for (std::size_t j = i + 1; j < children.size(); ++j)
                EXPECT_FALSE(children[i]->geometry().intersects(children[j]->geometry()))
                    << children[i]->objectName().toStdString() << " overlaps "
                    << children[j]->objectName().toStdString();
}

TEST(WindowFields, FocusTypingPastingAndLeavingFollowTheFieldRulesAndACorrectedFieldHoldsTheFocus) {
    ShownWindow<> s;
    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    degrees->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
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

    // A paste over the field's 255 characters keeps the first 255; leaving is a range check.
    s.Click("TxtWGSg", 6);
    s.Edit("TxtWGSg", 6)->selectAll();
    QApplication::clipboard()->setText(QString(300, QLatin1Char('7')));
    QTest::keyClick(s.Edit("TxtWGSg", 6), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s.Edit("TxtWGSg", 6)->text(), QString(255, QLatin1Char('7')));
    s.Click("TxtWGSg", 1);
    EXPECT_EQ(s.platform.msgBoxes.size(), 2u);
    EXPECT_TRUE(s.Edit("TxtWGSg", 6)->hasFocus());

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

TEST(WindowFields, RealMessageBoxTakesTheFocusAndTheFieldGetsItBackOnce) {
    QTemporaryDir dir;
    // Spanish regional settings, and a settings store of its own.
    testing_support::EnvGuard env;
    env.Set("LANG", "es_ES.UTF-8");
    for (const char* var : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY"}) env.Set(var, nullptr);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    ShownWindow<talpor_qt::QtPlatform> s(dir.path() + "/talpor.lock");
    ASSERT_FALSE(s.frm.MustEnd());
    s.platform.SetMainWindow(s.window.get());

    int boxes = 0, ticksWithoutFocus = 0;
    QTimer closer;  // answers each box as a user would, with the key on the focused button
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        // The box takes the focus as it shows; on a busy machine that can be a tick later.
        QWidget* focus = QApplication::focusWidget();
        if (!box->isAncestorOf(focus) && ++ticksWithoutFocus < 30) return;
        ++boxes;
        EXPECT_EQ(box->text(), QStringLiteral("35 < Grados sexagesimales <44"));
        if (!box->isAncestorOf(focus)) {
            ADD_FAILURE() << "the box has no focus";
            box->accept();
            return;
        }
        QTest::keyClick(focus, Qt::Key_Return);
    });
    closer.start(30);

    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    degrees->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
    QTest::keyClicks(degrees, "45");
    QTest::keyClick(degrees, Qt::Key_Tab);
    // The box is shown, closed by the timer, the window active again.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return boxes == 1 && QApplication::activeModalWidget() == nullptr; }, 2000));
    EXPECT_EQ(degrees->text(), QStringLiteral("44"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return degrees->hasFocus(); }, 1000));
    EXPECT_EQ(s.frm.Form().focused, &s.frm.Form().Get("TxtWGSg", 0));
    QTest::qWait(100);
    EXPECT_EQ(boxes, 1);  // no second check when the window got active again
}

TEST(ConversionWindow, MadridTypedOnTab1AndConvertedWithBursaWolf) {
    ShownWindow<> s;
    s.window->ChooseTab(1);
    s.Click("OptCoord", 1);  // geographic input
    for (auto [index, text] :
         {std::pair{7, "40"}, {14, "25"}, {15, "0"}, {16, "3"}, {17, "42"}, {18, "0"}})
        s.Type("TxtWGSg", index, text);
    s.Click("OptLng", 4);  // W
    s.Type("TxtWGSg", 26, "650");
    s.Click("CmdWGS84Helmert");

    EXPECT_TRUE(s.platform.msgBoxes.empty());
    // The click fills the tab's UTM input frame too.
    EXPECT_EQ(s.Edit("TxtUTMe")->text(), QStringLiteral("440.610,04"));
    EXPECT_EQ(s.Edit("TxtUTMn")->text(), QStringLiteral("4.474.317,25"));
    EXPECT_EQ(s.Widget<QComboBox>("CmbUsos2")->currentText(), QStringLiteral("30"));
    auto label = [&](const char* name, int index) {
        return s.Widget<QLabel>(name, index)->text().toStdString();
    };
    // The values agree with PROJ 9.1.1 (see ConversionTab.AgreesWithProjToTheDigitsShown in convert_tests).
    EXPECT_EQ(label("LblGeoLat", 1), "40º 24' 55,7515\" N");
    EXPECT_EQ(label("LblGeoLon", 1), "3º 42' 4,6963\" W");
    EXPECT_EQ(label("LblLat", 24), "Altura sobre el elipsoide = 722,0  ±1,5m");
    EXPECT_EQ(label("LblUTM", 6), "E= 440.501,02  ±1,5m");
    EXPECT_EQ(label("LblUTM", 7), "N= 4.474.109,90  ±1,5m");
    EXPECT_EQ(label("LblUTM", 8), "Huso= 30T");
}

TEST(ConversionWindow, RejillaIgnConvertsTab0sPointAndItsPictureButtonShowsTheGridSheet) {
    ShownWindow<> s;
    s.Click("CmdED50Rejilla");  // the initial point, 38º 16' N 1º 22' W, 600 m
    EXPECT_TRUE(s.platform.msgBoxes.empty());
    auto label = [&](const char* name, int index) {
        return s.Widget<QLabel>(name, index)->text().toStdString();
    };
    // PROJ 9.1.1, inverse hgridshift on es_ign_SPED2ETV2.tif: -1.365448790628
    // 38.267884712287, UTM 642996.588716 4236872.089448 (ellps=intl); the geoid gives
    // 549.914 m above sea level (convert_tests hold the method's agreement with PROJ).
    EXPECT_EQ(label("LblGeoLat", 0), "38º 16' 4,3850\" N");
    EXPECT_EQ(label("LblGeoLon", 0), "1º 21' 55,6156\" W");
    EXPECT_EQ(label("LblLat", 20), "Altura sin transformar = 600,0 m");
    EXPECT_EQ(label("LblUTM", 0), "E= 642.996,59  ±0,2m");
    EXPECT_EQ(label("LblUTM", 1), "N= 4.236.872,09  ±0,2m");
    EXPECT_EQ(label("LblAltitud", 0), "Altitud (EGM08-REDNAP) = 549,9 m");
    EXPECT_TRUE(s.Widget<QLabel>("LblLat", 20)->toolTip().startsWith("Rejilla IGN: SPED2ETV2."));

    s.Click("Command1", 4);
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().title, "Rejilla IGN ED50 <> WGS84 (ETRS89)");
    EXPECT_FALSE(s.Widget<QPushButton>("Command1", 4)->icon().isNull());
}

// A visit to "Utilidades" clears the conversion tab's input-mode button (the four form
// one group); back on the tab, its button shows again and the click converts what the
// user typed in the frame that is enabled, not the greyed one.
TEST(ConversionWindow, AVisitToUtilitiesLeavesTheTypedPointAndItsConversionAlone) {
    const struct {
        int tab;
        std::vector<std::pair<int, const char*>> typed;  // TxtWGSg(i); -1, -2: easting, northing
        const char* button;
    } cases[] = {
        {0, {{0, "40"}, {1, "25"}, {2, "0"}, {3, "3"}, {4, "42"}, {5, "0"}}, "CmdED50Helmert"},
        {0, {{0, "40"}, {1, "25"}, {2, "0"}, {3, "3"}, {4, "42"}, {5, "0"}}, "CmdED50Molodensky"},
        {1, {{-1, "440721"}, {-2, "4474447"}}, "CmdWGS84Helmert"},
        {1, {{-1, "440721"}, {-2, "4474447"}}, "CmdWGS84Molodensky"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        std::vector<QString> shown[2];
        for (bool detour : {false, true}) {
            ShownWindow<> s;
            auto* tabs = s.window->findChild<QTabBar*>();
            auto clickTab = [&](int tab) {
                QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tab).center());
                QTest::qWait(10);
            };
            if (c.tab == 1) clickTab(1);
            if (detour) {
                clickTab(2);
                clickTab(c.tab);
            }
            const char* group = c.tab == 0 ? "OptUTM" : "OptCoord";
            EXPECT_TRUE(s.Widget<QRadioButton>(group, 0)->isChecked());
            const char* east = c.tab == 0 ? "TxtUTMx" : "TxtUTMe";
            const char* north = c.tab == 0 ? "TxtUTMy" : "TxtUTMn";
            for (auto [index, text] : c.typed)
                index >= 0 ? s.Type("TxtWGSg", index, text)
                           : s.Type(index == -1 ? east : north, -1, text);
            s.Click(c.button);
            EXPECT_TRUE(s.platform.msgBoxes.empty());
            for (auto [index, text] : c.typed) {
                QLineEdit* typed = index >= 0 ? s.Edit("TxtWGSg", index)
                                              : s.Edit(index == -1 ? east : north);
                shown[detour].push_back(typed->text());
            }
            for (auto [name, index] : {std::pair{"LblGeoLat", c.tab}, {"LblGeoLon", c.tab}})
                shown[detour].push_back(s.Widget<QLabel>(name, index)->text());
        }
        EXPECT_EQ(shown[1], shown[0]);
        EXPECT_EQ(shown[0][0], c.tab == 0 ? QStringLiteral("40") : QStringLiteral("440.721,00"));
    }
}

TEST(SolarCalendarWindow, PickedDayAndButtonFillTheThreeLabels) {
    ShownWindow<> s;  // today is 14 May 2026: summer time, UTC+1
    s.window->ChooseTab(2);
    auto* calendar = s.Widget<QCalendarWidget>("MonthView1");
    ASSERT_NE(calendar, nullptr);
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
    EXPECT_EQ(s.Widget<QLabel>("LblOrto")->text(), QStringLiteral("6:42:44 AM"));
    EXPECT_EQ(s.Widget<QLabel>("LblCulmin")->text(), QStringLiteral("2:08:12 PM"));
    EXPECT_EQ(s.Widget<QLabel>("LblOcaso")->text(), QStringLiteral("9:33:39 PM"));
    EXPECT_EQ(s.Widget<QLabel>("LblCulmin")->toolTip(),
              QStringLiteral("Elevación=75,02º; Azimut= 180º"));
    EXPECT_TRUE(s.platform.msgBoxes.empty());
}
