// The destination of a batch conversion: standard output, or a file written under a
// temporary name in its own folder and renamed over it once complete, so that its name
// never holds half a conversion, even when the run is stopped (Ctrl+C, a kill) or fails.
// The input file is never the destination.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace batch {

// A file's identity: the same file has the same device and inode under any name.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of an open file; nullopt when fstat fails.
std::optional<FileId> IdOf(int fd);

// Removes the temporary file of the OutputFile this process writes, if any, for a
// process that ends without running destructors (a signal, std::terminate). Safe in a
// signal handler.
void RemoveTemporaryOutput();

class OutputFile {
  public:
    // Opens `path` ("-": standard output). A regular file (existing or not) is written
    // as a temporary file ".NAME.XXXXXX" beside it, with the mode the file has (or would
    // get); a symbolic link is followed to the file it names; a device or a pipe is
    // written directly. Throws RunError when the destination is the input (`input`, same
    // device and inode), a folder, or cannot be created.
    OutputFile(const std::string& path, std::optional<FileId> input);
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
};

}  // namespace batch
