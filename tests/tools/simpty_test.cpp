// kalorivox-simpty's command line: what it refuses, and the link it may put beside the
// terminal.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "run_program.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
// Far above what a start takes; only a tool that kept running reaches it.
constexpr auto HangLimit = 10s;

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/kv-simpty-XXXXXX";
        if (::mkdtemp(pattern)) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const char* name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string LinkTarget(const std::string& path) {
    char target[256] = {};
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

TEST(SimPtyTool, LinkReplacesAnEarlierLinkButNeverAFile) {
    TempDir dir;
    const std::string file = dir.file("bus"), stale = dir.file("stale");
    std::ofstream(file) << "the user's own data\n";
    auto refused = test::StartProgram({KV_SIMPTY_PATH, "--link", file}, HangLimit);
    EXPECT_EQ(refused.firstLine, "");
    EXPECT_EQ(test::StopProgram(refused), 1);
    EXPECT_EQ(test::FileText(file), "the user's own data\n");

    ASSERT_EQ(::symlink("/dev/pts/kv-gone", stale.c_str()), 0);  // left by a killed run
    auto server = test::StartProgram({KV_SIMPTY_PATH, "--empty", "--link", stale}, HangLimit);
    ASSERT_EQ(server.firstLine.rfind("/dev/", 0), 0u) << server.firstLine;
    EXPECT_EQ(LinkTarget(stale), server.firstLine);
    EXPECT_EQ(test::StopProgram(server), 0);
    struct stat info {};
    EXPECT_NE(::lstat(stale.c_str(), &info), 0) << "the link goes with the terminal";
}

TEST(SimPtyTool, RefusesValuesNoBusCanHave) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--noise", "nan"},
                                          {"--stray", "2"},
                                          {"--latency", "inf"},
                                          {"--latency", "1e300"},
                                          {"--ds18b20", "28AABBCCDDEEFF:nan"},
                                          {"--ds18s20", "28AABBCCDDEEFF:20"},
                                          {"--other", "28AABBCCDDEEFF"}}) {
        args.insert(args.begin(), KV_SIMPTY_PATH);
        const auto run = test::RunProgram(args, HangLimit);
        EXPECT_FALSE(run.timedOut) << args[1] << " " << args[2] << " was taken";
        EXPECT_EQ(run.status, 1) << args[1] << " " << args[2];
        EXPECT_NE(run.err.find("kalorivox-simpty: "), std::string::npos) << run.err;
    }
}

// A device flagged away is plugged in by SIGUSR1 and out again by the next.
TEST(SimPtyTool, AwayDevicesComeAndGoOnSigusr1) {
    auto server = test::StartProgram(
        {KV_SIMPTY_PATH, "--ds18b20", "28AABBCCDDEE01:20", "--ds18b20", "28AABBCCDDEE02:21:away"},
        HangLimit);
    ASSERT_EQ(server.firstLine.rfind("/dev/", 0), 0u) << server.firstLine;
    auto lines = [&] {
        const auto run = test::RunProgram({KV_PROBE_PATH, server.firstLine}, 30s);
        return std::count(run.out.begin(), run.out.end(), '\n');
    };
    EXPECT_EQ(lines(), 1);
    ::kill(server.pid, SIGUSR1);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(lines(), 2);
    ::kill(server.pid, SIGUSR1);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(lines(), 1);
    EXPECT_EQ(test::StopProgram(server), 0);
}

}  // namespace
}  // namespace kv
