// The platform services of Talpor on a Qt desktop: message boxes, settings store,
// single instance, regional settings, screen, processes, clock and the error log.
#pragma once

#include <QLocale>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "form/Platform.h"

class QLockFile;

namespace talpor_qt {

class QtPlatform : public app::Platform {
public:
    // lockPath: the single-instance lock file; by default one per user in the
    // runtime folder (XDG_RUNTIME_DIR).
    explicit QtPlatform(QString lockPath = DefaultLockPath());
    ~QtPlatform() override;

    static QString DefaultLockPath();

    // Message boxes are centred on this window once it exists.
    void SetMainWindow(QWidget* window) { mainWindow_ = window; }

    app::MsgResult MsgBox(std::string_view text, std::string_view title, app::MsgIcon icon,
                          app::MsgButtons buttons, app::MsgResult defaultButton) override;
    void SaveSetting(std::string_view appName, std::string_view section, std::string_view key,
                     std::string_view value) override;
    // Takes the lock at the first call; true when another running instance holds it.
    // A lock left behind by a crashed instance is recognised (its process is gone)
    // and taken over.
    bool PreviousInstance() override;
    std::string ProgramFolder() override;
    std::string AppTitle() override { return "Talpor"; }
    std::string Locale(app::LocaleItem item) override;
    app::ScreenSize Screen() override;
    void StartProcess(std::string_view commandLine) override;
    std::string RegionalSettingsCommand() override;
    app::DateTime Now() override;
    std::string DateText(const app::DateTime& t) override;
    std::string TimeText(const app::DateTime& t) override;
    bool AppendToFile(std::string_view path, std::string_view text) override;
    void ResetMousePointer() override;

    // The user's locale for one category of the environment ("LC_NUMERIC",
    // "LC_MONETARY", "LC_TIME"): LC_ALL, then the category, then LANG, read through
    // Qt's own locale data, so it works whatever locales the system has generated.
    static QLocale LocaleOf(const char* category);

private:
    QString lockPath_;
    std::unique_ptr<QLockFile> lock_;
    bool checked_ = false;
    bool previous_ = false;
    QPointer<QWidget> mainWindow_;
};

}  // namespace talpor_qt
