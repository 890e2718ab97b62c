#include "app/frmTalpor.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Started.h"
#include "convert/InputMode.h"
#include "num/RuntimeError.h"

using namespace app;
using testing_support::FakePlatform;
using testing_support::Started;

namespace {

// The clock (start-up) or the screen query (activation) fails once, as a run-time error.
struct FailingPlatform : FakePlatform {
    bool clockFails = false, screenFails = false;
    DateTime Now() override {
        if (std::exchange(clockFails, false)) throw num::Overflow("clock");
        return FakePlatform::Now();
    }
    ScreenSize Screen() override {
        if (std::exchange(screenFails, false)) throw num::DivisionByZero("pixel size");
        return FakePlatform::Screen();
    }
};

}  // namespace

TEST(FormLoad, FillsTheFourListsAndStoresTheProgramFolder) {
    Started s;
    using Items = std::vector<std::string>;
    for (const char* zone : {"CmbHuso", "CmbUsos2"}) {
        EXPECT_EQ(s.Get(zone).items, (Items{"29", "30", "31"}));
        EXPECT_EQ(s.Get(zone).ListText(), "30");
    }
    EXPECT_EQ(s.Get("CmbUTC").items, (Items{"UTC-2", "UTC-1", "UTC=0", "UTC+1", "UTC+2", "UTC+3"}));
    EXPECT_EQ(s.Get("CmbUTC").ListText(), "UTC+1");
    EXPECT_EQ(s.Get("CmbHS").items, (Items{"Invierno =0", "Verano   +1"}));
    EXPECT_EQ(s.Get("MonthView1").date, (Date{2026, 5, 14}));
    EXPECT_EQ(s.platform.settings["Talpor/Setting/AppPath"], "/opt/talpor/");
    EXPECT_TRUE(s.platform.msgBoxes.empty());
}

TEST(FormLoad, SummerTimeFollowsTheMonthOfToday) {
    const struct {
        int month, day;
        const char* shown;
    } cases[] = {{3, 31, "Invierno =0"},
                 {4, 1, "Verano   +1"},
                 {10, 31, "Verano   +1"},
                 {11, 1, "Invierno =0"}};
    for (const auto& c : cases) {
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
    EXPECT_EQ(p.LastMsgBox().icon, MsgIcon::Exclamation);
    EXPECT_EQ(w.GetEndReason(), EndReason::SecondInstance);
    EXPECT_TRUE(p.settings.empty());
}

TEST(FormLoad, RegionalRuleNeedsCommaDecimalAndPointCurrencyThousandsElseAsksAndEnds) {
    const struct {
        const char *thousands, *decimal;
        MsgResult answer;
        const char* tool;  // "" when no regional-settings tool is installed
        bool passes;
        std::size_t started;
    } cases[] = {
        {".", ",", MsgResult::No, "panel", true, 0},    // whatever the language
        {" ", ",", MsgResult::No, "panel", false, 0},   // currency thousands must be "."
        {".", ", ", MsgResult::No, "panel", false, 0},  // exact comparison
        {"", "", MsgResult::No, "panel", false, 0},     // unreadable settings
        {",", ".", MsgResult::Yes, "panel", false, 1},  // Yes starts the installed tool
        {",", ".", MsgResult::Yes, "", false, 0},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        p.locale = {{LocaleItem::MonThousandSep, c.thousands},
                    {LocaleItem::DecimalSep, c.decimal},
                    {LocaleItem::Language, "English (US)"}};
        p.regionalSettingsCommand = c.tool;
        p.answers = {c.answer};
        frmTalpor w(p);
        w.Form_Load();
        w.Activate();  // after a failed rule the window is never shown; nothing more happens
        EXPECT_EQ(w.GetEndReason(), c.passes ? EndReason::None : EndReason::RegionalSettings);
        EXPECT_EQ(p.startedProcesses.size(), c.started);
        EXPECT_EQ(w.Form().Get("CmbHuso").items.empty(), !c.passes);  // start-up stopped
        ASSERT_EQ(p.msgBoxes.size(), c.passes ? 0u : 1u);
        if (c.passes) continue;
        EXPECT_EQ(
            p.LastMsgBox().text,
            "Talpor funciona adecuadamente si su configuración regional es Español(España)\r\n"
            "o al menos tiene seleccionado como separador decimal el signo de la coma (,)\r\n"
            "y como separador de miles el punto (.)\r\n\r\n"
            "Su configuración regional actual es: English (US)\r\n\r\n"
            "¿Desea modificar ahora su configuración regional?");
        EXPECT_EQ(p.LastMsgBox().title,
                  "Error: Incompatibilidad con la configuración regional de Windows");
        EXPECT_EQ(p.LastMsgBox().icon, MsgIcon::Critical);
        EXPECT_EQ(p.LastMsgBox().buttons, MsgButtons::YesNo);
        EXPECT_EQ(p.LastMsgBox().defaultButton, MsgResult::No);
    }
}

TEST(FormActivate, ScreenOf800x600PassesOnceAndSmallerEndsTheProgram) {
    for (ScreenSize screen : {ScreenSize{800, 600}, {1024, 576}, {799, 600}}) {
        const bool fits = screen.width == 800;
        FakePlatform p;
        p.screen = screen;
        frmTalpor w(p);
        w.Form_Load();
        w.Activate();
        p.screen = {640, 480};  // switching away and back does not check again
        w.Activate();
        EXPECT_EQ(w.GetEndReason(), fits ? EndReason::None : EndReason::Screen);
        ASSERT_EQ(p.msgBoxes.size(), fits ? 0u : 1u);
        if (fits) continue;
        EXPECT_EQ(p.LastMsgBox().text, "Incorrecta resolución: Se requiere 800x600 o superior");
        EXPECT_EQ(p.LastMsgBox().title, "Resolución del monitor");
        EXPECT_EQ(p.LastMsgBox().icon, MsgIcon::Critical);
    }
}

TEST(ErrorExits, RunTimeErrorsInStartUpAndActivationAreLoggedAndEndTheProgram) {
    for (bool inLoad : {true, false}) {
        FailingPlatform p;
        p.clockFails = inLoad;
        p.screenFails = !inLoad;
        frmTalpor w(p);
        w.Form_Load();
        w.Activate();
        EXPECT_EQ(w.GetEndReason(), EndReason::Error);
        EXPECT_EQ(p.msgBoxes.size(), 1u);
        EXPECT_EQ(p.LastMsgBox().title, "Talpor Error");
        EXPECT_EQ(p.files["/opt/talpor/Error.log"],
                  inLoad ? "\"14/05/2026 @ 10:30:15\",\"Talpor Form_load\",6,\"Desbordamiento\"\r\n"
                         : "\"14/05/2026 @ 10:30:15\",\"frmTalpor.Form_Activate\",11,"
                           "\"División por cero\"\r\n");
    }
}

// Leaving tab 0 puts tab 1 in UTM input, leaving tab 1 puts tab 0 in geographic input.
// After any detour the tab in front shows the input-mode button of its enabled frame, and
// its buttons convert what was typed there, as without the detour.
TEST(TabChange, LeavingAConversionTabSetsTheOthersInputModeAndTheButtonsConvertTheFrameShown) {
    const struct {
        bool startUtm;  // tab 0 first left in UTM input
        std::vector<int> tabs;
        bool utm;  // the tab in front reads UTM
    } cases[] = {{false, {1}, true},      {false, {1, 0}, false},     {true, {1, 0}, false},
                 {false, {2, 0}, false},  {true, {2, 0}, true},       {false, {2, 1}, true},
                 {true, {1, 2, 1}, true}, {false, {1, 0, 2, 1}, true}};
    const char* buttons[2][2] = {{"CmdED50Helmert", "CmdED50Molodensky"},
                                 {"CmdWGS84Helmert", "CmdWGS84Molodensky"}};
    // Types into a field of the frame that tells it from the other, clicks, reads the tab.
    const auto typeAndClick = [](Started& s, int tab, bool utm, const char* button) {
        const std::pair<const char*, int> field[2][2] = {{{"TxtWGSg", 0}, {"TxtUTMy", -1}},
                                                         {{"TxtWGSg", 7}, {"TxtUTMn", -1}}};
        Control& typed = s.Get(field[tab][utm].first, field[tab][utm].second);
        EXPECT_TRUE(s.window.MoveFocus(&typed));
        s.window.Type(typed, utm ? "4474447" : "40");
        s.window.Click(button);
        std::vector<std::string> shown;
        for (const auto& c : s.window.Form().Controls())
            if (c->tab == tab)
                shown.push_back(c->id.Text() + "=" + c->text + (c->value ? "*" : ""));
        return shown;
    };
    for (const auto& c : cases) {
        const int tab = c.tabs.back();
        const char* group = tab == 0 ? "OptUTM" : "OptCoord";
        const int utmButton = tab == 0 ? 1 : 0;
        for (const char* button : buttons[tab]) {
            SCOPED_TRACE(testing::Message() << "start in UTM " << c.startUtm << ", tabs "
                                            << testing::PrintToString(c.tabs) << ", " << button);
            Started detour;
            if (c.startUtm) detour.window.Click("OptUTM", 1);
            for (int t : c.tabs) ASSERT_TRUE(detour.window.ChangeTab(t));
            const bool utm = c.utm;
            EXPECT_EQ(tab == 0 ? convert::Tab0ReadsUtm(detour.window.Form())
                               : convert::Tab1ReadsUtm(detour.window.Form()),
                      utm);
            EXPECT_EQ(detour.Get(group, utmButton).value, utm);
            EXPECT_EQ(detour.Get(group, 1 - utmButton).value, !utm);

            Started direct;
            if (tab == 1) direct.window.ChangeTab(1);
            direct.window.Click(group, utm ? utmButton : 1 - utmButton);
            EXPECT_EQ(typeAndClick(detour, tab, utm, button),
                      typeAndClick(direct, tab, utm, button));
            EXPECT_TRUE(detour.platform.msgBoxes.empty());
        }
    }
}

// The longitude degrees allow 10 west and 5 east: choosing east checks the field again,
// with the message and the correction of leaving it; back west there is nothing to correct.
TEST(Hemisphere, ChoosingEastChecksTheLongitudeDegreesAgainstTheNewLimit) {
    const struct {
        int tab, degrees, west;  // east is OptLng(west + 1)
        const char *typed, *left;
    } cases[] = {
        {0, 3, 0, "10", "5"}, {0, 3, 0, "4", "4"}, {1, 16, 4, "10", "5"}, {1, 16, 4, "4", "4"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "tab " << c.tab << ", typed " << c.typed);
        Started s;
        if (c.tab == 1) {
            s.window.ChangeTab(1);
            s.window.Click("OptCoord", 1);  // geographic input
        }
        Control& degrees = s.Get("TxtWGSg", c.degrees);
        ASSERT_TRUE(s.window.MoveFocus(&degrees));
        s.window.Type(degrees, c.typed);
        s.window.Click("OptLng", c.west);  // already selected: leaving the field checks it
        s.window.Click("OptLng", c.west + 1);
        EXPECT_TRUE(s.Get("OptLng", c.west + 1).value);
        EXPECT_EQ(degrees.text, c.left);
        const std::size_t boxes = std::string(c.typed) == c.left ? 0 : 1;
        ASSERT_EQ(s.platform.msgBoxes.size(), boxes);
        if (boxes == 1) {
            EXPECT_EQ(s.platform.LastMsgBox().text, "0 < Grados sexagesimales <5");
            EXPECT_EQ(s.platform.LastMsgBox().title, "Limitaciones");
            EXPECT_EQ(s.window.Form().focused, &degrees);  // given back, as on leaving it
        }
        s.window.Click("OptLng", c.west);
        EXPECT_EQ(s.platform.msgBoxes.size(), boxes);
    }
}

// A degree text that does not fit 16 bits (the entry rules would have clamped it on leaving
// the field; here it is put straight into the model) fails the conversion click.
// A run-time error in a handler (no typed value can raise one any more: buttons read
// checked fields) is shown and logged with the handler's name, and the program runs on.
TEST(ClickGuard, AFailingHandlerIsReportedAndLoggedAndTheProgramRunsOn) {
    Started s;
    const std::string handler = "frmTalpor.CmdED50Helmert_Click";
    s.window.Guard(handler, [] { throw num::Overflow(); });
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text,
              "Ha ocurrido un error en " + handler +
                  "\r\nError núm. (6) : Desbordamiento\r"
                  "Ha quedado registrado en el archivo /opt/talpor/Error.log");
    EXPECT_EQ(s.platform.LastMsgBox().icon, MsgIcon::Critical);
    EXPECT_EQ(s.platform.files["/opt/talpor/Error.log"],
              "\"14/05/2026 @ 10:30:15\",\"" + handler + "\",6,\"Desbordamiento\"\r\n");
    EXPECT_FALSE(s.window.MustEnd());
    s.window.Click("CmdED50Helmert");
    EXPECT_EQ(s.Text("LblUTM", 2), "Huso= 30S");
}

// A value typed beyond its field's limits and never checked (its frame disabled under it
// by a paste, then enabled again) gets the field's check when a button reads it: no
// 16-bit overflow, no conversion of a point nobody meant.
TEST(ClickGuard, AnUncheckedFieldIsCheckedBeforeAButtonReadsIt) {
    Started s;
    s.window.MoveFocus("TxtWGSg", 0);
    s.window.EditText(s.Get("TxtWGSg", 0), "72634");
    s.window.Paste(s.Get("TxtWGSg", 0), "30T 440721 4474447");
    s.window.Click("OptUTM", 0);
    EXPECT_EQ(s.Text("TxtWGSg", 0), "72634");
    s.platform.msgBoxes.clear();
    s.window.Click("CmdED50Helmert");
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");
    EXPECT_EQ(s.Text("TxtWGSg", 0), "44");
    EXPECT_EQ(s.window.Form().focused, &s.Get("TxtWGSg", 0));
}

TEST(FocusPattern, PasteIsCutAt255AndTheClampedFieldKeepsTheFocusWithoutCheckingTwice) {
    Started s;
    Control& degrees = s.Get("TxtWGSg", 0);
    ASSERT_TRUE(s.window.MoveFocus(&degrees));
    // A paste is cut at 255 characters, the field limit, and typing at the limit adds nothing.
    s.window.EditText(degrees, std::string(300, '9'));
    EXPECT_EQ(degrees.text, std::string(255, '9'));
    degrees.selStart = 255;
    s.window.Type(degrees, "2");
    EXPECT_EQ(degrees.text, std::string(255, '9'));

    EXPECT_FALSE(s.window.MoveFocus("TxtWGSg", 1));
    ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_EQ(s.platform.LastMsgBox().text, "35 < Grados sexagesimales <44");
    EXPECT_EQ(degrees.text, "44");
    EXPECT_EQ(s.window.Form().focused, &degrees);
    EXPECT_EQ(degrees.backColor, kLightYellow);
    EXPECT_EQ(s.Get("TxtWGSg", 1).backColor, kWhite);  // never got the focus
    EXPECT_TRUE(s.window.MoveFocus("TxtWGSg", 1));     // now in range: no second message
    EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
}
