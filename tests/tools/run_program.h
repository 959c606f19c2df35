// Runs a program to its end with its output captured, killing it if it runs too long.
#pragma once
#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace kv::test {

struct ProgramRun {
    int status = -1;  // exit status, -1 when it did not exit normally
    bool timedOut = false;
    std::string out, err;
};

ProgramRun RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

// The whole of a file a program wrote; empty when it cannot be read.
std::string FileText(const std::string& path);

// A program left running, such as a server, with the first line it printed (empty when it
// printed none within the limit, for example because it failed at once). It is stopped at
// the latest when this goes, so that a failed assertion leaves no server behind.
struct BackgroundProgram;
// SIGTERM, then its exit status (-1 when it did not exit normally or never started).
int StopProgram(BackgroundProgram& program);

struct BackgroundProgram {
    int pid = -1;
    std::string firstLine;

    BackgroundProgram() = default;
    BackgroundProgram(BackgroundProgram&& other) noexcept
        : pid(std::exchange(other.pid, -1)), firstLine(std::move(other.firstLine)) {}
    BackgroundProgram& operator=(BackgroundProgram&&) = delete;
    ~BackgroundProgram() { StopProgram(*this); }
};
BackgroundProgram StartProgram(const std::vector<std::string>& argv,
                               std::chrono::milliseconds limit);
// A program whose standard output and error go to files, for a test to read while it runs;
// no first line is awaited.
BackgroundProgram StartProgramWithOutput(const std::vector<std::string>& argv,
                                         const std::string& outPath, const std::string& errPath);

}  // namespace kv::test
