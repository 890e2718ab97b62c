// The solar calendar in the real window: a day picked in the month calendar with the
// mouse, the button pressed with the mouse, the three labels read from the widgets.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCalendarWidget>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "QtApp.h"
#include "qt/TalporWindow.h"
#include "support/FakePlatform.h"
#include "utilities/Utilities.h"
#include "utilities/UtilitiesTab.h"

namespace {

// Clicks the day `day` of the month the calendar shows. The grid also shows the end
// of the month before and the start of the next; a day between 15 and 22 appears once.
void ClickDay(QCalendarWidget* calendar, int day) {
    auto* view = calendar->findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row)
        for (int col = 0; col < model->columnCount(); ++col) {
            QModelIndex cell = model->index(row, col);
            if (model->data(cell).toString() == QString::number(day)) {
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                  view->visualRect(cell).center());
                return;
            }
        }
    ADD_FAILURE() << "day " << day << " not on the calendar page";
}

}  // namespace

TEST(SolarCalendarWindow, PickedDayAndButtonFillTheThreeLabels) {
    testing_support::QtApp();
    testing_support::FakePlatform platform;  // today is 14 May 2026: summer time, UTC+1
    app::frmTalpor frm{platform};
    frm.Form_Load();
    talpor_qt::TalporWindow window(frm);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.ChooseTab(2);

    auto* calendar = qobject_cast<QCalendarWidget*>(window.WidgetOf("MonthView1"));
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->objectName(), QStringLiteral("MonthView1"));
    calendar->setCurrentPage(2024, 6);  // browsing to June 2024 does not pick a day
    ClickDay(calendar, 21);
    EXPECT_EQ(calendar->selectedDate(), QDate(2024, 6, 21));
    EXPECT_EQ(frm.Form().Get("MonthView1").date, (app::Date{2024, 6, 21}));

    auto* button = qobject_cast<QPushButton*>(window.WidgetOf("Command3"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("Salida y puesta del Sol  (pto. 1)"));
    QTest::mouseClick(button, Qt::LeftButton);

    // The same click on a bare control model with that date, zone and summer time.
    testing_support::UtilitiesTab expected;
    expected.form.Get("MonthView1").date = {2024, 6, 21};
    utilities::Command3_Click(expected.form, expected.platform);
    for (const char* name : {"LblOrto", "LblCulmin", "LblOcaso"}) {
        SCOPED_TRACE(name);
        auto* label = qobject_cast<QLabel*>(window.WidgetOf(name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text().toStdString(), expected.Caption(name));
        EXPECT_EQ(label->toolTip().toStdString(), expected.ToolTip(name));
    }
    // 38º 25' N, 1º 34' W on the June solstice in Spanish summer time.
    EXPECT_EQ(qobject_cast<QLabel*>(window.WidgetOf("LblOrto"))->text(),
              QStringLiteral("6:42:44 AM"));
    EXPECT_TRUE(platform.msgBoxes.empty());
}
