// The environment checks of start-up and activation and the error report with its
// log: the minimum screen size and LogError.
#pragma once

#include <string>
#include <string_view>

#include "form/Platform.h"

namespace app {

// True when the screen is at least minWidth x minHeight pixels.
bool ScreenResolutionOK(form::Platform& platform, int minWidth, int minHeight);

// The folder right-trimmed of blanks and ending in a path separator ("/" is added
// unless it already ends in "/" or "\").
std::string FolderWithSeparator(std::string folder);

// The error log: "Error.log" in the program folder.
std::string LogPath(form::Platform& platform);
// Where the record goes when the program folder cannot take it: "Error.log" in the
// per-user state folder; "" when there is none.
std::string StateLogPath(form::Platform& platform);

// One record of the error log, CR LF included: "timestamp","procName",number,"description".
// A double quote inside a text field is written twice, so that the record stays four
// fields for any reader of comma-separated values.
std::string LogRecord(std::string_view timestamp, std::string_view procName, int errNumber,
                      std::string_view errDescription);

// The message LogError shows (CR LF after the procedure, a lone CR before the last line).
// The last line names the file that took the record, or says that none did when
// `logPath` is empty.
std::string LogErrorMessage(std::string_view procName, int errNumber,
                            std::string_view errDescription, std::string_view logPath);

// Appends the error's record to the error log in the program folder or, when that cannot
// take it (an installed program's read-only folder), to the one in the per-user state
// folder; when neither can, writes the record to standard error. Then shows the error
// in a critical message box titled "<AppTitle> Error" that names the file actually
// written, or says the error could not be recorded. Never fails: a step that fails is
// skipped. The callers end the program afterwards, except the click guard, which keeps
// it running.
void LogError(form::Platform& platform, std::string_view procName, int errNumber,
              std::string_view errDescription);

}  // namespace app
