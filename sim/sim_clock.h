// A simulated clock for tests: sleeping costs no real time, and every reading moves time a
// little forward so that a loop polling the clock for a deadline always ends.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "runtime/clock.h"

namespace kv {

class SimClock final : public TimeSource {
  public:
    // stepMicroseconds: how far each nowMicroseconds() call moves time on.
    explicit SimClock(int64_t startMicroseconds = 1'000'000, int64_t stepMicroseconds = 5);

    int64_t nowMicroseconds() override;
    void sleepMilliseconds(int32_t milliseconds) override;
    void sleepMicroseconds(int64_t microseconds) override;

    // Moves time on from outside (a test standing in for the world).
    void advanceMicroseconds(int64_t microseconds);
    void advanceMilliseconds(int64_t milliseconds) { advanceMicroseconds(milliseconds * 1000); }
    // The current time without moving it.
    int64_t peekMicroseconds() const { return now_.load(); }
    // Simulated milliseconds spent in sleepMilliseconds so far, summed over all threads.
    int64_t sleptMilliseconds() const { return slept_.load(); }
    // Each sleep also yields this much real time, so a worker that sleeps in a loop does not
    // spin a core while a test watches it. 0 (the default) only yields the processor.
    void setRealPauseMicroseconds(int64_t microseconds) { realPause_.store(microseconds); }
    // Blocks (in real time, at most realTimeout) until simulated time reaches the given point.
    bool waitUntilMicroseconds(int64_t microseconds, std::chrono::milliseconds realTimeout);

  private:
    void moved();

    std::atomic<int64_t> now_;
    const int64_t step_;
    std::atomic<int64_t> slept_{0};
    std::atomic<int64_t> realPause_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
};

// Installs a clock as the time source for one scope and restores the previous one after.
class ScopedTimeSource {
  public:
    explicit ScopedTimeSource(TimeSource* source) : previous_(CurrentTimeSource()) {
        SetTimeSource(source);
    }
    ~ScopedTimeSource() { SetTimeSource(previous_); }
    ScopedTimeSource(const ScopedTimeSource&) = delete;
    ScopedTimeSource& operator=(const ScopedTimeSource&) = delete;

  private:
    TimeSource* previous_;
};

}  // namespace kv
