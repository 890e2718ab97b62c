#include "tables/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>

#include "tables/Run.h"
#include "tables/SystemError.h"

namespace tables {
namespace {

// The temporary files and folders a signal must remove before the process ends, of every
// file being written at once (a run over several files writes some in parallel): their
// names live where the handler can read them without allocating or locking. A slot is
// free (0), being filled (1) or holds a name (2).
constexpr int kSlots = 64;
struct TemporarySlot {
    char path[PATH_MAX + 1];
    std::atomic<int> state{0};
};
TemporarySlot g_files[kSlots], g_folders[kSlots];

// The workers writing temporary folders, killed by the handler (0: a free slot); how many
// callers defer signals (a run that says what it kept, and within it each worker's wait);
// and the signal kept for them.
std::atomic<pid_t> g_workers[kSlots];
std::atomic<int> g_deferring{0};
std::atomic<int> g_pending{0};

// A slot of `slots` holding `path` (mkstemp's template: `make` fills it in place), or -1
// when every slot is taken (then a signal leaves that file behind). `make` returns false
// for a failure, the slot freed again.
template <class Make>
int Claim(TemporarySlot (&slots)[kSlots], const std::string& path, const Make& make) {
    for (int i = 0; i < kSlots; ++i) {
        int free = 0;
        if (!slots[i].state.compare_exchange_strong(free, 1)) continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        if (!make(slots[i].path)) {
            slots[i].state = 0;
            return -2;
        }
        slots[i].state = 2;
        return i;
    }
    return -1;
}

void Release(TemporarySlot (&slots)[kSlots], int& slot) {
    if (slot >= 0) slots[slot].state = 0;
    slot = -1;
}

// Removes `name` in the folder `at` and, if it is a folder, everything in it, with system
// calls alone (no allocation, no lock): safe in a signal handler. GDAL writes subfolders
// (a folder of shapefiles); deeper than any of its own is left.
void RemoveTreeNow(int at, const char* name, int depth) {
    if (::unlinkat(at, name, 0) == 0 || errno == ENOENT) return;
    const int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        // Entries removed while the folder is listed may hide others: listed again until
        // a listing removes nothing.
        for (bool removed = true; removed;) {
            removed = false;
            ::lseek(fd, 0, SEEK_SET);
            ssize_t n;
            while ((n = ::getdents64(fd, buffer, sizeof buffer)) > 0) {
                for (ssize_t off = 0; off < n;) {
                    const auto* e = reinterpret_cast<const dirent64*>(buffer + off);
                    off += e->d_reclen;
                    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
                    if (::unlinkat(fd, e->d_name, 0) == 0) removed = true;
                    else if (errno == EISDIR && depth < 8) RemoveTreeNow(fd, e->d_name, depth + 1), removed = true;
                }
            }
        }
        ::close(fd);
    }
    ::unlinkat(at, name, AT_REMOVEDIR);
}

extern "C" void OnEndingSignal(int signal) {
    if (g_deferring > 0 && g_pending == 0) {
        // The waiting loops act on it: the workers stop writing now.
        g_pending = signal;
        for (std::atomic<pid_t>& w : g_workers)
            if (const pid_t pid = w; pid > 0) ::kill(pid, SIGKILL);
        return;
    }
    for (std::atomic<pid_t>& w : g_workers)
        if (const pid_t pid = w; pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
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
            action.sa_handler = OnEndingSignal;
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
    for (TemporarySlot& f : g_files)
        if (f.state == 2) ::unlink(f.path);
    for (TemporarySlot& f : g_folders)
        if (f.state == 2) RemoveTreeNow(AT_FDCWD, f.path, 0);
}

void DeferSignals(pid_t worker) {
    RemoveTemporaryOnSignals();
    if (g_deferring.fetch_add(1) == 0) g_pending = 0;
    if (worker <= 0) return;
    for (std::atomic<pid_t>& w : g_workers) {
        pid_t free = 0;
        if (w.compare_exchange_strong(free, worker)) break;
    }
}

void StopDeferringSignals(pid_t worker) {
    if (worker > 0)
        for (std::atomic<pid_t>& w : g_workers) {
            pid_t mine = worker;
            if (w.compare_exchange_strong(mine, 0)) break;
        }
    int n = g_deferring;
    while (n > 0 && !g_deferring.compare_exchange_weak(n, n - 1)) {
    }
}

bool DeferringSignals() { return g_deferring > 0; }

int PendingSignal() { return g_pending; }

std::optional<FileId> IdOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

std::optional<FileId> IdOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

OutputFile::OutputFile(const std::string& path, std::optional<FileId> input)
    : OutputFile(path, input ? std::vector<FileId>{*input} : std::vector<FileId>{}) {}

OutputFile::OutputFile(const std::string& path, const std::vector<FileId>& inputs) {
    const auto isInput = [&](const struct stat& st) {
        return std::find(inputs.begin(), inputs.end(), FileId{st.st_dev, st.st_ino}) != inputs.end();
    };
    if (path == "-") {
        fd_ = STDOUT_FILENO;
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && isInput(st))
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
    if (exists && isInput(st))
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
    const auto make = [&](char* name) {
        fd_ = ::mkostemp(name, O_CLOEXEC);
        if (fd_ >= 0) std::memcpy(temporary_.data(), name, temporary_.size());
        return fd_ >= 0;
    };
    slot_ = Claim(g_files, temporary, make);
    if (slot_ == -1) fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        slot_ = -1;
        temporary_.clear();
        Fail(path, SystemErrorText(errno));
    }
    ::fchmod(fd_, exists ? (st.st_mode & 07777) : NewFileMode());
}

OutputFile::~OutputFile() {
    if (temporary_.empty() || committed_) {
        if (fd_ > STDERR_FILENO) ::close(fd_);
        return;
    }
    ::close(fd_);
    ::unlink(temporary_.c_str());
    Release(g_files, slot_);
}

void OutputFile::Commit() {
    if (fd_ == STDOUT_FILENO) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int e = errno;
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        committed_ = true;
        Release(g_files, slot_);
        Fail(target_, SystemErrorText(e));
    }
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary_.c_str());
        committed_ = true;
        Release(g_files, slot_);
        Fail(target_, SystemErrorText(e));
    }
    committed_ = true;
    Release(g_files, slot_);
}

OutputFolder::OutputFolder(const std::string& path, bool temporaryOnly) {
    std::string target = path;
    struct stat st {};
    if (temporaryOnly) {
        const char* tmp = std::getenv("TMPDIR");
        target = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/" + Name(path);
    } else if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }
    if (!temporaryOnly && ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) Fail(path, SystemErrorText(EISDIR));
    const std::string folder = Folder(target) + "/." + Name(target) + ".XXXXXX";
    if (folder.size() + Name(target).size() + 1 > PATH_MAX) Fail(path, SystemErrorText(ENAMETOOLONG));
    RemoveTemporaryOnSignals();
    std::string made = folder;
    const auto make = [&](char* name) {
        if (::mkdtemp(name) == nullptr) return false;
        made = name;
        return true;
    };
    slot_ = Claim(g_folders, folder, make);
    if (slot_ == -1 && ::mkdtemp(made.data()) == nullptr) slot_ = -2;
    if (slot_ == -2) {
        slot_ = -1;
        Fail(path, SystemErrorText(errno));
    }
    target_ = target;
    folder_ = made;
    path_ = folder_ + "/" + Name(target);
}

OutputFolder::~OutputFolder() {
    if (committed_) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    Release(g_folders, slot_);
}

std::string OutputFolder::Destination() const { return Folder(target_); }

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

namespace {

// `name` as it goes beside `target`: GDAL names the files of a shapefile or a MapInfo
// table in lower case whatever the destination's case (RIOS.SHP is written as RIOS.shp,
// RIOS.dbf, ...); where the destination's extension is in capitals, theirs are too, and
// RIOS.SHP is what the summary says.
std::string InTargetsCase(const std::string& name, const std::string& target) {
    const auto [stem, extension] = StemAndExtension(target);
    const bool capitals = std::none_of(target.begin() + static_cast<std::ptrdiff_t>(stem.size()), target.end(),
                                       [](char c) { return c >= 'a' && c <= 'z'; });
    if (!capitals || (extension != ".shp" && extension != ".tab" && extension != ".mif") || !name.starts_with(stem + "."))
        return name;
    std::string upper = name;
    for (std::size_t i = stem.size(); i < upper.size(); ++i)
        upper[i] = static_cast<char>(upper[i] >= 'a' && upper[i] <= 'z' ? upper[i] - 'a' + 'A' : upper[i]);
    return upper;
}

}  // namespace

std::vector<std::string> OutputFolder::Written() const {
    std::vector<std::string> written;
    if (DIR* d = ::opendir(folder_.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) written.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    for (std::string& name : written) {
        const std::string cased = InTargetsCase(name, Name(target_));
        struct stat st {};
        if (cased != name && ::stat((folder_ + "/" + cased).c_str(), &st) != 0 &&
            ::rename((folder_ + "/" + name).c_str(), (folder_ + "/" + cased).c_str()) == 0)
            name = cased;
    }
    std::sort(written.begin(), written.end());
    const auto named = std::find(written.begin(), written.end(), Name(target_));
    if (named != written.end()) std::rotate(written.begin(), named, named + 1);
    return written;
}

bool OutputFolder::OfDestination(const std::string& name) const {
    if (name == Name(target_)) return true;
    const auto [stem, extension] = StemAndExtension(Name(target_));
    if (extension != ".shp") return false;
    const auto [otherStem, otherExtension] = StemAndExtension(name);
    return otherStem == stem && std::find(std::begin(kShapefileParts), std::end(kShapefileParts), otherExtension) !=
                                    std::end(kShapefileParts);
}

void OutputFolder::Commit() {
    // Ctrl+C or a kill waits for the files to be in place: a shapefile half moved would
    // be neither the old one nor the new.
    sigset_t ending, before;
    sigemptyset(&ending);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, s);
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    struct Restore {
        sigset_t mask;
        ~Restore() { ::pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{before};
    const std::vector<std::string> written = Written();
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
    Release(g_folders, slot_);
}

}  // namespace tables
