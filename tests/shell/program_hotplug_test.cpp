// The real program on the Qt toolkit with an adapter that comes and goes: its settings name
// a link to a pseudo-terminal that serves a simulated bus, as the pty tool does. Pulling
// the adapter closes the terminal (it hangs up) and removes the link; plugging it back
// serves a new terminal behind the same link.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "sim/posix/pty_server.h"
#include "sim/sim_bus.h"
#include "tests/shell/program_copy.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::ReadBytes;

// Readings are due within a few seconds; the bound is generous for a loaded machine and the
// sanitizer build.
constexpr auto ReadingLimit = std::chrono::seconds(15);

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
        program_ = std::make_unique<testing::ProgramCopy>(KALORIVOX_PROGRAM);
        ASSERT_TRUE(program_->copied());
        link_ = program_->File("kv-bus");
        std::ofstream ini(program_->File("Kalorivox.ini"), std::ios::binary);
        ini << "Port = " << link_.string() << "\r\nInterval = 1\r\nLog = 1\r\n";
        bus_->setPowerSensing(false);
        bus_->addThermometer(SimMakeRom(0x28, 0x0000045A1B2C), 21.5);
#endif
    }
    void TearDown() override {
        unplug();
    }

    void Launch() {
#ifdef KALORIVOX_PROGRAM
        ASSERT_TRUE(program_->Launch(KALORIVOX_LEAK_SUPPRESSIONS));
#endif
    }

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
        return CountOf(ReadBytes(program_->File("DS18B20_Kalorivox.log")), "\r\n");
    }
    // Seconds until the log holds more readings than `before`; negative when it never did.
    double secondsUntilReadingsAfter(size_t before) {
        const auto start = Clock::now();
        while (Clock::now() - start < ReadingLimit) {
            int status = 0;
            if (program_->Ended(status)) {
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
        const std::string ini = ReadBytes(program_->File("Kalorivox.ini"));
        const size_t at = ini.find("Port = ");
        return at == std::string::npos ? "" : ini.substr(at + 7, ini.find("\r\n", at) - at - 7);
    }

    std::unique_ptr<testing::ProgramCopy> program_;
    fs::path link_;
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
