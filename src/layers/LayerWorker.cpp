#include "layers/LayerWorker.h"
#include "layers/Workbook.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <new>

#include "layers/LayerEngine.h"
#include "tables/OutputFile.h"
#include "tables/SystemError.h"

extern char** environ;

namespace layers {
namespace {

// The worker lies at the same place relative to the program's own file in the build tree
// and once installed, beside the modules.
std::string WorkerPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path() / TALPOR_LAYER_WORKER_FROM_BIN).lexically_normal().string();
}

// The worker a thread keeps between jobs (KeepWorkers), idle: its process and pipes.
// Kills a worker, waits for it and closes its pipes; all of them left as none (-1).
void KillWorker(pid_t& pid, std::initializer_list<int*> pipes) {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (int* fd : pipes)
        if (*fd >= 0) ::close(*fd), *fd = -1;
    pid = -1;
}

struct Kept {
    bool enabled = false;
    pid_t pid = -1;
    int from = -1, errors = -1, to = -1;
    void Drop() { KillWorker(pid, {&from, &errors, &to}); }
};
thread_local Kept g_kept;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPassErrors = true;
#else
constexpr bool kPassErrors = false;
#endif

long long Number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

// A text from the file (a layer's or an attribute's name, GDAL's words on it) as a message
// shows it: no control character of a damaged file reaches the user's terminal or splits
// a line of the summary.
std::string Shown(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

// The start of /proc/PID/NAME, a line of numbers; "" when it cannot be read.
std::string ProcText(pid_t pid, const char* name) {
    const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char text[1024] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

// The worker's resident memory, in bytes; 0 when it cannot be read.
std::uint64_t Resident(pid_t pid) {
    const std::string text = ProcText(pid, "statm");
    unsigned long long size = 0, resident = 0;
    if (std::sscanf(text.c_str(), "%llu %llu", &size, &resident) != 2) return 0;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

// The processor time `pid` has used, in seconds; 0 when it cannot be told.
double CpuSeconds(pid_t pid) {
    const std::string text = ProcText(pid, "stat");
    // After the command's name in brackets: state, then ten fields, then utime and stime.
    const char* end = std::strrchr(text.c_str(), ')');
    unsigned long long user = 0, system = 0;
    if (end == nullptr ||
        std::sscanf(end + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2)
        return 0;
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::string SignalText(int signal) {
    switch (signal) {
        case SIGSEGV: return "violación de segmento";
        case SIGBUS: return "error de bus";
        case SIGABRT: return "abortada";
        case SIGFPE: return "excepción aritmética";
        case SIGILL: return "instrucción no válida";
        case SIGKILL: return "detenida por otro programa";
        default: return "señal " + std::to_string(signal);
    }
}

// Writes the worker's records to its standard output.
void Send(const Record& record) {
    const std::string line = EncodeRecord(record);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ::_exit(2);  // the caller is gone
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string EncodeRecord(const Record& record) {
    std::string line;
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (i > 0) line += '\t';
        for (char c : record[i]) {
            if (c == '\\') line += "\\\\";
            else if (c == '\t') line += "\\t";
            else if (c == '\n') line += "\\n";
            else line += c;
        }
    }
    return line + '\n';
}

Record DecodeRecord(std::string_view line) {
    Record record(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') record.emplace_back();
        else if (c != '\\' || i + 1 == line.size()) record.back() += c;
        else {
            const char e = line[++i];
            record.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e;
        }
    }
    return record;
}

std::string EncodeSettings(const tables::Settings& s) {
    const tables::Conversion& c = s.conversion;
    const tables::Outputs& o = s.outputs;
    const tables::LayoutChoice& l = s.layout;
    const tables::LayerChoice& y = s.layers;
    const auto b = [](bool v) { return std::string(v ? "1" : "0"); };
    Record r = {std::to_string(static_cast<int>(c.direction)), std::to_string(static_cast<int>(c.method)),
                std::to_string(static_cast<int>(c.input)), std::to_string(c.zone), b(c.altitude),
                b(c.heightIsAltitude), b(c.places),
                b(o.dms) + b(o.degrees) + b(o.utm) + b(o.height) + b(o.set) + b(o.altitude) + b(o.degreesMinutes),
                l.separator ? std::to_string(static_cast<int>(*l.separator)) : "-",
                l.header ? b(*l.header) : "-", l.heightColumn, b(l.findHeight),
                std::to_string(static_cast<int>(static_cast<unsigned char>(s.decimalSign))),
                std::to_string(static_cast<int>(s.format)), b(s.outputsChosen), y.format,
                b(y.directionGiven) + b(y.leaveOutside) + b(y.wgs84Label) + b(y.zEllipsoidal) + b(y.table) + b(y.replace),
                s.target ? tables::NameOf(*s.target) : "-", s.origin ? tables::NameOf(*s.origin) : "-", b(c.sameDatum),
                std::to_string(c.outZone)};
    r.insert(r.end(), l.pointColumns.begin(), l.pointColumns.end());
    // One argument: a record without its line end.
    std::string text = EncodeRecord(r);
    text.pop_back();
    return text;
}

tables::Settings DecodeSettings(std::string_view text) {
    const Record r = DecodeRecord(text);
    if (r.size() < 21) throw tables::RunError("ajustes incompletos para talpor-capas");
    tables::Settings s;
    tables::Conversion& c = s.conversion;
    c.direction = static_cast<core::Direction>(Number(r[0]));
    c.method = static_cast<tables::Method>(Number(r[1]));
    c.input = static_cast<tables::InputForm>(Number(r[2]));
    c.zone = static_cast<int>(Number(r[3]));
    c.altitude = r[4] == "1";
    c.heightIsAltitude = r[5] == "1";
    c.places = r[6] == "1";
    const std::string& o = r[7];
    s.outputs = {o[0] == '1', o[1] == '1', o[2] == '1', o[3] == '1', o[4] == '1', o[5] == '1', o[6] == '1'};
    if (r[8] != "-") s.layout.separator = static_cast<tables::Separator>(Number(r[8]));
    if (r[9] != "-") s.layout.header = r[9] == "1";
    s.layout.heightColumn = r[10];
    s.layout.findHeight = r[11] == "1";
    s.decimalSign = static_cast<char>(Number(r[12]));
    s.format = static_cast<tables::Format>(Number(r[13]));
    s.outputsChosen = r[14] == "1";
    s.layers.format = r[15];
    const std::string& y = r[16];
    s.layers.directionGiven = y[0] == '1', s.layers.leaveOutside = y[1] == '1', s.layers.wgs84Label = y[2] == '1';
    s.layers.zEllipsoidal = y[3] == '1', s.layers.table = y[4] == '1', s.layers.replace = y[5] == '1';
    s.target = tables::CrsNamed(r[17]);
    s.origin = tables::CrsNamed(r[18]);
    c.sameDatum = r[19] == "1";
    c.outZone = static_cast<int>(Number(r[20]));
    s.layout.pointColumns.assign(r.begin() + 21, r.end());
    return s;
}

LayerWorker::LayerWorker(const std::vector<std::string>& arguments, int table)
    : failed_(arguments.empty()             ? "no se puede leer como capa: "
              : arguments[0] == "imagen"    ? "no se puede convertir la imagen: "
              : arguments[0] == "hojas"     ? "no se puede leer como hoja de cálculo: "
              : arguments[0] == "libro"     ? "no se puede escribir la hoja de cálculo: "
                                            : "no se puede leer como capa: ") {
    // A worker kept by this thread takes the job, if it is still there to take it; a job
    // that writes a table to a descriptor of its own has a worker of its own.
    Kept& kept = g_kept;
    if (kept.enabled && table < 0) {
        if (kept.pid > 0 && ::waitpid(kept.pid, nullptr, WNOHANG) == 0) {
            pid_ = kept.pid, from_ = kept.from, errors_ = kept.errors, to_ = kept.to;
            kept.pid = kept.from = kept.errors = kept.to = -1;
            kept_ = true;
            if (SendJob(arguments)) return;
            Stop();
        }
        kept.Drop();
        Spawn({"servir"}, -1, true);
        if (!SendJob(arguments)) throw tables::RunError(failed_ + "el programa que lee las capas no responde");
        return;
    }
    Spawn(arguments, table, false);
}

bool LayerWorker::SendJob(const std::vector<std::string>& arguments) {
    const std::string line = EncodeRecord(arguments);
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = ::send(to_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void LayerWorker::Stop() {
    KillWorker(pid_, {&from_, &errors_, &to_});
    ended_ = true;
}

void LayerWorker::Spawn(const std::vector<std::string>& arguments, int table, bool kept) {
    const std::string program = WorkerPath();
    // A kept worker reads its jobs from a socket (written without SIGPIPE once it is gone).
    int jobs[2] = {-1, -1};
    if (kept && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, jobs) != 0)
        throw tables::RunError(failed_ + tables::SystemErrorText(errno));
    int pipe[2], errors[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) throw tables::RunError(failed_ + tables::SystemErrorText(errno));
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        ::close(pipe[0]), ::close(pipe[1]);
        throw tables::RunError(failed_ + tables::SystemErrorText(errno));
    }
    // The table's descriptor is given as 3, from a copy above any the actions use.
    const int tableCopy = table >= 0 ? ::fcntl(table, F_DUPFD_CLOEXEC, 10) : -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (kept) posix_spawn_file_actions_adddup2(&actions, jobs[1], STDIN_FILENO);
    else posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    if (tableCopy >= 0) posix_spawn_file_actions_adddup2(&actions, tableCopy, 3);
    // None blocked; the ones this process ignores stay ignored (nohup's SIGHUP, a SIGXFSZ
    // ignored so that a write beyond the size limit fails), as for any program it starts.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipe[1]);
    ::close(errors[1]);
    if (tableCopy >= 0) ::close(tableCopy);
    if (kept) ::close(jobs[1]);
    if (spawned != 0) {
        ::close(pipe[0]);
        ::close(errors[0]);
        if (kept) ::close(jobs[0]);
        pid_ = -1;
        throw tables::RunError("no se puede leer como capa: no se puede iniciar " + program + ", el programa que lee las capas (" +
                       tables::SystemErrorText(spawned) + ")");
    }
    from_ = pipe[0];
    errors_ = errors[0];
    to_ = jobs[0];
    kept_ = kept;
}

LayerWorker::~LayerWorker() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (from_ >= 0) ::close(from_);
    if (errors_ >= 0) ::close(errors_);
    if (to_ >= 0) ::close(to_);
}

KeepWorkers::KeepWorkers() { g_kept.enabled = true; }

KeepWorkers::~KeepWorkers() {
    g_kept.enabled = false;
    g_kept.Drop();
}

void LayerWorker::Wait(const LayerLimits& limits, std::int64_t inputBytes, const std::function<void(const Record&)>& record,
                       const LayerProgress& progress) {
    using Clock = std::chrono::steady_clock;
    tables::DeferSignals(pid_);
    struct Undefer {
        pid_t pid;
        ~Undefer() { tables::StopDeferringSignals(pid); }
    } undefer{pid_};
    const double idle = limits.idleSeconds + static_cast<double>(std::max<std::int64_t>(inputBytes, 0)) / limits.idleBytesPerSecond;
    // Quiet time is the worker's processor time since its last record: on a loaded machine
    // it may wait long for a processor without hanging. One that waits on nothing at all
    // for four times as long is stopped too.
    Clock::time_point last = Clock::now();
    double cpuAtLast = CpuSeconds(pid_);
    std::uint64_t features = 0, total = 0;
    std::string pending, failure;
    tables::Missing missing = tables::Missing::Nothing;
    bool finished = false;
    bool reporting = false;  // a sanitizer's report under way on the worker's standard error
    const auto stop = [&](const std::string& why) {
        ::kill(pid_, SIGKILL);
        throw tables::RunError(failed_ + why);
    };
    while (true) {
        if (const int s = tables::PendingSignal()) throw Interrupted{s};
        pollfd ready[2] = {{from_, POLLIN, 0}, {errors_, POLLIN, 0}};
        const int polled = ::poll(ready, errors_ >= 0 ? 2 : 1, 100);
        if (polled < 0 && errno != EINTR) stop(tables::SystemErrorText(errno));
        if (polled > 0 && ready[1].revents != 0) {
            // What GDAL and its libraries print is theirs, in English: the program says what
            // went wrong. A sanitized build passes on its reports, from their first line on,
            // for the tests to see.
            char chunk[4096];
            const ssize_t n = ::read(errors_, chunk, sizeof chunk);
            if (n <= 0) {
                ::close(errors_);
                errors_ = -1;
            } else if (kPassErrors) {
                const std::string_view text(chunk, static_cast<std::size_t>(n));
                reporting = reporting || text.find("Sanitizer") != std::string_view::npos ||
                            text.find("runtime error") != std::string_view::npos;
                if (reporting) (void)!::write(STDERR_FILENO, chunk, static_cast<std::size_t>(n));
            }
        }
        bool gone = false;
        if (polled > 0 && ready[0].revents != 0) {
            char chunk[1 << 16];
            const ssize_t n = ::read(from_, chunk, sizeof chunk);
            if (n == 0) gone = true;
            else if (n < 0 && errno != EINTR && errno != EAGAIN) gone = true;
            else if (n > 0) {
                pending.append(chunk, static_cast<std::size_t>(n));
                std::size_t start = 0;
                for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
                    const Record r = DecodeRecord(std::string_view(pending).substr(start, end - start));
                    last = Clock::now();
                    cpuAtLast = CpuSeconds(pid_);
                    if (r[0] == "leidas" && r.size() >= 3) {
                        features = static_cast<std::uint64_t>(Number(r[1]));
                        total = static_cast<std::uint64_t>(Number(r[2]));
                    } else if (r[0] == "fin") {
                        finished = true;
                    } else if (r[0] == "fallo" && r.size() >= 3) {
                        missing = static_cast<tables::Missing>(Number(r[1]));
                        failure = Shown(r[2]);
                    } else {
                        record(r);
                    }
                }
                pending.erase(0, start);
            }
        }
        if (gone) break;
        if (finished && kept_) {
            // Its job said, a kept worker waits for the next one, unless it has grown so
            // much that the next job could be stopped for what this one left.
            Kept& kept = g_kept;
            if (kept.enabled && kept.pid < 0 && Resident(pid_) < limits.memory / 4) {
                kept.pid = pid_, kept.from = from_, kept.errors = errors_, kept.to = to_;
                pid_ = -1, from_ = errors_ = to_ = -1;
                ended_ = true;
            } else {
                Stop();
            }
            if (!failure.empty()) throw tables::RunError(failure, missing);
            return;
        }
        if (Resident(pid_) > limits.memory)
            stop("GDAL necesita para leerla más de " + std::to_string(limits.memory >> 20) + " MB de memoria");
        const double quiet = std::chrono::duration<double>(Clock::now() - last).count();
        if (CpuSeconds(pid_) - cpuAtLast > idle || quiet > 4 * idle)
            stop("GDAL lleva " + std::to_string(static_cast<long long>(quiet)) + " s sin leer ninguna entidad");
        if (progress) progress(features, total);
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    ended_ = true;
    if (const int s = tables::PendingSignal()) throw Interrupted{s};
    if (!failure.empty()) throw tables::RunError(failure, missing);
    // Its last record said, the work is done: how the worker then ends (a sanitizer's
    // report on GDAL's libraries at exit) changes nothing of it.
    if (finished) return;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ)
        throw tables::RunError("no se puede escribir la salida: " + tables::SystemErrorText(EFBIG));
    throw tables::RunError(failed_ + "GDAL ha fallado al leerla (" +
                   (WIFSIGNALED(status) ? SignalText(WTERMSIG(status))
                                        : "terminada con el estado " + std::to_string(WEXITSTATUS(status))) +
                   ")");
}

void ResendSignal(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    ::_exit(128 + signal);
}

namespace {

// One job of talpor-capas, `args` its arguments (the job's name, the input, the options):
// its records, then "fin".
void RunJob(const std::vector<std::string>& args, const WorkerJob& other) {
    std::string settingsText, dataFolder, userFolder, output, format, extraTables, extension;
    std::vector<std::string> files = {args.size() > 1 ? args[1] : std::string()};  // the job "sistemas"'s
    bool table = false, haveGrids = false;
    LayerLimits limits;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string_view name) { return a.substr(name.size()); };
        if (a.starts_with("--ajustes=")) settingsText = value("--ajustes=");
        else if (a.starts_with("--datos=")) dataFolder = value("--datos="), haveGrids = true;
        else if (a.starts_with("--datos-usuario=")) userFolder = value("--datos-usuario=");
        else if (a.starts_with("--salida=")) output = value("--salida=");
        else if (a.starts_with("--formato=")) format = value("--formato=");
        else if (a == "--tabla") table = true;
        else if (a.starts_with("--tablas=")) extraTables = value("--tablas=");
        else if (a.starts_with("--extension=")) extension = value("--extension=");
        else if (a.starts_with("--fichero=")) files.push_back(value("--fichero="));
        else if (a.starts_with("--limites=")) {
            const Record r = DecodeRecord(value("--limites="));
            if (r.size() >= 5) {
                limits.featureVertices = Number(r[0]), limits.features = Number(r[1]), limits.vertices = Number(r[2]);
                limits.perByte = Number(r[3]), limits.kmlBytes = Number(r[4]);
            }
        }
    }
    using Clock = std::chrono::steady_clock;
    Clock::time_point said{};
    const LayerProgress progress = [&](std::uint64_t features, std::uint64_t total) {
        // Often enough for the caller to see it at work, not a record a batch.
        if (Clock::now() - said < std::chrono::milliseconds(50)) return;
        said = Clock::now();
        Send({"leidas", std::to_string(features), std::to_string(total)});
    };
    try {
        Send({"leidas", "0", "0"});
        if (args.size() < 2) throw tables::RunError("trabajo incompleto");
        if (args[0] == "capas") {
            for (const LayerInfo& l : ReadLayers(args[1], limits, progress)) Send(RecordOf(l));
        } else if (WorkbookJob(args, Send)) {
        } else if (args[0] == "sistemas") {
            // Each file's layers, uncounted, or why it cannot be read; GDAL set up once for all.
            for (std::size_t i = 0; i < files.size(); ++i) {
                Send({"leidas", std::to_string(i), std::to_string(files.size())});
                Send({"fichero", std::to_string(i)});
                try {
                    for (const LayerInfo& l : ReadLayers(files[i], limits, {}, false)) Send(RecordOf(l));
                } catch (const tables::RunError& e) {
                    Send({"ilegible", Shown(e.what())});
                }
            }
        } else {
            tables::Settings settings = DecodeSettings(settingsText);
            std::unique_ptr<core::Grids> grids;
            if (haveGrids) grids = std::make_unique<core::Grids>(dataFolder, userFolder);
            settings.conversion.grids = grids.get();
            if (args[0] != "convertir") {
                if (!other) throw tables::RunError("trabajo desconocido: " + args[0]);
                other(args, settings, Send);
            } else {
                EngineOutput out;
                out.table = table;
                out.fd = table ? 3 : -1;
                out.path = output;
                out.extraTables = extraTables;
                out.extension = extension;
                out.format = LayerFormatNamed(format);
                if (!table && out.format == nullptr) throw tables::RunError("formato de capa desconocido: " + format);
                for (const Record& r : RecordsOf(RunLayers(args[1], out, settings, limits, progress))) Send(r);
            }
        }
    } catch (const tables::RunError& e) {
        Send({"fallo", std::to_string(static_cast<int>(e.missing)), e.what()});
    } catch (const std::bad_alloc&) {
        Send({"fallo", "0", "no hay memoria suficiente"});
    } catch (const std::exception& e) {
        Send({"fallo", "0", "error interno " + tables::Quoted(e.what())});
    }
    Send({"fin"});
}

}  // namespace

int LayerWorkerMain(int argc, char** argv, const WorkerJob& other) {
    // Gone with the process that started it, whatever GDAL is doing.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) return 2;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "servir") {
        // Kept by its caller: a job a line on standard input, each answered as alone,
        // until the caller closes it. GDAL is set up once for all of them.
        for (std::string line; std::getline(std::cin, line);) RunJob(DecodeRecord(line), other);
        ::_exit(0);
    }
    if (args.size() < 2) {
        std::fputs("talpor-capas: lo usan el programa Talpor y talpor-lote para leer capas\n", stderr);
        return 2;
    }
    RunJob(args, other);
    // Everything is closed and said: no library's teardown is waited for.
    ::_exit(0);
}

std::string EncodeLimits(const LayerLimits& limits) {
    std::string text = EncodeRecord({std::to_string(limits.featureVertices), std::to_string(limits.features),
                                     std::to_string(limits.vertices), std::to_string(limits.perByte),
                                     std::to_string(limits.kmlBytes)});
    text.pop_back();
    return text;
}

Record RecordOf(const LayerInfo& l) {
    return {"capa",
            l.name,
            l.geometry,
            l.system,
            std::to_string(l.features),
            std::to_string(l.vertices),
            l.direction ? std::to_string(static_cast<int>(*l.direction)) : "-",
            std::to_string(l.epsg),
            std::to_string(l.zone)};
}

LayerInfo InfoOf(const Record& r) {
    LayerInfo l;
    if (r.size() < 7) return l;
    l.name = Shown(r[1]), l.geometry = r[2], l.system = Shown(r[3]);
    l.features = Number(r[4]), l.vertices = Number(r[5]);
    if (r[6] != "-") l.direction = static_cast<core::Direction>(Number(r[6]));
    if (r.size() >= 9) l.epsg = static_cast<int>(Number(r[7])), l.zone = static_cast<int>(Number(r[8]));
    return l;
}

std::vector<Record> RecordsOf(const LayerSummary& s) {
    std::vector<Record> records;
    for (std::size_t i = 0; i < s.layers.size(); ++i) {
        const LayerReport& r = s.layers[i];
        const std::string layer = std::to_string(i);
        records.push_back({"informe", r.name, r.from, r.to, std::to_string(r.features), std::to_string(r.vertices),
                           std::to_string(r.zone), std::to_string(r.outsideBand), std::to_string(r.withoutHeight),
                           std::to_string(r.withoutGeometry), std::to_string(r.unread), std::to_string(r.recoded),
                           std::to_string(r.replaced), r.cad ? "1" : "0", r.way, r.unchanged ? "1" : "0"});
        if (r.skipped) records.push_back({"omitida", layer});
        for (std::int64_t id : r.leftOut) records.push_back({"dejada", layer, std::to_string(id)});
        for (std::int64_t id : r.droppedWithoutGeometry)
            records.push_back({"sin-geometria", layer, std::to_string(id), r.droppedBy});
        for (const std::string& name : r.notKept) records.push_back({"sin-guardar", layer, name});
        for (const auto& [from, to] : r.renamed) records.push_back({"renombrado", layer, from, to});
        for (const std::string& change : r.changes) records.push_back({"cambio", layer, change});
    }
    for (const tables::RowError& n : s.notes) records.push_back({"aviso", std::to_string(n.line), n.message});
    for (const tables::RowError& e : s.errors) records.push_back({"error", std::to_string(e.line), e.message});
    records.push_back({"cuentas", std::to_string(s.noted), std::to_string(s.failed), s.output});
    return records;
}

void AddRecord(LayerSummary& s, const Record& r) {
    const auto layer = [&]() -> LayerReport* {
        const auto i = static_cast<std::size_t>(Number(r[1]));
        return i < s.layers.size() ? &s.layers[i] : nullptr;
    };
    if (r[0] == "informe" && r.size() >= 16) {
        LayerReport l;
        l.name = Shown(r[1]), l.from = r[2], l.to = r[3];
        l.features = Number(r[4]), l.vertices = Number(r[5]), l.zone = static_cast<int>(Number(r[6]));
        l.outsideBand = Number(r[7]), l.withoutHeight = Number(r[8]), l.withoutGeometry = Number(r[9]);
        l.unread = Number(r[10]), l.recoded = Number(r[11]), l.replaced = Number(r[12]), l.cad = r[13] == "1";
        l.way = r[14], l.unchanged = r[15] == "1";
        s.layers.push_back(std::move(l));
    } else if (r[0] == "dejada" && r.size() >= 3 && layer()) {
        layer()->leftOut.push_back(Number(r[2]));
    } else if (r[0] == "omitida" && r.size() >= 2 && layer()) {
        layer()->skipped = true;
    } else if (r[0] == "sin-geometria" && r.size() >= 4 && layer()) {
        layer()->droppedWithoutGeometry.push_back(Number(r[2]));
        layer()->droppedBy = r[3];
    } else if (r[0] == "sin-guardar" && r.size() >= 3 && layer()) {
        layer()->notKept.push_back(Shown(r[2]));
    } else if (r[0] == "cambio" && r.size() >= 3 && layer()) {
        layer()->changes.push_back(Shown(r[2]));
    } else if (r[0] == "renombrado" && r.size() >= 4 && layer()) {
        layer()->renamed.emplace_back(Shown(r[2]), Shown(r[3]));
    } else if ((r[0] == "aviso" || r[0] == "error") && r.size() >= 3) {
        (r[0] == "aviso" ? s.notes : s.errors).push_back({static_cast<std::uint64_t>(Number(r[1])), Shown(r[2])});
    } else if (r[0] == "cuentas" && r.size() >= 4) {
        s.noted = static_cast<std::uint64_t>(Number(r[1]));
        s.failed = static_cast<std::uint64_t>(Number(r[2]));
        s.output = r[3];
    }
}

}  // namespace layers
