#include "tests/shell/program_copy.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace kv::testing {

ProgramCopy::ProgramCopy(const std::string& program) : program_(File("kalorivox")) {
    std::error_code error;
    copied_ = std::filesystem::copy_file(program, program_, error) && !error;
}

ProgramCopy::~ProgramCopy() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

bool ProgramCopy::Launch(const std::string& leakSuppressions) {
    char* argv[] = {program_.data(), nullptr};
    std::vector<std::string> variables;
    for (char** v = environ; *v != nullptr; ++v) {
        const std::string variable = *v;
        if (variable.rfind("QT_QPA_PLATFORM=", 0) != 0 && variable.rfind("LSAN_OPTIONS=", 0) != 0) {
            variables.push_back(variable);
        }
    }
    variables.push_back("QT_QPA_PLATFORM=offscreen");
    variables.push_back("LSAN_OPTIONS=print_suppressions=0:suppressions=" + leakSuppressions);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, program_.c_str(), nullptr, nullptr, argv, envp.data()) == 0) return true;
    pid_ = -1;
    return false;
}

bool ProgramCopy::Signal(int signal) const {
    return pid_ > 0 && kill(pid_, signal) == 0;
}

bool ProgramCopy::Ended(int& status) {
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = -1;
    return true;
}

int ProgramCopy::WaitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (!Ended(status)) {
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status;
}

}  // namespace kv::testing
