// A worker that does not stop (here: stuck in a write that never returns) must not keep the
// program from ending: shutdown waits its limit and then ends without it.
// The worker runs on the simulated clock like everywhere in these tests, but shutdown counts
// its limit in real time: a thread stuck outside the program never reads a clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "shell/program.h"
#include "tests/shell/program_fixture.h"

namespace kv::testing {
namespace {

// Kept alive to the end of the process: the stuck worker waits on it until the exit.
struct Gate {
    std::mutex mutex;
    std::condition_variable never;
    std::atomic<bool> entered{false};
};

class StuckDevice final : public SerialDevice {
  public:
    explicit StuckDevice(Gate* gate) : gate_(gate) {}
    bool configure(int, int, int, double) override { return true; }
    bool setLine(int, bool) override { return true; }
    int write(const uint8_t*, int) override {
        gate_->entered = true;
        std::unique_lock<std::mutex> lock(gate_->mutex);
        gate_->never.wait(lock, [] { return false; });
        return 0;
    }
    int read(uint8_t*, int) override { return 0; }
    int inputCount() override { return 0; }

  private:
    Gate* gate_;
};

TEST_F(ProgramTest, AWorkerStuckInTheBusDoesNotKeepTheProgramFromEnding) {
    Gate* gate = new Gate;  // never freed: see above
    SerialRegisterVirtualPort(u"STUCK", [gate] { return std::make_unique<StuckDevice>(gate); });
    WriteSettings("Port = STUCK\n");
    Start();
    clock.run();
    ASSERT_TRUE(PumpUntil([&] { return gate->entered.load(); }));

    // Should shutdown wait for ever, nothing else would end this test.
    std::atomic<bool> ended{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!ended) {
            ADD_FAILURE() << "shutdown still waits for the stuck worker after 10 s";
            std::_Exit(1);
        }
    });
    const auto before = std::chrono::steady_clock::now();
    Stop();
    const auto took = std::chrono::steady_clock::now() - before;
    ended = true;
    watchdog.join();
    EXPECT_GE(took, std::chrono::milliseconds(WorkerStopLimitMs));
    EXPECT_LT(took, std::chrono::seconds(5));
    SerialUnregisterVirtualPort(u"STUCK");
}

}  // namespace
}  // namespace kv::testing
