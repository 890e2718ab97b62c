// The four buttons of the utilities tab, each a whole click on the control model:
// reading the fields, computing, writing labels or building the message text. The
// message boxes are answered at once by a platform that does nothing else. The
// clicks build texts, so they allocate; the counter shows how much.
#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "app/FrmTalporControls.h"
#include "app/Platform.h"
#include "geo/Ellipsoid.h"
#include "utilities/Utilities.h"

namespace {

class SilentPlatform : public app::Platform {
  public:
    app::MsgResult MsgBox(std::string_view text, std::string_view, app::MsgIcon, app::MsgButtons,
                          app::MsgResult defaultButton) override {
        benchmark::DoNotOptimize(text.data());
        return defaultButton;
    }
    void SaveSetting(std::string_view, std::string_view, std::string_view,
                     std::string_view) override {}
    bool PreviousInstance() override { return false; }
    std::string ProgramFolder() override { return "/opt/talpor/"; }
    std::string AppTitle() override { return "Talpor"; }
    std::string Locale(app::LocaleItem) override { return ""; }
    app::ScreenSize Screen() override { return {1024, 768}; }
    void StartProcess(std::string_view) override {}
    std::string RegionalSettingsCommand() override { return ""; }
    app::DateTime Now() override { return {}; }
    std::string DateText(const app::DateTime&) override { return ""; }
    std::string TimeText(const app::DateTime&) override { return ""; }
    bool AppendToFile(std::string_view, std::string_view) override { return true; }
    void ResetMousePointer() override {}
};

// The window as start-up leaves it, with the initial points of the tab.
struct Window {
    Window() {
        mGeo::InitEllipsoids();
        app::BuildFrmTalporControls(form);
        auto& utc = form.Get("CmbUTC");
        utc.items = {"UTC-2", "UTC-1", "UTC=0", "UTC+1", "UTC+2", "UTC+3"};
        utc.listIndex = 3;
        auto& hs = form.Get("CmbHS");
        hs.items = {"Invierno =0", "Verano   +1"};
        hs.listIndex = 1;
        form.Get("MonthView1").date = {2024, 6, 21};
    }
    app::FormModel form;
    SilentPlatform platform;
};

void BM_Command4_Distance(benchmark::State& state) {
    Window w;
    bench::MeasureAllocations(state, [&] {
        utilities::Command4_Click(w.form, w.platform);
        benchmark::DoNotOptimize(w.form.Get("LblDist").text.data());
    });
}

void BM_Command2_ArcLengths(benchmark::State& state) {
    Window w;
    bench::MeasureAllocations(state, [&] { utilities::Command2_Click(w.form, w.platform); });
}

void BM_Command5_Formats(benchmark::State& state) {
    Window w;
    bench::MeasureAllocations(state, [&] { utilities::Command5_Click(w.form, w.platform); });
}

void BM_Command3_SolarCalendar(benchmark::State& state) {
    Window w;
    auto& date = w.form.Get("MonthView1").date;
    bench::MeasureAllocations(state, [&] {
        utilities::Command3_Click(w.form, w.platform);
        benchmark::DoNotOptimize(w.form.Get("LblOcaso").text.data());
        date.day = date.day >= 28 ? 1 : date.day + 1;
    });
}

// Polar night at 70º N: sunrise and sunset end in the no-rise error.
void BM_Command3_PolarNight(benchmark::State& state) {
    Window w;
    w.form.Get("TxtWGSg", 9).text = "70";
    w.form.Get("MonthView1").date = {2024, 12, 21};
    w.form.Get("CmbHS").listIndex = 0;
    bench::MeasureAllocations(state, [&] {
        utilities::Command3_Click(w.form, w.platform);
        benchmark::DoNotOptimize(w.form.Get("LblOrto").text.data());
    });
}

}  // namespace

BENCHMARK(BM_Command4_Distance);
BENCHMARK(BM_Command2_ArcLengths);
BENCHMARK(BM_Command5_Formats);
BENCHMARK(BM_Command3_SolarCalendar);
BENCHMARK(BM_Command3_PolarNight);
