// One click of each conversion button, run on the window's control model as the
// window runs it: fields read, the other input frame written, the result labels
// written. Geographic input on tab 0 and tab 1 with the initial or Madrid's point.
// The "allocs" counter shows the strings each click builds for its texts.
#include <benchmark/benchmark.h>

#include <string_view>

#include "AllocationCounter.h"
#include "app/FrmTalporControls.h"
#include "app/Platform.h"
#include "convert/Conversions.h"
#include "geo/mGeo.h"

namespace {

// A platform that answers every message box with its default; none is expected here.
class SilentPlatform : public app::Platform {
  public:
    app::MsgResult MsgBox(std::string_view, std::string_view, app::MsgIcon, app::MsgButtons,
                          app::MsgResult defaultButton) override {
        return defaultButton;
    }
    void SaveSetting(std::string_view, std::string_view, std::string_view,
                     std::string_view) override {}
    bool PreviousInstance() override { return false; }
    std::string ProgramFolder() override { return "/"; }
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

// The window after start-up; tab 1 in geographic input with Madrid (40º 25' N, 3º 42' W).
struct Window {
    Window() {
        mGeo::InitEllipsoids();
        app::BuildFrmTalporControls(form);
        for (const char* list : {"CmbHuso", "CmbUsos2"}) {
            form.Get(list).items = {"29", "30", "31"};
            form.Get(list).listIndex = 1;
        }
        form.SelectOption(form.Get("OptCoord", 1));
        form.Get("OptUTM", 0).value = true;  // tab 0 geographic as well
        form.Get("TxtWGSg", 7).text = "40";
        form.Get("TxtWGSg", 14).text = "25";
        form.Get("TxtWGSg", 16).text = "3";
        form.Get("TxtWGSg", 17).text = "42";
        form.Get("TxtWGSg", 26).text = "650,0";
    }
    app::FormModel form;
    SilentPlatform platform;
};

template <typename Click>
void RunClick(benchmark::State& state, Click click) {
    Window w;
    bench::MeasureAllocations(state, [&] {
        click(w.form, w.platform);
        benchmark::ClobberMemory();
    });
}

void BM_CmdED50Helmert_Click(benchmark::State& state) {
    RunClick(state, convert::CmdED50Helmert_Click);
}
BENCHMARK(BM_CmdED50Helmert_Click);

void BM_CmdWGS84Helmert_Click(benchmark::State& state) {
    RunClick(state, convert::CmdWGS84Helmert_Click);
}
BENCHMARK(BM_CmdWGS84Helmert_Click);

void BM_CmdED50Molodensky_Click(benchmark::State& state) {
    RunClick(state, convert::CmdED50Molodensky_Click);
}
BENCHMARK(BM_CmdED50Molodensky_Click);

void BM_CmdWGS84Molodensky_Click(benchmark::State& state) {
    RunClick(state, convert::CmdWGS84Molodensky_Click);
}
BENCHMARK(BM_CmdWGS84Molodensky_Click);

}  // namespace
