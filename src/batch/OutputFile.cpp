#include "batch/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>

#include "batch/Stream.h"
#include "batch/SystemError.h"

namespace batch {
namespace {

// The temporary file a signal must remove before the process ends: its name lives where
// the handler can read it without allocating.
char g_temporary[PATH_MAX + 1];
volatile std::sig_atomic_t g_haveTemporary = 0;
// The temporary folder of an OutputFolder, emptied and removed so too.
char g_temporaryFolder[PATH_MAX + 1];
volatile std::sig_atomic_t g_haveTemporaryFolder = 0;

// Removes `folder` and the files in it (GDAL writes no subfolders).
void RemoveFolder(const char* folder) {
    if (DIR* d = ::opendir(folder)) {
        const int fd = ::dirfd(d);
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ::unlinkat(fd, e->d_name, 0);
        }
        ::closedir(d);
    }
    ::rmdir(folder);
}

extern "C" void RemoveTemporaryAndDie(int signal) {
    RemoveTemporaryOutput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// SIGABRT too: an abort (std::terminate's default among them) ends the process without
// running any destructor; and SIGXFSZ, which a file size limit (ulimit -f) ends it with.
// A signal ignored from the start stays ignored: nohup's SIGHUP, or a SIGXFSZ ignored so
// that the write itself fails.
void RemoveTemporaryOnSignals() {
    static const bool installed = [] {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGXFSZ}) {
            struct sigaction old {};
            if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_handler = RemoveTemporaryAndDie;
            sigemptyset(&action.sa_mask);
            ::sigaction(s, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw RunError("no se puede escribir «" + path + "»: " + why);
}

}  // namespace

void RemoveTemporaryOutput() {
    if (g_haveTemporary) ::unlink(g_temporary);
    if (g_haveTemporaryFolder) RemoveFolder(g_temporaryFolder);
}

std::optional<FileId> IdOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

OutputFile::OutputFile(const std::string& path, std::optional<FileId> input) {
    if (path == "-") {
        fd_ = STDOUT_FILENO;
        struct stat st {};
        if (input && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && FileId{st.st_dev, st.st_ino} == *input)
            throw RunError("la salida estándar es el propio fichero de entrada; escriba la salida en otro fichero");
        return;
    }
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && input && FileId{st.st_dev, st.st_ino} == *input)
        throw RunError("«" + path + "» es el propio fichero de entrada; escriba la salida en otro fichero");
    if (exists && S_ISDIR(st.st_mode)) Fail(path, SystemErrorText(EISDIR));
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe cannot be replaced by a rename, nor left half written.
        fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) Fail(path, SystemErrorText(errno));
        return;
    }
    const std::string temporary = Folder(target) + "/." + Name(target) + ".XXXXXX";
    if (temporary.size() > PATH_MAX) Fail(path, SystemErrorText(ENAMETOOLONG));
    RemoveTemporaryOnSignals();
    // Nothing that can throw between the file's creation and the end of the constructor,
    // or no destructor would remove it.
    target_ = target;
    temporary_ = temporary;
    std::memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
    fd_ = ::mkostemp(g_temporary, O_CLOEXEC);
    if (fd_ < 0) {
        temporary_.clear();
        Fail(path, SystemErrorText(errno));
    }
    g_haveTemporary = 1;
    std::memcpy(temporary_.data(), g_temporary, temporary_.size());
    ::fchmod(fd_, exists ? (st.st_mode & 07777) : NewFileMode());
}

OutputFile::~OutputFile() {
    if (temporary_.empty() || committed_) {
        if (fd_ > STDERR_FILENO) ::close(fd_);
        return;
    }
    ::close(fd_);
    ::unlink(temporary_.c_str());
    g_haveTemporary = 0;
}

void OutputFile::Commit() {
    if (fd_ == STDOUT_FILENO) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int e = errno;
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        committed_ = true;
        g_haveTemporary = 0;
        Fail(target_, SystemErrorText(e));
    }
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary_.c_str());
        committed_ = true;
        g_haveTemporary = 0;
        Fail(target_, SystemErrorText(e));
    }
    committed_ = true;
    g_haveTemporary = 0;
}

OutputFolder::OutputFolder(const std::string& path) {
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) Fail(path, SystemErrorText(EISDIR));
    const std::string folder = Folder(target) + "/." + Name(target) + ".XXXXXX";
    if (folder.size() + Name(target).size() + 1 > PATH_MAX) Fail(path, SystemErrorText(ENAMETOOLONG));
    RemoveTemporaryOnSignals();
    std::memcpy(g_temporaryFolder, folder.c_str(), folder.size() + 1);
    if (::mkdtemp(g_temporaryFolder) == nullptr) Fail(path, SystemErrorText(errno));
    g_haveTemporaryFolder = 1;
    target_ = target;
    folder_ = g_temporaryFolder;
    path_ = folder_ + "/" + Name(target);
}

OutputFolder::~OutputFolder() {
    if (committed_) return;
    RemoveFolder(folder_.c_str());
    g_haveTemporaryFolder = 0;
}

namespace {

// The file name without its extension, and its extension in lower case (".shp").
std::pair<std::string, std::string> StemAndExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {name, ""};
    std::string extension = name.substr(dot);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return {name.substr(0, dot), extension};
}

// The files a shapefile is made of, besides the ones GDAL writes: indexes and
// descriptions other programs add, which describe the file they were made for.
constexpr std::string_view kShapefileParts[] = {".shp", ".shx", ".dbf", ".prj", ".cpg", ".qpj", ".qix",
                                                ".sbn", ".sbx", ".fix", ".aih", ".ain", ".atx", ".shp.xml"};

}  // namespace

void OutputFolder::Commit() {
    std::vector<std::string> written;
    if (DIR* d = ::opendir(folder_.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) written.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    const std::string destination = Folder(target_);
    const auto [stem, extension] = StemAndExtension(Name(target_));
    if (extension == ".shp") {
        const std::set<std::string> kept(written.begin(), written.end());
        for (std::string_view part : kShapefileParts) {
            for (const std::string& name : {stem + std::string(part), stem + [&] {
                                                std::string upper(part);
                                                for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
                                                return upper;
                                            }()}) {
                if (kept.count(name) == 0) ::unlink((destination + "/" + name).c_str());
            }
        }
    }
    for (const std::string& name : written) {
        const std::string from = folder_ + "/" + name;
        const std::string to = destination + "/" + name;
        struct stat old {};
        const bool replaced = ::stat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode);
        if (replaced) ::chmod(from.c_str(), old.st_mode & 07777);
        if (::rename(from.c_str(), to.c_str()) != 0) Fail(to, SystemErrorText(errno));
    }
    ::rmdir(folder_.c_str());
    committed_ = true;
    g_haveTemporaryFolder = 0;
}

}  // namespace batch
