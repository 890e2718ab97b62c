// A conversion in the real window: a point typed key by key, "Bursa Wolf 7p" clicked
// with the mouse, the result read from the labels on the screen.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "QtApp.h"
#include "qt/TalporWindow.h"
#include "support/FakePlatform.h"

namespace {

struct ShownWindow {
    testing_support::FakePlatform platform;
    app::frmTalpor frm{platform};
    std::unique_ptr<talpor_qt::TalporWindow> window;

    ShownWindow() {
        testing_support::QtApp();
        frm.Form_Load();
        window = std::make_unique<talpor_qt::TalporWindow>(frm);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::qWait(20);
    }
    template <class W = QWidget>
    W* Widget(const char* name, int index = -1) {
        auto* w = qobject_cast<W*>(window->WidgetOf(name, index));
        EXPECT_NE(w, nullptr) << name << " " << index;
        return w;
    }
    // Gives the field the focus (which selects its text) and types over it.
    void Type(const char* name, int index, const char* text) {
        QLineEdit* field = Widget<QLineEdit>(name, index);
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::qWait(10);
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    std::string LabelText(const char* name, int index) {
        return Widget<QLabel>(name, index)->text().toStdString();
    }
};

}  // namespace

TEST(ConversionWindow, MadridTypedOnTab1AndConvertedWithBursaWolf) {
    ShownWindow s;
    s.window->ChooseTab(1);
    QTest::mouseClick(s.Widget("OptCoord", 1), Qt::LeftButton);  // geographic input
    QTest::qWait(10);

    s.Type("TxtWGSg", 7, "40");
    s.Type("TxtWGSg", 14, "25");
    s.Type("TxtWGSg", 15, "0");
    s.Type("TxtWGSg", 16, "3");
    s.Type("TxtWGSg", 17, "42");
    s.Type("TxtWGSg", 18, "0");
    QTest::mouseClick(s.Widget("OptLng", 4), Qt::LeftButton);  // W
    s.Type("TxtWGSg", 26, "650");
    QTest::mouseClick(s.Widget("CmdWGS84Helmert"), Qt::LeftButton);
    QTest::qWait(10);

    EXPECT_TRUE(s.platform.msgBoxes.empty());
    // The fields were reformatted on leaving them, the UTM frame filled by the click.
    EXPECT_EQ(s.Widget<QLineEdit>("TxtWGSg", 26)->text(), QStringLiteral("650,0"));
    EXPECT_EQ(s.Widget<QLineEdit>("TxtUTMe")->text(), QStringLiteral("440.610,04"));
    EXPECT_EQ(s.Widget<QLineEdit>("TxtUTMn")->text(), QStringLiteral("4.474.317,25"));
    EXPECT_EQ(s.Widget<QComboBox>("CmbUsos2")->currentText(), QStringLiteral("30"));
    // The values agree with PROJ 9.1.1 (see HelmertClick.MadridOnTab1... in convert_tests).
    EXPECT_EQ(s.LabelText("LblGeoLat", 1), "40º 24' 55,7515\" N");
    EXPECT_EQ(s.LabelText("LblGeoLon", 1), "3º 42' 4,6963\" W");
    EXPECT_EQ(s.LabelText("LblLat", 24), "Altura sobre el elipsoide = 722,0  ±1,5m");
    EXPECT_EQ(s.LabelText("LblUTM", 6), "E= 440.501,02  ±1,5m");
    EXPECT_EQ(s.LabelText("LblUTM", 7), "N= 4.474.109,90  ±1,5m");
    EXPECT_EQ(s.LabelText("LblUTM", 8), "Huso= 30T");

    // The picture button beside it shows the Helmert sheet.
    QTest::mouseClick(s.Widget("Command1", 2), Qt::LeftButton);
    QTest::qWait(10);
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().title,
              "Parámetros o coeficientes de transformación ED50 <> WGS84 (ETRS89)");
    EXPECT_EQ(s.platform.LastMsgBox().text.substr(0, 10), "Zona EST99");
}
