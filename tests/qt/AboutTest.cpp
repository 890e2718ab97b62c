// The About box in the real window (offscreen): the "?" button beside "Cerrar", F1 from a
// field, and the dialog the Qt platform shows.
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBrowser>

#include "ShownWindow.h"
#include "qt/QtPlatform.h"

using testing_support::ShownWindow;

TEST(AboutWindow, TheQuestionButtonBesideCerrarAndF1FromAFieldOpenTheAboutBox) {
    QTemporaryDir dir;
    testing_support::SpanishSettings spanish(dir.path());
    ShownWindow<talpor_qt::QtPlatform> s(dir.path() + "/talpor.lock");
    ASSERT_FALSE(s.frm.MustEnd());
    s.platform.SetMainWindow(s.window.get());

    auto* about = s.Widget<QPushButton>("CmdAcerca");
    auto* cerrar = s.Widget<QPushButton>("Command15");
    EXPECT_EQ(about->text(), QStringLiteral("?"));
    EXPECT_EQ(about->toolTip(), QStringLiteral("Acerca de Talpor (F1)"));
    EXPECT_EQ(about->accessibleName(), QStringLiteral("Acerca de Talpor"));
    EXPECT_EQ(about->geometry().top(), cerrar->geometry().top());
    EXPECT_EQ(about->height(), cerrar->height());
    EXPECT_LT(about->width(), cerrar->width() / 2);
    const int gap = cerrar->geometry().left() - about->geometry().right() - 1;
    EXPECT_TRUE(gap > 0 && gap <= 12) << gap;

    // Each box shown is read and closed as a user would: Escape, then Return on "Cerrar".
    QStringList closedWith = {"Escape", "Return"};
    int boxes = 0;
    int ticks = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (box == nullptr || closedWith.isEmpty()) return;
        if (!box->isActiveWindow() && ++ticks < 33) return;  // active within a second
        ticks = 0;
        ++boxes;
        EXPECT_EQ(box->objectName(), QStringLiteral("TalporAbout"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Acerca de Talpor"));
        const QString text = box->findChild<QTextBrowser*>()->toPlainText();
        EXPECT_TRUE(text.contains(QStringLiteral("Contiene datos derivados del Instituto "
                                                 "Geográfico Nacional de España (www.ign.es), "
                                                 "licencia CC BY 4.0")));
        EXPECT_FALSE(text.contains(QLatin1Char('|'))) << "the table is shown as a table";
        EXPECT_FALSE(text.contains(QStringLiteral("**")));
        QPushButton* close = box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
        EXPECT_EQ(close->text().remove(QLatin1Char('&')), QStringLiteral("Cerrar"));
        EXPECT_EQ(QApplication::focusWidget(), close);
        EXPECT_TRUE(box->screen()->availableGeometry().contains(box->frameGeometry()));
        QTest::keyClick(QApplication::focusWidget(),
                        closedWith.takeFirst() == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
    });
    closer.start(30);

    QLineEdit* degrees = s.Edit("TxtWGSg", 0);
    degrees->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
    QTest::keyClick(degrees, Qt::Key_F1);
    EXPECT_EQ(boxes, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return degrees->hasFocus(); }, 1000));
    EXPECT_EQ(s.frm.Form().focused, &s.frm.Form().Get("TxtWGSg", 0));

    s.Click("CmdAcerca");
    EXPECT_EQ(boxes, 2);
    EXPECT_FALSE(s.frm.MustEnd());
}
