// Runs a program to its end with its output captured, killing it if it runs too long.
#pragma once
#include <chrono>
#include <string>
#include <vector>

namespace kv::test {

struct ProgramRun {
    int status = -1;       // exit status, -1 when it did not exit normally
    bool timedOut = false;
    std::string out, err;
};

ProgramRun RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

// A program left running, such as a server, with the first line it printed (empty when it
// printed none within the limit, for example because it failed at once).
struct BackgroundProgram {
    int pid = -1;
    std::string firstLine;
};
BackgroundProgram StartProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit);
// SIGTERM, then its exit status (-1 when it did not exit normally or never started).
int StopProgram(BackgroundProgram& program);

}  // namespace kv::test
