// Points pasted and dropped into the real window and results copied from it (offscreen).
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>

#include "ShownWindow.h"

using testing_support::ShownWindow;

namespace {

// Right-clicks `widget` and, once its menu is open, triggers the entry `caption`, answering
// with the entries' captions as shown (no "&", no shortcut; " (-)" when disabled).
QStringList RightClick(QWidget* widget, const QString& caption) {
    QStringList entries;
    QTimer::singleShot(50, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* chosen = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            const QString shown = a->text().remove('&').section('\t', 0, 0);
            entries << shown + (a->isEnabled() ? "" : " (-)");
            if (shown == caption) chosen = a;
        }
        menu->close();
        if (chosen != nullptr) chosen->trigger();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, widget->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(widget, &event);
    return entries;
}

}  // namespace

TEST(ClipboardWindow, AWholePointPastedOrDroppedFillsTheFieldsOfItsPoint) {
    ShownWindow<> s;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("N 40º 25' 00,5'' O 3º 42' 13''"));
    s.Click("TxtWGSg", 6);
    QTest::keyClick(s.Edit("TxtWGSg", 6), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s.Text("TxtWGSg", 0) + " " + s.Text("TxtWGSg", 1) + " " + s.Text("TxtWGSg", 2) + " " +
                  s.Text("TxtWGSg", 5) + " [" + s.Text("TxtWGSg", 6) + "]",  // a point without height
              QStringLiteral("40 25 0,5000 13,0000 []"));

    // The field's own menu, in Spanish, pastes UTM through the model: UTM input.
    clipboard->setText(QStringLiteral("30T 440721 4474447"));
    EXPECT_EQ(
        RightClick(s.Edit("TxtWGSg", 1), QStringLiteral("Pegar")).replaceInStrings(" (-)", ""),
        (QStringList{"Deshacer", "Rehacer", "Cortar", "Copiar", "Pegar", "Borrar",
                     "Seleccionar todo", "Copiar resultado", "Copiar en grados decimales (WGS84)",
                     "Copiar en grados y minutos (WGS84)", "Copiar UTM (WGS84)", "Ver en OpenStreetMap (WGS84)", "Ver en Google Maps (WGS84)"}));
    QTest::qWait(20);
    EXPECT_TRUE(s.Widget<QWidget>("Frame7")->isEnabled());
    EXPECT_EQ(s.Text("TxtUTMy"), QStringLiteral("4.474.447,00"));

    // Dropped on a utility point: a drop follows the drag's entry into the field.
    s.window->ChooseTab(2);
    QMimeData data;
    data.setText(QStringLiteral("-33.8688, 151.2093"));
    QLineEdit* target = s.Edit("TxtWGSg", 30);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_EQ(s.Text("TxtWGSg", 33), QStringLiteral("33"));
    EXPECT_EQ(target->text(), QStringLiteral("151"));
    EXPECT_TRUE(s.platform.msgBoxes.empty());
}

TEST(ClipboardWindow, ResultsAreSelectableAndTheirMenuCopiesThemInEveryForm) {
    ShownWindow<> s;
    s.Click("CmdED50Helmert");  // the initial point of tab 0
    auto* latitude = s.Widget<QLabel>("LblGeoLat", 0);
    EXPECT_TRUE(latitude->textInteractionFlags() & Qt::TextSelectableByMouse);

    QClipboard* clipboard = QGuiApplication::clipboard();
    EXPECT_EQ(RightClick(latitude, QStringLiteral("Copiar en grados decimales (ED50)")),
              (QStringList{"Copiar", "Copiar resultado", "Copiar en grados decimales (ED50)",
                           "Copiar en grados y minutos (ED50)", "Copiar UTM (ED50)", "Ver en OpenStreetMap (WGS84)", "Ver en Google Maps (WGS84)"}));
    // PROJ for this point (see convert_tests): -1.365438741876 38.267892379237.
    EXPECT_EQ(clipboard->text(), QStringLiteral("38.26789238, -1.36543874"));
    RightClick(s.Widget<QWidget>("Frame6"), QStringLiteral("Copiar UTM (ED50)"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("30S 642997.45 4236872.96"));
    // As a hand-held GPS takes a point (the same PROJ values in minutes).
    RightClick(latitude, QStringLiteral("Copiar en grados y minutos (ED50)"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("N 38º 16,07354' W 1º 21,92632'"));
    RightClick(latitude, QStringLiteral("Copiar"));
    EXPECT_EQ(clipboard->text(), latitude->text());
    RightClick(s.Widget<QWidget>("Frame5", 0), QStringLiteral("Copiar resultado"));
    EXPECT_TRUE(
        clipboard->text().endsWith(QStringLiteral("Huso= 30S\nParámetros regionales: EST99")))
        << clipboard->text().toStdString();

    // Before any result the result frame has no numbers to give; the input frame's, the typed
    // point.
    ShownWindow<> fresh;
    EXPECT_EQ(RightClick(fresh.Widget<QWidget>("Frame4"), {}),
              (QStringList{"Copiar (-)", "Copiar resultado", "Copiar en grados decimales (WGS84) (-)",
                           "Copiar en grados y minutos (WGS84) (-)", "Copiar UTM (WGS84) (-)", "Ver en OpenStreetMap (WGS84)", "Ver en Google Maps (WGS84)"}));
    RightClick(fresh.Widget<QWidget>("Frame1", 0),
               QStringLiteral("Copiar en grados decimales (WGS84)"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("38.26666667, -1.36666667"));

    // A utility point beyond 84º N: its UTM entry says why in a box, and copies nothing.
    fresh.window->ChooseTab(2);
    fresh.Type("TxtWGSg", 9, "85");
    RightClick(fresh.Widget<QWidget>("Frame1", 2), QStringLiteral("Copiar UTM (WGS84)"));
    EXPECT_EQ(clipboard->text(), QStringLiteral("38.26666667, -1.36666667"));
    ASSERT_EQ(fresh.platform.msgBoxes.size(), 1u);
    EXPECT_NE(fresh.platform.LastMsgBox().text.find("no tiene coordenadas UTM"), std::string::npos);
}

TEST(ClipboardWindow, APointPastedOverAHalfTypedFieldLeavesEveryControlUsable) {
    ShownWindow<> s;
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Text that is no point goes in as text; a UTM point then disables the field under the focus.
    s.Click("TxtWGSg", 1);
    for (const char* text : {"12 5", "30T 440721 4474447"}) {
        clipboard->setText(QString::fromUtf8(text));
        QTest::keyClick(s.Edit("TxtWGSg", 1), Qt::Key_V, Qt::ControlModifier);
        QTest::qWait(20);
    }
    EXPECT_FALSE(s.Edit("TxtWGSg", 1)->isEnabled());
    EXPECT_TRUE(QApplication::focusWidget() == nullptr || QApplication::focusWidget()->isEnabled());
    // Every click works: a method converts the pasted point, the mode button and a tab.
    s.Click("CmdED50Helmert");
    EXPECT_EQ(s.Text("LblUTM", 2), QStringLiteral("Huso= 30T"));
    s.Click("OptUTM", 0);
    EXPECT_TRUE(s.Edit("TxtWGSg", 1)->isEnabled());
    // The input mode changed: the result is the previous point's, greyed.
    EXPECT_EQ(s.Widget<QLabel>("LblUTM", 2)->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::Disabled, QPalette::Text));
    EXPECT_TRUE(s.platform.msgBoxes.empty());

    // A point beyond the fields' limits is refused whole: the Teide, on tab 1.
    s.window->ChooseTab(1);
    QTest::qWait(20);
    EXPECT_EQ(s.frm.Form().Get("SSTab1").currentTab, 1);
    QLineEdit* field =
        s.Edit("TxtWGSg", 14)->isEnabled() ? s.Edit("TxtWGSg", 14) : s.Edit("TxtUTMe");
    QTest::mouseClick(field, Qt::LeftButton);
    const QString before = s.Edit("TxtWGSg", 7)->text() + s.Edit("TxtUTMe")->text();
    clipboard->setText(QStringLiteral("28.2916, -16.6291"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_NE(s.platform.LastMsgBox().text.find("islas Canarias"), std::string::npos);
    EXPECT_EQ(s.Edit("TxtWGSg", 7)->text() + s.Edit("TxtUTMe")->text(), before);
}
