// A program run by a benchmark, measured from outside: its time on the clock and its peak
// memory, as a user's shell would see them.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time, its waited-for children included
    long maxRssKb = 0;  // of the largest process it started, itself included
    int status = -1;    // its exit status; 128 + the signal that ended it
};

// Runs `args` (the program first, looked up in PATH) with standard input, output and error
// from and to the files named ("/dev/null" for none).
Sample Run(const std::vector<std::string>& args, const std::string& in, const std::string& out, const std::string& errors);

// Runs `work` in a child process, whose exit status it returns: what GDAL takes there
// stays out of the benchmark's process, whose peak memory (a spawned program starts with
// it) would otherwise count in the programs' figures.
int InChild(const std::function<int()>& work);

// The whole text of the file at `path`; "" when it cannot be read.
std::string Text(const std::string& path);
