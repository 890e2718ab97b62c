// talpor-capas, the process that reads layers through GDAL for the window and for
// talpor-lote, and what passes between it and them.
//
// The calling process starts it with what to do, the input, the settings and the limits
// as arguments, and reads its answers from a pipe: one record a line, fields between tabs
// (a tab, a line end and a backslash inside a field escaped as \t, \n and \\). While it
// works it says how many features it has read, and that is what the caller measures it
// by: a worker that reads none for too long, grows past its memory, or ends without its
// last record, is stopped and said so in one sentence.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "layers/Layers.h"

namespace layers {

using Record = std::vector<std::string>;

// One line of the protocol (with its line end), and back.
std::string EncodeRecord(const Record& record);
Record DecodeRecord(std::string_view line);

// The settings a worker runs with, as one argument (the grids are the worker's own,
// opened from the folders the calling process gives).
std::string EncodeSettings(const tables::Settings& settings);
tables::Settings DecodeSettings(std::string_view text);

// The limits a worker counts by (LayerLimits' counts; the memory and the time are the
// caller's to watch), as one argument.
std::string EncodeLimits(const LayerLimits& limits);

// What a worker answers, record by record: a layer of LayersOf, and a run's summary.
Record RecordOf(const LayerInfo& layer);
LayerInfo InfoOf(const Record& record);
std::vector<Record> RecordsOf(const LayerSummary& summary);
// Adds a record of RecordsOf to `summary`, in the order they came.
void AddRecord(LayerSummary& summary, const Record& record);

// A worker at work: started by the constructor, stopped (killed, and waited for) by the
// destructor unless it ended.
class LayerWorker {
  public:
    // Starts talpor-capas with `arguments`; `table` (>= 0) becomes its descriptor 3, where
    // it writes a table. Throws RunError when it cannot be started.
    LayerWorker(const std::vector<std::string>& arguments, int table);
    ~LayerWorker();
    LayerWorker(const LayerWorker&) = delete;
    LayerWorker& operator=(const LayerWorker&) = delete;

    // Reads the worker's records until its last one ("fin") and its end: `record` is
    // given each one but the progress ("leidas", given to `progress`). `progress` is also
    // called at least ten times a second, so that a window stays alive; what it throws
    // stops the worker and comes out here. Throws RunError when the worker goes without a
    // feature read beyond `limits`' time, grows beyond their memory, crashes or ends
    // without its last record, and for the RunError it reports.
    void Wait(const LayerLimits& limits, std::int64_t inputBytes, const std::function<void(const Record&)>& record,
              const LayerProgress& progress);

  private:
    void Spawn(const std::vector<std::string>& arguments, int table, bool kept);
    bool SendJob(const std::vector<std::string>& arguments);
    void Stop();  // kills it and closes its pipes
    pid_t pid_ = -1;
    int from_ = -1;  // the pipe the worker writes its records to
    int errors_ = -1;  // its standard error
    int to_ = -1;      // a kept worker's jobs
    bool kept_ = false;
    bool ended_ = false;
    std::string failed_;  // how its failures begin: "no se puede leer como capa: "
};

// While one lives, the workers the calling thread starts are kept between jobs: a job
// that ends well leaves its worker waiting for the next (GDAL's start-up, a tenth of a
// second, paid once a thread rather than once a file); a job stopped, failed by the worker
// itself or grown large ends it as ever. The kept worker is stopped with it.
class KeepWorkers {
  public:
    KeepWorkers();
    ~KeepWorkers();
    KeepWorkers(const KeepWorkers&) = delete;
    KeepWorkers& operator=(const KeepWorkers&) = delete;
};

// A job of talpor-capas other than reading or converting layers (an image's): given its
// arguments (the job's name, the input, then the options), the settings with their grids
// open, and where to send its records; throws RunError.
using WorkerJob = std::function<void(const std::vector<std::string>& args, const tables::Settings& settings,
                                     const std::function<void(const Record&)>& send)>;

// The program talpor-capas: reads its arguments, does the work (`other` for a job it does
// not know) and writes its records to standard output. Its exit status is 0 when it wrote
// its last record.
int LayerWorkerMain(int argc, char** argv, const WorkerJob& other = {});

// A signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT) that arrived while a worker was waited for:
// the worker is stopped and the output removed as the exception unwinds; the process
// then ends as the signal says (ResendSignal).
struct Interrupted {
    int signal;
};
[[noreturn]] void ResendSignal(int signal);

}  // namespace layers
