// The real program on the Qt toolkit with an adapter that comes and goes: its settings name
// a link to a pseudo-terminal that serves a simulated bus, as the pty tool does. Pulling
// the adapter closes the terminal (it hangs up) and removes the link; plugging it back
// serves a new terminal behind the same link.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/posix/pty_server.h"
#include "sim/sim_bus.h"

extern char** environ;

namespace kv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Readings are due within a few seconds; the bound is generous for a loaded machine and the
// sanitizer build.
constexpr auto ReadingLimit = std::chrono::seconds(15);

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

size_t CountOf(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

class HotPlug : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef KALORIVOX_PROGRAM
        GTEST_SKIP() << "built without the Qt program";
#else
        std::string pattern = (fs::temp_directory_path() / "kv-hotplug-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        program_ = folder_ / "kalorivox";
        fs::copy_file(KALORIVOX_PROGRAM, program_);
        link_ = folder_ / "kv-bus";
        std::ofstream ini(folder_ / "Kalorivox.ini", std::ios::binary);
        ini << "Port = " << link_.string() << "\r\nInterval = 1\r\nLog = 1\r\n";
        bus_->setPowerSensing(false);
        bus_->addThermometer(SimMakeRom(0x28, 0x0000045A1B2C), 21.5);
#endif
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        unplug();
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }

#ifdef KALORIVOX_PROGRAM
    void Launch() {
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
#endif

    bool plug() {
        server_ = std::make_unique<PtyServer>(bus_);
        if (!server_->open() || !server_->start()) return false;
        std::error_code error;
        fs::remove(link_, error);
        fs::create_symlink(server_->slavePath(), link_, error);
        return !error;
    }
    void unplug() {
        std::error_code ignored;
        if (!link_.empty()) fs::remove(link_, ignored);
        server_.reset();  // the master side closes: the program's terminal hangs up
    }

    size_t readings() const {
        return CountOf(Read(folder_ / "DS18B20_Kalorivox.log"), "\r\n");
    }
    // Seconds until the log holds more readings than `before`; negative when it never did.
    double secondsUntilReadingsAfter(size_t before) {
        const auto start = Clock::now();
        while (Clock::now() - start < ReadingLimit) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                ADD_FAILURE() << "the program ended by itself";
                return -1;
            }
            if (readings() > before)
                return std::chrono::duration<double>(Clock::now() - start).count();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }
    std::string savedPort() const {
        const std::string ini = Read(folder_ / "Kalorivox.ini");
        const size_t at = ini.find("Port = ");
        return at == std::string::npos ? "" : ini.substr(at + 7, ini.find("\r\n", at) - at - 7);
    }

    fs::path folder_, program_, link_;
    pid_t pid_ = -1;
    std::shared_ptr<SimBus> bus_ = std::make_shared<SimBus>();
    std::unique_ptr<PtyServer> server_;
};

TEST_F(HotPlug, AdapterPulledAndPluggedBackOnTheSameLinkResumesReadings) {
#ifdef KALORIVOX_PROGRAM
    ASSERT_TRUE(plug());
    Launch();
    ASSERT_GE(secondsUntilReadingsAfter(0), 0) << "no readings at all";
    unplug();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const size_t before = readings();
    ASSERT_TRUE(plug());
    const double seconds = secondsUntilReadingsAfter(before);
    ASSERT_GE(seconds, 0) << "no readings within 15 s of plugging back";
    std::printf("readings resumed %.2f s after the adapter was plugged back\n", seconds);
    EXPECT_EQ(savedPort(), link_.string());
#endif
}

TEST_F(HotPlug, SavedPortAbsentAtStartIsOpenedWhenItAppears) {
#ifdef KALORIVOX_PROGRAM
    Launch();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(readings(), 0u);
    EXPECT_EQ(savedPort(), link_.string()) << "the absent port keeps its place";
    ASSERT_TRUE(plug());
    const double seconds = secondsUntilReadingsAfter(0);
    ASSERT_GE(seconds, 0) << "no readings within 15 s of plugging in";
    std::printf("first readings %.2f s after the adapter was plugged in\n", seconds);
#endif
}

}  // namespace
}  // namespace kv
