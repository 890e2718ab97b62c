// The command line of talpor-lote: its options, its help and its version line.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "batch/Stream.h"

namespace batch {

struct CommandLine {
    Settings settings;
    std::string input = "-";   // a file, or "-" for standard input
    std::string output = "-";  // a file, or "-" for standard output
    bool help = false;
    bool version = false;
};

// A command line that cannot be run; the message is Spanish and names the option.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads the arguments (argv without the program's name). Options take their value as
// "--metodo=helmert", "--metodo helmert", "-m helmert" or "-mhelmert"; "--" ends the
// options; "-" is standard input or output. Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The Spanish help: synopsis, every option, the point forms read, exit status, examples.
std::string HelpText();

// "talpor-lote 0.1 (Talpor)", one line.
std::string VersionLine();

}  // namespace batch
