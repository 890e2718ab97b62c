// What the window logic needs from its platform: message boxes, the About box, the settings
// store, the single-instance indication and the hand-over to the running instance,
// regional settings, the screen size, the program folder and the data folders, starting a
// process, the clock, the error log and standard error.
// The Qt front end implements it; tests use a fake that records calls and scripts
// answers.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "form/Controls.h"

namespace form {

enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgButtons { OK, YesNo };
enum class MsgResult { OK, Yes, No };

// What a dialog does after one of its events: stays open, or closes accepted or cancelled.
enum class DialogEnd { Stay, Accept, Cancel };

struct ScreenSize {
    int width = 0;   // pixels
    int height = 0;  // pixels
};

struct DateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // A modal message box; returns the button the user pressed.
    virtual MsgResult MsgBox(std::string_view text, std::string_view title, MsgIcon icon,
                             MsgButtons buttons = MsgButtons::OK,
                             MsgResult defaultButton = MsgResult::OK) = 0;

    // The About box: a modal window with `title` and `text`, closed by the user. The text
    // is Markdown (CommonMark with tables): headings, bold, lists and a table, so that it
    // reads as well unformatted. A platform without such a window shows it as a message.
    virtual void ShowAbout(std::string_view title, std::string_view text) {
        MsgBox(text, title, MsgIcon::Information);
    }

    // Per-user settings store, addressed by application, section and key. GetSetting
    // gives the value last saved, kept between starts, or "" when there is none.
    virtual void SaveSetting(std::string_view appName, std::string_view section,
                             std::string_view key, std::string_view value) = 0;
    virtual std::string GetSetting(std::string_view appName, std::string_view section, std::string_view key) {
        (void)appName, (void)section, (void)key;
        return "";
    }

    // True when another instance of the program is already running.
    virtual bool PreviousInstance() = 0;
    // Asks that running instance to bring its window to the front: true when it answered,
    // false when it could not be reached (a lock held by a program that does not answer;
    // an instance that is still starting is waited for a moment).
    virtual bool RaiseRunningInstance() { return false; }
    // The folder that holds the program file, as the platform reports it.
    virtual std::string ProgramFolder() = 0;
    // The folder of the program's own data files (the IGN grids): ../share/talpor from
    // the folder of the program file, in the build tree as in an installed prefix
    // (PREFIX/bin/talpor, PREFIX/share/talpor). "" when the platform cannot tell.
    virtual std::string DataFolder() { return ""; }
    // The per-user folder of the program's data (on a Linux desktop
    // $XDG_DATA_HOME/Talpor, by default ~/.local/share/Talpor), not created; "" when
    // there is none.
    virtual std::string UserDataFolder() { return ""; }
    // The application title, "Talpor".
    virtual std::string AppTitle() = 0;

    virtual ScreenSize Screen() = 0;

    // Starts a command line as a separate process without waiting for it.
    virtual void StartProcess(std::string_view commandLine) = 0;

    virtual DateTime Now() = 0;
    // Date and time written in Spain's short-date and time formats, whatever the locale.
    virtual std::string DateText(const DateTime& t) = 0;
    virtual std::string TimeText(const DateTime& t) = 0;

    // Appends `text` to the file, creating it when missing. False when it failed.
    virtual bool AppendToFile(std::string_view path, std::string_view text) = 0;
    // The per-user folder for the program's state files (on a Linux desktop
    // $XDG_STATE_HOME/Talpor, by default ~/.local/state/Talpor), created when missing;
    // "" when there is none or it cannot be created.
    virtual std::string StateFolder() = 0;
    // Writes text to the program's standard error.
    virtual void WriteStdErr(std::string_view text) = 0;

    virtual void ResetMousePointer() = 0;

    // File dialogs: the path the user chose, "" when cancelled. `filter` lists the kinds
    // of file offered, as "Puntos (*.csv *.txt);;Todos los ficheros (*)"; the open dialog
    // starts in `folder` ("": the platform's choice). The save dialog does not ask about
    // a file that exists: its caller asks when it is about to replace it.
    virtual std::string OpenFileName(std::string_view title, std::string_view folder, std::string_view filter) {
        (void)title, (void)folder, (void)filter;
        return "";
    }
    virtual std::string SaveFileName(std::string_view title, std::string_view suggested,
                                     std::string_view filter) {
        (void)title, (void)suggested, (void)filter;
        return "";
    }
    // The open dialog where the user may choose several files at once: their paths, none
    // when cancelled. A platform without one offers a single file.
    virtual std::vector<std::string> OpenFileNames(std::string_view title, std::string_view folder,
                                                   std::string_view filter) {
        std::string one = OpenFileName(title, folder, filter);
        if (one.empty()) return {};
        return {std::move(one)};
    }
    // A folder chooser, starting at `folder` (which need not exist yet: it starts at the
    // nearest folder above it that does); the folder chosen, "" when cancelled.
    virtual std::string FolderName(std::string_view title, std::string_view folder) {
        (void)title, (void)folder;
        return "";
    }
    // A choice of one item of a list (`current` chosen at first); -1 when cancelled.
    virtual int ChooseItem(std::string_view title, std::string_view label,
                           const std::vector<std::string>& items, int current) {
        (void)title, (void)label, (void)items;
        return current;
    }
    // A progress window with a cancel button: shown at the first call, updated by the
    // next (percent 0..100), closed by EndProgress. Answers false once the user has
    // cancelled.
    virtual bool ShowProgress(std::string_view text, int percent) {
        (void)text, (void)percent;
        return true;
    }
    virtual void EndProgress() {}

    // The map of a conversion tab's point (tab 0 or 1), opened or brought to the front;
    // it follows the tab's point as the window changes. Ignored where there is none.
    virtual void ShowMap(int tab) { (void)tab; }
    // Opens a web address in the desktop's browser; false when none could be started.
    virtual bool OpenUrl(std::string_view url) {
        (void)url;
        return false;
    }

    // A modal dialog of the controls of `dialog`, the Form control first (its caption is
    // the title), each placed by its name. Every change the user makes (an item picked,
    // a box ticked, an option chosen, a field's text left changed, a button pressed, files
    // or folders dropped on the dialog, written to the `dropped` of the text box that
    // `takesDrops`) is written to its control, then `changed` runs with it; the dialog then shows the
    // controls as they are and closes when `changed` says so. Esc and the window's close
    // button cancel without a call. True when the dialog closed accepted.
    virtual bool ShowDialog(FormModel& dialog, const std::function<DialogEnd(Control&)>& changed) {
        (void)dialog, (void)changed;
        return false;
    }
};

}  // namespace form
