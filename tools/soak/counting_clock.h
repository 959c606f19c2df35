// A time source for the tools: real or simulated time, counting the worker's 100 ms sleeps
// so that the bus time of a pass can be told apart from its waits.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/clock.h"
#include "sim/sim_clock.h"

namespace kv::soak {

class CountingClock final : public TimeSource {
  public:
    explicit CountingClock(bool simulated);
    int64_t nowMicroseconds() override;
    void sleepMilliseconds(int32_t milliseconds) override;
    void sleepMicroseconds(int64_t microseconds) override;

    // Runs on the worker's thread at each 100 ms sleep, before it sleeps; gets the time and
    // how long all earlier 100 ms sleeps really took together.
    void onLoopSleep(std::function<void(int64_t nowMicroseconds, int64_t sleptMicroseconds)> hook) {
        hook_ = std::move(hook);
    }

  private:
    std::unique_ptr<SimClock> sim_;
    int64_t slept_ = 0;  // only the worker's thread sleeps 100 ms
    std::function<void(int64_t, int64_t)> hook_;
};

// Resident set size of this process in kilobytes.
long ResidentKilobytes();

}  // namespace kv::soak
