#include "batch/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "batch/Stream.h"
#include "batch/SystemError.h"

namespace batch {
namespace {

// The temporary file a signal must remove before the process ends: its name lives where
// the handler can read it without allocating.
char g_temporary[PATH_MAX + 1];
volatile std::sig_atomic_t g_haveTemporary = 0;

extern "C" void RemoveTemporaryAndDie(int signal) {
    RemoveTemporaryOutput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// SIGABRT too: an abort (std::terminate's default among them) ends the process without
// running any destructor.
void RemoveTemporaryOnSignals() {
    static const bool installed = [] {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT}) {
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

}  // namespace batch
