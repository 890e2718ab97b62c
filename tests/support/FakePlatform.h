// A platform for tests: records every call and answers from a script.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "form/Platform.h"

namespace testing_support {

struct MsgBoxCall {
    std::string text;
    std::string title;
    app::MsgIcon icon = app::MsgIcon::None;
    app::MsgButtons buttons = app::MsgButtons::OK;
    app::MsgResult defaultButton = app::MsgResult::OK;
};

class FakePlatform : public app::Platform {
public:
    // Scripted answers, taken in order; when none is left a box answers its default button.
    std::deque<app::MsgResult> answers;
    std::vector<MsgBoxCall> msgBoxes;

    struct AboutCall {
        std::string title, text;
    };
    std::vector<AboutCall> abouts;  // About boxes shown

    std::map<std::string, std::string> settings;  // "app/section/key" -> value
    bool previousInstance = false;
    std::string programFolder = "/opt/talpor";
    // The program's data: the project's own data folder, as the build tree has it.
    std::string dataFolder = TALPOR_DATA_DIR;
    std::string userDataFolder;  // none: a developer's own grids never reach a test
    std::map<app::LocaleItem, std::string> locale = {
        {app::LocaleItem::MonThousandSep, "."},
        {app::LocaleItem::DecimalSep, ","},
        {app::LocaleItem::Language, "español (España)"},
    };
    app::ScreenSize screen{1024, 768};
    std::vector<std::string> startedProcesses;
    std::string regionalSettingsCommand = "regional-settings-panel";
    app::DateTime now{2026, 5, 14, 10, 30, 15};
    std::map<std::string, std::string> files;  // path -> contents
    std::set<std::string> unwritable;  // paths AppendToFile fails on
    std::string stateFolder = "/home/ana/.local/state/Talpor";
    std::string stdErr;
    int mousePointerResets = 0;

    app::MsgResult MsgBox(std::string_view text, std::string_view title, app::MsgIcon icon,
                          app::MsgButtons buttons, app::MsgResult defaultButton) override {
        msgBoxes.push_back({std::string(text), std::string(title), icon, buttons, defaultButton});
        if (answers.empty()) return defaultButton;
        app::MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    void ShowAbout(std::string_view title, std::string_view text) override {
        abouts.push_back({std::string(title), std::string(text)});
    }
    void SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                     std::string_view value) override {
        settings[std::string(appName) + "/" + std::string(section) + "/" + std::string(key)] =
            std::string(value);
    }
    bool PreviousInstance() override { return previousInstance; }
    std::string ProgramFolder() override { return programFolder; }
    std::string DataFolder() override { return dataFolder; }
    std::string UserDataFolder() override { return userDataFolder; }
    std::string AppTitle() override { return "Talpor"; }
    std::string Locale(app::LocaleItem item) override {
        auto it = locale.find(item);
        return it == locale.end() ? "" : it->second;
    }
    app::ScreenSize Screen() override { return screen; }
    void StartProcess(std::string_view commandLine) override {
        startedProcesses.emplace_back(commandLine);
    }
    std::string RegionalSettingsCommand() override { return regionalSettingsCommand; }
    app::DateTime Now() override { return now; }
    std::string DateText(const app::DateTime& t) override {
        return Two(t.day) + "/" + Two(t.month) + "/" + std::to_string(t.year);
    }
    std::string TimeText(const app::DateTime& t) override {
        return Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second);
    }
    bool AppendToFile(std::string_view path, std::string_view text) override {
        if (unwritable.count(std::string(path)) != 0) return false;
        files[std::string(path)] += std::string(text);
        return true;
    }
    std::string StateFolder() override { return stateFolder; }
    void WriteStdErr(std::string_view text) override { stdErr += text; }
    void ResetMousePointer() override { ++mousePointerResets; }

    // File dialogs and lists answer from these, in order ("" and -1 once they run out).
    std::deque<std::string> fileNames;
    std::deque<int> choices;
    int cancelProgressAfter = -1;  // the progress window's Cancel after that many calls
    int progressCalls = 0;
    bool progressOpen = false;
    std::string OpenFileName(std::string_view, std::string_view) override { return NextFile(); }
    std::string SaveFileName(std::string_view, std::string_view, std::string_view) override {
        return NextFile();
    }
    int ChooseItem(std::string_view, std::string_view, const std::vector<std::string>&, int) override {
        if (choices.empty()) return -1;
        const int c = choices.front();
        choices.pop_front();
        return c;
    }
    bool failProgress = false;  // the progress window's call fails (an injected fault)
    bool ShowProgress(std::string_view, int) override {
        progressOpen = true;
        if (failProgress) throw std::runtime_error("fallo inyectado");
        return cancelProgressAfter < 0 || ++progressCalls <= cancelProgressAfter;
    }
    void EndProgress() override { progressOpen = false; }

    const MsgBoxCall& LastMsgBox() const { return msgBoxes.back(); }

private:
    std::string NextFile() {
        if (fileNames.empty()) return "";
        std::string f = fileNames.front();
        fileNames.pop_front();
        return f;
    }
    static std::string Two(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }
};

}  // namespace testing_support
