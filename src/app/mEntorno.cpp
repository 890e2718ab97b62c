#include "app/mEntorno.h"

namespace app {
namespace {

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

bool ScreenResolutionOK(form::Platform& platform, int minWidth, int minHeight) {
    form::ScreenSize s = platform.Screen();
    return s.width >= minWidth && s.height >= minHeight;
}

std::string FolderWithSeparator(std::string folder) {
    while (!folder.empty() && folder.back() == ' ') folder.pop_back();
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
    return folder;
}

std::string LogPath(form::Platform& platform) {
    return FolderWithSeparator(platform.ProgramFolder()) + "Error.log";
}

std::string StateLogPath(form::Platform& platform) {
    const std::string folder = platform.StateFolder();
    return folder.empty() ? "" : FolderWithSeparator(folder) + "Error.log";
}

std::string LogRecord(std::string_view timestamp, std::string_view procName, int errNumber,
                      std::string_view errDescription) {
    return Quoted(timestamp) + "," + Quoted(procName) + "," + std::to_string(errNumber) + "," +
           Quoted(errDescription) + "\r\n";
}

std::string LogErrorMessage(std::string_view procName, int errNumber,
                            std::string_view errDescription, std::string_view logPath) {
    std::string m = "Ha ocurrido un error en ";
    m += procName;
    m += "\r\nError núm. (" + std::to_string(errNumber) + ") : ";
    m += errDescription;
    if (logPath.empty()) {
        m += "\rNo se ha podido registrar en ningún archivo";
    } else {
        m += "\rHa quedado registrado en el archivo ";
        m += logPath;
    }
    return m;
}

void LogError(form::Platform& platform, std::string_view procName, int errNumber,
              std::string_view errDescription) {
    std::string timestamp;
    try {
        const form::DateTime now = platform.Now();
        timestamp = platform.DateText(now) + " @ " + platform.TimeText(now);
    } catch (...) {
    }
    const std::string record = LogRecord(timestamp, procName, errNumber, errDescription);

    // The record is written before the message, so that the message can name the file
    // that took it.
    std::string written;
    for (auto folderLog : {LogPath, StateLogPath}) {
        try {
            const std::string path = folderLog(platform);
            if (!path.empty() && platform.AppendToFile(path, record)) {
                written = path;
                break;
            }
        } catch (...) {
        }
    }
    if (written.empty()) {
        try {
            platform.WriteStdErr(record);
        } catch (...) {
        }
    }
    try {
        platform.MsgBox(LogErrorMessage(procName, errNumber, errDescription, written),
                        platform.AppTitle() + " Error", form::MsgIcon::Critical);
    } catch (...) {
    }
    try {
        platform.ResetMousePointer();
    } catch (...) {
    }
}

}  // namespace app
