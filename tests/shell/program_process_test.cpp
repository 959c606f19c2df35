// The real program on the Qt toolkit, as a user runs it: a copy of the executable alone in
// a folder, the demonstration bus chosen and logging on in its settings file, ended with
// SIGTERM as a logout or `kill` would.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Generous bounds: the machine is shared and the suite also runs under sanitizers.
constexpr auto LogLimit = std::chrono::seconds(30);
constexpr auto ExitLimit = std::chrono::seconds(15);
constexpr size_t DemoDevices = 4;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The ROM codes of complete log lines ("[date time]  ROM  —  value °C" CR LF).
std::set<std::string> LoggedRoms(const std::string& log) {
    std::set<std::string> roms;
    for (size_t at = 0; (at = log.find("]  ", at)) != std::string::npos;) {
        const size_t dash = log.find("  \xE2\x80\x94  ", at);
        const size_t end = log.find("\r\n", at);
        if (dash == std::string::npos || end == std::string::npos || dash > end) break;
        roms.insert(log.substr(at + 3, dash - at - 3));
        at = end;
    }
    return roms;
}

class RunningProgram : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef KALORIVOX_PROGRAM
        GTEST_SKIP() << "built without the Qt program";
#else
        std::string pattern = (fs::temp_directory_path() / "kv-program-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        program_ = folder_ / "kalorivox";
        fs::copy_file(KALORIVOX_PROGRAM, program_);
#endif
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }

    void Launch() {
        // Started from elsewhere: the program must find its own folder by itself.
        const std::string path = program_.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        std::vector<std::string> variables;
        for (char** v = environ; *v != nullptr; ++v) {
            const std::string variable = *v;
            if (variable.rfind("QT_QPA_PLATFORM=", 0) != 0 &&
                variable.rfind("LSAN_OPTIONS=", 0) != 0) {
                variables.push_back(variable);
            }
        }
        variables.push_back("QT_QPA_PLATFORM=offscreen");
        variables.push_back(std::string("LSAN_OPTIONS=print_suppressions=0:suppressions=") +
                            KALORIVOX_LEAK_SUPPRESSIONS);
        std::vector<char*> envp;
        for (std::string& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    }

    // Waits for the exit; returns the raw wait status or -1 when the limit passed.
    int WaitForExit() {
        const auto deadline = Clock::now() + ExitLimit;
        while (Clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    fs::path folder_;
    fs::path program_;
    pid_t pid_ = -1;
};

TEST_F(RunningProgram, LogsEveryDemoThermometerAndEndsCleanlyOnSigterm) {
    {
        std::ofstream ini(folder_ / "Kalorivox.ini", std::ios::binary);
        ini << "Port = DEMO\r\nInterval = 1\r\nLog = 1\r\n";
    }
    const auto started = Clock::now();
    Launch();
    const fs::path logPath = folder_ / "DS18B20_Kalorivox.log";
    bool allLogged = false;
    while (!allLogged && Clock::now() - started < LogLimit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        allLogged = LoggedRoms(Read(logPath)).size() >= DemoDevices;
        int status = 0;
        ASSERT_NE(waitpid(pid_, &status, WNOHANG), pid_) << "the program ended by itself";
    }
    ASSERT_TRUE(allLogged) << Read(logPath);
    const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();
    RecordProperty("seconds_to_four_logged_thermometers", std::to_string(seconds));
    std::printf("all four thermometers logged %.2f s after the start\n", seconds);

    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    const int status = WaitForExit();
    ASSERT_NE(status, -1) << "no exit after SIGTERM";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string log = Read(logPath);
    ASSERT_GT(log.size(), 3u);
    EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << "the last line is complete";
    size_t lines = 0;
    for (size_t at = 3; at < log.size(); ++lines) {
        const size_t end = log.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = log.substr(at, end - at);
        EXPECT_EQ(line.size() > 24 ? line.substr(21, 2) : "", "  ") << line;
        EXPECT_NE(line.find(" \xC2\xB0"
                            "C"),
                  std::string::npos)
            << line;
        at = end + 2;
    }
    EXPECT_EQ(LoggedRoms(log).size(), DemoDevices);
    EXPECT_GE(lines, DemoDevices);

    std::vector<std::string> keys;
    std::istringstream settings(Read(folder_ / "Kalorivox.ini"));
    for (std::string line; std::getline(settings, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line == "\xEF\xBB\xBF") continue;
        keys.push_back(line.substr(0, line.find(" = ")));
        if (keys.back() == "Port") {
            EXPECT_EQ(line, "Port = DEMO");
        } else if (keys.back() == "Log") {
            EXPECT_EQ(line, "Log = 1");
        }
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Port", "Interval", "ThermoControl", "ConvertOnly",
                                              "ThermoMin", "ThermoMax", "Log", "CPU_MinUsage",
                                              "Invert"}));
}

}  // namespace
