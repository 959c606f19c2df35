// Runs the whole program in-process on the headless toolkit, in a fresh temporary folder
// that stands for the program's own folder, and lets a test act as the user.
//
// The program's clock is simulated: the worker's sleeps, conversions and bus time limits cost
// no real time. Time stands still until a test lets it run, so a test that only looks at the
// window thread sees the worker parked in its first sleep, before it has touched anything.
#pragma once
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "sim/sim_clock.h"
#include "ui/headless/headless_toolkit.h"

namespace kv::testing {

// Millisecond sleeps (the worker's loop and conversion waits) park the sleeping thread once
// simulated time has reached the set limit, until the limit moves on or a stop is requested.
// Clock readings and the bus's finer waits always go on, so a transaction in progress ends.
class ProgramClock final : public TimeSource {
  public:
    ProgramClock();
    int64_t nowMicroseconds() override { return clock_.nowMicroseconds(); }
    void sleepMilliseconds(int32_t milliseconds) override;
    void sleepMicroseconds(int64_t microseconds) override {
        clock_.sleepMicroseconds(microseconds);
    }

    // Lets time run up to `milliseconds` after now (a negative value: without a limit).
    void run(int64_t milliseconds = -1);
    int64_t nowMs() const { return clock_.peekMicroseconds() / 1000; }

  private:
    SimClock clock_;
    std::mutex mutex_;
    std::condition_variable moved_;
    int64_t limitUs_;
};

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings file before start-up (as UTF-8 with CR LF line ends).
    void WriteSettings(const std::string& lines);
    // Start-up in the temporary folder; the two posted events are carried out as well.
    void Start();
    // Start-up only: the events it posted still wait in the queue.
    void StartWithoutEvents();
    // Carries out every event waiting now. False once the program has shut down.
    bool Pump();
    // Carries out events until `done` holds; false when it did not within `limitMs` of
    // simulated time (or, should simulated time stand still, a generous real time).
    bool PumpUntil(const std::function<bool()>& done, int limitMs = 20000);
    // Posts an event as if the user had caused it and carries it out.
    bool Post(int kind, int object, int type = 0);
    // Shuts down if still running.
    void Stop();

    std::string SettingsBytes() const;  // empty when the file does not exist
    std::string ReadFile(const std::string& name) const;
    bool SettingsExist() const;

    ui::HeadlessToolkit* ui = nullptr;
    ProgramClock clock;
    std::filesystem::path folder;
    bool running = false;

  private:
    std::unique_ptr<ScopedTimeSource> timeScope_;
    std::filesystem::path previousFolder_;
    int marker_ = 0;
};

// The settings file as the program writes it for the given nine values, in key order.
std::string SettingsFile(const std::string& port, int interval, int thermoControl, int convertOnly,
                         int thermoMin, int thermoMax, int log, int cpu, int invert);

}  // namespace kv::testing
