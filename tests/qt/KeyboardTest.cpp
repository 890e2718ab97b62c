// The window driven from the keyboard alone (offscreen): the Tab order, Enter on buttons
// and in fields, and the keys that change tabs.
#include <QApplication>
#include <QRadioButton>
#include <QTabBar>

#include "ShownWindow.h"

using testing_support::ShownWindow;

namespace {

// The control that has the keyboard focus ("TxtWGSg_6"; "SSTab1" for the tab bar).
QString Focused(ShownWindow<>& s) {
    const form::Control* c = s.window->ControlOf(QApplication::focusWidget());
    return QString::fromStdString(c == nullptr ? "(none)" : c->id.ObjectName());
}

void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    QTest::qWait(10);
}

// The stops of the Tab order, from the tab bar round to it again, in the order of Tab;
// with `enter`, each field is left with Return or the keypad's Enter (in turn) instead.
QString TabStops(ShownWindow<>& s, int key, bool enter = false) {
    s.window->findChild<QTabBar*>()->setFocus(Qt::OtherFocusReason);
    QTest::qWait(10);
    QStringList stops;
    for (int n = 0; n < 40; ++n) {
        const bool field = enter && qobject_cast<QLineEdit*>(QApplication::focusWidget());
        const bool keypad = field && n % 2 == 1;
        const int pressed = field ? (keypad ? Qt::Key_Enter : Qt::Key_Return) : key;
        Key(pressed, keypad ? Qt::KeypadModifier : Qt::NoModifier);
        if (Focused(s) == "SSTab1") break;
        key == Qt::Key_Backtab ? stops.prepend(Focused(s)) : stops.append(Focused(s));
    }
    return stops.join(' ');
}

}  // namespace

// One stop per option group, the input-mode buttons before the fields they enable; Enter in
// a field goes where Tab goes; Shift+Tab goes the same way back.
TEST(KeyboardTabOrder, EachTabIsWalkedInReadingOrderWithOneStopPerOptionGroup) {
    for (auto [tab, stops] : {
             std::pair{0,
                       "OptUTM_0 TxtWGSg_0 TxtWGSg_1 TxtWGSg_2 TxtWGSg_3 TxtWGSg_4 TxtWGSg_5 "
                       "OptLng_0 TxtWGSg_6 OptAltura_0 CmdED50Helmert Command1_0 CmdED50Rejilla "
                       "Command1_4 CmdED50Molodensky Command1_1 OptMWGS84_1 CmdFichero_0 CmdMapa_0 "
                       "CmdAcerca Command15"},
             {1,
              "OptCoord_0 TxtUTMe TxtUTMn CmbUsos2 TxtWGSg_25 OptAltura_2 CmdWGS84Helmert Command1_2 "
              "CmdWGS84Rejilla Command1_5 CmdWGS84Molodensky Command1_3 OptMED50_3 CmdFichero_1 "
              "CmdMapa_1 CmdAcerca Command15"},
             {2,
              "TxtWGSg_9 TxtWGSg_10 TxtWGSg_11 OptLng_8 TxtWGSg_12 TxtWGSg_13 TxtWGSg_27 OptLng_3 "
              "Command2 Command5 TxtWGSg_33 TxtWGSg_32 TxtWGSg_31 OptLng_11 TxtWGSg_30 TxtWGSg_29 "
              "TxtWGSg_28 OptLng_6 Command4 MonthView1 CmbUTC CmbHS Command3 CmdAcerca Command15"},
         }) {
        SCOPED_TRACE(tab);
        ShownWindow<> s;
        s.window->ChooseTab(tab);
        QTest::qWait(10);
        EXPECT_EQ(TabStops(s, Qt::Key_Tab), stops);
        EXPECT_EQ(TabStops(s, Qt::Key_Tab, true), stops);
        EXPECT_EQ(TabStops(s, Qt::Key_Backtab), stops);
        EXPECT_TRUE(s.platform.msgBoxes.empty());
    }
}

TEST(KeyboardEnter, ReturnOrTheKeypadsEnterOnAFocusedButtonPressesIt) {
    for (auto [tab, button, key, label, index] :
         {std::tuple{0, "CmdED50Helmert", Qt::Key_Return, "LblGeoLat", 0},
          {2, "Command3", Qt::Key_Enter, "LblOrto", -1}}) {
        SCOPED_TRACE(button);
        ShownWindow<> s;
        s.window->ChooseTab(tab);
        s.Focus(button);
        const QString before = s.Text(label, index);
        Key(key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_NE(s.Text(label, index), before);
        EXPECT_TRUE(s.platform.msgBoxes.empty());
    }
}

// Ctrl+Tab, Ctrl+Shift+Tab and Ctrl+PageUp/PageDown change tabs as a click on the tab
// does, whatever has the focus. From a field that needs correcting the first key is spent
// on its check: the field keeps the focus and its tab stays in front.
TEST(KeyboardTabs, CtrlKeysChangeTabsAndAKeyLeavingACorrectedFieldIsSpentOnItsCheck) {
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    for (auto [from, focus, index, key, modifiers, to] :
         {std::tuple{0, "TxtWGSg", 0, Qt::Key_Tab, ctrl, 1},  // with "50" typed
          {2, "Command3", -1, Qt::Key_Tab, ctrl, 0},
          {0, "OptLng", 0, Qt::Key_Backtab, ctrl | Qt::ShiftModifier, 2},
          {2, "MonthView1", -1, Qt::Key_PageDown, ctrl, 0},
          {0, "SSTab1", -1, Qt::Key_PageUp, ctrl, 2}}) {
        SCOPED_TRACE(std::string(focus) + " " + std::to_string(key));
        ShownWindow<> s;
        auto* tabs = s.window->findChild<QTabBar*>();
        s.window->ChooseTab(from);
        QTest::qWait(10);
        (std::string(focus) == "SSTab1" ? tabs : s.Widget(focus, index))
            ->setFocus(Qt::TabFocusReason);
        QTest::qWait(10);
        if (std::string(focus) == "TxtWGSg") {
            QTest::keyClicks(s.Edit(focus, index), "50");
            Key(key, modifiers);
            ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
            EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");
            EXPECT_EQ(s.Text(focus, index), QStringLiteral("44"));
            EXPECT_EQ(Focused(s), "TxtWGSg_0");
            EXPECT_EQ(tabs->currentIndex(), 0);
            s.platform.msgBoxes.clear();
        }
        Key(key, modifiers);
        EXPECT_EQ(tabs->currentIndex(), to);
        EXPECT_EQ(s.frm.Form().Get("SSTab1").currentTab, to);
        // The tab that came to the front shows its input-mode button selected.
        EXPECT_TRUE(to == 2 ||
                    s.Widget<QRadioButton>(to == 0 ? "OptUTM" : "OptCoord", 0)->isChecked());
        EXPECT_TRUE(s.platform.msgBoxes.empty());
    }
}
