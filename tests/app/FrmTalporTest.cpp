#include "app/frmTalpor.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "convert/InputMode.h"
#include "num/RuntimeError.h"
#include "support/FakePlatform.h"

using namespace app;
using testing_support::FakePlatform;

namespace {

// The window after start-up and its first showing.
struct Started {
    FakePlatform platform;
    frmTalpor window{platform};
    Started() {
        window.Form_Load();
        window.Activate();
    }
    Control& Get(std::string_view name, int index = -1) { return window.Form().Get(name, index); }
    std::string& Text(std::string_view name, int index = -1) { return Get(name, index).text; }
};

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
    } cases[] = {{5, 14, "Verano   +1"}, {11, 1, "Invierno =0"},  {4, 1, "Verano   +1"},
                 {3, 31, "Invierno =0"}, {10, 31, "Verano   +1"}, {1, 1, "Invierno =0"}};
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

TEST(TabChange, LeavingAConversionTabSetsTheInputModeOfTheOther) {
    const struct {
        std::vector<int> tabs;  // brought to the front in turn, starting on tab 0
        const char* selected;   // the only input-mode button selected afterwards
    } cases[] = {
        {{1}, "OptCoord(0)"},
        {{1, 0}, "OptUTM(0)"},
        // Tab 2 already selected OptCoord(0), clearing tab 0's button; back on tab 0 the
        // button of the frame it shows is selected again.
        {{2, 0}, "OptUTM(0)"},
        {{2, 1}, "OptCoord(0)"},
        {{1, 2, 1}, "OptCoord(0)"},
    };
    for (const auto& c : cases) {
        Started s;
        for (int tab : c.tabs) ASSERT_TRUE(s.window.ChangeTab(tab));
        std::string selected;
        for (const char* name : {"OptUTM", "OptCoord"})
            for (int i : {0, 1})
                if (s.Get(name, i).value) selected += s.Get(name, i).id.Text();
        EXPECT_EQ(selected, c.selected) << "last tab " << c.tabs.back();
        EXPECT_FALSE(convert::Tab0ReadsUtm(s.window.Form()));
        EXPECT_TRUE(convert::Tab1ReadsUtm(s.window.Form()));
        EXPECT_TRUE(s.Get("Frame1", 0).enabled);  // tab 0 shows geographic input
        EXPECT_FALSE(s.Get("Frame7").enabled);
        EXPECT_TRUE(s.Get("Frame2").enabled);  // tab 1 shows UTM input, the other group grey
        EXPECT_FALSE(s.Get("Frame9", 1).enabled);
        EXPECT_EQ(s.Get("TxtWGSg", 7).foreColor, kGrey);
    }
}

// Whatever path the user took between the tabs, a conversion tab shows exactly one
// selected input-mode button, that of the frame it shows enabled, and its buttons convert
// what the user typed there: the same captions and fields as without the detour.
TEST(TabChange, AfterAnyDetourTheButtonsConvertTheFrameTheTabShows) {
    struct Fields {
        std::vector<std::pair<const char*, int>> ids;
        std::vector<const char*> texts;
    };
    // The point typed in each frame: 40º 25' N, 3º 42' W, 650 m (west is selected).
    const Fields geo0{{{"TxtWGSg", 0}, {"TxtWGSg", 1}, {"TxtWGSg", 2}, {"TxtWGSg", 3},
                       {"TxtWGSg", 4}, {"TxtWGSg", 5}, {"TxtWGSg", 6}},
                      {"40", "25", "0", "3", "42", "0", "650"}};
    const Fields geo1{{{"TxtWGSg", 7}, {"TxtWGSg", 14}, {"TxtWGSg", 15}, {"TxtWGSg", 16},
                       {"TxtWGSg", 17}, {"TxtWGSg", 18}, {"TxtWGSg", 26}},
                      {"40", "25", "0", "3", "42", "0", "650"}};
    const Fields utm0{{{"TxtUTMx", -1}, {"TxtUTMy", -1}, {"TxtWGSg", 8}},
                      {"440721", "4474447", "650"}};
    const Fields utm1{{{"TxtUTMe", -1}, {"TxtUTMn", -1}, {"TxtWGSg", 25}},
                      {"440721", "4474447", "650"}};
    const char* buttons[2][2] = {{"CmdED50Helmert", "CmdED50Molodensky"},
                                 {"CmdWGS84Helmert", "CmdWGS84Molodensky"}};

    // What the tab shows after typing its point and pressing one button.
    auto convert = [&](Started& s, int tab, bool utm, const char* button) {
        const Fields& f = tab == 0 ? (utm ? utm0 : geo0) : (utm ? utm1 : geo1);
        for (std::size_t i = 0; i < f.ids.size(); ++i) {
            Control& field = s.Get(f.ids[i].first, f.ids[i].second);
            EXPECT_TRUE(s.window.MoveFocus(&field)) << field.id.Text();
            s.window.Type(field, f.texts[i]);
        }
        s.window.Click(button);
        std::vector<std::string> shown;
        for (const auto& c : s.window.Form().Controls())
            if (c->tab == tab) shown.push_back(c->id.Text() + "=" + c->text + (c->value ? "*" : ""));
        return shown;
    };

    // Every sequence of one to four tab changes from tab 0, ending on a conversion tab,
    // with tab 0 first left in geographic or in UTM input.
    std::vector<std::vector<int>> paths{{}};
    for (std::size_t n = 0; n < paths.size() && paths[n].size() < 4; ++n)
        for (int tab : {0, 1, 2})
            if (tab != (paths[n].empty() ? 0 : paths[n].back())) {
                paths.push_back(paths[n]);
                paths.back().push_back(tab);
            }
    int checked = 0;
    for (bool startUtm : {false, true})
        for (const auto& path : paths) {
            if (path.empty() || path.back() == 2) continue;
            const int tab = path.back();
            const char* group = tab == 0 ? "OptUTM" : "OptCoord";
            const int utmButton = tab == 0 ? 1 : 0;
            for (const char* button : buttons[tab]) {
                SCOPED_TRACE(testing::Message() << "start in UTM " << startUtm << ", tabs "
                                                << testing::PrintToString(path) << ", " << button);
                Started detour;
                if (startUtm) detour.window.Click("OptUTM", 1);
                for (int t : path) ASSERT_TRUE(detour.window.ChangeTab(t));
                const bool utm = tab == 0 ? convert::Tab0ReadsUtm(detour.window.Form())
                                          : convert::Tab1ReadsUtm(detour.window.Form());
                EXPECT_EQ(detour.Get(group, utmButton).value, utm);
                EXPECT_EQ(detour.Get(group, 1 - utmButton).value, !utm);

                Started direct;
                if (tab == 1) direct.window.ChangeTab(1);
                direct.window.Click(group, utm ? utmButton : 1 - utmButton);
                EXPECT_EQ(convert(detour, tab, utm, button), convert(direct, tab, utm, button));
                EXPECT_TRUE(detour.platform.msgBoxes.empty());
                ++checked;
            }
        }
    EXPECT_EQ(checked, 2 * 2 * 20);
}

// The longitude degrees allow 10 west and 5 east: choosing the other hemisphere checks
// the field again, with the message and the correction of leaving it.
TEST(Hemisphere, ChoosingEastChecksTheLongitudeDegreesAgainstTheNewLimit) {
    const struct {
        int tab, degrees, west, east;
    } cases[] = {{0, 3, 0, 1}, {1, 16, 4, 5}};
    for (const auto& c : cases) {
        for (const char* typed : {"10", "4"}) {
            SCOPED_TRACE(testing::Message() << "tab " << c.tab << ", typed " << typed);
            Started s;
            if (c.tab == 1) {
                s.window.ChangeTab(1);
                s.window.Click("OptCoord", 1);  // geographic input
            }
            Control& degrees = s.Get("TxtWGSg", c.degrees);
            ASSERT_TRUE(s.window.MoveFocus(&degrees));
            s.window.Type(degrees, typed);
            s.window.Click("OptLng", c.west);  // already selected: leaving the field checks it
            EXPECT_TRUE(s.platform.msgBoxes.empty());

            s.window.Click("OptLng", c.east);
            EXPECT_TRUE(s.Get("OptLng", c.east).value);
            if (std::string(typed) == "10") {
                ASSERT_EQ(s.platform.msgBoxes.size(), 1u);
                EXPECT_EQ(s.platform.LastMsgBox().text, "0 < Grados sexagesimales <5");
                EXPECT_EQ(s.platform.LastMsgBox().title, "Limitaciones");
                EXPECT_EQ(degrees.text, "5");
                EXPECT_EQ(s.window.Form().focused, &degrees);  // given back, as on leaving it
            } else {
                EXPECT_TRUE(s.platform.msgBoxes.empty());
                EXPECT_EQ(degrees.text, "4");
            }
            const std::size_t boxes = s.platform.msgBoxes.size();
            s.window.Click("OptLng", c.west);  // back to the wider limit: nothing to correct
            EXPECT_EQ(s.platform.msgBoxes.size(), boxes);
        }
    }
}

// A degree text that does not fit 16 bits (the entry rules would have clamped it on leaving
// the field; here it is put straight into the model) fails the conversion click.
TEST(ClickGuard, AFailingConversionIsReportedAndLoggedAndTheProgramRunsOn) {
    const struct {
        const char* button;
        int tab, field;  // a degree field of the tab's geographic frame
    } cases[] = {{"CmdED50Helmert", 0, 0},
                 {"CmdED50Molodensky", 0, 3},
                 {"CmdWGS84Helmert", 1, 16},
                 {"CmdWGS84Molodensky", 1, 7}};
    for (const auto& c : cases) {
        Started s;
        s.window.ChangeTab(c.tab);
        if (c.tab == 1) s.window.Click("OptCoord", 1);  // geographic input on tab 1
        s.window.Click(c.button);                       // a good conversion first
        const int u = c.tab == 0 ? 0 : 6;
        auto results = [&] {
            return s.Text("LblGeoLat", c.tab) + s.Text("LblGeoLon", c.tab) +
                   s.Text("LblLat", c.tab == 0 ? 20 : 24) + s.Text("LblUTM", u) +
                   s.Text("LblUTM", u + 1) + s.Text("LblUTM", u + 2);
        };
        const std::string before = results();
        s.Text("TxtWGSg", c.field) = "99999";
        s.window.Click(c.button);

        const std::string handler = std::string("frmTalpor.") + c.button + "_Click";
        ASSERT_EQ(s.platform.msgBoxes.size(), 1u) << handler;
        EXPECT_EQ(s.platform.LastMsgBox().text,
                  "Ha ocurrido un error en " + handler +
                      "\r\nError núm. (6) : Desbordamiento\r"
                      "Ha quedado registrado en el archivo /opt/talpor/Error.log");
        EXPECT_EQ(s.platform.LastMsgBox().icon, MsgIcon::Critical);
        EXPECT_EQ(s.platform.files["/opt/talpor/Error.log"],
                  "\"14/05/2026 @ 10:30:15\",\"" + handler + "\",6,\"Desbordamiento\"\r\n");
        EXPECT_EQ(results(), before) << handler;
        EXPECT_FALSE(s.window.MustEnd());
    }
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
