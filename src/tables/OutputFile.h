// The destination of a batch conversion: standard output, or a file written under a
// temporary name in its own folder and renamed over it once complete, so that its name
// never holds half a conversion, even when the run is stopped (Ctrl+C, a kill) or fails.
// The input file is never the destination.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tables {

// A file's identity: the same file has the same device and inode under any name.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of an open file; nullopt when fstat fails.
std::optional<FileId> IdOf(int fd);
// The identity of the file at `path`, links followed; nullopt when there is none.
std::optional<FileId> IdOf(const std::string& path);

// Removes the temporary file of the OutputFile this process writes, and the temporary
// folder of its OutputFolder, if any, for a process that ends without running
// destructors (a signal, std::terminate). Safe in a signal handler.
void RemoveTemporaryOutput();

// While a worker process writes an OutputFolder's files, a signal that would end the
// process (Ctrl+C, a kill) only stops the worker and is kept for the caller, which
// leaves by unwinding (layers::Interrupted) so that the folder is removed outside the
// handler; a second such signal ends the process at once, removing what it can. Between
// DeferSignals and StopDeferringSignals, which nest: a run may defer them as a whole
// (worker -1) and each wait for a worker within it again.
void DeferSignals(pid_t worker);
void StopDeferringSignals(pid_t worker = -1);
// Whether signals are deferred: outside a worker's wait, whether the caller says itself
// what an interrupted run kept.
bool DeferringSignals();
// The signal kept, or 0.
int PendingSignal();

class OutputFile {
  public:
    // Opens `path` ("-": standard output). A regular file (existing or not) is written
    // as a temporary file ".NAME.XXXXXX" beside it, with the mode the file has (or would
    // get); a symbolic link is followed to the file it names; a device or a pipe is
    // written directly. Throws RunError when the destination is the input (`input`, same
    // device and inode), a folder, or cannot be created.
    OutputFile(const std::string& path, std::optional<FileId> input);
    // The same for an input made of several files (a shapefile's .shp, .dbf, ...).
    OutputFile(const std::string& path, const std::vector<FileId>& input);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless Commit ran.
    ~OutputFile();

    int Fd() const { return fd_; }

    // Closes the file and gives the temporary file its real name. Throws RunError.
    void Commit();

  private:
    std::string target_;     // the file to replace; "" for standard output or a device
    std::string temporary_;  // the temporary file; "" when written directly
    int fd_ = -1;
    bool committed_ = false;
    int slot_ = -1;  // where a signal finds the temporary file's name
};

// The destination of a layer, which GDAL writes as one file or several (a shapefile is
// five: NAME.shp, .shx, .dbf, .prj, .cpg): written in a temporary folder ".NAME.XXXXXX"
// beside it and moved into place once complete. A symbolic link is followed.
class OutputFolder {
  public:
    // Throws RunError when the destination is a folder or its folder cannot be written.
    // `temporaryOnly`: the destination is only a name, in the folder of temporary files
    // ($TMPDIR or /tmp), for a file that goes elsewhere (standard output) and is never
    // committed.
    explicit OutputFolder(const std::string& path, bool temporaryOnly = false);
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    // Removes the temporary folder and everything in it unless Commit ran.
    ~OutputFolder();

    // Where GDAL writes: the destination's name inside the temporary folder.
    const std::string& Path() const { return path_; }
    // The destination, links followed, and its folder.
    const std::string& Target() const { return target_; }
    std::string Destination() const;

    // The names of the files (and folders) written, as they will be in the destination's
    // folder; the destination's own name first when it was written.
    std::vector<std::string> Written() const;
    // Of those, the ones that belong to the destination named: itself and, for a
    // shapefile, the files of its name (.shx, .dbf, .prj, .cpg, ...).
    bool OfDestination(const std::string& name) const;

    // Moves every file written into the destination's folder, each replacing the file of
    // its name; of a shapefile replaced, the old files of its name that were not written
    // again (an index, a .qpj) are removed, as they would describe another file. Signals
    // wait until it is done, so that no shapefile is left half moved. Throws RunError.
    void Commit();

  private:
    std::string target_;  // the destination, links followed
    std::string folder_;  // the temporary folder
    std::string path_;
    bool committed_ = false;
    int slot_ = -1;  // where a signal finds the temporary folder's name
};

}  // namespace tables
