// The command line of talpor-lote: its options, its help and its version line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "batch/Stream.h"
#include "rasters/Rasters.h"

namespace batch {

struct CommandLine {
    tables::Settings settings;
    std::string input = "-";   // a file, or "-" for standard input; the first of `inputs`
    std::string output = "-";  // a file, or "-" for standard output; the output folder of a run over several
    // Every input given. A folder, or more than one input, make a run over several files
    // into the folder `output` (batch/FolderRun.h).
    std::vector<std::string> inputs = {"-"};
    bool several = false;
    // The options as given, the destination's left out: a run over several files reads
    // each file with them, as talpor-lote reads one.
    std::vector<std::string> options;
    bool help = false;
    bool version = false;
    // Files converted at once by a run over several (-j); 0: one a core.
    int jobs = 0;
    // An image's: the tolerance, the resampling, a cloud-optimised GeoTIFF.
    rasters::RasterOptions raster;
};

// A command line that cannot be run; the message is Spanish and names the option.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads the arguments (argv without the program's name). Options take their value as
// "--metodo=helmert", "--metodo helmert", "-m helmert" or "-mhelmert"; "--" ends the
// options; "-" is standard input or output. The words that are no options are ENTRADA
// [SALIDA], or, with -o, the inputs alone; a folder among them is looked up on the disk.
// Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// What a user can add for a file refused for `missing` to go: "; indique el huso con
// --huso (29, 30 o 31)"; "" for nothing.
std::string_view MissingHint(tables::Missing missing);

// The Spanish help: synopsis, every option, the point forms read, exit status, examples.
std::string HelpText();

// "talpor-lote 0.1 (Talpor)", one line.
std::string VersionLine();

}  // namespace batch
