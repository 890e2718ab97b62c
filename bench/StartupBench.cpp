// Start-up cost of the Talpor window against an empty Qt main window started the same
// way in the same run: time from process start to the first paint of the window, and
// peak resident memory of the whole process. A main window showing one label is
// measured too: it separates what any window with text costs (fonts, glyphs) from
// what Talpor's own controls cost. Runs rotate between the programs; medians compared.
// A program that has not shown its window 20 s after its start is killed, and the
// benchmark fails instead of waiting for it.
//
//   startup_bench <talpor> <empty_window> [runs]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr auto kTimeout = std::chrono::seconds(20);  // from the start to the first paint

struct Sample {
    double ms = 0;       // process start to first paint
    long maxRssKb = 0;   // peak resident set
};

std::vector<std::string> ChildEnvironment(const std::string& home) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string v = *e;
        for (const char* drop : {"LC_ALL=", "LC_NUMERIC=", "LC_MONETARY=", "LANG=", "QT_QPA_PLATFORM=",
                                 "XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR="})
            if (v.rfind(drop, 0) == 0) v.clear();
        if (!v.empty()) env.push_back(v);
    }
    env.push_back("LANG=es_ES.UTF-8");
    // On the display when there is one (an X server, real or virtual), else offscreen.
    const char* display = std::getenv("DISPLAY");
    env.push_back(display != nullptr && *display != '\0' ? "QT_QPA_PLATFORM=xcb" : "QT_QPA_PLATFORM=offscreen");
    env.push_back("XDG_CONFIG_HOME=" + home);
    env.push_back("XDG_RUNTIME_DIR=" + home);
    return env;
}

bool Run(const std::string& exe, const std::vector<std::string>& args,
         const std::vector<std::string>& env, Sample& out) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFd[1]);
    if (rc != 0) {
        close(pipeFd[0]);
        return false;
    }
    std::string output;
    char buffer[256];
    bool shown = false;
    bool timedOut = false;
    const auto deadline = start + kTimeout;
    while (!shown) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{pipeFd[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) == 0) {
            timedOut = true;
            break;
        }
        const ssize_t n = read(pipeFd[0], buffer, sizeof buffer);
        if (n <= 0) break;  // the program ended or closed its output without showing
        output.append(buffer, static_cast<std::size_t>(n));
        if (output.find("shown\n") != std::string::npos) {
            shown = true;
            out.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
    }
    close(pipeFd[0]);
    if (timedOut) {
        std::fprintf(stderr, "startup_bench: %s showed no window within %lld s, killed\n", exe.c_str(),
                     static_cast<long long>(kTimeout.count()));
        kill(pid, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    out.maxRssKb = usage.ru_maxrss;
    return shown && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Min(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

// One program's line: time and peak memory, median and minimum.
void Line(const char* name, const std::vector<double>& ms, const std::vector<double>& kb) {
    std::printf("  %-21s: %7.1f ms (min %6.1f)  %6.1f MB peak (min %5.1f)\n", name, Median(ms),
                Min(ms), Median(kb) / 1024, Min(kb) / 1024);
}

// The machine's load average over 1, 5 and 15 minutes: the figures are comparable only
// between quiet runs.
std::string LoadAverage() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3) return "unknown";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <talpor> <empty_window> [runs]\n", argv[0]);
        return 2;
    }
    int runs = argc > 3 ? std::atoi(argv[3]) : 15;
    char home[] = "/tmp/talpor-bench-XXXXXX";
    if (mkdtemp(home) == nullptr) return 2;
    std::vector<std::string> env = ChildEnvironment(home);

    std::vector<double> talporMs, emptyMs, labelMs, talporKb, emptyKb, labelKb;
    for (int i = 0; i < runs + 1; ++i) {
        Sample t, e, l;
        // Rotate the order, so that no program always runs right after another.
        bool ok = true;
        for (int k = 0; k < 3 && ok; ++k) {
            switch ((i + k) % 3) {
                case 0: ok = Run(argv[1], {"--exit-when-shown"}, env, t); break;
                case 1: ok = Run(argv[2], {}, env, e); break;
                default: ok = Run(argv[2], {"--with-label"}, env, l); break;
            }
        }
        if (!ok) {
            std::fprintf(stderr, "startup_bench: a program did not show its window\n");
            return 1;
        }
        if (i == 0) continue;  // warm-up: file cache, font cache
        talporMs.push_back(t.ms);
        emptyMs.push_back(e.ms);
        labelMs.push_back(l.ms);
        talporKb.push_back(static_cast<double>(t.maxRssKb));
        emptyKb.push_back(static_cast<double>(e.maxRssKb));
        labelKb.push_back(static_cast<double>(l.maxRssKb));
    }
    std::string cleanup = std::string("rm -rf ") + home;
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", home);

    double tMs = Median(talporMs), eMs = Median(emptyMs);
    double tKb = Median(talporKb), eKb = Median(emptyKb);
    double lMs = Median(labelMs), lKb = Median(labelKb);
    const char* display = std::getenv("DISPLAY");
    std::printf("Start-up to first paint (%s, median and minimum of %d runs; load average %s)\n",
                display != nullptr && *display != '\0' ? "X11 display" : "offscreen", runs,
                LoadAverage().c_str());
    Line("empty Qt main window", emptyMs, emptyKb);
    Line("main window, 1 label", labelMs, labelKb);
    Line("Talpor window", talporMs, talporKb);
    std::printf("  Talpor / empty window:  time %.2f (minima %.2f)  memory %.2f (minima %.2f)\n",
                tMs / eMs, Min(talporMs) / Min(emptyMs), tKb / eKb, Min(talporKb) / Min(emptyKb));
    std::printf("  Talpor / window with a label:  time %.2f (minima %.2f, goal <= 1.30)"
                "  memory %.2f (minima %.2f, goal <= 1.15)\n",
                tMs / lMs, Min(talporMs) / Min(labelMs), tKb / lKb, Min(talporKb) / Min(labelKb));
    return 0;
}
