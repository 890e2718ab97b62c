// The window after start-up, for timing the clicks of its buttons: the real
// app::frmTalpor after Form_Load, on a platform that answers what start-up asks (the
// regional separators, a program folder) and every message box with its default.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "app/frmTalpor.h"
#include "form/Platform.h"

namespace bench {

class SilentPlatform : public form::Platform {
  public:
    form::MsgResult MsgBox(std::string_view text, std::string_view, form::MsgIcon, form::MsgButtons,
                          form::MsgResult defaultButton) override {
        benchmark::DoNotOptimize(text.data());
        return defaultButton;
    }
    void SaveSetting(std::string_view, std::string_view, std::string_view,
                     std::string_view) override {}
    bool PreviousInstance() override { return false; }
    std::string ProgramFolder() override { return "/opt/talpor/"; }
    // The project's grids, so that the clicks compute their altitudes and grid shifts.
    std::string DataFolder() override { return TALPOR_DATA_DIR; }
    std::string AppTitle() override { return "Talpor"; }
    // The separators start-up requires: decimal comma, thousands point.
    std::string Locale(form::LocaleItem item) override {
        if (item == form::LocaleItem::DecimalSep) return ",";
        if (item == form::LocaleItem::MonThousandSep) return ".";
        return "";
    }
    form::ScreenSize Screen() override { return {1024, 768}; }
    void StartProcess(std::string_view) override {}
    std::string RegionalSettingsCommand() override { return ""; }
    // A summer day: start-up shows 21 June 2024 and selects "Verano   +1".
    form::DateTime Now() override { return {2024, 6, 21, 12, 0, 0}; }
    std::string DateText(const form::DateTime&) override { return ""; }
    std::string TimeText(const form::DateTime&) override { return ""; }
    bool AppendToFile(std::string_view, std::string_view) override { return true; }
    std::string StateFolder() override { return ""; }
    void WriteStdErr(std::string_view) override {}
    void ResetMousePointer() override {}
};

struct Window {
    Window() { window.Form_Load(); }
    SilentPlatform platform;
    app::frmTalpor window{platform};
    form::FormModel& form = window.Form();
};

}  // namespace bench
