// Runs the monitoring worker against simulated buses, the headless toolkit and a simulated
// clock, one step at a time: the worker parks before each of its 100 ms sleeps and a test
// lets it go on for a given number of them, then looks at the window.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/clock.h"
#include "serial/serial_device.h"
#include "sim/sim_bus.h"
#include "sim/sim_clock.h"
#include "tests/sim/faulty_port.h"
#include "ui/headless/headless_toolkit.h"

namespace kv::test {

// A simulated clock whose 100 ms sleeps can be gated, and which runs actions once simulated
// time has reached their moment (checked whenever the clock is read, so also inside a long
// bus transaction). Actions must not touch a SimBus (its lock may be held).
class ScriptClock final : public TimeSource {
  public:
    int64_t nowMicroseconds() override;
    void sleepMilliseconds(int32_t milliseconds) override;

    void at(int64_t microseconds, std::function<void()> action);
    // Moves time on while the worker is parked: a pause of the program or the machine.
    void advance(int64_t milliseconds) { clock_.advanceMilliseconds(milliseconds); }
    int64_t peek() const { return clock_.peekMicroseconds(); }

    // Gate: the caller of a 100 ms sleep parks until granted.
    void setGated(bool gated);
    // Lets the parked thread pass n sleeps; returns when it parks again, or when finished()
    // becomes true, or after a real-time limit (false).
    bool grant(int n, const std::function<bool()>& finished);
    void wakeAll();  // after the worker ended
    int64_t gatedSleeps() const { return passed_; }

  private:
    void runDue(int64_t now);

    SimClock clock_{1'000'000, 5};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool gated_ = false;
    bool parked_ = false;
    int budget_ = 0;
    int64_t passed_ = 0;
    std::mutex actionsMutex_;
    std::vector<std::pair<int64_t, std::function<void()>>> actions_;
};

class WorkerHarness {
  public:
    WorkerHarness();
    ~WorkerHarness();

    // --- set-up before start() ---
    // Registers a bus under the name and offers it in the port chooser.
    std::shared_ptr<SimBus> addBus(const std::u16string& name);
    void offerPort(const std::u16string& name);
    void choosePort(const std::u16string& name);  // the chooser's current text
    // Works in a fresh temporary folder (for the log file).
    std::filesystem::path useTempFolder();

    // --- running ---
    void start();
    bool step(int sleeps = 1);
    // Steps one sleep at a time until done() holds; false when it never did.
    bool stepUntil(const std::function<bool()>& done, int maxSleeps = 200);
    // Requests a stop and steps until the worker has returned; false when it did not
    // within maxSleeps.
    bool stop(int maxSleeps = 50);
    bool finished() const { return finished_.load(); }
    int result() const { return result_; }

    // --- looking ---
    std::u16string status() const;
    std::u16string cell(int row, int column) const;
    int32_t colour(int row, int column) const;
    int rows() const;
    int64_t nowMs() const { return clock.peek() / 1000; }

    ScriptClock clock;
    ui::HeadlessToolkit* toolkit = nullptr;

  private:
    std::unique_ptr<ScopedTimeSource> timeScope_;
    std::vector<std::u16string> registered_;
    std::thread worker_;
    std::atomic<bool> finished_{false};
    int result_ = -1;
    std::filesystem::path tempFolder_;
    std::filesystem::path previousFolder_;
};

}  // namespace kv::test
