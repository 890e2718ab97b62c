// The files of a run over several files converted side by side: each in a thread of its
// own (a layer's or an image's in its worker process), the calling thread left to say how
// the run goes and to stop it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <thread>

#include "batch/FolderRun.h"

namespace batch {
namespace {

// Thrown by a file's progress once the run stops: the file ends with nothing of it left.
struct Stopped {};

// A file under way in a thread of its own.
struct UnderWay {
    std::size_t file = 0;
    std::thread thread;
    std::atomic<std::uint64_t> count{0};
    bool done = false;     // under the run's lock
    bool stopped = false;  // ended by the stop, nothing of it written
};

// The files' states.
enum : char { kWaiting, kGoing, kEnded, kStopped };

}  // namespace

std::optional<FolderStop> ConvertFiles(FolderRun& run, core::Grids& grids, int jobs, const FolderWatch& watch) {
    std::vector<FolderFile>& files = run.Files();
    if (jobs <= 0) jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable someEnded;
    std::list<UnderWay> going;
    std::vector<char> state(files.size(), kWaiting);
    std::size_t next = 0, told = 0, ended = 0;
    std::uint64_t aloneCount = 0;
    std::optional<std::size_t> alone;
    FolderStop why;

    const auto tell = [&] {
        for (; told < files.size() && state[told] == kEnded; ++told)
            if (watch.ended) watch.ended(told);
    };
    const auto tick = [&] {
        if (stop) return;
        try {
            if (DeferringSignals() && PendingSignal() != 0) throw Interrupted{PendingSignal()};
            if (!watch.tick) return;
            std::vector<std::size_t> underWay;
            std::vector<std::uint64_t> counts;
            for (const UnderWay& u : going) underWay.push_back(u.file), counts.push_back(u.count);
            if (alone) underWay.push_back(*alone), counts.push_back(aloneCount);
            watch.tick(underWay, ended, counts);
        } catch (const Interrupted& i) {
            why.signal = i.signal;
            stop = true;
        } catch (...) {
            why.thrown = std::current_exception();
            stop = true;
        }
    };
    // What escapes Convert besides the stop is the file's own failure.
    const auto convert = [&](std::size_t i, core::Grids* own, const FileProgress& progress, const ReplaceQuestion& replace) {
        try {
            run.Convert(i, own, progress, replace);
        } catch (const Stopped&) {
            return false;
        } catch (const Interrupted&) {
            return false;
        } catch (const std::bad_alloc&) {
            files[i].refused = "no hay memoria suficiente";
        } catch (const std::exception& e) {
            files[i].refused = "error interno «" + std::string(e.what()) + "»";
        }
        return true;
    };
    const auto reap = [&] {
        std::unique_lock hold(lock);
        for (auto u = going.begin(); u != going.end();) {
            if (!u->done) {
                ++u;
                continue;
            }
            hold.unlock();
            u->thread.join();
            hold.lock();
            state[u->file] = u->stopped ? kStopped : kEnded;
            ended += !u->stopped;
            if (u->stopped) why.underWay.push_back(u->file);
            u = going.erase(u);
        }
    };
    const auto wait = [&] {
        std::unique_lock hold(lock);
        someEnded.wait_for(hold, std::chrono::milliseconds(100), [&] {
            return std::any_of(going.begin(), going.end(), [](const UnderWay& u) { return u.done; });
        });
    };

    while (true) {
        reap();
        tell();
        if (stop || next == files.size()) {
            if (going.empty()) break;
            wait();
            tick();
            continue;
        }
        const std::size_t i = next;
        if (!files[i].refused.empty() || files[i].Converted()) {
            state[i] = kEnded;
            ++ended, ++next;
            continue;
        }
        if (run.Alone(i)) {
            // Alone, on this thread: its questions can be asked here.
            if (!going.empty()) {
                wait();
                tick();
                continue;
            }
            alone = i;
            aloneCount = 0;
            ++next;
            state[i] = kGoing;
            const bool whole = convert(i, &grids, [&](std::uint64_t count, int) {
                aloneCount = count;
                tick();
                if (stop) throw Stopped{};
            }, watch.replace);
            alone.reset();
            state[i] = whole ? kEnded : kStopped;
            ended += whole;
            if (!whole) why.underWay.push_back(i);
            continue;
        }
        if (going.size() >= static_cast<std::size_t>(jobs)) {
            wait();
            tick();
            continue;
        }
        UnderWay& u = going.emplace_back();
        u.file = i;
        state[i] = kGoing;
        ++next;
        u.thread = std::thread([&, slot = &u] {
            // Grids of its own: the grids are not for concurrent use.
            core::Grids own(grids.DataFolder(), grids.UserFolder());
            const bool whole = convert(slot->file, &own, [&](std::uint64_t count, int) {
                if (stop) throw Stopped{};
                slot->count = count;
            }, {});
            {
                const std::lock_guard hold(lock);
                slot->done = true;
                slot->stopped = !whole;
            }
            someEnded.notify_one();
        });
        tick();
    }
    run.Tidy();
    // Past a stopped file, the files that ended before the stop are said too.
    for (std::size_t i = told; i < files.size(); ++i)
        if (state[i] == kEnded && watch.ended) watch.ended(i);
    if (!stop) return std::nullopt;
    std::sort(why.underWay.begin(), why.underWay.end());
    why.notStarted = files.size() - next;
    return why;
}

std::string StopText(const FolderRun& run, const FolderStop& stop) {
    std::vector<std::string> names;
    for (std::size_t i : stop.underWay) names.push_back(run.Files()[i].shown);
    const std::string more = Count(stop.notStarted, "fichero más", "ficheros más");
    if (names.empty()) return "no se han convertido " + more;
    return "no se ha escrito nada de " + NameList(names) +
           (names.size() == 1 ? ", que se estaba convirtiendo" : ", que se estaban convirtiendo") +
           (stop.notStarted > 0 ? ", ni de " + more : std::string());
}

}  // namespace batch
