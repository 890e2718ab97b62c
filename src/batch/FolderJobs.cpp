// The files of a run over several files converted side by side: each in a thread of its
// own (a layer's or an image's in its worker process), the calling thread left to say how
// the run goes and to stop it.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <optional>
#include <thread>

#include "batch/FolderRun.h"
#include "layers/LayerWorker.h"

namespace batch {
namespace {

// Thrown by a file's progress once the run stops: the file ends with nothing of it left.
struct Stopped {};

// A thread of the run and the file it converts, if any (under the run's lock).
struct Converter {
    std::thread thread;
    std::optional<std::size_t> file;
    bool done = false;     // its file has ended
    bool stopped = false;  // ended by the stop, nothing of it written
    std::atomic<std::uint64_t> count{0};
};

// The files' states.
enum : char { kWaiting, kGoing, kEnded, kStopped };

}  // namespace

std::optional<FolderStop> ConvertFiles(FolderRun& run, core::Grids& grids, int jobs, const FolderWatch& watch) {
    std::vector<FolderFile>& files = run.Files();
    if (jobs <= 0) jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    jobs = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(jobs), std::max<std::size_t>(files.size(), 1)));
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable someEnded, work;
    bool closing = false;
    std::vector<std::unique_ptr<Converter>> converters;
    std::vector<char> state(files.size(), kWaiting);
    std::size_t next = 0, told = 0, ended = 0;
    std::uint64_t aloneCount = 0;
    std::optional<std::size_t> alone;
    FolderStop why;
    // The workers of layers and images this thread starts (files converted alone) are kept
    // from one file to the next, as each converter's are.
    const layers::KeepWorkers keep;

    const auto busy = [&] {
        return std::any_of(converters.begin(), converters.end(), [](const auto& c) { return c->file.has_value(); });
    };
    const auto tell = [&] {
        for (; told < files.size() && state[told] == kEnded; ++told)
            if (watch.ended) watch.ended(told);
    };
    const auto tick = [&] {
        if (stop) return;
        try {
            if (tables::DeferringSignals() && tables::PendingSignal() != 0) throw layers::Interrupted{tables::PendingSignal()};
            if (!watch.tick) return;
            std::vector<std::size_t> underWay;
            std::vector<std::uint64_t> counts;
            {
                const std::lock_guard hold(lock);
                for (const auto& c : converters)
                    if (c->file && !c->done) underWay.push_back(*c->file), counts.push_back(c->count);
            }
            if (alone) underWay.push_back(*alone), counts.push_back(aloneCount);
            watch.tick(underWay, ended, counts);
        } catch (const layers::Interrupted& i) {
            why.signal = i.signal;
            stop = true;
        } catch (...) {
            why.thrown = std::current_exception();
            stop = true;
        }
    };
    // What escapes Convert besides the stop is the file's own failure.
    const auto convert = [&](std::size_t i, core::Grids* own, const FileProgress& progress, const layers::ReplaceQuestion& replace) {
        try {
            run.Convert(i, own, progress, replace);
        } catch (const Stopped&) {
            return false;
        } catch (const layers::Interrupted&) {
            return false;
        } catch (const std::bad_alloc&) {
            files[i].refused = "no hay memoria suficiente";
        } catch (const std::exception& e) {
            files[i].refused = "error interno «" + std::string(e.what()) + "»";
        }
        return true;
    };
    const auto reap = [&] {
        const std::lock_guard hold(lock);
        for (const auto& c : converters) {
            if (!c->file || !c->done) continue;
            state[*c->file] = c->stopped ? kStopped : kEnded;
            ended += !c->stopped;
            if (c->stopped) why.underWay.push_back(*c->file);
            c->file.reset();
            c->done = false;
        }
    };
    const auto wait = [&] {
        std::unique_lock hold(lock);
        someEnded.wait_for(hold, std::chrono::milliseconds(100), [&] {
            return std::any_of(converters.begin(), converters.end(), [](const auto& c) { return c->done; });
        });
    };
    // The converters: each with grids of its own (the grids are not for concurrent use) and
    // its workers kept from file to file.
    const auto body = [&](Converter* self) {
        const layers::KeepWorkers kept;
        core::Grids own(grids.DataFolder(), grids.UserFolder());
        std::unique_lock hold(lock);
        while (true) {
            work.wait(hold, [&] { return closing || (self->file && !self->done); });
            if (!(self->file && !self->done)) return;
            const std::size_t i = *self->file;
            hold.unlock();
            const bool whole = convert(i, &own, [&](std::uint64_t count, int) {
                if (stop) throw Stopped{};
                self->count = count;
            }, {});
            hold.lock();
            self->done = true;
            self->stopped = !whole;
            someEnded.notify_one();
        }
    };

    while (true) {
        reap();
        tell();
        if (stop || next == files.size()) {
            if (!busy()) break;
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
            if (busy()) {
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
        Converter* idle = nullptr;
        {
            const std::lock_guard hold(lock);
            for (const auto& c : converters)
                if (!c->file) idle = c.get();
            if (idle == nullptr && converters.size() < static_cast<std::size_t>(jobs)) {
                idle = converters.emplace_back(std::make_unique<Converter>()).get();
                idle->thread = std::thread(body, idle);
            }
            if (idle != nullptr) {
                idle->file = i;
                idle->count = 0;
                state[i] = kGoing;
                ++next;
            }
        }
        if (idle == nullptr) {
            wait();
        } else {
            work.notify_all();
        }
        tick();
    }
    {
        const std::lock_guard hold(lock);
        closing = true;
    }
    work.notify_all();
    for (const auto& c : converters) c->thread.join();
    run.Tidy();
    // Past a stopped file, the files that ended before the stop are said too.
    for (std::size_t i = told; i < files.size(); ++i)
        if (state[i] == kEnded && watch.ended) watch.ended(i);
    if (!stop) return std::nullopt;
    std::sort(why.underWay.begin(), why.underWay.end());
    why.notStarted = files.size() - next;
    return why;
}

TimeLeft::TimeLeft(const FolderRun& run) {
    for (const FolderFile& f : run.Files()) {
        std::uint64_t bytes = 1;
        for (const std::string& part : layers::LayerFiles(f.input)) {
            struct stat st {};
            if (::stat(part.c_str(), &st) == 0) bytes += static_cast<std::uint64_t>(st.st_size);
        }
        all_ += bytes_.emplace_back(bytes);
    }
}

void TimeLeft::Ended(std::size_t i) { ended_ += bytes_.at(i); }

std::string TimeLeft::Text() const {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (seconds < 10 || ended_ == 0 || ended_ >= all_) return {};
    const double left = seconds * static_cast<double>(all_ - ended_) / static_cast<double>(ended_);
    if (left < 60) return "; queda menos de un minuto";
    if (left < 3600) return "; quedan unos " + std::to_string(static_cast<long long>(left / 60 + 0.5)) + " min";
    return "; quedan unas " + std::to_string(static_cast<long long>(left / 3600 + 0.5)) + " h";
}

std::string StopText(const FolderRun& run, const FolderStop& stop) {
    std::vector<std::string> names;
    for (std::size_t i : stop.underWay) names.push_back(run.Files()[i].shown);
    const std::string more = tables::Count(stop.notStarted, "fichero más", "ficheros más");
    if (names.empty()) return "no se han convertido " + more;
    return "no se ha escrito nada de " + layers::NameList(names) +
           (names.size() == 1 ? ", que se estaba convirtiendo" : ", que se estaban convirtiendo") +
           (stop.notStarted > 0 ? ", ni de " + more : std::string());
}

}  // namespace batch
