// The platform services of Talpor on a Qt desktop: message boxes, the About box, settings store,
// single instance, regional settings, screen, processes, clock and the error log.
#pragma once

#include <QLocale>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "form/Platform.h"

class QProgressDialog;
struct TalporInstanceServer;  // qt/InstanceModule.h

namespace qt {

class QtPlatform : public form::Platform {
public:
    // lockPath: the single-instance lock file; by default one per user in the
    // runtime folder (XDG_RUNTIME_DIR).
    explicit QtPlatform(QString lockPath = DefaultLockPath());
    ~QtPlatform() override;

    static QString DefaultLockPath();

    // Message boxes are centred on this window once it exists.
    void SetMainWindow(QWidget* window) { mainWindow_ = window; }

    form::MsgResult MsgBox(std::string_view text, std::string_view title, form::MsgIcon icon,
                          form::MsgButtons buttons, form::MsgResult defaultButton) override;
    // A dialog (object name "TalporAbout") showing the Markdown text formatted, links
    // opened in the browser, as tall as the text up to what the screen leaves; closed
    // with "Cerrar", Intro or Esc.
    void ShowAbout(std::string_view title, std::string_view text) override;
    // Kept until the first FlushSettings (or the end of the program) writes it; written
    // at once after that.
    void SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                     std::string_view value) override;
    std::string GetSetting(std::string_view appName, std::string_view section, std::string_view key) override;
    // Writes the settings saved so far to the per-user store; main calls it once the
    // window has painted.
    void FlushSettings();
    // Takes the lock at the first call; true only when another running instance holds
    // it. Any other lock file (left by a crashed instance, empty, garbled, unreadable)
    // is taken over; when no lock can be used at all (a folder in its place, no
    // permission) the program starts without the check and says so on standard error.
    bool PreviousInstance() override;
    // Asks the instance holding the lock, through talpor-instance.so, to bring its window
    // forward; waits for it up to two seconds while it may still be starting.
    bool RaiseRunningInstance() override;
    // Answers the requests of later starts by running `raise`, once the window has
    // painted: loads talpor-instance.so and listens, a file or folder at the socket's
    // path moved out of the way first. Only while this instance holds the lock; false
    // where it cannot listen (later starts then get the box).
    bool ListenForOtherStarts(std::function<void()> raise);
    // The local socket of the instance holding the lock: beside the lock file, one per
    // user and lock file.
    QString InstanceSocketPath() const;
    std::string ProgramFolder() override;
    // ProgramFolder()/../share/talpor: the build copies the data there, an install puts
    // it in PREFIX/share/talpor beside PREFIX/bin.
    std::string DataFolder() override;
    // QStandardPaths::AppDataLocation: ~/.local/share/Talpor once main has named the
    // application.
    std::string UserDataFolder() override;
    std::string AppTitle() override { return "Talpor"; }
    form::ScreenSize Screen() override;
    void StartProcess(std::string_view commandLine) override;
    form::DateTime Now() override;
    std::string DateText(const form::DateTime& t) override;
    std::string TimeText(const form::DateTime& t) override;
    bool AppendToFile(std::string_view path, std::string_view text) override;
    std::string StateFolder() override;
    void WriteStdErr(std::string_view text) override;
    void ResetMousePointer() override;
    std::string OpenFileName(std::string_view title, std::string_view folder, std::string_view filter) override;
    std::string SaveFileName(std::string_view title, std::string_view suggested,
                             std::string_view filter) override;
    std::vector<std::string> OpenFileNames(std::string_view title, std::string_view folder,
                                           std::string_view filter) override;
    std::string FolderName(std::string_view title, std::string_view folder) override;
    int ChooseItem(std::string_view title, std::string_view label,
                   const std::vector<std::string>& items, int current) override;
    // Keeps the window answering (events are processed) while a long task runs.
    bool ShowProgress(std::string_view text, int percent) override;
    // Calls onShowMap, which the window sets.
    void ShowMap(int tab) override {
        if (onShowMap) onShowMap(tab);
    }
    std::function<void(int)> onShowMap;
    // QDesktopServices::openUrl: the desktop's browser.
    bool OpenUrl(std::string_view url) override;
    // A ModelDialog over the main window.
    bool ShowDialog(form::FormModel& dialog, const std::function<form::DialogEnd(form::Control&)>& changed) override;
    void EndProgress() override;

private:
    QString lockPath_;
    struct PendingSetting {
        QString appName, section, key, value;
    };
    std::vector<PendingSetting> pendingSettings_;
    bool settingsFlushed_ = false;  // the window is on the screen: settings go to disk as saved
    int lockFd_ = -1;
    std::unique_ptr<QProgressDialog> progress_;  // the open lock file while this instance holds its lock
    bool checked_ = false;
    TalporInstanceServer* server_ = nullptr;  // listening while this instance holds the lock
    std::function<void()> raise_;
    bool previous_ = false;
    QPointer<QWidget> mainWindow_;
    // The window a box, a chooser or a progress window belongs to and is centred on: the
    // dialog open (the file dialog), else the main window.
    QWidget* Owner() const;
};

}  // namespace qt
