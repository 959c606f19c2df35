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

}  // namespace kv::test
