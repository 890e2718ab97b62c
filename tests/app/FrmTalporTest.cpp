#include "app/frmTalpor.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Started.h"
#include "app/mEntorno.h"
#include "convert/InputMode.h"
#include "num/RuntimeError.h"

using namespace app;
using namespace form;
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

TEST(FormLoad, TodayIsPickedAndGivesSummerTimeFromAprilToOctober) {
    for (auto [month, day, shown] : {std::tuple{3, 31, "Invierno =0"}, {4, 1, "Verano   +1"},
                                     {10, 31, "Verano   +1"}, {11, 1, "Invierno =0"}}) {
        FakePlatform p;
        p.now = {2026, month, day, 12, 0, 0};
        frmTalpor w(p);
        w.Form_Load();
        EXPECT_EQ(w.Form().Get("CmbHS").ListText(), shown) << month << "/" << day;
        EXPECT_EQ(w.Form().Get("MonthView1").date, (Date{2026, month, day}));
    }
}

// Each conversion tab's kind of height is the one it had when the program last ran.
TEST(FormLoad, EachTabsKindOfHeightIsKeptBetweenStarts) {
    FakePlatform p;
    {
        frmTalpor w(p);
        w.Form_Load();
        w.Click("OptAltura", 3);  // tab 1: altitudes above the sea
    }
    frmTalpor again(p);
    again.Form_Load();
    EXPECT_TRUE(again.Form().Get("OptAltura", 0).value && again.Form().Get("OptAltura", 3).value);
    EXPECT_EQ(again.Form().Get("LblLat", 65).text, "Altitud sobre el mar (m)=");
    EXPECT_EQ(again.Form().Get("LblLat", 10).text, "Altura sobre el elipsoide (m)=");
}

// Each start-up check that fails, and a run-time error in start-up or activation, shows
// one box and ends the program; the screen rule looks at nothing else (regional settings:
// QtPlatformLocale in qt_tests).
TEST(StartUp, AFailedCheckOrARunTimeErrorShowsOneBoxAndEndsTheProgramButOneInAHandlerDoesNot) {
    using Set = std::function<void(FailingPlatform&)>;
    const auto screen = [](int width, int height) {
        return Set([=](FailingPlatform& p) { p.screen = {width, height}; });
    };
    const std::string resolution = "Incorrecta resolución: Se requiere 800x600 o superior";
    using enum EndReason;
    const struct {
        Set set;
        EndReason end;
        std::string text, title, log;  // the box (a part of its text; "" none) and the error log
    } cases[] = {
        {screen(800, 600), None, "", "", ""},
        {[](FailingPlatform& p) { p.previousInstance = true; }, SecondInstance,
         "No se puede cargar el programa de nuevo", "La aplicación ya está abierta", ""},
        {[](FailingPlatform& p) { p.previousInstance = p.runningInstanceAnswers = true; },
         HandedOver, "", "", ""},
        {screen(799, 600), Screen, resolution, "Resolución del monitor", ""},
        {screen(1024, 576), Screen, resolution, "Resolución del monitor", ""},
        {[](FailingPlatform& p) { p.clockFails = true; }, Error, "en Talpor Form_load",
         "Talpor Error", "\"14/05/2026 @ 10:30:15\",\"Talpor Form_load\",6,\"Desbordamiento\"\r\n"},
        {[](FailingPlatform& p) { p.screenFails = true; }, Error, "en frmTalpor.Form_Activate",
         "Talpor Error",
         "\"14/05/2026 @ 10:30:15\",\"frmTalpor.Form_Activate\",11,\"División por cero\"\r\n"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& c = cases[i];
        FailingPlatform p;
        c.set(p);
        frmTalpor w(p);
        w.Form_Load();
        w.Activate();
        p.screen = {640, 480};  // switching away and back checks nothing again
        w.Activate();
        EXPECT_EQ(w.GetEndReason(), c.end);
        EXPECT_EQ(p.files["/opt/talpor/Error.log"], c.log);
        ASSERT_EQ(p.msgBoxes.size(), c.text.empty() ? 0u : 1u);
        if (c.text.empty()) continue;
        EXPECT_NE(p.LastMsgBox().text.find(c.text), std::string::npos) << p.LastMsgBox().text;
        EXPECT_EQ(p.LastMsgBox().title, c.title);
    }
    // A run-time error in a handler ends nothing (its box and log: QtPlatformLog in qt_tests).
    Started s;
    s.window.Guard("frmTalpor.CmdED50Helmert_Click", [] { throw num::Overflow(); });
    EXPECT_EQ(s.platform.msgBoxes.size(), 1u);
    EXPECT_FALSE(s.window.MustEnd());
    // The log is comma-separated: a quote inside a text is written twice.
    EXPECT_EQ(app::LogRecord("t", "p", -1, "el campo \"x\", vacío"),
              "\"t\",\"p\",-1,\"el campo \"\"x\"\", vacío\"\r\n");
}

// Leaving tab 0 puts tab 1 in UTM input, leaving tab 1 puts tab 0 in geographic input; a
// visit to "Utilidades" changes neither. The tab in front shows the button of its mode,
// its buttons read that mode and only that frame is usable.
TEST(TabChange, LeavingAConversionTabSetsTheOthersInputMode) {
    const struct {
        bool startUtm;  // tab 0 first left in UTM input
        std::vector<int> tabs;
        bool utm;  // the tab in front reads UTM
    } cases[] = {{false, {1}, true},      {false, {1, 0}, false},     {true, {1, 0}, false},
                 {false, {2, 0}, false},  {true, {2, 0}, true},       {false, {2, 1}, true},
                 {true, {1, 2, 1}, true}, {false, {1, 0, 2, 1}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "start in UTM " << c.startUtm << ", tabs "
                                        << testing::PrintToString(c.tabs));
        Started s;
        if (c.startUtm) s.window.Click("OptUTM", 1);
        for (int t : c.tabs) ASSERT_TRUE(s.window.ChangeTab(t));
        FormModel& form = s.window.Form();
        const bool tab0 = c.tabs.back() == 0;
        EXPECT_EQ(tab0 ? convert::Tab0ReadsUtm(form) : convert::Tab1ReadsUtm(form), c.utm);
        const int utmButton = tab0 ? 1 : 0;
        EXPECT_TRUE(s.Get(tab0 ? "OptUTM" : "OptCoord", c.utm ? utmButton : 1 - utmButton).value);
        EXPECT_EQ(form.IsUsable(s.Get(tab0 ? "TxtUTMx" : "TxtUTMe")), c.utm);
        EXPECT_EQ(form.IsUsable(s.Get("TxtWGSg", tab0 ? 0 : 7)), !c.utm);
    }
}
