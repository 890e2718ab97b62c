#include "app/frmTalpor.h"

#include <gtest/gtest.h>

#include "convert/InputMode.h"
#include "entry/Fields.h"
#include "num/RuntimeError.h"
#include "support/FakePlatform.h"

using app::Control;
using app::EndReason;
using app::frmTalpor;
using app::MsgResult;
using testing_support::FakePlatform;

namespace {

struct Started {
    FakePlatform platform;
    frmTalpor window{platform};
    Started() {
        window.Form_Load();
        window.Activate();
    }
    app::FormModel& form() { return window.Form(); }
    Control& Get(std::string_view name, int index = -1) { return window.Form().Get(name, index); }
};

bool EntryRulesBuilt(frmTalpor& w) {
    return entry::IsCoordinateField(w.Form().Get("TxtWGSg", 0));
}

}  // namespace

TEST(FormLoad, FillsTheFourListsAndTheCalendarAndStoresTheProgramFolder) {
    Started s;
    EXPECT_FALSE(s.window.MustEnd());
    using Items = std::vector<std::string>;
    EXPECT_EQ(s.Get("CmbHuso").items, (Items{"29", "30", "31"}));
    EXPECT_EQ(s.Get("CmbHuso").ListText(), "30");
    EXPECT_EQ(s.Get("CmbUsos2").items, (Items{"29", "30", "31"}));
    EXPECT_EQ(s.Get("CmbUsos2").ListText(), "30");
    EXPECT_EQ(s.Get("CmbUTC").items, (Items{"UTC-2", "UTC-1", "UTC=0", "UTC+1", "UTC+2", "UTC+3"}));
    EXPECT_EQ(s.Get("CmbUTC").ListText(), "UTC+1");
    EXPECT_EQ(s.Get("CmbHS").items, (Items{"Invierno =0", "Verano   +1"}));
    EXPECT_EQ(s.Get("MonthView1").date, (app::Date{2026, 5, 14}));
    EXPECT_EQ(s.platform.settings["Talpor/Setting/AppPath"], "/opt/talpor/");
    EXPECT_TRUE(s.platform.msgBoxes.empty());

    int selected = 0;
    for (const char* name : {"OptUTM", "OptCoord"})
        for (int i : {0, 1}) selected += s.Get(name, i).value ? 1 : 0;
    EXPECT_EQ(selected, 1);
    EXPECT_TRUE(s.Get("OptUTM", 0).value);
}

TEST(FormLoad, SummerTimeFollowsTheMonthOfToday) {
    struct Case {
        int month, day;
        const char* shown;
    } cases[] = {{5, 14, "Verano   +1"}, {11, 1, "Invierno =0"}, {4, 1, "Verano   +1"},
                 {3, 31, "Invierno =0"}, {10, 31, "Verano   +1"}, {12, 25, "Invierno =0"},
                 {1, 1, "Invierno =0"}};
    for (const Case& c : cases) {
        FakePlatform p;
        p.now = {2026, c.month, c.day, 12, 0, 0};
        frmTalpor w(p);
        w.Form_Load();
        EXPECT_EQ(w.Form().Get("CmbHS").ListText(), c.shown) << c.month << "/" << c.day;
    }
}

TEST(FormLoad, SecondInstanceShowsTheMessageAndEndsBeforeAnythingElse) {
    FakePlatform p;
    p.previousInstance = true;
    frmTalpor w(p);
    w.Form_Load();
    ASSERT_EQ(p.msgBoxes.size(), 1u);
    EXPECT_EQ(p.LastMsgBox().text, "No se puede cargar el programa de nuevo");
    EXPECT_EQ(p.LastMsgBox().title, "La aplicación ya está abierta");
    EXPECT_EQ(p.LastMsgBox().icon, app::MsgIcon::Exclamation);
    EXPECT_EQ(p.LastMsgBox().buttons, app::MsgButtons::OK);
    EXPECT_EQ(w.GetEndReason(), EndReason::SecondInstance);
    EXPECT_TRUE(p.settings.empty());
    EXPECT_TRUE(w.Form().Get("CmbHuso").items.empty());
}

TEST(FormLoad, FailingRegionalRuleEndsTheProgramWhateverTheAnswer) {
    for (MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
        FakePlatform p;
        p.locale[app::LocaleItem::DecimalSep] = ".";
        p.answers = {answer};
        frmTalpor w(p);
        w.Form_Load();
        EXPECT_EQ(w.GetEndReason(), EndReason::RegionalSettings);
        EXPECT_EQ(p.startedProcesses.size(), answer == MsgResult::Yes ? 1u : 0u);
        EXPECT_EQ(p.settings.size(), 1u);  // the folder is stored before the rule runs
        EXPECT_TRUE(w.Form().Get("CmbHuso").items.empty());
        w.Activate();  // the window is never shown; nothing more happens
        EXPECT_EQ(p.msgBoxes.size(), 1u);
    }
}

namespace {
// A clock that fails once, as a run-time error inside start-up would.
struct FailingClock : FakePlatform {
    int failures = 1;
    app::DateTime Now() override {
        if (failures-- > 0) throw num::Overflow("clock");
        return FakePlatform::Now();
    }
};
// A screen query that fails, as a run-time error inside activation would.
struct FailingScreen : FakePlatform {
    app::ScreenSize Screen() override { throw num::DivisionByZero("pixel size"); }
};
}  // namespace

TEST(FormLoad, RunTimeErrorIsLoggedAsTalporFormLoadAndEndsTheProgram) {
    FailingClock p;
    frmTalpor w(p);
    w.Form_Load();
    EXPECT_EQ(w.GetEndReason(), EndReason::Error);
    ASSERT_EQ(p.msgBoxes.size(), 1u);
    EXPECT_EQ(p.LastMsgBox().title, "Talpor Error");
    EXPECT_EQ(p.files["/opt/talpor/Error.log"],
              "\"14/05/2026 @ 10:30:15\",\"Talpor Form_load\",6,\"Desbordamiento\"\r\n");
}

TEST(FormActivate, ScreenOf800x600PassesAnd1024x576EndsTheProgram) {
    Started ok;
    EXPECT_FALSE(ok.window.MustEnd());

    FakePlatform p;
    p.screen = {1024, 576};
    frmTalpor w(p);
    w.Form_Load();
    w.Activate();
    ASSERT_EQ(p.msgBoxes.size(), 1u);
    EXPECT_EQ(p.LastMsgBox().text, "Incorrecta resolución: Se requiere 800x600 o superior");
    EXPECT_EQ(p.LastMsgBox().title, "Resolución del monitor");
    EXPECT_EQ(p.LastMsgBox().icon, app::MsgIcon::Critical);
    EXPECT_EQ(p.mousePointerResets, 1);
    EXPECT_EQ(w.GetEndReason(), EndReason::Screen);
}

TEST(FormActivate, RunsTheScreenCheckOnlyAtTheFirstActivation) {
    Started s;
    s.platform.screen = {640, 480};  // switching away and back does not check again
    s.window.Activate();
    EXPECT_TRUE(s.platform.msgBoxes.empty());
    EXPECT_FALSE(s.window.MustEnd());
}

TEST(FormActivate, RunTimeErrorIsLoggedAsFormActivateAndEndsTheProgram) {
    FailingScreen p;
    frmTalpor w(p);
    w.Form_Load();
    w.Activate();
    EXPECT_EQ(w.GetEndReason(), EndReason::Error);
    ASSERT_EQ(p.msgBoxes.size(), 1u);
    EXPECT_NE(p.LastMsgBox().text.find("frmTalpor.Form_Activate"), std::string::npos);
    EXPECT_EQ(p.files["/opt/talpor/Error.log"],
              "\"14/05/2026 @ 10:30:15\",\"frmTalpor.Form_Activate\",11,\"División por cero\"\r\n");
}

TEST(TabChange, LeavingTabZeroPutsTabOneInUtmModeAndBackGivesGeographic) {
    Started s;
    ASSERT_TRUE(s.window.ChangeTab(1));
    EXPECT_TRUE(s.Get("OptCoord", 0).value);
    EXPECT_FALSE(s.Get("OptUTM", 0).value);
    EXPECT_FALSE(s.Get("OptUTM", 1).value);
    EXPECT_TRUE(s.Get("Frame2").enabled);
    EXPECT_FALSE(s.Get("Frame9", 1).enabled);
    EXPECT_EQ(s.Get("TxtWGSg", 7).foreColor, app::kGrey);
    EXPECT_EQ(s.Get("TxtUTMe").foreColor, app::kButtonText);

    // The user picks geographic input on tab 1, then goes back to tab 0.
    s.window.Click("OptCoord", 1);
    EXPECT_TRUE(s.Get("Frame9", 1).enabled);
    ASSERT_TRUE(s.window.ChangeTab(0));
    EXPECT_TRUE(s.Get("OptUTM", 0).value);
    EXPECT_FALSE(s.Get("OptCoord", 1).value);
    EXPECT_TRUE(s.Get("Frame1", 0).enabled);
    EXPECT_FALSE(s.Get("Frame7").enabled);
    EXPECT_FALSE(convert::Tab0ReadsUtm(s.form()));
}

TEST(TabChange, ZeroToTwoToZeroLeavesTabZeroShowingGeographicButReadingUtm) {
    Started s;
    s.Get("TxtWGSg", 0).text = "40";
    ASSERT_TRUE(s.window.ChangeTab(2));
    EXPECT_TRUE(s.Get("OptCoord", 0).value);
    ASSERT_TRUE(s.window.ChangeTab(0));
    EXPECT_FALSE(s.Get("OptUTM", 0).value);
    EXPECT_FALSE(s.Get("OptUTM", 1).value);
    EXPECT_TRUE(s.Get("Frame1", 0).enabled);  // frames and colours as before
    EXPECT_FALSE(s.Get("Frame7").enabled);
    EXPECT_EQ(s.Get("TxtWGSg", 0).text, "40");
    EXPECT_TRUE(convert::Tab0ReadsUtm(s.form()));

    s.window.Click("OptUTM", 0);  // display and test agree again
    EXPECT_FALSE(convert::Tab0ReadsUtm(s.form()));
}

TEST(TabChange, ZeroToTwoToOneLeavesTabOneInUtmMode) {
    Started s;
    ASSERT_TRUE(s.window.ChangeTab(2));
    ASSERT_TRUE(s.window.ChangeTab(1));
    EXPECT_TRUE(s.Get("OptCoord", 0).value);
    EXPECT_TRUE(convert::Tab1ReadsUtm(s.form()));
    EXPECT_TRUE(s.Get("Frame2").enabled);
    EXPECT_FALSE(s.Get("Frame9", 1).enabled);
    EXPECT_EQ(s.Get("SSTab1").currentTab, 1);
}

TEST(TabChange, SameTabOrUnknownTabChangesNothing) {
    Started s;
    EXPECT_FALSE(s.window.ChangeTab(0));
    EXPECT_FALSE(s.window.ChangeTab(3));
    EXPECT_TRUE(s.Get("OptUTM", 0).value);
}

TEST(Clicks, InputModeButtonsSwitchFramesAndControlsInDisabledFramesIgnoreClicks) {
    Started s;
    s.window.Click("OptUTM", 1);
    EXPECT_FALSE(s.Get("Frame1", 0).enabled);
    EXPECT_TRUE(s.Get("Frame7").enabled);
    EXPECT_EQ(s.form().focused, &s.Get("OptUTM", 1));

    s.window.Click("OptLng", 1);  // "E" inside the now disabled Frame1(0)
    EXPECT_TRUE(s.Get("OptLng", 0).value);
    EXPECT_FALSE(s.Get("OptLng", 1).value);
    EXPECT_FALSE(s.window.MoveFocus("TxtWGSg", 0));
    EXPECT_TRUE(s.window.MoveFocus("TxtUTMx"));
}

TEST(Clicks, CerrarEndsTheProgramWithoutAsking) {
    Started s;
    s.window.Click("Command15");
    EXPECT_EQ(s.window.GetEndReason(), EndReason::Closed);
    EXPECT_TRUE(s.platform.msgBoxes.empty());
}

TEST(Clicks, EveryButtonRunsWithoutEndingTheProgram) {
    Started s;
    for (auto& c : s.form().Controls()) {
        if (c->kind != app::Kind::CommandButton || c->id.name == "Command15") continue;
        s.window.ChangeTab(c->tab);
        s.window.Click(*c);
        EXPECT_FALSE(s.window.MustEnd()) << c->id.Text();
    }
}

TEST(ClickGuard, AFailingHandlerIsReportedAndLoggedAndTheProgramRunsOn) {
    Started s;
    s.window.Guard("frmTalpor.CmdED50Helmert_Click", [] { throw num::DivisionByZero("M + h"); });
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text,
              "Ha ocurrido un error en frmTalpor.CmdED50Helmert_Click\r\n"
              "Error núm. (11) : División por cero\r"
              "Ha quedado registrado en el archivo /opt/talpor/Error.log");
    EXPECT_EQ(s.platform.LastMsgBox().icon, app::MsgIcon::Critical);
    EXPECT_FALSE(s.window.MustEnd());

    s.window.Guard("frmTalpor.Command4_Click", [] { throw std::out_of_range("no control X"); });
    EXPECT_EQ(s.platform.files["/opt/talpor/Error.log"],
              "\"14/05/2026 @ 10:30:15\",\"frmTalpor.CmdED50Helmert_Click\",11,\"División por cero\"\r\n"
              "\"14/05/2026 @ 10:30:15\",\"frmTalpor.Command4_Click\",51,"
              "\"Error interno: no control X\"\r\n");
    EXPECT_FALSE(s.window.MustEnd());
    s.window.Click("OptUTM", 1);  // still working
    EXPECT_TRUE(s.Get("Frame7").enabled);
}

TEST(TextBoxes, TypingAndPastingAreCutAtTheFieldLimit) {
    Started s;
    Control& height = s.Get("TxtWGSg", 6);
    ASSERT_TRUE(s.window.MoveFocus(&height));
    std::string paste(300, '1');
    s.window.EditText(height, paste);
    EXPECT_EQ(height.text, std::string(255, '1'));
    height.selStart = 255;
    height.selLength = 0;
    s.window.Type(height, "2");
    EXPECT_EQ(height.text.size(), 255u);
    s.window.MoveFocus("TxtWGSg", 1);  // leaving it neither crashes nor ends the program
    EXPECT_FALSE(s.window.MustEnd());
    if (EntryRulesBuilt(s.window)) {
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
        EXPECT_EQ(s.platform.LastMsgBox().text, "-500,0 < Altura sobre el elipsoide  <3.000,0");
        EXPECT_EQ(s.form().focused, &height);
    }

    Control& minutes = s.Get("TxtWGSg", 1);
    minutes.text = "12";
    minutes.selStart = 2;
    minutes.selLength = 0;
    s.window.Type(minutes, "\b3");
    EXPECT_EQ(minutes.text, "13");
}

TEST(FocusPattern, OutOfRangeLatitudeIsClampedAndKeepsTheFocusWithoutCheckingTwice) {
    Started s;
    if (!EntryRulesBuilt(s.window)) GTEST_SKIP() << "the coordinate field rules are not built yet";
    Control& degrees = s.Get("TxtWGSg", 0);
    ASSERT_TRUE(s.window.MoveFocus(&degrees));
    EXPECT_EQ(degrees.backColor, app::kLightYellow);
    EXPECT_EQ(degrees.selLength, 2);  // "38" fully selected
    s.window.Type(degrees, "45");
    EXPECT_EQ(degrees.text, "45");

    EXPECT_FALSE(s.window.MoveFocus("TxtWGSg", 1));
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");
    EXPECT_EQ(s.platform.LastMsgBox().title, "Limitaciones");
    EXPECT_EQ(degrees.text, "44");
    EXPECT_EQ(s.form().focused, &degrees);
    EXPECT_EQ(degrees.backColor, app::kLightYellow);
    EXPECT_EQ(s.Get("TxtWGSg", 1).backColor, app::kWhite);  // never got the focus

    EXPECT_TRUE(s.window.MoveFocus("TxtWGSg", 1));  // now in range: no second message
    EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
}

TEST(FocusPattern, ACorrectedFieldKeepsTheFocusAndStopsTheClickAndTheTabChange) {
    Started s;
    if (!EntryRulesBuilt(s.window)) GTEST_SKIP() << "the coordinate field rules are not built yet";
    Control& degrees = s.Get("TxtWGSg", 0);
    s.window.MoveFocus(&degrees);
    s.window.EditText(degrees, "50");
    s.window.Click("OptUTM", 1);
    EXPECT_EQ(s.form().focused, &degrees);
    EXPECT_TRUE(s.Get("OptUTM", 0).value);  // the click did not run

    s.window.EditText(degrees, "30");
    EXPECT_FALSE(s.window.ChangeTab(2));
    EXPECT_EQ(s.Get("SSTab1").currentTab, 0);
    EXPECT_EQ(degrees.text, "35");
    EXPECT_EQ(s.platform.msgBoxes.size(), 2u);
}
