// The real program on the Qt toolkit, as a user runs it: a copy of the executable alone in
// a folder, the demonstration bus chosen and logging on in its settings file, ended with
// SIGTERM as a logout or `kill` would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/shell/program_copy.h"

namespace {

using Clock = std::chrono::steady_clock;
using kv::testing::ReadBytes;

// Generous bounds: the machine is shared and the suite also runs under sanitizers.
constexpr auto LogLimit = std::chrono::seconds(30);
constexpr auto ExitLimit = std::chrono::seconds(15);
constexpr size_t DemoDevices = 4;

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
        program_ = std::make_unique<kv::testing::ProgramCopy>(KALORIVOX_PROGRAM);
        ASSERT_TRUE(program_->copied());
#endif
    }

    void Launch() {
#ifdef KALORIVOX_PROGRAM
        ASSERT_TRUE(program_->Launch(KALORIVOX_LEAK_SUPPRESSIONS));
#endif
    }

    std::unique_ptr<kv::testing::ProgramCopy> program_;
};

TEST_F(RunningProgram, LogsEveryDemoThermometerAndEndsCleanlyOnSigterm) {
    {
        std::ofstream ini(program_->File("Kalorivox.ini"), std::ios::binary);
        ini << "Port = DEMO\r\nInterval = 1\r\nLog = 1\r\n";
    }
    const auto started = Clock::now();
    Launch();
    const std::string logPath = program_->File("DS18B20_Kalorivox.log");
    bool allLogged = false;
    while (!allLogged && Clock::now() - started < LogLimit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        allLogged = LoggedRoms(ReadBytes(logPath)).size() >= DemoDevices;
        int status = 0;
        ASSERT_FALSE(program_->Ended(status)) << "the program ended by itself";
    }
    ASSERT_TRUE(allLogged) << ReadBytes(logPath);
    const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();
    RecordProperty("seconds_to_four_logged_thermometers", std::to_string(seconds));
    std::printf("all four thermometers logged %.2f s after the start\n", seconds);

    ASSERT_TRUE(program_->Signal(SIGTERM));
    const int status = program_->WaitForExit(ExitLimit);
    ASSERT_NE(status, -1) << "no exit after SIGTERM";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string log = ReadBytes(logPath);
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
    std::istringstream settings(ReadBytes(program_->File("Kalorivox.ini")));
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
