// The window driven from the keyboard alone (offscreen): the Tab order, option groups
// as single Tab stops moved in with the arrow keys, Enter on buttons and in fields, and
// the keys that change tabs.
#include <QApplication>
#include <QLabel>
#include <QRadioButton>
#include <QTabBar>

#include "ShownWindow.h"

using testing_support::ShownWindow;

namespace {

// The control that has the keyboard focus, by its widget's object name
// ("TxtWGSg_6"; "SSTab1" for the tab bar).
std::string Focused(ShownWindow<>& s) {
    const app::Control* c = s.window->ControlOf(QApplication::focusWidget());
    return c == nullptr ? "(none)" : c->id.ObjectName();
}

void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    QTest::qWait(10);
}

// The stops of the Tab order, from the tab bar round to it again; with `enter`, each field
// is left with Return or the keypad's Enter (in turn) instead.
std::vector<std::string> TabStops(ShownWindow<>& s, int key, bool enter = false) {
    s.window->findChild<QTabBar*>()->setFocus(Qt::OtherFocusReason);
    QTest::qWait(10);
    std::vector<std::string> stops;
    for (int n = 0; n < 40; ++n) {
        const bool field = enter && qobject_cast<QLineEdit*>(QApplication::focusWidget());
        const bool keypad = field && n % 2 == 1;
        const int pressed = field ? (keypad ? Qt::Key_Enter : Qt::Key_Return) : key;
        Key(pressed, keypad ? Qt::KeypadModifier : Qt::NoModifier);
        if (Focused(s) == "SSTab1") break;
        stops.push_back(Focused(s));
    }
    return stops;
}

void GiveFocus(ShownWindow<>& s, const char* name, int index = -1) {
    s.Widget(name, index)->setFocus(Qt::TabFocusReason);
    QTest::qWait(10);
}

using Stops = std::vector<std::string>;

}  // namespace

// Each option group is one stop, at its selected button; the input-mode buttons come
// before the fields they enable; Enter in a field goes where Tab goes; Shift+Tab goes the
// same way back.
TEST(KeyboardTabOrder, EachTabIsWalkedInReadingOrderWithOneStopPerOptionGroup) {
    const struct {
        int tab;
        bool utm;  // tab 0: UTM input chosen first
        Stops stops;
    } cases[] = {
        {0, false,
         {"OptUTM_0", "TxtWGSg_0", "TxtWGSg_1", "TxtWGSg_2", "TxtWGSg_3", "TxtWGSg_4",
          "TxtWGSg_5", "OptLng_0", "TxtWGSg_6", "CmdED50Helmert", "Command1_0",
          "CmdED50Rejilla", "Command1_4", "CmdED50Molodensky", "Command1_1", "OptMWGS84_1", "CmdFichero_0",
          "CmdAcerca", "Command15"}},
        {0, true,
         {"OptUTM_1", "TxtUTMx", "TxtUTMy", "CmbHuso", "TxtWGSg_8", "CmdED50Helmert",
          "Command1_0", "CmdED50Rejilla", "Command1_4", "CmdED50Molodensky", "Command1_1",
          "OptMWGS84_1", "CmdFichero_0", "CmdAcerca", "Command15"}},
        {1, false,
         {"OptCoord_0", "TxtUTMe", "TxtUTMn", "CmbUsos2", "TxtWGSg_25", "CmdWGS84Helmert",
          "Command1_2", "CmdWGS84Rejilla", "Command1_5", "CmdWGS84Molodensky", "Command1_3",
          "OptMED50_3", "CmdFichero_1", "CmdAcerca", "Command15"}},
        {2, false,
         {"TxtWGSg_9", "TxtWGSg_10", "TxtWGSg_11", "OptLng_8", "TxtWGSg_12", "TxtWGSg_13",
          "TxtWGSg_27", "OptLng_3", "Command2", "Command5", "TxtWGSg_33", "TxtWGSg_32",
          "TxtWGSg_31", "OptLng_11", "TxtWGSg_30", "TxtWGSg_29", "TxtWGSg_28", "OptLng_6",
          "Command4", "MonthView1", "CmbUTC", "CmbHS", "Command3", "CmdAcerca", "Command15"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tab);
        ShownWindow<> s;
        s.window->ChooseTab(c.tab);
        if (c.utm) s.Click("OptUTM", 1);
        QTest::qWait(10);
        EXPECT_EQ(TabStops(s, Qt::Key_Tab), c.stops);
        EXPECT_EQ(TabStops(s, Qt::Key_Tab, true), c.stops);
        EXPECT_EQ(TabStops(s, Qt::Key_Backtab), Stops(c.stops.rbegin(), c.stops.rend()));
        EXPECT_TRUE(s.platform.msgBoxes.empty());
    }
}

TEST(KeyboardOptionGroups, ArrowKeysSelectTheOtherButtonAndTheGroupStopFollowsIt) {
    const struct {
        int tab;
        const char* group;
        int from, to;     // OptLng(from) has the focus; the arrow selects OptLng(to)
        int key;
        const char* after;  // the stop after the group
    } cases[] = {
        {0, "OptLng", 0, 1, Qt::Key_Right, "TxtWGSg_6"},    // W -> E
        {0, "OptLng", 0, 1, Qt::Key_Left, "TxtWGSg_6"},     // cyclic
        {2, "OptLng", 8, 9, Qt::Key_Down, "TxtWGSg_12"},    // N -> S
        {0, "OptMWGS84", 1, 0, Qt::Key_Left, "CmdFichero_0"},  // NIMA -> IGN
        {0, "OptUTM", 0, 1, Qt::Key_Down, "TxtUTMx"},       // and the UTM frame opens
    };
    for (const auto& c : cases) {
        std::string from = std::string(c.group) + "_" + std::to_string(c.from);
        std::string to = std::string(c.group) + "_" + std::to_string(c.to);
        SCOPED_TRACE(from + " -> " + to);
        ShownWindow<> s;
        s.window->ChooseTab(c.tab);
        GiveFocus(s, c.group, c.from);
        ASSERT_EQ(Focused(s), from);
        Key(c.key);
        EXPECT_EQ(Focused(s), to);
        EXPECT_TRUE(s.Widget<QRadioButton>(c.group, c.to)->isChecked());
        EXPECT_FALSE(s.Widget<QRadioButton>(c.group, c.from)->isChecked());
        EXPECT_TRUE(s.frm.Form().Get(c.group, c.to).value);
        Key(Qt::Key_Tab);
        EXPECT_EQ(Focused(s), c.after);
        Key(Qt::Key_Backtab);  // back into the group: at its selected button
        EXPECT_EQ(Focused(s), to);
    }
}

// The arrow's selection is a click: choosing E checks the longitude degrees again
// against the new limit (5 degrees east, 10 west), and the corrected field takes the focus.
TEST(KeyboardOptionGroups, AnArrowThatChangesTheHemisphereRunsItsCheck) {
    ShownWindow<> s;
    s.Type("TxtWGSg", 3, "8");  // longitude degrees
    GiveFocus(s, "OptLng", 0);  // W
    Key(Qt::Key_Right);
    EXPECT_TRUE(s.Widget<QRadioButton>("OptLng", 1)->isChecked());
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text, "0 < Grados sexagesimales <5");
    EXPECT_EQ(s.Edit("TxtWGSg", 3)->text(), QStringLiteral("5"));
    EXPECT_EQ(Focused(s), "TxtWGSg_3");
}

TEST(KeyboardEnter, EnterOnAFocusedButtonPressesIt) {
    const struct {
        int tab;
        const char* button;
        int index;
        int key;
        const char* label;  // a label the button writes (nullptr: it shows a box)
        int labelIndex;
    } cases[] = {
        {0, "CmdED50Helmert", -1, Qt::Key_Return, "LblGeoLat", 0},
        {0, "CmdED50Molodensky", -1, Qt::Key_Enter, "LblGeoLat", 0},
        {0, "Command1", 0, Qt::Key_Return, nullptr, 0},
        {2, "Command2", -1, Qt::Key_Return, nullptr, 0},
        {2, "Command3", -1, Qt::Key_Enter, "LblOrto", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " " + std::to_string(c.index));
        ShownWindow<> s;
        s.window->ChooseTab(c.tab);
        GiveFocus(s, c.button, c.index);
        QString before = c.label ? s.Widget<QLabel>(c.label, c.labelIndex)->text() : QString();
        // The keypad's Enter comes with the keypad modifier.
        Key(c.key, c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        if (c.label) {
            EXPECT_NE(s.Widget<QLabel>(c.label, c.labelIndex)->text(), before);
            EXPECT_TRUE(s.platform.msgBoxes.empty());
        } else {
            EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
        }
    }
}

// A key that leaves a field (Enter, Ctrl+Tab) runs its check; a corrected field keeps the
// focus and its tab in front, and the key pressed again goes on.
TEST(KeyboardCheck, AKeyThatLeavesACorrectedFieldIsSpentOnItsCheck) {
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* then;  // the focus when the key is pressed again
        int tab;
    } cases[] = {{Qt::Key_Return, Qt::NoModifier, "TxtWGSg_1", 0},
                 {Qt::Key_Tab, Qt::ControlModifier, "SSTab1", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.then);
        ShownWindow<> s;
        auto* tabs = s.window->findChild<QTabBar*>();
        GiveFocus(s, "TxtWGSg", 0);
        QTest::keyClicks(s.Edit("TxtWGSg", 0), "50");
        Key(c.key, c.modifiers);
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");
        EXPECT_EQ(s.Edit("TxtWGSg", 0)->text(), QStringLiteral("44"));
        EXPECT_EQ(Focused(s), "TxtWGSg_0");
        EXPECT_EQ(tabs->currentIndex(), 0);
        Key(c.key, c.modifiers);
        EXPECT_EQ(tabs->currentIndex(), c.tab);
        EXPECT_EQ(Focused(s), c.then);
    }
}

TEST(KeyboardTabs, CtrlTabAndCtrlPageKeysChangeTabsAsAClickOnTheTabDoes) {
    const struct {
        int from;
        const char* focus;  // the control that has the focus when the key comes
        int focusIndex;
        int key;
        Qt::KeyboardModifiers modifiers;
        int to;
    } cases[] = {
        {0, "TxtWGSg", 0, Qt::Key_Tab, Qt::ControlModifier, 1},
        {2, "Command3", -1, Qt::Key_Tab, Qt::ControlModifier, 0},
        {0, "OptLng", 0, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 2},
        {0, "CmdED50Helmert", -1, Qt::Key_PageDown, Qt::ControlModifier, 1},
        {2, "MonthView1", -1, Qt::Key_PageDown, Qt::ControlModifier, 0},
        {1, "Command15", -1, Qt::Key_PageUp, Qt::ControlModifier, 0},
        {0, "SSTab1", -1, Qt::Key_PageUp, Qt::ControlModifier, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        ShownWindow<> s;
        s.window->ChooseTab(c.from);
        QTest::qWait(10);
        QWidget* focus = std::string(c.focus) == "SSTab1" ? s.window->findChild<QTabBar*>()
                                                          : s.Widget(c.focus, c.focusIndex);
        focus->setFocus(Qt::TabFocusReason);
        QTest::qWait(10);
        Key(c.key, c.modifiers);
        EXPECT_EQ(s.window->findChild<QTabBar*>()->currentIndex(), c.to);
        EXPECT_EQ(s.frm.Form().Get("SSTab1").currentTab, c.to);
        // The tab that came to the front shows its input-mode button selected.
        EXPECT_TRUE(c.to == 2 ||
                    s.Widget<QRadioButton>(c.to == 0 ? "OptUTM" : "OptCoord", 0)->isChecked());
        EXPECT_TRUE(s.platform.msgBoxes.empty());
    }
}
