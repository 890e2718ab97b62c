// A platform for tests: records every call and answers from a script.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "form/Platform.h"

namespace testing_support {

struct MsgBoxCall {
    std::string text;
    std::string title;
    form::MsgIcon icon = form::MsgIcon::None;
    form::MsgButtons buttons = form::MsgButtons::OK;
    form::MsgResult defaultButton = form::MsgResult::OK;
};

class FakePlatform : public form::Platform {
public:
    std::optional<form::MsgResult> answer;  // every box's answer; none: its default button
    std::vector<MsgBoxCall> msgBoxes;

    bool previousInstance = false;
    bool runningInstanceAnswers = false;  // to the request to bring its window forward
    // The program's data: the project's own data folder, as the build tree has it.
    std::string dataFolder = TALPOR_DATA_DIR;
    form::ScreenSize screen{1024, 768};
    std::vector<std::string> startedProcesses;
    form::DateTime now{2026, 5, 14, 10, 30, 15};
    std::map<std::string, std::string> files;  // path -> contents
    std::map<std::string, std::string> settings;  // "app/section/key" -> value
    std::vector<std::string> openedIn;           // the folder each open dialog started in

    form::MsgResult MsgBox(std::string_view text, std::string_view title, form::MsgIcon icon,
                          form::MsgButtons buttons, form::MsgResult defaultButton) override {
        msgBoxes.push_back({std::string(text), std::string(title), icon, buttons, defaultButton});
        return answer.value_or(defaultButton);
    }
    void ShowAbout(std::string_view, std::string_view) override {}  // AboutWindow in qt_tests
    void SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                     std::string_view value) override {
        settings[std::string(app) + "/" + std::string(section) + "/" + std::string(key)] = value;
    }
    std::string GetSetting(std::string_view app, std::string_view section, std::string_view key) override {
        return settings[std::string(app) + "/" + std::string(section) + "/" + std::string(key)];
    }
    bool PreviousInstance() override { return previousInstance; }
    bool RaiseRunningInstance() override { return runningInstanceAnswers; }
    std::string ProgramFolder() override { return "/opt/talpor"; }
    std::string DataFolder() override { return dataFolder; }
    // A developer's own grids never reach a test.
    std::string UserDataFolder() override { return ""; }
    std::string AppTitle() override { return "Talpor"; }
    form::ScreenSize Screen() override { return screen; }
    void StartProcess(std::string_view commandLine) override {
        startedProcesses.emplace_back(commandLine);
    }
    form::DateTime Now() override { return now; }
    std::string DateText(const form::DateTime& t) override {
        return Two(t.day) + "/" + Two(t.month) + "/" + std::to_string(t.year);
    }
    std::string TimeText(const form::DateTime& t) override {
        return Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second);
    }
    bool AppendToFile(std::string_view path, std::string_view text) override {
        files[std::string(path)] += text;
        return true;
    }
    // Where a log that cannot be written goes: QtPlatformLog in qt_tests, on real files.
    std::string StateFolder() override { return ""; }
    void WriteStdErr(std::string_view) override {}
    void ResetMousePointer() override {}

    // File dialogs and lists answer from these, in order ("" and -1 once they run out).
    std::deque<std::string> fileNames;
    std::deque<int> choices;
    std::vector<int> offered;  // the item each ChooseItem offered first
    int cancelProgressAfter = -1;  // the progress window's Cancel after that many calls
    bool failProgress = false;     // the progress window's call fails (an injected fault)
    bool progressOpen = false;
    std::string OpenFileName(std::string_view, std::string_view folder, std::string_view) override {
        openedIn.emplace_back(folder);
        return Next(fileNames);
    }
    std::string SaveFileName(std::string_view, std::string_view, std::string_view) override {
        return Next(fileNames);
    }
    // Several files chosen at once: one answer, a name a line.
    std::vector<std::string> OpenFileNames(std::string_view, std::string_view folder, std::string_view) override {
        openedIn.emplace_back(folder);
        std::vector<std::string> names;
        const std::string answer = Next(fileNames);
        for (std::size_t start = 0; start < answer.size();) {
            const std::size_t end = std::min(answer.find('\n', start), answer.size());
            names.push_back(answer.substr(start, end - start));
            start = end + 1;
        }
        return names;
    }
    std::vector<std::string> foldersOffered;  // where each folder chooser started
    std::string FolderName(std::string_view, std::string_view folder) override {
        foldersOffered.emplace_back(folder);
        return Next(fileNames);
    }
    int ChooseItem(std::string_view, std::string_view, const std::vector<std::string>&, int first) override {
        offered.push_back(first);
        return Next(choices, -1);
    }
    std::vector<std::string> progressTexts;  // the texts the progress window showed, in order, each once
    // The progress window's Cancel at the first call it says true for, given the call's text.
    std::function<bool(const std::string&)> cancelProgressAt;
    bool ShowProgress(std::string_view text, int) override {
        progressOpen = true;
        if (failProgress) throw std::runtime_error("fallo inyectado");
        if (progressTexts.empty() || progressTexts.back() != text) progressTexts.emplace_back(text);
        if (cancelProgressAt && cancelProgressAt(std::string(text))) return false;
        return cancelProgressAfter < 0 || ++progressCalls_ <= cancelProgressAfter;
    }
    void EndProgress() override { progressOpen = false; }
    std::vector<int> shownMaps;          // the tab of each map shown
    std::vector<std::string> openedUrls;  // each address opened
    bool browser = true;                  // OpenUrl finds a browser
    void ShowMap(int tab) override { shownMaps.push_back(tab); }
    bool OpenUrl(std::string_view url) override {
        if (browser) openedUrls.emplace_back(url);
        return browser;
    }
    // The user's part in a dialog, played on its model through `changed`; answers
    // whether the dialog closed accepted. None: the dialog is cancelled at once.
    std::function<bool(form::FormModel&, const std::function<form::DialogEnd(form::Control&)>&)> dialog;
    bool ShowDialog(form::FormModel& model, const std::function<form::DialogEnd(form::Control&)>& changed) override {
        return dialog ? dialog(model, changed) : false;
    }

    const MsgBoxCall& LastMsgBox() const { return msgBoxes.back(); }
    // The text of the one message box shown, with an OK button and this title and icon.
    std::string OnlyBox(const std::string& title, form::MsgIcon icon) const {
        EXPECT_TRUE(msgBoxes.size() == 1 && msgBoxes[0].title == title && msgBoxes[0].icon == icon &&
                    msgBoxes[0].buttons == form::MsgButtons::OK)
            << msgBoxes.size() << " boxes, expected one titled " << title;
        return msgBoxes.empty() ? "" : msgBoxes[0].text;
    }

private:
    int progressCalls_ = 0;
    template <class T>
    static T Next(std::deque<T>& queue, std::type_identity_t<T> none = {}) {
        if (queue.empty()) return none;
        T next = std::move(queue.front());
        queue.pop_front();
        return next;
    }
    static std::string Two(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }
};

}  // namespace testing_support
