#include "qt/TalporWindow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "QtApp.h"
#include "entry/Fields.h"
#include "qt/QtPlatform.h"
#include "support/FakePlatform.h"

using app::Control;
using talpor_qt::TalporWindow;
using testing_support::FakePlatform;

namespace {

// The real window on a started form, shown and active (offscreen).
template <class PlatformT>
struct Shown {
    PlatformT platform;
    app::frmTalpor frm{platform};
    std::unique_ptr<TalporWindow> window;

    template <class... Args>
    explicit Shown(Args&&... args) : platform(std::forward<Args>(args)...) {
        testing_support::QtApp();
        frm.Form_Load();
        window = std::make_unique<TalporWindow>(frm);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::qWait(20);  // activation runs after the event that caused it
    }
    template <class W = QWidget>
    W* Widget(std::string_view name, int index = -1) {
        QWidget* found = window->WidgetOf(name, index);
        if (found == nullptr) found = window->findChild<QWidget*>(QString::fromUtf8(name.data(), name.size()));
        auto* w = qobject_cast<W*>(found);
        EXPECT_NE(w, nullptr) << name << " " << index;
        return w;
    }
    QLineEdit* Edit(std::string_view name, int index = -1) { return Widget<QLineEdit>(name, index); }
    Control& Get(std::string_view name, int index = -1) { return frm.Form().Get(name, index); }
};

using FakeShown = Shown<FakePlatform>;

bool EntryRulesBuilt(app::frmTalpor& frm) {
    return entry::IsCoordinateField(frm.Form().Get("TxtWGSg", 0));
}

QColor TextColour(QWidget* w) { return w->palette().color(QPalette::Active, QPalette::Text); }
QColor BaseColour(QWidget* w) { return w->palette().color(QPalette::Active, QPalette::Base); }

}  // namespace

TEST(Window, EveryControlIsANamedAccessibleWidgetThatFitsItsContainer) {
    FakeShown s;
    EXPECT_EQ(s.window->windowTitle(), QStringLiteral("Talpor - Transformación de coordenadas"));
    EXPECT_LE(s.window->width(), 800);
    EXPECT_LE(s.window->height(), 600 - 40);  // room for the window frame and a panel

    std::map<QWidget*, std::vector<QWidget*>> siblings;
    for (auto& c : s.frm.Form().Controls()) {
        if (c->kind == app::Kind::Form) continue;
        QString name = QString::fromStdString(c->id.ObjectName());
        QWidget* w = s.window->findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << c->id.Text();
        EXPECT_FALSE(w->accessibleName().isEmpty()) << c->id.Text();
        QWidget* parent = w->parentWidget();
        // Hidden pages get their size when shown; all pages are as large as the first.
        QRect room = c->container == "SSTab1" ? s.Widget("SSTab1_page0")->rect() : parent->rect();
        EXPECT_TRUE(room.contains(w->geometry())) << c->id.Text() << " leaves its container";
        siblings[parent].push_back(w);
    }
    for (auto& [parent, children] : siblings)
        for (std::size_t i = 0; i < children.size(); ++i)
            for (std::size_t j = i + 1; j < children.size(); ++j)
                EXPECT_FALSE(children[i]->geometry().intersects(children[j]->geometry()))
                    << children[i]->objectName().toStdString() << " overlaps "
                    << children[j]->objectName().toStdString();
}

TEST(Window, ShowsTheStartStateOfTheControlModel) {
    FakeShown s;
    auto* tabs = s.window->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("ED50  ->  WGS84 "));
    EXPECT_EQ(tabs->currentIndex(), 0);

    EXPECT_FALSE(s.Edit("TxtUTMx")->isEnabled());  // Frame7 starts disabled and grey
    EXPECT_EQ(TextColour(s.Edit("TxtUTMx")), QColor(128, 128, 128));
    EXPECT_TRUE(s.Edit("TxtWGSg", 0)->isEnabled());
    EXPECT_TRUE(s.Widget<QRadioButton>("OptUTM", 0)->isChecked());
    EXPECT_TRUE(s.Widget<QRadioButton>("OptMWGS84", 1)->isChecked());
    EXPECT_EQ(s.Widget<QComboBox>("CmbHuso")->currentText(), QStringLiteral("30"));
    EXPECT_EQ(s.Widget<QComboBox>("CmbUTC")->currentText(), QStringLiteral("UTC+1"));
    EXPECT_EQ(s.Widget<QLabel>("LblOrto")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // The UTM result lines align: every character they use is as wide as any other.
    QFontMetrics utm(s.Widget<QLabel>("LblUTM", 0)->font());
    for (QChar ch : QStringLiteral("0123456789.,= ±mENHuso"))
        EXPECT_EQ(utm.horizontalAdvance(ch), utm.horizontalAdvance(QLatin1Char('0'))) << static_cast<int>(ch.unicode());
    QFontMetrics geo(s.Widget<QLabel>("LblGeoLat", 0)->font());
    EXPECT_NE(geo.horizontalAdvance(QLatin1Char('i')), geo.horizontalAdvance(QLatin1Char('W')));
    EXPECT_TRUE(s.Widget<QLabel>("Label5")->font().bold());
    EXPECT_FALSE(s.Widget<QPushButton>("Command1", 0)->icon().isNull());
    EXPECT_EQ(s.Widget<QPushButton>("Command1", 0)->accessibleName(),
              QStringLiteral("Párametros de transformación con Hermet Bursa-Wolf"));
    EXPECT_EQ(s.Edit("TxtWGSg", 0)->maxLength(), 255);
}

TEST(Window, InputModeButtonsEnableOneFrameAndGreyTheOther) {
    FakeShown s;
    QTest::mouseClick(s.Widget("OptUTM", 1), Qt::LeftButton);
    EXPECT_TRUE(s.Widget<QRadioButton>("OptUTM", 1)->isChecked());
    EXPECT_FALSE(s.Widget<QRadioButton>("OptUTM", 0)->isChecked());
    EXPECT_TRUE(s.Edit("TxtUTMx")->isEnabled());
    EXPECT_FALSE(s.Edit("TxtWGSg", 0)->isEnabled());
    EXPECT_EQ(TextColour(s.Edit("TxtWGSg", 0)), QColor(128, 128, 128));
    EXPECT_NE(TextColour(s.Edit("TxtUTMx")), QColor(128, 128, 128));
    EXPECT_EQ(s.Edit("TxtWGSg", 0)->text(), QStringLiteral("38"));

    // A disabled frame is unusable: its option buttons and fields take no click or focus.
    QTest::mouseClick(s.Widget("OptLng", 1), Qt::LeftButton);
    EXPECT_FALSE(s.Widget<QRadioButton>("OptLng", 1)->isChecked());
    s.Edit("TxtWGSg", 0)->setFocus();
    EXPECT_FALSE(s.Edit("TxtWGSg", 0)->hasFocus());
}

TEST(Window, TabChangesRunTheTabRule) {
    FakeShown s;
    auto* tabs = s.window->findChild<QTabBar*>();
    tabs->setCurrentIndex(2);
    tabs->setCurrentIndex(0);  // 0 -> 2 -> 0: neither tab-0 button stays selected
    EXPECT_FALSE(s.Widget<QRadioButton>("OptUTM", 0)->isChecked());
    EXPECT_FALSE(s.Widget<QRadioButton>("OptUTM", 1)->isChecked());
    EXPECT_TRUE(s.Edit("TxtWGSg", 0)->isEnabled());
    EXPECT_EQ(s.Get("SSTab1").currentTab, 0);

    tabs->setCurrentIndex(1);
    EXPECT_TRUE(s.Widget<QRadioButton>("OptCoord", 0)->isChecked());
    EXPECT_TRUE(s.Edit("TxtUTMe")->isVisible());
    EXPECT_TRUE(s.Edit("TxtUTMe")->isEnabled());
    EXPECT_FALSE(s.Edit("TxtWGSg", 7)->isEnabled());
    EXPECT_EQ(TextColour(s.Edit("TxtWGSg", 7)), QColor(128, 128, 128));

    tabs->setCurrentIndex(0);  // 1 -> 0: geographic input on tab 0
    EXPECT_TRUE(s.Widget<QRadioButton>("OptUTM", 0)->isChecked());
    EXPECT_FALSE(s.Widget<QRadioButton>("OptCoord", 0)->isChecked());
}

TEST(Window, CerrarClosesTheWindow) {
    FakeShown s;
    QTest::mouseClick(s.Widget("Command15"), Qt::LeftButton);
    QTest::qWait(20);
    EXPECT_EQ(s.frm.GetEndReason(), app::EndReason::Closed);
    EXPECT_FALSE(s.window->isVisible());
}

TEST(Window, PastingMoreThan255CharactersKeepsTheFirst255) {
    FakeShown s;
    QLineEdit* height = s.Edit("TxtWGSg", 6);
    height->setFocus();
    QTest::qWait(10);
    height->selectAll();
    QApplication::clipboard()->setText(QString(300, QLatin1Char('7')));
    QTest::keyClick(height, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(height->text(), QString(255, QLatin1Char('7')));
    s.Edit("TxtWGSg", 1)->setFocus();  // leaving it is an ordinary range check
    QTest::qWait(10);
    EXPECT_FALSE(s.frm.MustEnd());
    if (EntryRulesBuilt(s.frm)) {
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.LastMsgBox().title, "Limitaciones");
        EXPECT_TRUE(height->hasFocus());
    }
}

TEST(WindowFields, LatitudeFieldHighlightsFiltersClampsAndKeepsTheFocus) {
    FakeShown s;
    if (!EntryRulesBuilt(s.frm)) GTEST_SKIP() << "the coordinate field rules are not built yet";
    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    degrees->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
    EXPECT_EQ(BaseColour(degrees), QColor(255, 255, 128));
    EXPECT_EQ(degrees->selectedText(), QStringLiteral("38"));

    QTest::keyClicks(degrees, "4a5");  // the letter is refused
    EXPECT_EQ(degrees->text(), QStringLiteral("45"));

    QTest::keyClick(degrees, Qt::Key_Tab);
    QTest::qWait(10);
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");
    EXPECT_EQ(s.platform.LastMsgBox().title, "Limitaciones");
    EXPECT_EQ(degrees->text(), QStringLiteral("44"));
    EXPECT_TRUE(degrees->hasFocus());
    EXPECT_EQ(BaseColour(s.Edit("TxtWGSg", 1)), QColor(255, 255, 255));

    QTest::keyClick(degrees, Qt::Key_Tab);  // in range now: one message in all
    QTest::qWait(10);
    EXPECT_TRUE(s.Edit("TxtWGSg", 1)->hasFocus());
    EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(BaseColour(degrees), QColor(255, 255, 255));
}

TEST(WindowFields, TypedPointBecomesCommaInSecondsAndUtmFields) {
    FakeShown s;
    if (!EntryRulesBuilt(s.frm)) GTEST_SKIP() << "the coordinate field rules are not built yet";
    QLineEdit* seconds = s.Edit("TxtWGSg", 2);
    seconds->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
    QTest::keyClicks(seconds, "12.5");
    EXPECT_EQ(seconds->text(), QStringLiteral("12,5"));
    QTest::keyClicks(seconds, ".");  // a second comma is refused
    EXPECT_EQ(seconds->text(), QStringLiteral("12,5"));
}

TEST(WindowFields, ACorrectedFieldKeepsItsTabInFront) {
    FakeShown s;
    if (!EntryRulesBuilt(s.frm)) GTEST_SKIP() << "the coordinate field rules are not built yet";
    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    degrees->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
    QTest::keyClicks(degrees, "50");
    auto* tabs = s.window->findChild<QTabBar*>();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QTest::qWait(10);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(degrees->isVisible());
    EXPECT_TRUE(degrees->hasFocus());
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());  // now it goes
    QTest::qWait(10);
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
}

TEST(WindowFields, AClickOnAButtonWhileAFieldIsCorrectedDoesNotRunIt) {
    FakeShown s;
    if (!EntryRulesBuilt(s.frm)) GTEST_SKIP() << "the coordinate field rules are not built yet";
    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    degrees->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
    QTest::keyClicks(degrees, "30");
    QTest::mouseClick(s.Widget("OptUTM", 1), Qt::LeftButton);
    QTest::qWait(10);
    EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_TRUE(degrees->hasFocus());
    EXPECT_EQ(degrees->text(), QStringLiteral("35"));
    EXPECT_TRUE(s.Widget<QRadioButton>("OptUTM", 0)->isChecked());  // the click did not run
    EXPECT_TRUE(degrees->isEnabled());

    QTest::mouseClick(s.Widget("OptUTM", 1), Qt::LeftButton);  // the next click does
    QTest::qWait(10);
    EXPECT_TRUE(s.Widget<QRadioButton>("OptUTM", 1)->isChecked());
    EXPECT_FALSE(degrees->isEnabled());
}

TEST(WindowFields, RealMessageBoxTakesTheFocusAndTheFieldGetsItBackOnce) {
    QTemporaryDir dir;
    // Spanish regional settings, and a settings store of its own.
    qputenv("LANG", "es_ES.UTF-8");
    for (const char* var : {"LC_ALL", "LC_NUMERIC", "LC_MONETARY"}) qunsetenv(var);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    Shown<talpor_qt::QtPlatform> s(dir.path() + "/talpor.lock");
    ASSERT_FALSE(s.frm.MustEnd());
    if (!EntryRulesBuilt(s.frm)) GTEST_SKIP() << "the coordinate field rules are not built yet";
    s.platform.SetMainWindow(s.window.get());

    int boxes = 0;
    bool boxHadFocus = false;
    QString boxText;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        ++boxes;
        boxText = box->text();
        QWidget* focus = QApplication::focusWidget();
        boxHadFocus = focus != nullptr && box->isAncestorOf(focus);
        QTest::keyClick(focus != nullptr ? focus : box, Qt::Key_Return);
    });
    closer.start(30);

    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    degrees->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
    QTest::keyClicks(degrees, "45");
    QTest::keyClick(degrees, Qt::Key_Tab);
    QTest::qWait(200);  // the box is shown, closed by the timer, the window active again
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(boxText, QStringLiteral("35 < Grados sexagesimales <44"));
    EXPECT_TRUE(boxHadFocus);
    EXPECT_EQ(degrees->text(), QStringLiteral("44"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return degrees->hasFocus(); }, 1000));
    EXPECT_EQ(s.frm.Form().focused, &s.Get("TxtWGSg", 0));
    QTest::qWait(100);
    EXPECT_EQ(boxes, 1);  // no second check when the window got active again
}
